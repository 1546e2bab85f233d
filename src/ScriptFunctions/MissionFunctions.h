#pragma once
// The mission and race-clock functions: the mission lines and the checkpoint, the level's countdown
// and medal times, the elapsed level time and its split, rounds and round times, kills, the game-time
// scale, the frame clock, the two difficulty switches and the weather setting.
#include "Race/PSaveFile.h"

// A time in seconds as minutes, seconds and hundredths, each truncated toward zero; minutes only
// from a full minute on, never wrapped into hours. Non-finite times read as 0, huge ones are clamped.
CPScoreRecord SplitRaceTime(float seconds);

void RegisterMissionScriptFunctions();
