#include "DynamicSky/SkyBillboard.h"

#include <algorithm>
#include <cmath>

#include "Core/PLog.h"

namespace {

constexpr float kQuarterTurn = 1.5707964f;
constexpr float kHalfTurn = 3.1415927f;

float ClampedAcos(float x) { return std::acos(std::clamp(x, -1.0f, 1.0f)); }

// The rotation turning unit vector from onto unit vector to. Parallel vectors give no axis: the
// same direction needs no turn, the opposite one a half turn about the given fallback axis.
Mat4 TurnOnto(const Vec3& from, const Vec3& to, const Vec3& fallback) {
    const Vec3 axis = Cross(from, to);
    const float angle = ClampedAcos(Dot(from, to));
    if (LengthSq(axis) < 1e-12f) return Dot(from, to) > 0.0f ? MatIdentity() : MatRotationAxis(fallback, kHalfTurn);
    return MatRotationAxis(axis, angle);
}

} // namespace

Vec3 SkyTurn(const Vec3& v, const Vec3& axis, float angle) {
    const Vec3 k = Normalize(axis);
    const float c = std::cos(angle), s = std::sin(angle);
    return v * c + Cross(k, v) * s + k * (Dot(k, v) * (1.0f - c));
}

void SkyBillboard::SetEffectNames(const std::string& name0, const std::string& name1) {
    effects_[0] = name0;
    effects_[1] = name1;
}

void SkyBillboard::SetDirection(const Vec3& direction) {
    if (LengthSq(direction) <= 0.0f) {
        GetLog().Write(1, "sky: a billboard without a direction points straight up");
        direction_ = Vec3(0, 0, 1);
    } else {
        direction_ = Normalize(direction);
    }
    // Straight up needs no tilt, straight down a half turn (about x).
    tilt_ = TurnOnto(Vec3(0, 0, 1), direction_, Vec3(1, 0, 0));
}

void SkyBillboard::Build(float size) {
    const float s = size;
    std::vector<CPVertex> quad(4);
    const float corners[4][4] = {{-s, -s, 0, 0}, {s, -s, 1, 0}, {s, s, 1, 1}, {-s, s, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        quad[i].position = Vec3(corners[i][0], 0.0f, corners[i][1]);
        quad[i].normal = Vec3(1, 1, 1);
        quad[i].diffuse = kColor;
        quad[i].tu = corners[i][2];
        quad[i].tv = corners[i][3];
    }
    Upload(quad, {0, 1, 2, 0, 2, 3}, false);
    textureIndex_ = 0;
    LoadCurrentTexture();
    effectIndex_ = 1;
    LoadEffect(effects_[1]);
}

void SkyBillboard::LoadCurrentTexture() {
    if (textureIndex_ >= 0 && textureIndex_ < static_cast<int>(textures_.size()))
        LoadTexture(textures_[static_cast<size_t>(textureIndex_)]);
}

void SkyBillboard::SelectEffect(int index) {
    if (index != 0 && index != 1) {
        GetLog().Write(1, "sky: billboard effect %d is neither 0 nor 1; 1 is used", index);
        index = 1;
    }
    effectIndex_ = index;
    LoadEffect(effects_[index]);
}

void SkyBillboard::NextTexture() {
    if (textures_.empty()) return;
    textureIndex_ = (textureIndex_ + 1) % static_cast<int>(textures_.size());
    LoadCurrentTexture();
}

void SkyBillboard::SetAlpha(int alpha) {
    const uint32_t color = (static_cast<uint32_t>(alpha) << 24) + 0x14u;
    for (CPVertex& v : vertices_) v.diffuse = color;
    for (CPVertex& v : working_) v.diffuse = color;
}

Mat4 SkyBillboard::PlacementMatrix() const {
    const Vec3 centre = GetCentre();
    const Vec3 n = LengthSq(centre) > 0.0f ? Normalize(-centre) : Vec3(0, -1, 0);
    // Facing: the quad's normal (0, 1, 0) onto n.
    const Mat4 facing = TurnOnto(Vec3(0, 1, 0), n, Vec3(0, 0, 1));
    // Alignment: the quad's upward edge onto the up of the sky as seen along n. A centre on the y
    // axis has no such up: no alignment there.
    Mat4 align = MatIdentity();
    const Vec3 flat(-centre.x, 0.0f, -centre.z);
    if (LengthSq(flat) > 1e-12f) {
        const Vec3 f = Normalize(flat);
        const Vec3 a(f.z, f.y, -f.x);
        const Vec3 w = Normalize(SkyTurn(-centre, a, kQuarterTurn));
        const Vec3 u = Vec3TransformNormal(Vec3(0, 0, 1), facing);
        align = TurnOnto(u, w, n);
    }
    const float k = layerScale_;
    return MatScaling(k, k, k) * facing * align * MatTranslation(centre.x, centre.y, centre.z);
}

HRESULT SkyBillboard::Draw(float) {
    TransformVertices(PlacementMatrix());
    const std::vector<CPVertex> quad = working_;
    const std::vector<CPIndex> indices = indices_;
    Upload(quad, indices, true);
    return VertexObject::Draw();
}
