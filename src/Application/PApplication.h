#pragma once
// The program's shell: brings the system up, shows the launcher, opens the main window, runs the
// kernel and takes everything down again.
#include <functional>
#include <memory>

#include "Core/PResult.h"
#include "Core/PSingleton.h"
#include "Platform/Audio.h"
#include "Platform/Device.h"
#include "Platform/Dialog.h"
#include "Platform/Input.h"
#include "Platform/Message.h"
#include "Platform/Shell.h"
#include "Platform/Window.h"

// What the run uses of the machine; main() gives the real backends, tests the null ones.
struct ApplicationPlatform {
    std::function<std::unique_ptr<Platform::Window>()> makeWindow;
    // The message source of a main window with this client size.
    std::function<std::unique_ptr<Platform::MessageSource>(Platform::Window&, int width, int height)> makeMessages;
    // The device backend of the renderer: OpenGL for the program, the null device for tests.
    // Without one the renderer cannot start.
    std::function<std::unique_ptr<Platform::DeviceBackend>()> makeDevice;
    // The window handle the device presents into.
    std::function<void*(Platform::Window&)> deviceWindow;
    Platform::DialogBackend* dialogs = nullptr;
    // The keyboard and mouse fed by the main window's message source; null reads nothing.
    std::function<Platform::InputDevice*(Platform::MessageSource&)> inputDevice;
    // The sound device (music included); null runs silent.
    Platform::AudioDevice* audio = nullptr;
    // A launcher button pressed in place of showing the dialog (--start); 0 shows it.
    int startButton = 0;
};

enum class RunResult {
    Exited,         // the launcher's Exit, or the dialog closed
    LauncherFailed, // the launcher could not be shown (no display)
    RendererFailed, // the main window or the renderer could not start
    Finished,       // the main loop ran and ended
};

class CPApplication : public CPSingleton<CPApplication> {
public:
    explicit CPApplication(ApplicationPlatform platform);
    virtual ~CPApplication();

    RunResult Run();
    Platform::Window* GetMainWindow() const { return window_.get(); }

private:
    ApplicationPlatform platform_;
    std::unique_ptr<Platform::Window> window_;
    std::unique_ptr<Platform::MessageSource> messages_;
};

inline CPApplication* GetApplication() { return CPSingleton<CPApplication>::Instance(); }

// Creates the main window: windowed (centred) or full screen, client area width x height.
HRESULT CreateMainWindow(Platform::Window& window, bool windowed, int width, int height, const char* title);

// The main window's procedure, called by the kernel for each message it takes.
void MainWindowProc(const Platform::Message& message);

// Set once the run has returned; the window procedure then ignores size changes.
extern bool g_exitFlag;

// Writes "Actions.cfg" from the input system's action list (one line per action, in list order).
HRESULT WriteActionsFile();

// The program: reads the command line ("--start=fullscreen|windowed|exit", "--root=DIR") into the
// platform, runs the application and then the exit actions through the shell. Answers the process
// exit code: 0, 1 when the launcher or the game root could not be had, 2 for a bad command line.
int VastrelMain(int argc, char** argv, ApplicationPlatform platform, Platform::Shell& shell);
