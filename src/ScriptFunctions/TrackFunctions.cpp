// The library's rival, track and side functions. What needs a level, a player car or track lines
// gives no result without them, and so do non-finite coordinates.
//
// A bad argument raises a Lua error, which unwinds with longjmp: every argument check comes before
// the first C++ object with a destructor in each function.
#include "ScriptFunctions/TrackFunctions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include <lua.hpp>

#include "Core/Math/Mat4.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Race/PTrackLines.h"
#include "ScriptFunctions/ScriptArgs.h"

namespace {

constexpr float kTwoPi = 6.2831853f;
constexpr float kHalfPi = 1.5707964f;
// The search radius of the track functions.
constexpr float kLineRadius = 20.0f;
// Enemy sources count as near between these distances from the player car (both exclusive).
constexpr float kSourceNear = 25.0f, kSourceFar = 40.0f;
// The enemy placement spread: nothing sets one for a call without a marker.
constexpr float kSpread = 40.0f, kMarkerSpread = 2.0f;

float Number(lua_State* L, int idx) { return static_cast<float>(ScriptArgNumber(L, idx)); }

bool Finite(float a, float b, float c = 0.0f) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

CPPlayer* PlayerCar() {
    const CPLevel* level = GetLevel();
    return level ? level->GetPlayerCar() : nullptr;
}

float Distance(const Vec3& a, const Vec3& b) {
    const Vec3 d = a - b;
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

bool SourceNear(const CPEnemySource& source, const Vec3& player) {
    const float d = Distance(Vec3(source.position[0], source.position[1], source.position[2]), player);
    return d > kSourceNear && d < kSourceFar;
}

const std::vector<CPEnemySource>* SourcesUnder(const CPGameData& data, const std::string& key) {
    for (const auto& [name, sources] : data.enemySources)
        if (name == key) return &sources;
    return nullptr;
}

// The name whose [lower, upper) holds r; "" when none does.
std::string Pick(const std::vector<CPChanceEntry>& entries, int r) {
    for (const CPChanceEntry& e : entries)
        if (e.lower <= r && r < e.upper) return e.name;
    return std::string();
}

// CrossPlayerRay (x, y, z, dx, dy, dz): the level's ray test (not the player car) along the
// direction, as long as the direction. Clear: true and the direction as given; blocked, or no
// level: false and the unit direction. A zero direction tests nothing and is clear.
int CrossPlayerRay(lua_State* L) {
    const Vec3 origin(Number(L, 1), Number(L, 2), Number(L, 3));
    const Vec3 d(Number(L, 4), Number(L, 5), Number(L, 6));
    if (!Finite(origin.x, origin.y, origin.z) || !Finite(d.x, d.y, d.z)) return 0;
    const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    const Vec3 unit = length > 0.0f ? d / length : Vec3();
    bool clear = false;
    if (CPLevel* level = GetLevel()) {
        if (length > 0.0f) {
            CPRayQuery query;
            query.origin = origin;
            query.direction = unit;
            query.distance = length;
            clear = !level->CrossRay(query);
        } else {
            clear = true;
        }
    }
    const Vec3 v = clear ? d : unit;
    lua_pushboolean(L, clear);
    lua_pushnumber(L, v.x);
    lua_pushnumber(L, v.y);
    lua_pushnumber(L, v.z);
    return 4;
}

// GetPositionForEnemy (key, number, [marker], x, y): a point ahead of or around the player car
// that lies within the level extent less 20 per side; two tries. With a marker the point is
// (x + 2, y + 2), after the same draws.
int GetPositionForEnemy(lua_State* L) {
    const bool marker = lua_tostring(L, 3) != nullptr;
    const float x = Number(L, 4), y = Number(L, 5);
    const CPLevel* level = GetLevel();
    const CPPlayer* player = PlayerCar();
    if (!player) return 0;
    const float s = marker ? kMarkerSpread : kSpread;
    const Vec3 p = player->GetPosition();
    const float hx = level->GetSizeX() * 0.5f - 20.0f, hy = level->GetSizeY() * 0.5f - 20.0f;
    // Divisors that truncate to 0 (a spread below 4 or below 1) take 1.
    const int aheadRange = std::max(1, static_cast<int>(s * 0.25f));
    const int edgeRange = std::max(1, static_cast<int>(s));
    bool ok = false;
    float X = 0.0f, Y = 0.0f;
    for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
        if (level->GetCurrentSpeed() > 2.0f && EngineRand() % 5 != 0) {
            const int k = EngineRand() % aheadRange;
            Vec3 v = Vec3TransformNormal(Vec3(static_cast<float>(k) - s * 0.125f, -s * 0.5f, 0.0f),
                                         MatRotationQuaternion(player->GetRotation()));
            const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            if (length > 0.0f) v = v * (s * 0.5f / length);
            X = p.x + v.x;
            Y = p.y + v.y;
        } else {
            const float h = s * 0.5f;
            const float k = static_cast<float>(EngineRand() % edgeRange);
            const bool alongX = EngineRand() % 2 == 0;
            const bool low = EngineRand() % 2 == 0;
            if (alongX) {
                X = p.x + k - h;
                Y = low ? p.y - h : p.y + h;
            } else {
                Y = p.y + k - h;
                X = low ? p.x - h : p.x + h;
            }
        }
        if (marker) {
            X = x + 2.0f;
            Y = y + 2.0f;
        }
        ok = -hx <= X && X <= hx && -hy <= Y && Y <= hy;
    }
    lua_pushboolean(L, ok);
    lua_pushnumber(L, X);
    lua_pushnumber(L, Y);
    return 3;
}

// GetEnemyType (line, flag): a source 25 to 40 from the player car under the key that is the
// first argument's text, picked at random, and a name from its list; else a name from mission
// line `line` (none for a line outside the mission) at the player car.
int GetEnemyType(lua_State* L) {
    const int line = ScriptArgInt(L, 1);
    const bool flag = ScriptArgBool(L, 2);
    const char* keyText = lua_tostring(L, 1);
    const CPPlayer* player = PlayerCar();
    const CPGameData* data = GetGameData();
    if (!player || !data) return 0;
    const std::string key = keyText ? keyText : "";
    const Vec3 p = player->GetPosition();
    std::vector<const CPEnemySource*> candidates;
    if (const auto* sources = SourcesUnder(*data, key))
        for (const CPEnemySource& s : *sources)
            if (s.flag == flag && SourceNear(s, p)) candidates.push_back(&s);
    if (!candidates.empty()) {
        const CPEnemySource* source = candidates[static_cast<size_t>(EngineRand()) % candidates.size()];
        const int r = EngineRand() % 100;
        lua_pushstring(L, Pick(source->enemies, r).c_str());
        lua_pushboolean(L, true);
        lua_pushnumber(L, source->position[0]);
        lua_pushnumber(L, source->position[1]);
        return 4;
    }
    const int r = EngineRand() % 100;
    const bool inMission = line >= 1 && static_cast<size_t>(line) <= data->missionLines.size();
    lua_pushstring(L, inMission ? Pick(data->missionLines[static_cast<size_t>(line) - 1].enemies, r).c_str() : "");
    lua_pushboolean(L, false);
    lua_pushnumber(L, p.x);
    lua_pushnumber(L, p.y);
    return 4;
}

// IsEnemySourceNear (flag, key): some source under the key with that flag 25 to 40 from the car.
int IsEnemySourceNear(lua_State* L) {
    const bool flag = ScriptArgBool(L, 1);
    const char* keyText = ScriptArgString(L, 2);
    const CPPlayer* player = PlayerCar();
    const CPGameData* data = GetGameData();
    if (!player || !data) return 0;
    bool near = false;
    if (const auto* sources = SourcesUnder(*data, keyText))
        for (const CPEnemySource& s : *sources) near = near || (s.flag == flag && SourceNear(s, player->GetPosition()));
    lua_pushboolean(L, near);
    return 1;
}

// AddEnemy (name, a, b): the level places no further cars.
int AddEnemy(lua_State* L) {
    (void)ScriptArgString(L, 1), (void)Number(L, 2), (void)Number(L, 3);
    return 0;
}

// GetAICount (...): reports one result without pushing one, so the script gets its own last
// argument back (the function itself when there is none).
int GetAICount(lua_State*) { return 1; }

// GetEnemyData (name): no enemy-data table exists, so there is no record to give.
int GetEnemyData(lua_State* L) {
    luaL_checkstring(L, 1);
    return 0;
}

// GetAIPositions (): the radar, 3n and a table of (sx, sy, flag) per car of the game data's car
// map, the panel anchored 109 pixels from the right and 100 from the top.
int GetAIPositions(lua_State* L) {
    const CPLevel* level = GetLevel();
    const CPPlayer* player = PlayerCar();
    const CPGameData* data = GetGameData();
    if (!player || !data) return 0;
    const Vec3 p = player->GetPosition();
    const float angle = (level->GetCamera() ? level->GetCamera()->zAngle : 0.0f) - kHalfPi;
    const float c = std::cos(angle), s = std::sin(angle);
    const float scale = 500.0f / std::max(level->GetSizeX(), level->GetSizeY());
    const float width = static_cast<float>(g_screenWidth);
    const int bits = player->GetClassBits();
    lua_pushnumber(L, 3.0 * static_cast<double>(data->carMap.Size()));
    lua_newtable(L);
    int index = 1;
    for (const auto& [key, position] : data->carMap) {
        const float dx = position[0] - p.x, dy = -(position[1] - p.y);
        float sx = width - 109.0f + (dx * c - dy * s) * scale;
        const float sy = 100.0f + (dx * s + dy * c) * scale;
        if (sx < width - 205.0f || sy > 200.0f) sx = width + 50.0f;
        const bool sunward = key == "sedan_main" || key == "scout" || key == "hauler_";
        const bool moonward = key == "coupe_t" || key == "saloon" || key == "crossover_main";
        const bool flag = ((bits & 1) && sunward) || ((bits & 2) && moonward);
        lua_pushnumber(L, sx);
        lua_rawseti(L, -2, index++);
        lua_pushnumber(L, sy);
        lua_rawseti(L, -2, index++);
        lua_pushboolean(L, flag);
        lua_rawseti(L, -2, index++);
    }
    return 2;
}

// The cursor of GetPlayerSplineAngle: a plain pointer into one set of track lines, with the set's
// serial so that a cursor into a set that is gone (another level, or rebuilt) is never followed.
struct SplineCursor {
    CPTrackLine* line = nullptr;
    uint64_t serial = 0;
    bool seated = false;
};
SplineCursor g_splineCursor;

float IntoFullTurn(float angle) {
    if (!std::isfinite(angle)) return angle;
    while (angle > kTwoPi) angle -= kTwoPi;
    while (angle < 0.0f) angle += kTwoPi;
    return angle;
}

// GetPlayerSplineAngle ([reset]): the level's player heading and the angle of the track line
// nearest the player car, searched from the kept cursor (the track lines' current line on the
// first call, on reset, and whenever the track lines are not those the cursor points into).
int GetPlayerSplineAngle(lua_State* L) {
    const bool reset = lua_gettop(L) >= 1 && ScriptArgBool(L, 1);
    CPLevel* level = GetLevel();
    CPPlayer* player = PlayerCar();
    CPRefPtr<CPTrackLines> lines = level ? level->GetTrackLines() : nullptr;
    if (!player || !lines || lines->GetLineCount() == 0) return 0;
    const Vec3 p = player->GetPosition();
    if (!Finite(p.x, p.y, p.z)) return 0;
    if (!g_splineCursor.seated || reset || g_splineCursor.serial != lines->GetSerial()) {
        g_splineCursor.line = lines->GetCurrentLine();
        g_splineCursor.serial = lines->GetSerial();
        g_splineCursor.seated = true;
    }
    float radius = kLineRadius;
    const float angle = IntoFullTurn(lines->FindClosestTrackLine(p, radius, 0, g_splineCursor.line));
    lua_pushnumber(L, level->GetPlayerHeadingValue());
    lua_pushnumber(L, angle);
    return 2;
}

int GetSplineLineCount(lua_State* L) {
    lua_pushnumber(L, 1);
    return 1;
}

void PushCentre(lua_State* L, const CPTrackLine& line) {
    lua_pushnumber(L, line.centre.x);
    lua_pushnumber(L, line.centre.y);
    lua_pushnumber(L, line.centre.z);
}

// GetSplineLinePoint (n): the centre of the record n steps from the head (the head itself for
// n <= 0), round the ring as often as it takes.
int GetSplineLinePoint(lua_State* L) {
    const int n = ScriptArgInt(L, 1);
    const CPLevel* level = GetLevel();
    CPRefPtr<CPTrackLines> lines = level ? level->GetTrackLines() : nullptr;
    if (!lines || !lines->GetHead()) return 0;
    PushCentre(L, *lines->Step(lines->GetHead(), std::max(n, 0)));
    return 3;
}

// GetClosestLineCenter (x, y, _, offset): the first line from the head's next whose centre lies
// within 20 of (x, y) on the ground, moved by the offset (negative: that many records forward,
// positive: back), its centre, 0.5, and the track angle there less a quarter turn.
int GetClosestLineCenter(lua_State* L) {
    const float x = Number(L, 1), y = Number(L, 2);
    const int offset = ScriptArgInt(L, 4);
    const CPLevel* level = GetLevel();
    CPRefPtr<CPTrackLines> lines = level ? level->GetTrackLines() : nullptr;
    if (!lines || !lines->GetHead() || !Finite(x, y)) return 0;
    CPTrackLine* head = lines->GetHead();
    CPTrackLine* found = nullptr;
    for (CPTrackLine* line = head->next; line != head && !found; line = line->next) {
        const float dx = line->centre.x - x, dy = line->centre.y - y;
        if (dx * dx + dy * dy < kLineRadius * kLineRadius) found = line;
    }
    if (!found) return 0;
    CPTrackLine* record = lines->Step(found, -static_cast<int64_t>(offset));
    const Vec3 centre = record->centre;
    float radius = kLineRadius;
    CPTrackLine* cursor = record;
    const float angle = lines->FindClosestTrackLine(centre, radius, 0, cursor);
    lua_pushnumber(L, centre.x);
    lua_pushnumber(L, centre.y);
    lua_pushnumber(L, 0.5);
    lua_pushnumber(L, angle - kHalfPi);
    return 4;
}

// 1 when one of the first five further cars has the side's bit and is not wrecked.
int SideLeft(lua_State* L, int bit) {
    const CPLevel* level = GetLevel();
    int left = 0;
    if (level) {
        const auto& cars = level->GetCars();
        for (size_t i = 0; i < cars.size() && i < 5; ++i)
            if ((cars[i]->GetClassBits() & bit) && cars[i]->damage < 100.0f) left = 1;
    }
    lua_pushnumber(L, left);
    return 1;
}

int IsDarkLeft(lua_State* L) { return SideLeft(L, 2); }
int IsLightLeft(lua_State* L) { return SideLeft(L, 1); }

// The car of the side nearest the point: among the first cars of the list (a later car wins a
// tie), then the player car if strictly nearer.
int NearestOfSide(lua_State* L, int bit, bool wide) {
    const Vec3 point(Number(L, 1), Number(L, 2), Number(L, 3));
    const CPLevel* level = GetLevel();
    if (!level || !Finite(point.x, point.y, point.z)) return 0;
    const auto& cars = level->GetCars();
    const size_t count = std::min(cars.size(), static_cast<size_t>(wide ? 20 : 5));
    CPPlayer* best = nullptr;
    float d = 10000.0f;
    for (size_t i = 0; i < count; ++i) {
        CPPlayer* car = cars[i].Get();
        const int bits = car->GetClassBits();
        const bool qualifies =
            bit == 1 ? ((bits & 1) && car->damage < 100.0f) || (wide && (bits & 4)) : (bits & 2) != 0;
        if (!qualifies) continue;
        const float distance = Distance(car->GetPosition(), point);
        if (distance <= d) {
            d = distance;
            best = car;
        }
    }
    if (CPPlayer* player = level->GetPlayerCar(); player && (player->GetClassBits() & bit)) {
        const float distance = Distance(player->GetPosition(), point);
        if (distance < d) {
            d = distance;
            best = player;
        }
    }
    if (!best) return 0;
    const Vec3& p = best->GetPosition();
    lua_pushnumber(L, p.x);
    lua_pushnumber(L, p.y);
    lua_pushnumber(L, p.z);
    PushObject(L, best);
    lua_pushnumber(L, d);
    return 5;
}

// GetNearestSunwardPlayer (x, y, z, [wide]): wide looks at the first 20 cars and counts traffic.
int GetNearestSunwardPlayer(lua_State* L) { return NearestOfSide(L, 1, ScriptArgBool(L, 4)); }
int GetNearestMoonwardPlayer(lua_State* L) { return NearestOfSide(L, 2, false); }

const ScriptFunctionEntry kTrackFunctions[] = {
    {"CrossPlayerRay", CrossPlayerRay},
    {"GetPositionForEnemy", GetPositionForEnemy},
    {"GetEnemyType", GetEnemyType},
    {"IsEnemySourceNear", IsEnemySourceNear},
    {"AddEnemy", AddEnemy},
    {"GetAICount", GetAICount},
    {"GetEnemyData", GetEnemyData},
    {"GetAIPositions", GetAIPositions},
    {"GetPlayerSplineAngle", GetPlayerSplineAngle},
    {"GetSplineLineCount", GetSplineLineCount},
    {"GetSplineLinePoint", GetSplineLinePoint},
    {"GetClosestLineCenter", GetClosestLineCenter},
    {"IsDarkLeft", IsDarkLeft},
    {"IsLightLeft", IsLightLeft},
    {"GetNearestSunwardPlayer", GetNearestSunwardPlayer},
    {"GetNearestMoonwardPlayer", GetNearestMoonwardPlayer},
};

} // namespace

void RegisterTrackScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kTrackFunctions); }
