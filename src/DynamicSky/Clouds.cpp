#include "DynamicSky/Clouds.h"

#include <algorithm>
#include <cmath>

#include "Core/PLog.h"
#include "DynamicSky/SkyFile.h"
#include "DynamicSky/SkyGlobals.h"
#include "Render/PRender.h"

namespace {

// A cloud file with more puffs than one frame can draw is cut here.
constexpr int kMaxPuffs = VolumeCloud::kMaxQuads;

Vec3 TurnZ(const Vec3& v, float t) {
    const float c = std::cos(t), s = std::sin(t);
    return Vec3(v.x * c - v.y * s, v.x * s + v.y * c, v.z);
}

// A shade worked out from damaged numbers may be NaN, which no clamp holds: it counts as 0.
uint8_t Channel(float v) { return std::isnan(v) ? 0 : static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f)); }

} // namespace

VolumeCloud::VolumeCloud() {
    LoadTexture("data\\textures\\cloud.tga");
    LoadEffect("data\\effects\\volume_cloud.fx");
}

void VolumeCloud::AddQuad(float key, const CPVertex corners[4]) {
    Quad q;
    q.key = key;
    q.order = quads_.size();
    std::copy(corners, corners + 4, q.corners);
    quads_.push_back(q);
}

void VolumeCloud::Render(float) {
    std::stable_sort(quads_.begin(), quads_.end(), [](const Quad& a, const Quad& b) { return a.key < b.key; });
    // The nearest quads are kept when a frame has more than the buffer holds.
    if (quads_.size() > static_cast<size_t>(kMaxQuads)) {
        if (!reportedCut_) GetLog().Write(1, "sky: %zu cloud quads, the nearest %d drawn", quads_.size(), kMaxQuads);
        reportedCut_ = true;
        quads_.resize(static_cast<size_t>(kMaxQuads));
    }
    vertexList_.clear();
    indexList_.clear();
    for (size_t i = 0; i < quads_.size(); ++i) {
        vertexList_.insert(vertexList_.end(), quads_[i].corners, quads_[i].corners + 4);
        const CPIndex b = static_cast<CPIndex>(4 * i);
        const CPIndex list[6] = {b, static_cast<CPIndex>(b + 2), static_cast<CPIndex>(b + 1),
                                 b, static_cast<CPIndex>(b + 3), static_cast<CPIndex>(b + 2)};
        indexList_.insert(indexList_.end(), list, list + 6);
    }
    Upload(vertexList_, indexList_, false);
    if (!quads_.empty()) Draw();
}

bool Cloud::Load(const std::string& file, float s, float t) {
    SkyFile reader;
    if (!reader.Open(file)) return false;
    return Load(reader, s, t);
}

bool Cloud::Load(SkyFile& file, float s, float t) {
    scale = s;
    turn = t;
    puffs.clear();
    auto place = [&](const Vec3& p) { return TurnZ(p * s, t); };
    const int coreCount = std::max(0, file.Integer());
    std::vector<Vec3> cores;
    for (int i = 0; i < coreCount && !file.AtEnd(); ++i) cores.push_back(place(file.Triple()));
    const int puffCount = file.Integer();
    Vec3 low(0, 0, 0), high(0, 0, 0);
    bool any = false;
    for (int i = 0; i < puffCount && !file.AtEnd(); ++i) {
        CloudPuff puff;
        puff.offset = place(file.Triple());
        file.Pair(puff.column, puff.row);
        puff.turn = file.Real();
        const int core = file.Integer();
        file.Pair(puff.halfWidth, puff.halfHeight);
        puff.halfWidth *= s;
        puff.halfHeight *= s;
        if (core < 0 || core >= static_cast<int>(cores.size()) || puff.column < 0 || puff.column > 3 || puff.row < 0 ||
            puff.row > 3) {
            GetLog().Write(1, "sky: %s: puff %d has core %d or atlas cell %d,%d out of range; dropped",
                           file.GetName().c_str(), i, core, puff.column, puff.row);
            continue;
        }
        if (static_cast<int>(puffs.size()) >= kMaxPuffs) {
            GetLog().Write(1, "sky: %s: more than %d puffs; the rest dropped", file.GetName().c_str(), kMaxPuffs);
            continue;
        }
        const Vec3 bend = puff.offset - cores[static_cast<size_t>(core)];
        puff.bend = LengthSq(bend) > 0.0f ? Normalize(bend) : Vec3(0, 0, 1);
        const float e = std::sqrt(puff.halfWidth * puff.halfWidth + puff.halfHeight * puff.halfHeight);
        const Vec3 lo = puff.offset - Vec3(e, e, e), hi = puff.offset + Vec3(e, e, e);
        if (!any) {
            low = lo;
            high = hi;
            any = true;
        } else {
            low = Vec3(std::min(low.x, lo.x), std::min(low.y, lo.y), std::min(low.z, lo.z));
            high = Vec3(std::max(high.x, hi.x), std::max(high.y, hi.y), std::max(high.z, hi.z));
        }
        puffs.push_back(puff);
    }
    rimRamp = file.Real();
    centreRamp = file.Real();
    shadeFactor = file.Real();
    for (float& level : shade) level = file.Real();
    halfHeight = 0.5f * std::max(std::fabs(low.z), std::fabs(high.z));
    radius = std::max({std::fabs(low.x), std::fabs(low.y), std::fabs(low.z), std::fabs(high.x), std::fabs(high.y),
                       std::fabs(high.z)});
    if (rimRamp <= 0.0f || centreRamp <= 0.0f)
        GetLog().Write(1, "sky: %s: a ramp time of 0 or less fades at once", file.GetName().c_str());
    return true;
}

void Cloud::StartFadeOut(bool reset) {
    fadingOut = true;
    fadingIn = false;
    if (reset) {
        centreThreshold = 0.0f;
        rimThreshold = 255.0f;
    }
    busy = true;
}

void Cloud::StartFadeIn(bool reset) {
    fadingIn = true;
    fadingOut = false;
    if (reset) {
        centreThreshold = 255.0f;
        rimThreshold = 0.0f;
    }
    busy = true;
}

void Cloud::UpdateFade(float time, VolumeCloud& volume) {
    const float f = time * CloudFadeTimeScale * 255.0f;
    // A ramp time of 0 or less completes its ramp at once.
    auto step = [f](float ramp) { return ramp > 0.0f ? f / ramp : 255.0f; };
    if (busy) {
        if (fadingOut) {
            if (centreThreshold < 255.0f) centreThreshold = std::min(255.0f, centreThreshold + step(centreRamp));
            else rimThreshold = std::max(0.0f, rimThreshold - step(rimRamp));
        } else if (fadingIn) {
            if (rimThreshold < 255.0f) rimThreshold = std::min(255.0f, rimThreshold + step(rimRamp));
            else centreThreshold = std::max(0.0f, centreThreshold - step(centreRamp));
        }
    }
    BuildQuads(volume);
}

void Cloud::BuildQuads(VolumeCloud& volume) {
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const Vec3 normals[4] = {
        {-0.57f, -0.57f, -0.57f}, {0.57f, -0.57f, -0.57f}, {0.57f, 0.57f, 0.57f}, {-0.57f, 0.57f, 0.57f}};
    for (CloudPuff& puff : puffs) {
        const Vec3 q = position + puff.offset;
        const Vec3 v = Vec3TransformCoord(q, SkyViewMatrix);
        if (v.z < 1.0f) continue;
        Mat4 g = SkyViewInverse;
        g.m[3][0] = g.m[3][1] = g.m[3][2] = 0.0f;
        const Mat4 turnZ = MatRotationZ(puff.turn);
        Mat4 f = SkyViewInverse;
        f.m[3][0] = q.x;
        f.m[3][1] = q.y;
        f.m[3][2] = q.z;
        const Mat4 fm = turnZ * f;
        const Mat4 gm = turnZ * g;
        CPVertex quad[4];
        for (int c = 0; c < 4; ++c) {
            CPVertex& vert = quad[c];
            vert.position =
                Vec3TransformCoord(Vec3(corners[c][0] * puff.halfWidth, corners[c][1] * puff.halfHeight, 0.0f), fm);
            vert.tu = (static_cast<float>(puff.column) + uv[c][0]) / 4.0f;
            vert.tv = (static_cast<float>(puff.row) + uv[c][1]) / 4.0f;
            const Vec3 d = Vec3TransformNormal(normals[c], gm) + puff.bend;
            const Vec3 m = LengthSq(d) > 0.0f ? Normalize(d) : Vec3(0, 0, 1);
            vert.normal = m;
            puff.colors[c] = CornerColor(vert.position, m);
            vert.diffuse = puff.colors[c];
        }
        volume.AddQuad(v.z, quad);
    }
    if (busy &&
        ((fadingIn && rimThreshold >= 255.0f && centreThreshold <= 0.0f) || (fadingOut && rimThreshold <= 0.0f)))
        busy = false;
}

float Cloud::Shade(float h) const {
    const float H = halfHeight;
    // A flat cloud has no height to grade by: it takes the middle level.
    if (H <= 0.0f) return shade[2];
    if (h >= H) {
        const float t = std::min(1.0f, (2 * H - h) / H);
        return t * shade[1] + (1 - t) * shade[0];
    }
    if (h >= 0.0f) {
        const float t = h / H;
        return t * shade[1] + (1 - t) * shade[2];
    }
    if (h >= -H) {
        const float t = -h / H;
        return t * shade[3] + (1 - t) * shade[2];
    }
    const float t = std::min(1.0f, (-H - h) / H);
    return t * shade[4] + (1 - t) * shade[3];
}

uint32_t Cloud::CornerColor(const Vec3& c, const Vec3& m) const {
    float alpha = 255.0f;
    if (fadingIn || fadingOut) {
        const float d = Length(c - position);
        // A cloud without a radius is all rim.
        const float k = radius > 0.0f ? std::max(0.0f, (radius - d) / radius) : 0.0f;
        alpha = std::clamp(rimThreshold - k * centreThreshold, 0.0f, 255.0f);
    }
    const Vec3 toSun = SkySunPosition - c;
    const Vec3 L = LengthSq(toSun) > 0.0f ? Normalize(toSun) : Vec3(0, 0, 0);
    const float h = c.z - position.z;
    const float g = Shade(h) / 255.0f;
    const float sigma = std::clamp(Dot(L, m), 0.0f, 1.0f);
    const Vec3 color = SkyCloudShadeColor * (g * shadeFactor / 255.0f) + SkyCloudSunColor * sigma;
    return static_cast<uint32_t>(Channel(alpha)) << 24 | static_cast<uint32_t>(Channel(color.x)) << 16 |
           static_cast<uint32_t>(Channel(color.y)) << 8 | static_cast<uint32_t>(Channel(color.z));
}

bool CloudField::Load(const std::string& file) {
    SkyFile reader;
    if (!reader.Open(file)) return false;
    return Load(reader);
}

bool CloudField::Load(SkyFile& file) {
    clouds.clear();
    offset = file.Triple();
    windFactor = file.Real();
    wrap = file.Integer();
    wrapCentre = file.Triple();
    wrapHalfSize = file.Real();
    if (wrap != 0 && wrapHalfSize <= 0.0f) {
        GetLog().Write(1, "sky: %s: wrap half size %g; the field does not wrap", file.GetName().c_str(),
                       static_cast<double>(wrapHalfSize));
        wrap = 0;
    }
    const int count = file.Integer();
    for (int i = 0; i < count && !file.AtEnd(); ++i) {
        const std::string name = file.Text();
        const Vec3 base = file.Triple();
        const float s = file.Real();
        const float t = file.Real();
        const float reserved = file.Real();
        auto cloud = std::make_unique<Cloud>();
        cloud->Load(name, s, t);
        cloud->basePosition = base;
        cloud->position = base + offset;
        clouds.emplace_back(std::move(cloud), reserved);
    }
    return true;
}

void CloudField::ResetPositions() {
    for (auto& entry : clouds) entry.first->position = entry.first->basePosition + offset;
}

void CloudField::SetFading(bool fadeIn, bool reset) {
    fadingIn = fadeIn;
    fadingOut = !fadeIn;
    for (auto& entry : clouds) {
        Cloud& cloud = *entry.first;
        if (fadeIn) cloud.StartFadeIn(reset);
        else cloud.StartFadeOut(reset);
        cloud.fieldFade = true;
    }
}

void CloudField::Update(float time, VolumeCloud& volume) {
    size_t done = 0;
    const float R = wrapHalfSize;
    for (auto& entry : clouds) {
        Cloud& cloud = *entry.first;
        Vec3 p = cloud.position + SkyWind * (time * windFactor * CloudFieldTimeScale);
        if (cloud.fieldFade) {
            if (!cloud.busy) ++done;
        } else if (wrap != 0 && R > 0.0f && !cloud.busy) {
            Vec3 r = p - wrapCentre;
            if (!cloud.fadingIn && !cloud.fadingOut) {
                if (std::fabs(r.x) > R || std::fabs(r.y) > R) cloud.StartFadeOut(true);
            } else if (cloud.fadingOut) {
                // Whole squares, so a cloud however far past the border lands inside.
                auto wrapAxis = [R](float& value, float wind) {
                    const float jump = 2 * R * std::floor((value + R) / (2 * R));
                    if ((wind > 0 && value > R) || (wind < 0 && value < -R)) value -= jump;
                };
                wrapAxis(r.x, SkyWind.x);
                wrapAxis(r.y, SkyWind.y);
                p.x = r.x + wrapCentre.x;
                p.y = r.y + wrapCentre.y;
                cloud.StartFadeIn(true);
            } else {
                cloud.fadingIn = cloud.fadingOut = false;
            }
        }
        cloud.position = p;
        cloud.UpdateFade(time, volume);
    }
    if ((fadingIn || fadingOut) && done == clouds.size()) {
        if (fadingOut) finished = true;
        fadingIn = fadingOut = false;
        for (auto& entry : clouds) entry.first->fieldFade = false;
    }
}
