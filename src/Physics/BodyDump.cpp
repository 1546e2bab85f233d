#include "Physics/BodyDump.h"

#include "Physics/ConvexHull.h"
#include "Physics/Quaternion.h"
#include "Physics/Simulator.h"

#include <cstdio>

namespace Physics {

namespace {

void AppendRigid(std::string& out, const char* kind, const RigidBody& b) {
    char line[256];
    const Vector4& x = b.GetPosition();
    const Vector4& q = b.GetOrientation();
    const Vector4& v = b.GetLinearVelocity();
    std::snprintf(line, sizeof(line),
                  "%s %d pos (%.4f, %.4f, %.4f) rot (%.4f, %.4f, %.4f, %.4f) vel (%.4f, %.4f, %.4f) %s\n", kind,
                  b.GetId(), x.x, x.y, x.z, q.x, q.y, q.z, q.w, v.x, v.y, v.z, b.IsAsleep() ? "asleep" : "awake");
    out += line;
}

// The shapes that boxes and capsules did not have get a line each under their body.
void AppendShapes(std::string& out, const Body& body) {
    for (const Geometry* g = body.GetGeometries().head; g != nullptr; g = g->next) {
        char line[256];
        const Vector4& t = g->local.row[3];
        if (g->type == kGeometrySphere) {
            std::snprintf(line, sizeof(line), "  sphere r %.4f at (%.4f, %.4f, %.4f)\n", g->Radius(), t.x, t.y, t.z);
        } else if (g->type == kGeometrySingleTriangle && g->meshVertices != nullptr) {
            const Vector4 p[3] = {Vertex(g->meshVertices, g->triangleVertex[0]),
                                  Vertex(g->meshVertices, g->triangleVertex[1]),
                                  Vertex(g->meshVertices, g->triangleVertex[2])};
            std::snprintf(line, sizeof(line),
                          "  triangle (%.4f, %.4f, %.4f) (%.4f, %.4f, %.4f) (%.4f, %.4f, %.4f) at (%.4f, %.4f, %.4f)\n",
                          p[0].x, p[0].y, p[0].z, p[1].x, p[1].y, p[1].z, p[2].x, p[2].y, p[2].z, t.x, t.y, t.z);
        } else if (g->type == kGeometryConvexHull && g->hull != nullptr) {
            std::snprintf(line, sizeof(line), "  hull faces %d vertices %d at (%.4f, %.4f, %.4f)\n", g->hull->faceCount,
                          g->hull->vertexCount, t.x, t.y, t.z);
        } else {
            continue;
        }
        out += line;
    }
}

} // namespace

std::string DumpBodies(const Simulator& simulator) {
    std::string out;
    for (const RigidBody* r = simulator.EnabledRigidBodies().head; r != nullptr; r = r->next) {
        AppendRigid(out, "rigid", *r);
        AppendShapes(out, *r);
    }
    for (const RigidBody* p = simulator.EnabledParticles().head; p != nullptr; p = p->next) {
        AppendRigid(out, "particle", *p);
        AppendShapes(out, *p);
    }
    for (const AnimatedBody* a = simulator.EnabledAnimatedBodies().head; a != nullptr; a = a->next) {
        char line[256];
        const Vector4& x = a->GetMatrix().row[3];
        std::snprintf(line, sizeof(line), "animated %d pos (%.4f, %.4f, %.4f)%s\n", a->GetId(), x.x, x.y, x.z,
                      a->IsMoved() ? " moved" : "");
        out += line;
        AppendShapes(out, *a);
    }
    const Pool<Joint>& joints = simulator.JointPool();
    for (int i = 0; i < joints.Capacity(); ++i) {
        const Joint* j = joints.At(i);
        if (j->inUse == 0) {
            continue;
        }
        const char* kind = j->kind == kJointBall ? "ball" : j->kind == kJointHinge ? "hinge" : "slider";
        char partner[32] = "world";
        if (j->bodyB != nullptr) {
            std::snprintf(partner, sizeof(partner), "%d", j->bodyB->GetId());
        }
        char line[256];
        std::snprintf(line, sizeof(line), "joint %s a %d b %s angle %.4f %s\n", kind, j->bodyA->GetId(), partner,
                      j->kind == kJointHinge ? j->signedAngle : j->angle, j->active != 0 ? "active" : "inactive");
        out += line;
    }
    return out;
}

} // namespace Physics
