// The interface script functions from Lua, on the null device: screens, windows, texts, edit boxes,
// the cursor, the focus, LockButton and UnlockButton, and what they answer for missing arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <lua.hpp>

#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Interface/PFontManager.h"
#include "Interface/PHud.h"
#include "Interface/PInterface.h"
#include "Platform/TgaWriter.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "ScriptFunctions/InterfaceFunctions.h"
#include "ScriptHarness.h"

namespace {

const char* kScreen = "menu\nmenu.tga,256,256\nlight,off,0,0,1,1,1,1\n"
                      "window\nback 0,0,1024,768,0,0,256,192\n"
                      "button\nstart 100,100,200,50,0,192,64,16\nstart_o 100,100,200,50,64,192,64,16\n"
                      "start_p 100,100,200,50,128,192,64,16\n"
                      "button\nexit 100,200,200,50,0,208,64,16\nexit_o 100,200,200,50,64,208,64,16\n"
                      "exit_p 100,200,200,50,128,208,64,16\n"
                      "text\nscore small,10,10,score_key\n"
                      "text\ntime small,10,40,none\n"
                      "textedit\nname 100,300,small,3\n"
                      "window\ncursor 0,0,32,32,192,192,32,32\n";

class InterfaceFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterInterfaceScriptFunctions();
        g_screenWidth = 1024;
        g_screenHeight = 768;
        std::filesystem::create_directories("Data/Interface");
        std::ofstream("Data/Interface/t1024.int", std::ios::binary) << kScreen;
        InvalidatePathCache();
        FontFileData file;
        file.width = 256, file.height = 160, file.cellWidth = 16, file.cellHeight = 16;
        for (int c = 32; c < 127; ++c) file.cells.push_back({static_cast<uint8_t>(c), 8});
        CPRefPtr<SPFont> font(new SPFont);
        font->SetCells(file, 2, 0);
        fonts.AddFont("small", font);
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
        ASSERT_TRUE(Run("ui = CreateInterface('t', 0)"));
        lua_getglobal(L, "ui");
        ui = static_cast<CPInterface*>(CheckEngineObject(lua_touserdata(L, -1)));
        lua_pop(L, 1);
        ASSERT_TRUE(ui);
    }
    void TearDown() override {
        Run("Release(ui)");
        lua_close(L);
        CPManagedObject::CollectGarbage();
    }
    bool Run(const std::string& code) {
        if (luaL_dostring(L, code.c_str()) == 0) return true;
        ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
        lua_pop(L, 1);
        return false;
    }
    // The value of a Lua expression as text ("nil" and "none" distinguished by count).
    std::string Eval(const std::string& expression) {
        Run("local r = {" + expression + "} local n = select('#', " + expression +
            ") local s = tostring(n) for i = 1, n do s = s .. ' ' .. tostring(r[i]) end result = s");
        lua_getglobal(L, "result");
        std::string s = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_pop(L, 1);
        return s;
    }
    size_t TextQuads(const std::string& name) {
        CPInterfaceText* t = ui->FindText(name);
        return t ? dynamic_cast<CPRenderObject*>(t->object->GetRenderPart().Get())->vertices.size() / 4 : 0;
    }

    ScriptHarness::GameRoot root{""};
    CPFontManager fonts;
    CPGameData data;
    lua_State* L = nullptr;
    CPInterface* ui = nullptr;
};

TEST_F(InterfaceFunctionsTest, WindowsAndTheirAnswers) {
    EXPECT_EQ(Eval("IsWindowVisible(ui, 'back')"), "1 true");
    Run("SetWindowVisible(ui, 'back', false)");
    EXPECT_EQ(Eval("IsWindowVisible(ui, 'back')"), "1 false");
    EXPECT_EQ(Eval("IsWindowVisible(nil, 'back')"), "1 false");
    EXPECT_EQ(Eval("IsWindowVisible(ui)"), "1 false");
    Run("SetWindowPosition(ui, 'start', 10, 20)");
    EXPECT_EQ(Eval("GetWindowPosition(ui, 'start')"), "2 10 20");
    Run("SetWindowPositionShop(ui, 'start', 10, 20)");
    EXPECT_EQ(Eval("GetWindowPosition(ui, 'start')"), "2 9.5 19.5");
    EXPECT_EQ(Eval("GetWindowPosition(ui, 'nothing')"), "2 -1 -1");
    EXPECT_EQ(Eval("GetWindowPosition({}, 'start')"), "2 -1 -1"); // not a userdata: nil
    Run("SetWindowSize(ui, 'back', 30, 40)");
    EXPECT_FLOAT_EQ(ui->FindElement("back")->GetVertices()[2].position.x, 30);
    EXPECT_FLOAT_EQ(ui->FindElement("back")->GetVertices()[2].position.y, 40);
    Run("SetWindowActive(ui, 'start', false)");
    EXPECT_FALSE(ui->FindElement("start")->IsEnabled());
    // A light userdata that is no live interface reads as nil.
    Run("SetWindowVisible(StringToPointer('12345'), 'back', true)");
    EXPECT_EQ(Eval("GetTextureSize('Data/Interface')"), "2 0 0");
    EXPECT_EQ(Eval("GetTextureSize('Data/Interface/t1024.int')"), "2 0 0");
    std::vector<uint8_t> pixels(7 * 3 * 4, 255);
    ASSERT_TRUE(Platform::WriteTgaFile("img.tga", 7, 3, pixels));
    InvalidatePathCache();
    EXPECT_EQ(Eval("GetTextureSize('img.tga')"), "2 7 3");
    EXPECT_FALSE(luaL_dostring(L, "GetTextureSize()") == 0);
    lua_pop(L, 1);
}

TEST_F(InterfaceFunctionsTest, TextsAndStrings) {
    data.strings["greet"] = "Hi";
    Run("SetText(ui, 'score', 'ABC')");
    EXPECT_EQ(TextQuads("score"), 3u);
    Run("SetTextString(ui, 'score', 'greet')");
    EXPECT_EQ(TextQuads("score"), 2u);
    Run("SetTextString(ui, 'score', 'missing')");
    EXPECT_EQ(TextQuads("score"), 0u);
    EXPECT_EQ(data.strings.count("missing"), 1u); // entered with an empty text
    Run("UpdateScore(ui, 42)");
    EXPECT_EQ(TextQuads("score"), 5u); // "00042"
    // A font that is not loaded leaves the text empty.
    Run("SetFont(ui, 'score', 'nofont', 'ABC')");
    EXPECT_EQ(TextQuads("score"), 0u);
    Run("SetTextPosition(ui, 'score', 300, 200) SetText(ui, 'score', 'A')");
    auto* part = dynamic_cast<CPRenderObject*>(ui->FindText("score")->object->GetRenderPart().Get());
    EXPECT_FLOAT_EQ(part->vertices[0].position.x, 300);
    Run("SetText(nil, 'score', 'A') SetText(ui) SetFontString(ui, 'score', 'small', 'greet')");
    EXPECT_EQ(TextQuads("score"), 2u);
}

TEST_F(InterfaceFunctionsTest, EditBoxes) {
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'name')"), "1 ");
    EXPECT_EQ(TextQuads("name"), 1u); // "_"
    Run("EditBoxProcessKey(ui, 'name', string.byte('a'))");
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'name')"), "1 A");
    EXPECT_EQ(TextQuads("name"), 2u);
    Run("EditBoxProcessKey(ui, 'name', 32) EditBoxProcessKey(ui, 'name', 0xE9)");
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'name')"), "1 A \xC9");
    Run("EditBoxProcessKey(ui, 'name', string.byte('b')) EditBoxProcessKey(ui, 'name', 32)"); // full
    EXPECT_EQ(Eval("EditBoxTextLength(ui, 'name')"), "1 3");
    Run("EditBoxProcessKey(ui, 'name', 8)");
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'name')"), "1 A ");
    Run("SetEditBoxText(ui, 'name', 'abcdef')");
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'name')"), "1 abc");
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'none')"), "1 ");
    EXPECT_EQ(Eval("EditBoxTextLength(ui, 'none')"), "1 0");
    EXPECT_EQ(Eval("GetEditBoxText(nil, 'name')"), "0");
    EXPECT_EQ(Eval("EditBoxTextLength(nil, 'name')"), "0");
}

TEST_F(InterfaceFunctionsTest, EditKeysInWindows1252) {
    struct Case {
        const char* before;
        int max, code;
        const char* after;
        bool changed;
    } cases[] = {
        {"", 3, 'a', "A", true},     {"ABC", 3, 'd', "ABC", false}, {"ABC", 3, ' ', "ABC", false},
        {"AB", 3, 8, "A", true},     {"", 3, 8, "", true},          {"", 3, '5', "5", true},
        {"", 3, 0xE9, "\xC9", true}, {"", 3, 0xFF, "\x9F", true},   {"", 3, 0xDF, "\xDF", true},
        {"", 3, 0x9A, "\x8A", true}, {"", 3, '-', "", false},       {"", 3, 0xD7, "", false},
        {"", 3, 27, "", false},      {"", 3, 300, "", false},       {"A", 3, ' ', "A ", true},
        {"", 3, 0x83, "\x83", true}, // the code page's f-hook is a letter with no upper case
    };
    for (const Case& c : cases) {
        std::string text = c.before;
        EXPECT_EQ(EditBoxKey(text, c.max, c.code), c.changed) << c.code;
        EXPECT_EQ(text, c.after) << c.code;
    }
}

TEST_F(InterfaceFunctionsTest, CursorFocusAndLocks) {
    // A window under the focus point would take the hover first: the background stays out of it.
    Run("SetWindowActive(ui, 'back', false) ActivateInterface(ui)");
    EXPECT_EQ(Eval("GetCursor(ui)"), "1 ");
    Run("SetCursor(ui, 'nothing')");
    EXPECT_EQ(ui->GetCursor(), nullptr);
    EXPECT_EQ(Eval("GetCursor(ui)"), "1 nothing");
    Run("SetCursor(ui, 'cursor')");
    ASSERT_TRUE(ui->GetCursor());
    EXPECT_FALSE(luaL_dostring(L, "SetCursor(ui)") == 0);
    lua_pop(L, 1);

    Run("IMenuRight()");
    EXPECT_EQ(ui->GetHovered(), ui->FindElement("start"));
    Run("LockButton(ui, 'start')");
    EXPECT_EQ(ui->GetHovered(), nullptr);
    EXPECT_FALSE(ui->FindElement("start")->IsEnabled());
    EXPECT_EQ(ui->FindButton("start")->GetState(), CPButton::Normal);
    Run("IMenuRight() IMenuRight()");
    EXPECT_EQ(ui->GetHovered(), ui->FindElement("exit"));
    Run("UnlockButton(ui, 'start') IMenuRight()");
    EXPECT_EQ(ui->GetHovered(), ui->FindElement("start"));
    Run("DeselectCurrentButton(ui)");
    EXPECT_EQ(ui->GetHovered(), nullptr);
    EXPECT_EQ(ui->FindButton("start")->GetState(), CPButton::Normal);
    Run("LockButton(ui) UnlockButton(nil, 'start') LockButton(ui, 'back') DeselectCurrentButton(nil)");
    EXPECT_FALSE(ui->FindElement("back")->IsEnabled()); // a window is no button: left as it was
    Run("DeactivateInterface(ui)");
    EXPECT_FALSE(ui->IsInterfaceActive());
}

TEST_F(InterfaceFunctionsTest, ButtonsAreFoundByTheButtonList) {
    // A window after the button takes its name in the element map; the hovered button is still one
    // of the screen's buttons and loses the hover, and LockButton and UnlockButton still reach it.
    std::ofstream("Data/Interface/d1024.int", std::ios::binary)
        << "menu\nmenu.tga,256,256\nlight,off,0,0,1,1,1,1\n"
           "button\nstart 100,100,200,50,0,192,64,16\nstart_o 100,100,200,50,64,192,64,16\n"
           "start_p 100,100,200,50,128,192,64,16\n"
           "window\nstart 0,0,32,32,192,192,32,32\n";
    InvalidatePathCache();
    ASSERT_TRUE(Run("dup = CreateInterface('d', 0) ActivateInterface(dup)"));
    lua_getglobal(L, "dup");
    auto* dup = static_cast<CPInterface*>(CheckEngineObject(lua_touserdata(L, -1)));
    lua_pop(L, 1);
    ASSERT_TRUE(dup);
    ASSERT_EQ(dup->GetButtons().size(), 1u);
    CPWindow* button = dup->GetButtons()[0].Get();
    ASSERT_NE(dup->FindElement("start"), button);
    dup->HoverAt(150, 125);
    ASSERT_EQ(dup->GetHovered(), button);
    Run("DeselectCurrentButton(dup)");
    EXPECT_EQ(dup->GetHovered(), nullptr);
    Run("LockButton(dup, 'start')");
    EXPECT_FALSE(button->IsEnabled());
    Run("UnlockButton(dup, 'start')");
    EXPECT_TRUE(button->IsEnabled());
    Run("DeactivateInterface(dup)");
}

TEST_F(InterfaceFunctionsTest, HudWithoutALevel) {
    EXPECT_EQ(Eval("SetPlayersPanel()"), "0");
    EXPECT_EQ(Eval("GetHelthBarCoord(nil)"), "0");
    Run("UpdateTime(ui) UpdateGameInterface(ui) InitGameInterface(nil)");
    EXPECT_EQ(HudClockText(125.9f), "02:05");
    EXPECT_EQ(HudClockText(59.999f), "00:59");
    EXPECT_EQ(HudClockText(3600.0f), "60:00");
    for (auto [heat, n] : {std::pair{0.5f, 6}, {0.54f, 6}, {0.55f, 7}, {0.0f, 0}, {1.0f, 12}})
        EXPECT_EQ(OverheatCount(heat), n) << heat;
    EXPECT_FLOAT_EQ(ProgressShare(500, 100, 200), 1.0f);
    EXPECT_FLOAT_EQ(ProgressShare(150, 100, 200), 0.25f);
    EXPECT_FLOAT_EQ(ProgressShare(150, 100, 0), 0.0f);
}

TEST_F(InterfaceFunctionsTest, PlayersPanelOrdersTheSixCarsByStanding) {
    const char* panel = "unpack(SetPlayersPanel())";
    CPLevel level;
    level.SetCarKey("sedan_main"); // the player drives "sedan_z"
    // A fresh game: every value is -1, so the table's order stands; each rival gets its record.
    EXPECT_EQ(Eval(panel), "6 coupe_t scout_4x4 sedan_z crossover_t saloon_i7 hauler");
    EXPECT_EQ(data.standingsMap.Size(), 5u);
    EXPECT_EQ(data.standingsMap.Find("sedan_main"), nullptr);
    // The player's standings times the current round; a rival's round count times its standings.
    data.SetStandings(-2);
    data.standingsMap["coupe_t"].roundCount = 2;
    data.standingsMap["coupe_t"].standings = 3;
    data.standingsMap["hauler_"].standings = -5;
    EXPECT_EQ(Eval(panel), "6 hauler sedan_z scout_4x4 crossover_t saloon_i7 coupe_t");
    // Counters from a save too large for their product still order.
    data.standingsMap["saloon"].roundCount = 2000000000;
    data.standingsMap["saloon"].standings = 2000000000;
    EXPECT_EQ(Eval(panel), "6 hauler sedan_z scout_4x4 crossover_t coupe_t saloon_i7");
}

TEST_F(InterfaceFunctionsTest, HudWindows) {
    std::string hud = "menu\nmenu.tga,256,256\nlight,off\ntext\ntime small,0,0,x\ntext\nkills small,0,20,x\n";
    for (const char* w : {"krest", "titan", "engine2", "noequipment1", "noequipment2", "laser", "laser2", "green0"})
        hud += std::string("window\n") + w + " 0,0,4,4,0,0,1,1\n";
    for (int i = 1; i <= 12; ++i) hud += "window\noverheat" + std::to_string(i) + " 0,0,4,4,0,0,1,1\n";
    std::ofstream("Data/Interface/h1024.int", std::ios::binary) << hud;
    InvalidatePathCache();
    CPRefPtr<CPInterface> h(new CPInterface);
    h->Load("h", 0);
    ApplyHudTime(*h, 125.9f, 0.55f, 7);
    for (int i = 1; i <= 12; ++i) EXPECT_EQ(h->FindElement("overheat" + std::to_string(i))->IsVisible(), i <= 7) << i;
    auto quads = [&](const char* name) {
        return dynamic_cast<CPRenderObject*>(h->FindText(name)->object->GetRenderPart().Get())->vertices.size() / 4;
    };
    EXPECT_EQ(quads("time"), 5u);
    EXPECT_EQ(quads("kills"), 5u);

    CPCarConfiguration c;
    c.equipment1 = "laser";
    ShowEquipment(*h, c);
    auto shown = [&](const char* name) { return h->FindElement(name)->IsVisible(); };
    EXPECT_TRUE(shown("krest"));
    EXPECT_FALSE(shown("engine2"));
    EXPECT_TRUE(shown("laser"));
    EXPECT_FALSE(shown("noequipment1"));
    EXPECT_TRUE(shown("noequipment2"));
    c.armor = "titan", c.engine = "engine2", c.equipment1.clear(), c.equipment2 = "laser";
    ShowEquipment(*h, c);
    EXPECT_FALSE(shown("krest"));
    EXPECT_TRUE(shown("titan") && shown("engine2") && shown("noequipment1") && shown("laser2"));
    EXPECT_FALSE(shown("laser") || shown("noequipment2"));

    ApplyProgressMarkers(*h, ProgressShare(900, 100, 300), 0);
    EXPECT_FLOAT_EQ(h->FindElement("green0")->GetX(), 675.0f);
    EXPECT_FLOAT_EQ(h->FindElement("green0")->GetY(), 79.0f);
}

} // namespace
