#include "Weapons/PWeaponsSystem.h"

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Weapons/PBonusShot.h"
#include "Weapons/PExplosionShot.h"
#include "Weapons/PGibShot.h"
#include "Weapons/PPlasmaShot.h"
#include "Weapons/PRocketShot.h"
#include "Weapons/PSparksShot.h"
#include "Weapons/PTracerShot.h"

const char* const CPWeaponsSystem::kFileName = "Data\\weapons.dat";

namespace {

CPShot* MakeShot(const std::string& name, const std::string& kind) {
    if (kind == "simple") return new CPSimpleShot(name);
    if (kind == "s_explosion") return new CPExplosionShot(name, 0);
    if (kind == "s_explosion1") return new CPExplosionShot(name, 1);
    if (kind == "g_explosion") return new CPDebrisExplosionShot(name);
    if (kind == "rocket") return new CPRocketShot(name);
    if (kind == "s_rocket") return new CPHomingRocketShot(name);
    if (kind == "trasser") return new CPTracerShot(name);
    if (kind == "gauss") return new CPGaussShot(name);
    if (kind == "gib") return new CPGibShot(name);
    if (kind == "gib1") return new CPGibTrailShot(name);
    if (kind == "plazma") return new CPPlasmaShot(name);
    if (kind == "s_plazma") return new CPPlasmaBallShot(name);
    if (kind == "sparks") return new CPSparksShot(name);
    if (kind == "blood" || kind == "oil" || kind == "alien") return new CPSprayShot(name);
    if (kind == "mine") return new CPMineShot(name);
    if (kind == "emp") return new CPEmpShot(name);
    if (kind == "bonus") return new CPBonusShot(name);
    if (kind == "super") return new CPSuperShot(name);
    return nullptr;
}

} // namespace

CPWeaponsSystem::CPWeaponsSystem() = default;

CPWeaponsSystem::~CPWeaponsSystem() { ReleaseAll(); }

bool CPWeaponsSystem::Start() {
    if (!loaded_) {
        CPFileReader reader(kFileName);
        if (FAILED(reader.Load())) {
            GetLog().Write(1, "weapons: %s cannot be read\n", kFileName);
            return false;
        }
        LoadText(reader.GetData(), reader.GetLength());
        loaded_ = true;
    }
    return CPTask::Start();
}

void CPWeaponsSystem::LoadText(const void* data, int size) {
    CPTextReader lines(data, size);
    std::string line;
    while (lines.GetLine(line)) {
        if (line.empty()) continue;
        // Every blank separates: two in a row make an empty word, so such a line names no kind.
        std::vector<std::string> words;
        CPTokenizer tokens(line, " ", true);
        std::string word;
        while (tokens.NextToken(word)) words.push_back(word);
        if (words.size() < 3) {
            GetLog().Write(1, "%s: line %d has fewer than three words, skipped\n", kFileName, lines.GetLineCount());
            continue;
        }
        std::string params;
        for (size_t i = 2; i < words.size(); ++i) params += words[i];
        CPRefPtr<CPShot> shot = CreateShotObject(words[0], words[1], params);
        if (!shot) {
            GetLog().Write(1, "%s: unknown kind \"%s\" for \"%s\"\n", kFileName, words[1].c_str(), words[0].c_str());
            continue;
        }
        pools_[words[0]].push_back(shot);
    }
}

CPRefPtr<CPShot> CPWeaponsSystem::CreateShotObject(const std::string& name, const std::string& kind,
                                                   const std::string& params) {
    CPShot* raw = MakeShot(name, kind);
    if (!raw) return CPRefPtr<CPShot>();
    CPRefPtr<CPShot> shot(raw);
    shot->Init(SplitShotText(params, ";"));
    return shot;
}

void CPWeaponsSystem::CreateShot(const std::string& name, const Vec3& position, const Vec3& direction, float damage,
                                 const CPRefPtr<CPGameObject>& owner, void* extra) {
    ShotList& pool = pools_[name];
    if (pool.empty()) return;
    if (launchDepth_ >= kMaxLaunchDepth) {
        if (!depthLogged_) GetLog().Write(1, "weapons: \"%s\" launched %d deep, refused", name.c_str(), launchDepth_);
        depthLogged_ = true;
        return;
    }
    CPRefPtr<CPShot> shot;
    if (pool.size() == 1) {
        shot = pool.front()->Clone();
        if (!shot) return;
        ++newShots_;
    } else {
        shot = pool.back();
        pool.pop_back();
    }
    ++launchDepth_;
    shot->Launch(position, direction, damage, owner, extra);
    --launchDepth_;
    live_.push_back(shot);
}

void CPWeaponsSystem::Update() {
    CPRenderBlock* block = nullptr;
    if (CPRender* render = GetRender()) block = render->GetDynamicRenderBlock().Get();
    size_t stepped = 0;
    size_t i = 0;
    for (; i < live_.size(); ++i) {
        if (stepped == kMaxStepsPerTurn) {
            if (!stepsLogged_) GetLog().Write(1, "weapons: more than %zu shots in one turn", kMaxStepsPerTurn);
            stepsLogged_ = true;
            break;
        }
        ++stepped;
        // A reference of our own: the shot may be handed out again by a follow-up launched below.
        CPRefPtr<CPShot> shot = live_[i];
        if (!shot) continue;
        if (shot->Update()) {
            if (block) block->DrawDynamicObject(shot.Get());
            continue;
        }
        live_[i].Reset();
        pools_[shot->GetShotName()].push_back(shot);
    }
    // Keep the order of those still live (and of those that wait for the next turn).
    size_t out = 0;
    for (size_t k = 0; k < live_.size(); ++k)
        if (live_[k]) live_[out++] = live_[k];
    live_.resize(out);
}

void CPWeaponsSystem::ClearShots() {
    ShotList ending;
    ending.swap(live_);
    for (const CPRefPtr<CPShot>& shot : ending)
        if (shot) shot->Abort();
}

void CPWeaponsSystem::ReleaseAll() {
    ClearShots();
    pools_ = CPHashMap<ShotList>(kPoolBuckets);
}

void LaunchShot(const std::string& name, const Vec3& position, const Vec3& direction, float damage) {
    if (name.empty()) return;
    if (CPWeaponsSystem* weapons = GetWeaponsSystem()) weapons->CreateShot(name, position, direction, damage);
}
