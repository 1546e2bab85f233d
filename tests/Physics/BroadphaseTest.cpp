#include "PhysicsTestSupport.h"

#include "Physics/Quaternion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::kTick;
using PhysicsTest::MessageLog;
using PhysicsTest::World;

namespace {

using IdPair = std::pair<int, int>;

IdPair Key(const Body* a, const Body* b) {
    return {std::min(a->GetId(), b->GetId()), std::max(a->GetId(), b->GetId())};
}

std::set<IdPair> ActualPairs(Simulator& sim) {
    std::set<IdPair> pairs;
    for (const OverlapPair* p = sim.GetBroadphase().FirstPair(); p != nullptr; p = p->next) {
        EXPECT_TRUE(pairs.insert(Key(p->bodyA, p->bodyB)).second) << "pair listed twice";
    }
    EXPECT_EQ(static_cast<int>(pairs.size()), sim.GetBroadphase().PairCount());
    return pairs;
}

bool Overlap(const Body* a, const Body* b) {
    for (int i = 0; i < 3; ++i) {
        if (!(a->GetWorldBoxMin()[i] < b->GetWorldBoxMax()[i] && b->GetWorldBoxMin()[i] < a->GetWorldBoxMax()[i])) {
            return false;
        }
    }
    return true;
}

std::vector<Body*> BroadphaseBodies(Simulator& sim) {
    std::vector<Body*> bodies;
    for (RigidBody* r = sim.EnabledRigidBodies().head; r != nullptr; r = r->next) {
        if (r->GetGeometryCount() > 0) {
            bodies.push_back(r);
        }
    }
    for (AnimatedBody* a = sim.EnabledAnimatedBodies().head; a != nullptr; a = a->next) {
        if (a->GetGeometryCount() > 0) {
            bodies.push_back(a);
        }
    }
    for (RigidBody* p = sim.EnabledParticles().head; p != nullptr; p = p->next) {
        if (p->GetGeometryCount() > 0) {
            bodies.push_back(p);
        }
    }
    return bodies;
}

std::set<IdPair> BruteForcePairs(Simulator& sim) {
    const std::vector<Body*> bodies = BroadphaseBodies(sim);
    std::set<IdPair> pairs;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        for (std::size_t j = i + 1; j < bodies.size(); ++j) {
            // Two particles never pair.
            if (Overlap(bodies[i], bodies[j]) && !(bodies[i]->IsParticle() && bodies[j]->IsParticle())) {
                pairs.insert(Key(bodies[i], bodies[j]));
            }
        }
    }
    return pairs;
}

// Every body in the broadphase has exactly one minimum and one maximum per axis, the lists are
// sorted from the largest value down and each maximum lies above its own minimum.
void ExpectAxesConsistent(Simulator& sim) {
    const std::vector<Body*> bodies = BroadphaseBodies(sim);
    for (int axis = 0; axis < 3; ++axis) {
        int count = 0;
        std::set<const Body*> seenMax;
        float previous = 1e30f;
        for (const Endpoint* e = sim.GetBroadphase().Axis(axis).Head(); e != nullptr; e = e->next) {
            ++count;
            EXPECT_LE(e->value, previous) << "axis " << axis;
            previous = e->value;
            if (e->kind == kEndpointMax) {
                EXPECT_TRUE(seenMax.insert(e->body).second);
                EXPECT_EQ(e->body->maxEndpoint[axis], e);
            } else {
                EXPECT_EQ(seenMax.count(e->body), 1u) << "minimum above its maximum";
                EXPECT_EQ(e->body->minEndpoint[axis], e);
            }
        }
        EXPECT_EQ(count, 2 * static_cast<int>(bodies.size())) << "axis " << axis;
    }
}

Body* AddBox(Simulator& sim, bool animated, float x, float y, float z, float size = 1.0f) {
    Body* body = nullptr;
    if (animated) {
        AnimatedBody* a = sim.CreateAnimatedBody();
        a->CreateGeometry()->SetBox(size, size, size);
        a->UpdateBounds();
        a->SetPosition({x, y, z});
        body = a;
    } else {
        RigidBody* r = sim.CreateRigidBody();
        r->CreateGeometry()->SetBox(size, size, size);
        r->UpdateBounds();
        r->SetPosition({x, y, z});
        body = r;
    }
    return body;
}

void MoveTo(Body* body, float x, float y, float z) {
    if (body->GetKind() == kBodyAnimated) {
        static_cast<AnimatedBody*>(body)->SetPosition({x, y, z});
    } else {
        static_cast<RigidBody*>(body)->SetPosition({x, y, z});
    }
}

} // namespace

TEST(BroadphaseRandom, PairSetMatchesBruteForceOver2000Ticks) {
    struct Case {
        int particles; // capacity of the particle pool, and whether any are made
        unsigned seed;
    };
    const Case cases[] = {{0, 20261210u}, {6, 7u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.particles);
        SimulatorDesc desc = GameDesc();
        desc.rigidBodiesCount = 12;
        desc.animatedBodiesCount = 6;
        desc.rigidParticleCount = c.particles;
        desc.overlapPairsCount = 200;
        desc.geometriesCount = 80;
        World world(desc);
        Simulator& sim = *world.sim;
        std::mt19937 rng(c.seed);
        std::uniform_real_distribution<float> place(-6.0f, 6.0f);
        std::uniform_real_distribution<float> nudge(-0.4f, 0.4f);
        std::uniform_real_distribution<float> size(0.5f, 3.0f);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        std::vector<Body*> live;

        enum Kind { kRigid, kAnimated, kParticle };
        auto create = [&](Kind kind) {
            Body* body = kind == kAnimated   ? static_cast<Body*>(sim.CreateAnimatedBody())
                         : kind == kParticle ? sim.CreateRigidParticle()
                                             : sim.CreateRigidBody();
            if (body == nullptr) {
                return;
            }
            const int geometries = unit(rng) < 0.1f ? 0 : (unit(rng) < 0.7f ? 1 : 2);
            for (int g = 0; g < geometries; ++g) {
                Geometry* geometry = body->CreateGeometry();
                if (unit(rng) < 0.3f) {
                    geometry->SetCapsule(size(rng) * 0.5f, size(rng));
                } else {
                    geometry->SetBox(size(rng), size(rng), size(rng));
                }
                Matrix4 local = Matrix4::FromRotationAndPosition(
                    QuatToRows(QuatNormalize({unit(rng), unit(rng), unit(rng), 1.0f})), {nudge(rng), nudge(rng), 0.0f});
                geometry->SetLocalMatrix(local);
            }
            if (unit(rng) < 0.3f) {
                body->CreateSensor()->SetRay({}, {0.0f, 0.0f, -size(rng)});
            }
            body->UpdateBounds();
            MoveTo(body, place(rng), place(rng), place(rng));
            live.push_back(body);
        };

        int observedPairs = 0;
        int reusedBeforeUpdate = 0;
        int hintedEnables = 0;
        int particlePairs = 0;
        for (int tick = 0; tick < 2000; ++tick) {
            const int actions = 1 + static_cast<int>(unit(rng) * 4.0f);
            for (int a = 0; a < actions; ++a) {
                const float roll = unit(rng);
                if (roll < 0.15f || live.size() < 4) {
                    const float pick = unit(rng);
                    create(pick < 0.35f ? kAnimated : (c.particles > 0 && pick < 0.65f ? kParticle : kRigid));
                } else if (roll < 0.25f) {
                    const std::size_t i = static_cast<std::size_t>(unit(rng) * live.size()) % live.size();
                    Body* victim = live[i];
                    live.erase(live.begin() + static_cast<long>(i));
                    const Kind kind = victim->GetKind() == kBodyAnimated ? kAnimated
                                      : victim->IsParticle()             ? kParticle
                                                                         : kRigid;
                    sim.FreeBody(victim);
                    // Often take the same slot again before the next update.
                    if (unit(rng) < 0.5f) {
                        create(kind);
                        ++reusedBeforeUpdate;
                    }
                } else if (roll < 0.32f) {
                    Body* body = live[static_cast<std::size_t>(unit(rng) * live.size()) % live.size()];
                    // Re-enabled bodies often name a hint to search from, now and then themselves.
                    Body* hint = unit(rng) < 0.6f
                                     ? live[static_cast<std::size_t>(unit(rng) * live.size()) % live.size()]
                                     : nullptr;
                    hintedEnables += hint != nullptr && !body->IsEnabled() ? 1 : 0;
                    body->SetEnabled(body->IsEnabled() ? 0 : 1, hint);
                } else if (roll < 0.40f) {
                    Body* body = live[static_cast<std::size_t>(unit(rng) * live.size()) % live.size()];
                    const Vector4 q = QuatNormalize({unit(rng) - 0.5f, unit(rng) - 0.5f, unit(rng) - 0.5f, 1.0f});
                    if (body->GetKind() == kBodyAnimated) {
                        static_cast<AnimatedBody*>(body)->SetOrientation(q);
                    } else {
                        static_cast<RigidBody*>(body)->SetOrientation(q);
                    }
                } else {
                    for (Body* body : live) {
                        if (unit(rng) < 0.5f) {
                            const Vector4 p = body->WorldPosition();
                            MoveTo(body, std::clamp(p.x + nudge(rng), -7.0f, 7.0f),
                                   std::clamp(p.y + nudge(rng), -7.0f, 7.0f),
                                   std::clamp(p.z + nudge(rng), -7.0f, 7.0f));
                        }
                    }
                }
            }
            sim.Step(kTick, 1, nullptr);
            const std::set<IdPair> actual = ActualPairs(sim);
            ASSERT_EQ(actual, BruteForcePairs(sim)) << "tick " << tick;
            observedPairs += static_cast<int>(actual.size());
            for (const IdPair& p : actual) {
                particlePairs += p.second >= desc.rigidBodiesCount + desc.animatedBodiesCount ? 1 : 0;
            }
            ExpectAxesConsistent(sim);
        }
        ExpectAxesConsistent(sim);
        EXPECT_GT(observedPairs, 2000);
        EXPECT_GT(reusedBeforeUpdate, 50);
        EXPECT_GT(hintedEnables, 50);
        if (c.particles > 0) {
            EXPECT_GT(particlePairs, 500);
        }
    }
}

TEST(Broadphase, TouchingBoxesDoNotOverlap) {
    World world;
    Simulator& sim = *world.sim;
    AddBox(sim, false, 0.0f, 0.0f, 0.0f);
    Body* b = AddBox(sim, true, 1.0f, 0.0f, 0.0f);
    sim.Step(kTick, 1, nullptr);
    EXPECT_TRUE(ActualPairs(sim).empty());
    MoveTo(b, 0.999f, 0.0f, 0.0f);
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(ActualPairs(sim).size(), 1u);
    MoveTo(b, 1.001f, 0.0f, 0.0f);
    sim.Step(kTick, 1, nullptr);
    EXPECT_TRUE(ActualPairs(sim).empty());
}

TEST(Broadphase, BodiesWithoutGeometryNeverPair) {
    World world;
    Simulator& sim = *world.sim;
    AddBox(sim, false, 0.0f, 0.0f, 0.0f, 4.0f);
    RigidBody* bare = sim.CreateRigidBody();
    bare->UpdateBounds();
    bare->SetEnabled(0, nullptr);
    bare->SetEnabled(1, nullptr);
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(bare->broadphaseEntry, nullptr);
    EXPECT_EQ(bare->minEndpoint[0], nullptr);
    EXPECT_TRUE(ActualPairs(sim).empty());
}

TEST(Broadphase, IgnoredGroupPairsExistOnlyFromInsertion) {
    World world;
    Simulator& sim = *world.sim;
    sim.GetCollisionGroups().Set(5, 6, 0);
    RigidBody* a = sim.CreateRigidBody();
    a->SetCollisionGroup(5);
    a->CreateGeometry();
    a->UpdateBounds();
    AnimatedBody* b = sim.CreateAnimatedBody();
    b->SetCollisionGroup(6);
    b->CreateGeometry();
    b->UpdateBounds();
    b->SetPosition({0.5f, 0.0f, 0.0f});
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(ActualPairs(sim).size(), 1u) << "made at insertion whatever the group value";

    b->SetPosition({3.0f, 0.0f, 0.0f});
    sim.Step(kTick, 1, nullptr);
    EXPECT_TRUE(ActualPairs(sim).empty());
    b->SetPosition({0.5f, 0.0f, 0.0f});
    sim.Step(kTick, 1, nullptr);
    EXPECT_TRUE(ActualPairs(sim).empty()) << "not made by motion";

    // Changing the group does not re-examine a pair already overlapping...
    b->SetCollisionGroup(5);
    sim.Step(kTick, 1, nullptr);
    EXPECT_TRUE(ActualPairs(sim).empty());
    // ...but the next meeting makes it.
    b->SetPosition({3.0f, 0.0f, 0.0f});
    sim.Step(kTick, 1, nullptr);
    b->SetPosition({0.5f, 0.0f, 0.0f});
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(ActualPairs(sim).size(), 1u);
}

TEST(Broadphase, FullPairBufferReportsAndMissesPairsUntilTheyMeetAgain) {
    SimulatorDesc desc = GameDesc();
    desc.overlapPairsCount = 2;
    World world(desc);
    Simulator& sim = *world.sim;
    MessageLog log(world.sim);
    Body* a = AddBox(sim, false, 0.0f, 0.0f, 0.0f);
    Body* b = AddBox(sim, false, 0.2f, 0.0f, 0.0f);
    Body* c = AddBox(sim, false, 0.4f, 0.0f, 0.0f);
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(ActualPairs(sim), (std::set<IdPair>{{0, 1}, {0, 2}}));
    EXPECT_EQ(log.All(), std::vector<std::string>{"Overlap Pair buffer full. Increase buffer size.\n"});

    MoveTo(a, 5.0f, 0.0f, 0.0f);
    sim.Step(kTick, 1, nullptr);
    EXPECT_TRUE(ActualPairs(sim).empty()) << "b and c still overlap but were never paired";

    MoveTo(c, 3.0f, 0.0f, 0.0f);
    sim.Step(kTick, 1, nullptr);
    MoveTo(c, 0.4f, 0.0f, 0.0f);
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(ActualPairs(sim), (std::set<IdPair>{{1, 2}}));
    (void)b;
}

TEST(Broadphase, DisablingDropsPairsAtOnceAndEnablingRestoresThemAtTheNextUpdate) {
    World world;
    Simulator& sim = *world.sim;
    // Pairs only: contacts would push the overlapping boxes apart.
    sim.GetCollisionGroups().Set(0, 0, 0);
    Body* a = AddBox(sim, false, 0.0f, 0.0f, 0.0f);
    AddBox(sim, true, 0.5f, 0.0f, 0.0f);
    AddBox(sim, false, 0.0f, 0.5f, 0.0f);
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(ActualPairs(sim).size(), 3u);

    a->SetEnabled(0, nullptr);
    EXPECT_EQ(ActualPairs(sim).size(), 1u);
    a->SetEnabled(1, nullptr);
    EXPECT_EQ(ActualPairs(sim).size(), 1u);
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(ActualPairs(sim).size(), 3u);
}

TEST(Broadphase, BodyRemovedAndQueuedAgainBeforeAnUpdateIsInsertedOnce) {
    struct Case {
        const char* name;
        bool stepFirst; // the first body is already in the broadphase
        bool viaEnable; // re-queued by disable and enable instead of free and create
    };
    const Case cases[] = {{"queued, freed, slot reused", false, false},
                          {"inserted, freed, slot reused", true, false},
                          {"queued, disabled, enabled", false, true}};
    for (const Case& c : cases) {
        World world;
        Simulator& sim = *world.sim;
        AddBox(sim, true, 0.3f, 0.0f, 0.0f);
        Body* first = AddBox(sim, false, 0.0f, 0.0f, 0.0f);
        if (c.stepFirst) {
            sim.Step(kTick, 1, nullptr);
        }
        Body* second = first;
        if (c.viaEnable) {
            first->SetEnabled(0, nullptr);
            first->SetEnabled(1, nullptr);
        } else {
            sim.FreeBody(first);
            second = AddBox(sim, false, 0.1f, 0.0f, 0.0f);
            ASSERT_EQ(second, first) << c.name;
        }
        EXPECT_EQ(sim.GetBroadphase().PendingCount(), c.stepFirst ? 1 : 2) << c.name;
        sim.Step(kTick, 1, nullptr);
        ExpectAxesConsistent(sim);
        EXPECT_EQ(ActualPairs(sim).size(), 1u) << c.name;
        // Moving it afterwards keeps one pair and consistent lists.
        MoveTo(second, 5.0f, 0.0f, 0.0f);
        sim.Step(kTick, 1, nullptr);
        EXPECT_TRUE(ActualPairs(sim).empty()) << c.name;
        ExpectAxesConsistent(sim);
    }
}

TEST(Broadphase, PairsMadeAtInsertionPutTheRigidBodyFirst) {
    enum Kind { kRigid, kAnimated, kParticle };
    struct Case {
        Kind first; // inserted one update before the second
        Kind second;
        bool secondLeads;
    };
    // The new body leads when it is a plain rigid body, or a particle meeting an animated body.
    const Case cases[] = {
        {kAnimated, kRigid, true},     {kRigid, kAnimated, false},    {kAnimated, kParticle, true},
        {kParticle, kAnimated, false}, {kParticle, kRigid, true},     {kRigid, kParticle, false},
        {kRigid, kRigid, true},        {kAnimated, kAnimated, false},
    };
    SimulatorDesc desc = GameDesc();
    desc.rigidParticleCount = 2;
    auto add = [](Simulator& sim, Kind kind, float x) -> Body* {
        Body* body = kind == kAnimated   ? static_cast<Body*>(sim.CreateAnimatedBody())
                     : kind == kParticle ? sim.CreateRigidParticle()
                                         : sim.CreateRigidBody();
        body->CreateGeometry();
        body->UpdateBounds();
        MoveTo(body, x, 0.0f, 0.0f);
        return body;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " then " << c.second);
        World world(desc);
        Simulator& sim = *world.sim;
        sim.GetCollisionGroups().Set(0, 0, 0); // pairs only
        Body* first = add(sim, c.first, 0.0f);
        sim.Step(kTick, 1, nullptr);
        Body* second = add(sim, c.second, 0.5f);
        sim.Step(kTick, 1, nullptr);
        const OverlapPair* pair = sim.GetBroadphase().FirstPair();
        ASSERT_NE(pair, nullptr);
        EXPECT_EQ(pair->bodyA, c.secondLeads ? second : first);
        EXPECT_EQ(pair->bodyB, c.secondLeads ? first : second);
    }
}

TEST(Broadphase, PairSlotsAreDistinctAndSymmetric) {
    World world;
    Simulator& sim = *world.sim;
    std::vector<Body*> bodies;
    for (int i = 0; i < 5; ++i) {
        bodies.push_back(sim.CreateRigidBody());
        bodies.push_back(sim.CreateAnimatedBody());
    }
    std::set<const PairSlot*> slots;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        for (std::size_t j = i + 1; j < bodies.size(); ++j) {
            PairSlot* s = sim.GetBroadphase().GetPairSlot(bodies[i], bodies[j]);
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s, sim.GetBroadphase().GetPairSlot(bodies[j], bodies[i]));
            EXPECT_TRUE(slots.insert(s).second);
        }
    }
    EXPECT_EQ(slots.size(), 45u);
    EXPECT_EQ(sim.GetBroadphase().GetPairSlot(bodies[0], bodies[0]), nullptr);
}

// A body enabled again with a hint is placed by a walk from the hint's minimum: toward the head
// when the hint lies below it, toward the tail when above. Wherever it lands, the lists stay
// sorted and the pairs are those of the boxes.
TEST(Broadphase, HintedInsertionKeepsTheAxesSorted) {
    struct Case {
        const char* name;
        Vector4 at;
        int hint; // index into the row of boxes, -1 none, 4 the body itself
        std::set<IdPair> pairs;
        bool zeroMinimum = false; // box 0 raised so that its minimum on y and z is exactly 0
    };
    // Unit boxes 0..3 at x = 0, 3, 6, 9; body 4 is moved and re-enabled.
    const Case cases[] = {
        {"above the hint", {7.5f, 0.2f, 0.1f}, 1, {}},
        {"below the hint", {1.5f, 0.2f, 0.1f}, 3, {}},
        {"past the head", {20.0f, 0.0f, 0.0f}, 0, {}},
        {"past the tail", {-5.0f, 0.0f, 0.0f}, 3, {}},
        {"overlapping the hint", {6.4f, 0.3f, 0.2f}, 2, {{2, 4}}},
        {"between two", {4.5f, 0.3f, 0.2f}, 0, {}},
        {"hint on an exact zero minimum", {3.2f, 0.0f, 0.0f}, 0, {{1, 4}}, true},
        {"its own hint", {3.4f, 0.2f, 0.1f}, 4, {{1, 4}}},
        {"no hint", {8.6f, 0.2f, 0.1f}, -1, {{3, 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world;
        Simulator& sim = *world.sim;
        sim.GetCollisionGroups().Set(0, 0, 0); // pairs only, no contacts pushing the boxes apart
        std::vector<Body*> row;
        for (int i = 0; i < 4; ++i) {
            row.push_back(AddBox(sim, false, 3.0f * static_cast<float>(i), 0.0f, 0.0f));
        }
        if (c.zeroMinimum) {
            MoveTo(row[0], 0.0f, 0.5f, 0.5f);
        }
        RigidBody* mover = sim.CreateRigidBody();
        mover->CreateGeometry();
        mover->UpdateBounds();
        mover->SetPosition({30.0f, 30.0f, 30.0f});
        row.push_back(mover);
        sim.Step(kTick, 1, nullptr);
        ASSERT_EQ(mover->GetId(), 4);

        mover->SetEnabled(0, nullptr);
        mover->SetPosition(c.at);
        mover->SetEnabled(1, c.hint >= 0 ? row[static_cast<std::size_t>(c.hint)] : nullptr);
        sim.Step(kTick, 1, nullptr);
        ExpectAxesConsistent(sim);
        EXPECT_EQ(ActualPairs(sim), c.pairs);
        EXPECT_EQ(ActualPairs(sim), BruteForcePairs(sim));

        // The next sort starts from that order: moving away ends the pairs, nothing is left over.
        mover->SetPosition({30.0f, 30.0f, 30.0f});
        sim.Step(kTick, 1, nullptr);
        ExpectAxesConsistent(sim);
        EXPECT_TRUE(ActualPairs(sim).empty());
    }
}

// A world whose bodies all sleep is not re-sorted, and its sleeping boxes are not recomputed; yet
// whatever moves a sleeping body, resizes it or takes it away shows at the next update. Unit boxes
// 0 and 1 sleep 3 apart on x without gravity; each case brings 0 within reach of 1. The boxes read
// after the step are those its update used, before its contacts push anything apart.
TEST(Broadphase, SleepingWorldIsNotResortedButSeesEveryChange) {
    enum class Change { Setter, PositionWhileAsleep, BoundsWhileAsleep, FreedAndTaken };
    struct Case {
        const char* name;
        Change change;
        Vector4 min0; // box 0's world box after the change
        Vector4 max0;
        std::set<IdPair> pairs;
    };
    const Case cases[] = {
        // Moved to x = 2.5: its box spans 2..3 and meets box 1 (2.5..3.5).
        {"teleported by a setter", Change::Setter, {2.0f, -0.5f, -0.5f}, {3.0f, 0.5f, 0.5f}, {{0, 1}}},
        // The same move written straight into the pose, as the contact pass pushes a body, asleep
        // (unparking it first, as every writer does).
        {"moved while asleep", Change::PositionWhileAsleep, {2.0f, -0.5f, -0.5f}, {3.0f, 0.5f, 0.5f}, {{0, 1}}},
        // Grown to 6 x 1 x 1 about x = 0: its box spans -3..3.
        {"bounds rebuilt while asleep", Change::BoundsWhileAsleep, {-3.0f, -0.5f, -0.5f}, {3.0f, 0.5f, 0.5f}, {{0, 1}}},
        // Box 1 freed: its slot is taken by a new box at x = 0.4, which pairs with box 0 only.
        {"freed and its slot taken", Change::FreedAndTaken, {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}, {{0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world;
        Simulator& sim = *world.sim;
        auto* box0 = static_cast<RigidBody*>(AddBox(sim, false, 0.0f, 0.0f, 0.0f));
        auto* box1 = static_cast<RigidBody*>(AddBox(sim, false, 3.0f, 0.0f, 0.0f));
        sim.Step(kTick, 1, nullptr);
        box0->Sleep();
        box1->Sleep();
        for (int i = 0; i < 3; ++i) {
            sim.Step(kTick, 1, nullptr);
        }
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_FALSE(sim.GetBroadphase().Axis(axis).IsDirty()) << "a sleeping world re-sorted on axis " << axis;
        }
        ASSERT_TRUE(ActualPairs(sim).empty());

        switch (c.change) {
        case Change::Setter: box0->SetPosition({2.5f, 0.0f, 0.0f}); break;
        case Change::PositionWhileAsleep:
            box0->Unpark();
            box0->position = {2.5f, 0.0f, 0.0f};
            break;
        case Change::BoundsWhileAsleep:
            box0->FirstGeometry()->SetBox(6.0f, 1.0f, 1.0f);
            box0->UpdateBounds();
            break;
        case Change::FreedAndTaken: {
            sim.FreeBody(box1);
            Body* taken = AddBox(sim, false, 0.4f, 0.0f, 0.0f);
            ASSERT_EQ(taken->GetId(), 1) << "the freed slot is taken again";
            static_cast<RigidBody*>(taken)->Sleep();
            break;
        }
        }
        sim.Step(kTick, 1, nullptr);
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(box0->GetWorldBoxMin()[k], c.min0[k]) << "axis " << k;
            EXPECT_FLOAT_EQ(box0->GetWorldBoxMax()[k], c.max0[k]) << "axis " << k;
        }
        EXPECT_EQ(ActualPairs(sim), c.pairs);
        EXPECT_EQ(ActualPairs(sim), BruteForcePairs(sim));
        ExpectAxesConsistent(sim);
    }
}
