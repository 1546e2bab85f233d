// The static-world pass: every awake body against the level's triangles near its world box.
#include "Physics/Simulator.h"

#include "Physics/CollisionDrivers.h"
#include "Physics/SensorCast.h"

#include <cmath>
#include <cstring>

namespace Physics {

namespace {

// The triangles to test, as read from a supplier's arrays. Indexes outside the table, and
// triangles naming a vertex outside the vertex array (when its length is known, vertexCount >= 0;
// a negative vertex index always), are left out, so nothing later reads past the supplier's
// arrays. unique drops indexes already gathered. Stops when the list cannot grow, keeping what
// it has.
void GatherTriangles(WorkArray<int32_t>& list, const int32_t* indexes, int32_t count, const CollisionTriangle* table,
                     int32_t tableCount, const float* vertices, int32_t vertexCount, bool unique) {
    if (indexes == nullptr || table == nullptr || vertices == nullptr) {
        return;
    }
    for (int32_t k = 0; k < count; ++k) {
        const int32_t index = indexes[k];
        if (index < 0 || index >= tableCount) {
            continue;
        }
        const CollisionTriangle& t = table[index];
        const int32_t v0 = t.vertex[0];
        const int32_t v1 = t.vertex[1];
        const int32_t v2 = t.vertex[2];
        if (v0 < 0 || v1 < 0 || v2 < 0) {
            continue;
        }
        if (vertexCount >= 0 && (v0 >= vertexCount || v1 >= vertexCount || v2 >= vertexCount)) {
            continue;
        }
        if (unique) {
            bool seen = false;
            for (int i = 0; i < list.Size() && !seen; ++i) {
                seen = list[i] == index;
            }
            if (seen) {
                continue;
            }
        }
        if (!list.Append(index)) {
            return;
        }
    }
}

// One ray's box, widened by more than rounding; a triangle whose box lies clear of it cannot meet
// the ray.
void RayBox(const RayRecord& ray, float lo[3], float hi[3]) {
    for (int a = 0; a < 3; ++a) {
        const float from = ray.origin[a];
        const float to = ray.origin[a] + ray.direction[a];
        const float margin = 1e-4f * (1.0f + std::fmax(std::fabs(from), std::fabs(to)));
        lo[a] = std::fmin(from, to) - margin;
        hi[a] = std::fmax(from, to) + margin;
    }
}

bool ClearOf(const PreparedTriangle& p, const float lo[3], const float hi[3]) {
    return p.hi[0] < lo[0] || p.lo[0] > hi[0] || p.hi[1] < lo[1] || p.lo[1] > hi[1] || p.hi[2] < lo[2] ||
           p.lo[2] > hi[2];
}

// The sensor's ray in world space, as casting it at the world mesh (identity transform) makes it.
void WorldRay(RayRecord& ray, const Sensor& s, const Matrix3& r, const Matrix4& transform) {
    const Matrix4 identity = Matrix4::Identity();
    Vector4 origin = s.origin * r + transform.row[3];
    origin.w = 0.0f;
    const Vector4 direction = s.direction * r;
    const Vector4 rel = origin - identity.row[3];
    for (int i = 0; i < 3; ++i) {
        ray.origin[i] = Dot(rel, identity.row[i]);
        ray.direction[i] = Dot(direction, identity.row[i]);
    }
    ray.length = s.length;
}

// A body's rays against the fetched triangles, prepared once for all of them: what casting the
// sensors at the world mesh gives (identity transform, nearest hit kept, hit body the world
// body), without repeating each triangle's frame for every ray. A triangle whose box lies clear
// of a ray's box by more than rounding can give it no hit and is passed over. Triangles clear of
// the box around all rays' boxes are dropped once for all rays (candidates, kept in list order so
// ties between triangles resolve as before); without room for the list every ray sees them all.
void CastSensorsAtTriangles(const IntrusiveList<Sensor>& sensors, const Matrix4& transform,
                            const WorkArray<const PreparedTriangle*>& triangles, WorkArray<int32_t>& candidates,
                            Body* hitBody) {
    const Matrix3 r = transform.Rotation();
    const Matrix4 identity = Matrix4::Identity();

    // A NaN bound rejects nothing for its ray, so it must not narrow the shared box either.
    float allLo[3] = {0.0f, 0.0f, 0.0f};
    float allHi[3] = {0.0f, 0.0f, 0.0f};
    bool filter = candidates.Capacity() > 0;
    bool first = true;
    // The first rays' working copies are kept for the second loop rather than built again.
    constexpr int kKept = 64;
    struct Kept {
        float origin[3];
        float direction[3];
        float lo[3];
        float hi[3];
    };
    Kept kept[kKept]; // plain floats: nothing to clear on every call
    int keptCount = 0;
    for (Sensor* s = sensors.head; s != nullptr && filter; s = s->next) {
        RayRecord ray;
        WorldRay(ray, *s, r, transform);
        float lo[3];
        float hi[3];
        RayBox(ray, lo, hi);
        if (keptCount < kKept) {
            Kept& k = kept[keptCount++];
            for (int a = 0; a < 3; ++a) {
                k.origin[a] = ray.origin[a];
                k.direction[a] = ray.direction[a];
                k.lo[a] = lo[a];
                k.hi[a] = hi[a];
            }
        }
        for (int a = 0; a < 3; ++a) {
            if (std::isnan(lo[a]) || std::isnan(hi[a])) {
                filter = false;
            }
            allLo[a] = first || lo[a] < allLo[a] ? lo[a] : allLo[a];
            allHi[a] = first || hi[a] > allHi[a] ? hi[a] : allHi[a];
        }
        first = false;
    }
    candidates.Clear();
    if (filter) {
        for (int k = 0; k < triangles.Size() && filter; ++k) {
            if (!ClearOf(*triangles[k], allLo, allHi)) {
                filter = candidates.Append(k);
            }
        }
    }
    const int count = filter ? candidates.Size() : triangles.Size();

    int index = 0;
    for (Sensor* s = sensors.head; s != nullptr; s = s->next, ++index) {
        RayRecord ray;
        float lo[3];
        float hi[3];
        if (index < keptCount) {
            const Kept& k = kept[index];
            ray.origin = {k.origin[0], k.origin[1], k.origin[2], 0.0f};
            ray.direction = {k.direction[0], k.direction[1], k.direction[2], 0.0f};
            ray.length = s->length;
            for (int a = 0; a < 3; ++a) {
                lo[a] = k.lo[a];
                hi[a] = k.hi[a];
            }
        } else {
            WorldRay(ray, *s, r, transform);
            RayBox(ray, lo, hi);
        }
        for (int c = 0; c < count; ++c) {
            const PreparedTriangle& p = *triangles[filter ? candidates[c] : c];
            if (ClearOf(p, lo, hi)) {
                continue;
            }
            float t = 0.0f;
            float denominator = 0.0f;
            Vector4 point;
            if (!RayMeetsTriangle(p.frame, ray.origin, ray.direction, t, point, denominator)) {
                continue;
            }
            const float depth = (1.0f - t) * ray.length;
            if (depth > ray.hitDepth) {
                ray.hitDepth = depth;
                ray.hitPoint = point;
                ray.hitNormal = denominator <= 0.0f ? p.frame.n : -p.frame.n;
                ray.hitMaterial = p.frame.material;
            }
        }
        if (ray.hitDepth > 0.0f && ray.hitDepth > s->hitDepth) {
            s->hitDepth = ray.hitDepth;
            s->hitMaterial = ray.hitMaterial;
            s->hitNormal = ray.hitNormal;
            s->hitPoint = TransformPoint(ray.hitPoint, identity);
            s->hitPoint.w = 0.0f;
            s->hitBody = hitBody;
        }
    }
}

} // namespace

bool Simulator::PrepareTriangles(const Geometry& mesh) {
    if (staticTriangles_.Capacity() == 0 && !staticTriangles_.Init(allocator_, 200, 200)) {
        return false;
    }
    if (staticTriangleList_.Capacity() == 0 && !staticTriangleList_.Init(allocator_, 200, 200)) {
        return false;
    }
    staticTriangles_.Clear();
    staticTriangleList_.Clear();
    constexpr int kSlots = 1 << kTriangleCacheBits;
    if (triangleCache_.Capacity() == 0 && triangleCache_.Init(allocator_, kSlots, 0)) {
        CachedTriangle empty{};
        empty.index = -1;
        for (int i = 0; i < kSlots; ++i) {
            triangleCache_.Append(empty);
        }
    }
    const bool cached = triangleCache_.Size() == kSlots;
    // Slots serving this list are not overwritten while it is built; a triangle whose slot is
    // taken by another one of the list is kept in staticTriangles_ instead.
    const uint32_t stamp = ++triangleStamp_;
    // The checks of MeshTriangle, made here once for the whole list.
    if (mesh.meshTriangles == nullptr || mesh.meshVertices == nullptr) {
        return true;
    }
    const float* vertices = mesh.meshVertices;
    bool anyKept = false;
    for (int32_t k = 0; k < mesh.meshIndexCount; ++k) {
        const int32_t index = mesh.meshIndexes[k];
        if (index < 0 || index >= mesh.meshTriangleCount) {
            continue;
        }
        const CollisionTriangle* t = &mesh.meshTriangles[index];
        if (t->vertex[0] < 0 || t->vertex[1] < 0 || t->vertex[2] < 0) {
            continue;
        }
        const float* v0 = vertices + 4 * static_cast<std::ptrdiff_t>(t->vertex[0]);
        const float* v1 = vertices + 4 * static_cast<std::ptrdiff_t>(t->vertex[1]);
        const float* v2 = vertices + 4 * static_cast<std::ptrdiff_t>(t->vertex[2]);
        const float vertex[9] = {v0[0], v0[1], v0[2], v1[0], v1[1], v1[2], v2[0], v2[1], v2[2]};
        CachedTriangle* slot = nullptr;
        if (cached) {
            const uint32_t hash = static_cast<uint32_t>(index) * 2654435761u;
            slot = &triangleCache_[static_cast<int>(hash >> (32 - kTriangleCacheBits))];
            // Bitwise, so that -0 and NaN payloads count as inputs too.
            if (slot->index == index && slot->material == t->material && slot->testMode == t->testMode &&
                std::memcmp(slot->vertex, vertex, sizeof(vertex)) == 0) {
                slot->stamp = stamp;
                if (!staticTriangleList_.Append(&slot->prepared)) {
                    return false;
                }
                continue;
            }
            if (slot->stamp == stamp) {
                slot = nullptr;
            }
        }
        TriangleFrame frame;
        if (!frame.Build(mesh, index)) {
            continue;
        }
        PreparedTriangle prepared;
        prepared.Prepare(frame);
        if (slot != nullptr) {
            slot->index = index;
            slot->material = t->material;
            slot->testMode = t->testMode;
            slot->stamp = stamp;
            std::memcpy(slot->vertex, vertex, sizeof(vertex));
            slot->prepared = prepared;
            if (!staticTriangleList_.Append(&slot->prepared)) {
                return false;
            }
            continue;
        }
        // Short of memory the tests take the plain path over the whole list. The null entry is
        // pointed at the kept copy once staticTriangles_ has stopped growing.
        if (!staticTriangles_.Append(prepared) || !staticTriangleList_.Append(nullptr)) {
            return false;
        }
        anyKept = true;
    }
    int kept = 0;
    for (int k = 0; k < staticTriangleList_.Size() && anyKept; ++k) {
        if (staticTriangleList_[k] == nullptr) {
            staticTriangleList_[k] = &staticTriangles_[kept++];
        }
    }
    return true;
}

void Simulator::CollideStaticWorld() {
    // The world body carries the triangles as its one geometry, which is its header.
    Geometry& mesh = worldBody_.header;
    mesh.local = Matrix4::Identity();
    mesh.type = kGeometryTriangleMesh;
    mesh.next = nullptr;
    mesh.prev = nullptr;
    worldBody_.geometries.head = &mesh;
    worldBody_.geometries.tail = &mesh;
    worldBody_.geometries.count = 1;
    const Matrix4 identity = Matrix4::Identity();

    // With no callback and nothing in the tree no body can find a triangle: the pass is skipped.
    const TriangleTree& staticTree = broadphase_.GetTriangleTree();
    const bool anyStatic =
        triangleQueryCallback_ != nullptr || !staticTree.root.triangles.empty() || !staticTree.nodes.empty();
    for (TickList& list : ticking_) {
        if (!anyStatic) {
            break;
        }
        // Bodies appended during the pass are visited too.
        for (RigidBody* body = list.head; body != nullptr; body = body->tickNext) {
            if (body->IsAsleep() && body->pushedLastTick == 0) {
                continue;
            }
            const Vector4 offset = -body->WorldPosition();
            staticLeaves_.Clear();
            staticTriangleIndexes_.Clear();

            if (triangleQueryCallback_ != nullptr) {
                int32_t* indexes = nullptr;
                CollisionTriangle* table = nullptr;
                float* vertices = nullptr;
                int32_t indexCount = 0;
                int32_t triangleCount = 0;
                triangleQueryCallback_(body->worldMin, body->worldMax, &indexes, &table, &vertices, &indexCount,
                                       &triangleCount, body);
                GatherTriangles(staticTriangleIndexes_, indexes, indexCount, table, triangleCount, vertices, -1, false);
                mesh.SetMesh(staticTriangleIndexes_.Data(), staticTriangleIndexes_.Size(), table, triangleCount,
                             vertices);
            } else {
                TriangleTree& tree = broadphase_.GetTriangleTree();
                tree.Query(staticLeaves_, body->worldMin, body->worldMax, 0);
                if (staticLeaves_.Size() == 0) {
                    continue;
                }
                const auto tableCount = static_cast<int32_t>(tree.triangles.size());
                for (int i = 0; i < staticLeaves_.Size(); ++i) {
                    const std::vector<int32_t>& leaf = staticLeaves_[i]->triangles;
                    GatherTriangles(staticTriangleIndexes_, leaf.data(), static_cast<int32_t>(leaf.size()),
                                    tree.triangles.data(), tableCount, tree.vertices.data(), tree.VertexCount(), true);
                }
                mesh.SetMesh(staticTriangleIndexes_.Data(), staticTriangleIndexes_.Size(), tree.triangles.data(),
                             tableCount, tree.vertices.data());
            }

            // Each triangle is put in working form once, for the shape tests and the rays.
            const bool prepared = PrepareTriangles(mesh);
            if (prepared) {
                mesh.meshPreparedList = staticTriangleList_.Data();
                mesh.meshPreparedCount = staticTriangleList_.Size();
            }

            const Matrix4 transform = body->GetWorldTransform();
            ConstraintRow& row = pairRow_;
            row.relativeVelocity = Vector4();
            CollideGeometryLists(row, *body, transform, worldBody_, identity, offset);

            // Rays see the road even where the group value makes no contact.
            if (body->sensors.count > 0) {
                if (prepared) {
                    if (rayCandidates_.Capacity() == 0) {
                        rayCandidates_.Init(allocator_, 200, 200);
                    }
                    CastSensorsAtTriangles(body->sensors, transform, staticTriangleList_, rayCandidates_, &worldBody_);
                } else {
                    CastSensors(body->sensors, transform, worldBody_, identity, &worldBody_);
                }
            }

            if (row.found != 0) {
                row.type = kCollisionContact;
                row.bodyA = body;
                row.bodyB = &worldBody_;
                const int32_t value = groups_.Get(body->group, -1);
                // A contact without a usable direction or depth is reported but never solved.
                if ((value & CollisionGroupMatrix::kCollide) != 0 && IsUsableNormal(row.normal) &&
                    std::isfinite(row.depth)) {
                    HandleContact(body, &worldBody_, row);
                }
                if ((value & CollisionGroupMatrix::kReport) != 0 && contactCallback_ != nullptr) {
                    FillReport(pairReport_, body, &worldBody_, 1, 0, row);
                    pairReport_.geometryB = nullptr;
                    contactCallback_(&pairReport_);
                }
            }
            // The supplier's arrays are only lent for this body.
            mesh.SetMesh(nullptr, 0, nullptr, 0, nullptr);
        }
    }

    for (TickList& list : ticking_) {
        for (RigidBody* r = list.head; r != nullptr; r = r->tickNext) {
            r->pushedLastTick = r->pushedThisTick;
            r->pushedThisTick = 0;
        }
    }
}

} // namespace Physics
