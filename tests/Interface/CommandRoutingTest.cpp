// Who hears what the keyboard and mouse do: each script of this fixture sits in one category only,
// and the input system drives the real interface dispatch.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Input/NInput.h"
#include "Interface/PInterface.h"
#include "Interface/PInterfaceDispatch.h"
#include "Platform/Input.h"
#include "ScriptHarness.h"

namespace {

using Lines = std::vector<std::string>;

TEST(CommandRoutingTest, EachCommandReachesItsCategoryOrScriptOnly) {
    ScriptHarness::GameRoot root("");
    g_screenWidth = 1024;
    g_screenHeight = 768;
    g_mouse = 0;
    AppActive = true;
    std::filesystem::create_directories("Data/Scripts");
    std::filesystem::create_directories("Data/Interface");
    const std::vector<std::string> names = {"main", "listener", "ui", "paused", "level"};
    std::ofstream("Data/Scripts/list.dat") << "main t_system main\n"
                                              "listener t_level action_listener\n"
                                              "ui t_interface interface\n"
                                              "paused t_interface pause\n"
                                              "level t_level level\n";
    for (const std::string& name : names)
        std::ofstream("Data/Scripts/" + name + ".lua") << "while true do Update() end";
    // The screen "hud" belongs to "ui" and is shown; "menu" belongs to "paused" and is not.
    std::ofstream("Data/Interface/hud1024.int") << "ui\nhud.tga,256,256\nlight,off,0,0,1,1,1,1\n";
    std::ofstream("Data/Interface/menu1024.int") << "paused\nmenu.tga,256,256\nlight,off,0,0,1,1,1,1\n";
    std::ofstream("Actions.cfg") << "fire;Fire;Space;false\r\n";
    InvalidatePathCache();

    CPScriptManager scripts;
    ASSERT_TRUE(scripts.LoadList());
    std::map<std::string, CPRefPtr<CPLuaScript>> script;
    for (const std::string& name : names) {
        script[name] = scripts.GetScript(name);
        ASSERT_TRUE(script[name]) << name;
        script[name]->Start();
    }
    CPRefPtr<CPInterface> hud(new CPInterface), menu(new CPInterface);
    hud->Load("hud", 0);
    menu->Load("menu", 0);
    hud->SilentActivate(450);
    for (auto& [name, s] : script)
        while (s->SetNextCommand()) {} // "add_object" to the screen's owner

    Platform::ScriptedInput device;
    CPInterfaceDispatch dispatch;
    CPRefPtr<CNInput> input(new CNInput);
    ASSERT_TRUE(input->Start());
    input->SetDevice(&device);
    input->SetDispatch(&dispatch);

    // Turn 1: the cursor moves; Esc, Space, Up, Left, Right and Down go down.
    device.Motion(4, 2);
    for (int code : {0x01, 0x39, 0xC8, 0xCB, 0xCD, 0xD0}) device.KeyDown(code);
    input->Update();
    // Turn 2: a key is being assigned; they all come up again.
    input->keyAssignMode = true;
    for (int code : {0x01, 0x39, 0xC8, 0xCB, 0xCD, 0xD0}) device.KeyUp(code);
    input->Update();

    const std::map<std::string, Lines> expected = {
        {"main", {"any_key"}},
        {"listener",
         {"standart_action escape,1", "key_action fire,1", "standart_action left,1", "standart_action right,1",
          "standart_action escape,0", "key_action fire,0", "standart_action left,0", "standart_action right,0"}},
        {"ui",
         {"mouse_move 0.003906,0.002604", "mouse_move2 4.000000,2.000000", "menu_down", "menu_left", "menu_right",
          "menu_up", "key_assign Esc,false"}},
        {"paused", {}},
        {"level", {}},
    };
    for (const std::string& name : names) {
        Lines received;
        const auto& queue = script[name]->GetQueue();
        for (auto it = queue.rbegin(); it != queue.rend(); ++it) {
            std::string line = it->name, params;
            for (const std::string& p : it->params) params += (params.empty() ? "" : ",") + p;
            received.push_back(params.empty() ? line : line + " " + params);
        }
        EXPECT_EQ(received, expected.at(name)) << name;
    }

    input.Reset();
    hud.Reset();
    menu.Reset();
    script.clear();
    CPManagedObject::CollectGarbage();
}

} // namespace
