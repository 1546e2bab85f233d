// The race HUD functions on a loaded level: the clock, overheat windows and kills from the level,
// the car and the game data; the progress markers from the car's and the rival's x; the players
// panel in the second round; the health bar against a projection the test works out by hand. And
// the demo HUD screen carries every window and text these functions and the demo items drive.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Core/POrientedBox.h"
#include "Core/PScriptObject.h"
#include "Interface/PFontManager.h"
#include "Interface/PInterface.h"
#include "Race/PCamera.h"
#include "Race/PPlayer.h"
#include "RaceWorldSupport.h"

namespace {

class HudFunctionsTest : public RaceWorldTest {
protected:
    void SetUp() override {
        RaceWorldTest::SetUp();
        g_screenWidth = 1280;
        g_screenHeight = 1024;
        FontFileData file;
        file.width = 256, file.height = 160, file.cellWidth = 16, file.cellHeight = 16;
        for (int c = 32; c < 127; ++c) file.cells.push_back({static_cast<uint8_t>(c), 8});
        CPRefPtr<SPFont> font(new SPFont);
        font->SetCells(file, 2, 0);
        fonts_.AddFont("small", font);
        std::string hud = "hud\nhud.tga,256,256\nlight,off\ntext\ntime small,0,0,x\ntext\nkills small,0,20,x\n"
                          "window\ngreen0 0,0,4,4,0,0,1,1\nwindow\nred0 0,0,4,4,0,0,1,1\n"
                          "window\nkrest 0,0,4,4,0,0,1,1\nwindow\nlaser2 0,0,4,4,0,0,1,1\n";
        for (int i = 1; i <= 12; ++i) hud += "window\noverheat" + std::to_string(i) + " 0,0,4,4,0,0,1,1\n";
        Put("Data/Interface/hud1024.int", hud);
        // The car's layout: start x 100, finish from x 390 (a "fin" 20 wide at 400).
        PutLayout("level1", {LayoutRecord("player", 100, 0, 1), LayoutRecord("fin,20", 400)});
        data_.SetPlayerName("sedan_main");
        ASSERT_TRUE(Run("InitLevel('level1') hud = CreateInterface('hud', 0)"));
        level_ = GetLevel();
        ASSERT_NE(level_, nullptr);
        ASSERT_NE(level_->GetPlayerCar(), nullptr);
        lua_getglobal(L, "hud");
        hud_ = static_cast<CPInterface*>(CheckEngineObject(lua_touserdata(L, -1)));
        lua_pop(L, 1);
        ASSERT_NE(hud_, nullptr);
    }
    void TearDown() override {
        Run("Release(hud)");
        RaceWorldTest::TearDown();
        g_screenWidth = 1024;
        g_screenHeight = 768;
    }
    bool Shown(const std::string& name) { return hud_->FindElement(name)->IsVisible(); }
    size_t Quads(const char* text) {
        return dynamic_cast<CPRenderObject*>(hud_->FindText(text)->object->GetRenderPart().Get())->vertices.size() / 4;
    }

    CPFontManager fonts_;
    CPLevel* level_ = nullptr;
    CPInterface* hud_ = nullptr;
};

TEST_F(HudFunctionsTest, ClockOverheatAndKillsComeFromTheRace) {
    CPPlayer* car = level_->GetPlayerCar();
    level_->SetCountdown(125.9f);
    data_.killCount = 7;
    struct Case {
        float temperature;
        int shown;
    };
    const Case cases[] = {{0.5f, 6}, {0.54f, 6}, {0.55f, 7}, {0.0f, 0}, {1.0f, 12}, {-0.2f, 0}, {3.0f, 12}, {NAN, 0}};
    for (const Case& c : cases) {
        car->engineTemperature = c.temperature;
        Run("UpdateTime(hud)");
        for (int i = 1; i <= 12; ++i)
            EXPECT_EQ(Shown("overheat" + std::to_string(i)), i <= c.shown) << c.temperature << " window " << i;
    }
    EXPECT_EQ(Quads("time"), 5u);  // "02:05"
    EXPECT_EQ(Quads("kills"), 5u); // "00007"
    // Countdowns no clock holds still make a text.
    for (float remaining : {NAN, INFINITY, -INFINITY, 1e30f}) {
        level_->SetCountdown(remaining);
        Run("UpdateTime(hud)");
        EXPECT_GE(Quads("time"), 5u) << remaining;
    }
    // A nil interface or another object changes nothing.
    car->engineTemperature = 1.0f;
    Run("UpdateTime(hud)");
    car->engineTemperature = 0.0f;
    lua_pushnil(L);
    PushObject(L, car);
    lua_setglobal(L, "car");
    lua_setglobal(L, "nothing");
    Run("UpdateTime(nothing) UpdateTime(car)");
    EXPECT_TRUE(Shown("overheat12"));
}

TEST_F(HudFunctionsTest, ProgressMarkersFollowThePlayerAndTheRival) {
    CPPlayer* car = level_->GetPlayerCar();
    ASSERT_FLOAT_EQ(level_->GetStartX(), 100.0f);
    ASSERT_FLOAT_EQ(level_->GetDistanceToFinish(), 290.0f);
    const float w = 1280.0f / 1024.0f;
    struct Case {
        float x;
        float greenX;
    };
    // (330 p + 345) W / 1024 with p = |x - 100| / 290, at most 1.
    const Case cases[] = {{100, 345 * w}, {245, 510 * w}, {-45, 510 * w}, {390, 675 * w}, {5000, 675 * w}};
    for (const Case& c : cases) {
        car->SetPosition(Vec3(c.x, 0, 6));
        Run("UpdateGameInterface(hud)");
        EXPECT_FLOAT_EQ(hud_->FindElement("green0")->GetX(), c.greenX) << c.x;
        EXPECT_FLOAT_EQ(hud_->FindElement("green0")->GetY(), 1024.0f * 79 / 768) << c.x;
        // The rival has not moved from the start.
        EXPECT_FLOAT_EQ(hud_->FindElement("red0")->GetX(), 345 * w) << c.x;
        EXPECT_FLOAT_EQ(hud_->FindElement("red0")->GetY(), 1024.0f * 72 / 768) << c.x;
    }
}

TEST_F(HudFunctionsTest, PlayersPanelInTheSecondRound) {
    ASSERT_EQ(level_->GetCarKey(), "sedan_main"); // the player drives "sedan_z"
    EXPECT_EQ(Eval("unpack(SetPlayersPanel())"), "6 coupe_t scout_4x4 sedan_z crossover_t saloon_i7 hauler");
    data_.SetCurrentRound(2);
    EXPECT_EQ(Eval("unpack(SetPlayersPanel())"), "6 sedan_z coupe_t scout_4x4 crossover_t saloon_i7 hauler");
}

TEST_F(HudFunctionsTest, HealthBarAgainstAHandMadeProjection) {
    // Eye at the origin looking along +x; the projection sends (x, y, z) to (y, z, x, x), so a point
    // lands at (y / x, -z / x).
    CPPerspectiveCamera* camera = level_->GetCamera()->GetMainCamera();
    camera->eye = Vec3(0, 0, 0);
    camera->lookAt = Vec3(1, 0, 0);
    camera->fov = 1.0f;
    Mat4 m{};
    m.m[1][0] = 1; // out.x = y
    m.m[2][1] = 1; // out.y = z
    m.m[0][2] = 1; // out.z = x
    m.m[0][3] = 1; // out.w = x
    camera->viewProjection = m;

    CPRefPtr<CPPlayer> car(new CPPlayer);
    car->SetBoundingBox(CPOrientedBox(Vec3(0, 0, 0), Vec3(2, 1, 0.5f)));
    car->SetPosition(Vec3(10, 2, 1));
    car->UpdateTransform();
    car->damage = 30;
    PushObject(L, car.Get());
    lua_setglobal(L, "car");
    // Half the box about its centre: x 9..11, y 1.5..2.5, z 0.75..1.25. Smallest y / x is 1.5 / 11,
    // smallest -z / x is -1.25 / 9.
    const double sx = (1.5 / 11 + 1) * 1280 * 0.5, sy = (1 - 1.25 / 9) * 1024 * 0.5;
    const Vec3 cornerBefore = car->GetOwnBox().corners[6];
    for (int call = 0; call < 3; ++call) {
        ASSERT_TRUE(Run("x, y, length = GetHelthBarCoord(car)"));
        EXPECT_NEAR(Number("x"), sx, 1e-3) << call;
        EXPECT_NEAR(Number("y"), sy, 1e-3) << call;
        EXPECT_NEAR(Number("length"), 70 * 0.47001317, 1e-4) << call;
    }
    EXPECT_EQ(car->GetOwnBox().corners[6], cornerBefore); // the car's own box is left alone

    // Out of sight, at the eye, nil or not a car: -100, -100, 0.
    struct Case {
        const char* name;
        Vec3 position;
        const char* argument;
    };
    const Case cases[] = {
        {"behind the camera", Vec3(-10, 0, 0), "car"}, {"beside it, past the field of view", Vec3(1, 10, 0), "car"},
        {"at the eye", Vec3(0, 0, 0), "car"},          {"nil", Vec3(10, 2, 1), "nil"},
        {"the hud, no car", Vec3(10, 2, 1), "hud"},
    };
    for (const Case& c : cases) {
        car->SetPosition(c.position);
        car->UpdateTransform();
        EXPECT_EQ(Eval(std::string("GetHelthBarCoord(") + c.argument + ")"), "3 -100 -100 0") << c.name;
    }
    // Without a level: no result.
    Run("DeleteLevel()");
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(Eval("GetHelthBarCoord(car)"), "0");
}

// The demo HUD has every window the HUD functions place or show and a window for each item of the
// demo catalogs, in the slot it can go in.
TEST(DemoHudTest, CarriesEveryDrivenWindowAndText) {
    const std::filesystem::path root = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data";
    std::ifstream hud(root / "Interface" / "hud1024.int");
    ASSERT_TRUE(hud) << "no demo HUD";
    std::set<std::string> windows, texts;
    std::string kind;
    for (std::string line; std::getline(hud, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "window" || line == "text" || line == "button") {
            kind = line;
            continue;
        }
        const std::string name = line.substr(0, line.find(' '));
        if (kind == "window") windows.insert(name);
        else if (kind == "text") texts.insert(name);
        kind.clear();
    }
    std::vector<std::string> want = {"green0", "red0", "krest", "noequipment1", "noequipment2", "health"};
    for (int i = 1; i <= 12; ++i) want.push_back("overheat" + std::to_string(i));
    // Armour, engines and equipment of the demo catalogs; equipment also in the second slot.
    std::ifstream catalogs(root / "catalogs.dat");
    ASSERT_TRUE(catalogs);
    std::string section;
    for (std::string line; std::getline(catalogs, line);) {
        if (line.empty() || line.rfind("//", 0) == 0) continue;
        if (line[0] == '[') {
            section = line;
            continue;
        }
        const std::string item = line.substr(0, line.find('\t'));
        if (section == "[armor]" || section == "[engines]") want.push_back(item);
        if (section == "[equipment]") {
            want.push_back(item);
            want.push_back(item + "2");
        }
    }
    for (const std::string& name : want) EXPECT_TRUE(windows.count(name)) << "window " << name;
    for (const char* name : {"time", "kills"}) EXPECT_TRUE(texts.count(name)) << "text " << name;
}

} // namespace
