// The scenes of joints, spheres, hulls and mixed masses, on this engine and the peer: one line per
// scene with the keys of the other scenes, plus the joint accuracy of both engines where a scene
// has joints. Penetration here is against the ground only; bodies may overlap each other unseen.
#include "JointShapeBench.h"

#include "BenchRuns.h"

#include "Physics/Physics.h"

#include <btBulletDynamicsCommon.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr float kDt = 1.0f / 150.0f;
constexpr float kPi = 3.14159265f;

using V3 = std::array<float, 3>;

V3 Add(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 Sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 Scale(const V3& a, float s) { return {a[0] * s, a[1] * s, a[2] * s}; }
float Dot3(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 Cross3(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
float Len(const V3& a) { return std::sqrt(Dot3(a, a)); }
V3 Unit(const V3& a) { return Scale(a, 1.0f / Len(a)); }

// A pose: position and rotation rows (row i = body axis i in the world, points map as p · R + x).
struct Pose {
    V3 x{};
    V3 r[3]{};
    V3 ToWorld(const V3& local) const {
        return {x[0] + local[0] * r[0][0] + local[1] * r[1][0] + local[2] * r[2][0],
                x[1] + local[0] * r[0][1] + local[1] * r[1][1] + local[2] * r[2][1],
                x[2] + local[0] * r[0][2] + local[1] * r[1][2] + local[2] * r[2][2]};
    }
    V3 DirToWorld(const V3& d) const { return Sub(ToWorld(d), x); }
    V3 ToLocal(const V3& p) const {
        const V3 d = Sub(p, x);
        return {Dot3(d, r[0]), Dot3(d, r[1]), Dot3(d, r[2])};
    }
    V3 DirToLocal(const V3& d) const { return {Dot3(d, r[0]), Dot3(d, r[1]), Dot3(d, r[2])}; }
};

Pose PoseOf(const V3& x, const V3& axis, float angle) {
    const V3 n = Unit(axis);
    const Physics::Vector4 q{n[0] * std::sin(angle * 0.5f), n[1] * std::sin(angle * 0.5f),
                             n[2] * std::sin(angle * 0.5f), std::cos(angle * 0.5f)};
    const Physics::Matrix3 m = Physics::QuatToRows(q);
    Pose p;
    p.x = x;
    for (int i = 0; i < 3; ++i) {
        p.r[i] = {m.row[i].x, m.row[i].y, m.row[i].z};
    }
    return p;
}

Physics::Vector4 QuatOf(const Pose& p) {
    Physics::Matrix3 m;
    for (int i = 0; i < 3; ++i) {
        m.row[i] = {p.r[i][0], p.r[i][1], p.r[i][2], 0.0f};
    }
    return Physics::RowsToQuat(m);
}

enum class Shape { Box, Capsule, Sphere, Hull };

struct BodySpec {
    Shape shape;
    V3 size;                // box half extents; capsule (radius, half length); sphere (radius)
    std::vector<V3> points; // hull
    float mass;
    V3 inertia;
    Pose pose;
};

// What both engines keep of a joint, to measure it from the body poses alike.
struct JointSpec {
    int a;
    int b;               // -1: the world
    V3 anchorA, anchorB; // in each body's frame (the world's for b = -1)
    V3 axisA, axisB;     // hinge axis, or the cone's twist axis
    V3 refA, refB;       // hinge reference, perpendicular to the axis
    bool hinge;
    float lower, upper; // hinge bounds; cone: upper is the cone angle (< 0: none)
};

struct Ground {
    bool mesh = false; // false: a box floor with its top at z = 0
    std::vector<float> vertices;
    std::vector<Physics::CollisionTriangle> triangles;
    std::vector<int32_t> all; // every triangle index (small meshes)
    int gridX = 0, gridY = 0;
    float cell = 1.0f, originX = 0.0f, originY = 0.0f;
    std::vector<int32_t> gathered;

    float Height(float x, float y) const {
        if (!mesh || gridX == 0) {
            return 0.0f;
        }
        return 0.3f * std::sin(0.15f * x) * std::cos(0.12f * y) + 0.1f * std::sin(0.5f * x + 0.3f * y);
    }
    void MakeTerrain(int nx, int ny, float c) {
        mesh = true;
        gridX = nx;
        gridY = ny;
        cell = c;
        originX = -0.5f * nx * c;
        originY = -0.5f * ny * c;
        for (int j = 0; j <= ny; ++j) {
            for (int i = 0; i <= nx; ++i) {
                const float x = originX + i * c;
                const float y = originY + j * c;
                vertices.insert(vertices.end(), {x, y, Height(x, y), 1.0f});
            }
        }
        auto v = [nx](int i, int j) { return j * (nx + 1) + i; };
        for (int j = 0; j < ny; ++j) {
            for (int i = 0; i < nx; ++i) {
                triangles.push_back({{v(i, j), v(i + 1, j), v(i + 1, j + 1)}, 0, 0, 0});
                triangles.push_back({{v(i, j), v(i + 1, j + 1), v(i, j + 1)}, 0, 0, 0});
            }
        }
    }
    void MakeFlat(float half) {
        mesh = true;
        vertices = {-half, -half, 0, 1, half, -half, 0, 1, half, half, 0, 1, -half, half, 0, 1};
        triangles = {{{0, 1, 2}, 0, 0, 0}, {{0, 2, 3}, 0, 0, 0}};
        all = {0, 1};
    }
    // The triangles under a box: the grid cells it covers, or every triangle.
    int32_t Query(const Physics::Vector4& lo, const Physics::Vector4& hi, int32_t** indexes) {
        if (gridX == 0) {
            *indexes = all.data();
            return static_cast<int32_t>(all.size());
        }
        gathered.clear();
        const int i0 = std::clamp(static_cast<int>((lo.x - originX) / cell), 0, gridX - 1);
        const int i1 = std::clamp(static_cast<int>((hi.x - originX) / cell), 0, gridX - 1);
        const int j0 = std::clamp(static_cast<int>((lo.y - originY) / cell), 0, gridY - 1);
        const int j1 = std::clamp(static_cast<int>((hi.y - originY) / cell), 0, gridY - 1);
        for (int j = j0; j <= j1; ++j) {
            for (int i = i0; i <= i1; ++i) {
                const int32_t q = 2 * (j * gridX + i);
                gathered.push_back(q);
                gathered.push_back(q + 1);
            }
        }
        *indexes = gathered.data();
        return static_cast<int32_t>(gathered.size());
    }
};

Ground* g_ground = nullptr;
void QueryGround(const Physics::Vector4& lo, const Physics::Vector4& hi, int32_t** indexes,
                 Physics::CollisionTriangle** triangles, float** vertices, int32_t* indexCount, int32_t* triangleCount,
                 Physics::Body*) {
    *indexCount = g_ground->Query(lo, hi, indexes);
    *triangles = g_ground->triangles.data();
    *vertices = g_ground->vertices.data();
    *triangleCount = static_cast<int32_t>(g_ground->triangles.size());
}

struct SceneSpec {
    std::vector<BodySpec> bodies;
    std::vector<JointSpec> joints;
    std::vector<std::array<float, 6>> walls; // static boxes: centre, half extents
    Ground ground;
    bool keepAwake = false;
    bool hulls = false; // the line names the peer's hull margin
};

class World {
public:
    virtual ~World() = default;
    virtual void Build(SceneSpec& scene) = 0;
    virtual void Step() = 0;
    virtual Pose GetPose(int i) const = 0;
    virtual bool Asleep(int i) const = 0;
    virtual void KeepAwake() = 0;
};

// ---------------------------------------------------------------------------------------------
class Ours : public World {
public:
    ~Ours() override {
        Physics::DestroySimulator(sim_);
        g_ground = nullptr;
    }
    void Build(SceneSpec& s) override {
        Physics::SimulatorDesc desc{};
        const int n = static_cast<int>(s.bodies.size());
        desc.rigidBodiesCount = n;
        desc.animatedBodiesCount = 1 + static_cast<int>(s.walls.size());
        desc.constraintSetsCount = 1;
        desc.overlapPairsCount = n * 12 + 200;
        desc.geometriesCount = n + 8;
        desc.jointsCount = static_cast<int>(s.joints.size()) + 1;
        desc.jointGroupsCount = n + 1;
        desc.sensorsCount = 1;
        const Physics::Vector4 g{0.0f, 0.0f, -9.8f, 0.0f};
        sim_ = Physics::CreateSimulator(desc, nullptr, &g);
        sim_->SetMaterial(0, 0.5f, 0.0f);
        if (s.ground.mesh) {
            g_ground = &s.ground;
            sim_->SetTriangleQueryCallback(&QueryGround);
        } else {
            AddStatic({0, 0, -0.5f, 400, 400, 0.5f});
        }
        for (const auto& w : s.walls) {
            AddStatic(w);
        }
        for (const BodySpec& b : s.bodies) {
            Physics::RigidBody* r = sim_->CreateRigidBody();
            Physics::Geometry* g = r->CreateGeometry();
            switch (b.shape) {
            case Shape::Box: g->SetBox(2 * b.size[0], 2 * b.size[1], 2 * b.size[2]); break;
            case Shape::Capsule: g->SetCapsule(2 * b.size[0], 2 * b.size[1]); break;
            case Shape::Sphere: g->SetSphere(b.size[0]); break;
            case Shape::Hull: {
                std::vector<Physics::Vector4> p;
                for (const V3& q : b.points) {
                    p.push_back({q[0], q[1], q[2], 0.0f});
                }
                g->SetConvexHull(sim_->CreateConvexHull(p.data(), static_cast<int>(p.size())));
                break;
            }
            }
            r->SetMass(b.mass);
            r->SetInertia({b.inertia[0], b.inertia[1], b.inertia[2], 0.0f});
            r->UpdateBounds();
            r->SetOrientation(QuatOf(b.pose));
            r->SetPosition({b.pose.x[0], b.pose.x[1], b.pose.x[2], 0.0f});
            bodies_.push_back(r);
        }
        for (const JointSpec& j : s.joints) {
            Physics::RigidBody* a = bodies_[j.a];
            Physics::Body* b = j.b >= 0 ? bodies_[j.b] : nullptr;
            const V3 anchor = s.bodies[j.a].pose.ToWorld(j.anchorA);
            const V3 axis = s.bodies[j.a].pose.DirToWorld(j.axisA);
            const V3 ref = s.bodies[j.a].pose.DirToWorld(j.refA);
            Physics::Joint* joint = sim_->CreateJoint(j.hinge ? Physics::kJointHinge : Physics::kJointBall, a, b);
            // Hinge: y is the axis, x the reference. Ball: x is the twist axis.
            const V3 x = j.hinge ? ref : axis;
            const V3 y = j.hinge ? axis : Unit(Cross3(Cross3(axis, ref), axis));
            const V3 z = Cross3(x, y);
            Physics::Matrix4 frame;
            frame.row[0] = {x[0], x[1], x[2], 0};
            frame.row[1] = {y[0], y[1], y[2], 0};
            frame.row[2] = {z[0], z[1], z[2], 0};
            frame.row[3] = {anchor[0], anchor[1], anchor[2], 1};
            joint->SetFrames(frame);
            if (j.hinge) {
                joint->SetPoint(0,
                                {anchor[0] - 0.1f * axis[0], anchor[1] - 0.1f * axis[1], anchor[2] - 0.1f * axis[2]});
                joint->SetPoint(1,
                                {anchor[0] + 0.1f * axis[0], anchor[1] + 0.1f * axis[1], anchor[2] + 0.1f * axis[2]});
                joint->SetLimit(j.lower, j.upper);
            } else {
                joint->SetPoint(0, {anchor[0], anchor[1], anchor[2]});
                if (j.upper >= 0.0f) {
                    joint->SetLimit(0.0f, j.upper);
                    joint->SetTwist(j.lower);
                }
            }
        }
    }
    void Step() override { sim_->Step(kDt, 1, nullptr); }
    Pose GetPose(int i) const override {
        Pose p;
        const Physics::RigidBody* b = bodies_[i];
        p.x = {b->position.x, b->position.y, b->position.z};
        for (int k = 0; k < 3; ++k) {
            p.r[k] = {b->rotation.row[k].x, b->rotation.row[k].y, b->rotation.row[k].z};
        }
        return p;
    }
    bool Asleep(int i) const override { return bodies_[i]->IsAsleep(); }
    void KeepAwake() override {
        for (Physics::RigidBody* b : bodies_) {
            b->Wake();
        }
    }

private:
    void AddStatic(const std::array<float, 6>& w) {
        Physics::AnimatedBody* a = sim_->CreateAnimatedBody();
        a->CreateGeometry()->SetBox(2 * w[3], 2 * w[4], 2 * w[5]);
        a->UpdateBounds();
        a->SetPosition({w[0], w[1], w[2], 0.0f});
    }
    Physics::Simulator* sim_ = nullptr;
    std::vector<Physics::RigidBody*> bodies_;
};

// ---------------------------------------------------------------------------------------------
class Peer : public World {
public:
    Peer() : dispatcher_(&config_), world_(&dispatcher_, &broadphase_, &solver_, &config_) {
        world_.setGravity(btVector3(0.0f, 0.0f, -9.8f));
        // Only awake bodies get their boxes refitted, as ours.
        world_.setForceUpdateAllAabbs(false);
        world_.getSolverInfo().m_numIterations = 4;
        gDeactivationTime = 0.4f;
    }
    ~Peer() override {
        for (auto& c : constraints_) {
            world_.removeConstraint(c.get());
        }
        for (auto& b : all_) {
            world_.removeRigidBody(b.get());
        }
    }
    void Build(SceneSpec& s) override {
        if (s.ground.mesh) {
            mesh_ = std::make_unique<btTriangleIndexVertexArray>(
                static_cast<int>(s.ground.triangles.size()), &s.ground.triangles[0].vertex[0],
                static_cast<int>(sizeof(Physics::CollisionTriangle)), static_cast<int>(s.ground.vertices.size() / 4),
                s.ground.vertices.data(), static_cast<int>(4 * sizeof(float)));
            auto shape = std::make_unique<btBvhTriangleMeshShape>(mesh_.get(), true);
            AddStatic(std::move(shape), {0, 0, 0});
        } else {
            AddStatic(std::make_unique<btBoxShape>(btVector3(200, 200, 0.5f)), {0, 0, -0.5f});
        }
        for (const auto& w : s.walls) {
            AddStatic(std::make_unique<btBoxShape>(btVector3(w[3], w[4], w[5])), {w[0], w[1], w[2]});
        }
        for (const BodySpec& b : s.bodies) {
            std::unique_ptr<btCollisionShape> shape;
            switch (b.shape) {
            case Shape::Box: shape = std::make_unique<btBoxShape>(btVector3(b.size[0], b.size[1], b.size[2])); break;
            case Shape::Capsule: shape = std::make_unique<btCapsuleShape>(b.size[0], 2 * b.size[1]); break;
            case Shape::Sphere: shape = std::make_unique<btSphereShape>(b.size[0]); break;
            case Shape::Hull: {
                auto hull = std::make_unique<btConvexHullShape>();
                for (const V3& q : b.points) {
                    hull->addPoint(btVector3(q[0], q[1], q[2]), false);
                }
                // The peer's own collision margin is kept (its default): it pads the hull, and the
                // line says so.
                hull->recalcLocalAabb();
                shape = std::move(hull);
                break;
            }
            }
            // Row i of our rotation is body axis i: the peer's basis holds the axes as columns.
            const Pose& p = b.pose;
            btMatrix3x3 basis(p.r[0][0], p.r[1][0], p.r[2][0], p.r[0][1], p.r[1][1], p.r[2][1], p.r[0][2], p.r[1][2],
                              p.r[2][2]);
            btTransform t(basis, btVector3(p.x[0], p.x[1], p.x[2]));
            auto motion = std::make_unique<btDefaultMotionState>(t);
            btRigidBody::btRigidBodyConstructionInfo info(b.mass, motion.get(), shape.get(),
                                                          btVector3(b.inertia[0], b.inertia[1], b.inertia[2]));
            auto body = std::make_unique<btRigidBody>(info);
            body->setFriction(std::sqrt(0.5f));
            body->setRestitution(0.0f);
            body->setSleepingThresholds(1.0f, 1.0f);
            world_.addRigidBody(body.get());
            bodies_.push_back(body.get());
            all_.push_back(std::move(body));
            shapes_.push_back(std::move(shape));
            motions_.push_back(std::move(motion));
        }
        for (const JointSpec& j : s.joints) {
            btRigidBody* a = bodies_[j.a];
            btRigidBody* b = j.b >= 0 ? bodies_[j.b] : nullptr;
            const btVector3 pa(j.anchorA[0], j.anchorA[1], j.anchorA[2]);
            const btVector3 pb(j.anchorB[0], j.anchorB[1], j.anchorB[2]);
            std::unique_ptr<btTypedConstraint> c;
            if (j.hinge) {
                const btVector3 aa(j.axisA[0], j.axisA[1], j.axisA[2]);
                const btVector3 ab(j.axisB[0], j.axisB[1], j.axisB[2]);
                auto h = b != nullptr ? std::make_unique<btHingeConstraint>(*a, *b, pa, pb, aa, ab)
                                      : std::make_unique<btHingeConstraint>(*a, pa, aa);
                h->setLimit(j.lower, j.upper);
                c = std::move(h);
            } else if (j.upper >= 0.0f && b != nullptr) {
                btTransform fa = Frame(j.anchorA, j.axisA, j.refA);
                btTransform fb = Frame(j.anchorB, j.axisB, j.refB);
                auto cone = std::make_unique<btConeTwistConstraint>(*a, *b, fa, fb);
                cone->setLimit(j.upper, j.upper, j.lower);
                c = std::move(cone);
            } else {
                c = b != nullptr ? std::make_unique<btPoint2PointConstraint>(*a, *b, pa, pb)
                                 : std::make_unique<btPoint2PointConstraint>(*a, pa);
            }
            world_.addConstraint(c.get(), true);
            constraints_.push_back(std::move(c));
        }
    }
    void Step() override { world_.stepSimulation(kDt, 0, kDt); }
    Pose GetPose(int i) const override {
        const btTransform& t = bodies_[i]->getWorldTransform();
        Pose p;
        p.x = {t.getOrigin().x(), t.getOrigin().y(), t.getOrigin().z()};
        const btMatrix3x3& m = t.getBasis();
        for (int k = 0; k < 3; ++k) {
            p.r[k] = {m[0][k], m[1][k], m[2][k]};
        }
        return p;
    }
    bool Asleep(int i) const override { return bodies_[i]->getActivationState() == ISLAND_SLEEPING; }
    void KeepAwake() override {
        for (btRigidBody* b : bodies_) {
            b->setActivationState(DISABLE_DEACTIVATION);
        }
    }

private:
    static btTransform Frame(const V3& origin, const V3& x, const V3& ref) {
        const V3 z = Unit(Cross3(x, ref));
        const V3 y = Cross3(z, x);
        btMatrix3x3 basis(x[0], y[0], z[0], x[1], y[1], z[1], x[2], y[2], z[2]);
        return btTransform(basis, btVector3(origin[0], origin[1], origin[2]));
    }
    void AddStatic(std::unique_ptr<btCollisionShape> shape, const V3& at) {
        btRigidBody::btRigidBodyConstructionInfo info(0.0f, nullptr, shape.get());
        info.m_startWorldTransform.setOrigin(btVector3(at[0], at[1], at[2]));
        auto body = std::make_unique<btRigidBody>(info);
        body->setFriction(std::sqrt(0.5f));
        body->setRestitution(0.0f);
        world_.addRigidBody(body.get());
        all_.push_back(std::move(body));
        shapes_.push_back(std::move(shape));
    }

    btDefaultCollisionConfiguration config_;
    btCollisionDispatcher dispatcher_;
    btDbvtBroadphase broadphase_;
    btSequentialImpulseConstraintSolver solver_;
    btDiscreteDynamicsWorld world_;
    std::unique_ptr<btTriangleIndexVertexArray> mesh_;
    std::vector<std::unique_ptr<btCollisionShape>> shapes_;
    std::vector<std::unique_ptr<btDefaultMotionState>> motions_;
    std::vector<std::unique_ptr<btRigidBody>> all_;
    std::vector<btRigidBody*> bodies_;
    std::vector<std::unique_ptr<btTypedConstraint>> constraints_;
};

// ---------------------------------------------------------------------------------------------
V3 BoxInertiaOf(const V3& half, float mass) {
    const float x = 4 * half[0] * half[0], y = 4 * half[1] * half[1], z = 4 * half[2] * half[2];
    return {mass * (y + z) / 12, mass * (x + z) / 12, mass * (x + y) / 12};
}
V3 CapsuleInertiaOf(float radius, float halfLength, float mass) {
    const float across = mass * (3 * radius * radius + 4 * halfLength * halfLength) / 12;
    return {across, 0.5f * mass * radius * radius, across};
}

BodySpec Body(Shape shape, const V3& size, float mass, const Pose& pose) {
    BodySpec b{shape, size, {}, mass, {}, pose};
    switch (shape) {
    case Shape::Box: b.inertia = BoxInertiaOf(size, mass); break;
    case Shape::Capsule: b.inertia = CapsuleInertiaOf(size[0], size[1], mass); break;
    case Shape::Sphere: b.inertia = Scale({1, 1, 1}, 0.4f * mass * size[0] * size[0]); break;
    case Shape::Hull: break;
    }
    return b;
}

// A joint at a world anchor between bodies a and b (-1: world), with its axis and reference in the
// world, at the bodies' build poses.
JointSpec Joint(const SceneSpec& s, int a, int b, const V3& anchor, const V3& axis, const V3& ref, bool hinge,
                float lower, float upper) {
    const Pose& pa = s.bodies[a].pose;
    Pose world;
    world.r[0] = {1, 0, 0};
    world.r[1] = {0, 1, 0};
    world.r[2] = {0, 0, 1};
    const Pose& pb = b >= 0 ? s.bodies[b].pose : world;
    return {a,
            b,
            pa.ToLocal(anchor),
            pb.ToLocal(anchor),
            pa.DirToLocal(axis),
            pb.DirToLocal(axis),
            pa.DirToLocal(ref),
            pb.DirToLocal(ref),
            hinge,
            lower,
            upper};
}

// A capsule lying along `dir` (its core is local y).
Pose Lying(const V3& at, const V3& dir) {
    const V3 y = Unit(dir);
    const V3 helper = std::fabs(y[2]) < 0.9f ? V3{0, 0, 1} : V3{1, 0, 0};
    const V3 x = Unit(Cross3(y, helper));
    Pose p;
    p.x = at;
    p.r[0] = x;
    p.r[1] = y;
    p.r[2] = Cross3(x, y);
    return p;
}

void BuildChains(SceneSpec& s) {
    const float radius = 0.1f;
    const float half = 0.2f;
    for (int c = 0; c < 20; ++c) {
        const float y = c * 1.0f;
        int previous = -1;
        for (int k = 0; k < 10; ++k) {
            const float x0 = k * 2 * (half + radius);
            const V3 centre{x0 + half + radius, y, 12.0f};
            s.bodies.push_back(Body(Shape::Capsule, {radius, half, 0}, 1.0f, Lying(centre, {1, 0, 0})));
            const int me = static_cast<int>(s.bodies.size()) - 1;
            s.joints.push_back(Joint(s, me, previous, {x0, y, 12.0f}, {1, 0, 0}, {0, 0, 1}, false, 0, -1));
            previous = me;
        }
    }
}

// The limbs are capsules of radius 0.06. One that lands level at a few metres a second has its one
// contact at an end of its core and gets the core into the floor box within two ticks; the contact
// then pushes that core point out through the top face, so a limb rests on the floor as a box does
// and floor_pen is the resting depth the contact slop leaves (about 0.01 m), not a sunken limb.
void BuildRagdolls(SceneSpec& s) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> turn(0.0f, 2 * kPi);
    for (int r = 0; r < 10; ++r) {
        const V3 base{(r % 3) * 0.4f, (r / 3) * 0.3f, 1.5f + r * 0.9f};
        const Pose yaw = PoseOf({0, 0, 0}, {0, 0, 1}, turn(random));
        auto at = [&](float x, float y, float z) { return Add(base, yaw.DirToWorld({x, y, z})); };
        auto dir = [&](float x, float y, float z) { return yaw.DirToWorld({x, y, z}); };
        const int first = static_cast<int>(s.bodies.size());
        auto box = [&](const V3& c, const V3& h, float m) {
            BodySpec b = Body(Shape::Box, h, m, yaw);
            b.pose.x = c;
            s.bodies.push_back(b);
            return static_cast<int>(s.bodies.size()) - 1;
        };
        auto limb = [&](const V3& c, const V3& d, float m) {
            s.bodies.push_back(Body(Shape::Capsule, {0.06f, 0.12f, 0}, m, Lying(c, d)));
            return static_cast<int>(s.bodies.size()) - 1;
        };
        // Lying flat on its back along x: pelvis, torso, head, arms, legs.
        const int pelvis = box(at(0, 0, 0), {0.12f, 0.16f, 0.08f}, 8.0f);
        const int torso = box(at(0.3f, 0, 0), {0.16f, 0.18f, 0.09f}, 12.0f);
        const int head = box(at(0.58f, 0, 0), {0.09f, 0.08f, 0.09f}, 4.0f);
        const int arm[2] = {limb(at(0.33f, 0.3f, 0), dir(-1, 0, 0), 2.0f),
                            limb(at(0.33f, -0.3f, 0), dir(-1, 0, 0), 2.0f)};
        const int fore[2] = {limb(at(0.0f, 0.3f, 0), dir(-1, 0, 0), 1.5f),
                             limb(at(0.0f, -0.3f, 0), dir(-1, 0, 0), 1.5f)};
        const int thigh[2] = {limb(at(-0.3f, 0.09f, 0), dir(-1, 0, 0), 5.0f),
                              limb(at(-0.3f, -0.09f, 0), dir(-1, 0, 0), 5.0f)};
        const int shin[2] = {limb(at(-0.66f, 0.09f, 0), dir(-1, 0, 0), 3.5f),
                             limb(at(-0.66f, -0.09f, 0), dir(-1, 0, 0), 3.5f)};
        (void)first;
        const V3 up = dir(0, 0, 1);
        const V3 side = dir(0, 1, 0);
        const V3 along = dir(1, 0, 0);
        s.joints.push_back(Joint(s, torso, pelvis, at(0.13f, 0, 0), along, up, false, 0.3f, 0.5f));
        s.joints.push_back(Joint(s, head, torso, at(0.47f, 0, 0), along, up, false, 0.4f, 0.6f));
        for (int k = 0; k < 2; ++k) {
            const float sy = k == 0 ? 1.0f : -1.0f;
            s.joints.push_back(Joint(s, arm[k], torso, at(0.48f, 0.3f * sy, 0), dir(-1, 0, 0), up, false, 0.5f, 1.2f));
            s.joints.push_back(Joint(s, fore[k], arm[k], at(0.165f, 0.3f * sy, 0), side, up, true, -1.2f, 1.2f));
            s.joints.push_back(
                Joint(s, thigh[k], pelvis, at(-0.12f, 0.09f * sy, 0), dir(-1, 0, 0), up, false, 0.3f, 0.9f));
            s.joints.push_back(Joint(s, shin[k], thigh[k], at(-0.48f, 0.09f * sy, 0), side, up, true, -1.2f, 1.2f));
        }
    }
}

std::vector<V3> HullPoints(std::mt19937& random, float size) {
    std::uniform_int_distribution<int> count(6, 22);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<V3> p;
    const int n = count(random);
    while (static_cast<int>(p.size()) < n) {
        const V3 q{u(random), u(random), u(random)};
        const float l = Len(q);
        if (l > 0.2f && l <= 1.0f) {
            p.push_back(Scale(q, size / l * (0.8f + 0.2f * std::fabs(u(random)))));
        }
    }
    return p;
}

BodySpec Hull(std::mt19937& random, float size, const Pose& pose) {
    // Both engines take the inertia of the hull's bounding cube.
    BodySpec b = Body(Shape::Hull, {size, size, size}, 1.0f, pose);
    b.points = HullPoints(random, size);
    b.inertia = BoxInertiaOf({size, size, size}, 1.0f);
    return b;
}

void BuildSpheres(SceneSpec& s) {
    std::mt19937 random(13);
    std::uniform_real_distribution<float> across(-12.0f, 12.0f);
    std::uniform_real_distribution<float> height(1.0f, 30.0f);
    for (int i = 0; i < 1000; ++i) {
        s.bodies.push_back(Body(Shape::Sphere, {0.4f, 0, 0}, 1.0f,
                                PoseOf({across(random), across(random), height(random)}, {0, 0, 1}, 0)));
    }
}

void BuildHulls(SceneSpec& s) {
    std::mt19937 random(17);
    std::uniform_real_distribution<float> across(-10.0f, 10.0f);
    std::uniform_real_distribution<float> height(1.0f, 25.0f);
    std::uniform_real_distribution<float> turn(0.0f, kPi);
    for (int i = 0; i < 300; ++i) {
        s.bodies.push_back(Hull(
            random, 0.5f, PoseOf({across(random), across(random), height(random)}, {1, 0.3f, 0.2f}, turn(random))));
    }
    s.hulls = true;
}

void BuildTerrainSpheres(SceneSpec& s) {
    s.ground.MakeTerrain(60, 60, 1.0f);
    std::mt19937 random(19);
    std::uniform_real_distribution<float> across(-20.0f, 20.0f);
    std::uniform_real_distribution<float> height(1.0f, 15.0f);
    for (int i = 0; i < 200; ++i) {
        s.bodies.push_back(Body(Shape::Sphere, {0.4f, 0, 0}, 1.0f,
                                PoseOf({across(random), across(random), height(random)}, {0, 0, 1}, 0)));
    }
}

void BuildTerrainHulls(SceneSpec& s) {
    s.ground.MakeTerrain(60, 60, 1.0f);
    std::mt19937 random(23);
    std::uniform_real_distribution<float> across(-20.0f, 20.0f);
    std::uniform_real_distribution<float> height(1.0f, 15.0f);
    std::uniform_real_distribution<float> turn(0.0f, kPi);
    for (int i = 0; i < 200; ++i) {
        s.bodies.push_back(Hull(
            random, 0.5f, PoseOf({across(random), across(random), height(random)}, {0.2f, 1, 0.3f}, turn(random))));
    }
    s.hulls = true;
}

void BuildPile(SceneSpec& s) {
    s.keepAwake = true;
    // A 10 x 10 m pit with walls 3 m high; 1,000 unit boxes dropped in layers.
    s.walls = {{{-5.5f, 0, 1.5f, 0.5f, 6, 1.5f}},
               {{5.5f, 0, 1.5f, 0.5f, 6, 1.5f}},
               {{0, -5.5f, 1.5f, 6, 0.5f, 1.5f}},
               {{0, 5.5f, 1.5f, 6, 0.5f, 1.5f}}};
    std::mt19937 random(29);
    std::uniform_real_distribution<float> turn(0.0f, kPi);
    for (int i = 0; i < 1000; ++i) {
        const int layer = i / 64;
        const int k = i % 64;
        const V3 at{-4.2f + (k % 8) * 1.2f, -4.2f + (k / 8) * 1.2f, 0.6f + layer * 1.2f};
        s.bodies.push_back(Body(Shape::Box, {0.5f, 0.5f, 0.5f}, 1.0f, PoseOf(at, {0, 0, 1}, turn(random))));
    }
}

void BuildMassRatio(SceneSpec& s) {
    s.ground.MakeFlat(300.0f);
    std::mt19937 random(31);
    std::uniform_real_distribution<float> across(-60.0f, 60.0f);
    std::uniform_real_distribution<float> logMass(std::log(0.01f), std::log(1000.0f));
    std::uniform_real_distribution<float> logSize(std::log(0.05f), std::log(20.0f));
    std::uniform_real_distribution<float> turn(0.0f, kPi);
    for (int i = 0; i < 300; ++i) {
        const float mass = std::exp(logMass(random));
        const float size = std::exp(logSize(random));
        const float z = size + 1.0f + (i % 10) * 4.0f;
        const Pose pose = PoseOf({across(random), across(random), z}, {0.3f, 0.2f, 1}, turn(random));
        if (i % 2 == 0) {
            s.bodies.push_back(Body(Shape::Box, {0.5f * size, 0.5f * size, 0.5f * size}, mass, pose));
        } else {
            s.bodies.push_back(Body(Shape::Capsule, {0.25f * size, 0.5f * size, 0}, mass, pose));
        }
    }
}

struct Scene {
    const char* name;
    void (*build)(SceneSpec& s);
    int warmupSteps;
    int timedSteps;
    int tailSteps;
};

// The same rain with every body of both engines kept awake: the two sleep rules differ by design,
// so this variant times the same work in both.
void BuildHullsAwake(SceneSpec& s) {
    BuildHulls(s);
    s.keepAwake = true;
}

const Scene kScenes[] = {
    {"chains_20x10", &BuildChains, 10, 300, 0},         {"ragdolls_10", &BuildRagdolls, 10, 300, 0},
    {"spheres_1000", &BuildSpheres, 10, 1000, 0},       {"hulls_300", &BuildHulls, 10, 1000, 0},
    {"hulls_300_awake", &BuildHullsAwake, 10, 1000, 0}, {"terrain_spheres", &BuildTerrainSpheres, 10, 600, 0},
    {"terrain_hulls", &BuildTerrainHulls, 10, 600, 0},  {"pile_1000_awake", &BuildPile, 300, 300, 0},
    {"mass_ratio_300", &BuildMassRatio, 10, 600, 300},
};

struct Result {
    double medianMs = 0.0;
    float floorPenetration = 0.0f; // deepest point below the ground, of bodies still above it, at the end
    float jointError = 0.0f;
    double awakeMean = 0.0; // awake bodies after each timed step, averaged
    int asleep = 0;
    int total = 0;
    int tunnelled = 0;        // bodies whose centre ended below the ground: they passed through it
    float tunnelDepth = 0.0f; // how far below the ground the lowest of those fell
    bool finite = true;
};

// The lowest point of a body below the ground under it.
float Penetration(const BodySpec& b, const Pose& p, const Ground& ground) {
    if (b.shape == Shape::Hull) {
        // Each vertex against the ground under it: a hull's origin may lie outside it.
        float deepest = -1000000.0f;
        for (const V3& q : b.points) {
            const V3 w = p.ToWorld(q);
            deepest = std::max(deepest, ground.Height(w[0], w[1]) - w[2]);
        }
        return deepest;
    }
    const float floor = ground.Height(p.x[0], p.x[1]);
    float lowest = p.x[2];
    switch (b.shape) {
    case Shape::Box:
        lowest -=
            b.size[0] * std::fabs(p.r[0][2]) + b.size[1] * std::fabs(p.r[1][2]) + b.size[2] * std::fabs(p.r[2][2]);
        break;
    case Shape::Capsule: lowest -= b.size[0] + b.size[1] * std::fabs(p.r[1][2]); break;
    case Shape::Sphere: lowest -= b.size[0]; break;
    case Shape::Hull: break;
    }
    return floor - lowest;
}

// The height of a body's highest point above the ground under it: below 0 it is wholly under.
float Clearance(const BodySpec& b, const Pose& p, const Ground& ground) {
    if (b.shape == Shape::Hull) {
        float highest = -1000000.0f;
        for (const V3& q : b.points) {
            const V3 w = p.ToWorld(q);
            highest = std::max(highest, w[2] - ground.Height(w[0], w[1]));
        }
        return highest;
    }
    float top = p.x[2];
    switch (b.shape) {
    case Shape::Box:
        top += b.size[0] * std::fabs(p.r[0][2]) + b.size[1] * std::fabs(p.r[1][2]) + b.size[2] * std::fabs(p.r[2][2]);
        break;
    case Shape::Capsule: top += b.size[0] + b.size[1] * std::fabs(p.r[1][2]); break;
    case Shape::Sphere: top += b.size[0]; break;
    case Shape::Hull: break;
    }
    return top - ground.Height(p.x[0], p.x[1]);
}

// Anchor separation and limit overshoot of every joint, from the body poses.
float JointError(const SceneSpec& s, const World& w) {
    float worst = 0.0f;
    Pose world;
    world.r[0] = {1, 0, 0};
    world.r[1] = {0, 1, 0};
    world.r[2] = {0, 0, 1};
    for (const JointSpec& j : s.joints) {
        const Pose a = w.GetPose(j.a);
        const Pose b = j.b >= 0 ? w.GetPose(j.b) : world;
        worst = std::max(worst, Len(Sub(a.ToWorld(j.anchorA), b.ToWorld(j.anchorB))));
        const V3 axisA = a.DirToWorld(j.axisA);
        const V3 axisB = b.DirToWorld(j.axisB);
        if (j.hinge) {
            const V3 ra = a.DirToWorld(j.refA);
            const V3 rb = b.DirToWorld(j.refB);
            const float angle = std::atan2(Dot3(Cross3(rb, ra), axisA), Dot3(ra, rb));
            worst = std::max(worst, std::max(angle - j.upper, j.lower - angle));
        } else if (j.upper >= 0.0f) {
            const float cone = std::acos(std::clamp(Dot3(axisA, axisB), -1.0f, 1.0f));
            worst = std::max(worst, cone - j.upper);
        }
    }
    return worst;
}

// One engine's run of a scene: built and warmed up at once, then its timed steps a turn at a time,
// then the untimed tail and the figures.
class SceneRun {
public:
    SceneRun(World& w, const Scene& scene, bool smoke) : w_(w), scene_(scene), smoke_(smoke) {
        scene.build(spec_);
        w.Build(spec_);
        const int warmup = smoke ? 1 : scene.warmupSteps;
        for (int i = 0; i < warmup; ++i) {
            Step();
        }
        timed_ = smoke ? 3 : scene.timedSteps;
        ms_.reserve(static_cast<std::size_t>(timed_));
    }
    SceneRun(const SceneRun&) = delete;
    SceneRun& operator=(const SceneRun&) = delete;

    bool Done() const { return static_cast<int>(ms_.size()) >= timed_; }

    void Turn(int steps) {
        const int n = static_cast<int>(spec_.bodies.size());
        for (int s = 0; s < steps && !Done(); ++s) {
            if (spec_.keepAwake) {
                w_.KeepAwake();
            }
            const auto t0 = std::chrono::steady_clock::now();
            w_.Step();
            const auto t1 = std::chrono::steady_clock::now();
            ms_.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            if (!spec_.joints.empty()) {
                r_.jointError = std::max(r_.jointError, JointError(spec_, w_));
            }
            for (int k = 0; k < n; ++k) {
                awake_ += w_.Asleep(k) ? 0 : 1;
            }
        }
    }

    Result Finish() {
        Result r = r_;
        const int n = static_cast<int>(spec_.bodies.size());
        r.awakeMean = static_cast<double>(awake_) / static_cast<double>(timed_);
        const int tail = smoke_ ? 0 : scene_.tailSteps;
        for (int i = 0; i < tail; ++i) {
            Step();
        }
        std::sort(ms_.begin(), ms_.end());
        r.medianMs = ms_[ms_.size() / 2];
        r.total = n;
        for (int i = 0; i < n; ++i) {
            const Pose p = w_.GetPose(i);
            r.finite = r.finite && std::isfinite(p.x[0]) && std::isfinite(p.x[1]) && std::isfinite(p.x[2]);
            r.asleep += w_.Asleep(i) ? 1 : 0;
            const float pen = Penetration(spec_.bodies[i], p, spec_.ground);
            // Under a box floor a body is still in it; wholly under a triangle ground it has passed through.
            if (spec_.ground.mesh && Clearance(spec_.bodies[i], p, spec_.ground) < 0.0f) {
                ++r.tunnelled;
                r.tunnelDepth = std::max(r.tunnelDepth, pen);
            } else {
                r.floorPenetration = std::max(r.floorPenetration, pen);
            }
        }
        return r;
    }

private:
    void Step() {
        if (spec_.keepAwake) {
            w_.KeepAwake();
        }
        w_.Step();
    }

    World& w_;
    const Scene& scene_;
    bool smoke_;
    SceneSpec spec_;
    int timed_ = 0;
    std::vector<double> ms_;
    long long awake_ = 0;
    Result r_;
};

} // namespace

std::vector<const char*> JointShapeSceneNames() {
    std::vector<const char*> names;
    for (const Scene& scene : kScenes) {
        names.push_back(scene.name);
    }
    return names;
}

int RunJointShapeScenes(bool smoke, const char* only) {
    int failures = 0;
    for (const Scene& scene : kScenes) {
        if (only != nullptr && std::strcmp(only, scene.name) != 0) {
            continue;
        }
        SceneSpec probe;
        scene.build(probe);
        std::vector<Result> oursRuns;
        std::vector<Result> peerRuns;
        for (int run = 0; run < RunCount(smoke); ++run) {
            Ours oursWorld;
            Peer peerWorld;
            SceneRun ours(oursWorld, scene, smoke);
            SceneRun peer(peerWorld, scene, smoke);
            TakeTurns(ours, peer);
            oursRuns.push_back(ours.Finish());
            peerRuns.push_back(peer.Finish());
        }
        const Result& ours = oursRuns.front();
        const Result& peer = peerRuns.front();
        const double oursMs = MedianOfRuns(oursRuns);
        const double peerMs = MedianOfRuns(peerRuns);
        const double ratio = peerMs > 0.0 ? oursMs / peerMs : 0.0;
        std::printf("scene=%s ours_ms=%.4f peer_ms=%.4f ratio=%.2f floor_pen=%.4f peer_floor_pen=%.4f", scene.name,
                    oursMs, peerMs, ratio, ours.floorPenetration, peer.floorPenetration);
        if (!probe.joints.empty()) {
            std::printf(" joint_err=%.4f peer_joint_err=%.4f", ours.jointError, peer.jointError);
        }
        std::printf(" asleep=%d/%d peer_asleep=%d/%d awake_mean=%.1f peer_awake_mean=%.1f", ours.asleep, ours.total,
                    peer.asleep, peer.total, ours.awakeMean, peer.awakeMean);
        if (probe.ground.mesh) {
            // A triangle ground has no thickness: a body that crossed it falls on below.
            std::printf(" tunnelled=%d/%d peer_tunnelled=%d/%d tunnel_depth=%.4f peer_tunnel_depth=%.4f",
                        ours.tunnelled, ours.total, peer.tunnelled, peer.total, ours.tunnelDepth, peer.tunnelDepth);
        }
        if (probe.hulls) {
            std::printf(" peer_hull_margin=%.2f", static_cast<double>(btConvexHullShape().getMargin()));
        }
        std::printf(" runs=%d\n", static_cast<int>(oursRuns.size()));
        std::fprintf(stderr, "  %s: ours runs=%s ms | peer runs=%s ms\n", scene.name, RunMedians(oursRuns).c_str(),
                     RunMedians(peerRuns).c_str());
        if (!ours.finite) {
            std::fprintf(stderr, "  %s: our bodies left the finite range\n", scene.name);
            ++failures;
        }
        if (!SameEveryRun(oursRuns, [](const Result& a, const Result& b) {
                return a.floorPenetration == b.floorPenetration && a.jointError == b.jointError &&
                       a.awakeMean == b.awakeMean && a.asleep == b.asleep && a.tunnelled == b.tunnelled &&
                       a.tunnelDepth == b.tunnelDepth && a.finite == b.finite;
            })) {
            std::fprintf(stderr, "  %s: our runs of the scene ended differently\n", scene.name);
            ++failures;
        }
    }
    return failures;
}
