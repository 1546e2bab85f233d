#include "DynamicSky/Skyscape.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "Core/PLog.h"
#include "Core/PRandom.h"
#include "DynamicSky/SkyFile.h"
#include "DynamicSky/SkyGlobals.h"
#include "Race/PLevel.h"
#include "Render/PRender.h"

Vec3 SkyCloudShadeColor;
Vec3 SkyCloudSunColor;
Vec3 SkySunPosition;
Vec3 SkyWind;
float CloudFadeTimeScale = 1.0f;
float CloudFieldTimeScale = 1.0f;

namespace {

constexpr float kDegrees = 0.017453292f;
constexpr float kFullTurn = 6.2831855f;

Vec3 Clamp255(const Vec3& c) {
    return Vec3(std::clamp(c.x, 0.0f, 255.0f), std::clamp(c.y, 0.0f, 255.0f), std::clamp(c.z, 0.0f, 255.0f));
}

uint32_t Byte(float v) { return static_cast<uint32_t>(static_cast<int64_t>(v)) & 0xFFu; }

// A sky that cannot be drawn still sets these: black fog and a mid grey ambient.
constexpr float kUndrawableFog = 0.0f;
constexpr float kUndrawableAmbient = 128.0f;

} // namespace

uint32_t SkyPackColor(float r, float g, float b) { return 0xFF000000u + Byte(r) * 65536u + Byte(g) * 256u + Byte(b); }

void SetSkyFogColor(float r, float g, float b) {
    const uint32_t color = SkyPackColor(r, g, b);
    CPRender* render = GetRender();
    if (!render) return;
    render->SetFogColor(color);
    if (Platform::Device* device = render->GetDevice()) device->SetRenderState(Platform::RenderState::FogColor, color);
}

void SetSkyAmbient(float r, float g, float b) {
    if (CPRender* render = GetRender()) render->SetAmbient(SkyPackColor(r, g, b), r / 255.0f, g / 255.0f, b / 255.0f);
}

int SkyLightByte(float channel) {
    if (channel >= 1.0f) return 255;
    if (channel <= 0.0f || !(channel == channel)) return 0;
    return static_cast<int>(channel * 255.0f + 0.5f);
}

void SetSunLight(const Vec3& direction, const float color[4]) {
    CPLevel* level = GetLevel();
    LightRecord own;
    LightRecord& light = level ? level->GetLight() : own;
    light.Type = Platform::LightDirectional;
    light.Direction = LengthSq(direction) > 0.0f ? Normalize(direction) : Vec3(0, 0, -1);
    const Color c(SkyLightByte(color[0]) / 256.0f, SkyLightByte(color[1]) / 256.0f, SkyLightByte(color[2]) / 256.0f,
                  1.0f);
    light.Diffuse = c;
    light.Specular = c;
    CPRender* render = GetRender();
    if (level) level->SubmitLight();
    else if (render) render->AddLight(light);
    if (render) render->ApplyLights();
}

bool SkyCloudStateList::Load(const std::string& file) {
    SkyFile reader;
    if (!reader.Open(file)) return false;
    Load(reader);
    return true;
}

void SkyCloudStateList::Load(SkyFile& file) {
    const int count = file.Integer();
    for (int i = 0; i < count && !file.AtEnd(); ++i) {
        SkyCloudState s;
        s.fadeTime = file.Real();
        s.baseDuration = file.Real();
        s.spread = file.Real();
        s.field = file.Text();
        s.reservedInts[0] = file.Integer();
        s.reservedInts[1] = file.Integer();
        s.reservedReals[0] = file.Real();
        s.reservedReals[1] = file.Real();
        s.reservedInts[2] = file.Integer();
        s.reservedReals[2] = file.Real();
        s.reservedInts[3] = file.Integer();
        s.reservedInts[4] = file.Integer();
        s.overcast = file.Integer();
        s.probability = file.Real();
        s.reservedInts[5] = file.Integer();
        states.push_back(s);
    }
}

Skyscape::Skyscape() : volume_(std::make_unique<VolumeCloud>()) {}

Skyscape::~Skyscape() {
    billboards_.clear();
    active_.clear();
    fields_.clear();
}

void Skyscape::Load(const std::string& file) {
    SkyFile reader;
    if (reader.Open(file)) Load(reader);
    // The dome's second pass, loaded whatever became of the file.
    LoadLightEffect("data/effects/skyscape_light.fx");
}

void Skyscape::ReadLayer(SkyFile& file, SkyLayer& layer, int rows, int billboards) {
    layer.duration = file.Real();
    layer.domeAlpha = file.Real();
    layer.domeAngle = file.Real() * kDegrees;
    layer.grey = file.Integer() - 1;
    for (int r = 0; r < rows; ++r) layer.rows.push_back(file.Triple());
    layer.sun = file.Triple();
    layer.ambient = file.Triple();
    layer.cloudSun = file.Triple();
    layer.cloudShade = file.Triple();
    layer.fog = file.Triple();
    for (float& r : layer.reserved) r = file.Real();
    layer.doubling = file.Integer();
    if (layer.doubling != 0) {
        layer.sun = layer.sun * 2.0f;
        layer.ambient = layer.ambient * 2.0f;
    }
    for (int b = 0; b < billboards; ++b) {
        SkyLayer::Billboard bb;
        bb.angle = file.Real() * kDegrees;
        bb.effect = file.Integer();
        bb.scale = file.Real();
        bb.advance = file.Integer();
        layer.billboards.push_back(bb);
    }
}

void Skyscape::Load(SkyFile& file) {
    timeScale_ = file.Real();
    int start = file.Integer();
    const float radius = file.Real();
    const float height = file.Real();
    int segments = file.Integer();
    const Vec3 centre = file.Triple();
    const std::string texture = file.Text();
    const std::string effect = file.Text();
    rows_ = file.Integer();
    const int layerCount = file.Integer();
    billboardCount_ = std::max(0, file.Integer());
    const std::string billboardEffect0 = file.Text();
    const std::string billboardEffect1 = file.Text();
    const int fieldCount = file.Integer();
    const std::string stateFile = file.Text();

    if (segments > kMaxSegments) {
        GetLog().Write(1, "sky: %s: %d dome segments cut to %d", file.GetName().c_str(), segments, kMaxSegments);
        segments = kMaxSegments;
    }
    if (rows_ < 2 || layerCount <= 0) {
        GetLog().Write(1, "sky: %s: %d colour rows and %d layers cannot be drawn; the sky stays empty",
                       file.GetName().c_str(), rows_, layerCount);
        return;
    }
    // Each colour row and each layer's billboard is a line of its own: counts beyond the file's
    // lines are damage, and would be read as that many rows of zeros.
    const int lines = static_cast<int>(std::min<size_t>(file.LineCount(), INT_MAX));
    if (rows_ > lines || billboardCount_ > lines) {
        GetLog().Write(1, "sky: %s: %d colour rows and %d billboards in a file of %d lines; the sky stays empty",
                       file.GetName().c_str(), rows_, billboardCount_, lines);
        return;
    }
    if (start < 0 || start >= layerCount) {
        if (start < 0) GetLog().Write(1, "sky: %s: start layer %d is layer 0", file.GetName().c_str(), start);
        start = 0;
    }
    ringsPerBand_ = segments / (4 * rows_ - 4);

    BuildDome(radius, segments, centre, height);
    LoadTexture(texture);
    LoadEffect(effect);

    for (int l = 0; l < layerCount && !file.AtEnd(); ++l) {
        SkyLayer layer;
        ReadLayer(file, layer, rows_, billboardCount_);
        layers_.push_back(std::move(layer));
    }
    if (start >= static_cast<int>(layers_.size())) start = 0;
    layer_ = start;

    for (int b = 0; b < billboardCount_ && !file.AtEnd(); ++b) {
        auto billboard = std::make_unique<SkyBillboard>();
        billboard->SetEffectNames(billboardEffect0, billboardEffect1);
        billboard->SetDirection(file.Triple());
        const float size = file.Real();
        billboard->SetDistance(file.Real());
        billboard->SetSpin(file.Real() * kDegrees);
        const int textures = file.Integer();
        for (int t = 0; t < textures && !file.AtEnd(); ++t) billboard->AddTexture(file.Text());
        billboard->Build(size);
        billboards_.push_back(std::move(billboard));
    }
    // Layers read before the billboard list fell short keep values for billboards that exist only.
    billboardCount_ = static_cast<int>(billboards_.size());

    for (int f = 0; f < fieldCount && !file.AtEnd(); ++f) {
        const std::string name = file.Text();
        auto field = std::make_unique<CloudField>();
        field->Load(name);
        fields_[name] = std::move(field);
    }

    states_.Load(stateFile);
    if (states_.states.empty()) {
        GetLog().Write(1, "sky: %s: no cloud state in %s; the sky stays empty", file.GetName().c_str(),
                       stateFile.c_str());
        return;
    }
    stateIndex_ = 0;
    state_ = states_.states[0];
    auto found = fields_.find(state_.field);
    if (found != fields_.end()) {
        active_.push_back(found->second.get());
        found->second->finished = false;
    } else {
        GetLog().Write(1, "sky: cloud state 0 names no field \"%s\"; it shows none", state_.field.c_str());
    }
    stateDuration_ = DrawStateDuration(state_);
    drawable_ = true;
    StartLayer();
}

float Skyscape::DrawStateDuration(const SkyCloudState& state) const {
    const double spreadTime = static_cast<double>(state.baseDuration) * state.spread;
    const double scaled = 20.0 * spreadTime;
    // A spread too small to draw from (and anything not a finite count) lasts the base duration.
    if (!(scaled >= 1.0) || scaled > 2147483647.0) return state.baseDuration;
    const int m = static_cast<int>(scaled);
    return state.baseDuration + 0.1f * static_cast<float>(EngineRand() % m) - static_cast<float>(spreadTime);
}

int Skyscape::ChooseNextState() const {
    const int n = static_cast<int>(states_.states.size());
    if (n < 2) return stateIndex_;
    int i = stateIndex_;
    for (int attempt = 0; attempt < kMaxStateDraws; ++attempt) {
        do i = EngineRand() % n;
        while (i == stateIndex_);
        const float p = static_cast<float>(EngineRand() % 100) * 0.01f;
        if (p <= states_.states[static_cast<size_t>(i)].probability) return i;
    }
    // Probabilities that keep refusing: the last draw stands.
    return i;
}

void Skyscape::BuildDome(float radius, int segments, const Vec3& centre, float heightFactor) {
    radius_ = radius;
    segments_ = std::min(segments, kMaxSegments);
    centre_ = centre;
    heightFactor_ = heightFactor;
    if (segments_ <= 0) {
        segments_ = 0;
        return;
    }
    const int n = segments_;
    const float a = (360.0f / static_cast<float>(n)) * kDegrees;
    const int rings = n / 4 + 1;
    std::vector<CPVertex> vertices;
    vertices.reserve(static_cast<size_t>(rings * (n + 1)));
    for (int d = 0; d < rings; ++d) {
        const float e = 1.5707964f - static_cast<float>(d) * a;
        for (int i = 0; i <= n; ++i) {
            CPVertex v;
            const float angle = static_cast<float>(i) * a;
            v.position =
                Vec3(std::cos(angle) * radius * std::sin(e) + centre.x,
                     std::sin(angle) * radius * std::sin(e) + centre.y, std::cos(e) * heightFactor * radius + centre.z);
            v.normal = LengthSq(v.position) > 0.0f ? Normalize(-v.position) : Vec3(0, 0, -1);
            v.diffuse = 0x80FFFFFF;
            v.tu = 4.0f * static_cast<float>(i) / static_cast<float>(n);
            v.tv = 2.0f * static_cast<float>(d) / static_cast<float>(rings);
            vertices.push_back(v);
        }
    }
    std::vector<CPIndex> indices;
    indices.reserve(static_cast<size_t>((rings - 1) * n * 6));
    for (int d = 0; d + 1 < rings; ++d)
        for (int i = 0; i < n; ++i) {
            const int p = d * (n + 1) + i;
            const int q = p + n + 1;
            for (int k : {p, q, q + 1, p, q + 1, p + 1}) indices.push_back(static_cast<CPIndex>(k));
        }
    Upload(vertices, indices, false);
}

void Skyscape::StartLayer() {
    if (layers_.empty()) return;
    const int k = layer_;
    const int next = k + 1 < static_cast<int>(layers_.size()) ? k + 1 : 0;
    const SkyLayer& from = layers_[static_cast<size_t>(k)];
    const SkyLayer& to = layers_[static_cast<size_t>(next)];
    current_ = from;
    tint_ = from;
    for (size_t i = 0; i < billboards_.size() && i < from.billboards.size(); ++i) {
        billboards_[i]->SelectEffect(from.billboards[i].effect);
        if (from.billboards[i].advance == 1) billboards_[i]->NextTexture();
    }
    // Per-unit-time differences toward the next layer; prepared, not applied (the layer clock does
    // not run). A layer without a duration has none.
    const float d = from.duration;
    auto rate = [d](float a, float b) { return d != 0.0f ? (b - a) / d : 0.0f; };
    auto rate3 = [&](const Vec3& a, const Vec3& b) { return Vec3(rate(a.x, b.x), rate(a.y, b.y), rate(a.z, b.z)); };
    rate_ = from;
    for (size_t r = 0; r < rate_.rows.size() && r < to.rows.size(); ++r)
        rate_.rows[r] = rate3(from.rows[r], to.rows[r]);
    rate_.domeAlpha = rate(from.domeAlpha, to.domeAlpha);
    rate_.domeAngle = rate(from.domeAngle, to.domeAngle);
    rate_.sun = rate3(from.sun, to.sun);
    rate_.ambient = rate3(from.ambient, to.ambient);
    rate_.cloudSun = rate3(from.cloudSun, to.cloudSun);
    rate_.cloudShade = rate3(from.cloudShade, to.cloudShade);
    rate_.fog = rate3(from.fog, to.fog);
    for (int i = 0; i < 3; ++i) rate_.reserved[i] = rate(from.reserved[i], to.reserved[i]);
    const bool last = next == 0;
    for (size_t i = 0; i < rate_.billboards.size() && i < to.billboards.size(); ++i) {
        const float angle = from.billboards[i].angle - (last ? kFullTurn : 0.0f);
        rate_.billboards[i].angle = rate(angle, to.billboards[i].angle);
        rate_.billboards[i].scale = rate(from.billboards[i].scale, to.billboards[i].scale);
    }
}

void Skyscape::ColorDome() {
    if (segments_ <= 0 || rows_ < 2 || ringsPerBand_ <= 0 || current_.rows.size() < static_cast<size_t>(rows_)) return;
    const int n = segments_;
    const int rings = n / 4 + 1;
    const Vec3 sun = LengthSq(SkySunPosition) > 0.0f ? Normalize(SkySunPosition) : Vec3(0, 0, 0);
    const uint32_t alpha = static_cast<uint32_t>(static_cast<int>(current_.domeAlpha)) & 0xFFu;
    int ring = 0;
    for (int band = 0; band + 1 < rows_ && ring < rings; ++band) {
        const Vec3& row = current_.rows[static_cast<size_t>(band)];
        const Vec3 step = (current_.rows[static_cast<size_t>(band) + 1] - row) * (1.0f / ringsPerBand_);
        Vec3 running = row;
        int last = (band + 1) * ringsPerBand_ - 1;
        if (band + 2 == rows_) ++last;
        for (; ring <= last && ring < rings; ++ring) {
            running = Clamp255(running + step);
            for (int i = 0; i <= n; ++i) {
                CPVertex& v = working_[static_cast<size_t>(ring * (n + 1) + i)];
                const float glow = std::clamp(56.0f * -Dot(v.normal, sun), 0.0f, 255.0f);
                auto channel = [glow](float c) {
                    return static_cast<uint32_t>(std::min(255, static_cast<int>(c + glow)));
                };
                v.diffuse = alpha << 24 | channel(running.x) << 16 | channel(running.y) << 8 | channel(running.z);
            }
        }
    }
}

void Skyscape::Render(float frameTime) {
    if (!drawable_) {
        // Nothing to draw, but the previous level's fog and ambient must not linger.
        SetSkyFogColor(kUndrawableFog, kUndrawableFog, kUndrawableFog);
        SetSkyAmbient(kUndrawableAmbient, kUndrawableAmbient, kUndrawableAmbient);
        return;
    }
    const float s = frameTime * timeScale_;

    current_.sun = Clamp255(current_.sun);
    current_.ambient = Clamp255(current_.ambient);
    current_.cloudSun = Clamp255(current_.cloudSun);
    current_.cloudShade = Clamp255(current_.cloudShade);
    current_.fog = Clamp255(current_.fog);
    current_.domeAlpha = std::clamp(current_.domeAlpha, 0.0f, 255.0f);

    SkyCloudShadeColor = current_.cloudShade;
    SkyCloudSunColor = current_.cloudSun;
    SkyWind = windDirection_ * windSpeed_;
    CloudFadeTimeScale = CloudFieldTimeScale = timeScale_;

    SetSkyFogColor(current_.fog.x, current_.fog.y, current_.fog.z);
    stateClock_ += s;

    // The dome: coloured, turned about its centre by minus the dome angle, drawn with the first effect.
    ColorDome();
    vertices_ = working_;
    const float a = current_.domeAngle;
    const float c = std::cos(a), sn = std::sin(a);
    for (CPVertex& v : vertices_) {
        const Vec3 p = v.position - centre_;
        v.position = Vec3(p.x * c + p.y * sn, -p.x * sn + p.y * c, p.z) + centre_;
    }
    SetSkyAmbient(current_.ambient.x, current_.ambient.y, current_.ambient.z);
    if (segments_ > 0) {
        const std::vector<CPVertex> colored = working_;
        const std::vector<CPIndex> indices = indices_;
        Upload(colored, indices, true);
        SetUseLightEffect(false);
        VertexObject::Draw();
    }

    for (size_t i = 0; i < billboards_.size(); ++i) {
        SkyBillboard& billboard = *billboards_[i];
        if (i < current_.billboards.size())
            billboard.SetLayerValues(current_.billboards[i].angle, current_.billboards[i].scale);
        if (i == 0) {
            const Vec3 q = billboard.GetCentre();
            SkySunPosition = q * 100.0f;
            const float color[4] = {current_.sun.x / 255.0f, current_.sun.y / 255.0f, current_.sun.z / 255.0f, 1.0f};
            SetSunLight(-q, color);
        }
        if (state_.overcast != 0) billboard.SetAlpha(255);
        billboard.Draw(s);
    }

    SkyRenderer::ClearDepth();

    volume_->Clear();
    for (CloudField* field : active_) field->Update(s, *volume_);
    volume_->Render(s);
    active_.erase(std::remove_if(active_.begin(), active_.end(), [](CloudField* f) { return f->finished; }),
                  active_.end());

    if (segments_ > 0) {
        SetUseLightEffect(true);
        VertexObject::Draw();
        SetUseLightEffect(false);
    }

    // Only a negative duration leaves the start layer: the layer clock does not run.
    if (layerClock_ > current_.duration) {
        layerClock_ = 0.0f;
        layer_ = layer_ + 1 < static_cast<int>(layers_.size()) ? layer_ + 1 : 0;
        StartLayer();
    }

    if (stateClock_ > stateDuration_) {
        const int next = ChooseNextState();
        if (next != stateIndex_) {
            stateIndex_ = next;
            state_ = states_.states[static_cast<size_t>(next)];
            StartCloudState();
        }
        // A single state restarts its clock.
        stateClock_ = 0.0f;
        stateDuration_ = DrawStateDuration(state_);
    } else if (stateDuration_ - stateClock_ <= state_.fadeTime) {
        fadingIn_ = false;
    }
}

void Skyscape::StartCloudState() {
    cloudFade_ = 0.0f;
    fadingIn_ = true;
    CloudField* showing = nullptr;
    if (active_.size() >= 2) {
        showing = active_[1];
        active_.clear();
    } else if (active_.size() == 1) {
        showing = active_[0];
    }
    auto found = fields_.find(state_.field);
    CloudField* next = found != fields_.end() ? found->second.get() : nullptr;
    if (!next) GetLog().Write(1, "sky: cloud state names no field \"%s\"; it shows none", state_.field.c_str());
    if (next == showing) {
        active_.clear();
        if (showing) active_.push_back(showing);
        return;
    }
    active_.clear();
    if (showing) {
        showing->SetFading(false, false);
        active_.push_back(showing);
    }
    if (next) {
        active_.push_back(next);
        next->finished = false;
        next->ResetPositions();
        next->SetFading(true, true);
    }
}

std::unique_ptr<CPSky> MakeSkyscape(int number) {
    char name[32];
    std::snprintf(name, sizeof(name), "skyscape%d.txt", number);
    auto sky = std::make_unique<Skyscape>();
    sky->Load(name);
    return sky;
}
