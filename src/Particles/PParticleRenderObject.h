#pragma once
// One particle type: its material, atlas and colour keys, and the list of its live particles,
// drawn together as one renderable of camera-facing quads.
#include <list>
#include <vector>

#include "Particles/PParticleDesc.h"
#include "Render/PRenderObject.h"

class CPPerspectiveCamera;

class CPParticleRenderObject : public CPRenderObject {
public:
    // 16-bit indices address 65536 vertices: four per particle.
    static constexpr int kMaxParticles = 16383;

    CPParticleRenderObject() : CPRenderObject(nullptr) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPParticleRenderObject"; }

    bool IsStatic() const override { return false; }
    void SetStatic(bool) override {}
    int GetVertexCount() override { return 4 * static_cast<int>(particles_.size()); }
    int GetIndexCount() override { return 6 * static_cast<int>(particles_.size()); }
    void Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int flag) override;
    void FillExtra(CPIndex*, int, int&, int&) override {}

    // Advances every live particle by one frame (FrameDelta).
    virtual void Update();
    // Appends a copy of the particle; false (nothing stored) when the type is full.
    virtual bool Emit(const CPParticle& particle);
    virtual void Clear();

    // Rows and columns below 1 count as 1; more than one cell makes an atlas.
    void SetAtlas(int columns, int rows, int frames);
    void AddColorKey(const CPColorKey& key) {
        colorKeys_.push_back(key);
        hasColorKeys_ = true;
    }
    // The colour (0xAARRGGBB) and half edge the keys give at age / life = t.
    void KeyAt(float t, uint32_t& color, float& size) const;

    bool IsLive() const { return live_; }
    int GetParticleCount() const { return static_cast<int>(particles_.size()); }
    const std::list<CPParticle>& GetParticles() const { return particles_; }
    bool HasAtlas() const { return atlas_; }
    int GetCellCount() const { return cellCount_; }
    // The atlas cell a particle shows at its age; 0 when the rate is not finite.
    int CellAt(const CPParticle& particle) const;
    void SetFlag(bool flag) { flag_ = flag; }
    bool GetFlag() const { return flag_; }
    int GetFrameCount() const { return frames_; }

protected:
    float CellRate(float life) const { return life > 0.0f ? static_cast<float>(cellCount_) / life : 0.0f; }
    bool Full() const;

    std::vector<CPColorKey> colorKeys_;
    bool live_ = false;
    std::list<CPParticle> particles_;
    bool atlas_ = false;
    int rows_ = 1, columns_ = 1, frames_ = 1;
    std::vector<float> cellU_{0.0f}, cellV_{0.0f};
    int cellCount_ = 1;
    float cellWidth_ = 1.0f, cellHeight_ = 1.0f;
    bool flag_ = false;
    bool hasColorKeys_ = false;
    bool fullLogged_ = false;
};
