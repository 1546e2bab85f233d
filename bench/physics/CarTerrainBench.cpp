// The wheel-ray workload of a race: one car, 34 rays read by its controller every tick, spring,
// damper and drive forces from the hits, over a large static terrain.
#include "CarTerrainBench.h"

#include "BenchRuns.h"

#include "Physics/Inertia.h"
#include "Physics/Simulator.h"

#include <btBulletDynamicsCommon.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr float kDt = 1.0f / 150.0f;
constexpr float kPi = 3.14159265f;

// Terrain: 1000 x 50 quads of 2.5 x 2.5 (100 000 triangles) along +x, gently rolling. At this
// density a query around the car stays well under the game's 999 indexes.
constexpr int kQuadsX = 1000;
constexpr int kQuadsY = 50;
constexpr float kQuad = 2.5f;
constexpr float kCell = 7.0f; // the game's grid cell
constexpr float kStartX = 10.0f;
constexpr float kStartY = 0.5f * kQuadsY * kQuad;

// Car: a 1 x 2 x 0.5 box whose forward (-y) faces +x; two wheels of 17 rays each.
constexpr float kMass = 10.0f;
constexpr float kRayLength = 1.5f;
constexpr float kRayHeight = 0.2f;
constexpr float kWheelY = 0.6f;
constexpr float kSpring[2] = {140.0f, 150.0f};
constexpr float kDamping = 150.0f;
constexpr float kDrive = 0.5f * 40.0f;
constexpr float kLinearDamping = 0.002f;
constexpr float kAngularDamping = 0.0025f;

// The inertia both engines give the car: the game's box inertia (that of a cube of the longest side).
Physics::Vector4 CarInertia() { return Physics::BoxInertia({1.0f, 2.0f, 0.5f, 0.0f}, kMass); }

float TerrainHeight(float x, float y) {
    return 0.4f * std::sin(0.05f * x) * std::cos(0.11f * y) + 0.15f * std::sin(0.37f * x + 0.2f * y);
}

struct Terrain {
    std::vector<float> vertices; // four floats per vertex
    std::vector<Physics::CollisionTriangle> triangles;
    int nx = 0;
    int ny = 0;
    std::vector<std::vector<int32_t>> cells; // column by column
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
                triangles.push_back({{v(i, j), v(i + 1, j), v(i + 1, j + 1)}, 0, 0, 0});
                triangles.push_back({{v(i, j), v(i + 1, j + 1), v(i, j + 1)}, 0, 0, 0});
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

    // The game's gathering: the cells of the box's corners and centre, widened by one cell each
    // way, whole cells only while fewer than 1000 indexes are gathered.
    int32_t Gather(const Physics::Vector4& min, const Physics::Vector4& max) {
        const float xs[5] = {min.x, max.x, min.x, max.x, 0.5f * (min.x + max.x)};
        const float ys[5] = {min.y, max.y, max.y, min.y, 0.5f * (min.y + max.y)};
        int i0 = nx;
        int i1 = -1;
        int j0 = ny;
        int j1 = -1;
        for (int k = 0; k < 5; ++k) {
            i0 = std::min(i0, CellX(xs[k]));
            i1 = std::max(i1, CellX(xs[k]));
            j0 = std::min(j0, CellY(ys[k]));
            j1 = std::max(j1, CellY(ys[k]));
        }
        i0 = std::max(i0 - 1, 0);
        j0 = std::max(j0 - 1, 0);
        i1 = std::min(i1 + 1, nx - 1);
        j1 = std::min(j1 + 1, ny - 1);
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

    // Height of the mesh (not the smooth function) under a point.
    float MeshHeight(float x, float y) const {
        const int i = std::clamp(static_cast<int>(std::floor(x / kQuad)), 0, kQuadsX - 1);
        const int j = std::clamp(static_cast<int>(std::floor(y / kQuad)), 0, kQuadsY - 1);
        const float fx = x / kQuad - static_cast<float>(i);
        const float fy = y / kQuad - static_cast<float>(j);
        auto h = [this](int a, int b) { return vertices[4 * (b * (kQuadsX + 1) + a) + 2]; };
        const float h00 = h(i, j);
        const float h10 = h(i + 1, j);
        const float h11 = h(i + 1, j + 1);
        const float h01 = h(i, j + 1);
        // Split along the diagonal from (i, j) to (i + 1, j + 1).
        if (fy <= fx) {
            return h00 + fx * (h10 - h00) + fy * (h11 - h10);
        }
        return h00 + fy * (h01 - h00) + fx * (h11 - h01);
    }
};

Terrain*& CurrentTerrain() {
    static Terrain* terrain = nullptr;
    return terrain;
}

void QueryTerrain(const Physics::Vector4& min, const Physics::Vector4& max, int32_t** indexes,
                  Physics::CollisionTriangle** triangles, float** vertices, int32_t* indexCount, int32_t* triangleCount,
                  Physics::Body*) {
    Terrain& t = *CurrentTerrain();
    *indexCount = t.Gather(min, max);
    *indexes = t.gathered;
    *triangles = t.triangles.data();
    *vertices = t.vertices.data();
    *triangleCount = static_cast<int32_t>(t.triangles.size());
}

// Ray j of a wheel: a half fan in the body's y-z plane from forward (-y) through down (j = 8).
void RayDirection(int j, float out[3]) {
    const float a = static_cast<float>(j) * kPi / 16.0f;
    out[0] = 0.0f;
    out[1] = -std::cos(a) * kRayLength;
    out[2] = -std::sin(a) * kRayLength;
}

// The wheel model both engines run: for each wheel, the first ray with a hit no deeper than the
// ray gives a spring along the hit normal and a damper on the velocity at the ray origin; the
// rear wheel also drives along world x.
struct WheelHit {
    bool hit = false;
    float depth = 0.0f;
    float normal[3] = {};
    float origin[3] = {};   // world
    float velocity[3] = {}; // world velocity of the body at the origin
};

void WheelForces(const WheelHit (&wheels)[2], const float centre[3], float force[3], float torque[3]) {
    for (int k = 0; k < 3; ++k) {
        force[k] = torque[k] = 0.0f;
    }
    for (int w = 0; w < 2; ++w) {
        const WheelHit& h = wheels[w];
        if (!h.hit) {
            continue;
        }
        const float un = h.velocity[0] * h.normal[0] + h.velocity[1] * h.normal[1] + h.velocity[2] * h.normal[2];
        float f[3];
        for (int k = 0; k < 3; ++k) {
            f[k] = h.normal[k] * (h.depth * kSpring[w] - kDamping * un);
        }
        if (w == 1) {
            f[0] += kDrive;
        }
        const float r[3] = {h.origin[0] - centre[0], h.origin[1] - centre[1], h.origin[2] - centre[2]};
        force[0] += f[0];
        force[1] += f[1];
        force[2] += f[2];
        torque[0] += r[1] * f[2] - r[2] * f[1];
        torque[1] += r[2] * f[0] - r[0] * f[2];
        torque[2] += r[0] * f[1] - r[1] * f[0];
    }
}

struct RunResult {
    double medianMs = 0.0;
    double p99Ms = 0.0;
    float penetration = 0.0f; // at the end
    float deepest = 0.0f;     // over the whole run
    float travelled = 0.0f;
    double awakeMean = 0.0; // share of the steps the car was awake after
    bool asleep = false;
    bool finite = true;
};

// Deepest point of the car's box below the terrain mesh.
float BoxPenetration(const Terrain& terrain, const float centre[3], const float axes[3][3]) {
    const float half[3] = {0.5f, 1.0f, 0.25f};
    float deepest = 0.0f;
    for (int c = 0; c < 8; ++c) {
        float p[3];
        for (int k = 0; k < 3; ++k) {
            p[k] = centre[k];
            for (int a = 0; a < 3; ++a) {
                p[k] += ((c >> a) & 1 ? half[a] : -half[a]) * axes[a][k];
            }
        }
        deepest = std::max(deepest, terrain.MeshHeight(p[0], p[1]) - p[2]);
    }
    return deepest;
}

// ---------------------------------------------------------------------------------------------
class OurCar : public Physics::ControllerCallback {
public:
    explicit OurCar(Terrain& terrain) {
        Physics::SimulatorDesc desc{5, 5, 0, 10, 100, 100, 10, 10, 10, 100, 200, -1};
        const Physics::Vector4 g{0.0f, 0.0f, -9.8f, 0.0f};
        sim_ = Physics::CreateSimulator(desc, nullptr, &g);
        CurrentTerrain() = &terrain;
        sim_->SetTriangleQueryCallback(&QueryTerrain);
        body_ = sim_->CreateRigidBody();
        body_->CreateGeometry()->SetBox(1.0f, 2.0f, 0.5f);
        body_->SetMass(kMass);
        body_->SetInertia(CarInertia());
        body_->SetLinearDamping(kLinearDamping);
        body_->SetAngularDamping(kAngularDamping);
        for (int w = 0; w < 2; ++w) {
            for (int j = 0; j < 17; ++j) {
                float d[3];
                RayDirection(j, d);
                rays_[w][j] = body_->CreateSensor();
                rays_[w][j]->SetRay({0.0f, w == 0 ? -kWheelY : kWheelY, kRayHeight}, {d[0], d[1], d[2]});
            }
        }
        body_->CreateController(this, 0);
        body_->UpdateBounds();
        // Local -y onto world +x.
        body_->SetOrientation({0.0f, 0.0f, std::sin(kPi * 0.25f), std::cos(kPi * 0.25f)});
        body_->SetPosition({kStartX, kStartY, TerrainHeight(kStartX, kStartY) + 1.0f});
    }
    ~OurCar() override { Physics::DestroySimulator(sim_); }

    void OnTick(Physics::Controller* controller, float) override {
        Physics::Matrix4 m;
        body_->GetMatrix(m);
        WheelHit wheels[2];
        for (int w = 0; w < 2; ++w) {
            for (int j = 0; j < 17; ++j) {
                const Physics::Sensor* s = rays_[w][j];
                const float d = s->GetHitDepth();
                if (!(d > 0.0f && d <= kRayLength)) {
                    continue;
                }
                WheelHit& h = wheels[w];
                h.hit = true;
                h.depth = d;
                const Physics::Vector4 o = Physics::TransformPoint(s->GetOrigin(), m);
                Physics::Vector4 v;
                body_->GetPointVelocity(v, o - body_->GetPosition());
                const Physics::Vector4& n = s->GetHitNormal();
                for (int k = 0; k < 3; ++k) {
                    h.normal[k] = n[k];
                    h.origin[k] = o[k];
                    h.velocity[k] = v[k];
                }
                break;
            }
        }
        const Physics::Vector4& p = body_->GetPosition();
        const float centre[3] = {p.x, p.y, p.z};
        float f[3];
        float t[3];
        WheelForces(wheels, centre, f, t);
        controller->SetForce({f[0], f[1], f[2]});
        controller->SetTorque({t[0], t[1], t[2]});
    }

    void Step() { sim_->Step(kDt, 1, nullptr); }
    void Pose(float centre[3], float axes[3][3]) const {
        Physics::Matrix4 m;
        body_->GetMatrix(m);
        for (int k = 0; k < 3; ++k) {
            centre[k] = m.row[3][k];
            for (int a = 0; a < 3; ++a) {
                axes[a][k] = m.row[a][k];
            }
        }
    }
    bool Asleep() const { return body_->IsAsleep(); }

private:
    Physics::Simulator* sim_ = nullptr;
    Physics::RigidBody* body_ = nullptr;
    Physics::Sensor* rays_[2][17] = {};
};

// ---------------------------------------------------------------------------------------------
class PeerCar {
public:
    explicit PeerCar(const Terrain& terrain)
        : dispatcher_(&config_),
          world_(&dispatcher_, &broadphase_, &solver_, &config_),
          box_(btVector3(0.5f, 1.0f, 0.25f)) {
        world_.setGravity(btVector3(0.0f, 0.0f, -9.8f));
        // Only awake bodies get their boxes refitted, as ours.
        world_.setForceUpdateAllAabbs(false);
        for (std::size_t i = 0; i < terrain.vertices.size(); i += 4) {
            points_.insert(points_.end(), {terrain.vertices[i], terrain.vertices[i + 1], terrain.vertices[i + 2]});
        }
        for (const Physics::CollisionTriangle& t : terrain.triangles) {
            indexes_.insert(indexes_.end(), {t.vertex[0], t.vertex[1], t.vertex[2]});
        }
        mesh_ = std::make_unique<btTriangleIndexVertexArray>(
            static_cast<int>(terrain.triangles.size()), indexes_.data(), 3 * static_cast<int>(sizeof(int)),
            static_cast<int>(points_.size() / 3), points_.data(), 3 * static_cast<int>(sizeof(btScalar)));
        ground_ = std::make_unique<btBvhTriangleMeshShape>(mesh_.get(), true);
        btRigidBody::btRigidBodyConstructionInfo groundInfo(0.0f, nullptr, ground_.get());
        groundBody_ = std::make_unique<btRigidBody>(groundInfo);
        world_.addRigidBody(groundBody_.get(), kGroundGroup, btBroadphaseProxy::AllFilter);

        const Physics::Vector4 i = CarInertia();
        const btVector3 inertia(i.x, i.y, i.z);
        const btQuaternion q(btVector3(0, 0, 1), kPi * 0.5f);
        motion_ = std::make_unique<btDefaultMotionState>(
            btTransform(q, btVector3(kStartX, kStartY, TerrainHeight(kStartX, kStartY) + 1.0f)));
        btRigidBody::btRigidBodyConstructionInfo info(kMass, motion_.get(), &box_, inertia);
        car_ = std::make_unique<btRigidBody>(info);
        // Per-tick factors of ours as per-second damping.
        car_->setDamping(1.0f - std::pow(1.0f - kLinearDamping, 150.0f),
                         1.0f - std::pow(1.0f - kAngularDamping, 150.0f));
        car_->setActivationState(DISABLE_DEACTIVATION);
        world_.addRigidBody(car_.get(), kCarGroup, kGroundGroup);
    }
    ~PeerCar() {
        world_.removeRigidBody(car_.get());
        world_.removeRigidBody(groundBody_.get());
    }

    void Step() {
        const btTransform& t = car_->getWorldTransform();
        const btMatrix3x3& r = t.getBasis();
        WheelHit wheels[2];
        for (int w = 0; w < 2; ++w) {
            const btVector3 origin = t * btVector3(0.0f, w == 0 ? -kWheelY : kWheelY, kRayHeight);
            for (int j = 0; j < 17; ++j) {
                float d[3];
                RayDirection(j, d);
                const btVector3 to = origin + r * btVector3(d[0], d[1], d[2]);
                btCollisionWorld::ClosestRayResultCallback hit(origin, to);
                hit.m_collisionFilterGroup = kCarGroup;
                hit.m_collisionFilterMask = kGroundGroup;
                world_.rayTest(origin, to, hit);
                if (wheels[w].hit || !hit.hasHit()) {
                    continue;
                }
                const float depth = (1.0f - hit.m_closestHitFraction) * kRayLength;
                if (!(depth > 0.0f)) {
                    continue;
                }
                WheelHit& h = wheels[w];
                h.hit = true;
                h.depth = depth;
                const btVector3 v = car_->getVelocityInLocalPoint(origin - t.getOrigin());
                btVector3 n = hit.m_hitNormalWorld;
                if (n.dot(to - origin) > 0.0f) {
                    n = -n;
                }
                for (int k = 0; k < 3; ++k) {
                    h.normal[k] = n[k];
                    h.origin[k] = origin[k];
                    h.velocity[k] = v[k];
                }
            }
        }
        const float centre[3] = {t.getOrigin().x(), t.getOrigin().y(), t.getOrigin().z()};
        float f[3];
        float tq[3];
        WheelForces(wheels, centre, f, tq);
        car_->applyCentralForce(btVector3(f[0], f[1], f[2]));
        car_->applyTorque(btVector3(tq[0], tq[1], tq[2]));
        world_.stepSimulation(kDt, 0, kDt);
    }
    void Pose(float centre[3], float axes[3][3]) const {
        const btTransform& t = car_->getWorldTransform();
        for (int k = 0; k < 3; ++k) {
            centre[k] = t.getOrigin()[k];
            for (int a = 0; a < 3; ++a) {
                axes[a][k] = t.getBasis()[k][a];
            }
        }
    }
    bool Asleep() const { return car_->getActivationState() == ISLAND_SLEEPING; }

private:
    static constexpr int kGroundGroup = 1;
    static constexpr int kCarGroup = 2;

    btDefaultCollisionConfiguration config_;
    btCollisionDispatcher dispatcher_;
    btDbvtBroadphase broadphase_;
    btSequentialImpulseConstraintSolver solver_;
    btDiscreteDynamicsWorld world_;
    std::vector<btScalar> points_;
    std::vector<int> indexes_;
    std::unique_ptr<btTriangleIndexVertexArray> mesh_;
    std::unique_ptr<btBvhTriangleMeshShape> ground_;
    std::unique_ptr<btRigidBody> groundBody_;
    btBoxShape box_;
    std::unique_ptr<btDefaultMotionState> motion_;
    std::unique_ptr<btRigidBody> car_;
};

// One engine's 60 s drive, its timed steps a turn at a time.
template <class Car>
class Drive {
public:
    Drive(Car& car, const Terrain& terrain, bool smoke) : car_(car), terrain_(terrain) {
        steps_ = smoke ? 20 : 9000; // 60 s
        ms_.reserve(static_cast<std::size_t>(steps_));
        float axes[3][3];
        car.Pose(start_, axes);
    }

    bool Done() const { return !r_.finite || static_cast<int>(ms_.size()) >= steps_; }

    void Turn(int steps) {
        float axes[3][3];
        for (int s = 0; s < steps && !Done(); ++s) {
            const auto t0 = std::chrono::steady_clock::now();
            car_.Step();
            const auto t1 = std::chrono::steady_clock::now();
            ms_.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            float centre[3];
            car_.Pose(centre, axes);
            r_.finite = std::isfinite(centre[0]) && std::isfinite(centre[1]) && std::isfinite(centre[2]);
            if (!r_.finite) {
                return;
            }
            r_.penetration = BoxPenetration(terrain_, centre, axes);
            r_.deepest = std::max(r_.deepest, r_.penetration);
            awake_ += car_.Asleep() ? 0 : 1;
        }
    }

    RunResult Finish() {
        RunResult r = r_;
        r.awakeMean = static_cast<double>(awake_) / static_cast<double>(steps_);
        std::sort(ms_.begin(), ms_.end());
        r.medianMs = ms_[ms_.size() / 2];
        r.p99Ms = ms_[std::min(ms_.size() - 1, ms_.size() * 99 / 100)];
        float end[3];
        float axes[3][3];
        car_.Pose(end, axes);
        r.travelled = end[0] - start_[0];
        r.asleep = car_.Asleep();
        return r;
    }

private:
    Car& car_;
    const Terrain& terrain_;
    int steps_ = 0;
    float start_[3] = {};
    std::vector<double> ms_;
    int awake_ = 0;
    RunResult r_;
};

} // namespace

int RunCarTerrainScene(bool smoke) {
    Terrain terrain;
    std::vector<RunResult> oursRuns;
    std::vector<RunResult> peerRuns;
    for (int run = 0; run < RunCount(smoke); ++run) {
        OurCar oursCar(terrain);
        PeerCar peerCar(terrain);
        Drive<OurCar> ours(oursCar, terrain, smoke);
        Drive<PeerCar> peer(peerCar, terrain, smoke);
        TakeTurns(ours, peer);
        oursRuns.push_back(ours.Finish());
        peerRuns.push_back(peer.Finish());
    }
    const RunResult& ours = oursRuns.front();
    const RunResult& peer = peerRuns.front();
    const double oursMs = MedianOfRuns(oursRuns);
    const double peerMs = MedianOfRuns(peerRuns);
    const double ratio = peerMs > 0.0 ? oursMs / peerMs : 0.0;
    // deepest_pen: the car box's deepest point below the terrain mesh over the whole drive.
    std::printf("scene=car_terrain_34rays ours_ms=%.4f peer_ms=%.4f ratio=%.2f deepest_pen=%.4f peer_deepest_pen=%.4f "
                "asleep=%d/1 peer_asleep=%d/1 awake_mean=%.1f peer_awake_mean=%.1f travelled=%.1f "
                "peer_travelled=%.1f runs=%d\n",
                oursMs, peerMs, ratio, ours.deepest, peer.deepest, ours.asleep ? 1 : 0, peer.asleep ? 1 : 0,
                ours.awakeMean, peer.awakeMean, ours.travelled, peer.travelled, static_cast<int>(oursRuns.size()));
    std::fprintf(stderr,
                 "  car_terrain_34rays: ours runs=%s ms p99=%.4f ms end_pen=%.4f | peer runs=%s ms p99=%.4f ms "
                 "end_pen=%.4f\n",
                 RunMedians(oursRuns).c_str(), ours.p99Ms, ours.penetration, RunMedians(peerRuns).c_str(), peer.p99Ms,
                 peer.penetration);
    int failures = 0;
    if (!SameEveryRun(oursRuns, [](const RunResult& a, const RunResult& b) {
            return a.penetration == b.penetration && a.deepest == b.deepest && a.travelled == b.travelled &&
                   a.awakeMean == b.awakeMean && a.asleep == b.asleep && a.finite == b.finite;
        })) {
        std::fprintf(stderr, "  car_terrain_34rays: our runs of the drive ended differently\n");
        ++failures;
    }
    // The car must stay on its wheels: finite, never sunk into the ground, and driving on.
    if (!ours.finite || ours.deepest > 0.05f || (!smoke && ours.travelled < 100.0f)) {
        std::fprintf(stderr, "  car_terrain_34rays: our car left the road (finite %d, deepest %.3f, %.1f m)\n",
                     ours.finite ? 1 : 0, ours.deepest, ours.travelled);
        ++failures;
    }
    return failures;
}
