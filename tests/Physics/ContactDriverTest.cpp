#include "Physics/CollisionDrivers.h"
#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace Physics;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::World;

namespace {

SimulatorDesc DriverDesc() { return {10, 5, 0, 10, 100, 40, 4, 4, 10, 20, 0, 0}; }

AnimatedBody* AddAnimatedBox(Simulator& sim, float size, const Vector4& at) {
    AnimatedBody* body = sim.CreateAnimatedBody();
    body->CreateGeometry()->SetBox(size, size, size);
    body->UpdateBounds();
    body->SetPosition(at);
    return body;
}

RigidBody* AddRigidBox(Simulator& sim, float size, const Vector4& at) {
    RigidBody* body = sim.CreateRigidBody();
    body->CreateGeometry()->SetBox(size, size, size);
    body->SetMass(1.0f);
    body->SetInertia({size * size / 6.0f, size * size / 6.0f, size * size / 6.0f, 0.0f});
    body->UpdateBounds();
    body->SetPosition(at);
    return body;
}

// Reports are only valid during the call: keep what the tests need.
struct Seen {
    Body* bodyA;
    Body* bodyB;
    int32_t codeA;
    int32_t codeB;
    Vector4 normal;
    Vector4 pointA;
    float normalSpeedBefore; // (vA - vB) . n at the contact, before the impulse
    float normalSpeedAfter;  // the same with the velocities the call sees
};

std::vector<Seen>& Reports() {
    static std::vector<Seen> reports;
    return reports;
}

Vector4 PointVelocity(const Body* body, const Vector4& worldPoint) {
    Vector4 v;
    body->GetPointVelocity(v, worldPoint - body->WorldPosition());
    return v;
}

void Record(ContactReport* r) {
    const Vector4 after = PointVelocity(r->bodyA, r->worldPointA) - PointVelocity(r->bodyB, r->worldPointB);
    Reports().push_back({r->bodyA, r->bodyB, r->codeA, r->codeB, r->normal, r->worldPointA,
                         Dot(r->relativeVelocity, r->normal), Dot(after, r->normal)});
}

// Counts the rays' hits as the controller sees them, inside the step.
class SensorProbe : public ControllerCallback {
public:
    explicit SensorProbe(const Sensor* sensor) : sensor_(sensor) {}
    void OnTick(Controller*, float) override {
        if (sensor_->GetHitDepth() > 0.0f) {
            ++hits;
            lastBody = sensor_->GetHitBody();
            lastDepth = sensor_->GetHitDepth();
        }
    }
    int hits = 0;
    Body* lastBody = nullptr;
    float lastDepth = 0.0f;

private:
    const Sensor* sensor_;
};

} // namespace

TEST(ContactDrivers, BoxDroppedOnAnAnimatedBodyBouncesByTheSmallerRestitution) {
    World world(DriverDesc(), &kGameGravity);
    Simulator& sim = *world.sim;
    sim.SetMaterial(0, 1.0f, 1.0f);
    sim.SetMaterial(5, 1.0f, 0.5f);
    sim.GetCollisionGroups().Set(0, 0, 3);
    Reports().clear();
    sim.SetContactCallback(&Record);
    AnimatedBody* floor = AddAnimatedBox(sim, 10.0f, {0.0f, 0.0f, -5.0f});
    RigidBody* box = AddRigidBox(sim, 1.0f, {0.0f, 0.0f, 1.5f});
    box->GetGeometries().head->SetMaterial(5);

    while (Reports().empty() && sim.GetStepCount() < 300) {
        sim.Step(kTick, 1, nullptr);
    }
    ASSERT_FALSE(Reports().empty());
    const Seen& first = Reports().front();
    EXPECT_TRUE((first.bodyA == box && first.bodyB == floor) || (first.bodyA == floor && first.bodyB == box));
    EXPECT_EQ(first.bodyA == box ? first.codeA : first.codeB, 1);
    EXPECT_EQ(first.bodyA == floor ? first.codeA : first.codeB, 2);
    // About 1 m of fall: the contact point approaches at roughly 4.4 m/s.
    EXPECT_LT(first.normalSpeedBefore, -4.0f);
    // The one-shot response sends the contact point back at e = min(0.5, 1.0) of its approach.
    EXPECT_NEAR(first.normalSpeedAfter, -0.5f * first.normalSpeedBefore, 1e-3f);
    // The normal points from B towards A: up when the box is A.
    EXPECT_NEAR(first.normal.z, first.bodyA == box ? 1.0f : -1.0f, 1e-5f);

    for (int i = 0; i < 600 && !box->IsAsleep(); ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    EXPECT_TRUE(box->IsAsleep());
    bool namesFloor = false;
    for (const SupportRecord& r : box->supports) {
        namesFloor = namesFloor || (r.InUse() && r.supporter == floor);
    }
    EXPECT_TRUE(namesFloor);
    ASSERT_NE(box->stackNode, nullptr);
    EXPECT_EQ(box->stackNode->stack, &sim.GroundedList());
    EXPECT_NEAR(box->GetPosition().z, 0.5f, 0.0115f);
}

TEST(ContactDrivers, GroupValueDecidesReportSolveAndSensors) {
    struct Case {
        int32_t value;
        bool reported;
        bool solved;
        bool sensed;
    };
    const Case cases[] = {
        {3, true, true, true}, {2, true, false, true}, {1, false, true, true}, {0, false, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        World world(DriverDesc(), &kGameGravity);
        Simulator& sim = *world.sim;
        sim.GetCollisionGroups().Set(0, 0, c.value);
        Reports().clear();
        sim.SetContactCallback(&Record);
        AddAnimatedBox(sim, 10.0f, {0.0f, 0.0f, -5.0f});
        // Sunk 5 cm into the floor and moving down at 1 m/s.
        RigidBody* box = sim.CreateRigidBody();
        box->CreateGeometry()->SetBox(1.0f, 1.0f, 1.0f);
        Sensor* ray = box->CreateSensor();
        ray->SetRay({0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f, 0.0f});
        SensorProbe probe(ray);
        box->CreateController(&probe, 0);
        box->UpdateBounds();
        box->SetPosition({0.0f, 0.0f, 0.45f});
        box->SetLinearVelocity({0.0f, 0.0f, -1.0f});

        sim.Step(kTick, 1, nullptr);
        EXPECT_EQ(!Reports().empty(), c.reported);
        // Unsolved, the box keeps falling; solved, the impulse turns it round.
        EXPECT_EQ(box->GetLinearVelocity().z > -1.0f, c.solved);
        EXPECT_EQ(probe.hits > 0, c.sensed);
        if (c.sensed) {
            EXPECT_NEAR(probe.lastDepth, 0.55f, 1e-4f);
            EXPECT_NE(probe.lastBody, nullptr);
        }
    }
}

TEST(ContactDrivers, DeepestOfSeveralGeometriesWinsAndHeadersAreTestedFirst) {
    World world(DriverDesc(), nullptr);
    Simulator& sim = *world.sim;
    RigidBody* single = AddRigidBox(sim, 1.0f, {0.0f, 0.0f, 0.0f});
    AnimatedBody* triple = sim.CreateAnimatedBody();
    const Vector4 offsets[3] = {{0.9f, 0.0f, 0.0f}, {0.0f, 0.7f, 0.0f}, {0.0f, -0.7f, 0.0f}}; // depths 0.1, 0.3, 0.3
    Geometry* parts[3];
    for (int i = 0; i < 3; ++i) {
        parts[i] = triple->CreateGeometry();
        parts[i]->SetBox(1.0f, 1.0f, 1.0f);
        Matrix4 local = Matrix4::Identity();
        local.row[3] = {offsets[i].x, offsets[i].y, offsets[i].z, 1.0f};
        parts[i]->SetLocalMatrix(local);
    }
    triple->UpdateBounds();
    triple->SetPosition({0.0f, 0.0f, 0.0f});

    ConstraintRow row{};
    CollideGeometryLists(row, *single, single->GetWorldTransform(), *triple, triple->GetWorldTransform(), Vector4());
    ASSERT_EQ(row.found, 1);
    EXPECT_EQ(row.geometryB, parts[1]) << "the first of two equal depths";
    EXPECT_NEAR(row.depth, 0.3f, 1e-5f);
    EXPECT_EQ(row.geometryA, single->GetGeometries().head);

    // Headers apart: nothing, whatever the parts would say.
    triple->SetPosition({0.0f, 0.0f, 3.0f});
    CollideGeometryLists(row, *single, single->GetWorldTransform(), *triple, triple->GetWorldTransform(), Vector4());
    EXPECT_EQ(row.found, 0);
}

TEST(ContactDrivers, RigidBodyUnderAnAnimatedCeilingIsPushedDownByTheFullDepth) {
    World world(DriverDesc(), &kGameGravity);
    Simulator& sim = *world.sim;
    AddAnimatedBox(sim, 1.0f, {0.0f, 0.0f, 0.9f});
    RigidBody* box = AddRigidBox(sim, 1.0f, {0.0f, 0.0f, 0.0f});
    sim.Step(kTick, 1, nullptr);
    // No gravity yet on a fresh body's first tick; the push-out alone moved it.
    EXPECT_NEAR(box->GetPosition().z, -0.1f, 1e-6f);
    EXPECT_EQ(box->pushedLastTick, 1);
    EXPECT_EQ(box->stackNode, nullptr);
}

TEST(ContactDrivers, SleepingBodyAndUnmovedAnimatedBodyAreNotTested) {
    World world(DriverDesc(), &kGameGravity);
    Simulator& sim = *world.sim;
    sim.GetCollisionGroups().Set(0, 0, 3);
    Reports().clear();
    sim.SetContactCallback(&Record);
    AnimatedBody* floor = AddAnimatedBox(sim, 10.0f, {0.0f, 0.0f, -5.0f});
    RigidBody* box = AddRigidBox(sim, 1.0f, {0.0f, 0.0f, 0.495f});
    for (int i = 0; i < 600 && !box->IsAsleep(); ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    ASSERT_TRUE(box->IsAsleep());
    sim.Step(kTick, 1, nullptr);
    Reports().clear();
    sim.Step(kTick, 1, nullptr);
    EXPECT_TRUE(Reports().empty());

    floor->SetPosition({0.0f, 0.0f, -5.0f}); // moved, though to the same place
    sim.Step(kTick, 1, nullptr);
    EXPECT_FALSE(Reports().empty());
}

TEST(ContactDrivers, NonFiniteVelocityFromOutsideStaysWithItsBody) {
    World world(DriverDesc(), &kGameGravity);
    Simulator& sim = *world.sim;
    AddAnimatedBox(sim, 10.0f, {0.0f, 0.0f, -5.0f});
    RigidBody* bottom = AddRigidBox(sim, 1.0f, {0.0f, 0.0f, 0.5f});
    RigidBody* top = AddRigidBox(sim, 1.0f, {0.0f, 0.0f, 1.5f});
    for (int i = 0; i < 60; ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    top->SetLinearVelocity({nan, 0.0f, nan});
    for (int i = 0; i < 200; ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    const Vector4& p = bottom->GetPosition();
    const Vector4& v = bottom->GetLinearVelocity();
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
    EXPECT_NEAR(p.z, 0.5f, 0.02f);
}

TEST(ContactDrivers, PairPassSkipsPairsThatCannotChange) {
    // Two unit boxes 0.1 into each other, reported whenever they are tested.
    struct Case {
        const char* name;
        bool bothAnimated;
        bool asleep;
        bool pushed; // the first box was pushed out last tick
        bool sameGroup;
        bool tested;
    };
    const Case cases[] = {
        {"two animated bodies", true, false, false, false, false},
        {"two awake rigid bodies", false, false, false, false, true},
        {"two sleeping rigid bodies", false, true, false, false, false},
        {"two sleeping rigid bodies, one pushed", false, true, true, false, true},
        {"two rigid bodies solved in one joint group", false, false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world(DriverDesc(), nullptr);
        Simulator& sim = *world.sim;
        sim.GetCollisionGroups().Set(0, 0, 2);
        Body* bodies[2];
        for (int i = 0; i < 2; ++i) {
            const Vector4 at{0.0f, 0.0f, 0.9f * static_cast<float>(i), 0.0f};
            bodies[i] = c.bothAnimated ? static_cast<Body*>(AddAnimatedBox(sim, 1.0f, at)) : AddRigidBox(sim, 1.0f, at);
        }
        JointGroup group;
        if (!c.bothAnimated) {
            for (Body* b : bodies) {
                auto* rigid = static_cast<RigidBody*>(b);
                if (c.asleep) {
                    rigid->Sleep();
                }
                if (c.sameGroup) {
                    group.AddBody(rigid);
                }
            }
            static_cast<RigidBody*>(bodies[0])->pushedLastTick = c.pushed ? 1 : 0;
        }
        Reports().clear();
        sim.SetContactCallback(&Record);
        sim.Step(kTick, 1, nullptr);
        EXPECT_EQ(!Reports().empty(), c.tested);
        group.Clear();
    }
}

TEST(ContactDrivers, HandOffSupportsTheUpperRigidBodyAndPushesOnlyFromAbove) {
    // Gravity along -z. A contact 0.02 deep between bodies at rest: the upper body, when rigid,
    // gets a support naming the lower one (normal up in the lower body's frame); a rigid body
    // under a body that is not rigid is pushed down by the full depth.
    enum Kind { kRigid, kAnimated, kWorld };
    struct Case {
        const char* name;
        Kind a, b;
        float normalZ; // from B towards A
        int supported; // 0 none, 1 A, 2 B
        int pushed;    // 0 none, 1 A, 2 B
    };
    const Case cases[] = {
        {"rigid A on rigid B", kRigid, kRigid, 1.0f, 1, 0},
        {"rigid B on rigid A", kRigid, kRigid, -1.0f, 2, 0},
        {"rigid A on the world", kRigid, kWorld, 1.0f, 1, 0},
        {"rigid A under an animated ceiling", kRigid, kAnimated, -1.0f, 0, 1},
        {"rigid B on an animated floor", kAnimated, kRigid, -1.0f, 2, 0},
        {"rigid B under an animated ceiling", kAnimated, kRigid, 1.0f, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world(DriverDesc(), &kGameGravity);
        Simulator& sim = *world.sim;
        auto make = [&](Kind kind) -> Body* {
            if (kind == kWorld) {
                return sim.GetWorldBody();
            }
            return kind == kRigid ? static_cast<Body*>(AddRigidBox(sim, 1.0f, {0.0f, 0.0f, 0.0f}))
                                  : AddAnimatedBox(sim, 1.0f, {0.0f, 0.0f, 0.0f});
        };
        Body* a = make(c.a);
        Body* b = make(c.b);
        ConstraintRow row{};
        row.type = kCollisionContact;
        row.bodyA = a;
        row.bodyB = b;
        row.normal = {0.0f, 0.0f, c.normalZ, 0.0f};
        row.depth = 0.02f;
        row.offsetA = row.localPointA = {0.0f, 0.0f, -0.5f * c.normalZ, 0.0f};
        row.offsetB = row.localPointB = {0.0f, 0.0f, 0.5f * c.normalZ, 0.0f};
        sim.HandleContact(a, b, row);

        Body* sides[2] = {a, b};
        for (int side = 0; side < 2; ++side) {
            RigidBody* r = RigidSide(sides[side]);
            if (r == nullptr) {
                continue;
            }
            int records = 0;
            for (const SupportRecord& s : r->supports) {
                if (s.InUse()) {
                    ++records;
                    EXPECT_EQ(s.supporter, sides[1 - side]);
                    EXPECT_NEAR(s.normal.x, 0.0f, 1e-6f);
                    EXPECT_NEAR(s.normal.y, 0.0f, 1e-6f);
                    EXPECT_NEAR(s.normal.z, 1.0f, 1e-6f);
                }
            }
            EXPECT_EQ(records, c.supported == side + 1 ? 1 : 0) << "side " << side;
            const bool pushed = c.pushed == side + 1;
            EXPECT_EQ(r->pushedThisTick, pushed ? 1 : 0) << "side " << side;
            EXPECT_FLOAT_EQ(r->GetPosition().z, pushed ? -0.02f : 0.0f) << "side " << side;
        }
    }
}

// A thin capsule (radius 0.06, the bench ragdolls' limbs) lying level on a floor box. Dropped level
// from 1.5 m it lands at 5.3 m/s, 0.035 m a tick, with its one contact at an end of its core, and its
// core enters the box within two ticks; one released with its core already inside must be pushed out
// through the top face, not dropped. Either way it comes to rest on the floor. At rest the second
// pass leaves a depth up to the slop, 0.001 x 9.8 = 0.0098 m, alone and lifts the body by half the
// excess a tick, while the position rule's acceleration term, which no contact sees, lowers it by
// g·dt² / 2: the excess settles at g·dt² = 9.8 / 150² = 0.00044 m. We allow as much again for the
// single contact rocking from end to end: 0.0107 m in all.
TEST(ContactDrivers, ThinCapsuleRestsOnAFloorBoxEvenOnceItsCoreHasEnteredIt) {
    constexpr float kRadius = 0.06f;
    constexpr float kHalfLength = 0.12f;
    const float deepest = 0.001f * 9.8f + 2.0f * 9.8f * kTick * kTick;
    struct Case {
        const char* name;
        float coreHeight; // above the floor's top face at the start
    };
    for (const Case& c : {Case{"core 0.01 above the top", 0.01f}, Case{"core 0.01 inside", -0.01f},
                          Case{"core 0.05 inside", -0.05f}, Case{"dropped level from 1.5 m", 1.5f}}) {
        SCOPED_TRACE(c.name);
        World world(DriverDesc(), &kGameGravity);
        Simulator& sim = *world.sim;
        AnimatedBody* floor = sim.CreateAnimatedBody();
        floor->CreateGeometry()->SetBox(10.0f, 10.0f, 1.0f);
        floor->UpdateBounds();
        floor->SetPosition({0.0f, 0.0f, -0.5f});
        RigidBody* limb = sim.CreateRigidBody();
        limb->CreateGeometry()->SetCapsule(2.0f * kRadius, 2.0f * kHalfLength);
        limb->SetMass(1.5f);
        const float across = 1.5f * (3.0f * kRadius * kRadius + 4.0f * kHalfLength * kHalfLength) / 12.0f;
        limb->SetInertia({across, 0.5f * 1.5f * kRadius * kRadius, across, 0.0f});
        limb->UpdateBounds();
        // The core (local y) level along world x.
        limb->SetOrientation({0.0f, 0.0f, -std::sqrt(0.5f), std::sqrt(0.5f)});
        limb->SetPosition({0.0f, 0.0f, c.coreHeight});
        // 1.5 m takes 83 ticks to fall; a bounce and two seconds more to settle.
        for (int i = 0; i < 400; ++i) {
            sim.Step(kTick, 1, nullptr);
            if (i == 4 && c.coreHeight < 0.0f) {
                EXPECT_GT(limb->GetPosition().z, c.coreHeight + 0.01f) << "pushed up, not dropped";
            }
        }
        const float lowest = limb->GetPosition().z - kHalfLength * std::fabs(limb->rotation.row[1].z) - kRadius;
        EXPECT_GE(lowest, -deepest);
        EXPECT_LE(lowest, 0.001f) << "resting on the floor, not above it";
        EXPECT_TRUE(limb->IsAsleep());
    }
}
