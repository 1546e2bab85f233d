#pragma once
// The clouds of the sky: fields of clouds that the wind moves inside a square that wraps around,
// each cloud a cluster of camera-facing puffs cut from a 4 x 4 atlas, all filed by view depth into
// one VolumeCloud that draws them in one call. Clouds fade out at the border of the square and in
// again on the far side; whole fields fade when the sky changes its cloud state.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DynamicSky/VertexObject.h"

class SkyFile;

struct CloudPuff {
    Vec3 offset;
    int column = 0, row = 0;
    float turn = 0.0f;
    Vec3 bend{0, 0, 1};
    float halfWidth = 0.0f, halfHeight = 0.0f;
    uint32_t colors[4] = {};
};

class VolumeCloud : public VertexObject {
public:
    // At most this many quads a frame (the vertex buffer's 20000 vertices); the nearest are kept.
    static constexpr int kMaxQuads = kMaxVertices / 4;

    // Loads "data\textures\cloud.tga" and "data\effects\volume_cloud.fx".
    VolumeCloud();
    void Clear() { quads_.clear(); }
    // Files one quad under its view depth.
    void AddQuad(float key, const CPVertex corners[4]);
    // Builds the lists nearest first and draws them in one call.
    void Render(float time);
    size_t GetQuadCount() const { return quads_.size(); }

private:
    struct Quad {
        float key;
        size_t order;
        CPVertex corners[4];
    };
    std::vector<Quad> quads_;
    std::vector<CPVertex> vertexList_;
    std::vector<CPIndex> indexList_;
    bool reportedCut_ = false;
};

class Cloud {
public:
    // The cloud file in "Data\Clouds\": points and offsets scaled by s, then turned about z by t.
    bool Load(const std::string& file, float scale, float turn);
    bool Load(SkyFile& file, float scale, float turn);
    void UpdateFade(float time, VolumeCloud& volume);
    void BuildQuads(VolumeCloud& volume);
    uint32_t CornerColor(const Vec3& corner, const Vec3& normal) const;

    // Fades as the field sets them.
    void StartFadeOut(bool reset);
    void StartFadeIn(bool reset);

    std::vector<CloudPuff> puffs;
    float centreThreshold = 0.0f; // A
    float rimThreshold = 255.0f;  // B
    bool fadingOut = false, fadingIn = false, busy = false, fieldFade = false;
    float centreRamp = 20.0f, rimRamp = 20.0f;
    float shadeFactor = 128.0f;
    float shade[5] = {128, 128, 128, 128, 128}; // at +2H, +H, 0, -H, -2H
    float halfHeight = 0.0f;                    // H
    float radius = 0.0f;                        // R
    Vec3 position, basePosition;
    float scale = 1.0f, turn = 0.0f;

private:
    float Shade(float h) const;
};

class CloudField {
public:
    bool Load(const std::string& file);
    bool Load(SkyFile& file);
    void Update(float time, VolumeCloud& volume);
    void SetFading(bool fadeIn, bool reset);
    // Puts every cloud back at its base position plus the field's offset.
    void ResetPositions();

    std::vector<std::pair<std::unique_ptr<Cloud>, float>> clouds;
    Vec3 offset;
    float windFactor = 0.0f;
    int wrap = 0;
    Vec3 wrapCentre;
    float wrapHalfSize = 0.0f;
    bool fadingIn = false, fadingOut = false, finished = false;
};
