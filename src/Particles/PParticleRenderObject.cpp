#include "Particles/PParticleRenderObject.h"

#include <cmath>

#include "Core/PGlobalTimer.h"
#include "Core/PLog.h"
#include "Particles/PParticlesManager.h"
#include "Render/PPerspectiveCamera.h"

namespace {

// The low byte of a number truncated to an integer, for any number a data file can give: what lies
// beyond int's range wraps the same way, and one that is not finite gives 0.
uint32_t LowByte(double value) {
    if (!std::isfinite(value)) return 0;
    double low = std::fmod(std::trunc(value), 256.0);
    if (low < 0.0) low += 256.0;
    return static_cast<uint32_t>(low);
}

uint8_t Byte(float unit) { return static_cast<uint8_t>(LowByte(unit * 255.0f)); }

void WriteQuadIndices(CPIndex* indices, uint16_t b, bool facing) {
    // Billboards are wound the other way round from world-space quads.
    const uint16_t quad[2][6] = {{0, 1, 2, 0, 2, 3}, {0, 2, 1, 0, 3, 2}};
    for (int i = 0; i < 6; ++i) indices[i] = static_cast<CPIndex>(b + quad[facing][i]);
}

} // namespace

void CPParticleRenderObject::SetAtlas(int columns, int rows, int frames) {
    columns_ = columns < 1 ? 1 : columns;
    rows_ = rows < 1 ? 1 : rows;
    frames_ = frames;
    cellCount_ = rows_ * columns_;
    atlas_ = cellCount_ > 1;
    cellWidth_ = 1.0f / static_cast<float>(columns_);
    cellHeight_ = 1.0f / static_cast<float>(rows_);
    cellU_.assign(cellCount_, 0.0f);
    cellV_.assign(cellCount_, 0.0f);
    for (int row = 0; row < rows_; ++row) {
        for (int column = 0; column < columns_; ++column) {
            cellU_[row * columns_ + column] = static_cast<float>(column) * cellWidth_;
            cellV_[row * columns_ + column] = static_cast<float>(row) * cellHeight_;
        }
    }
}

bool CPParticleRenderObject::Full() const { return static_cast<int>(particles_.size()) >= kMaxParticles; }

bool CPParticleRenderObject::Emit(const CPParticle& particle) {
    if (Full()) {
        if (!fullLogged_) {
            GetLog().Write(1, "particles: type is full (%d live), further particles dropped", kMaxParticles);
            fullLogged_ = true;
        }
        return false;
    }
    particles_.push_back(particle);
    CPParticle& added = particles_.back();
    added.previousPosition = added.position;
    added.cellRate = CellRate(added.life);
    live_ = true;
    return true;
}

void CPParticleRenderObject::Update() {
    const float dt = FrameDelta;
    for (auto it = particles_.begin(); it != particles_.end();) {
        CPParticle& p = *it;
        if (p.streak && p.velocity.x != 0.0f && p.velocity.y != 0.0f && p.velocity.z != 0.0f)
            p.lastVelocity = p.velocity;
        p.velocity += p.acceleration * dt;
        p.position += p.velocity * dt;
        p.size += p.growth * dt;
        if (p.next && p.age > 0.5f * p.life) {
            std::unique_ptr<CPParticleDesc> next = std::move(p.next);
            next->position += p.position;
            if (CPParticlesManager* manager = GetParticlesManager()) manager->EmitParticle(*next);
        }
        if (p.age > p.life) {
            if (p.next) {
                std::unique_ptr<CPParticleDesc> next = std::move(p.next);
                next->position = p.position;
                if (CPParticlesManager* manager = GetParticlesManager()) manager->EmitParticle(*next);
            }
            it = particles_.erase(it);
            continue;
        }
        p.age += dt;
        if (p.listener) p.listener(p.listenerObject.Get(), p);
        ++it;
    }
    if (particles_.empty()) live_ = false;
}

void CPParticleRenderObject::Clear() {
    particles_.clear();
    live_ = false;
}

void CPParticleRenderObject::KeyAt(float t, uint32_t& color, float& size) const {
    const int n = static_cast<int>(colorKeys_.size());
    CPColorKey key;
    if (n == 0) {
        key = CPColorKey{1, 1, 1, 1, 0};
    } else if (n == 1 || t <= 0.0f || !(t == t)) {
        key = colorKeys_.front(); // one key is held over the whole life
    } else if (t >= 1.0f) {
        key = colorKeys_.back();
    } else {
        const float span = static_cast<float>(n - 1);
        int i = static_cast<int>(span * t);
        if (i > n - 2) i = n - 2;
        const float f = (t - static_cast<float>(i) / span) * span;
        const CPColorKey& a = colorKeys_[i];
        const CPColorKey& b = colorKeys_[i + 1];
        key.alpha = a.alpha + (b.alpha - a.alpha) * f;
        key.red = a.red + (b.red - a.red) * f;
        key.green = a.green + (b.green - a.green) * f;
        key.blue = a.blue + (b.blue - a.blue) * f;
        key.size = a.size + (b.size - a.size) * f;
    }
    color = static_cast<uint32_t>(Byte(key.alpha)) << 24 | static_cast<uint32_t>(Byte(key.red)) << 16 |
            static_cast<uint32_t>(Byte(key.green)) << 8 | Byte(key.blue);
    size = key.size;
}

int CPParticleRenderObject::CellAt(const CPParticle& particle) const {
    const float cell = particle.cellRate * particle.age;
    if (!std::isfinite(cell) || cell < 0.0f || cell > 1e9f) return 0;
    return static_cast<int>(cell) % cellCount_;
}

void CPParticleRenderObject::Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int) {
    CPPerspectiveCamera* camera = CurrentCamera.Get();
    uint16_t b = base;
    if (!camera) {
        // Nothing to face: collapsed quads that draw nothing.
        for (size_t i = 0; i < particles_.size(); ++i, b = static_cast<uint16_t>(b + 4)) {
            for (int v = 0; v < 4; ++v) vertices[4 * i + v] = CPVertex{};
            for (int k = 0; k < 6; ++k) indices[6 * i + k] = b;
        }
        return;
    }
    Mat4 billboard = camera->viewInverse;
    const Vec3 eye = camera->eye;
    const bool moved = FrameDelta > 0.0f;
    CPVertex* v = vertices;
    CPIndex* ix = indices;
    for (auto it = particles_.rbegin(); it != particles_.rend(); ++it) {
        CPParticle& p = *it;
        float s = p.age * p.growth + p.size;
        uint32_t color = 0xffffffffu;
        if (hasColorKeys_) {
            KeyAt(p.life != 0.0f ? p.age / p.life : (p.age > 0.0f ? 1.0f : 0.0f), color, s);
        } else if (p.fade) {
            uint32_t alpha = 0;
            if (p.age < p.life) {
                // Only the low byte counts: a particle of age 0 gives 256, which wraps to 0.
                alpha = LowByte((p.life - p.age) * 256.0f / p.life);
            }
            color = alpha << 24 | 0x00ffffffu;
        }
        for (int k = 0; k < 4; ++k) {
            v[k] = CPVertex{};
            v[k].diffuse = color;
        }
        if (!atlas_ && p.streak) {
            const Vec3 P = p.position;
            const Vec3 d = Normalize(p.previousPosition - P);
            const bool still = p.velocity.x == 0.0f && p.velocity.y == 0.0f && p.velocity.z == 0.0f;
            const float L = Length(still ? p.lastVelocity : p.velocity);
            const Vec3 T = P + d * (3.0f * s * L);
            const Vec3 n = Normalize(Cross(P - eye, T - P)); // zero for a zero-length streak
            v[0].position = P - n * s;
            v[1].position = P + n * s;
            v[2].position = T + n * s;
            v[3].position = T - n * s;
            v[0].tu = 0, v[0].tv = 0;
            v[1].tu = 1, v[1].tv = 0;
            v[2].tu = 1, v[2].tv = 1;
            v[3].tu = 0, v[3].tv = 1;
            WriteQuadIndices(ix, b, false);
        } else {
            float u = 0.0f, w = 1.0f, vv = 0.0f, h = 1.0f;
            if (atlas_) {
                const int cell = CellAt(p);
                u = cellU_[cell];
                vv = cellV_[cell];
                w = cellWidth_;
                h = cellHeight_;
            }
            billboard(3, 0) = p.position.x;
            billboard(3, 1) = p.position.y;
            billboard(3, 2) = p.position.z;
            const Vec3 corners[4] = {{-s, -s, 0}, {s, -s, 0}, {s, s, 0}, {-s, s, 0}};
            const float uv[4][2] = {{u, vv}, {u + w, vv}, {u + w, vv + h}, {u, vv + h}};
            for (int k = 0; k < 4; ++k) {
                v[k].position = Vec3TransformCoord(corners[k], billboard);
                v[k].tu = uv[k][0];
                v[k].tv = uv[k][1];
            }
            WriteQuadIndices(ix, b, true);
        }
        v += 4;
        ix += 6;
        b = static_cast<uint16_t>(b + 4);
        if (moved) p.previousPosition = p.position;
    }
}
