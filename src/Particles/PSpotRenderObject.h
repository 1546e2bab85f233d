#pragma once
// A spot type: decals lying flat in the world (scorch marks). Each spot's quad is placed once, at
// emission; only its colour and atlas cell change while it ages.
#include <array>
#include <vector>

#include "Particles/PParticleRenderObject.h"

class CPSpotRenderObject : public CPParticleRenderObject {
public:
    // Spots further than this from the camera's look-at point (in x or y) are removed.
    static constexpr float kCullDistance = 30.0f;
    static constexpr float kLift = 0.03f;

    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPSpotRenderObject"; }

    void Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int flag) override;
    void Update() override;
    bool Emit(const CPParticle& particle) override;
    void Clear() override;

    // The colour bytes of a spot at its age: opaque white, fading over the last 40 % of its life.
    static uint32_t SpotColor(const CPParticle& spot);
    const std::vector<std::array<CPVertex, 4>>& GetQuads() const { return quads_; }

private:
    std::vector<std::array<CPVertex, 4>> quads_;
};
