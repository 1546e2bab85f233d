#pragma once
// Per-frame changes to the vertices a render part writes: scrolling, sprite-sheet and projected
// texture coordinates, fading and flickering alpha. Each effect belongs to one render part (a
// copied part gets clones) and keeps its own clock, advanced by the frame time each time it is
// applied, so it stands still while its part is not drawn.
#include <string>
#include <vector>

#include "Core/PManagedObject.h"
#include "Render/PVertex.h"

class CPVertexEffect : public CPManagedObject {
public:
    // Advances the effect's state by dt seconds.
    virtual void Update(float dt) { (void)dt; }
    // Writes count vertices of source, changed, to destination; the two may be the same. Every kind
    // with a state first advances it by FrameDelta.
    virtual void Apply(const CPVertex* source, CPVertex* destination, int count) {
        if (source != destination)
            for (int i = 0; i < count; ++i) destination[i] = source[i];
    }
    // An independent copy, state included, for a copied render part.
    virtual CPRefPtr<CPVertexEffect> Clone() const = 0;
    // Back to the starting state where the kind has one (an animation was restarted).
    virtual void Reset() {}
};

// "environment" (scale): the second texture pair from the position and normal.
class CPEnvironmentEffect : public CPVertexEffect {
public:
    explicit CPEnvironmentEffect(float scale) : scale(scale) {}
    const char* GetTypeName() const override { return "CPEnvironmentEffect"; }
    int GetObjectSize() const override { return sizeof(*this); }
    void Apply(const CPVertex* source, CPVertex* destination, int count) override;
    CPRefPtr<CPVertexEffect> Clone() const override;

    float scale;
};

// "fade" (speed): the alpha falls by speed units a second from 255 and stays at 0.
class CPFadeEffect : public CPVertexEffect {
public:
    explicit CPFadeEffect(float speed) : speed(speed) {}
    const char* GetTypeName() const override { return "CPFadeEffect"; }
    int GetObjectSize() const override { return sizeof(*this); }
    void Update(float dt) override;
    void Apply(const CPVertex* source, CPVertex* destination, int count) override;
    CPRefPtr<CPVertexEffect> Clone() const override;
    void Reset() override { alpha = 255.0f; }
    // The written alpha byte: the alpha truncated, its low 8 bits.
    uint32_t AlphaByte() const;

    float speed;
    float alpha = 255.0f;
};

// "movingtex" (speed u, speed v): the first texture pair scrolls, the offsets kept within 0..1.
class CPMovingTexEffect : public CPVertexEffect {
public:
    // The offsets start at `random` (one engine random number) times each speed.
    CPMovingTexEffect(float speedU, float speedV, float random);
    const char* GetTypeName() const override { return "CPMovingTexEffect"; }
    int GetObjectSize() const override { return sizeof(*this); }
    void Update(float dt) override;
    void Apply(const CPVertex* source, CPVertex* destination, int count) override;
    CPRefPtr<CPVertexEffect> Clone() const override;
    // Above 1 comes down and below 0 comes up by whole units, as far as 1 and 0 (exactly 1 stays).
    static float Wrap(float offset);

    float speedU, speedV;
    float offsetU = 0.0f, offsetV = 0.0f;
};

// "flick" (frequency, low, high): the alpha swings on a sine between the low and the high level.
class CPFlickEffect : public CPVertexEffect {
public:
    // Levels are bytes (low 8 bits); the clock starts at `startTime` (one engine random number).
    CPFlickEffect(float frequency, int low, int high, float startTime);
    const char* GetTypeName() const override { return "CPFlickEffect"; }
    int GetObjectSize() const override { return sizeof(*this); }
    void Update(float dt) override;
    void Apply(const CPVertex* source, CPVertex* destination, int count) override;
    CPRefPtr<CPVertexEffect> Clone() const override;

    float frequency;
    uint8_t middle;
    uint8_t high;
    int level = 0xFFFFFF;
    float amplitude;
    float time;
};

// "anim" (columns, rows, frames per second): the first texture pair shows one cell of a sprite
// sheet, row by row, left to right.
class CPAnimEffect : public CPVertexEffect {
public:
    // Columns and rows must be at least 1 (CreateVertexEffect refuses others).
    CPAnimEffect(int columns, int rows, float fps);
    const char* GetTypeName() const override { return "CPAnimEffect"; }
    int GetObjectSize() const override { return sizeof(*this); }
    void Update(float dt) override;
    void Apply(const CPVertex* source, CPVertex* destination, int count) override;
    CPRefPtr<CPVertexEffect> Clone() const override;

    int columns, rows;
    float fps;
    float time = 0.0f;
    std::vector<float> frameU, frameV;
    float cellWidth, cellHeight;
    int currentFrame = 0;
    int frameCount;
};

// The effect a description names ("environment", "fade", "movingtex", "flick", "anim", any case)
// with its arguments, or null when the kind is unknown, the count is not exactly the kind's, an
// argument is not a number, or the values give no valid effect (scale 0, a sheet without cells,
// negative frames per second).
CPRefPtr<CPVertexEffect> CreateVertexEffect(const std::string& kind, const std::vector<std::string>& arguments);
