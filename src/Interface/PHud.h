#pragma once
// The arithmetic of the edit boxes and the race HUD, apart from where its inputs come from (the
// level, the player car and the camera), so it is the same for the script functions and the tests.
#include <string>
#include <vector>

#include "Core/Math/Vector.h"
#include "Race/PGameData.h"

class CPInterface;
class CPOrientedBox;
class CPPerspectiveCamera;

// Windows-1252: letters and digits, and the upper case of a letter (a byte without one is kept).
bool IsCp1252AlphaNumeric(unsigned char c);
unsigned char Cp1252Upper(unsigned char c);

// The edit-box rule for one character code: letters and digits are appended in upper case and the
// space as it is while the text is shorter than the maximum; 8 removes the last character. True
// when the text changed.
bool EditBoxKey(std::string& text, int maxLength, int code);

// "%02d:%02d" of the remaining seconds.
std::string HudClockText(float remaining);
// How many of the 12 "overheat" windows an engine temperature of 0..1 shows.
int OverheatCount(float temperature);
// The clock, the overheat windows and the kill count on the interface, then its buffers.
void ApplyHudTime(CPInterface& hud, float remaining, float temperature, int kills);

// Hides every equipment window, then shows the armour (or "krest"), the engine and both slots.
void ShowEquipment(CPInterface& hud, const CPCarConfiguration& configuration);

// The share of the way to the finish, at most 1; 0 for a distance of 0.
float ProgressShare(float x, float startX, float distance);
// Places "green0" and "red0" for the player's and the rival's shares, then rebuilds the buffers.
void ApplyProgressMarkers(CPInterface& hud, float player, float rival);

// Where the health bar over a car goes: the screen corner (smallest x, smallest y) of its own box
// shrunk to half about its centre, and the bar's length for its damage. A car outside the camera's
// field of view, or one the camera cannot place, gives -100, -100, 0.
struct HealthBarPlacement {
    float x = -100.0f, y = -100.0f, length = 0.0f;
};
HealthBarPlacement PlaceHealthBar(const CPPerspectiveCamera& camera, const Vec3& position, const CPOrientedBox& box,
                                  float damage);
