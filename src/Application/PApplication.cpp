#include "Application/PApplication.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "Application/Launcher.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PLog.h"
#include "Core/PPackFile.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Input/NInput.h"
#include "Interface/PFontManager.h"
#include "Particles/PParticlesManager.h"
#include "Race/PGameData.h"
#include "Race/PPhysics.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "ScriptFunctions/ScriptFunctions.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"
#include "Weapons/PWeaponsSystem.h"

bool g_exitFlag = false;

namespace {

CPApplication* g_application = nullptr;

constexpr const char* kTitle = "Vastrel";

void DrawLoadingScreen(int percent) {
    if (CPRender* render = GetRender()) render->DrawLoadingScreen(percent);
}

void SuspendTimer() {
    if (CPKernel* kernel = GetKernel()) kernel->SuspendTask(GetGlobalTimer());
}

void ResumeTimer() {
    if (CPKernel* kernel = GetKernel()) kernel->ResumeTask(GetGlobalTimer());
}

} // namespace

CPApplication* GetApplication() { return g_application; }

CPApplication::CPApplication(ApplicationPlatform platform) : platform_(std::move(platform)) { g_application = this; }

CPApplication::~CPApplication() {
    if (g_application == this) g_application = nullptr;
}

HRESULT CreateMainWindow(Platform::Window& window, bool windowed, int width, int height, const char* title) {
    if (!window.Create(title, width, height, windowed)) return E_FAIL;
    window.Show();
    return S_OK;
}

void MainWindowProc(const Platform::Message& message) {
    using Platform::MessageId;
    switch (message.id) {
    case MessageId::Close:
    case MessageId::Destroy:
        // Closing the window asks the loop to end; the window itself stays until the process does.
        if (CPKernel* kernel = GetKernel())
            if (kernel->GetMessageSource()) kernel->GetMessageSource()->Post({MessageId::Quit});
        break;
    case MessageId::Size:
        if (g_exitFlag) break;
        if (message.param == Platform::SizeMinimized) {
            SuspendTimer();
            AppActive = false;
        } else {
            if (CPRender* render = GetRender()) render->ResetDevice();
            ResumeTimer();
            AppActive = true;
        }
        break;
    case MessageId::Activate:
        if (!g_fullScreen || g_exitFlag) break;
        // Any activation that is not a deactivation counts, a click activation included.
        if (message.param != Platform::ActivateInactive && !message.minimized) {
            ResumeTimer();
            if (CPRender* render = GetRender()) render->ResetDevice();
            AppActive = true;
        } else {
            SuspendTimer();
            AppActive = false;
        }
        break;
    case MessageId::Char:
        if (CPScriptManager* scripts = GetScriptManager())
            scripts->SendCommandByCategory("interface", "key", std::to_string(message.param & 0xFFu));
        break;
    default: break;
    }
}

HRESULT WriteActionsFile() {
    CNInput* input = GetInput();
    if (!input) return E_FAIL;
    return input->SaveActions("Actions.cfg");
}

RunResult CPApplication::Run() {
    MountPackFiles();
    GetLog();

    auto* settings = new CPSettingsManager;
    auto* kernel = new CPKernel;
    auto* scripts = new CPScriptManager;
    auto* materials = new CPMaterialManager;
    auto* meshes = new CPMeshManager;
    auto* audio = new CNAudio;
    auto* soundCache = new CNSoundCache;
    auto* animations = new CPAnimationManager;
    auto* gameData = new CPGameData;
    kernel->AddLoopEndHook([] {
        if (CPMaterialManager* m = GetMaterialManager()) m->ClearMaterialBlocks();
    });

    RegisterAllScriptFunctions();
    scripts->LoadList();
    settings->Load("config.cfg");
    gameData->Init();
    EnumerateDisplayModes();

    int choice = platform_.startButton ? PressLauncherButton(platform_.startButton)
                                       : (platform_.dialogs ? RunLauncher(*platform_.dialogs) : Platform::DialogFailed);

    // Ending before the main window saves nothing; the singletons simply go again.
    auto deleteSingletons = [&] {
        delete gameData;
        delete animations;
        delete soundCache;
        delete meshes;
        delete materials;
        delete scripts;
        delete kernel;
        delete settings;
        delete audio;
        CPManagedObject::CollectGarbage();
    };
    if (choice != Platform::ControlStartFullScreen && choice != Platform::ControlStartWindowed) {
        deleteSingletons();
        return choice == Platform::DialogFailed ? RunResult::LauncherFailed : RunResult::Exited;
    }

    CPRefPtr<CPRender> render(new CPRender);
    render->SetPriority(CPRender::kPriority);
    window_ = platform_.makeWindow ? platform_.makeWindow() : nullptr;
    bool windowOk =
        window_ && SUCCEEDED(CreateMainWindow(*window_, g_fullScreen == 0, g_screenWidth, g_screenHeight, kTitle));
    if (windowOk) {
        messages_ = platform_.makeMessages ? platform_.makeMessages(*window_, g_screenWidth, g_screenHeight) : nullptr;
        kernel->SetMessageSource(messages_.get());
        kernel->SetMainWindow(window_.get());
        kernel->SetWindowProc(MainWindowProc);
        if (platform_.makeDevice) render->SetBackend(platform_.makeDevice());
        if (platform_.deviceWindow) render->SetDeviceWindow(platform_.deviceWindow(*window_));
    }
    // A window that could not be made shows up as a renderer that cannot start.
    if (!windowOk || !kernel->AddTask(render)) {
        std::fprintf(stderr, "vastrel: the main window or the renderer could not start\n");
        delete gameData;
        delete animations;
        delete meshes;
        delete scripts;
        delete soundCache;
        delete materials;
        delete kernel;
        delete settings;
        delete audio;
        render.Reset();
        CPManagedObject::CollectGarbage();
        return RunResult::RendererFailed;
    }

    DrawLoadingScreen(10);
    CPRefPtr<CPMusic> music(new CPMusic);
    music->SetPriority(12);
    kernel->AddTask(music);

    DrawLoadingScreen(20);
    audio->SetDevice(platform_.audio);
    audio->Init(window_.get());
    const float zero[3] = {0, 0, 0}, top[3] = {0, 0, 1}, front[3] = {0, -1, 0};
    audio->SetListenerPosition(zero, zero);
    audio->SetListenerOrientation(top, front);

    CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    timer->SetPriority(10);
    DrawLoadingScreen(35);
    kernel->AddTask(timer);

    CPRefPtr<CPLuaScript> mainScript = scripts->GetScript("main");
    if (mainScript) mainScript->SetPriority(20);
    DrawLoadingScreen(45);
    if (mainScript) kernel->AddTask(mainScript);

    CPRefPtr<CPParticlesManager> particles(new CPParticlesManager);
    particles->SetPriority(9000);
    kernel->AddTask(particles);
    DrawLoadingScreen(50);

    CPRefPtr<CPWeaponsSystem> weapons(new CPWeaponsSystem);
    weapons->SetPriority(390);
    kernel->AddTask(weapons);

    CPRefPtr<CNInput> input(new CNInput);
    input->SetPriority(12);
    CPRefPtr<CPPhysics> physics(new CPPhysics);
    DrawLoadingScreen(65);
    bool inputStarted = kernel->AddTask(input);

    CPFontManager* fonts = nullptr;
    if (inputStarted) {
        DrawLoadingScreen(70);
        fonts = new CPFontManager;
        fonts->LoadFonts();
        DrawLoadingScreen(75);

        kernel->Execute();

        // Shutdown, first steps: only after a loop ran.
        delete fonts;
        delete scripts;
        scripts = nullptr;
        for (auto& entry : audio->GetSounds()) entry.second.Reset();
        audio->GetSounds().Clear();
        if (CNSoundCache* cache = GetSoundCache()) cache->StopAll();
        CPManagedObject::CollectGarbage();
    } else {
        std::fprintf(stderr, "vastrel: the input system could not start (is \"Actions.cfg\" there?)\n");
    }

    WriteActionsFile();
    settings->Save("config.cfg");

    // Without a loop the script manager is still here. Its scripts get their last update now,
    // after the files are written and while everything they may reach still exists.
    delete scripts;
    scripts = nullptr;

    delete meshes;
    delete gameData;
    delete animations;
    CPManagedObject::CollectGarbage();

    physics.Reset();
    input.Reset();
    weapons.Reset();
    particles.Reset();
    mainScript.Reset();
    timer.Reset();
    music.Reset();

    delete materials;
    delete kernel;
    delete settings;
    delete soundCache;
    delete audio;
    render.Reset();
    return RunResult::Finished;
}

int VastrelMain(int argc, char** argv, ApplicationPlatform platform, Platform::Shell& shell) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "--start=", 8) == 0) {
            std::string which = arg + 8;
            if (which == "fullscreen") platform.startButton = Platform::ControlStartFullScreen;
            else if (which == "windowed") platform.startButton = Platform::ControlStartWindowed;
            else if (which == "exit") platform.startButton = Platform::ControlExit;
            else arg = nullptr;
        } else if (std::strncmp(arg, "--root=", 7) == 0) {
            if (chdir(arg + 7) != 0) {
                std::fprintf(stderr, "vastrel: cannot enter the game root %s\n", arg + 7);
                return 1;
            }
            InvalidatePathCache();
        } else {
            arg = nullptr;
        }
        if (!arg) {
            std::fprintf(stderr, "usage: vastrel [--start=fullscreen|windowed|exit] [--root=DIR]\n");
            return 2;
        }
    }

    RunResult result;
    {
        CPApplication application(std::move(platform));
        result = application.Run();
    }
    g_exitFlag = true;

    if (result == RunResult::LauncherFailed) {
        std::fprintf(stderr, "vastrel: the launcher could not be shown (no display?); "
                             "use --start=windowed or --start=fullscreen with a video driver\n");
        return 1;
    }

    Platform::ExitActionHooks hooks;
    hooks.resolvePath = [](const std::string& path) { return ResolvePath(path); };
    Platform::RunExitActions(shell, hooks);
    return result == RunResult::RendererFailed ? 1 : 0;
}
