// The entry point: the application on the real backends (SDL2 window and events, GTK dialogs, the
// OpenGL device, OpenAL sound, the desktop shell).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Application/PApplication.h"
#include "Application/SdlPlatform.h"
#include "Platform/Audio.h"
#include "Platform/GtkDialogs.h"
#include "Platform/InputReplay.h"
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
    ApplicationPlatform platform = SdlApplicationPlatform(replay);
    platform.dialogs = &dialogs;
    Platform::OpenAlAudioDevice audio;
    platform.audio = &audio;
    Platform::SystemShell shell;
    return VastrelMain(argc, argv, std::move(platform), shell);
}
