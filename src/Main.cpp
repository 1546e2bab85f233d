// The entry point: runs the application, then the exit actions (the link file, the companion
// program and the publisher page).
//
//   vastrel [--start=fullscreen|windowed|exit] [--root=DIR]
//
// --start skips the launcher dialog and does exactly what that button does; --root runs in DIR as
// the game root (the working directory otherwise).
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "Application/PApplication.h"
#include "Core/PPath.h"
#include "Platform/GtkDialogs.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "Platform/Shell.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: vastrel [--start=fullscreen|windowed|exit] [--root=DIR]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    ApplicationPlatform platform;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "--start=", 8) == 0) {
            std::string which = arg + 8;
            if (which == "fullscreen")
                platform.startButton = Platform::ControlStartFullScreen;
            else if (which == "windowed")
                platform.startButton = Platform::ControlStartWindowed;
            else if (which == "exit")
                platform.startButton = Platform::ControlExit;
            else
                return Usage();
        } else if (std::strncmp(arg, "--root=", 7) == 0) {
            if (chdir(arg + 7) != 0) {
                std::fprintf(stderr, "vastrel: cannot enter the game root %s\n", arg + 7);
                return 1;
            }
        } else {
            return Usage();
        }
    }

    Platform::GtkDialogBackend dialogs;
    platform.dialogs = &dialogs;
    platform.makeWindow = [] { return std::make_unique<Platform::SdlWindow>(); };
    platform.makeMessages = [](Platform::Window&, int width, int height) -> std::unique_ptr<Platform::MessageSource> {
        return std::make_unique<Platform::SdlMessageSource>(width, height);
    };
    platform.deviceWindow = [](Platform::Window& window) -> void* {
        return static_cast<Platform::SdlWindow&>(window).GetSdlWindow();
    };

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

    Platform::SystemShell shell;
    Platform::ExitActionHooks hooks;
    hooks.resolvePath = [](const std::string& path) { return ResolvePath(path); };
    Platform::RunExitActions(shell, hooks);
    return result == RunResult::RendererFailed ? 1 : 0;
}
