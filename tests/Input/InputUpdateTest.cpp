// One turn of the input system against the scripted keyboard and mouse: which commands and which
// interface calls it makes, in which order.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "Core/PGlobalTimer.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Input/NInput.h"
#include "ScriptHarness.h"

namespace {

// Each dispatch call lands in the script's queue too, so one list shows the whole order.
class RecordingDispatch final : public CNInterfaceDispatch {
public:
    void MouseMove(float x, float y) override { Note("MouseMove " + Xy(x, y)); }
    void MouseDown(int b, float x, float y) override { Note("MouseDown " + std::to_string(b) + " " + Xy(x, y)); }
    void MouseUp(int b, float x, float y) override { Note("MouseUp " + std::to_string(b) + " " + Xy(x, y)); }
    void MenuDown() override { Note("MenuDown"); }
    void MenuUp() override { Note("MenuUp"); }
    void MenuLeft() override { Note("MenuLeft"); }
    void MenuRight() override { Note("MenuRight"); }
    void EnterDown() override { Note("EnterDown"); }
    void EnterUp() override { Note("EnterUp"); }

private:
    static std::string Xy(float x, float y) {
        char text[64];
        std::snprintf(text, sizeof(text), "%g,%g", x, y);
        return text;
    }
    static void Note(const std::string& what) { GetScriptManager()->SendCommandByName("main", "=" + what, ""); }
};

class InputUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories("Data/Scripts");
        std::ofstream("Data/Scripts/list.dat") << "main t_system main interface action_listener\n";
        std::ofstream("Data/Scripts/main.lua") << "while true do Update() end\n";
        std::ofstream("Actions.cfg") << "fire;Fire;Space;false\r\nleft;Left;Left;false\r\nmenu;Menu;Esc;false\r\n";
        ASSERT_TRUE(scripts.LoadList());
        main = scripts.GetScript("main");
        ASSERT_TRUE(main);
        main->Start();
        input = new CNInput;
        ASSERT_TRUE(input->Start());
        input->SetDevice(&device);
        input->SetDispatch(&dispatch);
        g_screenWidth = 640;
        g_screenHeight = 480;
        g_mouse = 0;
        AppActive = true;
    }
    void TearDown() override {
        input.Reset();
        main.Reset();
        CPManagedObject::CollectGarbage();
    }
    // One turn; what it sent, oldest first ("command params"; dispatch calls start with "=").
    std::vector<std::string> Turn() {
        input->Update();
        std::vector<std::string> sent;
        const auto& queue = main->GetQueue();
        for (auto it = queue.rbegin(); it != queue.rend(); ++it) {
            std::string line = it->name;
            std::string params;
            for (const std::string& p : it->params) params += (params.empty() ? "" : ",") + p;
            if (!params.empty()) line += " " + params;
            sent.push_back(line);
        }
        while (main->SetNextCommand()) {}
        return sent;
    }
    ScriptHarness::GameRoot root{""};
    CPScriptManager scripts;
    CPRefPtr<CPLuaScript> main;
    CPRefPtr<CNInput> input;
    Platform::ScriptedInput device;
    RecordingDispatch dispatch;
};

using Lines = std::vector<std::string>;

TEST_F(InputUpdateTest, OneTurnInTheOrderOfItsSteps) {
    // Mouse first (wheel, cursor, buttons 0..2, the move), then the keys by ascending code.
    device.Wheel(1);
    device.Motion(10, 5);
    device.ButtonDown(1);
    device.ButtonDown(0);
    device.KeyDown(0xC8); // Up
    device.KeyDown(0x39); // Space: fire
    device.KeyDown(0x1C); // Enter
    device.KeyDown(0xCB); // Left: bound, and a menu key
    EXPECT_EQ(Turn(),
              (Lines{"key_action prev_weapon,0", "=MouseDown 0 10,5", "=MouseDown 1 10,5", "key_action mouse1,0",
                     "=MouseMove 10,5", "standart_action enter,1", "=EnterDown", "key_action fire,1", "=MenuDown",
                     "key_action left,1", "standart_action left,1", "=MenuLeft"}));
    // Held keys say nothing; releases come with one "any_key".
    EXPECT_EQ(Turn(), Lines{});
    device.Wheel(-2);
    device.ButtonUp(1);
    device.ButtonUp(0);
    device.KeyUp(0x39);
    device.KeyUp(0x1C);
    device.KeyUp(0xCB);
    device.KeyUp(0xC8);
    EXPECT_EQ(Turn(), (Lines{"key_action next_weapon,0", "=MouseUp 0 10,5", "=MouseUp 1 10,5", "key_action mouse1,1",
                             "standart_action enter,0", "=EnterUp", "key_action fire,0", "key_action left,0",
                             "standart_action left,0", "any_key"}));
    // The first key presses of the run: the middle button and Esc, Backspace, Down.
    device.ButtonDown(2);
    device.KeyDown(0x01);
    device.KeyDown(0x0E);
    device.KeyDown(0xD0);
    EXPECT_EQ(Turn(), (Lines{"=MouseDown 2 10,5", "key_action mouse2,0", "key_action menu,1",
                             "standart_action escape,1", "standart_action backspace,1", "=MenuUp"}));
}

TEST_F(InputUpdateTest, PressAndReleaseBetweenTwoTurnsReadsDownThenUp) {
    device.KeyDown(0x39);
    device.KeyUp(0x39);
    device.KeyDown(0x39);
    device.KeyUp(0x39);
    EXPECT_EQ(Turn(), Lines{"key_action fire,1"});
    EXPECT_EQ(Turn(), (Lines{"key_action fire,0", "any_key"}));
    // Two keys up in one turn: two releases, one "any_key".
    device.KeyDown(0x39);
    device.KeyDown(0x11);
    Turn();
    device.KeyUp(0x39);
    device.KeyUp(0x11);
    EXPECT_EQ(Turn(), (Lines{"key_action fire,0", "any_key"}));
}

TEST_F(InputUpdateTest, ActionsOffAndKeyAssign) {
    input->actionsEnabled = false;
    device.KeyDown(0x39);
    device.KeyDown(0x01);
    device.Wheel(1);
    device.ButtonDown(2);
    EXPECT_EQ(Turn(), (Lines{"key_action prev_weapon,0", "=MouseDown 2 0,0", "key_action mouse2,0",
                             "standart_action escape,1"}));
    device.KeyUp(0x39);
    EXPECT_EQ(Turn(), Lines{"any_key"});
    input->actionsEnabled = true;

    // The next released key is reported once; its own release still goes out.
    input->keyAssignMode = true;
    device.KeyDown(0x11);
    device.KeyDown(0x39);
    Turn();
    device.KeyUp(0x11);
    device.KeyUp(0x39);
    EXPECT_EQ(Turn(), (Lines{"key_assign W,false", "key_action fire,0", "any_key"}));
    EXPECT_FALSE(input->keyAssignMode);
    // A key past the name table is an "undefined key".
    input->keyAssignMode = true;
    device.KeyDown(0xDB);
    Turn();
    device.KeyUp(0xDB);
    EXPECT_EQ(Turn(), (Lines{"key_assign undefined key,false", "any_key"}));
}

TEST_F(InputUpdateTest, TheCursorStaysOnTheScreen) {
    struct Case {
        float mouse;
        int dx, dy;
        float x, y;
    };
    // From (0, 0): the sensitivity scales the counts by mouse + 1; the bounds are the settings'.
    const Case cases[] = {
        {0.0f, 10, 5, 10, 5},        {1.0f, 10, 5, 30, 15},   {1.0f, 1000, 1000, 639, 479},
        {0.0f, -5000, -3, 0, 476},   {0.5f, 3, 0, 4.5f, 476}, {NAN, 50, 50, 4.5f, 476},
        {INFINITY, 1, 1, 4.5f, 476}, {0.0f, 0, 0, 4.5f, 476}, {-1.0f, 100, 100, 4.5f, 476},
    };
    for (const Case& c : cases) {
        g_mouse = c.mouse;
        device.Motion(c.dx, c.dy);
        Turn();
        EXPECT_FLOAT_EQ(input->GetCursorX(), c.x) << c.mouse << " " << c.dx;
        EXPECT_FLOAT_EQ(input->GetCursorY(), c.y) << c.mouse << " " << c.dy;
    }
    int x = 0, y = 0;
    input->GetMousePosition(x, y);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(y, 476);
    // The device is captured while the application is active and let go otherwise.
    AppActive = false;
    Turn();
    EXPECT_EQ(device.acquired.back(), false);
}

} // namespace
