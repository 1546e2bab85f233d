#include "Formats.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

#include "Core/PFileReader.h"
#include "Core/PGameObject.h"
#include "Core/PManagedObject.h"
#include "Core/PPackFile.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "DynamicSky/Clouds.h"
#include "DynamicSky/Skyscape.h"
#include "Input/NInput.h"
#include "Interface/PFontFile.h"
#include "Interface/PInterface.h"
#include "Particles/PParticleSystem.h"
#include "Particles/PParticlesManager.h"
#include "Platform/Audio.h"
#include "Platform/ImageDecoder.h"
#include "Platform/NullDevice.h"
#include "Race/PGameData.h"
#include "Race/PLevelFile.h"
#include "Race/PTrackLines.h"
#include "Render/MeshFile.h"
#include "Render/PEffectFile.h"
#include "Render/PEffectObject.h"
#include "Render/RdfDescription.h"
#include "Sound/NAudio.h"
#include "Sound/NWaveStream.h"
#include "Weapons/PWeaponsSystem.h"

namespace fs = std::filesystem;

namespace Formats {
namespace {

std::string Text(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

// A reader that takes bytes, also run on what the game's file layer loads from `path`.
template <void (*Read)(const uint8_t*, size_t)>
void LoadThrough(const char* path) {
    CPFileReader reader(path);
    if (FAILED(reader.Load())) return;
    Read(reader.GetData(), static_cast<size_t>(reader.GetLength()));
}

// --- binary formats with a reader of bytes and a writer beside it ---

void ReadLevel(const uint8_t* data, size_t size) {
    LevelFile level;
    if (!ReadLevelBytes(data, static_cast<int>(size), level)) return;
    const std::vector<uint8_t> written = WriteLevelBytes(level);
    LevelFile again;
    if (!ReadLevelBytes(written.data(), static_cast<int>(written.size()), again) || WriteLevelBytes(again) != written)
        Disagree("level");
}
void LoadLevel() {
    CPFileReader reader("Data\\Levels\\level1.lvl");
    LevelFile level;
    if (SUCCEEDED(reader.Load())) ReadLevelFile(reader, level);
}

template <MeshFile::MeshKind Kind>
void ReadMesh(const uint8_t* data, size_t size) {
    MeshFile::Mesh mesh;
    std::string error;
    if (!MeshFile::ReadMesh(data, size, Kind, mesh, error)) return;
    const std::vector<uint8_t> written = MeshFile::WriteMesh(mesh, Kind);
    MeshFile::Mesh again;
    if (!MeshFile::ReadMesh(written.data(), written.size(), Kind, again, error) ||
        MeshFile::WriteMesh(again, Kind) != written)
        Disagree("mesh");
}
void ReadAnimatedMesh(const uint8_t* data, size_t size) {
    MeshFile::AnimatedMesh mesh;
    std::string error;
    if (!MeshFile::ReadAnimatedMesh(data, size, mesh, error)) return;
    const std::vector<uint8_t> written = MeshFile::WriteAnimatedMesh(mesh);
    MeshFile::AnimatedMesh again;
    if (!MeshFile::ReadAnimatedMesh(written.data(), written.size(), again, error) ||
        MeshFile::WriteAnimatedMesh(again) != written)
        Disagree("animated mesh");
}
void ReadKeyFrames(const uint8_t* data, size_t size) {
    MeshFile::KeyFrames keys;
    std::string error;
    if (!MeshFile::ReadKeyFrames(data, size, keys, error)) return;
    const std::vector<uint8_t> written = MeshFile::WriteKeyFrames(keys);
    MeshFile::KeyFrames again;
    if (!MeshFile::ReadKeyFrames(written.data(), written.size(), again, error) ||
        MeshFile::WriteKeyFrames(again) != written)
        Disagree("key frames");
}

void ReadImage(const uint8_t* data, size_t size) {
    Platform::Image image;
    Platform::DecodeImage(data, size, image);
}

void ReadWave(const uint8_t* data, size_t size) {
    CNWaveStream stream;
    if (FAILED(stream.OpenMemory(data, size))) return;
    std::vector<uint8_t> samples(4096);
    for (uint32_t got = 1; got > 0;)
        if (FAILED(stream.Read(samples.data(), static_cast<uint32_t>(samples.size()), &got))) break;
}
void LoadWave() {
    CNWaveStream stream;
    if (FAILED(stream.Open("Data\\Sounds\\click.wav", nullptr, CNWaveStream::ModeRead))) return;
    std::vector<uint8_t> samples(4096);
    for (uint32_t got = 1; got > 0;)
        if (FAILED(stream.Read(samples.data(), static_cast<uint32_t>(samples.size()), &got))) break;
}

// The game mounts every "game*.dat" and reads its files through them.
void LoadPack() {
    MountPackFiles();
    for (const CPPackFile& pack : GetPackFiles())
        for (const auto& [key, entry] : pack.GetDirectory()) {
            CPFileReader reader(key);
            reader.Load();
        }
    UnmountPackFiles();
}

// --- text formats ---

void ReadTrack(const uint8_t* data, size_t size) {
    TrackLinesFile file;
    if (!ReadTrackLinesText(Text(data, size), file)) return;
    const std::string written = WriteTrackLinesText(file);
    TrackLinesFile again;
    if (!ReadTrackLinesText(written, again) || WriteTrackLinesText(again) != written) Disagree("track lines");
}
void LoadTrack() {
    CPRefPtr<CPTrackLines> sets[TrackLinesFile::kMaxRings];
    LoadLevelTrackLines("level1", sets);
}

void ReadRdf(const uint8_t* data, size_t size) {
    ParseRdf(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

void LoadDescription() {
    CPRefPtr<CPGameObject> object(new CPGameObject("coupe_t"));
    object->SetDescriptionName("coupe_t.xml");
    object->LoadDescription();
}

Platform::NullDevice& Device() {
    static Platform::NullDevice device(Platform::PresentParameters{}, Platform::DeviceCaps{});
    return device;
}

void ReadEffect(const uint8_t* data, size_t size) {
    EffectFile file;
    std::string error;
    if (!ReadEffectFile(std::string_view(reinterpret_cast<const char*>(data), size), file, error)) return;
    CPEffectObject::Create(Device(), file, nullptr, error);
    const std::string written = WriteEffectFile(file);
    EffectFile again;
    if (!ReadEffectFile(written, again, error) || WriteEffectFile(again) != written) Disagree("effect");
}

void LoadInterface() {
    CPRefPtr<CPInterface> screen(new CPInterface);
    screen->Load("hud", 0);
}

void ReadFontList(const uint8_t* data, size_t size) { ParseFontList(data, static_cast<int>(size)); }
void ReadFontFile(const uint8_t* data, size_t size) {
    FontFileData font;
    if (!ParseFontFile(data, static_cast<int>(size), font)) return;
    std::string written;
    if (!WriteFontFile(font, written)) return;
    FontFileData again;
    std::string rewritten;
    if (!ParseFontFile(written.data(), static_cast<int>(written.size()), again) || !WriteFontFile(again, rewritten) ||
        rewritten != written)
        Disagree("font");
}

template <int Kind>
void ReadParticles(const uint8_t* data, size_t size) {
    CPParticlesManager manager;
    const std::string text = Text(data, size);
    switch (Kind) {
    case 0: manager.LoadTypes(text, false, "particles"); break;
    case 1: manager.LoadTypes(text, true, "spots"); break;
    case 2: manager.LoadEmitterDefs(text, "particle systems"); break;
    default:
        manager.LoadFlames(text, "flames");
        for (size_t i = 0; i < manager.GetFlameCount(); ++i) manager.CreateFlame(static_cast<int>(i));
        break;
    }
}

void LoadSkyscape() { Skyscape().Load("skyscape1.txt"); }
void LoadCloud() { Cloud().Load("cloud1.txt", 1.0f, 0.0f); }
void LoadCloudField() { CloudField().Load("field1.txt"); }
void LoadCloudStates() { SkyCloudStateList().Load("states1.txt"); }

void ReadWeapons(const uint8_t* data, size_t size) {
    CPRefPtr<CPWeaponsSystem> weapons(new CPWeaponsSystem);
    weapons->LoadText(data, static_cast<int>(size));
    weapons->ReleaseAll();
}

template <void (CPGameData::*Load)()>
void LoadGameData() {
    CPGameData data;
    (data.*Load)();
}
void LoadMission() {
    CPGameData data;
    data.LoadMissionInfo("mission1.txt");
}

void LoadSoundTable() {
    // The sounds go with the collector, after the manager: the device outlives them, as in the game.
    static Platform::NullAudioDevice device;
    CNAudio audio;
    audio.SetDevice(&device);
    audio.Init(nullptr);
}

void LoadConfig() {
    CPSettingsManager::ResetDefaults();
    CPSettingsManager settings;
    settings.RegisterAll();
    settings.Load("config.cfg");
    settings.ReleaseDators();
    CPSettingsManager::ResetDefaults();
}

void LoadActions() {
    CPRefPtr<CNInput> input(new CNInput);
    input->LoadActions("Actions.cfg");
}

void LoadScriptList() {
    CPScriptManager scripts;
    scripts.LoadList();
}

} // namespace

#define BYTES(function, path) function, [] { LoadThrough<function>(path); }

const std::vector<Format>& All() {
    static const std::vector<Format> formats = {
        {"level", "Data/Levels/level1.lvl", false, ReadLevel, LoadLevel},
        {"track", "Data/Levels/level1.trk", true, ReadTrack, LoadTrack},
        {"mesh_msh", "Data/Meshes/lamp.msh", false,
         BYTES(ReadMesh<MeshFile::MeshKind::Older>, "Data\\Meshes\\lamp.msh")},
        {"mesh_p3d", "Data/Meshes/bonus_fast.p3d", false,
         BYTES(ReadMesh<MeshFile::MeshKind::P3d>, "Data\\Meshes\\bonus_fast.p3d")},
        {"animated_mesh", "Data/Meshes/flag.amf", false, BYTES(ReadAnimatedMesh, "Data\\Meshes\\flag.amf")},
        {"key_frames", "Data/Animations/spin.anm", false, BYTES(ReadKeyFrames, "Data\\Animations\\spin.anm")},
        {"rdf", "Data/Meshes/coupe_t.rdf", true, BYTES(ReadRdf, "Data\\Meshes\\coupe_t.rdf")},
        {"description", "Data/Descriptions/coupe_t.xml", true, nullptr, LoadDescription},
        {"effect", "Data/Effects/simple.fx", true, BYTES(ReadEffect, "Data\\Effects\\simple.fx")},
        {"tga", "Data/Textures/crate.tga", false, BYTES(ReadImage, "Data\\Textures\\crate.tga")},
        {"dds", "Data/Textures/razlom.dds", false, BYTES(ReadImage, "Data\\Textures\\razlom.dds")},
        {"interface", "Data/Interface/hud1024.int", true, nullptr, LoadInterface},
        {"font_list", "Data/Fonts/fonts.dat", true, BYTES(ReadFontList, "Data\\Fonts\\fonts.dat")},
        {"font", "Data/Fonts/small.fnt", true, BYTES(ReadFontFile, "Data\\Fonts\\small.fnt")},
        {"particles", "Data/particles.dat", true, BYTES(ReadParticles<0>, "Data\\particles.dat")},
        {"spots", "Data/spots.dat", true, BYTES(ReadParticles<1>, "Data\\spots.dat")},
        {"particle_systems", "Data/particlesystems.dat", true, BYTES(ReadParticles<2>, "Data\\particlesystems.dat")},
        {"flames", "Data/flames.dat", true, BYTES(ReadParticles<3>, "Data\\flames.dat")},
        {"skyscape", "Data/Clouds/skyscape1.txt", true, nullptr, LoadSkyscape},
        {"cloud", "Data/Clouds/cloud1.txt", true, nullptr, LoadCloud},
        {"cloud_field", "Data/Clouds/field1.txt", true, nullptr, LoadCloudField},
        {"cloud_states", "Data/Clouds/states1.txt", true, nullptr, LoadCloudStates},
        {"weapons", "Data/weapons.dat", true, BYTES(ReadWeapons, "Data\\weapons.dat")},
        {"catalogs", "Data/catalogs.dat", true, nullptr, LoadGameData<&CPGameData::LoadCatalogs>},
        {"mission", "Data/Levels/mission1.txt", true, nullptr, LoadMission},
        {"coeff", "Data/coeff.dat", true, nullptr, LoadGameData<&CPGameData::LoadDifficulty>},
        {"player", "Data/player.dat", true, nullptr, LoadGameData<&CPGameData::LoadPlayer>},
        {"strings", "Data/strings.txt", true, nullptr, LoadGameData<&CPGameData::LoadStrings>},
        {"sound_table", "Data/Sounds/Sounds.dat", true, nullptr, LoadSoundTable},
        {"wave", "Data/Sounds/click.wav", false, ReadWave, LoadWave},
        {"pack", "Data/game0.dat", false, nullptr, LoadPack},
        {"config", "config.cfg", true, nullptr, LoadConfig},
        {"actions", "Actions.cfg", true, nullptr, LoadActions},
        {"script_list", "Data/Scripts/list.dat", true, nullptr, LoadScriptList},
    };
    return formats;
}

#undef BYTES

const Format* Find(const std::string& name) {
    for (const Format& format : All())
        if (name == format.name) return &format;
    return nullptr;
}

void Place(const char* path, const uint8_t* data, size_t size) {
    std::error_code ignored;
    if (fs::is_directory(path, ignored)) fs::remove_all(path, ignored);
    fs::create_directories(fs::path(path).parent_path(), ignored);
    if (FILE* file = std::fopen(path, "wb")) {
        if (size > 0) std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    InvalidatePathCache();
}

void Feed(const Format& format, const uint8_t* data, size_t size) {
    if (format.read) {
        format.read(data, size);
    } else {
        Place(format.path, data, size);
        format.load();
    }
    // What the reader made and let go of goes now, not at the end of the run.
    CPManagedObject::CollectGarbage();
}

void SetUp() { Device(); }

void Disagree(const char* format) {
    std::fprintf(stderr, "%s: the reader accepted bytes whose writer's copy it then refused or read otherwise\n",
                 format);
    std::abort();
}

} // namespace Formats
