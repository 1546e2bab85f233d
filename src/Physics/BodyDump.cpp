#include "Physics/BodyDump.h"

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

} // namespace

std::string DumpBodies(const Simulator& simulator) {
    std::string out;
    for (const RigidBody* r = simulator.EnabledRigidBodies().head; r != nullptr; r = r->next) {
        AppendRigid(out, "rigid", *r);
    }
    for (const RigidBody* p = simulator.EnabledParticles().head; p != nullptr; p = p->next) {
        AppendRigid(out, "particle", *p);
    }
    for (const AnimatedBody* a = simulator.EnabledAnimatedBodies().head; a != nullptr; a = a->next) {
        char line[256];
        const Vector4& x = a->GetMatrix().row[3];
        std::snprintf(line, sizeof(line), "animated %d pos (%.4f, %.4f, %.4f)%s\n", a->GetId(), x.x, x.y, x.z,
                      a->IsMoved() ? " moved" : "");
        out += line;
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
