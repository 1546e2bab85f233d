// Friction on a box, against Coulomb's law. The solver gives a contact a friction-cone impulse only
// while it approaches, from that impulse alone (none are accumulated); the position pass, which
// carries much of a resting body's support, adds none. So a sliding body feels about two fifths
// of its material's kinetic friction, while static friction holds as Coulomb's does.
#include "Physics/Quaternion.h"
#include "PhysicsTestSupport.h"
#include "StaticMeshSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Physics;
using namespace PhysicsTest;

namespace {

constexpr float kG = 9.8f;

TriangleSoup* g_ground = nullptr;
void QueryGround(const Vector4&, const Vector4&, int32_t** indexes, CollisionTriangle** triangles, float** vertices,
                 int32_t* indexCount, int32_t* triangleCount, Body*) {
    *indexes = g_ground->indexes.data();
    *triangles = g_ground->triangles.data();
    *vertices = g_ground->vertices.data();
    *indexCount = static_cast<int32_t>(g_ground->indexes.size());
    *triangleCount = static_cast<int32_t>(g_ground->triangles.size());
}

// A plane through the origin rising along +x at `slope` radians, as two large triangles.
TriangleSoup Slope(float slope) {
    const float c = std::cos(slope);
    const float s = std::sin(slope);
    auto at = [&](float u, float y) { return Vector4{u * c, y, u * s}; };
    TriangleSoup soup;
    soup.Add(at(-60, -60), at(60, -60), at(60, 60));
    soup.Add(at(-60, -60), at(60, 60), at(-60, 60));
    return soup;
}

// The box (1.2 x 0.8 x 0.5 m, 3 kg) resting on the slope, its long side along it, and
// how far it has moved along the slope (down: negative) and how fast.
struct Slide {
    float distance = 0.0f;
    float speed = 0.0f;
    bool asleep = false;
};

class SlidingBox {
public:
    SlidingBox(float slope, float friction) : ground_(Slope(slope)), world_(GameDesc(), &kGameGravity) {
        g_ground = &ground_;
        world_->SetTriangleQueryCallback(&QueryGround);
        world_->SetMaterial(0, friction, 0.0f);
        body_ = world_->CreateRigidBody();
        body_->CreateGeometry()->SetBox(1.2f, 0.8f, 0.5f);
        body_->SetMass(3.0f);
        body_->SetInertia(
            {3.0f * (0.64f + 0.25f) / 12.0f, 3.0f * (1.44f + 0.25f) / 12.0f, 3.0f * (1.44f + 0.64f) / 12.0f, 0.0f});
        body_->UpdateBounds();
        along_ = {std::cos(slope), 0.0f, std::sin(slope), 0.0f};
        const Vector4 up{-std::sin(slope), 0.0f, std::cos(slope), 0.0f};
        start_ = up * 0.25f;
        body_->SetOrientation({0.0f, -std::sin(0.5f * slope), 0.0f, std::cos(0.5f * slope)});
        body_->SetPosition(start_);
    }
    ~SlidingBox() { g_ground = nullptr; }
    SlidingBox(const SlidingBox&) = delete;
    SlidingBox& operator=(const SlidingBox&) = delete;

    void Launch(float speed) { body_->SetLinearVelocity(along_ * speed); }
    Slide Run(int ticks) {
        for (int i = 0; i < ticks; ++i) {
            world_->Step(kTick, 1, nullptr);
        }
        return {Dot(body_->GetPosition() - start_, along_), Dot(body_->GetLinearVelocity(), along_), body_->IsAsleep()};
    }

private:
    TriangleSoup ground_;
    World world_;
    RigidBody* body_ = nullptr;
    Vector4 along_;
    Vector4 start_;
};

} // namespace

// Set down at rest where Coulomb's static friction holds it (tan θ < μ), the box stays. Past the
// friction angle the rest rule puts it to sleep before it starts to slide (a short window of
// small accelerations), where Coulomb would slide it: kept as the rule is written.
TEST(Friction, ABoxSetDownOnASlopeStays) {
    const struct {
        float slope;
        float friction;
    } cases[] = {{0.0f, 0.3f}, {0.3491f, 0.5f}, {0.3491f, 1.0f}, {0.5236f, 0.3f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "slope " << c.slope << " rad, friction " << c.friction
                                        << (std::tan(c.slope) > c.friction ? " (past the friction angle)" : ""));
        SlidingBox box(c.slope, c.friction);
        const Slide s = box.Run(300);
        EXPECT_LT(std::fabs(s.distance), 0.02f);
        EXPECT_TRUE(s.asleep);
    }
}

// Sliding, the box feels about 0.4 of Coulomb's kinetic friction: its acceleration along the
// slope lies that far from the frictionless g sin θ towards Coulomb's g (sin θ ± μ cos θ). On
// flat ground that is a deceleration of about 0.4 μg; downhill at 20° with friction 0.5 the box
// speeds up where Coulomb's would stop.
TEST(Friction, ASlidingBoxFeelsAboutTwoFifthsOfCoulombsFriction) {
    const struct {
        float slope;
        float friction;
        float launch; // along the slope, + uphill
        int ticks;    // measured from tick 15 (landed and sliding) for this long
    } cases[] = {
        {0.0f, 0.3f, 3.0f, 30},      {0.0f, 0.5f, 3.0f, 30},      {0.0f, 1.0f, 3.0f, 30},
        {0.0f, 0.5f, -3.0f, 30},     {0.5236f, 0.3f, -3.0f, 150}, {0.5236f, 0.5f, -3.0f, 150},
        {0.3491f, 0.5f, -3.0f, 150}, {0.3491f, 1.0f, -3.0f, 150},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "slope " << c.slope << " rad, friction " << c.friction << ", launched at "
                                        << c.launch << " m/s");
        SlidingBox box(c.slope, c.friction);
        box.Launch(c.launch);
        const Slide before = box.Run(15);
        const Slide after = box.Run(c.ticks);
        ASSERT_FALSE(after.asleep);
        ASSERT_GT(after.speed * c.launch, 0.0f) << "still sliding the same way";
        const float acceleration = (after.speed - before.speed) / (static_cast<float>(c.ticks) * kTick);
        const float frictionless = -kG * std::sin(c.slope);
        const float coulomb = frictionless - (c.launch > 0.0f ? 1.0f : -1.0f) * c.friction * kG * std::cos(c.slope);
        const float felt = (acceleration - frictionless) / (coulomb - frictionless);
        EXPECT_GT(felt, 0.38f) << "acceleration " << acceleration << ", Coulomb " << coulomb;
        EXPECT_LT(felt, 0.47f) << "acceleration " << acceleration << ", Coulomb " << coulomb;
    }
}
