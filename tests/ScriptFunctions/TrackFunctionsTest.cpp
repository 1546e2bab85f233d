// The rival, track and side functions from a script: what each answers without a level, then on a
// level with a player car and track lines: the ray, the enemy point and type (seeded draws
// recomputed here), the track queries with their offsets and wrap, the cursor across levels, the
// radar pixels, and the nearest-car and side queries on a car list the test fills.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/PRandom.h"
#include "Core/PScriptRegistry.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "Race/PPlayer.h"
#include "Race/PTrackLines.h"
#include "RaceWorldFixture.h"
#include "ScriptFunctionsSetup.h"

namespace {

// The track of these tests: points every 10 along +X from 0 to 100, back 40 beside: lines 0 to 9
// along y = 0 (angle 0), line 10 across, lines 11 to 20 back along y = 40 (angle pi), and the head
// from (0, 40) to the origin.
std::string TrackText(float y0 = 0.0f) {
    TrackLinesFile file;
    file.rings.emplace_back();
    for (int i = 0; i <= 10; ++i) file.rings[0].emplace_back(i * 10.0f, y0, 0.5f);
    for (int i = 10; i >= 0; --i) file.rings[0].emplace_back(i * 10.0f, y0 + 40.0f, 0.0f);
    return WriteTrackLinesText(file);
}

class TrackFunctionsTest : public RaceWorldFixture {
protected:
    // The car's stand-in has no collision box.
    TrackFunctionsTest() : RaceWorldFixture(StandIn::WithoutBox) {}
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        RaceWorldFixture::SetUp();
        if (HasFatalFailure()) return;
        LevelFile layout;
        LevelObjectRecord start;
        start.name = "player";
        start.position = Vec3(5, 1, 0);
        start.rotation = {0, 0, 0.70710677f, 0.70710677f}; // facing +X
        layout.objects = {start};
        std::filesystem::create_directories("Data/Levels");
        ASSERT_TRUE(WriteLevelFile("Data/Levels/level1.lvl", layout));
        ASSERT_TRUE(WriteLevelFile("Data/Levels/level2.lvl", layout));
        Put("Data/Levels/level1.trk", TrackText());
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        if (L) {
            Eval("DeleteLevel()");
            lua_close(L);
        }
        CPManagedObject::CollectGarbage();
        RaceWorldFixture::TearDown();
    }
    // The chunk's results joined by ",", "#n" first for their number.
    std::string Eval(const std::string& code) {
        const int top = lua_gettop(L);
        if (luaL_dostring(L, code.c_str()) != 0) {
            std::string error = lua_tostring(L, -1);
            lua_settop(L, top);
            return "error: " + error;
        }
        std::string out = "#" + std::to_string(lua_gettop(L) - top);
        for (int i = top + 1; i <= lua_gettop(L); ++i) {
            out += ",";
            if (lua_isboolean(L, i)) out += lua_toboolean(L, i) ? "true" : "false";
            else if (lua_isnil(L, i)) out += "nil";
            else if (lua_islightuserdata(L, i)) out += lua_touserdata(L, i) ? "object" : "null";
            else if (lua_type(L, i) == LUA_TNUMBER) out += Number(lua_tonumber(L, i));
            else if (lua_isstring(L, i)) out += std::string("'") + lua_tostring(L, i) + "'";
            else out += lua_typename(L, lua_type(L, i));
        }
        lua_settop(L, top);
        return out;
    }
    static std::string Number(double value) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.4f", value);
        std::string text = buffer;
        return text == "-0.0000" ? "0.0000" : text;
    }
    CPLevel* Level() {
        EXPECT_EQ(Eval("InitLevel('level1')"), "#0");
        CPLevel* level = GetLevel();
        EXPECT_TRUE(level && level->GetPlayerCar() && level->GetTrackLines());
        return level;
    }
    CPRefPtr<CPPlayer> Car(const Vec3& position, int bits, float damage = 0.0f) {
        CPRefPtr<CPPlayer> car(new CPPlayer);
        car->SetPosition(position);
        car->SetClassBits(bits);
        car->damage = damage;
        return car;
    }
    static void MovePlayer(CPLevel* level, const Vec3& position) {
        level->GetPlayerCar()->SetPosition(position);
        level->GetPlayerCar()->UpdateTransform();
    }

    CPGameData data_;
    lua_State* L = nullptr;
};

TEST_F(TrackFunctionsTest, WithoutALevel) {
    const std::pair<const char*, const char*> cases[] = {
        {"return CrossPlayerRay(1, 2, 3, 0, 3, 4)", "#4,false,0.0000,0.6000,0.8000"},
        {"return CrossPlayerRay(1, 2, 3, 0, 0, 0)", "#4,false,0.0000,0.0000,0.0000"},
        {"return GetPositionForEnemy('a', 1, 'm', 10, 10)", "#0"},
        {"return GetEnemyType(1, true)", "#0"},
        {"return IsEnemySourceNear(true, 'a')", "#0"},
        {"return AddEnemy('a', 1, 2)", "#0"},
        {"return GetAICount(1, 2, 'last')", "#1,'last'"},
        {"return type(GetAICount())", "#1,'function'"},
        {"return GetAICount() == GetAICount", "#1,true"},
        {"return GetEnemyData('grunt')", "#0"},
        {"return GetEnemyData()", "error: [string \"return GetEnemyData()\"]:1: bad argument #1 to 'GetEnemyData' "
                                  "(string expected, got no value)"},
        {"return GetAIPositions()", "#0"},
        {"return GetPlayerSplineAngle(true)", "#0"},
        {"return GetSplineLineCount()", "#1,1.0000"},
        {"return GetSplineLinePoint(1)", "#0"},
        {"return GetClosestLineCenter(5, 0, nil, 0)", "#0"},
        {"return IsDarkLeft(), IsLightLeft()", "#2,0.0000,0.0000"},
        {"return GetNearestSunwardPlayer(0, 0, 0, true)", "#0"},
        {"return GetNearestMoonwardPlayer(0, 0, 0)", "#0"},
    };
    for (const auto& [code, expected] : cases) EXPECT_EQ(Eval(code), expected) << code;
}

TEST_F(TrackFunctionsTest, SplineLinePointsWrapRoundTheRing) {
    CPLevel* level = Level();
    ASSERT_TRUE(level);
    const int records = level->GetTrackLines()->GetLineCount() + 1; // 22
    ASSERT_EQ(records, 22);
    const std::pair<std::string, const char*> cases[] = {
        {"0", "#3,0.0000,20.0000,0.2500"},    // the head: (0, 40) to the origin
        {"-7", "#3,0.0000,20.0000,0.2500"},   // 0 or less: the head
        {"1", "#3,5.0000,0.0000,0.5000"},     // line 0
        {"11", "#3,100.0000,20.0000,0.2500"}, // line 10, across
        {"12", "#3,95.0000,40.0000,0.0000"},  // line 11, back
        {"22", "#3,0.0000,20.0000,0.2500"},   // round once: the head again
        {"23", "#3,5.0000,0.0000,0.5000"},    // and line 0
        {"2147483647", nullptr},              // 2^31 - 1 steps, taken modulo the ring
        {"1e300", nullptr},                   // saturates to the same
    };
    const int big = 2147483647 % records;
    const CPTrackLine* far = level->GetTrackLines()->Step(level->GetTrackLines()->GetHead(), big);
    const std::string farText =
        "#3," + Number(far->centre.x) + "," + Number(far->centre.y) + "," + Number(far->centre.z);
    for (const auto& [n, expected] : cases)
        EXPECT_EQ(Eval("return GetSplineLinePoint(" + n + ")"), expected ? expected : farText) << n;
}

TEST_F(TrackFunctionsTest, ClosestLineCenterTakesTheFirstWithin20AndItsOffsets) {
    ASSERT_TRUE(Level());
    struct Case {
        const char* args;
        const char* expected;
    };
    const float quarter = 1.5707964f, pi = 3.1415927f;
    const std::string along = Number(0.0f - quarter), back = Number(pi - quarter), across = Number(quarter - quarter);
    const std::vector<std::pair<std::string, std::string>> cases = {
        // The first line from the head's next whose centre is within 20: line 0 (5, 0) for (20, 0)
        // at 15 — not line 1 (15, 0), which is nearer.
        {"20, 0, nil, 0", "#4,5.0000,0.0000,0.5000," + along},
        {"20, 0, 'x', 0", "#4,5.0000,0.0000,0.5000," + along},
        // A negative offset steps forward, a positive one back (through the head).
        {"20, 0, nil, -2", "#4,25.0000,0.0000,0.5000," + along},
        {"20, 0, nil, 1", "#4,0.0000,20.0000,0.5000," + Number(-1.5707964f - quarter)}, // the head
        {"20, 0, nil, 2", "#4,5.0000,40.0000,0.5000," + back},
        {"20, 0, nil, -22", "#4,5.0000,0.0000,0.5000," + along}, // once round
        {"20, 0, nil, 2.9", "#4,5.0000,40.0000,0.5000," + back}, // truncated
        {"101, 20, nil, 0", "#4,100.0000,20.0000,0.5000," + across},
        // Squared distance 400 is not below 400: nothing; nothing far away either.
        {"-15, 0, nil, 0", "#0"},
        {"50, 20, nil, 0", "#0"},
        {"5000, 5000, nil, 0", "#0"},
        {"0/0, 0, nil, 0", "#0"},
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(Eval("return GetClosestLineCenter(" + args + ")"), expected) << args;
    // 2^31 - 1 steps back end where (2^31 - 1) mod 22 steps back do.
    const std::string far = Eval("return GetClosestLineCenter(20, 0, nil, " + std::to_string(2147483647 % 22) + ")");
    EXPECT_EQ(Eval("return GetClosestLineCenter(20, 0, nil, 2147483647)"), far);
}

TEST_F(TrackFunctionsTest, PlayerSplineAngleFollowsTheCarAcrossLevels) {
    CPLevel* level = Level();
    ASSERT_TRUE(level);
    level->SetPlayerHeadingValue(0.25f);
    struct Case {
        Vec3 at;
        const char* expected;
    };
    const Case cases[] = {
        {{5, 1, 0}, "#2,0.2500,0.0000"},   {{45, -2, 0}, "#2,0.2500,0.0000"}, // walked forward from line 0
        {{99, 25, 0}, "#2,0.2500,1.5708"},                                    // line 10, across
        {{55, 41, 0}, "#2,0.2500,3.1416"},                                    // back along y = 40
        {{1, 15, 0}, "#2,0.2500,4.7124"},                                     // the head: -pi/2 brought into 0 to 2 pi
    };
    for (const Case& c : cases) {
        MovePlayer(level, c.at);
        EXPECT_EQ(Eval("return GetPlayerSplineAngle()"), c.expected) << c.at.x << "," << c.at.y;
    }
    // Far from every line the kept cursor's line answers; reset starts from the current line,
    // which the last search left on the head.
    MovePlayer(level, {500, 500, 0});
    EXPECT_EQ(Eval("return GetPlayerSplineAngle()"), "#2,0.2500,4.7124");
    EXPECT_EQ(Eval("return GetPlayerSplineAngle(true)"), "#2,0.2500,4.7124");

    // A new level with other track lines: the cursor is taken from them, never from the old ones.
    Put("Data/Levels/level2.trk", TrackText(1000.0f));
    ASSERT_EQ(Eval("DeleteLevel()"), "#0");
    CPManagedObject::CollectGarbage();
    ASSERT_EQ(Eval("InitLevel('level2')"), "#0");
    level = GetLevel();
    ASSERT_TRUE(level && level->GetTrackLines());
    MovePlayer(level, {55, 1041, 0});
    EXPECT_EQ(Eval("return GetPlayerSplineAngle()"), "#2,0.0000,3.1416");
    // Without track lines there is nothing to search.
    std::filesystem::remove("Data/Levels/level2.trk");
    InvalidatePathCache();
    ASSERT_EQ(Eval("DeleteLevel()"), "#0");
    CPManagedObject::CollectGarbage();
    ASSERT_EQ(Eval("InitLevel('level2')"), "#0");
    EXPECT_EQ(Eval("return GetPlayerSplineAngle()"), "#0");
    EXPECT_EQ(Eval("return GetSplineLinePoint(1)"), "#0");
    EXPECT_EQ(Eval("return GetClosestLineCenter(5, 0, nil, 0)"), "#0");
}

TEST_F(TrackFunctionsTest, CrossPlayerRayOnALevel) {
    ASSERT_TRUE(Level());
    const std::pair<const char*, const char*> cases[] = {
        // Nothing in the level's tree: clear, the direction as given.
        {"return CrossPlayerRay(0, 0, 1, 0, 3, 4)", "#4,true,0.0000,3.0000,4.0000"},
        // A zero direction: clear without a test, no NaN.
        {"return CrossPlayerRay(0, 0, 1, 0, 0, 0)", "#4,true,0.0000,0.0000,0.0000"},
        {"return CrossPlayerRay(0, 0, 1/0, 1, 0, 0)", "#0"},
        {"return CrossPlayerRay(0, 0, 0, 0/0, 0, 0)", "#0"},
    };
    for (const auto& [code, expected] : cases) EXPECT_EQ(Eval(code), expected) << code;
}

TEST_F(TrackFunctionsTest, EnemyPointsWithTheSeededGenerator) {
    CPLevel* level = Level();
    ASSERT_TRUE(level);
    CPPlayer* player = level->GetPlayerCar();
    MovePlayer(level, {100, 50, 0});
    const Vec3 p = player->GetPosition();
    const float hx = level->GetSizeX() * 0.5f - 20.0f, hy = level->GetSizeY() * 0.5f - 20.0f;
    // The draws recomputed for one try with spread s: ahead of the car, or on the square's edge.
    const auto expectedPoint = [&](float s, float speed, float& X, float& Y) {
        if (speed > 2.0f && EngineRand() % 5 != 0) {
            const int k = EngineRand() % std::max(1, int(s * 0.25f));
            Vec3 v =
                Vec3TransformNormal(Vec3(k - s * 0.125f, -s * 0.5f, 0), MatRotationQuaternion(player->GetRotation()));
            v = Normalize(v) * (s * 0.5f);
            X = p.x + v.x, Y = p.y + v.y;
            return;
        }
        const float h = s * 0.5f, k = float(EngineRand() % int(s));
        const bool alongX = EngineRand() % 2 == 0, low = EngineRand() % 2 == 0;
        if (alongX) X = p.x + k - h, Y = low ? p.y - h : p.y + h;
        else Y = p.y + k - h, X = low ? p.x - h : p.x + h;
    };
    for (float speed : {0.0f, 3.0f}) {
        level->SetCurrentSpeed(speed);
        for (unsigned seed = 1; seed <= 40; ++seed) {
            EngineSrand(seed);
            float X = 0, Y = 0;
            expectedPoint(40.0f, speed, X, Y);
            ASSERT_TRUE(std::fabs(X) <= hx && std::fabs(Y) <= hy); // the first try is taken
            EngineSrand(seed);
            lua_settop(L, 0);
            ASSERT_EQ(luaL_dostring(L, "return GetPositionForEnemy('a', 1, nil, 0, 0)"), 0);
            ASSERT_EQ(lua_gettop(L), 3);
            EXPECT_TRUE(lua_toboolean(L, 1));
            EXPECT_NEAR(lua_tonumber(L, 2), X, 1e-3) << "speed " << speed << " seed " << seed;
            EXPECT_NEAR(lua_tonumber(L, 3), Y, 1e-3) << "speed " << speed << " seed " << seed;
            lua_settop(L, 0);
            // Ahead of the car (facing +X) it lands 20 away, a little to either side; on the edge
            // of the 40 square otherwise.
            const float dx = X - p.x, dy = Y - p.y;
            EXPECT_TRUE(std::fabs(std::hypot(dx, dy) - 20.0f) < 1e-3f || std::fabs(dx) == 20.0f ||
                        std::fabs(dy) == 20.0f);
        }
    }
    // A marker: (x + 2, y + 2) whatever the draws, the spread 2.0 included at speed (no modulo by 0).
    struct Case {
        const char* args;
        const char* expected;
    };
    const Case cases[] = {
        {"'a', 1, 'm', 10, 10", "#3,true,12.0000,12.0000"},
        {"'a', 1, 7, 10, 10", "#3,true,12.0000,12.0000"}, // a number converts to a string
        {"'a', 1, {}, 10, 10", nullptr},                  // a table is no marker
        {"'a', 1, 'm', 1478, 0", "#3,true,1480.0000,2.0000"},
        {"'a', 1, 'm', 1479, 0", "#3,false,1481.0000,2.0000"}, // beyond the extent less 20
    };
    for (float speed : {0.0f, 3.0f, 100.0f}) {
        level->SetCurrentSpeed(speed);
        for (const Case& c : cases) {
            EngineSrand(7);
            const std::string result = Eval(std::string("return GetPositionForEnemy(") + c.args + ")");
            if (c.expected) EXPECT_EQ(result, c.expected) << c.args << " speed " << speed;
            else EXPECT_EQ(result.substr(0, 8), "#3,true,") << c.args;
        }
    }
}

TEST_F(TrackFunctionsTest, EnemyTypeFromSourcesOrTheMissionLine) {
    CPLevel* level = Level();
    ASSERT_TRUE(level);
    MovePlayer(level, {0, 0, 0});
    const auto source = [](float x, bool flag, std::vector<CPChanceEntry> enemies) {
        CPEnemySource s;
        s.position[0] = x;
        s.flag = flag;
        s.enemies = std::move(enemies);
        return s;
    };
    // Under "3": at 25 and 40 (never candidates), 30 with flag true, 35 with flag false.
    data_.enemySources = {
        {"3",
         {source(25, true, {{"edge", 0, 100}}), source(30, true, {{"grunt", 0, 50}, {"brute", 50, 100}}),
          source(35, false, {{"sneak", 0, 100}}), source(40, true, {{"edge", 0, 100}})}},
        {"empty", {source(50, true, {{"far", 0, 100}})}}};
    CPMissionLine line;
    line.enemies = {{"walker", 0, 60}, {"runner", 60, 90}}; // nothing for 90 to 99
    data_.missionLines = {line};

    for (unsigned seed = 1; seed <= 30; ++seed) {
        // One candidate under "3" with flag true (25 and 40 are out): the pick draw, then r.
        EngineSrand(seed);
        (void)EngineRand();
        const int r = EngineRand() % 100;
        EngineSrand(seed);
        EXPECT_EQ(Eval("return GetEnemyType(3, true)"),
                  std::string("#4,") + (r < 50 ? "'grunt'" : "'brute'") + ",true,30.0000,0.0000")
            << seed;
        EXPECT_EQ(Eval("return GetEnemyType('3', false)"), "#4,'sneak',true,35.0000,0.0000") << seed;
        // No candidate: r picks from the mission line; past its bounds the name is "".
        EngineSrand(seed);
        const int m = EngineRand() % 100;
        const std::string name = m < 60 ? "'walker'" : m < 90 ? "'runner'" : "''";
        EngineSrand(seed);
        EXPECT_EQ(Eval("return GetEnemyType(1, nil)"), "#4," + name + ",false,0.0000,0.0000") << seed;
    }
    // A key with sources but none in range, and lines outside the mission: "" at the player car.
    MovePlayer(level, {3, 4, 0});
    for (const char* args : {"'empty', true", "0, true", "2, true", "-1, false", "1e12, false"})
        EXPECT_EQ(Eval(std::string("return GetEnemyType(") + args + ")"), "#4,'',false,3.0000,4.0000") << args;

    MovePlayer(level, {0, 0, 0});
    const std::pair<const char*, const char*> near[] = {{"true, '3'", "#1,true"},
                                                        {"false, '3'", "#1,true"},
                                                        {"true, 'empty'", "#1,false"},
                                                        {"true, 'none'", "#1,false"},
                                                        {"nil, 3", "#1,true"}};
    for (const auto& [args, expected] : near)
        EXPECT_EQ(Eval(std::string("return IsEnemySourceNear(") + args + ")"), expected) << args;
}

TEST_F(TrackFunctionsTest, RadarPixels) {
    CPLevel* level = Level();
    ASSERT_TRUE(level);
    g_screenWidth = 1024;
    MovePlayer(level, {100, 50, 0});
    // 500 / 3000 pixels a metre about the panel's middle (915, 100); with the camera at a quarter
    // turn the panel is not turned: x to the right, y flipped (north up).
    struct Case {
        const char* key;
        float x, y;
        float zAngle;
        int bits;
        const char* expected; // sx, sy, flag
    };
    const float quarter = 1.5707964f;
    const Case cases[] = {
        {"scout", 130, 50, quarter, 9, "#4,3.0000,920.0000,100.0000,true"},
        {"scout", 130, 50, quarter, 10, "#4,3.0000,920.0000,100.0000,false"},
        {"coupe_t", 100, -10, quarter, 10, "#4,3.0000,915.0000,110.0000,true"},
        {"crossover_main", 100, 20, quarter, 2, "#4,3.0000,915.0000,105.0000,true"},
        {"hauler_", 100, 20, quarter, 1, "#4,3.0000,915.0000,105.0000,true"},
        {"someone", 100, 20, quarter, 3, "#4,3.0000,915.0000,105.0000,false"},
        // Turned a further quarter with the camera: (5, 0) becomes (0, 5).
        {"scout", 130, 50, 2 * quarter, 9, "#4,3.0000,915.0000,105.0000,true"},
        // Off the panel: left of 1024 - 205, or below 200.
        {"sedan_main", -600, 50, quarter, 9, "#4,3.0000,1074.0000,100.0000,true"},
        {"saloon", 100, -700, quarter, 10, "#4,3.0000,1074.0000,225.0000,true"},
        {"saloon", 100, 650, quarter, 10, "#4,3.0000,915.0000,0.0000,true"},
    };
    for (const Case& c : cases) {
        data_.carMap.Clear();
        data_.carMap[c.key] = {c.x, c.y};
        level->GetCamera()->zAngle = c.zAngle;
        level->GetPlayerCar()->SetClassBits(c.bits);
        EXPECT_EQ(Eval("local n, t = GetAIPositions() return n, t[1], t[2], t[3]"), c.expected) << c.key;
    }
    // Every entry in the map's order, three values each.
    data_.carMap.Clear();
    data_.carMap["scout"] = {130, 50};
    data_.carMap["coupe_t"] = {100, -10};
    level->GetCamera()->zAngle = quarter;
    level->GetPlayerCar()->SetClassBits(9);
    std::string expected = "#7,6.0000";
    for (const auto& entry : data_.carMap)
        expected += entry.first == "scout" ? ",920.0000,100.0000,true" : ",915.0000,110.0000,false";
    EXPECT_EQ(Eval("local n, t = GetAIPositions() return n, unpack(t)"), expected);
    // The game's map is empty: 0 and an empty table.
    data_.carMap.Clear();
    EXPECT_EQ(Eval("local n, t = GetAIPositions() return n, #t, type(t)"), "#3,0.0000,0.0000,'table'");
}

TEST_F(TrackFunctionsTest, NearestCarsTiesAndWrecks) {
    CPLevel* level = Level();
    ASSERT_TRUE(level);
    auto& cars = level->GetCars();
    // The empty list the game has: only the player car can answer, by its own bits.
    level->GetPlayerCar()->SetClassBits(9);
    MovePlayer(level, {0, 0, 3});
    EXPECT_EQ(Eval("return IsDarkLeft(), IsLightLeft()"), "#2,0.0000,0.0000");
    EXPECT_EQ(Eval("local x, y, z, car, d = GetNearestSunwardPlayer(0, 0, 0) return x, y, z, car, d"),
              "#5,0.0000,0.0000,3.0000,object,3.0000");
    EXPECT_EQ(Eval("return GetNearestMoonwardPlayer(0, 0, 0)"), "#0");

    cars = {Car({10, 0, 0}, 1),        // 0: sunward, 10 away
            Car({0, 10, 0}, 1),        // 1: sunward, 10 away (a later car wins the tie)
            Car({5, 0, 0}, 1, 100.0f), // 2: sunward wreck, nearest
            Car({6, 0, 0}, 2, 100.0f), // 3: moonward wreck
            Car({8, 0, 0}, 2),         // 4: moonward
            Car({1, 0, 0}, 4),         // 5: traffic, past the first five
            Car({2, 0, 0}, 1)};        // 6: sunward, past the first five
    level->GetPlayerCar()->SetClassBits(10);
    MovePlayer(level, {0, 0, 7});
    struct Case {
        const char* call;
        int car; // index in the list, -1 the player car
        float distance;
    };
    const Case cases[] = {
        // Car 2 is nearest but wrecked; cars 0 and 1 tie at 10 and the later one wins.
        {"GetNearestSunwardPlayer(0, 0, 0)", 1, 10.0f},
        {"GetNearestSunwardPlayer(0, 0, 0, false)", 1, 10.0f},
        // Wide: the first 20 cars, traffic counted.
        {"GetNearestSunwardPlayer(0, 0, 0, true)", 5, 1.0f},
        // Moonward counts its wreck; the player car (bits 10) wins only when strictly nearer.
        {"GetNearestMoonwardPlayer(0, 0, 0)", 3, 6.0f},
        {"GetNearestMoonwardPlayer(0, 0, 6.5)", -1, 0.5f},
        {"GetNearestMoonwardPlayer(3, 0, 3.5)", 3, std::sqrt(21.25f)},
    };
    for (const Case& c : cases) {
        const CPPlayer* expected = c.car < 0 ? level->GetPlayerCar() : cars[c.car].Get();
        const Vec3& p = expected->GetPosition();
        EXPECT_EQ(Eval(std::string("return ") + c.call),
                  "#5," + Number(p.x) + "," + Number(p.y) + "," + Number(p.z) + ",object," + Number(c.distance))
            << c.call;
        lua_settop(L, 0);
        ASSERT_EQ(luaL_dostring(L, (std::string("return select(4, ") + c.call + ")").c_str()), 0);
        EXPECT_EQ(lua_touserdata(L, 1), expected) << c.call;
        lua_settop(L, 0);
    }
    EXPECT_EQ(Eval("return GetNearestSunwardPlayer(0/0, 0, 0)"), "#0");
    EXPECT_EQ(Eval("return GetNearestMoonwardPlayer(10000, 10000, 10000)"), "#0"); // nobody within 10000
    // A wrecked player car still answers for its side.
    cars.clear();
    level->GetPlayerCar()->damage = 100.0f;
    level->GetPlayerCar()->SetClassBits(9);
    EXPECT_EQ(Eval("return select(5, GetNearestSunwardPlayer(0, 0, 7))"), "#1,0.0000");

    struct Left {
        std::vector<std::pair<int, float>> list; // bits, damage
        const char* expected;                    // IsDarkLeft, IsLightLeft
    };
    const Left lefts[] = {
        {{}, "#2,0.0000,0.0000"},
        {{{2, 0}}, "#2,1.0000,0.0000"},
        {{{1, 99.9f}}, "#2,0.0000,1.0000"},
        {{{1, 100}, {2, 100}}, "#2,0.0000,0.0000"},
        {{{3, 0}}, "#2,1.0000,1.0000"},
        {{{4, 0}, {4, 0}, {4, 0}, {4, 0}, {4, 0}, {2, 0}}, "#2,0.0000,0.0000"}, // only the first five
    };
    for (const Left& l : lefts) {
        cars.clear();
        for (const auto& [bits, damage] : l.list) cars.push_back(Car({0, 0, 0}, bits, damage));
        EXPECT_EQ(Eval("return IsDarkLeft(), IsLightLeft()"), l.expected);
        EXPECT_EQ(Eval("return type(IsDarkLeft())"), "#1,'number'");
    }
    cars.clear();
}

} // namespace
