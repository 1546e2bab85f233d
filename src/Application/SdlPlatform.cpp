#include "Application/SdlPlatform.h"

#include "Platform/GlDevice.h"
#include "Platform/InputReplay.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"

ApplicationPlatform SdlApplicationPlatform(std::shared_ptr<const Platform::InputReplay> replay) {
    ApplicationPlatform platform;
    platform.makeWindow = [] { return std::make_unique<Platform::SdlWindow>(); };
    platform.makeMessages = [replay](Platform::Window&, int width,
                                     int height) -> std::unique_ptr<Platform::MessageSource> {
        auto source = std::make_unique<Platform::SdlMessageSource>(width, height);
        if (replay) source->SetReplay(std::make_unique<Platform::InputReplay>(*replay));
        return source;
    };
    platform.inputDevice = [](Platform::MessageSource& messages) -> Platform::InputDevice* {
        return &static_cast<Platform::SdlMessageSource&>(messages).Input();
    };
    platform.makeDevice = [] { return Platform::CreateGlBackend(); };
    platform.deviceWindow = [](Platform::Window& window) -> void* {
        return static_cast<Platform::SdlWindow&>(window).GetSdlWindow();
    };
    return platform;
}
