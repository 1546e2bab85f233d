// Small versions of the benchmark scenes, hashed bit for bit: every body's pose and velocities, every
// ray hit and every contact report of every tick. The expected hashes were recorded from the engine
// before any speed work, so an optimisation that changes a single bit of any result fails here.
#include "PhysicsTestSupport.h"

#include "Physics/Inertia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

using namespace Physics;
using PhysicsTest::kTick;

namespace {

constexpr float kPi = 3.14159265f;

// FNV-1a over the exact bytes of what it is fed.
class Hash {
public:
    void Bytes(const void* data, std::size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            value_ = (value_ ^ p[i]) * 1099511628211ull;
        }
    }
    void Float(float f) { Bytes(&f, sizeof(f)); }
    void Int(int32_t i) { Bytes(&i, sizeof(i)); }
    void Vec(const Vector4& v) {
        Float(v.x);
        Float(v.y);
        Float(v.z);
    }
    uint64_t Value() const { return value_; }

private:
    uint64_t value_ = 1469598103934665603ull;
};

Hash*& ActiveHash() {
    static Hash* hash = nullptr;
    return hash;
}

// What a scene exercised, so that a hash over nothing cannot pass.
struct Seen {
    int reports = 0;
    int rayHits = 0;
    int worldReports = 0;
};

Seen& Exercised() {
    static Seen seen;
    return seen;
}

void HashReport(ContactReport* r) {
    Hash& h = *ActiveHash();
    ++Exercised().reports;
    Exercised().worldReports += r->codeB == 0 ? 1 : 0;
    h.Int(r->bodyA != nullptr ? r->bodyA->GetId() : -1);
    h.Int(r->bodyB != nullptr ? r->bodyB->GetId() : -1);
    h.Int(r->codeA);
    h.Int(r->codeB);
    h.Int(r->materialA);
    h.Int(r->materialB);
    h.Vec(r->localPointA);
    h.Vec(r->localPointB);
    h.Vec(r->worldPointA);
    h.Vec(r->worldPointB);
    h.Vec(r->relativeVelocity);
    h.Vec(r->normal);
}

// Ray hits live from the static pass to the body's next force gathering, so the car's
// controller hashes them when it reads them.
void HashSensors(Hash& h, const Body& b) {
    for (const Sensor* s = b.GetSensors().head; s != nullptr; s = s->next) {
        h.Float(s->GetHitDepth());
        if (s->GetHitDepth() > 0.0f) {
            ++Exercised().rayHits;
            h.Vec(s->GetHitNormal());
            h.Vec(s->GetHitPoint());
            h.Int(s->GetHitMaterial());
            h.Int(s->GetHitBody() != nullptr ? s->GetHitBody()->GetKind() : -1);
        }
    }
}

void HashBodies(Hash& h, const Simulator& sim) {
    for (const RigidBody* b = sim.EnabledRigidBodies().head; b != nullptr; b = b->next) {
        h.Int(b->GetId());
        h.Vec(b->GetPosition());
        h.Vec(b->GetOrientation());
        h.Float(b->GetOrientation().w);
        h.Vec(b->GetLinearVelocity());
        h.Vec(b->GetAngularVelocity());
        h.Vec(b->GetAngularMomentum());
        h.Int(b->IsAsleep() ? 1 : 0);
    }
    for (const RigidBody* b = sim.DisabledRigidBodies().head; b != nullptr; b = b->next) {
        h.Int(-b->GetId());
    }
}

// A fixed pseudo-random sequence in [0, 1), the same on every library.
class Sequence {
public:
    explicit Sequence(uint32_t seed) : state_(seed) {}
    float Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<float>(state_ >> 8) * (1.0f / 16777216.0f);
    }

private:
    uint32_t state_;
};

Vector4 AboutZ(float angle) { return {0.0f, 0.0f, std::sin(angle * 0.5f), std::cos(angle * 0.5f)}; }

// The benchmark's box and capsule worlds on a floor box.
class FloorWorld {
public:
    explicit FloorWorld(int bodies, int animated = 1) {
        SimulatorDesc desc{};
        desc.rigidBodiesCount = bodies;
        desc.animatedBodiesCount = animated;
        desc.rigidParticleCount = 0;
        desc.constraintSetsCount = 1;
        desc.overlapPairsCount = bodies * 8 + 100;
        desc.geometriesCount = bodies + 1;
        desc.jointsCount = 1;
        desc.jointGroupsCount = 1;
        desc.sensorsCount = 1;
        const Vector4 g{0.0f, 0.0f, -9.8f, 0.0f};
        sim = CreateSimulator(desc, nullptr, &g);
        sim->SetMaterial(0, 0.5f, 0.0f);
        AnimatedBody* floor = sim->CreateAnimatedBody();
        floor->CreateGeometry()->SetBox(400.0f, 400.0f, 1.0f);
        floor->UpdateBounds();
        floor->SetPosition({0.0f, 0.0f, -0.5f});
    }
    ~FloorWorld() { DestroySimulator(sim); }
    FloorWorld(const FloorWorld&) = delete;
    FloorWorld& operator=(const FloorWorld&) = delete;

    RigidBody* AddBox(float x, float y, float z, float size, float yaw) {
        RigidBody* b = sim->CreateRigidBody();
        b->CreateGeometry()->SetBox(size, size, size);
        b->SetMass(1.0f);
        const float i = size * size / 6.0f;
        b->SetInertia({i, i, i, 0.0f});
        b->UpdateBounds();
        b->SetOrientation(AboutZ(yaw));
        b->SetPosition({x, y, z});
        return b;
    }

    void AddCapsule(float x, float y, float z, float radius, float halfLength, float yaw) {
        RigidBody* b = sim->CreateRigidBody();
        b->CreateGeometry()->SetCapsule(2.0f * radius, 2.0f * halfLength);
        b->SetMass(1.0f);
        const float across = (3.0f * radius * radius + 4.0f * halfLength * halfLength) / 12.0f;
        b->SetInertia({across, 0.5f * radius * radius, across, 0.0f});
        b->UpdateBounds();
        b->SetOrientation(AboutZ(yaw - kPi * 0.5f));
        b->SetPosition({x, y, z});
    }

    Simulator* sim = nullptr;
};

// Steps the world, hashing bodies after every tick and, when asked, every contact report;
// `before` runs ahead of each step with its index.
uint64_t StepAndHash(Simulator* sim, int steps, bool reports, const std::function<void(int)>& before = {}) {
    Hash hash;
    ActiveHash() = &hash;
    Exercised() = Seen();
    if (reports) {
        for (int a = -1; a < 4; ++a) {
            for (int b = -1; b < 4; ++b) {
                sim->GetCollisionGroups().Set(a, b, CollisionGroupMatrix::kCollide | CollisionGroupMatrix::kReport);
            }
        }
        sim->SetContactCallback(&HashReport);
    }
    for (int i = 0; i < steps; ++i) {
        if (before) {
            before(i);
        }
        sim->Step(kTick, 1, nullptr);
        HashBodies(hash, *sim);
    }
    sim->SetContactCallback(nullptr);
    ActiveHash() = nullptr;
    return hash.Value();
}

void BuildColumns(FloorWorld& w, int columns, int height) {
    for (int c = 0; c < columns; ++c) {
        const float x = static_cast<float>(c % 5) * 3.0f;
        const float y = static_cast<float>(c / 5) * 3.0f;
        for (int i = 0; i < height; ++i) {
            w.AddBox(x, y, 0.5f + static_cast<float>(i) * 1.01f + 0.005f, 1.0f, 0.0f);
        }
    }
}

void BuildHeap(FloorWorld& w, int side) {
    Sequence random(7);
    for (int gy = 0; gy < side; ++gy) {
        for (int gx = 0; gx < side; ++gx) {
            const float x = static_cast<float>(gx) * 2.5f;
            const float y = static_cast<float>(gy) * 2.5f;
            const float yaw = random.Next() * kPi;
            if ((gx + gy) % 2 == 0) {
                w.AddBox(x, y, 0.505f, 1.0f, yaw);
            } else {
                w.AddCapsule(x, y, 0.405f, 0.4f, 0.5f, yaw);
            }
        }
    }
}

void BuildRain(FloorWorld& w, int count) {
    Sequence random(11);
    for (int i = 0; i < count; ++i) {
        const float x = -5.0f + 10.0f * random.Next();
        const float y = -5.0f + 10.0f * random.Next();
        const float z = 1.0f + 12.0f * random.Next();
        const float yaw = random.Next() * kPi;
        if (i % 2 == 0) {
            w.AddBox(x, y, z, 1.0f, yaw);
        } else {
            w.AddCapsule(x, y, z, 0.4f, 0.5f, yaw);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// A small heap, a column, a box on a box, a box on a platform, a jointed pair with a box on it and
// a box with a controller, left to fall asleep and then disturbed one way after another. Each
// event reaches sleeping bodies by another road: a body dropped on the column, a teleport, an
// impulse, a push into a neighbour, a body disabled and enabled again, a supporting box freed, a
// second shape, the platform moved, a tiny force on a long lever, a turn, the jointed pair woken
// under its load, and the controller of a sleeping box waking another from inside a tick. Its
// hashes were recorded before the tick began to leave sleeping bodies out of its passes.
class Nudger final : public ControllerCallback {
public:
    void OnTick(Controller*, float) override {
        if (++ticks == fireAt) {
            target->ApplyImpulseAtPoint({0.0f, 0.0f, 0.8f, 0.0f},
                                        target->GetPosition() + Vector4{0.2f, 0.0f, 0.0f, 0.0f});
        }
    }
    RigidBody* target = nullptr;
    int ticks = 0;
    int fireAt = 0;
};

struct DisturbedHeap {
    FloorWorld w{60, 2};
    std::vector<RigidBody*> heap;
    RigidBody* under = nullptr;
    RigidBody* link = nullptr;
    AnimatedBody* platform = nullptr;
    Nudger nudger;
    int asleepBeforeEvents = 0;

    DisturbedHeap() {
        BuildHeap(w, 5);
        for (RigidBody* b = w.sim->EnabledRigidBodies().head; b != nullptr; b = b->next) {
            heap.push_back(b);
        }
        for (int i = 0; i < 3; ++i) {
            w.AddBox(15.0f, 0.0f, 0.505f + static_cast<float>(i) * 1.01f, 1.0f, 0.0f);
        }
        under = w.AddBox(15.0f, 5.0f, 0.505f, 1.0f, 0.0f);
        w.AddBox(15.2f, 5.1f, 1.515f, 1.0f, 0.3f);
        platform = w.sim->CreateAnimatedBody();
        platform->CreateGeometry()->SetBox(3.0f, 3.0f, 0.2f);
        platform->UpdateBounds();
        platform->SetPosition({15.0f, 10.0f, 0.1f});
        w.AddBox(15.0f, 10.0f, 0.705f, 1.0f, 0.2f);
        RigidBody* first = w.AddBox(20.0f, 0.0f, 0.505f, 1.0f, 0.0f);
        link = w.AddBox(21.2f, 0.0f, 0.505f, 1.0f, 0.0f);
        w.sim->CreateBallJoint(first, link, {20.6f, 0.0f, 0.505f, 0.0f});
        w.AddBox(20.0f, 0.0f, 1.515f, 1.0f, 0.4f);
        RigidBody* driven = w.AddBox(20.0f, 5.0f, 0.505f, 1.0f, 0.0f);
        driven->CreateController(&nudger, 0);
        nudger.target = heap[12];
        nudger.fireAt = 660;
    }

    void Before(int step) {
        const auto at = [](RigidBody* b, float dx, float dy, float dz) {
            return b->GetPosition() + Vector4{dx, dy, dz, 0.0f};
        };
        switch (step) {
        case 299:
            for (const RigidBody* b = w.sim->EnabledRigidBodies().head; b != nullptr; b = b->next) {
                asleepBeforeEvents += b->IsAsleep() ? 1 : 0;
            }
            break;
        case 300: w.AddBox(15.1f, 0.1f, 5.0f, 1.0f, 0.5f); break;
        case 340: heap[3]->SetPosition(at(heap[3], 0.0f, 0.0f, 0.3f)); break;
        case 380: heap[7]->ApplyImpulseAtPoint({0.5f, 0.0f, 1.5f, 0.0f}, at(heap[7], 0.3f, 0.0f, 0.0f)); break;
        case 420: heap[11]->SetLinearVelocity({2.0f, 0.0f, 0.0f, 0.0f}); break;
        case 460: heap[15]->SetEnabled(0, nullptr); break;
        case 480: heap[15]->SetEnabled(1, nullptr); break;
        case 500: w.sim->FreeBody(under); break;
        case 520:
            heap[18]->CreateGeometry()->SetBox(0.4f, 0.4f, 1.4f);
            heap[18]->UpdateBounds();
            break;
        case 540: platform->SetPosition({15.0f, 10.0f, 0.12f}); break;
        case 560: heap[20]->SetForceAtPoint({0.0f, 0.0f, 5e-7f, 0.0f}, at(heap[20], 0.0f, 100.0f, 0.0f)); break;
        case 600: heap[20]->SetForceAtPoint({}, heap[20]->GetPosition()); break;
        case 580: heap[22]->SetOrientation(AboutZ(0.3f)); break;
        case 620: link->SetLinearVelocity({0.0f, 0.5f, 0.0f, 0.0f}); break;
        default: break;
        }
    }
};

// ---------------------------------------------------------------------------------------------
// The car scene: a box car with two fans of 17 rays over a rolling terrain given through the
// triangle-query callback, gathered by grid cells as the game does.
constexpr int kQuadsX = 160;
constexpr int kQuadsY = 24;
constexpr float kQuad = 2.5f;
constexpr float kCell = 7.0f;
constexpr float kRayLength = 1.5f;

float TerrainHeight(float x, float y) {
    return 0.4f * std::sin(0.05f * x) * std::cos(0.11f * y) + 0.15f * std::sin(0.37f * x + 0.2f * y);
}

struct Terrain {
    std::vector<float> vertices;
    std::vector<CollisionTriangle> triangles;
    int nx = 0;
    int ny = 0;
    std::vector<std::vector<int32_t>> cells;
    int32_t gathered[1000] = {};

    Terrain() {
        for (int j = 0; j <= kQuadsY; ++j) {
            for (int i = 0; i <= kQuadsX; ++i) {
                const float x = static_cast<float>(i) * kQuad;
                const float y = static_cast<float>(j) * kQuad;
                vertices.insert(vertices.end(), {x, y, TerrainHeight(x, y), 1.0f});
            }
        }
        auto v = [](int i, int j) { return j * (kQuadsX + 1) + i; };
        for (int j = 0; j < kQuadsY; ++j) {
            for (int i = 0; i < kQuadsX; ++i) {
                // Materials vary so that a hit's material is checked too.
                const int32_t m = (i + j) % 3;
                triangles.push_back({{v(i, j), v(i + 1, j), v(i + 1, j + 1)}, m, 0, 0});
                triangles.push_back({{v(i, j), v(i + 1, j + 1), v(i, j + 1)}, m, 0, 0});
            }
        }
        nx = static_cast<int>(std::ceil(kQuadsX * kQuad / kCell));
        ny = static_cast<int>(std::ceil(kQuadsY * kQuad / kCell));
        cells.resize(static_cast<std::size_t>(nx * ny));
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            float lo[2] = {1e9f, 1e9f};
            float hi[2] = {-1e9f, -1e9f};
            for (const int32_t k : triangles[t].vertex) {
                for (int a = 0; a < 2; ++a) {
                    lo[a] = std::min(lo[a], vertices[4 * k + a]);
                    hi[a] = std::max(hi[a], vertices[4 * k + a]);
                }
            }
            for (int i = CellX(lo[0]); i <= CellX(hi[0]); ++i) {
                for (int j = CellY(lo[1]); j <= CellY(hi[1]); ++j) {
                    cells[static_cast<std::size_t>(i * ny + j)].push_back(static_cast<int32_t>(t));
                }
            }
        }
    }

    int CellX(float x) const { return std::clamp(static_cast<int>(x * (1.0f / kCell)), 0, nx - 1); }
    int CellY(float y) const { return std::clamp(static_cast<int>(y * (1.0f / kCell)), 0, ny - 1); }

    int32_t Gather(const Vector4& min, const Vector4& max) {
        const int i0 = std::max(std::min(CellX(min.x), CellX(max.x)) - 1, 0);
        const int i1 = std::min(std::max(CellX(min.x), CellX(max.x)) + 1, nx - 1);
        const int j0 = std::max(std::min(CellY(min.y), CellY(max.y)) - 1, 0);
        const int j1 = std::min(std::max(CellY(min.y), CellY(max.y)) + 1, ny - 1);
        int32_t count = 0;
        for (int i = i0; i <= i1; ++i) {
            for (int j = j0; j <= j1; ++j) {
                const std::vector<int32_t>& cell = cells[static_cast<std::size_t>(i * ny + j)];
                if (count + static_cast<int32_t>(cell.size()) >= 1000) {
                    return count;
                }
                std::copy(cell.begin(), cell.end(), gathered + count);
                count += static_cast<int32_t>(cell.size());
            }
        }
        return count;
    }
};

Terrain*& CurrentTerrain() {
    static Terrain* terrain = nullptr;
    return terrain;
}

void QueryTerrain(const Vector4& min, const Vector4& max, int32_t** indexes, CollisionTriangle** triangles,
                  float** vertices, int32_t* indexCount, int32_t* triangleCount, Body*) {
    Terrain& t = *CurrentTerrain();
    *indexCount = t.Gather(min, max);
    *indexes = t.gathered;
    *triangles = t.triangles.data();
    *vertices = t.vertices.data();
    *triangleCount = static_cast<int32_t>(t.triangles.size());
}

// Springs, dampers and drive from the first hit ray of each wheel, as the benchmark's car.
class Car final : public ControllerCallback {
public:
    Car(Simulator* sim, Terrain& terrain, float startX, float startY, float drive) : drive_(drive) {
        CurrentTerrain() = &terrain;
        sim->SetTriangleQueryCallback(&QueryTerrain);
        body = sim->CreateRigidBody();
        body->CreateGeometry()->SetBox(1.0f, 2.0f, 0.5f);
        body->SetMass(10.0f);
        body->SetInertia(BoxInertia({1.0f, 2.0f, 0.5f, 0.0f}, 10.0f));
        body->SetLinearDamping(0.002f);
        body->SetAngularDamping(0.0025f);
        for (int w = 0; w < 2; ++w) {
            for (int j = 0; j < 17; ++j) {
                const float a = static_cast<float>(j) * kPi / 16.0f;
                rays_[w][j] = body->CreateSensor();
                rays_[w][j]->SetRay({0.0f, w == 0 ? -0.6f : 0.6f, 0.2f},
                                    {0.0f, -std::cos(a) * kRayLength, -std::sin(a) * kRayLength});
            }
        }
        body->CreateController(this, 0);
        body->UpdateBounds();
        body->SetOrientation({0.0f, 0.0f, std::sin(kPi * 0.25f), std::cos(kPi * 0.25f)});
        body->SetPosition({startX, startY, TerrainHeight(startX, startY) + 1.0f});
    }

    void OnTick(Controller* controller, float) override {
        if (ActiveHash() != nullptr) {
            HashSensors(*ActiveHash(), *body);
        }
        Matrix4 m;
        body->GetMatrix(m);
        const Vector4& c = body->GetPosition();
        Vector4 force;
        Vector4 torque;
        for (int w = 0; w < 2; ++w) {
            for (int j = 0; j < 17; ++j) {
                const Sensor* s = rays_[w][j];
                const float d = s->GetHitDepth();
                if (!(d > 0.0f && d <= kRayLength)) {
                    continue;
                }
                const Vector4 o = TransformPoint(s->GetOrigin(), m);
                Vector4 v;
                body->GetPointVelocity(v, o - c);
                const Vector4& n = s->GetHitNormal();
                const float un = v.x * n.x + v.y * n.y + v.z * n.z;
                const float k = d * (w == 0 ? 140.0f : 150.0f) - 150.0f * un;
                Vector4 f{n.x * k, n.y * k, n.z * k, 0.0f};
                if (w == 1) {
                    f.x += drive_;
                }
                const Vector4 r{o.x - c.x, o.y - c.y, o.z - c.z, 0.0f};
                force = force + f;
                torque = torque + Vector4{r.y * f.z - r.z * f.y, r.z * f.x - r.x * f.z, r.x * f.y - r.y * f.x, 0.0f};
                break;
            }
        }
        controller->SetForce(force);
        controller->SetTorque(torque);
    }

    RigidBody* body = nullptr;

private:
    float drive_;
    Sensor* rays_[2][17] = {};
};

uint64_t RunCar(int steps, bool reports, bool secondCar) {
    Terrain terrain;
    Simulator* sim = CreateSimulator(PhysicsTest::GameDesc(), nullptr, &PhysicsTest::kGameGravity);
    sim->SetMaterial(1, 0.8f, 0.2f);
    sim->SetMaterial(2, 0.3f, 0.0f);
    uint64_t value = 0;
    {
        Car car(sim, terrain, 10.0f, 30.0f, 20.0f);
        if (secondCar) {
            // A second car crossing the first one's path, nose down, so box-triangle contacts and
            // car-car pairs happen as well as the rays.
            Car other(sim, terrain, 40.0f, 28.5f, -35.0f);
            other.body->SetOrientation({0.3f, 0.0f, std::sin(kPi * 0.25f), std::cos(kPi * 0.25f)});
            other.body->SetLinearVelocity({-3.0f, 0.4f, -2.0f, 0.0f});
            // Loose bodies without rays rest on the triangles themselves, in the first car's way.
            RigidBody* box = sim->CreateRigidBody();
            box->CreateGeometry()->SetBox(0.8f, 0.8f, 0.8f);
            box->SetInertia(BoxInertia({0.8f, 0.8f, 0.8f, 0.0f}, 1.0f));
            box->UpdateBounds();
            box->SetOrientation({0.1f, 0.2f, 0.0f, 1.0f});
            box->SetPosition({16.0f, 30.2f, 1.5f});
            RigidBody* capsule = sim->CreateRigidBody();
            capsule->CreateGeometry()->SetCapsule(0.6f, 1.0f);
            capsule->SetInertia({0.1f, 0.05f, 0.1f, 0.0f});
            capsule->UpdateBounds();
            capsule->SetOrientation({0.0f, 0.0f, 0.3f, 1.0f});
            capsule->SetPosition({24.0f, 29.6f, 1.2f});
            value = StepAndHash(sim, steps, reports);
        } else {
            value = StepAndHash(sim, steps, reports);
        }
    }
    DestroySimulator(sim);
    CurrentTerrain() = nullptr;
    return value;
}

std::string Hex(uint64_t v) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%016llx", static_cast<unsigned long long>(v));
    return text;
}

} // namespace

TEST(BenchSceneDeterminism, StackedColumns) {
    for (const bool reports : {false, true}) {
        FloorWorld w(20);
        BuildColumns(w, 4, 5);
        const uint64_t got = StepAndHash(w.sim, 400, reports);
        EXPECT_EQ(Hex(got), reports ? "0xd15f101479883b5e" : "0x5fa17135d89ff247") << "reports " << reports;
        EXPECT_EQ(Exercised().reports > 0, reports);
    }
}

TEST(BenchSceneDeterminism, HeapFallsAsleep) {
    for (const bool reports : {false, true}) {
        FloorWorld w(64);
        BuildHeap(w, 8);
        const uint64_t got = StepAndHash(w.sim, 300, reports);
        EXPECT_EQ(Hex(got), reports ? "0xf2c608fa6984af19" : "0x9d9308aa436b1c2b") << "reports " << reports;
        int asleep = 0;
        for (const RigidBody* b = w.sim->EnabledRigidBodies().head; b != nullptr; b = b->next) {
            asleep += b->IsAsleep() ? 1 : 0;
        }
        EXPECT_GT(asleep, 0);
    }
}

TEST(BenchSceneDeterminism, SleepingHeapDisturbed) {
    for (const bool reports : {false, true}) {
        DisturbedHeap scene;
        const uint64_t got = StepAndHash(scene.w.sim, 800, reports, [&scene](int step) { scene.Before(step); });
        EXPECT_EQ(Hex(got), reports ? "0x72416ffcab4b4b21" : "0x95588e0fadfa5185") << "reports " << reports;
        // Most of the world sleeps when the events begin, so they reach sleeping bodies.
        EXPECT_GT(scene.asleepBeforeEvents, 30) << "reports " << reports;
        EXPECT_GT(scene.nudger.ticks, 660);
    }
}

// Re-recorded when a capsule whose core enters a box began to be pushed out of it: once in this
// rain a falling capsule's core reaches into a falling box; nothing else changed.
TEST(BenchSceneDeterminism, Rain) {
    for (const bool reports : {false, true}) {
        FloorWorld w(60);
        BuildRain(w, 60);
        const uint64_t got = StepAndHash(w.sim, 400, reports);
        EXPECT_EQ(Hex(got), reports ? "0xbaa4e4870c4cc3c6" : "0xc45a7cb80802082f") << "reports " << reports;
        EXPECT_EQ(Exercised().reports > 0, reports);
    }
}

TEST(BenchSceneDeterminism, CarOverTerrainWithRays) {
    for (const bool reports : {false, true}) {
        const uint64_t got = RunCar(600, reports, false);
        EXPECT_EQ(Hex(got), reports ? "0xcfd2d699b9da9dee" : "0xcfd2d699b9da9dee") << "reports " << reports;
        EXPECT_GT(Exercised().rayHits, 0);
    }
}

TEST(BenchSceneDeterminism, TwoCarsOverTerrain) {
    for (const bool reports : {false, true}) {
        const uint64_t got = RunCar(500, reports, true);
        EXPECT_EQ(Hex(got), reports ? "0x13d68b0c1e5bdd4c" : "0xed77e919dd350783") << "reports " << reports;
        EXPECT_GT(Exercised().rayHits, 0);
        EXPECT_EQ(Exercised().worldReports > 0, reports);
    }
}
