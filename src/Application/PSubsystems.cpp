#include "Application/PSubsystems.h"

#include <cstdio>

#include "Application/MeshParts.h"
#include "Application/PApplication.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Core/TaskPriorities.h"
#include "DynamicSky/Skyscape.h"
#include "Input/NInput.h"
#include "Interface/PFontManager.h"
#include "Interface/PInterfaceDispatch.h"
#include "Particles/PParticlesManager.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "Render/PAnimationManager.h"
#include "Render/PBloom.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "ScriptFunctions/ScriptFunctions.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PWeaponsRaceEffects.h"
#include "Weapons/PWeaponsSystem.h"

namespace {

constexpr const char* kTitle = "Vastrel";
// The loading screen's progress once every subsystem has started.
constexpr int kLoadingScreenDone = 75;
// How the input system reaches the interface screens.
CPInterfaceDispatch g_interfaceDispatch;
// How the race world reaches shots, wheel dust and burning emitters, and how shots see the level.
CPWeaponsRaceEffects g_weaponsRaceEffects;
CPLevelShotWorld g_levelShotWorld;

// The speed blur smears along the player car's motion while a race is on, not after its finish.
bool LevelPlayerVelocity(Vec3& velocity) {
    const CPLevel* level = GetLevel();
    const CPPlayer* player = level && !level->IsFinished() ? level->GetPlayerCar() : nullptr;
    if (!player) return false;
    velocity = player->GetVelocity();
    return true;
}

// What a refused start means for the run.
enum class Refusal {
    Ignored,   // the run goes on without it
    Aborts,    // nothing more starts, no loop runs and nothing is saved
    SkipsLoop, // nothing more starts and no loop runs, but shutdown saves the files
};

} // namespace

// A subsystem: how it is made, started (after the loading screen, when it has one) and stopped.
// Any of the three may be missing; a missing start counts as started.
struct CPSubsystems::Row {
    Id id;
    int loadingScreen; // the start-up progress drawn between make and start; 0 draws none
    Refusal refusal;
    const char* refusalMessage;
    void (*make)(CPSubsystems&);
    bool (*start)(CPSubsystems&);
    void (*stop)(CPSubsystems&);
};

constexpr CPSubsystems::Row CPSubsystems::kRows[Count] = {
    {Settings, 0, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) { s.settings_ = std::make_unique<CPSettingsManager>(); },
     [](CPSubsystems& s) {
         s.settings_->Load("config.cfg");
         return true;
     },
     [](CPSubsystems& s) { s.settings_.reset(); }},
    {Kernel, 0, Refusal::Ignored, nullptr, [](CPSubsystems& s) { s.kernel_ = std::make_unique<CPKernel>(); }, nullptr,
     [](CPSubsystems& s) { s.kernel_.reset(); }},
    {Scripts, 0, Refusal::Ignored, nullptr, [](CPSubsystems& s) { s.scripts_ = std::make_unique<CPScriptManager>(); },
     [](CPSubsystems& s) {
         // The scripts are built against the registered functions, so those come first.
         RegisterAllScriptFunctions();
         s.scripts_->LoadList();
         return true;
     },
     // Every script gets "release_all" and one last update, but only after a main loop: when the
     // input system refused, shutdown skips the scripts, fonts and sounds and goes straight to
     // the files.
     [](CPSubsystems& s) {
         if (s.loopSkipped_) s.scripts_->DropScripts();
         s.scripts_.reset();
     }},
    {Materials, 0, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) {
         s.materials_ = std::make_unique<CPMaterialManager>();
         s.kernel_->AddLoopEndHook([] {
             if (CPMaterialManager* m = GetMaterialManager()) m->ClearMaterialBlocks();
         });
     },
     nullptr, [](CPSubsystems& s) { s.materials_.reset(); }},
    {Meshes, 0, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) {
         s.meshes_ = std::make_unique<CPMeshManager>();
         s.meshParts_ = std::make_unique<CPMeshParts>();
         s.meshes_->SetPartMaker(s.meshParts_.get());
     },
     nullptr,
     [](CPSubsystems& s) {
         s.meshes_.reset();
         s.meshParts_.reset();
     }},
    {SoundManager, 0, Refusal::Ignored, nullptr, [](CPSubsystems& s) { s.audio_ = std::make_unique<CNAudio>(); },
     nullptr, [](CPSubsystems& s) { s.audio_.reset(); }},
    {SoundCache, 0, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) { s.soundCache_ = std::make_unique<CNSoundCache>(); }, nullptr,
     [](CPSubsystems& s) { s.soundCache_.reset(); }},
    {Animations, 0, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) { s.animations_ = std::make_unique<CPAnimationManager>(); }, nullptr,
     [](CPSubsystems& s) { s.animations_.reset(); }},
    {GameData, 0, Refusal::Ignored, nullptr, [](CPSubsystems& s) { s.gameData_ = std::make_unique<CPGameData>(); },
     [](CPSubsystems& s) {
         s.gameData_->Init();
         return true;
     },
     [](CPSubsystems& s) { s.gameData_.reset(); }},

    // A window that could not be made shows up as a renderer that cannot start.
    {MainWindow, 0, Refusal::Aborts, "the main window or the renderer could not start",
     [](CPSubsystems& s) {
         s.window_ = s.platform_.makeWindow ? s.platform_.makeWindow() : nullptr;
         if (!s.window_ ||
             FAILED(CreateMainWindow(*s.window_, g_fullScreen == 0, g_screenWidth, g_screenHeight, kTitle))) {
             return;
         }
         s.messages_ =
             s.platform_.makeMessages ? s.platform_.makeMessages(*s.window_, g_screenWidth, g_screenHeight) : nullptr;
         s.kernel_->SetMessageSource(s.messages_.get());
         s.kernel_->SetMainWindow(s.window_.get());
         s.kernel_->SetWindowProc(MainWindowProc);
     },
     [](CPSubsystems& s) { return s.kernel_->GetMainWindow() != nullptr; }, nullptr},
    {Renderer, 0, Refusal::Aborts, "the main window or the renderer could not start",
     [](CPSubsystems& s) {
         s.render_ = CPRefPtr<CPRender>(new CPRender);
         s.render_->SetPriority(TaskPriority::Render);
         if (s.platform_.makeDevice) s.render_->SetBackend(s.platform_.makeDevice());
         if (s.platform_.deviceWindow) s.render_->SetDeviceWindow(s.platform_.deviceWindow(*s.window_));
         s.render_->SetSkyHooks(SkyHooks{&MakeSkyscape, [] { return GetLevel() != nullptr; }, &SkyRenderer::SetDevice});
         SetPlayerVelocitySource(&LevelPlayerVelocity);
     },
     [](CPSubsystems& s) { return s.kernel_->AddTask(s.render_); },
     [](CPSubsystems& s) {
         SetPlayerVelocitySource(nullptr);
         s.render_.Reset();
     }},
    {SavedFiles, 0, Refusal::Ignored, nullptr, nullptr, nullptr,
     [](CPSubsystems& s) {
         WriteActionsFile();
         s.settings_->Save("config.cfg");
     }},
    {Music, 10, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) {
         s.music_ = CPRefPtr<CPMusic>(new CPMusic);
         s.music_->SetPriority(TaskPriority::Music);
     },
     [](CPSubsystems& s) { return s.kernel_->AddTask(s.music_); }, [](CPSubsystems& s) { s.music_.Reset(); }},
    // The sound device opens on the main window; the listener stands at the origin.
    {SoundOutput, 20, Refusal::Ignored, nullptr, nullptr,
     [](CPSubsystems& s) {
         s.audio_->SetDevice(s.platform_.audio);
         s.audio_->Init(s.window_.get());
         const float zero[3] = {0, 0, 0}, top[3] = {0, 0, 1}, front[3] = {0, -1, 0};
         s.audio_->SetListenerPosition(zero, zero);
         s.audio_->SetListenerOrientation(top, front);
         return true;
     },
     [](CPSubsystems& s) {
         if (s.loopSkipped_) return; // the sounds go with the sound manager
         for (auto& entry : s.audio_->GetSounds()) entry.second.Reset();
         s.audio_->GetSounds().Clear();
         s.soundCache_->StopAll();
     }},
    {Timer, 35, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) {
         s.timer_ = CPRefPtr<CPGlobalTimer>(new CPGlobalTimer);
         s.timer_->SetPriority(TaskPriority::Timer);
     },
     [](CPSubsystems& s) { return s.kernel_->AddTask(s.timer_); }, [](CPSubsystems& s) { s.timer_.Reset(); }},
    // A missing script "main" is not added; the run goes on.
    {MainScript, 45, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) {
         s.mainScript_ = s.scripts_->GetScript("main");
         if (s.mainScript_) s.mainScript_->SetPriority(TaskPriority::MainScript);
     },
     [](CPSubsystems& s) { return s.mainScript_ && s.kernel_->AddTask(s.mainScript_); },
     [](CPSubsystems& s) { s.mainScript_.Reset(); }},
    {Particles, 0, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) {
         s.particles_ = CPRefPtr<CPParticlesManager>(new CPParticlesManager);
         s.particles_->SetPriority(TaskPriority::Particles);
     },
     [](CPSubsystems& s) { return s.kernel_->AddTask(s.particles_); }, [](CPSubsystems& s) { s.particles_.Reset(); }},
    {Weapons, 50, Refusal::Ignored, nullptr,
     [](CPSubsystems& s) {
         s.weapons_ = CPRefPtr<CPWeaponsSystem>(new CPWeaponsSystem);
         s.weapons_->SetPriority(TaskPriority::Weapons);
     },
     [](CPSubsystems& s) {
         // The race world asks this floor for its shots, dust and emitters.
         SetRaceEffects(&g_weaponsRaceEffects);
         SetCarWeaponEffects(&g_weaponsRaceEffects);
         SetShotWorld(&g_levelShotWorld);
         return s.kernel_->AddTask(s.weapons_);
     },
     // Live shots and pools let go of their sounds, bodies and render parts while those still work.
     [](CPSubsystems& s) {
         SetRaceEffects(nullptr);
         SetCarWeaponEffects(nullptr);
         SetShotWorld(nullptr);
         if (s.weapons_) s.weapons_->ReleaseAll();
         s.weapons_.Reset();
     }},
    {Physics, 0, Refusal::Ignored, nullptr, [](CPSubsystems& s) { s.physics_ = CPRefPtr<CPPhysics>(new CPPhysics); },
     nullptr, [](CPSubsystems& s) { s.physics_.Reset(); }},
    // Quitting mid-race (Esc, the window closed, KillAllTasks) leaves the level to shutdown: it is
    // stopped as the scripts would stop it and deleted while the sky, physics, sounds, shots and
    // particles it lets go of still exist.
    {Race, 0, Refusal::Ignored, nullptr, nullptr, nullptr,
     [](CPSubsystems&) {
         CPLevel* level = GetLevel();
         if (!level || level->IsReleased()) return;
         if (!level->IsStopped()) {
             if (CPParticlesManager* particles = GetParticlesManager()) particles->ClearAll();
             if (CPRaceEffects* effects = GetRaceEffects()) effects->ClearShots();
             level->StopLevel();
         }
         level->StopRaceUpdate();
         level->Release();
     }},
    {Input, 65, Refusal::SkipsLoop, "the input system could not start (is \"Actions.cfg\" there?)",
     [](CPSubsystems& s) {
         s.input_ = CPRefPtr<CNInput>(new CNInput);
         s.input_->SetPriority(TaskPriority::Input);
         s.input_->SetDispatch(&g_interfaceDispatch);
         // The keyboard and mouse come with the main window's message source.
         if (s.platform_.inputDevice && s.messages_) s.input_->SetDevice(s.platform_.inputDevice(*s.messages_));
     },
     [](CPSubsystems& s) { return s.kernel_->AddTask(s.input_); }, [](CPSubsystems& s) { s.input_.Reset(); }},
    // Made and loaded in one step, between two loading screens.
    {Fonts, 70, Refusal::Ignored, nullptr, nullptr,
     [](CPSubsystems& s) {
         s.fonts_ = std::make_unique<CPFontManager>();
         s.fonts_->LoadFonts();
         return true;
     },
     [](CPSubsystems& s) { s.fonts_.reset(); }},
};

namespace {

// Shutdown's order. The sounds released with the scripts and fonts, and the objects the mesh, game
// data and animation managers let go, are deleted at once. After the tasks' handles are dropped no
// collection runs, so the tasks are not deleted while their neighbours may still be reached.
struct StopStep {
    CPSubsystems::Id id;
    bool collectAfter;
};
const StopStep kStopOrder[] = {
    {CPSubsystems::Fonts, false},      {CPSubsystems::Scripts, false},      {CPSubsystems::Race, true},
    {CPSubsystems::Weapons, false},    {CPSubsystems::SoundOutput, true},   {CPSubsystems::SavedFiles, false},
    {CPSubsystems::Meshes, false},     {CPSubsystems::GameData, false},     {CPSubsystems::Animations, true},
    {CPSubsystems::Physics, false},    {CPSubsystems::Input, false},        {CPSubsystems::Particles, false},
    {CPSubsystems::MainScript, false}, {CPSubsystems::Timer, false},        {CPSubsystems::Music, false},
    {CPSubsystems::Materials, false},  {CPSubsystems::Kernel, false},       {CPSubsystems::Settings, false},
    {CPSubsystems::SoundCache, false}, {CPSubsystems::SoundManager, false}, {CPSubsystems::Renderer, false},
    {CPSubsystems::MainWindow, false},
};
static_assert(std::size(kStopOrder) == CPSubsystems::Count, "every subsystem has its place in the shutdown");

} // namespace

// The rows are looked up by their id.
consteval bool CPSubsystems::RowsInOrder() {
    for (int i = 0; i < Count; ++i)
        if (kRows[i].id != i) return false;
    return true;
}

CPSubsystems::CPSubsystems(const ApplicationPlatform& platform, std::unique_ptr<Platform::Window>& window,
                           std::unique_ptr<Platform::MessageSource>& messages)
    : platform_(platform), window_(window), messages_(messages) {}

CPSubsystems::~CPSubsystems() { Stop(); }

void CPSubsystems::DrawLoadingScreen(int percent) {
    if (CPRender* render = GetRender()) render->DrawLoadingScreen(percent);
}

void CPSubsystems::StartBeforeLauncher() {
    static_assert(RowsInOrder(), "the rows stand in the order of their ids");
    for (int i = 0; i < kFirstAfterLauncher; ++i) {
        if (kRows[i].make) kRows[i].make(*this);
        made_[i] = true;
    }
    for (int i = 0; i < kFirstAfterLauncher; ++i)
        if (kRows[i].start) kRows[i].start(*this);
}

CPSubsystems::Started CPSubsystems::StartAfterLauncher() {
    for (int i = kFirstAfterLauncher; i < Count; ++i) {
        const Row& row = kRows[i];
        if (row.make) row.make(*this);
        made_[i] = true;
        if (row.loadingScreen) DrawLoadingScreen(row.loadingScreen);
        if (!row.start || row.start(*this) || row.refusal == Refusal::Ignored) continue;
        std::fprintf(stderr, "vastrel: %s\n", row.refusalMessage);
        if (row.refusal == Refusal::Aborts) return Started::Aborted;
        loopSkipped_ = true;
        return Started::LoopSkipped;
    }
    DrawLoadingScreen(kLoadingScreenDone);
    return Started::All;
}

void CPSubsystems::Stop() {
    for (const StopStep& step : kStopOrder) {
        if (!made_[step.id]) continue;
        made_[step.id] = false;
        if (kRows[step.id].stop) kRows[step.id].stop(*this);
        if (step.collectAfter) CPManagedObject::CollectGarbage();
    }
}
