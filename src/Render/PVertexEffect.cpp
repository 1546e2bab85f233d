#include "Render/PVertexEffect.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Core/PUtils.h"

namespace {

constexpr int kMaxSheetCells = 65536;

// The effects change the destination in place; a separate source is copied over first.
void CopyIfApart(const CPVertex* source, CPVertex* destination, int count) {
    if (source != destination && count > 0) std::copy_n(source, count, destination);
}

// The low 8 bits of a value truncated toward zero, for any finite value.
uint32_t LowByte(double value) {
    if (!std::isfinite(value)) return 0;
    const double t = std::fmod(std::trunc(value), 256.0);
    return static_cast<uint32_t>(static_cast<int>(t) & 0xFF);
}

} // namespace

void CPEnvironmentEffect::Apply(const CPVertex* source, CPVertex* destination, int count) {
    CopyIfApart(source, destination, count);
    for (int i = 0; i < count; ++i) {
        CPVertex& v = destination[i];
        v.tu2 = v.position.x / scale + v.normal.x * 0.5f;
        v.tv2 = v.position.y / scale + v.normal.y * 0.5f;
    }
}

void CPFadeEffect::Update(float dt) {
    alpha -= dt * speed;
    if (!(alpha >= 0.0f)) alpha = 0.0f;
}

uint32_t CPFadeEffect::AlphaByte() const { return LowByte(alpha); }

void CPFadeEffect::Apply(const CPVertex* source, CPVertex* destination, int count) {
    Update(FrameDelta);
    const uint32_t colour = AlphaByte() << 24 | 0x00FFFFFFu;
    CopyIfApart(source, destination, count);
    for (int i = 0; i < count; ++i) destination[i].diffuse = colour;
}

CPMovingTexEffect::CPMovingTexEffect(float speedU, float speedV, float random)
    : speedU(speedU), speedV(speedV), offsetU(random * speedU), offsetV(random * speedV) {}

float CPMovingTexEffect::Wrap(float offset) {
    if (!std::isfinite(offset)) return 0.0f;
    // Whole units first: subtracting 1 at a time never ends once the value is past 2^24.
    double x = offset;
    if (x > 1.0) x -= std::ceil(x) - 1.0;
    else if (x < 0.0) x += std::ceil(-x);
    while (x > 1.0) x -= 1.0;
    while (x < 0.0) x += 1.0;
    return static_cast<float>(x);
}

void CPMovingTexEffect::Update(float dt) {
    offsetU = Wrap(offsetU + dt * speedU);
    offsetV = Wrap(offsetV + dt * speedV);
}

void CPMovingTexEffect::Apply(const CPVertex* source, CPVertex* destination, int count) {
    Update(FrameDelta);
    CopyIfApart(source, destination, count);
    for (int i = 0; i < count; ++i) {
        destination[i].tu += offsetU;
        destination[i].tv += offsetV;
    }
}

CPFlickEffect::CPFlickEffect(float frequency, int low, int high, float startTime)
    : frequency(frequency), time(startTime) {
    const int lowByte = low & 0xFF, highByte = high & 0xFF;
    amplitude = static_cast<float>(highByte - lowByte) / 2.0f;
    middle = static_cast<uint8_t>(lowByte + static_cast<int>(amplitude));
    this->high = static_cast<uint8_t>(highByte);
}

void CPFlickEffect::Update(float dt) {
    time += dt;
    const double value = std::sin(static_cast<double>(time) * frequency) * amplitude + middle;
    level = std::isfinite(value) ? static_cast<int>(value) : middle;
}

void CPFlickEffect::Apply(const CPVertex* source, CPVertex* destination, int count) {
    Update(FrameDelta);
    CopyIfApart(source, destination, count);
    // A byte times the level stays far inside 64 bits, so the truncation needs no range check.
    const double levelValue = level;
    for (int i = 0; i < count; ++i) {
        CPVertex& v = destination[i];
        const auto alpha = static_cast<int64_t>(static_cast<double>(v.diffuse >> 24) * levelValue * 0.003921569);
        v.diffuse = static_cast<uint32_t>(alpha & 0xFF) << 24 | 0x00FFFFFFu;
    }
}

CPAnimEffect::CPAnimEffect(int columns, int rows, float fps)
    : columns(columns),
      rows(rows),
      fps(fps),
      cellWidth(1.0f / static_cast<float>(columns)),
      cellHeight(1.0f / static_cast<float>(rows)),
      frameCount(columns * rows) {
    frameU.resize(static_cast<size_t>(frameCount));
    frameV.resize(static_cast<size_t>(frameCount));
    for (int j = 0; j < rows; ++j)
        for (int k = 0; k < columns; ++k) {
            frameU[static_cast<size_t>(j * columns + k)] = static_cast<float>(k) / static_cast<float>(columns);
            frameV[static_cast<size_t>(j * columns + k)] = static_cast<float>(j) / static_cast<float>(rows);
        }
}

void CPAnimEffect::Update(float dt) {
    time += dt;
    // Computed wide so a long-running sheet never overflows; the frame stays in the table.
    const double frames = std::trunc(static_cast<double>(time) * fps);
    if (!std::isfinite(frames) || frameCount <= 0) {
        currentFrame = 0;
        return;
    }
    const double frame = std::fmod(frames, static_cast<double>(frameCount));
    currentFrame = frame < 0 ? 0 : static_cast<int>(frame);
}

void CPAnimEffect::Apply(const CPVertex* source, CPVertex* destination, int count) {
    Update(FrameDelta);
    const float u = frameU[static_cast<size_t>(currentFrame)], v = frameV[static_cast<size_t>(currentFrame)];
    CopyIfApart(source, destination, count);
    for (int i = 0; i < count; ++i) {
        destination[i].tu = u + destination[i].tu * cellWidth;
        destination[i].tv = v + destination[i].tv * cellHeight;
    }
}

// Managed objects do not copy themselves; each kind copies its fields, its state included.
CPRefPtr<CPVertexEffect> CPEnvironmentEffect::Clone() const {
    return CPRefPtr<CPVertexEffect>(new CPEnvironmentEffect(scale));
}

CPRefPtr<CPVertexEffect> CPFadeEffect::Clone() const {
    auto* copy = new CPFadeEffect(speed);
    copy->alpha = alpha;
    return CPRefPtr<CPVertexEffect>(copy);
}

CPRefPtr<CPVertexEffect> CPMovingTexEffect::Clone() const {
    auto* copy = new CPMovingTexEffect(speedU, speedV, 0.0f);
    copy->offsetU = offsetU;
    copy->offsetV = offsetV;
    return CPRefPtr<CPVertexEffect>(copy);
}

CPRefPtr<CPVertexEffect> CPFlickEffect::Clone() const {
    auto* copy = new CPFlickEffect(frequency, 0, 0, time);
    copy->middle = middle;
    copy->high = high;
    copy->level = level;
    copy->amplitude = amplitude;
    copy->time = time;
    return CPRefPtr<CPVertexEffect>(copy);
}

CPRefPtr<CPVertexEffect> CPAnimEffect::Clone() const {
    auto* copy = new CPAnimEffect(columns, rows, fps);
    copy->time = time;
    copy->currentFrame = currentFrame;
    return CPRefPtr<CPVertexEffect>(copy);
}

CPRefPtr<CPVertexEffect> CreateVertexEffect(const std::string& kind, const std::vector<std::string>& arguments) {
    std::string name = kind;
    ToLower(name);
    std::vector<double> values;
    for (const std::string& argument : arguments) {
        // An empty argument is a number, 0, as IsNumber takes it.
        if (!IsNumber(argument)) return {};
        const double value = std::strtod(argument.c_str(), nullptr);
        if (!std::isfinite(value)) return {};
        values.push_back(value);
    }
    // Integers as the text's number truncated, kept within the int range.
    auto integer = [](double v) { return static_cast<int>(std::fmax(-2147483648.0, std::fmin(2147483647.0, v))); };
    auto real = [](double v) { return static_cast<float>(v); };
    const size_t n = values.size();
    if (name == "anim" && n == 3) {
        const int columns = integer(values[0]), rows = integer(values[1]);
        const float fps = real(values[2]);
        // A sheet without cells or running backwards has no frame to show.
        if (columns <= 0 || rows <= 0 || fps < 0.0f) return {};
        if (static_cast<long long>(columns) * rows > kMaxSheetCells) return {};
        return CPRefPtr<CPVertexEffect>(new CPAnimEffect(columns, rows, fps));
    }
    auto random = [] { return static_cast<float>(EngineRand()); };
    if (name == "flick" && n == 3)
        return CPRefPtr<CPVertexEffect>(
            new CPFlickEffect(real(values[0]), integer(values[1]), integer(values[2]), random()));
    if (name == "movingtex" && n == 2)
        return CPRefPtr<CPVertexEffect>(new CPMovingTexEffect(real(values[0]), real(values[1]), random()));
    if (name == "fade" && n == 1) return CPRefPtr<CPVertexEffect>(new CPFadeEffect(real(values[0])));
    if (name == "environment" && n == 1) {
        // Scale 0 would make every second coordinate non-finite.
        if (real(values[0]) == 0.0f) return {};
        return CPRefPtr<CPVertexEffect>(new CPEnvironmentEffect(real(values[0])));
    }
    return {};
}
