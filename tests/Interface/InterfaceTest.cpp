// Interface screens on the null device: loading ".int" files, hover, focus, Enter and the mouse
// buttons, with every command the screens send read back from the owner script's queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Interface/PFontManager.h"
#include "Interface/PInterface.h"
#include "ScriptHarness.h"

namespace {

const char* kScreen = "menu\n"
                      "menu.tga,256,256\n"
                      "light,off,0,0,1,1,1,1\n"
                      "window\n"
                      "back 0,0,1024,768,0,0,256,192\n"
                      "BUTTON\n"
                      "start 100,100,200,50,0,192,64,16\n"
                      "start_o 100,100,200,50,64,192,64,16\n"
                      "start_p 100,100,200,50,128,192,64,16\n"
                      "button\n"
                      "exit 100,200,200,50,0,208,64,16\n"
                      "exit_o 100,200,200,50,64,208,64,16\n"
                      "exit_p 100,200,200,50,128,208,64,16\n"
                      "unknown\n"
                      "window\n"
                      "cursor 0,0,32,32,192,192,32,32\n";

class InterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_screenWidth = 1024;
        g_screenHeight = 768;
        std::filesystem::create_directories("Data/Scripts");
        std::filesystem::create_directories("Data/Interface");
        std::ofstream("Data/Scripts/list.dat") << "menu t_system menu interface\n";
        std::ofstream("Data/Scripts/menu.lua") << "while true do Update() end\n";
        ASSERT_TRUE(scripts.LoadList());
        menu = scripts.GetScript("menu");
        ASSERT_TRUE(menu);
        menu->Start();
        WriteScreen("test", kScreen);
    }
    void TearDown() override {
        menu.Reset();
        CPManagedObject::CollectGarbage();
    }
    static void WriteScreen(const std::string& name, const std::string& text) {
        std::ofstream("Data/Interface/" + name + "1024.int", std::ios::binary) << text;
        InvalidatePathCache();
    }
    CPRefPtr<CPInterface> Load(const std::string& name) {
        CPRefPtr<CPInterface> i(new CPInterface);
        i->Load(name, 0);
        return i;
    }
    // The commands sent since the last call, oldest first, as "command params".
    std::vector<std::string> Sent() {
        std::vector<std::string> sent;
        const auto& queue = menu->GetQueue();
        for (auto it = queue.rbegin(); it != queue.rend(); ++it) {
            std::string line = it->name, params;
            for (const std::string& p : it->params) params += (params.empty() ? "" : ",") + p;
            if (!params.empty()) line += " " + params;
            sent.push_back(line);
        }
        while (menu->SetNextCommand()) {}
        return sent;
    }
    ScriptHarness::GameRoot root{""};
    CPScriptManager scripts;
    CPRefPtr<CPLuaScript> menu;
};

using Lines = std::vector<std::string>;

TEST_F(InterfaceTest, ScalingAt1280x1024) {
    g_screenWidth = 1280;
    g_screenHeight = 1024;
    WriteScreen("scaled", "menu\nmenu.tga,256,0\nlight,on,0,0,1,0.5,0.25,1,smooth\n"
                          "window\nplain 512,384,100,50,64,64,128,128\n"
                          "window\nwide 512,384,100,50,0,0,1,1,true,stretch\n"
                          "window\nhidden 512,384,100,50,0,0,1,1,false,center\n"
                          "text\ntitle small,512,384,menu_title\n");
    CPRefPtr<CPInterface> i = Load("scaled");
    EXPECT_STREQ(i->GetTypeName(), "CPInterface - scaled");
    EXPECT_EQ(i->GetScriptPointer(), menu.Get());
    EXPECT_TRUE(i->IsLit());
    EXPECT_FLOAT_EQ(i->GetLight().Diffuse.g, 0.25f);
    EXPECT_FLOAT_EQ(i->GetLight().Range, 10000.0f);
    CPWindow* plain = i->FindElement("plain");
    ASSERT_TRUE(plain);
    EXPECT_FLOAT_EQ(plain->GetX(), 639.5f);
    EXPECT_FLOAT_EQ(plain->GetY(), 511.5f);
    EXPECT_FLOAT_EQ(plain->GetVertices()[2].position.x, 125.0f);
    EXPECT_NEAR(plain->GetVertices()[2].position.y, 66.667f, 1e-3);
    EXPECT_FLOAT_EQ(plain->GetVertices()[0].tu, 0.25f);
    EXPECT_FLOAT_EQ(plain->GetVertices()[2].tv, 64.0f + 128.0f); // texture height 0 divides by 1
    CPWindow* wide = i->FindElement("wide");
    EXPECT_FLOAT_EQ(wide->GetVertices()[2].position.x, 156.25f);
    EXPECT_NEAR(wide->GetVertices()[2].position.y, 88.889f, 1e-3);
    EXPECT_FALSE(i->FindElement("hidden")->IsVisible());
    CPInterfaceText* title = i->FindText("title");
    ASSERT_TRUE(title);
    EXPECT_FLOAT_EQ(title->x, 640.5f);
    EXPECT_FLOAT_EQ(title->y, 512.5f);
    // Two visible quads in the buffers, indices offset per element.
    EXPECT_EQ(i->GetRenderObject()->vertices.size(), 8u);
    EXPECT_EQ(i->GetRenderObject()->indices[6], 4);
    EXPECT_FLOAT_EQ(i->GetRenderObject()->vertices[4].position.x, 639.5f);
}

TEST_F(InterfaceTest, BadFiles) {
    struct Case {
        const char* text;
        size_t elements;
    } cases[] = {
        {"", 0},
        {"menu\n", 0},
        {"menu\nmenu.tga\nlight\nwindow\nw x,y\n", 1},                                // non-numeric fields
        {"menu\nmenu.tga,256,256\nlight,off\nbutton\nb 1,1,1,1\nb_o 1,1,1,1\n", 0},   // button cut short
        {"menu\nmenu.tga,256,256\nlight,off\nwindow\nw  1,2,3,4\nwindow\n", 1},       // two spaces
        {"nobody\nmenu.tga,256,256\nlight,off\nWindow\nw 1,2,3,4\nbogus\nmore\n", 1}, // no owner script
    };
    for (const Case& c : cases) {
        WriteScreen("bad", c.text);
        CPRefPtr<CPInterface> i = Load("bad");
        EXPECT_EQ(i->GetElements().size(), c.elements) << c.text;
    }
    CPRefPtr<CPInterface> missing = Load("missing");
    EXPECT_TRUE(missing->GetElements().empty());
    EXPECT_TRUE(missing->GetRenderObject()->vertices.empty());
    // Two spaces after the name leave the second field empty: everything is 0.
    WriteScreen("bad", "menu\nmenu.tga,256,256\nlight,off\nwindow\nw  1,2,3,4\n");
    CPRefPtr<CPInterface> two = Load("bad");
    EXPECT_FLOAT_EQ(two->FindElement("w")->GetX(), -0.5f);
}

TEST_F(InterfaceTest, EditBoxLengthFromAnyNumber) {
    // The maximum length is an integer from the file: what lies beyond int's range saturates and a
    // field that is no number gives 0, never an undefined conversion.
    const std::pair<const char*, int> cases[] = {
        {"12", 12},         {"12.9", 12},     {"-3", -3}, {"1e10", INT_MAX},
        {"-1e10", INT_MIN}, {"inf", INT_MAX}, {"nan", 0}, {"x", 0},
    };
    for (const auto& [field, length] : cases) {
        WriteScreen("edit", std::string("menu\nmenu.tga,256,256\nlight,off\ntextedit\nname 1,2,small,") + field + "\n");
        CPRefPtr<CPInterface> i = Load("edit");
        CPEditBox* box = i->FindEditBox("name");
        ASSERT_TRUE(box) << field;
        EXPECT_EQ(box->GetMaxLength(), length) << field;
    }
}

TEST_F(InterfaceTest, AScreenStopsBeforeItsIndicesWrap) {
    std::string text = "menu\nmenu.tga,256,256\nlight,off\n";
    for (int i = 0; i < kMaxQuads + 3; ++i) text += "window\nw" + std::to_string(i) + " 0,0,1,1,0,0,1,1\n";
    WriteScreen("many", text);
    CPRefPtr<CPInterface> i = Load("many");
    ASSERT_EQ(i->GetElements().size(), static_cast<size_t>(kMaxQuads + 3));
    const CPRenderObject& r = *i->GetRenderObject();
    EXPECT_EQ(r.vertices.size(), 4u * kMaxQuads);
    EXPECT_EQ(r.indices.size(), 6u * kMaxQuads);
    EXPECT_EQ(*std::max_element(r.indices.begin(), r.indices.end()), 4 * kMaxQuads - 1);
}

TEST_F(InterfaceTest, HoverOverOnEveryMoveOutOnce) {
    CPRefPtr<CPInterface> i = Load("test");
    i->Activate(450);
    Sent();
    i->MouseMove(150, 120);
    i->MouseMove(160, 125);
    EXPECT_EQ(Sent(), (Lines{"mouse_window_over back,150,120", "mouse_window_over back,160,125"}))
        << "the background comes first in file order";
    // Hide the background: the button is hovered on every move and left once.
    i->FindElement("back")->SetVisible(false);
    i->MouseMove(150, 120);
    EXPECT_EQ(Sent(), (Lines{"mouse_window_out back", "mouse_button_over start"}));
    i->MouseMove(151, 121);
    i->MouseMove(10, 10);
    i->MouseMove(11, 11);
    EXPECT_EQ(Sent(), (Lines{"mouse_button_over start", "mouse_button_out start"}));
}

// An earlier element that takes the hover from a later one still under the cursor: the later one
// hears "out" first and goes back to its normal state, rather than staying lit beside the new one.
TEST_F(InterfaceTest, OverlapTellsTheOldElementFirst) {
    WriteScreen("overlap",
                "menu\nmenu.tga,256,256\nlight,off\n"
                "button\na 100,100,50,50,0,0,1,1\na_o 100,100,50,50,0,0,1,1\na_p 100,100,50,50,0,0,1,1\n"
                "button\nb 100,100,200,200,0,0,1,1\nb_o 100,100,200,200,0,0,1,1\nb_p 100,100,200,200,0,0,1,1\n"
                "window\ncursor 0,0,8,8,0,0,1,1\n");
    CPRefPtr<CPInterface> i = Load("overlap");
    i->Activate(450);
    i->FindElement("a")->SetVisible(false);
    i->MouseMove(120, 120);
    i->FindElement("a")->SetVisible(true);
    Sent();
    i->MouseMove(121, 121); // still inside b, but a comes first now
    EXPECT_EQ(Sent(), (Lines{"mouse_button_out b", "mouse_button_over a"}));
    EXPECT_EQ(static_cast<CPButton*>(i->FindElement("b"))->GetState(), CPButton::Normal);
}

TEST_F(InterfaceTest, HiddenAndDisabledElements) {
    CPRefPtr<CPInterface> i = Load("test");
    i->FindElement("back")->SetVisible(false);
    i->FindElement("start")->SetEnabled(false);
    i->Activate(450);
    Sent();
    i->MouseMove(150, 120);
    EXPECT_EQ(Sent(), Lines{});
    EXPECT_EQ(i->GetHovered(), nullptr);
    // Disabled but visible: drawn; hidden: not drawn.
    EXPECT_EQ(i->GetRenderObject()->vertices.size(), 8u);
}

TEST_F(InterfaceTest, ButtonPressAndRelease) {
    CPRefPtr<CPInterface> i = Load("test");
    i->Activate(450);
    i->FindElement("back")->SetVisible(false);
    i->MouseMove(150, 120);
    CPButton* start = i->FindButton("start");
    ASSERT_TRUE(start);
    // The vertices follow the state: over texels while hovered, pressed texels while down.
    auto u = [&] { return i->GetRenderObject()->vertices[0].tu; };
    EXPECT_FLOAT_EQ(u(), 64.0f / 256);
    Sent();
    i->MouseDown(0, 150, 120);
    EXPECT_FLOAT_EQ(u(), 128.0f / 256);
    i->MouseUp(0, 150, 120);
    EXPECT_FLOAT_EQ(u(), 64.0f / 256);
    EXPECT_EQ(Sent(), (Lines{"button_down start", "mouse_released", "button start"}));
    // The right button: "mouse_released" only.
    i->MouseDown(1, 150, 120);
    i->MouseUp(1, 150, 120);
    EXPECT_EQ(Sent(), (Lines{"mouse_released"}));
    // Released outside: back to normal, no "button".
    i->MouseDown(0, 150, 120);
    i->MouseUp(0, 500, 500);
    EXPECT_EQ(Sent(), (Lines{"button_down start", "mouse_released"}));
    EXPECT_EQ(start->GetState(), CPButton::Normal);
}

TEST_F(InterfaceTest, ClicksReachTheHoveredButtonAfterDeactivation) {
    CPRefPtr<CPInterface> i = Load("test");
    i->Activate(450);
    i->FindElement("back")->SetVisible(false);
    i->MouseMove(150, 120);
    i->Deactivate();
    Sent();
    i->MouseMove(10, 10); // inactive: no hover change
    i->MouseDown(0, 150, 120);
    i->MouseUp(0, 150, 120);
    i->MenuUp();
    i->EnterDown();
    EXPECT_EQ(Sent(), (Lines{"button_down start", "mouse_released", "button start"}));
}

TEST_F(InterfaceTest, FocusAndEnterWithoutCursor) {
    WriteScreen("nocursor", "menu\nmenu.tga,256,256\nlight,off\n"
                            "button\na 100,100,50,50,0,0,1,1\na_o 100,100,50,50,0,0,1,1\na_p 100,100,50,50,0,0,1,1\n"
                            "button\nb 100,200,50,50,0,0,1,1\nb_o 100,200,50,50,0,0,1,1\nb_p 100,200,50,50,0,0,1,1\n"
                            "button\nc 100,300,50,50,0,0,1,1\nc_o 100,300,50,50,0,0,1,1\nc_p 100,300,50,50,0,0,1,1\n");
    CPRefPtr<CPInterface> i = Load("nocursor");
    i->Activate(450);
    Sent();
    i->MouseMove(120, 120); // no cursor: the mouse hovers nothing
    EXPECT_EQ(i->GetHovered(), nullptr);
    i->FocusNext();
    i->FocusNext();
    i->FindElement("c")->SetEnabled(false);
    i->FocusNext(); // skips c, wraps to a
    i->FocusPrev(); // skips c, wraps to b
    EXPECT_EQ(i->GetHovered(), i->FindElement("b"));
    i->EnterDown();
    i->EnterUp();
    EXPECT_EQ(Sent(),
              (Lines{"mouse_button_over a", "mouse_button_out a", "mouse_button_over b", "mouse_button_out b",
                     "mouse_button_over a", "mouse_button_out a", "mouse_button_over b", "button_down b", "button b"}));
    // Nothing focusable: the focus stays.
    i->FindElement("a")->SetVisible(false);
    i->FindElement("b")->SetEnabled(false);
    i->FocusNext();
    EXPECT_EQ(Sent(), Lines{});
}

TEST_F(InterfaceTest, InterfaceListInCreationOrder) {
    const size_t before = GetInterfaceList().size();
    {
        CPRefPtr<CPInterface> a = Load("test");
        CPRefPtr<CPInterface> b = Load("test");
        ASSERT_EQ(GetInterfaceList().size(), before + 2);
        EXPECT_EQ(GetInterfaceList().back(), static_cast<CPInterfaceHandlers*>(b.Get()));
    }
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(GetInterfaceList().size(), before);
}

} // namespace
