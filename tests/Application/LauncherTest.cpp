// The launcher and Options dialogs' logic, driven through the scripted dialog backend.
#include "Application/Launcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "Core/PPath.h"
#include "Core/PSettings.h"
#include "Platform/ScriptedDialogs.h"

namespace fs = std::filesystem;
using namespace Platform;
using Script = ScriptedDialogBackend;

namespace {

// Runs in a scratch working directory (the dialogs save "config.cfg" there) with the settings at
// their defaults and three display modes offered.
class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("vastrel-launcher-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
        InvalidatePathCache();
        CPSettingsManager::ResetDefaults();
        settings_ = std::make_unique<CPSettingsManager>();
        g_displayModes = {{768, 1024, 32}, {1024, 1280, 32}, {1080, 1920, 32}};
    }
    void TearDown() override {
        settings_.reset();
        CPSettingsManager::ResetDefaults();
        g_displayModes.clear();
        fs::current_path(old_);
        fs::remove_all(dir_);
        InvalidatePathCache();
    }
    // The "name = value" line of a setting in the saved "config.cfg"; empty when none was saved.
    static std::string SavedLine(const std::string& name) {
        std::ifstream in("config.cfg", std::ios::binary);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind(name + " = ", 0) == 0) return line;
        return {};
    }
    static bool Saved() { return fs::exists("config.cfg"); }

    fs::path old_;
    fs::path dir_;
    std::unique_ptr<CPSettingsManager> settings_;
};

TEST_F(LauncherTest, Buttons) {
    struct Case {
        const char* name;
        std::deque<Script::Action> script;
        int fullScreenBefore;
        int answer;
        int fullScreenAfter;
        bool saved;
    };
    const Case cases[] = {
        {"start in fullscreen mode", {Script::Press(ControlStartFullScreen)}, 0, 1000, 1, true},
        {"start in windowed mode", {Script::Press(ControlStartWindowed)}, 1, 1003, 0, true},
        {"exit", {Script::Press(ControlExit)}, 1, 1002, 1, false},
        {"closing the window is exit", {Script::CloseWindow()}, 0, 1002, 0, false},
        {"other commands change nothing",
         {Script::Press(ControlWebHost), Script::Press(ControlOk), Script::Press(ControlCancel),
          Script::Press(ControlExit)},
         0,
         1002,
         0,
         false},
    };
    for (const Case& c : cases) {
        fs::remove("config.cfg");
        g_fullScreen = c.fullScreenBefore;
        Script dialogs;
        dialogs.script = c.script;
        EXPECT_EQ(RunLauncher(dialogs), c.answer) << c.name;
        EXPECT_EQ(g_fullScreen, c.fullScreenAfter) << c.name;
        ASSERT_EQ(Saved(), c.saved) << c.name;
        if (c.saved) {
            EXPECT_EQ(SavedLine("fullScreen"), "fullScreen = " + std::to_string(c.fullScreenAfter) + "\r") << c.name;
        }
        EXPECT_TRUE(dialogs.script.empty()) << c.name;
        ASSERT_EQ(dialogs.records.size(), 1u) << c.name;
        EXPECT_EQ(dialogs.records[0].dialogTemplate, LauncherDialog);
    }
}

TEST_F(LauncherTest, ShowsTheLauncherPageThroughThePathRules) {
    fs::create_directories("DATA");
    std::ofstream("DATA/Launcher.HTML") << "<html></html>";
    Script dialogs;
    dialogs.script = {Script::Press(ControlExit)};
    RunLauncher(dialogs);
    EXPECT_EQ(dialogs.records[0].caption, "Vastrel");
    EXPECT_TRUE(dialogs.records[0].centred);
    EXPECT_EQ(dialogs.records[0].webPage, "DATA/Launcher.HTML");
}

TEST_F(LauncherTest, WorksWithoutTheWebPage) {
    Script dialogs;
    dialogs.webPageFails = true;
    dialogs.script = {Script::Press(ControlStartWindowed)};
    EXPECT_EQ(RunLauncher(dialogs), 1003);
}

TEST_F(LauncherTest, NoDisplayAnswersFailureAndSavesNothing) {
    Script dialogs;
    dialogs.failToOpen = true;
    EXPECT_EQ(RunLauncher(dialogs), DialogFailed);
    EXPECT_FALSE(Saved());
}

TEST_F(LauncherTest, OptionsListsTheModesAndSelectsTheCurrentOne) {
    struct Case {
        const char* name;
        int width, height, bpp;
        int selected;
    };
    const Case cases[] = {
        {"current mode listed", 1280, 1024, 32, 1},
        {"last mode", 1920, 1080, 32, 2},
        {"size listed but at 16 bits: first entry", 1280, 1024, 16, 0},
        {"size not listed: first entry", 800, 600, 32, 0},
    };
    for (const Case& c : cases) {
        g_screenWidth = c.width;
        g_screenHeight = c.height;
        g_screenBPP = c.bpp;
        g_bloom = 1;
        g_blur = 0;
        Script dialogs;
        dialogs.script = {Script::Press(ControlOptions), Script::Press(ControlCancel), Script::Press(ControlExit)};
        RunLauncher(dialogs);
        ASSERT_EQ(dialogs.records.size(), 2u) << c.name;
        const Script::Record& options = dialogs.records[1];
        EXPECT_EQ(options.dialogTemplate, OptionsDialog);
        EXPECT_TRUE(options.centred);
        const std::vector<std::pair<std::string, int>> items = {
            {"1024 x 768 x 32", 0}, {"1280 x 1024 x 32", 1}, {"1920 x 1080 x 32", 2}};
        EXPECT_EQ(options.lists.at(ControlResolution), items) << c.name;
        EXPECT_EQ(options.selected.at(ControlResolution), c.selected) << c.name;
        EXPECT_TRUE(options.checks.at(ControlBloom)) << c.name;
        EXPECT_FALSE(options.checks.at(ControlMotionBlur)) << c.name;
    }
}

TEST_F(LauncherTest, OptionsOkChangesAndSavesAtOnce) {
    g_bloom = 1;
    g_blur = 0;
    Script dialogs;
    dialogs.script = {Script::Press(ControlOptions),      Script::Select(ControlResolution, 2),
                      Script::Check(ControlBloom, false), Script::Check(ControlMotionBlur, true),
                      Script::Press(ControlOk),           Script::Press(ControlExit)};
    EXPECT_EQ(RunLauncher(dialogs), 1002);
    EXPECT_EQ(dialogs.records[1].result, ControlOk);
    EXPECT_EQ(g_screenWidth, 1920);
    EXPECT_EQ(g_screenHeight, 1080);
    EXPECT_EQ(g_screenBPP, 32); // over the default 16
    EXPECT_EQ(g_bloom, 0);
    EXPECT_EQ(g_blur, 1);
    // Saved by OK itself: Exit saves nothing.
    EXPECT_EQ(SavedLine("screenWidth"), "screenWidth = 1920\r");
    EXPECT_EQ(SavedLine("screenHeight"), "screenHeight = 1080\r");
    EXPECT_EQ(SavedLine("screenBPP"), "screenBPP = 32\r");
    EXPECT_EQ(SavedLine("bloom"), "bloom = 0\r");
    EXPECT_EQ(SavedLine("blur"), "blur = 1\r");
}

TEST_F(LauncherTest, OptionsCancelOrCloseChangesNothing) {
    struct Case {
        const char* name;
        Script::Action leave;
        int result;
    };
    const Case cases[] = {
        {"Cancel", Script::Press(ControlCancel), ControlCancel},
        {"closed", Script::CloseWindow(), 1002},
    };
    for (const Case& c : cases) {
        g_screenWidth = 1024;
        g_screenHeight = 768;
        g_screenBPP = 32;
        g_bloom = 1;
        g_blur = 1;
        Script dialogs;
        dialogs.script = {Script::Press(ControlOptions),
                          Script::Select(ControlResolution, 2),
                          Script::Check(ControlBloom, false),
                          Script::Check(ControlMotionBlur, false),
                          c.leave,
                          Script::Press(ControlExit)};
        EXPECT_EQ(RunLauncher(dialogs), 1002) << c.name;
        EXPECT_EQ(dialogs.records[1].result, c.result) << c.name;
        EXPECT_EQ(g_screenWidth, 1024) << c.name;
        EXPECT_EQ(g_screenHeight, 768) << c.name;
        EXPECT_EQ(g_bloom, 1) << c.name;
        EXPECT_EQ(g_blur, 1) << c.name;
        EXPECT_FALSE(Saved()) << c.name;
    }
}

TEST_F(LauncherTest, OptionsOkWithNoModesKeepsTheResolution) {
    g_displayModes.clear();
    g_screenWidth = 1280;
    g_screenHeight = 720;
    g_screenBPP = 16;
    g_bloom = 0;
    Script dialogs;
    dialogs.script = {Script::Press(ControlOptions), Script::Check(ControlBloom, true), Script::Press(ControlOk),
                      Script::Press(ControlStartWindowed)};
    EXPECT_EQ(RunLauncher(dialogs), 1003);
    EXPECT_TRUE(dialogs.records[1].lists[ControlResolution].empty());
    EXPECT_EQ(g_screenWidth, 1280);
    EXPECT_EQ(g_screenHeight, 720);
    EXPECT_EQ(g_screenBPP, 16);
    EXPECT_EQ(g_bloom, 1);
    EXPECT_EQ(SavedLine("bloom"), "bloom = 1\r");
}

TEST_F(LauncherTest, OptionsTwiceStartsFromTheSettings) {
    // Toggling and then cancelling leaves nothing behind for the next opening.
    g_bloom = 1;
    Script dialogs;
    dialogs.script = {Script::Press(ControlOptions), Script::Check(ControlBloom, false), Script::Press(ControlCancel),
                      Script::Press(ControlOptions), Script::Press(ControlOk),           Script::Press(ControlExit)};
    RunLauncher(dialogs);
    ASSERT_EQ(dialogs.records.size(), 3u);
    EXPECT_TRUE(dialogs.records[2].checks.at(ControlBloom));
    EXPECT_EQ(g_bloom, 1);
}

TEST_F(LauncherTest, StartSwitchActsAsTheButton) {
    struct Case {
        int control;
        int answer;
        int fullScreen;
        bool saved;
    };
    const Case cases[] = {
        {ControlStartFullScreen, 1000, 1, true},
        {ControlStartWindowed, 1003, 0, true},
        {ControlExit, 1002, 7, false},
        {ControlOptions, 0, 7, false},
    };
    for (const Case& c : cases) {
        fs::remove("config.cfg");
        g_fullScreen = 7;
        EXPECT_EQ(PressLauncherButton(c.control), c.answer) << c.control;
        EXPECT_EQ(g_fullScreen, c.fullScreen) << c.control;
        EXPECT_EQ(Saved(), c.saved) << c.control;
    }
}

} // namespace
