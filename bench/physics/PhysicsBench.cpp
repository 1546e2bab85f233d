// Steps the same scenes on this engine and on a general-purpose peer engine and prints one line per
// scene: the median step time of each engine (over a few runs, in each of which the two take turns
// of a few steps), their ratio, the deepest floor penetration left at the end, how many bodies sleep at the end and
// how many were awake on average over the timed steps. Both engines get the same masses, inertias,
// friction and restitution; the peer refits only the boxes of its awake bodies, as a user who knows
// its settings would run it. `--help` lists the scenes.
#include "BenchRuns.h"
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

// The inertias both engines are given (mass 1): a unit-density solid cube, and a capsule taken as
// a cylinder of its full length across and a cylinder along its core. The peer's own capsule
// inertia is that of its bounding box, 2.6 times ours across, which would make its capsules
// harder to tip and quicker to sleep.
float BoxInertiaOf(float size) { return size * size / 6.0f; }
float CapsuleAcross(float radius, float halfLength) {
    return (3.0f * radius * radius + 4.0f * halfLength * halfLength) / 12.0f;
}
float CapsuleAlong(float radius) { return 0.5f * radius * radius; }

// What a scene needs of an engine.
class Engine {
public:
    virtual ~Engine() = default;
    virtual void AddBox(float x, float y, float z, float size, float yaw) = 0;
    // A capsule lying along x (turned by yaw about z): radius and half length of its core.
    virtual void AddCapsule(float x, float y, float z, float radius, float halfLength, float yaw) = 0;
    virtual void Step() = 0;
    // Keeps every body awake from now on (the all-awake variants).
    virtual void KeepAwake() = 0;
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
        const float i = BoxInertiaOf(size);
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
        b->SetInertia(
            {CapsuleAcross(radius, halfLength), CapsuleAlong(radius), CapsuleAcross(radius, halfLength), 0.0f});
        b->UpdateBounds();
        // Local y (the core) turned onto world x, then by yaw.
        b->SetOrientation(AboutZ(yaw - kPi * 0.5f));
        b->SetPosition({x, y, z});
        bodies_.push_back({b, 0.0f, radius, halfLength});
    }

    void Step() override {
        if (keepAwake_) {
            for (const Entry& e : bodies_) {
                e.body->Wake();
            }
        }
        sim_->Step(kDt, 1, nullptr);
    }
    void KeepAwake() override { keepAwake_ = true; }
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
    bool keepAwake_ = false;
};

// ---------------------------------------------------------------------------------------------
class PeerEngine : public Engine {
public:
    PeerEngine()
        : dispatcher_(&config_),
          world_(&dispatcher_, &broadphase_, &solver_, &config_),
          floorShape_(btVector3(200.0f, 200.0f, 0.5f)) {
        world_.setGravity(btVector3(0.0f, 0.0f, -9.8f));
        // Only awake bodies get their boxes refitted, as ours: by default the peer refits every box.
        world_.setForceUpdateAllAabbs(false);
        // Four sweeps, as the stack solve runs (two passes of two).
        world_.getSolverInfo().m_numIterations = 4;
        // The peer sleeps a whole island after 0.4 s under 1 m/s and 1 rad/s (its default is 2 s).
        // Ours sleeps body by body on a rest counter: 11 still steps on three supports, 101 on
        // two; the two rules differ by design, so each line says how many bodies were awake.
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
        const float i = BoxInertiaOf(size);
        Add(std::move(shape), btVector3(i, i, i), x, y, z, btQuaternion(btVector3(0, 0, 1), yaw), size * 0.5f, 0.0f,
            0.0f);
    }

    void AddCapsule(float x, float y, float z, float radius, float halfLength, float yaw) override {
        auto shape = std::make_unique<btCapsuleShape>(radius, 2.0f * halfLength);
        // The peer's capsule core is its local y, as ours.
        const btVector3 inertia(CapsuleAcross(radius, halfLength), CapsuleAlong(radius),
                                CapsuleAcross(radius, halfLength));
        Add(std::move(shape), inertia, x, y, z, btQuaternion(btVector3(0, 0, 1), yaw - kPi * 0.5f), 0.0f, radius,
            halfLength);
    }

    void Step() override { world_.stepSimulation(kDt, 0, kDt); }
    void KeepAwake() override {
        for (Entry& e : bodies_) {
            e.body->setActivationState(DISABLE_DEACTIVATION);
        }
        keepAwake_ = true;
    }
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

    void Add(std::unique_ptr<btCollisionShape> shape, const btVector3& inertia, float x, float y, float z,
             const btQuaternion& q, float half, float radius, float halfLength) {
        Entry e;
        e.motion = std::make_unique<btDefaultMotionState>(btTransform(q, btVector3(x, y, z)));
        btRigidBody::btRigidBodyConstructionInfo info(1.0f, e.motion.get(), shape.get(), inertia);
        e.body = std::make_unique<btRigidBody>(info);
        e.body->setFriction(std::sqrt(0.5f));
        e.body->setRestitution(0.0f);
        e.body->setSleepingThresholds(1.0f, 1.0f);
        if (keepAwake_) {
            e.body->setActivationState(DISABLE_DEACTIVATION);
        }
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
    bool keepAwake_ = false;
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
    bool keepAwake;   // every body of both engines kept awake: the all-awake variants
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
    float floorPenetration = 0.0f; // deepest point of any body below the floor top, at the end
    float stackOverlap = 0.0f;     // deepest overlap of two neighbours in a column, at the end
    double awakeMean = 0.0;        // awake bodies after each timed step, averaged
    int asleep = 0;
    int total = 0;
    int settled = -1; // steps until all slept in the settle phase
    bool finite = true;
};

// One engine's run of a scene: built, settled and warmed up at once, then its timed steps a turn
// at a time, then the untimed tail and the figures.
class SceneRun {
public:
    SceneRun(Engine& engine, const Scene& scene, bool smoke) : engine_(engine), scene_(scene), smoke_(smoke) {
        if (scene.keepAwake) {
            engine.KeepAwake();
        }
        scene.build(engine);
        const int settle = smoke ? 0 : scene.settleSteps;
        for (int i = 0; i < settle; ++i) {
            engine.Step();
            if (engine.Asleep() == engine.Count()) {
                r_.settled = i + 1;
                break;
            }
        }
        const int warmup = smoke ? 1 : scene.warmupSteps;
        for (int i = 0; i < warmup; ++i) {
            engine.Step();
        }
        timed_ = smoke ? 3 : scene.timedSteps;
        ms_.reserve(static_cast<std::size_t>(timed_));
    }

    bool Done() const { return static_cast<int>(ms_.size()) >= timed_; }

    void Turn(int steps) {
        for (int s = 0; s < steps && !Done(); ++s) {
            const auto t0 = std::chrono::steady_clock::now();
            engine_.Step();
            const auto t1 = std::chrono::steady_clock::now();
            ms_.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            awake_ += engine_.Count() - engine_.Asleep();
        }
    }

    Result Finish() {
        Result r = r_;
        r.awakeMean = static_cast<double>(awake_) / static_cast<double>(timed_);
        const int tail = smoke_ ? 0 : scene_.tailSteps;
        for (int i = 0; i < tail; ++i) {
            engine_.Step();
        }
        std::sort(ms_.begin(), ms_.end());
        r.medianMs = ms_[ms_.size() / 2];
        r.p99Ms = ms_[std::min(ms_.size() - 1, ms_.size() * 99 / 100)];
        r.total = engine_.Count();
        r.asleep = engine_.Asleep();
        r.finite = engine_.Finite();
        for (int i = 0; i < engine_.Count(); ++i) {
            r.floorPenetration = std::max(r.floorPenetration, -engine_.Bottom(i));
            if (scene_.columnHeight > 0 && i % scene_.columnHeight != 0) {
                // Unit boxes in a column: centres closer than 1 overlap.
                r.stackOverlap = std::max(r.stackOverlap, 1.0f - (engine_.Height(i) - engine_.Height(i - 1)));
            }
        }
        return r;
    }

private:
    Engine& engine_;
    const Scene& scene_;
    bool smoke_;
    int timed_ = 0;
    std::vector<double> ms_;
    long long awake_ = 0;
    Result r_;
};

// Timed while the columns land and settle (awake), then run on to 4 s.
const Scene kScenes[] = {
    {"stacks_10x10", 100, &BuildColumns, 0, 10, 100, 490, 10, false},
    {"asleep_2000", 2000, &BuildHeap, 3000, 10, 1000, 0, 0, false},
    {"rain_500", 500, &BuildRain, 0, 10, 1500, 0, 0, false},
    {"rain_500_awake", 500, &BuildRain, 0, 10, 1500, 0, 0, true},
};

const char* const kCarScene = "car_terrain_34rays";

void PrintHelp() {
    std::printf("usage: bench_physics [--smoke] [--scene NAME] [--help]\n"
                "  --smoke       a few steps per scene, no timing claims (the test suite runs this)\n"
                "  --scene NAME  run one scene alone\n"
                "  --help        this text\n"
                "scenes:\n");
    for (const Scene& scene : kScenes) {
        std::printf("  %s\n", scene.name);
    }
    std::printf("  %s\n", kCarScene);
    for (const char* name : JointShapeSceneNames()) {
        std::printf("  %s\n", name);
    }
    std::printf("Each scene runs %d times (2 with --smoke). In a run both engines are built and warmed up, then\n"
                "take turns of %d timed steps (ours, the peer, ours, ...) until both are done, so that whatever\n"
                "else the machine does falls on both alike. ours_ms and peer_ms: the median over the runs of each\n"
                "engine's median step time in a run; ratio = ours_ms / peer_ms; runs, the runs made. The other\n"
                "columns are the first run's (ours must end every run alike, or the scene fails):\n",
                RunCount(false), kTurnSteps);
    std::printf("floor_pen, the deepest point of any body below the ground at the end (against the ground only;\n"
                "stacks_10x10 adds stack_overlap, two neighbours in a column); asleep, bodies asleep at the end;\n"
                "awake_mean, bodies awake after each timed step, averaged. Scenes with joints add joint_err, the\n"
                "largest anchor separation or limit overshoot over the timed steps. Scenes on a triangle ground,\n"
                "which has no thickness, add tunnelled (bodies that ended wholly below it) and tunnel_depth\n"
                "(how far the lowest of them fell); floor_pen there counts the other bodies only. The car scene\n"
                "gives deepest_pen over the whole drive. Hull scenes give the peer's hull margin, which is its\n"
                "default. A peer_ prefix gives the peer's figure. Both engines get the same masses, inertias,\n"
                "friction and restitution; the peer refits only awake bodies' boxes. The _awake variants keep\n"
                "every body of both engines awake, as the two sleep rules differ by design.\n");
}

bool KnownScene(const char* name) {
    for (const Scene& scene : kScenes) {
        if (std::strcmp(scene.name, name) == 0) {
            return true;
        }
    }
    if (std::strcmp(name, kCarScene) == 0) {
        return true;
    }
    for (const char* other : JointShapeSceneNames()) {
        if (std::strcmp(other, name) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    const char* only = nullptr; // --scene NAME runs that scene alone, for profiling
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            smoke = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        } else if (std::strcmp(argv[i], "--scene") == 0 && i + 1 < argc) {
            only = argv[++i];
            if (!KnownScene(only)) {
                std::fprintf(stderr, "bench_physics: no scene named '%s' (see --help)\n", only);
                return 2;
            }
        } else {
            std::fprintf(stderr, "bench_physics: unknown argument '%s' (see --help)\n", argv[i]);
            return 2;
        }
    }
    int failures = 0;
    for (const Scene& scene : kScenes) {
        if (only != nullptr && std::strcmp(only, scene.name) != 0) {
            continue;
        }
        std::vector<Result> oursRuns;
        std::vector<Result> peerRuns;
        for (int run = 0; run < RunCount(smoke); ++run) {
            OurEngine oursEngine(scene.bodies);
            PeerEngine peerEngine;
            SceneRun ours(oursEngine, scene, smoke);
            SceneRun peer(peerEngine, scene, smoke);
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
        if (scene.columnHeight > 0) {
            std::printf(" stack_overlap=%.4f peer_stack_overlap=%.4f", ours.stackOverlap, peer.stackOverlap);
        }
        std::printf(" asleep=%d/%d peer_asleep=%d/%d awake_mean=%.1f peer_awake_mean=%.1f runs=%d\n", ours.asleep,
                    ours.total, peer.asleep, peer.total, ours.awakeMean, peer.awakeMean,
                    static_cast<int>(oursRuns.size()));
        std::fprintf(stderr, "  %s: ours runs=%s ms p99=%.4f ms settled=%d | peer runs=%s ms p99=%.4f ms settled=%d\n",
                     scene.name, RunMedians(oursRuns).c_str(), ours.p99Ms, ours.settled, RunMedians(peerRuns).c_str(),
                     peer.p99Ms, peer.settled);
        if (!ours.finite || ours.total != scene.bodies) {
            std::fprintf(stderr, "  %s: our bodies left the finite range or were not all created\n", scene.name);
            ++failures;
        }
        if (!SameEveryRun(oursRuns, [](const Result& a, const Result& b) {
                return a.floorPenetration == b.floorPenetration && a.stackOverlap == b.stackOverlap &&
                       a.awakeMean == b.awakeMean && a.asleep == b.asleep && a.settled == b.settled &&
                       a.finite == b.finite;
            })) {
            std::fprintf(stderr, "  %s: our runs of the scene ended differently\n", scene.name);
            ++failures;
        }
    }
    if (only == nullptr || std::strcmp(only, kCarScene) == 0) {
        failures += RunCarTerrainScene(smoke);
    }
    failures += RunJointShapeScenes(smoke, only);
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
