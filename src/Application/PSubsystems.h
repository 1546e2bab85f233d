#pragma once
// The run's subsystems as one table. Start-up walks it forwards: the singletons the launcher needs
// are all made and then started; after the launcher, the main window, the renderer and the tasks
// are made and started one by one with a loading screen between the steps. Shutdown stops every
// subsystem that was made, on every exit path, in one order of its own: fonts and scripts first,
// the files written while everything they come from exists, the renderer last.
#include <memory>

#include "Core/PManagedObject.h"

struct ApplicationPlatform;
class CPAnimationManager;
class CPFontManager;
class CPGameData;
class CPGlobalTimer;
class CPKernel;
class CPLuaScript;
class CPMaterialManager;
class CPMeshManager;
class CPMeshParts;
class CPMusic;
class CPParticlesManager;
class CPPhysics;
class CPRender;
class CPScriptManager;
class CPSettingsManager;
class CPWeaponsSystem;
class CNAudio;
class CNInput;
class CNSoundCache;

namespace Platform {
class MessageSource;
class Window;
} // namespace Platform

class CPSubsystems {
public:
    // The table's rows, in start-up order.
    enum Id {
        // Made before the launcher, in this order, then started in the same order.
        Settings,
        Kernel,
        Scripts,
        Materials,
        Meshes,
        SoundManager,
        SoundCache,
        Animations,
        GameData,
        // Made and started one by one once a start button was pressed.
        MainWindow,
        Renderer,
        SavedFiles, // "Actions.cfg" and "config.cfg", written at shutdown once the renderer ran
        Music,
        SoundOutput,
        Timer,
        MainScript,
        Particles,
        Weapons,
        Physics, // made and kept; the race start adds it to the kernel
        Race,    // nothing to make; a level still live when the loop ends is stopped and deleted
        Input,
        Fonts,
        Count
    };
    static constexpr Id kFirstAfterLauncher = MainWindow;

    enum class Started {
        All,         // every subsystem runs: the main loop may start
        LoopSkipped, // the input system refused: no loop, but shutdown saves the files
        Aborted,     // the main window or the renderer could not start: nothing is saved
    };

    // The window and its message source belong to the application: they stay until the process ends.
    CPSubsystems(const ApplicationPlatform& platform, std::unique_ptr<Platform::Window>& window,
                 std::unique_ptr<Platform::MessageSource>& messages);
    ~CPSubsystems();
    CPSubsystems(const CPSubsystems&) = delete;
    CPSubsystems& operator=(const CPSubsystems&) = delete;

    // The singletons up to the launcher: made, then started (settings, script list, game data).
    void StartBeforeLauncher();
    // The rest, with the loading screen's progress between the steps.
    Started StartAfterLauncher();
    // Stops every subsystem that was made, in shutdown order; a second call does nothing.
    void Stop();

private:
    struct Row;
    static const Row kRows[Count];
    static consteval bool RowsInOrder();

    static void DrawLoadingScreen(int percent);

    const ApplicationPlatform& platform_;
    std::unique_ptr<Platform::Window>& window_;
    std::unique_ptr<Platform::MessageSource>& messages_;
    bool made_[Count] = {};
    bool loopSkipped_ = false; // the input system refused: shutdown skips its first steps

    std::unique_ptr<CPSettingsManager> settings_;
    std::unique_ptr<CPKernel> kernel_;
    std::unique_ptr<CPScriptManager> scripts_;
    std::unique_ptr<CPMaterialManager> materials_;
    std::unique_ptr<CPMeshManager> meshes_;
    // What descriptions build of the race world and the particles.
    std::unique_ptr<CPMeshParts> meshParts_;
    std::unique_ptr<CNAudio> audio_;
    std::unique_ptr<CNSoundCache> soundCache_;
    std::unique_ptr<CPAnimationManager> animations_;
    std::unique_ptr<CPGameData> gameData_;
    std::unique_ptr<CPFontManager> fonts_;
    // One handle on each task, kept until shutdown.
    CPRefPtr<CPRender> render_;
    CPRefPtr<CPMusic> music_;
    CPRefPtr<CPGlobalTimer> timer_;
    CPRefPtr<CPLuaScript> mainScript_;
    CPRefPtr<CPParticlesManager> particles_;
    CPRefPtr<CPWeaponsSystem> weapons_;
    CPRefPtr<CPPhysics> physics_;
    CPRefPtr<CNInput> input_;
};
