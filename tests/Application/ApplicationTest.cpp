// The run of the program with null backends: start-up order and abort paths, the files shutdown
// writes, and what the main window's messages do.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Application/PApplication.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Input/NInput.h"
#include "Interface/PFontManager.h"
#include "Platform/NullDevice.h"
#include "Platform/NullWindow.h"
#include "Platform/ScriptedDialogs.h"
#include "Platform/Shell.h"
#include "Race/PGameData.h"
#include "Race/PPhysics.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"

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
    // Neither the loop nor shutdown's script steps ran: "main" was never resumed, not even for
    // "release_all".
    EXPECT_FALSE(root.Exists("main.log")) << ReadFile("main.log");
    EXPECT_TRUE(root.Exists("Actions.cfg"));
    EXPECT_EQ(ReadFile("Actions.cfg"), "");
    EXPECT_EQ(ReadFile("config.cfg").rfind("fullScreen = 0\r\n", 0), 0u);
}

// The null backend, calling back each time one of its devices presents a frame.
class PresentWatchingBackend final : public Platform::DeviceBackend {
public:
    explicit PresentWatchingBackend(std::function<void(Platform::NullDevice&)> onPresent)
        : onPresent_(std::move(onPresent)) {}
    const char* GetName() const override { return inner_.GetName(); }
    bool GetDesktopSize(int& width, int& height) override { return inner_.GetDesktopSize(width, height); }
    Platform::DeviceCaps GetAdapterCaps() override { return inner_.GetAdapterCaps(); }
    bool CheckDeviceType(Platform::Format format, bool windowed) override {
        return inner_.CheckDeviceType(format, windowed);
    }
    Platform::DeviceResult CreateDevice(const Platform::PresentParameters& params,
                                        std::unique_ptr<Platform::Device>& out) override {
        const Platform::DeviceResult result = inner_.CreateDevice(params, out);
        if (auto* device = static_cast<Platform::NullDevice*>(out.get())) {
            device->onCall = [this, device](const std::string& call) {
                if (call == "Present") onPresent_(*device);
            };
        }
        return result;
    }

private:
    Platform::NullBackend inner_;
    std::function<void(Platform::NullDevice&)> onPresent_;
};

// What the run has set up when a loading screen is presented: its percentage, the kernel's running
// tasks with their priorities in run order, and the other singletons of the task steps.
std::string DescribeLoadingScreen(const Platform::NullDevice& device) {
    struct ScreenVertex {
        float x, y, z, rhw;
        uint32_t color;
        float u, v;
    };
    ScreenVertex bar{};
    std::memcpy(&bar, device.lastUserVertices.data(), sizeof bar);
    std::string text = std::to_string(std::lround(bar.x * 100.0f / static_cast<float>(g_screenWidth))) + ":";
    for (const auto& task : GetKernel()->GetRunningTasks())
        text += std::string(" ") + task->GetTypeName() + "@" + std::to_string(task->GetPriority());
    if (GetPhysics()) text += " +physics";
    if (GetFontManager()) text += " +fonts";
    if (CNAudio* audio = GetSoundManager()) {
        const float* top = audio->GetListenerTop();
        const float* front = audio->GetListenerFront();
        if (top[2] == 1.0f && front[1] == -1.0f && GetSoundManager()->GetListenerPosition()[0] == 0.0f)
            text += " +listener";
    }
    return text;
}

TEST_F(ApplicationTest, StartUpAddsTheTasksBetweenTheLoadingScreens) {
    const std::string music = " CPMusic@12", render = " CPRender@10000", timer = " CPGlobalTimer@10",
                      main = " CPLuaScript-main@20", particles = " CPParticlesManager@9000",
                      weapons = " CPWeaponsSystem@390", input = " CNInput@12";
    const std::vector<std::string> full = {
        "10:" + render,
        "20:" + music + render,
        "35:" + music + render + " +listener",
        "45:" + timer + music + render + " +listener",
        "50:" + timer + music + main + particles + render + " +listener",
        "65:" + timer + music + main + weapons + particles + render + " +physics +listener",
        "70:" + timer + music + input + main + weapons + particles + render + " +physics +listener",
        "75:" + timer + music + input + main + weapons + particles + render + " +physics +fonts +listener",
    };
    struct Case {
        const char* name;
        bool actionsFile;
        std::vector<std::string> screens;
    };
    const Case cases[] = {
        {"input starts", true, full},
        // The refused input task skips the fonts and their two screens.
        {"input refused", false, {full.begin(), full.begin() + 6}},
    };
    for (const Case& c : cases) {
        GameRoot root("app/quits");
        if (!c.actionsFile) std::filesystem::remove("Actions.cfg");
        std::vector<std::string> screens;
        platform.makeDevice = [&screens] {
            return std::make_unique<PresentWatchingBackend>([&screens](Platform::NullDevice& device) {
                const auto& calls = device.calls;
                // A loading screen presents right after drawing its bar; a frame does not.
                const bool loadingScreen =
                    calls.size() >= 3 && calls[calls.size() - 3].rfind("DrawPrimitiveUP", 0) == 0;
                if (loadingScreen) screens.push_back(DescribeLoadingScreen(device));
            });
        };
        platform.startButton = Platform::ControlStartWindowed;
        EXPECT_EQ(Run(), RunResult::Finished) << c.name;
        EXPECT_EQ(screens, c.screens) << c.name;
        app.reset();
        CPManagedObject::CollectGarbage();
    }
}

// Names the singletons that are gone, for a script to report; "all" when every one is there.
int ProbeSingletons(lua_State* L) {
    std::string missing;
    const std::pair<const char*, bool> singletons[] = {
        {"settings", GetSettingsManager() != nullptr},  {"kernel", GetKernel() != nullptr},
        {"materials", GetMaterialManager() != nullptr}, {"meshes", GetMeshManager() != nullptr},
        {"sound", GetSoundManager() != nullptr},        {"animations", GetAnimationManager() != nullptr},
        {"gamedata", GetGameData() != nullptr},         {"input", GetInput() != nullptr},
    };
    for (const auto& [name, present] : singletons)
        if (!present) missing += std::string(missing.empty() ? "" : " ") + name;
    lua_pushstring(L, missing.empty() ? "all" : missing.c_str());
    return 1;
}

TEST_F(ApplicationTest, ScriptsTakeTheirLastUpdateWhileTheOtherSingletonsExist) {
    const ScriptFunctionEntry probe[] = {{"ProbeSingletons", ProbeSingletons}};
    RegisterScriptTable(ScriptTable::LibraryExtra, probe);
    struct Case {
        const char* name;
        bool actionsFile;
        const char* log;
    };
    // When the input system refuses, shutdown goes from the skipped loop straight to the files: no
    // script is updated again.
    for (const Case& c :
         {Case{"after the loop", true, "release_all all\n"}, Case{"input refused, no loop", false, ""}}) {
        GameRoot root("app/quits");
        if (!c.actionsFile) std::filesystem::remove("Actions.cfg");
        std::ofstream("Data/Scripts/main.lua") << "while true do\n"
                                                  "  while SetNextCommand(globalObject) do\n"
                                                  "    if GetCurrentCommand(globalObject) == 'release_all' then\n"
                                                  "      local file = io.open('main.log', 'a')\n"
                                                  "      file:write('release_all ', ProbeSingletons(), '\\n')\n"
                                                  "      file:close()\n"
                                                  "    end\n"
                                                  "  end\n"
                                                  "  KillAllTasks()\n"
                                                  "  Update()\n"
                                                  "end\n";
        platform.startButton = Platform::ControlStartWindowed;
        EXPECT_EQ(Run(), RunResult::Finished) << c.name;
        EXPECT_EQ(ReadFile("main.log"), c.log) << c.name;
        app.reset();
        CPManagedObject::CollectGarbage();
    }
}

// What a script changes on its last update reaches the two files shutdown writes afterwards.
TEST_F(ApplicationTest, ChangesMadeOnReleaseAllReachTheFilesWrittenAtQuit) {
    GameRoot root("app/quits");
    std::ofstream("Data/Scripts/main.lua") << "while true do\n"
                                              "  while SetNextCommand(globalObject) do\n"
                                              "    if GetCurrentCommand(globalObject) == 'release_all' then\n"
                                              "      SetAction('Fire', 'Enter', false)\n"
                                              "      SetSoundVolume(0.75)\n"
                                              "      SetMouse(1.5)\n"
                                              "    end\n"
                                              "  end\n"
                                              "  KillAllTasks()\n"
                                              "  Update()\n"
                                              "end\n";
    platform.startButton = Platform::ControlStartWindowed;
    EXPECT_EQ(Run(), RunResult::Finished);
    EXPECT_EQ(ReadFile("Actions.cfg"), "fire;Fire;Enter;false\r\nx;Slot five;5;true\r\nmenu;Menu;Esc;false\r\n");
    const std::string config = ReadFile("config.cfg");
    EXPECT_NE(config.find("\r\nsoundVolume = 0.75\r\n"), std::string::npos) << config;
    EXPECT_NE(config.find("\r\nmouse = 1.5\r\n"), std::string::npos) << config;
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

TEST_F(ApplicationTest, TheProgramRunsTheExitActionsAfterTheRun) {
    struct Case {
        const char* start;
        bool linkFile;
        bool companion;
        std::vector<Platform::RecordingShell::Call> calls;
    };
    const std::string page = Platform::kPublisherPage;
    const Case cases[] = {
        {"--start=exit", false, false, {{"open", page, ""}}},
        {"--start=exit",
         true,
         true,
         {{"open", "play.url", ""}, {"start", "fscommand/pruvex", "fscommand"}, {"open", page, ""}}},
        {"--start=windowed", false, true, {{"start", "fscommand/pruvex", "fscommand"}, {"open", page, ""}}},
    };
    for (const Case& c : cases) {
        GameRoot root("app/quits");
        if (c.linkFile) std::ofstream("play.url") << "[InternetShortcut]\r\nURL=https://example.org/\r\n";
        if (c.companion) {
            std::filesystem::create_directories("fscommand");
            std::ofstream("fscommand/pruvex") << "#!/bin/sh\n";
        }
        Platform::RecordingShell shell;
        std::string start = c.start;
        char program[] = "vastrel";
        char* argv[] = {program, start.data(), nullptr};
        EXPECT_EQ(VastrelMain(2, argv, platform, shell), 0) << c.start;
        ASSERT_EQ(shell.calls.size(), c.calls.size()) << c.start;
        for (size_t i = 0; i < c.calls.size(); ++i) {
            EXPECT_EQ(shell.calls[i].verb, c.calls[i].verb) << c.start << " " << i;
            EXPECT_NE(shell.calls[i].target.find(c.calls[i].target), std::string::npos) << shell.calls[i].target;
        }
        CPManagedObject::CollectGarbage();
    }
}

TEST_F(ApplicationTest, TheProgramRefusesABadCommandLineAndAMissingLauncher) {
    GameRoot root("app/quits");
    Platform::RecordingShell shell;
    char program[] = "vastrel", bad[] = "--start=sideways", noRoot[] = "--root=/no/such/folder";
    char* badArgs[] = {program, bad, nullptr};
    EXPECT_EQ(VastrelMain(2, badArgs, platform, shell), 2);
    char* rootArgs[] = {program, noRoot, nullptr};
    EXPECT_EQ(VastrelMain(2, rootArgs, platform, shell), 1);
    dialogs.failToOpen = true;
    char* plain[] = {program, nullptr};
    EXPECT_EQ(VastrelMain(1, plain, platform, shell), 1);
    EXPECT_TRUE(shell.calls.empty());
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
        render->SetBackend(std::make_unique<Platform::NullBackend>());
        ASSERT_TRUE(render->Start());
        device = static_cast<Platform::NullDevice*>(render->GetDevice());
    }
    void TearDown() override {
        render->Stop();
        AppActive = true;
        g_fullScreen = 0;
        g_exitFlag = false;
    }
    bool TimerRunning() const { return kernel.IsRunning(timer.Get()); }

    CPKernel kernel;
    Platform::QueueMessageSource messages;
    CPRefPtr<CPGlobalTimer> timer{new CPGlobalTimer};
    CPRefPtr<CPRender> render{new CPRender};
    Platform::NullDevice* device = nullptr;
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
        bool deviceReset;
    };
    const Step steps[] = {
        // windowed: minimise pauses, restore resumes and resets, activation changes nothing
        {0, false, {MessageId::Size, Platform::SizeMinimized}, false, false, false},
        {0, false, {MessageId::Activate, Platform::ActivateActive}, false, false, false},
        {0, false, {MessageId::Size, Platform::SizeRestored}, true, true, true},
        {0, false, {MessageId::Size, Platform::SizeMaximized}, true, true, true},
        {0, false, {MessageId::Activate, Platform::ActivateInactive}, true, true, false},
        // full screen: deactivation pauses; any activation, a click included, resumes and resets
        {1, false, {MessageId::Activate, Platform::ActivateInactive}, false, false, false},
        {1, false, {MessageId::Activate, Platform::ActivateClick}, true, true, true},
        {1, false, {MessageId::Activate, Platform::ActivateActive, 0, 0, true}, false, false, false}, // minimised
        {1, false, {MessageId::Activate, Platform::ActivateActive}, true, true, true},
        // once the run has returned, size changes and activations are ignored
        {0, true, {MessageId::Size, Platform::SizeMinimized}, true, true, false},
        {1, true, {MessageId::Activate, Platform::ActivateInactive}, true, true, false},
    };
    for (const Step& s : steps) {
        g_fullScreen = s.fullScreen;
        g_exitFlag = s.exitFlag;
        int resetsBefore = device->CountCalls("Reset");
        MainWindowProc(s.message);
        std::string what = std::to_string(static_cast<int>(s.message.id)) + " " + std::to_string(s.message.param);
        EXPECT_EQ(AppActive, s.active) << what;
        EXPECT_EQ(TimerRunning(), s.timerRunning) << what;
        EXPECT_EQ(device->CountCalls("Reset") > resetsBefore, s.deviceReset) << what;
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
