#include "Particles/PSpotRenderObject.h"

#include <cmath>

#include "Core/PGlobalTimer.h"
#include "Render/PPerspectiveCamera.h"

bool CPSpotRenderObject::Emit(const CPParticle& particle) {
    if (Full()) return CPParticleRenderObject::Emit(particle); // logs and refuses
    const Vec3 angles = particle.velocity;
    const Mat4 world = MatRotationZ(angles.z) * MatRotationY(angles.y) * MatRotationX(angles.x) *
                       MatTranslation(particle.position.x, particle.position.y, particle.position.z);
    const float s = particle.size;
    const Vec3 corners[4] = {{-s, -s, kLift}, {s, -s, kLift}, {s, s, kLift}, {-s, s, kLift}};
    const float w = atlas_ ? cellWidth_ : 1.0f;
    const float h = atlas_ ? cellHeight_ : 1.0f;
    const float uv[4][2] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    std::array<CPVertex, 4> quad{};
    for (int k = 0; k < 4; ++k) {
        quad[k].position = Vec3TransformCoord(corners[k], world);
        quad[k].normal = Vec3(0, 0, 1);
        quad[k].tu = uv[k][0];
        quad[k].tv = uv[k][1];
    }
    particles_.push_back(particle);
    CPParticle& added = particles_.back();
    added.previousPosition = added.position;
    added.cellRate = CellRate(added.life);
    quads_.push_back(quad);
    live_ = true;
    return true;
}

void CPSpotRenderObject::Update() {
    const float dt = FrameDelta;
    CPPerspectiveCamera* camera = CurrentCamera.Get();
    size_t index = 0;
    for (auto it = particles_.begin(); it != particles_.end();) {
        CPParticle& spot = *it;
        const bool far = camera && (std::fabs(spot.position.x - camera->lookAt.x) > kCullDistance ||
                                    std::fabs(spot.position.y - camera->lookAt.y) > kCullDistance);
        if (far || spot.age > spot.life) {
            it = particles_.erase(it);
            quads_.erase(quads_.begin() + static_cast<std::ptrdiff_t>(index));
            continue;
        }
        spot.age += dt;
        ++it;
        ++index;
    }
    if (particles_.empty()) live_ = false;
}

uint32_t CPSpotRenderObject::SpotColor(const CPParticle& spot) {
    if (!spot.fade || spot.age <= 0.6f * spot.life) return 0xffffffffu;
    if (spot.age >= spot.life) return 0;
    int level = static_cast<int>((spot.life - spot.age) * 256.0f / spot.life * 2.5f);
    if (level > 255) level = 255;
    if (level < 0) level = 0;
    const uint32_t byte = static_cast<uint32_t>(level);
    return byte << 24 | byte << 16 | byte << 8 | byte;
}

void CPSpotRenderObject::Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int) {
    uint16_t a = base;
    size_t index = 0;
    for (const CPParticle& spot : particles_) {
        std::array<CPVertex, 4> quad = quads_[index++];
        const uint32_t color = SpotColor(spot);
        for (CPVertex& v : quad) v.diffuse = color;
        if (atlas_) {
            const int cell = CellAt(spot);
            const float u = cellU_[cell], v = cellV_[cell];
            const float uv[4][2] = {
                {u, v}, {u + cellWidth_, v}, {u + cellWidth_, v + cellHeight_}, {u, v + cellHeight_}};
            for (int k = 0; k < 4; ++k) {
                quad[k].tu = uv[k][0];
                quad[k].tv = uv[k][1];
            }
        }
        for (int k = 0; k < 4; ++k) *vertices++ = quad[k];
        const uint16_t ids[6] = {0, 1, 2, 0, 2, 3};
        for (uint16_t k : ids) *indices++ = static_cast<CPIndex>(a + k);
        a = static_cast<uint16_t>(a + 4);
    }
}

void CPSpotRenderObject::Clear() {
    CPParticleRenderObject::Clear();
    quads_.clear();
}
