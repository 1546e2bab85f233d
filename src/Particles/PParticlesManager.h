#pragma once
// The particle manager task: loads the particle, spot, emitter and flame files, keeps the types by
// name, starts particles on request, advances the live types once a turn and queues them for
// drawing.
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/PSingleton.h"
#include "Core/PTask.h"
#include "Particles/PParticleDesc.h"
#include "Particles/PParticleRenderObject.h"

class CPParticleSystem;
class CPRenderable;

class CPParticlesManager : public CPTask, public CPSingleton<CPParticlesManager> {
public:
    CPParticlesManager();
    ~CPParticlesManager() override;
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPParticlesManager"; }

    // Reads the four files in order; false at the first that cannot be read.
    bool Start() override;
    void Update() override;

    // Starts one particle of the descriptor's type (with its chain). Nothing is stored while the
    // manager is not running, since nobody would ever age or remove it.
    void EmitParticle(const CPParticleDesc& desc);
    void ClearAll();
    // A copy of flame system `index`, or none past the list.
    CPRefPtr<CPParticleSystem> CreateFlame(int index) const;
    const CPEmitterDef* FindEmitterDef(const std::string& name) const;

    // Loaders for one file's text each (Start reads the files through them).
    // The path names the file in the log's complaints about its lines.
    void LoadTypes(const std::string& text, bool spots, const char* path);
    void LoadEmitterDefs(const std::string& text, const char* path);
    void LoadFlames(const std::string& text, const char* path);

    CPParticleRenderObject* FindType(const std::string& name) const;
    const std::list<CPRefPtr<CPParticleRenderObject>>& GetActiveTypes() const { return active_; }
    size_t GetFlameCount() const { return flames_.size(); }

    // Where live types are queued each turn; the renderer's dynamic block unless set (tests).
    using QueueSink = void (*)(CPRenderable* renderable);
    void SetQueueSink(QueueSink sink) { sink_ = sink; }

private:
    bool LoadFile(const char* path, int kind);

    std::vector<CPRefPtr<CPParticleSystem>> flames_;
    std::unordered_map<std::string, CPRefPtr<CPParticleRenderObject>> types_;
    std::list<CPRefPtr<CPParticleRenderObject>> active_;
    std::unordered_map<std::string, CPEmitterDef> emitterDefs_;
    QueueSink sink_ = nullptr;
};

inline CPParticlesManager* GetParticlesManager() { return CPSingleton<CPParticlesManager>::Instance(); }
