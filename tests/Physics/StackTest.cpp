#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace Physics;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::World;

namespace {

// Penetration the stack solve leaves alone (0.001 |g|), plus about one tick of gravity.
constexpr float kRestPenetration = 0.0098f + 0.0015f;

SimulatorDesc StackDesc() { return {20, 5, 0, 10, 400, 40, 4, 4, 10, 20, 0, 0}; }

AnimatedBody* AddFloor(Simulator& sim) {
    AnimatedBody* floor = sim.CreateAnimatedBody();
    floor->CreateGeometry()->SetBox(20.0f, 20.0f, 1.0f);
    floor->UpdateBounds();
    floor->SetPosition({0.0f, 0.0f, -0.5f});
    return floor;
}

RigidBody* AddBox(Simulator& sim, float x, float y, float z) {
    RigidBody* box = sim.CreateRigidBody();
    box->CreateGeometry()->SetBox(1.0f, 1.0f, 1.0f);
    box->SetMass(1.0f);
    box->SetInertia({1.0f / 6.0f, 1.0f / 6.0f, 1.0f / 6.0f, 0.0f});
    box->UpdateBounds();
    box->SetPosition({x, y, z});
    return box;
}

bool AllAsleep(RigidBody* const* boxes, int n) {
    for (int i = 0; i < n; ++i) {
        if (boxes[i] != nullptr && !boxes[i]->IsAsleep()) {
            return false;
        }
    }
    return true;
}

// Steps until every box sleeps; returns the number of steps, or -1 past the limit.
int StepUntilAsleep(Simulator& sim, RigidBody* const* boxes, int n, int limit) {
    for (int step = 1; step <= limit; ++step) {
        sim.Step(kTick, 1, nullptr);
        if (AllAsleep(boxes, n)) {
            return step;
        }
    }
    return -1;
}

// A column of five unit boxes dropped from 1 cm gaps onto an animated floor.
struct Column {
    World world{StackDesc(), &kGameGravity};
    Simulator& sim = *world.sim;
    AnimatedBody* floor = AddFloor(sim);
    RigidBody* boxes[5] = {};

    Column() {
        for (int i = 0; i < 5; ++i) {
            boxes[i] = AddBox(sim, 0.0f, 0.0f, 0.5f + static_cast<float>(i) + 0.01f * static_cast<float>(i + 1));
        }
    }
};

} // namespace

TEST(ContactStacks, ColumnRestsWithinTheSlopAndSleepsAsOneStack) {
    Column c;
    const int steps = StepUntilAsleep(c.sim, c.boxes, 5, 1000);
    // Measured: the stack settles over its 60-step window and sleeps as a whole at step 119.
    ASSERT_GT(steps, 0);
    EXPECT_LE(steps, 125);

    ASSERT_EQ(c.sim.Stacks().count, 1);
    EXPECT_EQ(c.sim.Stacks().head->nodeCount, 5);
    EXPECT_EQ(c.sim.GroundedList().nodeCount, 0);

    float below = 0.0f; // top of the floor
    for (RigidBody* box : c.boxes) {
        const float penetration = below - (box->GetPosition().z - 0.5f);
        EXPECT_GT(penetration, 0.0f);
        EXPECT_LE(penetration, kRestPenetration);
        // One contact point per pair, at a corner, lets the boxes creep sideways a little.
        EXPECT_NEAR(box->GetPosition().x, 0.0f, 0.03f);
        below = box->GetPosition().z + 0.5f;
    }

    // Asleep, the column is frozen: nothing moves over further steps.
    const float top = c.boxes[4]->GetPosition().z;
    for (int i = 0; i < 100; ++i) {
        c.sim.Step(kTick, 1, nullptr);
    }
    EXPECT_EQ(c.boxes[4]->GetPosition().z, top);
    EXPECT_TRUE(AllAsleep(c.boxes, 5));
}

TEST(ContactStacks, ImpulseOnTheTopBoxWakesAndResolvesTheStack) {
    Column c;
    ASSERT_GT(StepUntilAsleep(c.sim, c.boxes, 5, 1000), 0);
    const float bottomX = c.boxes[0]->GetPosition().x;

    c.boxes[4]->ApplyImpulseAtPoint({1.0f, 0.0f, 0.0f, 0.0f}, c.boxes[4]->GetPosition());
    ASSERT_FALSE(c.boxes[4]->IsAsleep());
    c.sim.Step(kTick, 1, nullptr);
    ASSERT_EQ(c.sim.Stacks().count, 1);
    EXPECT_EQ(c.sim.Stacks().head->allAsleep, 0);
    // Friction from the box below has already slowed the top box in the stack solve.
    EXPECT_LT(c.boxes[4]->GetLinearVelocity().x, 1.0f);
    EXPECT_GT(c.boxes[4]->GetLinearVelocity().x, 0.5f);

    const int steps = StepUntilAsleep(c.sim, c.boxes, 5, 2000);
    ASSERT_GT(steps, 0);
    // The top box slid a few centimetres (at most v² / (2 μ g) = 0.1) and the column still stands.
    EXPECT_GT(c.boxes[4]->GetPosition().x, 0.02f);
    EXPECT_LT(c.boxes[4]->GetPosition().x, 0.2f);
    EXPECT_NEAR(c.boxes[0]->GetPosition().x, bottomX, 0.02f);
    EXPECT_NEAR(c.boxes[4]->GetPosition().z, 4.45f, 0.02f);
}

TEST(ContactStacks, FreeingTheMiddleBoxDropsTheBoxesAbove) {
    Column c;
    ASSERT_GT(StepUntilAsleep(c.sim, c.boxes, 5, 1000), 0);
    const float secondTop = c.boxes[1]->GetPosition().z + 0.5f;

    c.sim.FreeBody(c.boxes[2]);
    c.boxes[2] = nullptr;
    c.sim.Step(kTick, 1, nullptr);
    // Box 3 lost every support and wakes at once. Box 4 still holds three supports on box 3: it
    // sleeps on until box 3 has dropped away from under it.
    EXPECT_FALSE(c.boxes[3]->IsAsleep());
    EXPECT_TRUE(c.boxes[4]->IsAsleep());
    int woke = 0;
    for (int i = 1; i <= 30 && c.boxes[4]->IsAsleep(); ++i) {
        c.sim.Step(kTick, 1, nullptr);
        woke = i;
    }
    EXPECT_FALSE(c.boxes[4]->IsAsleep());
    EXPECT_LT(woke, 30);

    const int steps = StepUntilAsleep(c.sim, c.boxes, 5, 3000);
    ASSERT_GT(steps, 0);
    const float penetration = secondTop - (c.boxes[3]->GetPosition().z - 0.5f);
    EXPECT_GT(penetration, 0.0f);
    EXPECT_LE(penetration, kRestPenetration);
    EXPECT_NEAR(c.boxes[4]->GetPosition().z - c.boxes[3]->GetPosition().z, 1.0f, kRestPenetration);
    ASSERT_EQ(c.sim.Stacks().count, 1);
    EXPECT_EQ(c.sim.Stacks().head->nodeCount, 4);
}

TEST(ContactStacks, SecondBoxTurnsAGroundedBodyIntoAStack) {
    World world(StackDesc(), &kGameGravity);
    Simulator& sim = *world.sim;
    AddFloor(sim);
    RigidBody* lower = AddBox(sim, 0.0f, 0.0f, 0.505f);
    for (int i = 0; i < 30; ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    ASSERT_NE(lower->stackNode, nullptr);
    EXPECT_EQ(lower->stackNode->stack, &sim.GroundedList());
    EXPECT_EQ(sim.Stacks().count, 0);

    RigidBody* upper = AddBox(sim, 0.0f, 0.0f, 1.5f);
    for (int i = 0; i < 30; ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    ASSERT_NE(upper->stackNode, nullptr);
    ASSERT_EQ(sim.Stacks().count, 1);
    const ContactStack* stack = sim.Stacks().head;
    EXPECT_EQ(stack->nodeCount, 2);
    EXPECT_EQ(lower->stackNode->stack, stack);
    EXPECT_EQ(upper->stackNode->stack, stack);
    EXPECT_EQ(upper->stackNode->supportOnly, 0);
    EXPECT_EQ(lower->stackNode->supportOnly, 0);
    EXPECT_EQ(sim.GroundedList().nodeCount, 0);

    bool namesLower = false;
    for (const SupportRecord& r : upper->supports) {
        namesLower = namesLower || (r.InUse() && r.supporter == lower);
    }
    EXPECT_TRUE(namesLower);
}

TEST(ContactStacks, PlankAcrossTwoColumnsMergesThemIntoOneStack) {
    World world(StackDesc(), &kGameGravity);
    Simulator& sim = *world.sim;
    AddFloor(sim);
    RigidBody* boxes[5] = {AddBox(sim, -1.0f, 0.0f, 0.505f), AddBox(sim, -1.0f, 0.0f, 1.515f),
                           AddBox(sim, 1.0f, 0.0f, 0.505f), AddBox(sim, 1.0f, 0.0f, 1.515f), nullptr};
    for (int i = 0; i < 60; ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    EXPECT_EQ(sim.Stacks().count, 2);

    RigidBody* plank = sim.CreateRigidBody();
    plank->CreateGeometry()->SetBox(3.0f, 1.0f, 0.5f);
    plank->SetMass(1.0f);
    plank->SetInertia({(1.0f + 0.25f) / 12.0f, (9.0f + 0.25f) / 12.0f, (9.0f + 1.0f) / 12.0f, 0.0f});
    plank->UpdateBounds();
    plank->SetPosition({0.0f, 0.0f, 2.26f});
    boxes[4] = plank;
    ASSERT_GT(StepUntilAsleep(sim, boxes, 5, 2000), 0);
    ASSERT_EQ(sim.Stacks().count, 1);
    EXPECT_EQ(sim.Stacks().head->nodeCount, 5);
    EXPECT_NEAR(plank->GetPosition().z, 2.25f, 0.03f);
}

namespace {

// The grounded list and then every stack in list order, each as its bodies in node order; a
// support-only node is starred. For example "G[X] [Y S*]".
std::string Layout(Simulator& sim, RigidBody* const* bodies, const char* names) {
    auto nodes = [&](const ContactStack& stack) {
        std::string out = "[";
        for (const StackNode* n = stack.firstNode; n != nullptr; n = n->next) {
            if (out.size() > 1) {
                out += ' ';
            }
            for (int i = 0; names[i] != '\0'; ++i) {
                if (bodies[i] == n->body) {
                    out += names[i];
                }
            }
            if (n->supportOnly != 0) {
                out += '*';
            }
        }
        return out + "]";
    };
    std::string out = "G" + nodes(sim.GroundedList());
    int counted = 0;
    for (const ContactStack* s = sim.Stacks().head; s != nullptr; s = s->next) {
        out += " " + nodes(*s);
        EXPECT_EQ(s->nodeCount,
                  static_cast<int32_t>(std::count_if(out.begin() + static_cast<long>(out.rfind('[')), out.end(),
                                                     [](char ch) { return std::isalpha(ch); })));
        ++counted;
    }
    EXPECT_EQ(counted, sim.Stacks().count);
    return out;
}

} // namespace

TEST(ContactStacks, SupportsJoinAndMergeStacks) {
    // Each case rests bodies on one another ("XS": X on S, "XW": X on the world body), then puts
    // S to sleep and rests X on S. Only a first support on a supporter that already has a node
    // wakes that supporter.
    struct Case {
        const char* name;
        std::vector<const char*> setup;
        const char* last;
        const char* layout;
        bool wakesS;
    };
    const Case cases[] = {
        {"first support on the world", {}, "XW", "G[X]", false},
        {"first support on a body without a node", {}, "XS", "G[] [X S*]", false},
        {"first support on a stacked body", {"SY"}, "XS", "G[] [S Y* X]", true},
        {"first support on a grounded body", {"SW"}, "XS", "G[] [X S]", true},
        {"grounded body on a body without a node", {"XW"}, "XS", "G[] [X S*]", false},
        {"stacked body on a body without a node", {"XY"}, "XS", "G[] [X Y* S*]", false},
        {"stacked body on a grounded body", {"XY", "SW"}, "XS", "G[] [X Y* S]", false},
        {"grounded body on a grounded body", {"XW", "SW"}, "XS", "G[] [X S]", false},
        {"grounded body on a stacked body", {"SY", "XW"}, "XS", "G[] [S Y* X]", false},
        {"again within one stack", {"XS"}, "XS", "G[] [X S*]", false},
        {"bridging two stacks", {"XY", "SZ"}, "XS", "G[] [X Y* S Z*]", false},
        {"support-only body finds its own support", {"SX"}, "XW", "G[] [S X]", false},
    };
    const char names[] = "XSYZ";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world(StackDesc(), &kGameGravity);
        Simulator& sim = *world.sim;
        RigidBody* bodies[4];
        for (RigidBody*& b : bodies) {
            b = sim.CreateRigidBody();
        }
        auto rest = [&](const char* pair) {
            RigidBody* owner = bodies[std::strchr(names, pair[0]) - names];
            Body* supporter =
                pair[1] == 'W' ? static_cast<Body*>(sim.GetWorldBody()) : bodies[std::strchr(names, pair[1]) - names];
            SupportRecord t;
            t.Set(supporter, {0.0f, 0.0f, -0.5f, 0.0f}, {0.0f, 0.0f, 0.5f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}, 0, 0);
            EXPECT_EQ(owner->AddSupport(t), 1);
        };
        for (const char* pair : c.setup) {
            rest(pair);
        }
        bodies[1]->Sleep();
        rest(c.last);
        EXPECT_EQ(Layout(sim, bodies, names), c.layout);
        EXPECT_EQ(!bodies[1]->IsAsleep(), c.wakesS);
    }
}

TEST(ContactStacks, RebuildSplitsAStackIntoItsConnectedPieces) {
    // Bodies rest on one another as listed ("XY": X on Y); then the stack is rebuilt. "drop XS"
    // releases X's support on S first; "lose X" marks X's node as left without supports.
    struct Case {
        const char* name;
        std::vector<const char*> rests;
        const char* change;
        const char* layout;
    };
    const Case cases[] = {
        // X's records are walked in slot order, and its later support sits in the lower slot.
        {"bridge kept", {"XY", "SZ", "XS"}, "", "G[] [X S Y* Z*]"},
        {"bridge gone", {"XY", "SZ", "XS"}, "drop XS", "G[] [X Y*] [S Z*]"},
        {"a column", {"XY", "YZ"}, "", "G[] [X Y Z*]"},
        {"top of a column unsupported", {"XY", "YZ"}, "lose X", "G[] [Y Z*]"},
    };
    const char names[] = "XSYZ";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world(StackDesc(), &kGameGravity);
        Simulator& sim = *world.sim;
        RigidBody* bodies[4];
        for (RigidBody*& b : bodies) {
            b = sim.CreateRigidBody();
        }
        auto body = [&](char name) { return bodies[std::strchr(names, name) - names]; };
        for (const char* pair : c.rests) {
            // Apart on the owner, so that a second support does not take the first one's slot.
            const float x = 0.3f * static_cast<float>(std::strchr(names, pair[1]) - names);
            SupportRecord t;
            t.Set(body(pair[1]), {x, 0.0f, -0.5f, 0.0f}, {x, 0.0f, 0.5f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}, 0, 0);
            ASSERT_EQ(body(pair[0])->AddSupport(t), 1);
        }
        ASSERT_EQ(sim.Stacks().count, 1);
        ContactStack* stack = sim.Stacks().head;
        stack->solved = 1;
        if (std::string(c.change) == "drop XS") {
            for (SupportRecord& r : body('X')->supports) {
                if (r.InUse() && r.supporter == body('S')) {
                    r.Release();
                }
            }
        } else if (std::string(c.change) == "lose X") {
            body('X')->stackNode->unsupported = 1;
        }
        stack->Rebuild();
        EXPECT_EQ(stack->nodeCount, 0);
        EXPECT_EQ(stack->firstNode, nullptr);
        sim.FreeStack(stack);
        EXPECT_EQ(Layout(sim, bodies, names), c.layout);
        for (const ContactStack* s = sim.Stacks().head; s != nullptr; s = s->next) {
            EXPECT_EQ(s->solved, 1) << "a piece keeps the solved mark of its stack";
        }
        if (std::string(c.change) == "lose X") {
            EXPECT_EQ(body('X')->stackNode, nullptr);
            for (const SupportRecord& r : body('X')->supports) {
                EXPECT_FALSE(r.InUse());
            }
        }
    }
}
