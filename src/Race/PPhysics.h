#pragma once
// The physics task: owns the physics world during a race and writes poses back. It keeps the road
// as plain arrays, which the renderer's ground shadow decal reads.
#include <cstdint>
#include <vector>

#include "Core/PSingleton.h"
#include "Core/PTask.h"
#include "Render/ShadowDecal.h"

class CPPhysicData;

class CPPhysics : public CPTask, public CPSingleton<CPPhysics> {
public:
    CPPhysics();
    ~CPPhysics() override;
    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPhysics"; }

    // The road the decal fits to under a body: its gathered triangles over the road arrays.
    DecalGround GetDecalGround(const CPPhysicData& data) const;

    // The road in world space: four floats a vertex (x, y, z, unused) and six ints a triangle
    // (three vertex indices, then three zeros).
    std::vector<float> roadVertices;
    std::vector<int32_t> roadTriangles;
};

inline CPPhysics* GetPhysics() { return CPSingleton<CPPhysics>::Instance(); }
