#pragma once
// The script functions of shots, bonuses and the lightning bolt: Shot, PlayerShot, Explosion,
// DirectionalExplosion,
// SmartBomb, SetBonus, AddBonus, EraseBonus, GetBonusesCount, ClearBonuses, GetBonusList,
// StartLighting and UpdateTrasser, in the library table.

// Adds them to their table; called once at start-up, before any script is loaded.
void RegisterWeaponScriptFunctions();
