#include "Physics/ContactStack.h"
#include "Physics/Inertia.h"
#include "Physics/SensorCast.h"
#include "PhysicsTestSupport.h"
#include "StaticMeshSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

using namespace Physics;
using namespace PhysicsTest;

namespace {

constexpr float kPi = 3.14159265f;

// What the triangle query hands the engine, and what the engine asked for.
struct Supply {
    TriangleSoup soup;
    int calls = 0;
    Body* lastBody = nullptr;
    Vector4 lastMin;
    Vector4 lastMax;
    // Faults a careless supplier might make.
    int32_t indexCountOverride = 0;
    bool overrideIndexCount = false;
    int32_t triangleCountOverride = 0;
    bool overrideTriangleCount = false;
    bool nullArrays = false;
};

Supply*& CurrentSupply() {
    static Supply* supply = nullptr;
    return supply;
}

void QueryTriangles(const Vector4& min, const Vector4& max, int32_t** indexes, CollisionTriangle** triangles,
                    float** vertices, int32_t* indexCount, int32_t* triangleCount, Body* body) {
    Supply& s = *CurrentSupply();
    ++s.calls;
    s.lastBody = body;
    s.lastMin = min;
    s.lastMax = max;
    *indexes = s.nullArrays ? nullptr : s.soup.indexes.data();
    *triangles = s.nullArrays ? nullptr : s.soup.triangles.data();
    *vertices = s.nullArrays ? nullptr : s.soup.vertices.data();
    *indexCount = s.overrideIndexCount ? s.indexCountOverride : static_cast<int32_t>(s.soup.indexes.size());
    *triangleCount = s.overrideTriangleCount ? s.triangleCountOverride : static_cast<int32_t>(s.soup.triangles.size());
}

// Installs a supply for the length of a test.
struct SuppliedWorld {
    explicit SuppliedWorld(const SimulatorDesc& desc = GameDesc()) : world(desc, &kGameGravity) {
        CurrentSupply() = &supply;
        world->SetTriangleQueryCallback(&QueryTriangles);
    }
    ~SuppliedWorld() { CurrentSupply() = nullptr; }
    Simulator& sim() { return *world.sim; }

    Supply supply;
    World world;
};

struct Seen {
    Body* bodyA;
    Body* bodyB;
    int32_t codeA;
    int32_t codeB;
    Geometry* geometryA;
    Geometry* geometryB;
    int32_t materialA;
    int32_t materialB;
    Vector4 normal;
};

std::vector<Seen>& Reports() {
    static std::vector<Seen> reports;
    return reports;
}

void Record(ContactReport* r) {
    Reports().push_back(
        {r->bodyA, r->bodyB, r->codeA, r->codeB, r->geometryA, r->geometryB, r->materialA, r->materialB, r->normal});
}

RigidBody* AddBox(Simulator& sim, const Vector4& size, const Vector4& at, float mass = 1.0f) {
    RigidBody* body = sim.CreateRigidBody();
    body->CreateGeometry()->SetBoxSize(size);
    body->SetMass(mass);
    body->SetInertia(BoxInertia(size, mass));
    body->UpdateBounds();
    body->SetPosition(at);
    return body;
}

int SupportsInUse(const RigidBody& body) {
    int n = 0;
    for (const SupportRecord& r : body.supports) {
        n += r.InUse() ? 1 : 0;
    }
    return n;
}

// Lowest point of a box body along z.
float BoxBottom(const RigidBody& body, const Vector4& half) {
    const Matrix3& r = body.rotation;
    return body.GetPosition().z -
           (half.x * std::fabs(r.row[0].z) + half.y * std::fabs(r.row[1].z) + half.z * std::fabs(r.row[2].z));
}

// Two half fans of 17 rays, as a car's wheels carry them, read by the body's controller.
class WheelReader : public ControllerCallback {
public:
    static constexpr float kLength = 1.5f;
    static constexpr float kHeight = 0.2f;

    explicit WheelReader(RigidBody* body) : body_(body) {
        for (int wheel = 0; wheel < 2; ++wheel) {
            const Vector4 origin{0.0f, wheel == 0 ? -0.6f : 0.6f, kHeight};
            for (int j = 0; j < 17; ++j) {
                const float a = static_cast<float>(j) * kPi / 16.0f;
                Sensor* s = body->CreateSensor();
                s->SetRay(origin, Vector4{0.0f, -std::cos(a), -std::sin(a)} * kLength);
                rays[wheel][j] = s;
            }
        }
        body->CreateController(this, 0);
        body->UpdateBounds();
    }

    void OnTick(Controller*, float) override {
        ++ticks;
        const Sensor* down = rays[0][8];
        if (body_->IsAsleep() || down->GetHitDepth() <= 0.0f) {
            return;
        }
        ++downHits;
        depth = down->GetHitDepth();
        point = down->GetHitPoint();
        normal = down->GetHitNormal();
        material = down->GetHitMaterial();
        hitBody = down->GetHitBody();
        hitAnimated = down->GetHitAnimatedBody();
        // The origin's height when the ray was cast: the pose before this tick's move.
        Matrix4 m;
        body_->GetMatrix(m);
        originHeight = TransformPoint(down->GetOrigin(), m).z - body_->GetLinearVelocity().z * kTick;
        speed = Length(body_->GetLinearVelocity());
    }

    Sensor* rays[2][17] = {};
    int ticks = 0;
    int downHits = 0;
    float depth = 0.0f;
    float originHeight = 0.0f;
    float speed = 0.0f;
    Vector4 point;
    Vector4 normal;
    int32_t material = -1;
    Body* hitBody = nullptr;
    AnimatedBody* hitAnimated = nullptr;

private:
    RigidBody* body_;
};

} // namespace

// The car body on a two-triangle ground: it lands from a metre without tunnelling, its straight-
// down ray reads the ground inside the controller, and the contact reports name the world body
// and the triangle's material.
TEST(StaticWorld, BoxWithWheelRaysLandsAndReadsTheGround) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    w.supply.soup.AddQuad(0.0f, 0.0f, 20.0f, 0.0f, 3, 4);
    sim.GetCollisionGroups().Set(0, -1, 3);
    Reports().clear();
    sim.SetContactCallback(&Record);

    const Vector4 size{1.0f, 2.0f, 0.5f};
    RigidBody* car = AddBox(sim, size, {0.0f, 0.0f, 1.0f + 0.25f}, 100.0f);
    car->GetGeometries().head->SetMaterial(1);
    WheelReader reader(car);

    float lowest = 1.0f;
    for (int i = 0; i < 300; ++i) {
        sim.Step(kTick, 1, nullptr);
        lowest = std::fmin(lowest, BoxBottom(*car, size * 0.5f));
    }
    EXPECT_NEAR(BoxBottom(*car, size * 0.5f), 0.0f, 0.01f);
    EXPECT_GT(lowest, -0.05f) << "the box sank into the ground on landing";

    // Ray 8 points straight down from 0.2 above the centre.
    ASSERT_GT(reader.downHits, 0);
    EXPECT_LT(reader.speed, 0.05f);
    EXPECT_NEAR(reader.depth, WheelReader::kLength - reader.originHeight, 1e-3f);
    EXPECT_NEAR(reader.point.z, 0.0f, 1e-5f);
    EXPECT_NEAR(reader.normal.z, 1.0f, 1e-5f);
    EXPECT_TRUE(reader.material == 3 || reader.material == 4);
    EXPECT_EQ(reader.hitBody, sim.GetWorldBody());
    EXPECT_EQ(reader.hitAnimated, sim.GetWorldBody());

    ASSERT_FALSE(Reports().empty());
    for (const Seen& s : Reports()) {
        EXPECT_EQ(s.bodyA, car);
        EXPECT_EQ(s.bodyB, sim.GetWorldBody());
        EXPECT_EQ(s.codeA, 1);
        EXPECT_EQ(s.codeB, 0);
        EXPECT_EQ(s.geometryA, car->GetGeometries().head);
        EXPECT_EQ(s.geometryB, nullptr);
        EXPECT_EQ(s.materialA, 1);
        EXPECT_TRUE(s.materialB == 3 || s.materialB == 4) << s.materialB;
        EXPECT_GT(s.normal.z, 0.99f);
    }
    // The query saw the body's world box, which reaches down along the rays.
    EXPECT_EQ(w.supply.lastBody, car);
    EXPECT_NEAR(w.supply.lastMin.z, car->GetWorldBoxMin().z, 1e-4f);
    EXPECT_LT(w.supply.lastMin.z, -1.0f);
}

// On the first tick of a fresh body (gravity not yet gathered) a ground contact becomes a support
// and a ceiling contact a push-out by the full depth.
TEST(StaticWorld, GroundSupportsAndCeilingPushesDown) {
    {
        SuppliedWorld w;
        Simulator& sim = w.sim();
        w.supply.soup.AddQuad(0.0f, 0.0f, 10.0f, 0.0f, 5);
        sim.GetCollisionGroups().Set(0, -1, 3);
        Reports().clear();
        sim.SetContactCallback(&Record);
        RigidBody* box = AddBox(sim, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.49f});
        sim.Step(kTick, 1, nullptr);
        EXPECT_EQ(box->GetPosition().z, 0.49f);
        ASSERT_EQ(SupportsInUse(*box), 1);
        const SupportRecord& support = *std::find_if(std::begin(box->supports), std::end(box->supports),
                                                     [](const SupportRecord& r) { return r.InUse(); });
        EXPECT_EQ(support.supporter, sim.GetWorldBody());
        EXPECT_EQ(support.supportClass, kSupportStatic);
        EXPECT_EQ(support.supporterMaterial, 5);
        ASSERT_NE(box->stackNode, nullptr);
        EXPECT_EQ(box->stackNode->stack, &sim.GroundedList());
        EXPECT_EQ(box->pushedLastTick, 0);
        ASSERT_EQ(Reports().size(), 1u);
        EXPECT_EQ(Reports()[0].materialB, 5);
    }
    {
        SuppliedWorld w;
        Simulator& sim = w.sim();
        // Wound either way: triangles are two-sided.
        w.supply.soup.Add({-10.0f, -10.0f, 1.9f}, {10.0f, -10.0f, 1.9f}, {0.0f, 10.0f, 1.9f});
        RigidBody* box = AddBox(sim, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.45f});
        sim.Step(kTick, 1, nullptr);
        EXPECT_NEAR(box->GetPosition().z, 1.40f, 1e-6f);
        EXPECT_EQ(box->pushedLastTick, 1);
        EXPECT_EQ(SupportsInUse(*box), 0);
    }
}

// The group value against "no group" decides solving and reporting; the rays see the ground in
// every case, since they are cast before the value is looked at.
TEST(StaticWorld, GroupValueDecidesSolveAndReportButNotRays) {
    struct Case {
        int32_t value;
        bool solved;
        bool reported;
    };
    const Case cases[] = {{0, false, false}, {1, true, false}, {2, false, true}, {3, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        SuppliedWorld w;
        Simulator& sim = w.sim();
        w.supply.soup.AddQuad(0.0f, 0.0f, 10.0f, 0.0f);
        sim.GetCollisionGroups().Set(0, -1, c.value);
        Reports().clear();
        sim.SetContactCallback(&Record);
        // Sunk 5 cm and falling at 1 m/s.
        RigidBody* box = AddBox(sim, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.45f});
        Sensor* ray = box->CreateSensor();
        ray->SetRay({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
        struct Probe : ControllerCallback {
            const Sensor* s = nullptr;
            float depth = 0.0f;
            Body* body = nullptr;
            void OnTick(Controller*, float) override {
                depth = s->GetHitDepth();
                body = s->GetHitBody();
            }
        } probe;
        probe.s = ray;
        box->CreateController(&probe, 0);
        box->UpdateBounds();
        box->SetLinearVelocity({0.0f, 0.0f, -1.0f});
        sim.Step(kTick, 1, nullptr);
        EXPECT_EQ(box->GetLinearVelocity().z > -1.0f, c.solved);
        EXPECT_EQ(!Reports().empty(), c.reported);
        EXPECT_NEAR(probe.depth, 0.55f, 1e-4f);
        EXPECT_EQ(probe.body, sim.GetWorldBody());
        // After the step the hit is cleared; normal and point keep the last hit.
        EXPECT_EQ(ray->GetHitDepth(), 0.0f);
        EXPECT_EQ(ray->GetHitBody(), nullptr);
        EXPECT_NEAR(ray->GetHitNormal().z, 1.0f, 1e-6f);
        EXPECT_NEAR(ray->GetHitPoint().z, 0.0f, 1e-6f);
    }
}

// An awake body is queried once per tick with its world box; an asleep one that was not pushed
// is not queried at all and its rays see nothing of the ground.
TEST(StaticWorld, QueriesAwakeBodiesOncePerTick) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    w.supply.soup.AddQuad(0.0f, 0.0f, 10.0f, 0.0f);
    RigidBody* box = AddBox(sim, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 3.0f});
    Sensor* ray = box->CreateSensor();
    ray->SetRay({}, {0.0f, 0.0f, -5.0f});
    box->UpdateBounds();
    for (int i = 1; i <= 5; ++i) {
        sim.Step(kTick, 1, nullptr);
        EXPECT_EQ(w.supply.calls, i);
    }
    EXPECT_EQ(w.supply.lastBody, box);

    box->Sleep();
    box->pushedLastTick = 0;
    const int before = w.supply.calls;
    struct Probe : ControllerCallback {
        const Sensor* s = nullptr;
        int hits = 0;
        void OnTick(Controller*, float) override { hits += s->GetHitDepth() > 0.0f ? 1 : 0; }
    } probe;
    probe.s = ray;
    box->CreateController(&probe, 0);
    sim.Step(kTick, 1, nullptr);
    ASSERT_TRUE(box->IsAsleep());
    EXPECT_EQ(w.supply.calls, before);
    EXPECT_EQ(probe.hits, 0);
}

// Without a triangle query the engine's own tree is asked; empty, it gives nothing at all.
// Filled, it gives the triangles of every leaf the body's box touches, each once.
TEST(StaticWorld, TriangleTreeStandsInForTheQuery) {
    {
        World world(GameDesc(), &kGameGravity);
        RigidBody* box = AddBox(*world.sim, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.45f});
        Sensor* ray = box->CreateSensor();
        ray->SetRay({}, {0.0f, 0.0f, -2.0f});
        box->UpdateBounds();
        world->Step(kTick, 1, nullptr);
        world->Step(kTick, 1, nullptr);
        EXPECT_EQ(SupportsInUse(*box), 0);
        EXPECT_LT(box->GetLinearVelocity().z, 0.0f);
        EXPECT_EQ(ray->hitNormal.z, 0.0f) << "a ray was cast against the empty tree";
    }
    World world(GameDesc(), &kGameGravity);
    TriangleTree& tree = world->GetBroadphase().GetTriangleTree();
    TriangleSoup soup;
    soup.AddQuad(0.0f, 0.0f, 10.0f, 0.0f, 7);
    tree.vertices = soup.vertices;
    tree.triangles = soup.triangles;
    // Two leaves side by side both listing the whole quad, plus indexes that name nothing.
    tree.root.min[0] = tree.root.min[1] = -10.0f;
    tree.root.max[0] = tree.root.max[1] = 10.0f;
    tree.root.min[2] = -1.0f;
    tree.root.max[2] = 1.0f;
    tree.root.children[0] = 0;
    tree.root.children[2] = 1;
    tree.root.children[3] = 57;
    for (int i = 0; i < 2; ++i) {
        TriangleTreeNode leaf;
        leaf.tree = &tree;
        leaf.min[0] = i == 0 ? -10.0f : 0.0f;
        leaf.max[0] = i == 0 ? 0.0f : 10.0f;
        leaf.min[1] = -10.0f;
        leaf.max[1] = 10.0f;
        leaf.min[2] = -1.0f;
        leaf.max[2] = 1.0f;
        leaf.triangles = {1, 0, 1, 2, -3};
        tree.nodes.push_back(leaf);
    }
    RigidBody* box = AddBox(*world.sim, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f});
    Reports().clear();
    world->SetContactCallback(&Record);
    world->GetCollisionGroups().Set(0, -1, 3);
    for (int i = 0; i < 300; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_NEAR(box->GetPosition().z, 0.5f, 0.02f);
    ASSERT_FALSE(Reports().empty());
    EXPECT_EQ(Reports().back().materialB, 7);
}

// Leaves are found in child-slot order; touching boxes count; missing children, indexes past the
// node vector and loops are not followed.
TEST(StaticWorld, TriangleTreeQueryWalksTheTree) {
    TriangleTree tree;
    auto box = [](TriangleTreeNode& n, float x0, float x1) {
        n.min[0] = x0;
        n.max[0] = x1;
        n.min[1] = n.min[2] = -1.0f;
        n.max[1] = n.max[2] = 1.0f;
    };
    box(tree.root, 0.0f, 10.0f);
    tree.nodes.resize(4);
    box(tree.nodes[0], 5.0f, 10.0f);
    tree.nodes[0].triangles = {0};
    box(tree.nodes[1], 0.0f, 5.0f);
    tree.nodes[1].triangles = {1};
    box(tree.nodes[2], 0.0f, 10.0f); // inner node that loops back to itself
    tree.nodes[2].children[0] = 2;
    tree.nodes[2].children[1] = 3;
    box(tree.nodes[3], 2.0f, 3.0f);
    tree.nodes[3].triangles = {3};
    tree.root.children[0] = 0;
    tree.root.children[1] = -1;
    tree.root.children[2] = 1;
    tree.root.children[3] = 2;

    SimulatorAllocator* allocator = &MallocAllocator::Instance();
    WorkArray<TriangleTreeNode*> leaves;
    ASSERT_TRUE(leaves.Init(allocator, 1, 1));
    // Touches leaf 1 at x = 5 and leaf 0 from x = 5 on.
    tree.Query(leaves, {5.0f, 0.0f, 0.0f}, {6.0f, 0.0f, 0.0f}, 0);
    ASSERT_EQ(leaves.Size(), 2);
    EXPECT_EQ(leaves[0], &tree.nodes[0]);
    EXPECT_EQ(leaves[1], &tree.nodes[1]);

    leaves.Clear();
    tree.Query(leaves, {2.5f, 0.0f, 0.0f}, {2.5f, 0.0f, 0.0f}, 0);
    ASSERT_GE(leaves.Size(), 2);
    EXPECT_EQ(leaves[0], &tree.nodes[1]);
    for (int i = 1; i < leaves.Size(); ++i) {
        EXPECT_EQ(leaves[i], &tree.nodes[3]);
    }

    leaves.Clear();
    tree.Query(leaves, {0.0f, 2.0f, 0.0f}, {10.0f, 3.0f, 0.0f}, 0);
    EXPECT_EQ(leaves.Size(), 0);

    tree.Clear();
    leaves.Clear();
    tree.Query(leaves, {-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f}, 0);
    EXPECT_EQ(leaves.Size(), 0);
}

namespace {

// Reads one sensor inside the controller, where the hit of the current tick is still there.
class RayReader : public ControllerCallback {
public:
    explicit RayReader(const Sensor* sensor) : sensor_(sensor) {}
    void OnTick(Controller*, float) override {
        depth = sensor_->GetHitDepth();
        body = sensor_->GetHitBody();
        point = sensor_->GetHitPoint();
    }
    float depth = 0.0f;
    Body* body = nullptr;
    Vector4 point;

private:
    const Sensor* sensor_;
};

} // namespace

// A ray crossing a body and the ground keeps the nearer hit, with the body it belongs to.
// Sensors on an AnimatedBody are never cast.
TEST(StaticWorld, RayKeepsTheNearerOfABodyAndTheGround) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    w.supply.soup.AddQuad(0.0f, 0.0f, 10.0f, 0.0f, 2);
    AnimatedBody* block = sim.CreateAnimatedBody();
    block->CreateGeometry()->SetBox(1.0f, 1.0f, 1.0f);
    Sensor* blockRay = block->CreateSensor();
    blockRay->SetRay({}, {0.0f, 0.0f, -2.0f});
    block->UpdateBounds();
    block->SetPosition({0.0f, 0.0f, 0.5f});

    RigidBody* probe = AddBox(sim, {0.2f, 0.2f, 0.2f}, {0.0f, 0.0f, 2.0f});
    probe->SetGravityEnabled(false);
    Sensor* ray = probe->CreateSensor();
    ray->SetRay({}, {0.0f, 0.0f, -3.0f});
    RayReader reader(ray);
    probe->CreateController(&reader, 0);
    probe->UpdateBounds();

    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(reader.body, block);
    EXPECT_NEAR(reader.depth, 2.0f, 1e-5f);
    EXPECT_EQ(blockRay->GetHitDepth(), 0.0f);
    EXPECT_EQ(blockRay->GetHitBody(), nullptr);

    // The block moved aside, still inside the probe's world box: the ground is hit now.
    block->SetPosition({0.55f, 0.0f, 0.5f});
    probe->SetPosition({0.0f, 0.0f, 2.0f});
    sim.Step(kTick, 1, nullptr);
    sim.Step(kTick, 1, nullptr);
    EXPECT_EQ(reader.body, sim.GetWorldBody());
    EXPECT_NEAR(reader.depth, 1.0f, 1e-3f);
    EXPECT_NEAR(reader.point.z, 0.0f, 1e-5f);
    EXPECT_EQ(blockRay->GetHitDepth(), 0.0f);
}

// What a careless triangle supplier can hand over: the pass reads only what lies inside the
// arrays, and a body over the valid part of the ground still lands on it.
TEST(StaticWorld, BadTriangleSuppliesAreReadSafely) {
    struct Case {
        const char* name;
        void (*spoil)(Supply& s);
        bool lands;
    };
    const Case cases[] = {
        {"indexes past the table and negative",
         [](Supply& s) {
             s.soup.indexes.insert(s.soup.indexes.begin(), {5000, -1, 2, -2147483647 - 1, 2147483647});
         },
         true},
        {"triangles naming negative vertices",
         [](Supply& s) {
             s.soup.triangles.push_back({{0, -1, 2}, 0, 0, 0});
             s.soup.triangles.push_back({{-100000, 1, 2}, 0, 0, 0});
             s.soup.indexes.insert(s.soup.indexes.begin(), {2, 3});
         },
         true},
        {"triangle count larger than the list uses",
         [](Supply& s) {
             // 1500 indexes (beyond the game's 999), duplicates included.
             for (int i = 0; i < 1498; ++i) {
                 s.soup.indexes.push_back(i % 2);
             }
         },
         true},
        {"zero-area triangles lying in the ground",
         [](Supply& s) {
             s.soup.Add({0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f});
             s.soup.Add({0.1f, 0.1f, 0.0f}, {0.1f, 0.1f, 0.0f}, {0.1f, 0.1f, 0.0f});
             std::swap(s.soup.indexes.front(), s.soup.indexes.back());
         },
         true},
        {"table count too small",
         [](Supply& s) {
             s.overrideTriangleCount = true;
             s.triangleCountOverride = 1;
         },
         true},
        {"negative table count",
         [](Supply& s) {
             s.overrideTriangleCount = true;
             s.triangleCountOverride = -5;
         },
         false},
        {"negative index count",
         [](Supply& s) {
             s.overrideIndexCount = true;
             s.indexCountOverride = -7;
         },
         false},
        {"no arrays but counts", [](Supply& s) { s.nullArrays = true; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SuppliedWorld w;
        Simulator& sim = w.sim();
        w.supply.soup.AddQuad(0.0f, 0.0f, 10.0f, 0.0f, 1);
        c.spoil(w.supply);
        RigidBody* box = AddBox(sim, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f});
        Sensor* ray = box->CreateSensor();
        ray->SetRay({}, {0.0f, 0.0f, -2.0f});
        box->UpdateBounds();
        for (int i = 0; i < 150; ++i) {
            sim.Step(kTick, 1, nullptr);
        }
        ASSERT_TRUE(IsFinite(box->GetPosition()));
        ASSERT_TRUE(IsFinite(box->GetLinearVelocity()));
        ASSERT_TRUE(IsFinite(ray->GetHitNormal()));
        if (c.lands) {
            EXPECT_NEAR(box->GetPosition().z, 0.5f, 0.02f);
        } else {
            EXPECT_LT(box->GetPosition().z, -1.0f);
        }
    }
}

// A box placed with its centre below the ground: triangles are two-sided, so it is pushed on
// downwards and falls away instead of jumping up through the surface. A ray of no length on it
// never hits.
TEST(StaticWorld, BodyStartingBelowTheGroundFallsThrough) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    w.supply.soup.AddQuad(0.0f, 0.0f, 10.0f, 0.0f);
    RigidBody* box = AddBox(sim, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, -0.1f});
    Sensor* stub = box->CreateSensor();
    stub->SetRay({0.0f, 0.0f, 0.4f}, {});
    RayReader reader(stub);
    box->CreateController(&reader, 0);
    box->UpdateBounds();
    float highest = box->GetPosition().z;
    for (int i = 0; i < 150; ++i) {
        sim.Step(kTick, 1, nullptr);
        ASSERT_TRUE(IsFinite(box->GetPosition()));
        highest = std::fmax(highest, box->GetPosition().z);
        EXPECT_EQ(reader.depth, 0.0f);
    }
    EXPECT_LE(highest, -0.1f);
    EXPECT_LT(box->GetPosition().z, -1.0f);
}

namespace {

struct Touch {
    int32_t material;
    Vector4 pointB;
    Vector4 normal;
};

std::vector<Touch>& Touches() {
    static std::vector<Touch> touches;
    return touches;
}

void RecordTouch(ContactReport* r) { Touches().push_back({r->materialB, r->worldPointB, r->normal}); }

} // namespace

// A capsule rolling across the diagonal shared by the two triangles of a quad: each tick's
// contact is a face contact of the triangle under the core's lower end, so the contact passes
// from one triangle to the other without a bump, and the capsule rolls on at its speed.
TEST(StaticWorld, CapsuleRollsAcrossASharedEdge) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    // Material 1 below the diagonal y = x, material 2 above it.
    w.supply.soup.AddQuad(0.0f, 0.0f, 20.0f, 0.0f, 1, 2);
    sim.GetCollisionGroups().Set(0, -1, 3);
    Touches().clear();
    sim.SetContactCallback(&RecordTouch);

    const float r = 0.25f;
    const float half = 0.5f;
    RigidBody* capsule = sim.CreateRigidBody();
    capsule->CreateGeometry()->SetCapsule(2.0f * r, 2.0f * half);
    const float across = (3.0f * r * r + 4.0f * half * half) / 12.0f;
    capsule->SetInertia({across, 0.5f * r * r, across, 0.0f});
    capsule->UpdateBounds();
    // Core along world x, rolling along +y without slipping.
    capsule->SetOrientation(AxisAngle(0.0f, 0.0f, 1.0f, -kPi * 0.5f));
    capsule->SetPosition({0.0f, -2.0f, r});
    capsule->SetLinearVelocity({0.0f, 2.0f, 0.0f});
    capsule->SetAngularMomentum({-2.0f / r * 0.5f * r * r, 0.0f, 0.0f});

    float low = r;
    float high = r;
    for (int i = 0; i < 600; ++i) {
        sim.Step(kTick, 1, nullptr);
        const Vector4& p = capsule->GetPosition();
        ASSERT_TRUE(IsFinite(p));
        if (i > 10) {
            low = std::fmin(low, p.z);
            high = std::fmax(high, p.z);
        }
    }
    EXPECT_GT(capsule->GetPosition().y, 5.5f);
    EXPECT_NEAR(capsule->GetPosition().x, 0.0f, 0.01f);
    EXPECT_NEAR(capsule->GetLinearVelocity().y, 2.0f, 0.01f);
    EXPECT_LE(high, r + 1e-4f) << "bumped at the shared edge";
    EXPECT_GT(low, r - 0.012f);

    int first = 0;
    int second = 0;
    ASSERT_FALSE(Touches().empty());
    int onEdge = 0;
    for (const Touch& t : Touches()) {
        EXPECT_GT(t.normal.z, 0.999f);
        if (std::fabs(t.pointB.y - t.pointB.x) < 1e-4f) {
            // The core's end right over the diagonal lies in neither face: the shared edge
            // itself gave the contact.
            ++onEdge;
            continue;
        }
        // Otherwise the triangle that gave the contact is the one under its point.
        EXPECT_EQ(t.material, t.pointB.y < t.pointB.x ? 1 : 2) << t.pointB.x << " " << t.pointB.y;
        first += t.material == 1 ? 1 : 0;
        second += t.material == 2 ? 1 : 0;
    }
    EXPECT_GT(first, 100);
    EXPECT_GT(second, 100);
    EXPECT_LE(onEdge, 4);
}

// A box set down on a 10 degree slope: with the default friction (0.5, above tan 10 degrees) it
// holds, sleeps within a second and stays put for the rest of 5 s.
TEST(StaticWorld, BoxRestsOnATenDegreeSlope) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    const float a = 10.0f * kPi / 180.0f;
    // The ground rises along +x.
    auto onSlope = [a](float x, float y) { return Vector4{x * std::cos(a), y, x * std::sin(a)}; };
    w.supply.soup.Add(onSlope(-10.0f, -10.0f), onSlope(10.0f, -10.0f), onSlope(10.0f, 10.0f));
    w.supply.soup.Add(onSlope(-10.0f, -10.0f), onSlope(10.0f, 10.0f), onSlope(-10.0f, 10.0f));
    const Vector4 n{-std::sin(a), 0.0f, std::cos(a)};
    const Vector4 downhill{-std::cos(a), 0.0f, -std::sin(a)};
    RigidBody* box = AddBox(sim, {1.0f, 1.0f, 1.0f}, {});
    box->SetOrientation(AxisAngle(0.0f, 1.0f, 0.0f, -a));
    box->SetPosition(n * 0.5f);

    int asleepAt = -1;
    float slid = 0.0f;
    for (int i = 0; i < 750; ++i) {
        sim.Step(kTick, 1, nullptr);
        const Vector4& p = box->GetPosition();
        ASSERT_TRUE(IsFinite(p));
        if (asleepAt < 0 && box->IsAsleep()) {
            asleepAt = i;
        }
        slid = std::fmax(slid, Dot(p, downhill));
    }
    EXPECT_GE(asleepAt, 0);
    EXPECT_LT(asleepAt, 150);
    EXPECT_LT(slid, 0.002f);
    EXPECT_NEAR(Dot(box->GetPosition(), n), 0.5f, 0.005f);
    Matrix4 m;
    box->GetMatrix(m);
    EXPECT_GT(Dot(m.row[2], n), 0.9999f) << "the box tipped";
}

// The pass casts a body's rays at the fetched triangles in working form and passes over those
// far from each ray; the hits must be those of the plain mesh ray test, ray for ray.
TEST(StaticWorld, PassRaysMatchThePlainMeshRayTest) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    TriangleSoup& soup = w.supply.soup;
    auto h = [](float x, float y) { return 0.5f * std::sin(0.9f * x + 0.3f) * std::cos(0.6f * y); };
    for (int i = 0; i < 12; ++i) {
        for (int j = 0; j < 12; ++j) {
            const float x = static_cast<float>(i) * 0.75f - 4.5f;
            const float y = static_cast<float>(j) * 0.75f - 4.5f;
            const float e = 0.75f;
            soup.Add({x, y, h(x, y)}, {x + e, y, h(x + e, y)}, {x + e, y + e, h(x + e, y + e)}, 1, 2);
            soup.Add({x, y, h(x, y)}, {x + e, y + e, h(x + e, y + e)}, {x, y + e, h(x, y + e)}, 2, 2);
        }
    }
    // Test mode 2: the body never collides, it only looks.
    RigidBody* body = AddBox(sim, {0.5f, 0.5f, 0.5f}, {0.3f, -0.2f, 1.2f});
    body->SetGravityEnabled(false);
    body->SetOrientation(AxisAngle(0.3f, 0.5f, 0.8f, 0.7f));
    body->SetAngularMomentum({0.2f, -0.1f, 0.3f});
    std::vector<Sensor*> rays;
    for (int k = 0; k < 60; ++k) {
        const float a = static_cast<float>(k) * 0.41f;
        Sensor* s = body->CreateSensor();
        s->SetRay({0.1f * std::sin(a), 0.1f * std::cos(a), 0.0f},
                  Vector4{std::sin(a), std::cos(1.7f * a), -1.2f} * (1.0f + 0.05f * static_cast<float>(k)));
        rays.push_back(s);
    }
    struct Compare : ControllerCallback {
        RigidBody* body = nullptr;
        std::vector<Sensor*>* rays = nullptr;
        const TriangleSoup* soup = nullptr;
        Matrix4 castPose;
        int hits = 0;
        int compared = 0;
        void OnTick(Controller*, float) override {
            const Geometry mesh = soup->Mesh();
            for (const Sensor* s : *rays) {
                RayRecord r;
                r.origin = TransformPoint(s->GetOrigin(), castPose);
                r.origin.w = 0.0f;
                r.direction = s->GetDirection() * castPose.Rotation();
                r.length = s->length;
                CastRay(r, mesh, Matrix4::Identity());
                ++compared;
                EXPECT_EQ(r.hitDepth, s->GetHitDepth());
                if (r.hitDepth > 0.0f) {
                    ++hits;
                    EXPECT_EQ(r.hitPoint.x, s->GetHitPoint().x);
                    EXPECT_EQ(r.hitPoint.z, s->GetHitPoint().z);
                    EXPECT_EQ(r.hitNormal.y, s->GetHitNormal().y);
                    EXPECT_EQ(r.hitMaterial, s->GetHitMaterial());
                }
            }
            body->GetMatrix(castPose);
        }
    } compare;
    compare.body = body;
    compare.rays = &rays;
    compare.soup = &soup;
    body->CreateController(&compare, 0);
    body->UpdateBounds();
    body->GetMatrix(compare.castPose);
    for (int i = 0; i < 40; ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    EXPECT_EQ(compare.compared, 40 * 60);
    EXPECT_GT(compare.hits, 1000);
}

// Triangles in working form are kept from tick to tick; a supplier editing its arrays in place
// (heights, materials, which triangles are listed) is read afresh on the very next tick.
TEST(StaticWorld, TrianglesEditedInPlaceAreReadAfreshNextTick) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    TriangleSoup& soup = w.supply.soup;
    soup.AddQuad(0.0f, 0.0f, 5.0f, 0.0f, 3);
    RigidBody* car = AddBox(sim, {1.0f, 2.0f, 0.5f}, {0.0f, 0.0f, 1.0f});
    car->SetGravityEnabled(false);
    WheelReader reader(car);

    sim.Step(kTick, 1, nullptr);
    ASSERT_EQ(reader.downHits, 1);
    EXPECT_EQ(reader.point.z, 0.0f);
    EXPECT_EQ(reader.material, 3);

    for (std::size_t v = 2; v < soup.vertices.size(); v += 4) {
        soup.vertices[v] = 0.25f;
    }
    sim.Step(kTick, 1, nullptr);
    ASSERT_EQ(reader.downHits, 2);
    EXPECT_NEAR(reader.point.z, 0.25f, 1e-6f);
    EXPECT_EQ(reader.material, 3);

    for (CollisionTriangle& t : soup.triangles) {
        t.material = 7;
    }
    sim.Step(kTick, 1, nullptr);
    ASSERT_EQ(reader.downHits, 3);
    EXPECT_NEAR(reader.point.z, 0.25f, 1e-6f);
    EXPECT_EQ(reader.material, 7);

    // Only a higher quad listed from now on, under table indexes the old ones never had.
    soup.AddQuad(0.0f, 0.0f, 5.0f, 0.5f, 9);
    soup.indexes = {2, 3};
    sim.Step(kTick, 1, nullptr);
    ASSERT_EQ(reader.downHits, 4);
    EXPECT_NEAR(reader.point.z, 0.5f, 1e-6f);
    EXPECT_EQ(reader.material, 9);

    // The first quad's table entries now name the higher quad's vertices.
    soup.triangles[0] = soup.triangles[2];
    soup.triangles[0].material = 11;
    soup.triangles[1] = soup.triangles[3];
    soup.triangles[1].material = 11;
    soup.indexes = {0, 1};
    sim.Step(kTick, 1, nullptr);
    ASSERT_EQ(reader.downHits, 5);
    EXPECT_NEAR(reader.point.z, 0.5f, 1e-6f);
    EXPECT_EQ(reader.material, 11);
}

// A list longer than any fixed store of prepared triangles, with repeats, and ground triangles
// each of its own material between far ones: the rays see what the plain mesh ray test sees.
TEST(StaticWorld, LongListsWithRepeatsReachEveryTriangle) {
    SuppliedWorld w;
    Simulator& sim = w.sim();
    TriangleSoup& soup = w.supply.soup;
    auto h = [](float x, float y) { return 0.3f * std::sin(1.3f * x) * std::cos(0.7f * y); };
    int32_t material = 0;
    for (int i = 0; i < 40; ++i) {
        for (int j = 0; j < 40; ++j) {
            const float x = static_cast<float>(i) * 0.25f - 5.0f;
            const float y = static_cast<float>(j) * 0.25f - 5.0f;
            const float e = 0.25f;
            soup.Add({x, y, h(x, y)}, {x + e, y, h(x + e, y)}, {x + e, y + e, h(x + e, y + e)}, ++material);
            soup.Add({x, y, h(x, y)}, {x + e, y + e, h(x + e, y + e)}, {x, y + e, h(x, y + e)}, ++material);
            const float fx = 60.0f + x;
            soup.Add({fx, y, 0.0f}, {fx + e, y, 0.0f}, {fx, y + e, 0.0f}, ++material);
        }
    }
    const std::vector<int32_t> once = soup.indexes;
    soup.indexes.insert(soup.indexes.end(), once.begin(), once.end());
    ASSERT_GT(soup.indexes.size(), 8192u);

    // Over the ground listed first, which many later entries follow.
    RigidBody* body = AddBox(sim, {1.0f, 2.0f, 0.5f}, {-4.4f, -0.3f, 0.9f});
    body->SetGravityEnabled(false);
    body->SetAngularMomentum({0.05f, 0.1f, 0.2f});
    WheelReader reader(body);
    struct Compare : ControllerCallback {
        WheelReader* reader = nullptr;
        RigidBody* body = nullptr;
        const TriangleSoup* soup = nullptr;
        Matrix4 castPose;
        int hits = 0;
        void OnTick(Controller* c, float dt) override {
            reader->OnTick(c, dt);
            const Geometry mesh = soup->Mesh();
            for (auto& wheel : reader->rays) {
                for (const Sensor* s : wheel) {
                    RayRecord r;
                    r.origin = TransformPoint(s->GetOrigin(), castPose);
                    r.origin.w = 0.0f;
                    r.direction = s->GetDirection() * castPose.Rotation();
                    r.length = s->length;
                    CastRay(r, mesh, Matrix4::Identity());
                    EXPECT_EQ(r.hitDepth, s->GetHitDepth());
                    if (r.hitDepth > 0.0f) {
                        ++hits;
                        EXPECT_EQ(r.hitPoint.x, s->GetHitPoint().x);
                        EXPECT_EQ(r.hitPoint.z, s->GetHitPoint().z);
                        EXPECT_EQ(r.hitMaterial, s->GetHitMaterial());
                    }
                }
            }
            body->GetMatrix(castPose);
        }
    } compare;
    compare.reader = &reader;
    compare.body = body;
    compare.soup = &soup;
    // The reader's own controller stays; this one checks every ray of every tick.
    body->CreateController(&compare, 0);
    body->GetMatrix(compare.castPose);
    for (int i = 0; i < 20; ++i) {
        sim.Step(kTick, 1, nullptr);
    }
    EXPECT_GT(compare.hits, 100);
}
