#include "Application/PApplication.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "Application/Launcher.h"
#include "Application/PSubsystems.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PLog.h"
#include "Core/PPackFile.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Input/NInput.h"
#include "Render/PRender.h"
#include "ScriptFunctions/OptionsFunctions.h"

bool g_exitFlag = false;

namespace {

void SuspendTimer() {
    if (CPKernel* kernel = GetKernel()) kernel->SuspendTask(GetGlobalTimer());
}

void ResumeTimer() {
    if (CPKernel* kernel = GetKernel()) kernel->ResumeTask(GetGlobalTimer());
}

} // namespace

CPApplication::CPApplication(ApplicationPlatform platform) : platform_(std::move(platform)) {}

CPApplication::~CPApplication() = default;

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
    CPSubsystems subsystems(platform_, window_, messages_);
    subsystems.StartBeforeLauncher();

    EnumerateDisplayModes();
    const int choice = platform_.startButton
                           ? PressLauncherButton(platform_.startButton)
                           : (platform_.dialogs ? RunLauncher(*platform_.dialogs) : Platform::DialogFailed);
    // Ending before the main window saves nothing; the singletons simply go again.
    if (choice != Platform::ControlStartFullScreen && choice != Platform::ControlStartWindowed) {
        subsystems.Stop();
        CPManagedObject::CollectGarbage();
        return choice == Platform::DialogFailed ? RunResult::LauncherFailed : RunResult::Exited;
    }

    const CPSubsystems::Started started = subsystems.StartAfterLauncher();
    if (started == CPSubsystems::Started::Aborted) {
        subsystems.Stop();
        CPManagedObject::CollectGarbage();
        return RunResult::RendererFailed;
    }
    if (started == CPSubsystems::Started::All) GetKernel()->Execute();
    subsystems.Stop();
    // What the run released goes with it. Left on the list, the renderer would still hold the render
    // queue's place when the game starts again in this process, and the new run's materials would
    // queue into it and never be drawn.
    CPManagedObject::CollectGarbage();
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

    SetScriptShell(&shell);
    RunResult result;
    {
        CPApplication application(std::move(platform));
        result = application.Run();
    }
    SetScriptShell(nullptr);
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
