// The run of the program with null backends: start-up order and abort paths, the files shutdown
// writes, and what the main window's messages do.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Application/PApplication.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Platform/NullWindow.h"
#include "Platform/ScriptedDialogs.h"
#include "Render/PRender.h"
#include "ScriptHarness.h"

namespace {

using ScriptHarness::GameRoot;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        AppActive = true;
        g_exitFlag = false;
        platform.makeWindow = [this] {
            auto w = std::make_unique<Platform::NullWindow>();
            w->failCreate = failWindow;
            window = w.get();
            return w;
        };
        platform.makeMessages = [this](Platform::Window&, int, int) {
            auto m = std::make_unique<Platform::QueueMessageSource>();
            messages = m.get();
            return m;
        };
        platform.makeDevice = [] { return std::make_unique<Platform::NullBackend>(); };
        platform.dialogs = &dialogs;
    }
    void TearDown() override {
        app.reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
        AppActive = true;
    }
    // The application (and with it the window the test looks at) lives until the test ends.
    RunResult Run() {
        app = std::make_unique<CPApplication>(platform);
        return app->Run();
    }

    ApplicationPlatform platform;
    std::unique_ptr<CPApplication> app;
    Platform::ScriptedDialogBackend dialogs;
    Platform::NullWindow* window = nullptr;
    Platform::QueueMessageSource* messages = nullptr;
    bool failWindow = false;
};

TEST_F(ApplicationTest, StartWindowedRunsTheLoopAndWritesBothFiles) {
    GameRoot root("app/quits");
    platform.startButton = Platform::ControlStartWindowed;
    EXPECT_EQ(Run(), RunResult::Finished);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->width, 800);
    EXPECT_EQ(window->height, 600);
    EXPECT_TRUE(window->windowed);

    std::string config = ReadFile("config.cfg");
    EXPECT_EQ(std::count(config.begin(), config.end(), '\n'), 32);
    EXPECT_EQ(config.rfind("fullScreen = 0\r\n", 0), 0u);
    EXPECT_NE(config.find("screenWidth = 800\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile("Actions.cfg"), "fire;Fire;Space;false\r\nx;Slot five;5;true\r\nmenu;Menu;Esc;false\r\n");
    // The script ran its five turns and got "release_all" at shutdown.
    std::string log = ReadFile("main.log");
    EXPECT_NE(log.find("5 quit\n"), std::string::npos);
    EXPECT_NE(log.find("release_all"), std::string::npos);
    // Every singleton is gone again.
    EXPECT_EQ(GetKernel(), nullptr);
    EXPECT_EQ(GetScriptManager(), nullptr);
    EXPECT_EQ(GetSettingsManager(), nullptr);
}

TEST_F(ApplicationTest, LauncherExitOrFailureOpensNoWindowAndWritesNothing) {
    struct Case {
        int startButton;
        bool dialogFails;
        RunResult expected;
    };
    const Case cases[] = {
        {Platform::ControlExit, false, RunResult::Exited},
        {0, true, RunResult::LauncherFailed},
    };
    for (const Case& c : cases) {
        GameRoot root("app/quits");
        std::string configBefore = ReadFile("config.cfg");
        platform.startButton = c.startButton;
        dialogs.failToOpen = c.dialogFails;
        window = nullptr;
        EXPECT_EQ(Run(), c.expected);
        EXPECT_EQ(window, nullptr);
        EXPECT_EQ(ReadFile("config.cfg"), configBefore);
        EXPECT_EQ(ReadFile("Actions.cfg"), "fire;Fire;Space;false\r\nx;Slot five;5;true\r\nmenu;Menu;Esc;false\r\n");
        EXPECT_FALSE(root.Exists("main.log"));
        EXPECT_EQ(GetKernel(), nullptr);
    }
}

TEST_F(ApplicationTest, WindowThatCannotBeMadeIsARendererThatCannotStart) {
    GameRoot root("app/quits");
    failWindow = true;
    platform.startButton = Platform::ControlStartFullScreen;
    EXPECT_EQ(Run(), RunResult::RendererFailed);
    // The start button saved its choice; shutdown wrote nothing and no script ran.
    EXPECT_EQ(ReadFile("config.cfg").rfind("fullScreen = 1\r\n", 0), 0u);
    EXPECT_EQ(ReadFile("Actions.cfg"), "fire;Fire;Space;false\r\nx;Slot five;5;true\r\nmenu;Menu;Esc;false\r\n");
    EXPECT_FALSE(root.Exists("main.log"));
    EXPECT_EQ(GetRender(), nullptr);
}

TEST_F(ApplicationTest, MissingActionsFileSkipsTheLoopButStillWritesTheFiles) {
    GameRoot root("app/quits");
    std::filesystem::remove("Actions.cfg");
    platform.startButton = Platform::ControlStartWindowed;
    EXPECT_EQ(Run(), RunResult::Finished);
    EXPECT_EQ(ReadFile("main.log").find("quit"), std::string::npos);  // the loop never ran
    EXPECT_TRUE(root.Exists("Actions.cfg"));
    EXPECT_EQ(ReadFile("Actions.cfg"), "");
    EXPECT_EQ(ReadFile("config.cfg").rfind("fullScreen = 0\r\n", 0), 0u);
}

TEST_F(ApplicationTest, TypedCharactersReachTheInterfaceScripts) {
    GameRoot root("app/quits");
    platform.startButton = Platform::ControlStartWindowed;
    platform.makeMessages = [this](Platform::Window&, int, int) {
        auto m = std::make_unique<Platform::QueueMessageSource>();
        m->Post({Platform::MessageId::Char, 'a'});
        m->Post({Platform::MessageId::Char, 0xE9});
        m->Post({Platform::MessageId::Char, 27});
        messages = m.get();
        return m;
    };
    EXPECT_EQ(Run(), RunResult::Finished);
    std::string log = ReadFile("main.log");
    EXPECT_NE(log.find(" key 97\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" key 233\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" key 27\n"), std::string::npos) << log;
}

TEST_F(ApplicationTest, ClosingTheWindowEndsTheRun) {
    GameRoot root("app/quits");
    // Without the script's own quit, the close must end the loop.
    std::ofstream("Data/Scripts/main.lua") << "while true do Update() end\n";
    platform.startButton = Platform::ControlStartWindowed;
    platform.makeMessages = [this](Platform::Window&, int, int) {
        auto m = std::make_unique<Platform::QueueMessageSource>();
        m->Post({Platform::MessageId::Paint});
        m->Post({Platform::MessageId::Close});
        messages = m.get();
        return m;
    };
    EXPECT_EQ(Run(), RunResult::Finished);
    std::string config = ReadFile("config.cfg");
    EXPECT_EQ(std::count(config.begin(), config.end(), '\n'), 32);
}

// The window procedure alone, with a kernel, a timer and a renderer on the null device.
class WindowProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppActive = true;
        g_exitFlag = false;
        g_fullScreen = 0;
        kernel.SetMessageSource(&messages);
        timer->SetPriority(10);
        kernel.AddTask(timer);
    }
    void TearDown() override {
        AppActive = true;
        g_fullScreen = 0;
        g_exitFlag = false;
    }
    bool TimerRunning() const { return kernel.IsRunning(timer.Get()); }

    CPKernel kernel;
    Platform::QueueMessageSource messages;
    CPRefPtr<CPGlobalTimer> timer{new CPGlobalTimer};
};

TEST_F(WindowProcTest, MessagesSuspendAndResumeTheTimer) {
    using Platform::Message;
    using Platform::MessageId;
    struct Step {
        int fullScreen;
        bool exitFlag;
        Message message;
        bool active;
        bool timerRunning;
    };
    const Step steps[] = {
        // windowed: minimise pauses, restore resumes, activation changes nothing
        {0, false, {MessageId::Size, Platform::SizeMinimized}, false, false},
        {0, false, {MessageId::Activate, Platform::ActivateActive}, false, false},
        {0, false, {MessageId::Size, Platform::SizeRestored}, true, true},
        {0, false, {MessageId::Activate, Platform::ActivateInactive}, true, true},
        // full screen: deactivation pauses; any activation, a click included, resumes
        {1, false, {MessageId::Activate, Platform::ActivateInactive}, false, false},
        {1, false, {MessageId::Activate, Platform::ActivateClick}, true, true},
        {1, false, {MessageId::Activate, Platform::ActivateActive, 0, 0, true}, false, false},  // minimised
        {1, false, {MessageId::Activate, Platform::ActivateActive}, true, true},
        // once the run has returned, size changes are ignored
        {0, true, {MessageId::Size, Platform::SizeMinimized}, true, true},
    };
    for (const Step& s : steps) {
        g_fullScreen = s.fullScreen;
        g_exitFlag = s.exitFlag;
        MainWindowProc(s.message);
        EXPECT_EQ(AppActive, s.active) << static_cast<int>(s.message.id) << " " << s.message.param;
        EXPECT_EQ(TimerRunning(), s.timerRunning) << static_cast<int>(s.message.id) << " " << s.message.param;
    }
}

TEST_F(WindowProcTest, CloseAndDestroyPostQuit) {
    for (auto id : {Platform::MessageId::Close, Platform::MessageId::Destroy}) {
        MainWindowProc({id});
        Platform::Message m;
        ASSERT_TRUE(messages.TakeMessage(m));
        EXPECT_EQ(m.id, Platform::MessageId::Quit);
    }
}

} // namespace
