#include "Physics/SensorCast.h"

#include "Physics/Body.h"
#include "Physics/CollisionDrivers.h"
#include "Physics/Geometry.h"

#include <cmath>

namespace Physics {

namespace {

void CastRayBox(RayRecord& ray, const Geometry& g, const Matrix4& w) {
    const Vector4& o = ray.origin;
    const Vector4& d = ray.direction;
    float tmin = -1000000.0f;
    float tmax = 1000000.0f;
    int hitAxis = -1;
    for (int i = 0; i < 3; ++i) {
        const float h = g.param[i];
        if (std::fabs(d[i]) < 1e-6f) {
            if (o[i] < -h || o[i] > h) {
                return;
            }
            continue;
        }
        float t1 = (-h - o[i]) / d[i];
        float t2 = (h - o[i]) / d[i];
        if (t1 > t2) {
            const float t = t1;
            t1 = t2;
            t2 = t;
        }
        if (t1 > tmin) {
            tmin = t1;
            hitAxis = i;
        }
        if (t2 < tmax) {
            tmax = t2;
        }
        if (tmax < tmin || tmax < 0.0f) {
            return;
        }
    }
    if (!(tmin <= 1.0f) || hitAxis < 0) {
        return;
    }
    const Vector4 p = o + d * tmin;
    const float sq = LengthSquared(o + d - p);
    ray.hitDepth = sq < 1e-6f ? 0.0f : std::sqrt(sq);
    ray.hitPoint = p;
    Vector4 n = w.row[hitAxis];
    n.w = 0.0f;
    ray.hitNormal = d[hitAxis] >= 0.0f ? -n : n;
    ray.hitMaterial = g.material;
}

void CastRayMesh(RayRecord& ray, const Geometry& g) {
    if (g.meshIndexes == nullptr || g.meshTriangles == nullptr || g.meshVertices == nullptr) {
        return;
    }
    const Vector4& o = ray.origin;
    const Vector4& d = ray.direction;
    for (int32_t k = 0; k < g.meshIndexCount; ++k) {
        const int32_t index = g.meshIndexes[k];
        if (index < 0 || index >= g.meshTriangleCount) {
            continue;
        }
        const CollisionTriangle& tri = g.meshTriangles[index];
        const Vector4 p0 = Vertex(g.meshVertices, tri.vertex[0]);
        const Vector4 p1 = Vertex(g.meshVertices, tri.vertex[1]);
        const Vector4 p2 = Vertex(g.meshVertices, tri.vertex[2]);
        const Vector4 e0 = p1 - p0;
        const Vector4 e1 = p2 - p1;
        const Vector4 e2 = p0 - p2;
        const Vector4 n = Normalize(Cross(e0, e1));
        const float denominator = Dot(d, n);
        const float t = (Dot(p0, n) - Dot(o, n)) / denominator;
        if (!(t >= 0.0f && t <= 1.0f)) {
            continue;
        }
        const Vector4 p = o + d * t;
        const bool inside = Dot(Cross(p2 - p0, e0), Cross(p - p0, e0)) >= 0.0f &&
                            Dot(Cross(p0 - p1, e1), Cross(p - p1, e1)) >= 0.0f &&
                            Dot(Cross(p1 - p2, e2), Cross(p - p2, e2)) >= 0.0f;
        if (!inside) {
            continue;
        }
        const float depth = (1.0f - t) * ray.length;
        if (depth > ray.hitDepth) {
            ray.hitDepth = depth;
            ray.hitPoint = p;
            ray.hitNormal = denominator <= 0.0f ? n : -n;
            ray.hitMaterial = tri.material;
        }
    }
}

void CastOne(Sensor& sensor, const Vector4& origin, const Vector4& direction, const Geometry& g, const Matrix4& w,
             Body* hitBody) {
    RayRecord ray;
    const Vector4 rel = origin - w.row[3];
    for (int i = 0; i < 3; ++i) {
        ray.origin[i] = Dot(rel, w.row[i]);
        ray.direction[i] = Dot(direction, w.row[i]);
    }
    ray.length = sensor.length;
    ray.hitNormal = sensor.hitNormal;
    ray.hitPoint = sensor.hitPoint;
    ray.hitMaterial = sensor.hitMaterial;
    CastRay(ray, g, w);
    if (ray.hitDepth > 0.0f && ray.hitDepth > sensor.hitDepth) {
        sensor.hitDepth = ray.hitDepth;
        sensor.hitMaterial = ray.hitMaterial;
        sensor.hitNormal = ray.hitNormal;
        sensor.hitPoint = TransformPoint(ray.hitPoint, w);
        sensor.hitPoint.w = 0.0f;
        sensor.hitBody = hitBody;
    }
}

} // namespace

void CastRay(RayRecord& ray, const Geometry& geometry, const Matrix4& world) {
    if (geometry.type == kGeometryBox) {
        CastRayBox(ray, geometry, world);
    } else if (geometry.type == kGeometryTriangleMesh) {
        CastRayMesh(ray, geometry);
    }
}

void CastSensors(const IntrusiveList<Sensor>& sensors, const Matrix4& sensorTransform, const Body& other,
                 const Matrix4& otherTransform, Body* hitBody) {
    const Matrix3 r = sensorTransform.Rotation();
    for (Sensor* s = sensors.head; s != nullptr; s = s->next) {
        Vector4 origin = s->origin * r + sensorTransform.row[3];
        origin.w = 0.0f;
        const Vector4 direction = s->direction * r;
        if (other.geometries.count == 1) {
            const Geometry* only = other.geometries.head;
            // A lone mesh is the static world, already in world space; any other lone shape is
            // met through the header box around it.
            if (only->type == kGeometryTriangleMesh) {
                CastOne(*s, origin, direction, *only, otherTransform, hitBody);
            } else {
                CastOne(*s, origin, direction, other.header, GeometryWorldTransform(other.header, otherTransform),
                        hitBody);
            }
            continue;
        }
        for (const Geometry* g = other.geometries.head; g != nullptr; g = g->next) {
            const Matrix4 w =
                g->type == kGeometryTriangleMesh ? otherTransform : GeometryWorldTransform(*g, otherTransform);
            CastOne(*s, origin, direction, *g, w, hitBody);
        }
    }
}

} // namespace Physics
