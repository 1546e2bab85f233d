// The entry point: the application on the real backends (SDL2 window and events, GTK dialogs, the
// OpenGL device, OpenAL sound, the desktop shell).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Application/PApplication.h"
#include "Platform/Audio.h"
#include "Platform/GlDevice.h"
#include "Platform/GtkDialogs.h"
#include "Platform/InputReplay.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "Platform/Shell.h"

int main(int argc, char** argv) {
    // VASTREL_INPUT plays a recorded session; a file that does not read whole stops the start, since
    // a run on half a replay would look like a real one.
    std::shared_ptr<Platform::InputReplay> replay;
    if (const char* path = std::getenv("VASTREL_INPUT"); path && *path) {
        replay = std::make_shared<Platform::InputReplay>();
        std::string error;
        if (!replay->Load(path, error)) {
            std::fprintf(stderr, "VASTREL_INPUT %s: %s\n", path, error.c_str());
            return 2;
        }
    }
    Platform::GtkDialogBackend dialogs;
    ApplicationPlatform platform;
    platform.dialogs = &dialogs;
    Platform::OpenAlAudioDevice audio;
    platform.audio = &audio;
    platform.makeWindow = [] { return std::make_unique<Platform::SdlWindow>(); };
    platform.makeMessages = [replay](Platform::Window&, int width,
                                     int height) -> std::unique_ptr<Platform::MessageSource> {
        auto source = std::make_unique<Platform::SdlMessageSource>(width, height);
        if (replay) source->SetReplay(std::make_unique<Platform::InputReplay>(*replay));
        return source;
    };
    platform.makeDevice = [] { return Platform::CreateGlBackend(); };
    platform.inputDevice = [](Platform::MessageSource& messages) -> Platform::InputDevice* {
        return &static_cast<Platform::SdlMessageSource&>(messages).Input();
    };
    platform.deviceWindow = [](Platform::Window& window) -> void* {
        return static_cast<Platform::SdlWindow&>(window).GetSdlWindow();
    };
    Platform::SystemShell shell;
    return VastrelMain(argc, argv, std::move(platform), shell);
}
