#include "Race/PPhysics.h"

#include "Race/PPhysicData.h"

CPPhysics::CPPhysics() = default;

CPPhysics::~CPPhysics() = default;

DecalGround CPPhysics::GetDecalGround(const CPPhysicData& data) const {
    DecalGround ground;
    ground.triangles = data.gathered;
    ground.triangleCount = data.gatheredCount;
    ground.vertices = roadVertices.data();
    ground.vertexCount = static_cast<int>(roadVertices.size() / 4);
    ground.table = roadTriangles.data();
    ground.tableCount = static_cast<int>(roadTriangles.size() / 6);
    return ground;
}
