// The entry point: the application on the real backends (SDL2 window and events, GTK dialogs, the
// OpenGL device, OpenAL sound, the desktop shell).
#include "Application/PApplication.h"
#include "Platform/Audio.h"
#include "Platform/GlDevice.h"
#include "Platform/GtkDialogs.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "Platform/Shell.h"

int main(int argc, char** argv) {
    Platform::GtkDialogBackend dialogs;
    ApplicationPlatform platform;
    platform.dialogs = &dialogs;
    Platform::OpenAlAudioDevice audio;
    platform.audio = &audio;
    platform.makeWindow = [] { return std::make_unique<Platform::SdlWindow>(); };
    platform.makeMessages = [](Platform::Window&, int width, int height) -> std::unique_ptr<Platform::MessageSource> {
        return std::make_unique<Platform::SdlMessageSource>(width, height);
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
