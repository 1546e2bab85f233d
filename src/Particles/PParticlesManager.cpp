#include "Particles/PParticlesManager.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "Core/PFileReader.h"
#include "Core/PGameObject.h"
#include "Core/PLog.h"
#include "Core/PRandom.h"
#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"
#include "Particles/PParticleSystem.h"
#include "Particles/PSpotRenderObject.h"
#include "Render/PMaterialManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"

namespace {

constexpr float kDegree = 0.017453292f;

enum FileKind { Types, Spots, Emitters, Flames };

CPRefPtr<CPTask> FlameFromManager(int index) {
    CPParticlesManager* manager = GetParticlesManager();
    return manager ? CPRefPtr<CPTask>(manager->CreateFlame(index).Get()) : nullptr;
}

std::vector<std::string> Split(const std::string& text, const char* delimiter, bool quotes) {
    std::vector<std::string> fields;
    CPTokenizer tokenizer(text, delimiter, quotes);
    std::string token;
    while (tokenizer.NextToken(token)) fields.push_back(token);
    return fields;
}

const std::string& Field(const std::vector<std::string>& fields, size_t i) {
    static const std::string empty;
    return i < fields.size() ? fields[i] : empty;
}

// The leading number of the text; text that is not a number, and numbers that are not finite,
// read as 0.
float Real(const std::string& text, const std::string& line, const char* path) {
    const float value = static_cast<float>(std::atof(text.c_str()));
    if (std::isfinite(value)) return value;
    GetLog().Write(1, "%s: number \"%s\" is not finite, read as 0 in \"%s\"\n", path, text.c_str(), line.c_str());
    return 0.0f;
}

// As atoi reads it, saturated at the ends of the int range instead of undefined beyond them.
int Integer(const std::string& text) {
    return static_cast<int>(std::clamp<long long>(std::strtoll(text.c_str(), nullptr, 10), INT_MIN, INT_MAX));
}

constexpr int kMaxAtlasSide = 1024;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::string line;
    while (reader.GetLine(line))
        if (reader.GetLineType() == 1 && !line.empty()) lines.push_back(line);
    return lines;
}

} // namespace

CPParticlesManager::CPParticlesManager() { SetFlameSource(&FlameFromManager); }

CPParticlesManager::~CPParticlesManager() {
    SetFlameSource(nullptr);
    ClearAll();
}

bool CPParticlesManager::LoadFile(const char* path, int kind) {
    CPFileReader reader(path);
    if (reader.Load() != S_OK) {
        GetLog().Write(1, "particles: cannot read %s\n", path);
        return false;
    }
    const std::string text(reinterpret_cast<const char*>(reader.GetData()), reader.GetLength());
    switch (kind) {
    case Types: LoadTypes(text, false, path); break;
    case Spots: LoadTypes(text, true, path); break;
    case Emitters: LoadEmitterDefs(text, path); break;
    default: LoadFlames(text, path); break;
    }
    return true;
}

bool CPParticlesManager::Start() {
    if (!LoadFile("Data\\particles.dat", Types) || !LoadFile("Data\\spots.dat", Spots) ||
        !LoadFile("Data\\particlesystems.dat", Emitters) || !LoadFile("Data\\flames.dat", Flames))
        return false;
    return CPTask::Start();
}

void CPParticlesManager::LoadTypes(const std::string& text, bool spots, const char* path) {
    for (const std::string& line : Lines(text)) {
        const std::vector<std::string> f = Split(line, " ", true);
        CPRefPtr<CPParticleRenderObject> type(spots ? new CPSpotRenderObject : new CPParticleRenderObject);
        type->SetFlag(Integer(Field(f, 6)) != 0);
        int columns = Integer(Field(f, 3));
        int rows = Integer(Field(f, 4));
        if (columns < 1 || rows < 1)
            GetLog().Write(1, "%s: atlas %d x %d counts as 1 x 1 where below 1 in \"%s\"\n", path, columns, rows,
                           line.c_str());
        // No texture has more cells a side; a damaged count would ask for gigabytes of cells.
        if (columns > kMaxAtlasSide || rows > kMaxAtlasSide) {
            GetLog().Write(1, "%s: atlas %d x %d has more than %d cells a side, counts as 1 x 1 in \"%s\"\n", path,
                           columns, rows, kMaxAtlasSide, line.c_str());
            columns = rows = 1;
        }
        type->SetAtlas(columns, rows, Integer(Field(f, 5)));
        if (CPMaterialManager* materials = GetMaterialManager()) {
            // Saturated: the layer is data and may lie at the end of the int range.
            const int materialType = static_cast<int>(
                std::min<long long>(INT_MAX, (spots ? 20LL : 22LL) + static_cast<long long>(Integer(Field(f, 7)))));
            type->SetMaterial(materials->GetMaterial(materialType, Field(f, 2), {Field(f, 1)}));
        }
        if (!Field(f, 8).empty()) {
            for (const std::string& keyText : Split(Field(f, 8), ",", false)) {
                const std::vector<std::string> parts = Split(keyText, ":", false);
                type->AddColorKey({Real(Field(parts, 0), line, path), Real(Field(parts, 1), line, path),
                                   Real(Field(parts, 2), line, path), Real(Field(parts, 3), line, path),
                                   Real(Field(parts, 4), line, path)});
            }
        }
        types_[Field(f, 0)] = type;
    }
}

void CPParticlesManager::LoadEmitterDefs(const std::string& text, const char* path) {
    for (const std::string& line : Lines(text)) {
        const std::vector<std::string> f = Split(line, " ", true);
        CPEmitterDef def;
        def.typeName = Field(f, 1);
        def.life = Real(Field(f, 2), line, path);
        def.size = Real(Field(f, 3), line, path);
        def.growth = Real(Field(f, 4), line, path);
        def.fade = Integer(Field(f, 5)) != 0;
        def.speed = Real(Field(f, 6), line, path);
        def.cone = Integer(Field(f, 7));
        if (def.cone == 1 || def.cone == -1) {
            GetLog().Write(1, "%s: cone %d in \"%s\" counts as 0\n", path, def.cone, line.c_str());
            def.cone = 0;
        }
        def.direction =
            Vec3(Real(Field(f, 8), line, path), Real(Field(f, 9), line, path), Real(Field(f, 10), line, path));
        def.acceleration =
            Vec3(Real(Field(f, 11), line, path), Real(Field(f, 12), line, path), Real(Field(f, 13), line, path));
        def.jitter =
            Vec3(Real(Field(f, 14), line, path), Real(Field(f, 15), line, path), Real(Field(f, 16), line, path));
        emitterDefs_[Field(f, 0)] = def;
    }
}

void CPParticlesManager::LoadFlames(const std::string& text, const char* path) {
    for (const std::string& line : Lines(text)) {
        const std::vector<std::string> f = Split(line, ";", true);
        CPRefPtr<CPParticleSystem> flame(new CPParticleSystem(nullptr, Split(Field(f, 0), ",", true)));
        flame->interval = Real(Field(f, 1), line, path);
        flame->duration = Real(Field(f, 2), line, path);
        flame->damage = Real(Field(f, 3), line, path);
        if (flame->interval <= 0.0f)
            GetLog().Write(1, "%s: flame interval %g in \"%s\" emits nothing\n", path, flame->interval, line.c_str());
        flames_.push_back(flame);
    }
}

CPParticleRenderObject* CPParticlesManager::FindType(const std::string& name) const {
    auto it = types_.find(name);
    return it == types_.end() ? nullptr : it->second.Get();
}

const CPEmitterDef* CPParticlesManager::FindEmitterDef(const std::string& name) const {
    auto it = emitterDefs_.find(name);
    return it == emitterDefs_.end() ? nullptr : &it->second;
}

CPRefPtr<CPParticleSystem> CPParticlesManager::CreateFlame(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= flames_.size()) return nullptr;
    CPRefPtr<CPTask> copy = flames_[index]->Clone();
    return CPRefPtr<CPParticleSystem>(static_cast<CPParticleSystem*>(copy.Get()));
}

void CPParticlesManager::EmitParticle(const CPParticleDesc& desc) {
    if (!IsRunning()) return;
    CPParticle particle;
    particle.position = desc.position;
    particle.velocity = desc.velocity;
    particle.acceleration = desc.acceleration;
    particle.size = desc.size;
    particle.growth = desc.growth;
    particle.life = desc.life;
    particle.fade = desc.fade;
    particle.streak = desc.streak;
    particle.angle = static_cast<float>(EngineRand() % 360) * kDegree;
    particle.listener = desc.listener;
    particle.listenerObject = desc.listenerObject;
    if (desc.next) particle.next = desc.next->CopyChain();
    CPParticleRenderObject* type = FindType(desc.typeName);
    if (!type) return;
    const bool wasLive = type->IsLive();
    if (type->Emit(particle) && !wasLive) active_.push_back(CPRefPtr<CPParticleRenderObject>(type));
}

void CPParticlesManager::Update() {
    for (auto it = active_.begin(); it != active_.end();) {
        CPParticleRenderObject* type = it->Get();
        type->Update();
        if (type->IsLive()) {
            if (sink_) {
                sink_(type);
            } else if (CPRender* render = GetRender()) {
                if (const CPRefPtr<CPRenderBlock>& block = render->GetDynamicRenderBlock()) block->AddRenderable(type);
            }
            ++it;
        } else {
            it = active_.erase(it);
        }
    }
}

void CPParticlesManager::ClearAll() {
    for (auto& [name, type] : types_) type->Clear();
    active_.clear();
}
