#include "Physics/CollisionDrivers.h"

#include "Physics/Body.h"
#include "Physics/ConvexCollision.h"
#include "Physics/Geometry.h"
#include "Physics/MeshCollision.h"
#include "Physics/ShapeCollision.h"
#include "Physics/Simulator.h"
#include "Physics/SphereCollision.h"

namespace Physics {

namespace {

constexpr int kCandidateCapacity = 100;

bool IsSurface(int32_t type) { return type == kGeometryTriangleMesh || type == kGeometrySingleTriangle; }

// A mesh on B's side is already in world space.
Matrix4 WorldOf(const Geometry& g, const Matrix4& body, bool sideB) {
    if (sideB && g.type == kGeometryTriangleMesh) {
        return body;
    }
    return GeometryWorldTransform(g, body);
}

bool Test(ConstraintRow& row, const Geometry& a, const Matrix4& ta, const Geometry& b, const Matrix4& tb,
          const Vector4& offset, ConvexScratch* scratch) {
    CollideGeometries(row, a, WorldOf(a, ta, false), b, WorldOf(b, tb, true), offset, scratch);
    return row.found != 0;
}

} // namespace

Matrix4 GeometryWorldTransform(const Geometry& geometry, const Matrix4& body) {
    return ComposeFrames(geometry.local, body);
}

void CollideGeometries(ConstraintRow& row, const Geometry& a, const Matrix4& worldA, const Geometry& b,
                       const Matrix4& worldB, const Vector4& offset, ConvexScratch* scratch) {
    row.found = 0;
    bool swapped = false;
    if (a.type == kGeometryBox && b.type == kGeometryBox) {
        CollideBoxBox(row, a, worldA, b, worldB);
    } else if (a.type == kGeometryBox && b.type == kGeometryCapsule) {
        CollideBoxCapsule(row, a, worldA, b, worldB);
    } else if (a.type == kGeometryCapsule && b.type == kGeometryBox) {
        CollideBoxCapsule(row, b, worldB, a, worldA);
        swapped = true;
    } else if (a.type == kGeometryCapsule && b.type == kGeometryCapsule) {
        CollideCapsuleCapsule(row, a, worldA, b, worldB);
    } else if (a.type == kGeometryBox && b.type == kGeometryTriangleMesh) {
        CollideBoxMesh(row, a, worldA, b);
    } else if (a.type == kGeometryCapsule && b.type == kGeometryTriangleMesh) {
        CollideCapsuleMesh(row, a, worldA, b);
    } else if (a.type == kGeometryBox && b.type == kGeometrySphere) {
        CollideBoxSphere(row, a, worldA, b, worldB);
    } else if (a.type == kGeometrySphere && b.type == kGeometryBox) {
        CollideBoxSphere(row, b, worldB, a, worldA);
        swapped = true;
    } else if (a.type == kGeometrySphere && b.type == kGeometrySphere) {
        CollideSphereSphere(row, a, worldA, b, worldB);
    } else if (a.type == kGeometryCapsule && b.type == kGeometrySphere) {
        CollideCapsuleSphere(row, a, worldA, b, worldB);
    } else if (a.type == kGeometrySphere && b.type == kGeometryCapsule) {
        CollideCapsuleSphere(row, b, worldB, a, worldA);
        swapped = true;
    } else if (a.type == kGeometrySphere && b.type == kGeometryTriangleMesh) {
        CollideSphereMesh(row, a, worldA, b);
    } else if (a.type == kGeometryBox && b.type == kGeometrySingleTriangle) {
        CollideBoxSingleTriangle(row, a, worldA, b, worldB);
    } else if (b.type == kGeometryConvexHull && (a.type == kGeometryBox || a.type == kGeometryConvexHull)) {
        ConvexScratch own;
        CollideConvexPair(row, a, worldA, b, worldB, offset, scratch != nullptr ? *scratch : own);
    } else if (a.type == kGeometryConvexHull && b.type == kGeometryBox) {
        ConvexScratch own;
        CollideConvexPair(row, b, worldB, a, worldA, -offset, scratch != nullptr ? *scratch : own);
        swapped = true;
    } else if (a.type == kGeometryConvexHull && b.type == kGeometryTriangleMesh) {
        ConvexScratch own;
        CollideConvexMesh(row, a, worldA, b, scratch != nullptr ? *scratch : own);
    }
    // Every other pair has no test and yields no contact: a single triangle as the first shape
    // or against anything but a box, spheres against triangles and hulls, capsules against hulls.
    if (swapped && row.found != 0) {
        row.normal = -row.normal;
        const Vector4 pointA = row.worldPointA;
        row.worldPointA = row.worldPointB;
        row.worldPointB = pointA;
    }
    row.geometryA = const_cast<Geometry*>(&a);
    row.geometryB = const_cast<Geometry*>(&b);
}

void CollideGeometryLists(ConstraintRow& row, const Body& a, const Matrix4& transformA, const Body& b,
                          const Matrix4& transformB, const Vector4& offset) {
    row.found = 0;
    ConvexScratch* scratch = a.simulator != nullptr ? &a.simulator->GetConvexScratch() : nullptr;
    const int countA = a.geometries.count;
    const int countB = b.geometries.count;
    if (countA == 0 || countB == 0) {
        return;
    }
    const Geometry* geometryA = nullptr;
    const Geometry* geometryB = nullptr;
    if (countA == 1 && countB == 1) {
        geometryA = a.geometries.head;
        geometryB = b.geometries.head;
        if (!Test(row, *geometryA, transformA, *geometryB, transformB, offset, scratch)) {
            return;
        }
    } else {
        if (!Test(row, a.header, transformA, b.header, transformB, offset, scratch)) {
            row.found = 0;
            return;
        }
        ConstraintRow candidate = row;
        ConstraintRow best = row;
        float bestDepth = 0.0f;
        auto consider = [&](const Geometry* ga, const Geometry* gb) {
            if (Test(candidate, *ga, transformA, *gb, transformB, offset, scratch) && candidate.depth > bestDepth) {
                best = candidate;
                bestDepth = candidate.depth;
                geometryA = ga;
                geometryB = gb;
            }
        };
        if (countA == 1) {
            for (const Geometry* gb = b.geometries.head; gb != nullptr; gb = gb->next) {
                consider(a.geometries.head, gb);
            }
        } else if (countB == 1) {
            for (const Geometry* ga = a.geometries.head; ga != nullptr; ga = ga->next) {
                consider(ga, b.geometries.head);
            }
        } else {
            // Only geometries that reach into the other body's header box are paired.
            const Geometry* listA[kCandidateCapacity];
            const Geometry* listB[kCandidateCapacity];
            int nA = 0;
            int nB = 0;
            for (const Geometry* ga = a.geometries.head; ga != nullptr && nA < kCandidateCapacity; ga = ga->next) {
                if (Test(candidate, *ga, transformA, b.header, transformB, offset, scratch)) {
                    listA[nA++] = ga;
                }
            }
            for (const Geometry* gb = b.geometries.head; gb != nullptr && nB < kCandidateCapacity; gb = gb->next) {
                if (Test(candidate, a.header, transformA, *gb, transformB, offset, scratch)) {
                    listB[nB++] = gb;
                }
            }
            for (int i = 0; i < nA; ++i) {
                for (int j = 0; j < nB; ++j) {
                    consider(listA[i], listB[j]);
                }
            }
        }
        if (geometryA == nullptr) {
            row.found = 0;
            return;
        }
        row = best;
    }

    row.geometryA = const_cast<Geometry*>(geometryA);
    row.geometryB = const_cast<Geometry*>(geometryB);
    const Vector4 positionA = transformA.row[3];
    const Vector4 positionB = transformB.row[3];
    row.offsetA = row.worldPointA - positionA;
    row.offsetB = row.worldPointB - positionB;
    row.offsetA.w = row.offsetB.w = 0.0f;
    for (int i = 0; i < 3; ++i) {
        row.localPointA[i] = Dot(row.offsetA, transformA.row[i]);
        row.localPointB[i] = Dot(row.offsetB, transformB.row[i]);
    }
    row.localPointA.w = row.localPointB.w = 0.0f;
    row.materialA = geometryA->material;
    // A surface test has already stored the triangle's material.
    if (!IsSurface(b.header.type) && !IsSurface(geometryB->type)) {
        row.materialB = geometryB->material;
    }
}

} // namespace Physics
