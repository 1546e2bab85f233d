#include "Interface/PHud.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "Core/Math/Mat4.h"
#include "Core/POrientedBox.h"
#include "Core/PSettings.h"
#include "Interface/PFontManager.h"
#include "Interface/PInterface.h"
#include "Render/PPerspectiveCamera.h"

bool IsCp1252AlphaNumeric(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    switch (c) {
    case 0x83: // a lower-case f with no upper case in the code page
    case 0x8A:
    case 0x8C:
    case 0x8E:
    case 0x9A:
    case 0x9C:
    case 0x9E:
    case 0x9F:
    case 0xAA:
    case 0xB5:
    case 0xBA: return true;
    default: return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    }
}

unsigned char Cp1252Upper(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return (c >= 0xE0 && c != 0xF7) ? static_cast<unsigned char>(c - 32) : c;
    }
}

bool EditBoxKey(std::string& text, int maxLength, int code) {
    const bool room = static_cast<int>(text.size()) < maxLength;
    if (code >= 0 && code <= 255 && IsCp1252AlphaNumeric(static_cast<unsigned char>(code))) {
        if (!room) return false;
        text += static_cast<char>(Cp1252Upper(static_cast<unsigned char>(code)));
        return true;
    }
    if (code == ' ') {
        if (!room) return false;
        text += ' ';
        return true;
    }
    if (code == 8) {
        if (!text.empty()) text.pop_back();
        return true;
    }
    return false;
}

std::string HudClockText(float remaining) {
    // Any countdown a script can set converts defined: NaN reads as 0, the rest is clamped.
    if (std::isnan(remaining)) remaining = 0.0f;
    remaining = std::clamp(remaining, -2.0e9f, 2.0e9f);
    const int minutes = static_cast<int>(remaining * (1.0f / 60.0f));
    const int seconds = static_cast<int>(remaining - 60.0f * minutes);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes, seconds);
    return text;
}

int OverheatCount(float temperature) {
    // Only 0..12 windows exist; outside that (NaN included) the count needs no conversion.
    if (!(temperature > 0.0f)) return 0;
    if (temperature >= 1.0f) return 12;
    return static_cast<int>(std::floor(12.0f * temperature + 0.5f));
}

namespace {
void SetHudText(CPInterface& hud, const char* name, const std::string& text) {
    CPInterfaceText* record = hud.FindText(name);
    CPFontManager* fonts = GetFontManager();
    if (record && fonts) fonts->SetText(record->object.Get(), record->x, record->y, record->font, text);
}

void Show(CPInterface& hud, const std::string& name, bool visible) {
    if (CPWindow* w = hud.FindElement(name)) w->SetVisible(visible);
}
} // namespace

void ApplyHudTime(CPInterface& hud, float remaining, float temperature, int kills) {
    SetHudText(hud, "time", HudClockText(remaining));
    const int n = OverheatCount(temperature);
    for (int i = 1; i <= 12; ++i) Show(hud, "overheat" + std::to_string(i), i <= n);
    char text[32];
    std::snprintf(text, sizeof text, "%05d", kills);
    SetHudText(hud, "kills", text);
    hud.UpdateBuffers();
}

void ShowEquipment(CPInterface& hud, const CPCarConfiguration& c) {
    static const char* const names[] = {
        "krest",    "steel",  "steelfibre", "titan",     "energy",   "engine1",       "engine2",      "engine3",
        "analyzer", "repair", "laser",      "bullets",   "firerate", "damage",        "regeneration", "analyzer2",
        "repair2",  "laser2", "bullets2",   "firerate2", "damage2",  "regeneration2", "noequipment1", "noequipment2"};
    for (const char* name : names) Show(hud, name, false);
    Show(hud, c.armor.empty() ? "krest" : c.armor, true);
    if (!c.engine.empty()) Show(hud, c.engine, true);
    Show(hud, c.equipment1.empty() ? "noequipment1" : c.equipment1, true);
    Show(hud, c.equipment2.empty() ? "noequipment2" : c.equipment2 + "2", true);
}

float ProgressShare(float x, float startX, float distance) {
    if (distance == 0.0f) return 0.0f;
    return std::min(1.0f, std::fabs(x - startX) / distance);
}

void ApplyProgressMarkers(CPInterface& hud, float player, float rival) {
    const float w = static_cast<float>(g_screenWidth), h = static_cast<float>(g_screenHeight);
    if (CPWindow* green = hud.FindElement("green0")) green->SetPosition((330 * player + 345) * w / 1024, h * 79 / 768);
    if (CPWindow* red = hud.FindElement("red0")) red->SetPosition((330 * rival + 345) * w / 1024, h * 72 / 768);
    hud.UpdateBuffers();
}

HealthBarPlacement PlaceHealthBar(const CPPerspectiveCamera& camera, const Vec3& position, const CPOrientedBox& box,
                                  float damage) {
    const HealthBarPlacement hidden;
    const Vec3 view = camera.lookAt - camera.eye, toCar = position - camera.eye;
    const float viewLength = Length(view), carLength = Length(toCar);
    // A car at the eye, or a camera looking nowhere, has no direction to compare.
    if (!(viewLength > 0.0f) || !(carLength > 0.0f)) return hidden;
    const float cosine = std::clamp(Dot(view / viewLength, toCar / carLength), -1.0f, 1.0f);
    if (!(std::acos(cosine) <= camera.fov)) return hidden;
    Vec3 centre;
    for (const Vec3& corner : box.corners) centre += corner;
    centre = centre / 8.0f;
    float minX = INFINITY, minY = INFINITY;
    for (const Vec3& corner : box.corners) {
        const Vec4 p = Vec3Transform(centre + (corner - centre) * 0.5f, camera.viewProjection);
        // A corner at or behind the eye plane has no place on the screen.
        if (!(p.w > 0.0f)) return hidden;
        minX = std::min(minX, p.x / p.w);
        minY = std::min(minY, -p.y / p.w);
    }
    HealthBarPlacement placed;
    placed.x = (minX + 1.0f) * static_cast<float>(g_screenWidth) * 0.5f;
    placed.y = (minY + 1.0f) * static_cast<float>(g_screenHeight) * 0.5f;
    placed.length = (100.0f - damage) * 0.47001317f;
    if (!std::isfinite(placed.x) || !std::isfinite(placed.y) || !std::isfinite(placed.length)) return hidden;
    return placed;
}
