// Steps the same scenes on this engine and on a general-purpose peer engine and prints one line per
// scene: median step time of each, their ratio, the deepest penetration left at the end and how
// many bodies sleep. `--smoke` runs a few steps per scene and makes no timing claims.
#include "CarTerrainBench.h"
#include "JointShapeBench.h"
#include "Physics/Quaternion.h"
#include "Physics/Simulator.h"

#include <btBulletDynamicsCommon.h>

#include <algorithm>
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

// What a scene needs of an engine.
class Engine {
public:
    virtual ~Engine() = default;
    virtual void AddBox(float x, float y, float z, float size, float yaw) = 0;
    // A capsule lying along x (turned by yaw about z): radius and half length of its core.
    virtual void AddCapsule(float x, float y, float z, float radius, float halfLength, float yaw) = 0;
    virtual void Step() = 0;
    virtual int Asleep() const = 0;
    virtual int Count() const = 0;
    // Lowest point of body i below the floor top (z = 0), and its centre height.
    virtual float Bottom(int i) const = 0;
    virtual float Height(int i) const = 0;
    virtual bool Finite() const = 0;
};

// ---------------------------------------------------------------------------------------------
class OurEngine : public Engine {
public:
    explicit OurEngine(int bodies) {
        Physics::SimulatorDesc desc{};
        desc.rigidBodiesCount = bodies;
        desc.animatedBodiesCount = 1;
        desc.rigidParticleCount = 0;
        desc.constraintSetsCount = 1;
        desc.overlapPairsCount = bodies * 8 + 100;
        desc.geometriesCount = bodies + 1;
        desc.jointsCount = 1;
        desc.jointGroupsCount = 1;
        desc.sensorsCount = 1;
        const Physics::Vector4 g{0.0f, 0.0f, -9.8f, 0.0f};
        sim_ = Physics::CreateSimulator(desc, nullptr, &g);
        // No bounce, friction 0.5: the peer is set up to combine to the same values.
        sim_->SetMaterial(0, 0.5f, 0.0f);
        Physics::AnimatedBody* floor = sim_->CreateAnimatedBody();
        floor->CreateGeometry()->SetBox(400.0f, 400.0f, 1.0f);
        floor->UpdateBounds();
        floor->SetPosition({0.0f, 0.0f, -0.5f});
    }
    ~OurEngine() override { Physics::DestroySimulator(sim_); }

    void AddBox(float x, float y, float z, float size, float yaw) override {
        Physics::RigidBody* b = sim_->CreateRigidBody();
        b->CreateGeometry()->SetBox(size, size, size);
        b->SetMass(1.0f);
        const float i = size * size / 6.0f;
        b->SetInertia({i, i, i, 0.0f});
        b->UpdateBounds();
        b->SetOrientation(AboutZ(yaw));
        b->SetPosition({x, y, z});
        bodies_.push_back({b, size * 0.5f, size * 0.5f, 0.0f});
    }

    void AddCapsule(float x, float y, float z, float radius, float halfLength, float yaw) override {
        Physics::RigidBody* b = sim_->CreateRigidBody();
        b->CreateGeometry()->SetCapsule(2.0f * radius, 2.0f * halfLength);
        b->SetMass(1.0f);
        const float across = (3.0f * radius * radius + 4.0f * halfLength * halfLength) / 12.0f;
        b->SetInertia({across, 0.5f * radius * radius, across, 0.0f});
        b->UpdateBounds();
        // Local y (the core) turned onto world x, then by yaw.
        b->SetOrientation(AboutZ(yaw - kPi * 0.5f));
        b->SetPosition({x, y, z});
        bodies_.push_back({b, 0.0f, radius, halfLength});
    }

    void Step() override { sim_->Step(kDt, 1, nullptr); }
    int Asleep() const override {
        int n = 0;
        for (const Entry& e : bodies_) {
            n += e.body->IsAsleep() ? 1 : 0;
        }
        return n;
    }
    int Count() const override { return static_cast<int>(bodies_.size()); }
    float Height(int i) const override { return bodies_[i].body->GetPosition().z; }
    float Bottom(int i) const override {
        const Entry& e = bodies_[i];
        const Physics::Matrix3& r = e.body->rotation;
        const float z = e.body->GetPosition().z;
        if (e.half > 0.0f) {
            return z - e.half * (std::fabs(r.row[0].z) + std::fabs(r.row[1].z) + std::fabs(r.row[2].z));
        }
        return z - e.radius - e.halfLength * std::fabs(r.row[1].z);
    }
    bool Finite() const override {
        for (const Entry& e : bodies_) {
            const Physics::Vector4& p = e.body->GetPosition();
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                return false;
            }
        }
        return true;
    }

private:
    struct Entry {
        Physics::RigidBody* body;
        float half; // box half extent, 0 for a capsule
        float radius;
        float halfLength;
    };
    static Physics::Vector4 AboutZ(float angle) { return {0.0f, 0.0f, std::sin(angle * 0.5f), std::cos(angle * 0.5f)}; }

    Physics::Simulator* sim_ = nullptr;
    std::vector<Entry> bodies_;
};

// ---------------------------------------------------------------------------------------------
class PeerEngine : public Engine {
public:
    PeerEngine()
        : dispatcher_(&config_),
          world_(&dispatcher_, &broadphase_, &solver_, &config_),
          floorShape_(btVector3(200.0f, 200.0f, 0.5f)) {
        world_.setGravity(btVector3(0.0f, 0.0f, -9.8f));
        // Four sweeps, as the stack solve runs (two passes of two).
        world_.getSolverInfo().m_numIterations = 4;
        // Sleep after 0.4 s under 1 m/s and 1 rad/s: the 60-step window and threshold of ours.
        gDeactivationTime = 0.4f;
        btRigidBody::btRigidBodyConstructionInfo info(0.0f, nullptr, &floorShape_);
        info.m_startWorldTransform.setOrigin(btVector3(0.0f, 0.0f, -0.5f));
        floor_ = std::make_unique<btRigidBody>(info);
        // Frictions multiply: sqrt(0.5) on both sides gives 0.5; no restitution.
        floor_->setFriction(std::sqrt(0.5f));
        floor_->setRestitution(0.0f);
        world_.addRigidBody(floor_.get());
    }
    ~PeerEngine() override {
        for (Entry& e : bodies_) {
            world_.removeRigidBody(e.body.get());
        }
        world_.removeRigidBody(floor_.get());
    }

    void AddBox(float x, float y, float z, float size, float yaw) override {
        auto shape = std::make_unique<btBoxShape>(btVector3(size * 0.5f, size * 0.5f, size * 0.5f));
        Add(std::move(shape), x, y, z, btQuaternion(btVector3(0, 0, 1), yaw), size * 0.5f, 0.0f, 0.0f);
    }

    void AddCapsule(float x, float y, float z, float radius, float halfLength, float yaw) override {
        auto shape = std::make_unique<btCapsuleShape>(radius, 2.0f * halfLength);
        Add(std::move(shape), x, y, z, btQuaternion(btVector3(0, 0, 1), yaw - kPi * 0.5f), 0.0f, radius, halfLength);
    }

    void Step() override { world_.stepSimulation(kDt, 0, kDt); }
    int Asleep() const override {
        int n = 0;
        for (const Entry& e : bodies_) {
            n += e.body->getActivationState() == ISLAND_SLEEPING ? 1 : 0;
        }
        return n;
    }
    int Count() const override { return static_cast<int>(bodies_.size()); }
    float Height(int i) const override { return bodies_[i].body->getWorldTransform().getOrigin().z(); }
    float Bottom(int i) const override {
        const Entry& e = bodies_[i];
        const btTransform& t = e.body->getWorldTransform();
        const btMatrix3x3& r = t.getBasis();
        const float z = t.getOrigin().z();
        if (e.half > 0.0f) {
            return z - e.half * (std::fabs(r[2][0]) + std::fabs(r[2][1]) + std::fabs(r[2][2]));
        }
        return z - e.radius - e.halfLength * std::fabs(r[2][1]);
    }
    bool Finite() const override {
        for (const Entry& e : bodies_) {
            const btVector3& p = e.body->getWorldTransform().getOrigin();
            if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(p.z())) {
                return false;
            }
        }
        return true;
    }

private:
    struct Entry {
        std::unique_ptr<btCollisionShape> shape;
        std::unique_ptr<btDefaultMotionState> motion;
        std::unique_ptr<btRigidBody> body;
        float half;
        float radius;
        float halfLength;
    };

    void Add(std::unique_ptr<btCollisionShape> shape, float x, float y, float z, const btQuaternion& q, float half,
             float radius, float halfLength) {
        Entry e;
        btVector3 inertia(0, 0, 0);
        shape->calculateLocalInertia(1.0f, inertia);
        e.motion = std::make_unique<btDefaultMotionState>(btTransform(q, btVector3(x, y, z)));
        btRigidBody::btRigidBodyConstructionInfo info(1.0f, e.motion.get(), shape.get(), inertia);
        e.body = std::make_unique<btRigidBody>(info);
        e.body->setFriction(std::sqrt(0.5f));
        e.body->setRestitution(0.0f);
        e.body->setSleepingThresholds(1.0f, 1.0f);
        world_.addRigidBody(e.body.get());
        e.shape = std::move(shape);
        e.half = half;
        e.radius = radius;
        e.halfLength = halfLength;
        bodies_.push_back(std::move(e));
    }

    btDefaultCollisionConfiguration config_;
    btCollisionDispatcher dispatcher_;
    btDbvtBroadphase broadphase_;
    btSequentialImpulseConstraintSolver solver_;
    btDiscreteDynamicsWorld world_;
    btBoxShape floorShape_;
    std::unique_ptr<btRigidBody> floor_;
    std::vector<Entry> bodies_;
};

// ---------------------------------------------------------------------------------------------
struct Scene {
    const char* name;
    int bodies;
    void (*build)(Engine& engine);
    int settleSteps; // untimed, before warm-up: "settled asleep" scenes
    int warmupSteps;
    int timedSteps;
    int tailSteps;    // untimed, after the timed ones, before the end-of-scene figures
    int columnHeight; // > 0: bodies form columns of this many boxes, added bottom first
};

void BuildColumns(Engine& e) {
    for (int c = 0; c < 10; ++c) {
        const float x = static_cast<float>(c % 5) * 3.0f;
        const float y = static_cast<float>(c / 5) * 3.0f;
        for (int i = 0; i < 10; ++i) {
            e.AddBox(x, y, 0.5f + static_cast<float>(i) * 1.01f + 0.005f, 1.0f, 0.0f);
        }
    }
}

void BuildHeap(Engine& e) {
    // 2000 bodies on a 45 x 45 grid, boxes and capsules alternating, a few with a box on top.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> yaw(0.0f, kPi);
    int made = 0;
    for (int gy = 0; gy < 45 && made < 2000; ++gy) {
        for (int gx = 0; gx < 45 && made < 2000; ++gx) {
            const float x = static_cast<float>(gx) * 2.5f;
            const float y = static_cast<float>(gy) * 2.5f;
            if ((gx + gy) % 2 == 0) {
                e.AddBox(x, y, 0.505f, 1.0f, yaw(random));
            } else {
                e.AddCapsule(x, y, 0.405f, 0.4f, 0.5f, yaw(random));
            }
            ++made;
        }
    }
}

void BuildRain(Engine& e) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> across(-10.0f, 10.0f);
    std::uniform_real_distribution<float> height(1.0f, 25.0f);
    std::uniform_real_distribution<float> yaw(0.0f, kPi);
    for (int i = 0; i < 500; ++i) {
        const float x = across(random);
        const float y = across(random);
        const float z = height(random);
        if (i % 2 == 0) {
            e.AddBox(x, y, z, 1.0f, yaw(random));
        } else {
            e.AddCapsule(x, y, z, 0.4f, 0.5f, yaw(random));
        }
    }
}

struct Result {
    double medianMs = 0.0;
    double p99Ms = 0.0;
    float maxPenetration = 0.0f;
    int asleep = 0;
    int total = 0;
    int settled = -1; // steps until all slept in the settle phase
    bool finite = true;
};

Result Run(Engine& engine, const Scene& scene, bool smoke) {
    Result r;
    scene.build(engine);
    const int settle = smoke ? 0 : scene.settleSteps;
    for (int i = 0; i < settle; ++i) {
        engine.Step();
        if (engine.Asleep() == engine.Count()) {
            r.settled = i + 1;
            break;
        }
    }
    const int warmup = smoke ? 1 : scene.warmupSteps;
    for (int i = 0; i < warmup; ++i) {
        engine.Step();
    }
    const int timed = smoke ? 3 : scene.timedSteps;
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(timed));
    for (int i = 0; i < timed; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        engine.Step();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    const int tail = smoke ? 0 : scene.tailSteps;
    for (int i = 0; i < tail; ++i) {
        engine.Step();
    }
    std::sort(ms.begin(), ms.end());
    r.medianMs = ms[ms.size() / 2];
    r.p99Ms = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    r.total = engine.Count();
    r.asleep = engine.Asleep();
    r.finite = engine.Finite();
    for (int i = 0; i < engine.Count(); ++i) {
        r.maxPenetration = std::max(r.maxPenetration, -engine.Bottom(i));
        if (scene.columnHeight > 0 && i % scene.columnHeight != 0) {
            // Unit boxes in a column: centres closer than 1 overlap.
            r.maxPenetration = std::max(r.maxPenetration, 1.0f - (engine.Height(i) - engine.Height(i - 1)));
        }
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    const char* only = nullptr; // --scene NAME runs that scene alone, for profiling
    for (int i = 1; i < argc; ++i) {
        smoke = smoke || std::strcmp(argv[i], "--smoke") == 0;
        if (std::strcmp(argv[i], "--scene") == 0 && i + 1 < argc) {
            only = argv[++i];
        }
    }
    const Scene scenes[] = {
        // Timed while the columns land and settle (awake), then run on to 4 s.
        {"stacks_10x10", 100, &BuildColumns, 0, 10, 100, 490, 10},
        {"asleep_2000", 2000, &BuildHeap, 3000, 10, 1000, 0, 0},
        {"rain_500", 500, &BuildRain, 0, 10, 1500, 0, 0},
    };
    int failures = 0;
    for (const Scene& scene : scenes) {
        if (only != nullptr && std::strcmp(only, scene.name) != 0) {
            continue;
        }
        Result ours;
        Result peer;
        {
            OurEngine engine(scene.bodies);
            ours = Run(engine, scene, smoke);
        }
        {
            PeerEngine engine;
            peer = Run(engine, scene, smoke);
        }
        const double ratio = peer.medianMs > 0.0 ? ours.medianMs / peer.medianMs : 0.0;
        std::printf("scene=%s ours_ms=%.4f peer_ms=%.4f ratio=%.2f max_pen=%.4f asleep=%d/%d peer_max_pen=%.4f "
                    "joint_err=0.0000 peer_joint_err=0.0000 peer_asleep=%d/%d awake=%d peer_awake=%d\n",
                    scene.name, ours.medianMs, peer.medianMs, ratio, ours.maxPenetration, ours.asleep, ours.total,
                    peer.maxPenetration, peer.asleep, peer.total, ours.total - ours.asleep, peer.total - peer.asleep);
        std::fprintf(stderr,
                     "  %s: ours p99=%.4f ms settled=%d | peer max_pen=%.4f asleep=%d/%d p99=%.4f ms settled=%d\n",
                     scene.name, ours.p99Ms, ours.settled, peer.maxPenetration, peer.asleep, peer.total, peer.p99Ms,
                     peer.settled);
        if (!ours.finite || ours.total != scene.bodies) {
            std::fprintf(stderr, "  %s: our bodies left the finite range or were not all created\n", scene.name);
            ++failures;
        }
    }
    if (only == nullptr || std::strcmp(only, "car_terrain_34rays") == 0) {
        failures += RunCarTerrainScene(smoke);
    }
    failures += RunJointShapeScenes(smoke, only);
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
