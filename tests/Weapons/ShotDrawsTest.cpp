// The random draws of the kinds that throw particles, in the order the kinds are written: a seeded
// run gives the same particles whatever order a compiler evaluates call arguments in. The expected
// values come from a generator of our own here, drawn in that order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "Core/PRandom.h"
#include "Particles/ParticlesTestSupport.h"
#include "Weapons/PWeaponsSystem.h"
#include "WeaponsTestSupport.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kDeg = 0.017453292f;

// The classic generator: seed = seed * 214013 + 2531011, value (seed >> 16) & 0x7FFF.
class Draws {
public:
    explicit Draws(uint32_t seed) : seed_(seed) {}
    int Rand() {
        seed_ = seed_ * 214013u + 2531011u;
        return static_cast<int>((seed_ >> 16) & 0x7FFFu);
    }
    float U() { return static_cast<float>(Rand()) / 32767.0f; }

private:
    uint32_t seed_;
};

const char* kShots = "sp sparks p;2;0.2;10;30;1;2;none\n"
                     "bl blood p;x;2;0.5;1.0;0\n"
                     "tr gib1 m.rdf;0;p;0.5;2;0.1;3;10\n"
                     "ex s_explosion t.tga;;x;0;0;0;1;1;16;2;1;0.1;0.1;1,1,1;p;1;p;1;p;none\n";

const ParticlesSupport::Files kTypes{"p puff.tga particle_alpha.fx 1 1 1 0 0\n", "s scorch.tga spot.fx 1 1 1 0 0\n",
                                     "up p 1 0.5 0 1 2 0 0 0 1 0 0 0 0 0 0\n", "up;0.1;10;2\n"};

class ShotDraws : public ParticlesSupport::ManagerFixture {
protected:
    void SetUp() override {
        ManagerFixture::SetUp();
        ASSERT_TRUE(StartWith(kTypes));
        LoadWeapons(weapons, kShots);
        EngineSrand(7);
    }
    std::vector<const CPParticle*> Particles() const {
        std::vector<const CPParticle*> out;
        if (CPParticleRenderObject* type = manager->FindType("p"))
            for (const CPParticle& p : type->GetParticles()) out.push_back(&p);
        return out;
    }
    static void ExpectNear(const Vec3& got, const Vec3& want, const char* what) {
        EXPECT_NEAR(got.x, want.x, 1e-4f) << what;
        EXPECT_NEAR(got.y, want.y, 1e-4f) << what;
        EXPECT_NEAR(got.z, want.z, 1e-4f) << what;
    }
    FakeWorld world;
    CPWeaponsSystem weapons;
    Draws draws{7};
};

// Each spark: life, then the yaw (rand() mod 360), the pitch in the cone and the speed; the
// particle manager then draws the particle's own angle. Along +Z the cone needs no turning.
TEST_F(ShotDraws, SparksDrawLifeYawPitchSpeed) {
    weapons.CreateShot("sp", Vec3(1, 2, 3), Vec3(0, 0, 1), -1);
    const auto got = Particles();
    ASSERT_EQ(got.size(), 2u);
    for (const CPParticle* p : got) {
        const float life = 2.0f * (1.0f + 0.4f * draws.U());
        const float yaw = static_cast<float>(draws.Rand() % 360) * kDeg;
        const float pitch = draws.U() * 30.0f * kDeg;
        const float speed = 10.0f * (1.0f + 0.4f * draws.U());
        const float angle = static_cast<float>(draws.Rand() % 360) * kDeg;
        EXPECT_NEAR(p->life, life, 1e-5f);
        ExpectNear(p->velocity,
                   Vec3(std::cos(yaw) * std::sin(pitch), std::sin(yaw) * std::sin(pitch), std::cos(pitch)) * speed,
                   "spark velocity");
        ExpectNear(p->position, Vec3(1, 2, 3), "spark position");
        EXPECT_FLOAT_EQ(p->size, 0.2f);
        EXPECT_TRUE(p->fade);
        ExpectNear(p->acceleration, Vec3(0, 0, -9), "spark acceleration");
        EXPECT_NEAR(p->angle, angle, 1e-5f);
    }
}

// Each stream: its start half edge, its turn, its length; each step then its length, the life,
// the turn about X (rand() mod 4) and the turn about Z. A spread of 0 still draws its turn.
TEST_F(ShotDraws, SprayStreamsDrawSizeTurnLengthThenEachStep) {
    weapons.CreateShot("bl", Vec3(0, 0, 1), Vec3(2, 0, 0), -1);
    std::vector<CPParticle> want;
    for (int stream = 0; stream < 2; ++stream) {
        const float s = 0.5f + draws.U() * 0.5f;
        draws.U(); // the turn: (U x 0 - 0) degrees
        const float x = 5.0f * draws.U();
        float t = 0.0f;
        Vec3 p(0, 0, 1);
        while (t < x) {
            const float step = draws.U() * 1.0f;
            p += Vec3(1, 0, 0) * step;
            CPParticle particle;
            particle.position = p;
            particle.size = (x - t) * s / x;
            particle.life = 20.0f + 5.0f * draws.U();
            const float turn = static_cast<float>(draws.Rand() % 4);
            particle.velocity = Vec3(turn, 0, 2.0f * kPi * draws.U());
            particle.angle = static_cast<float>(draws.Rand() % 360) * kDeg;
            want.push_back(particle);
            t += step;
        }
    }
    const auto got = Particles();
    ASSERT_EQ(got.size(), want.size());
    ASSERT_FALSE(want.empty());
    for (size_t i = 0; i < want.size(); ++i) {
        ExpectNear(got[i]->position, want[i].position, "spray position");
        EXPECT_NEAR(got[i]->size, want[i].size, 1e-4f) << i;
        EXPECT_NEAR(got[i]->life, want[i].life, 1e-4f) << i;
        ExpectNear(got[i]->velocity, want[i].velocity, "spray turns");
        EXPECT_NEAR(got[i]->angle, want[i].angle, 1e-5f) << i;
        ExpectNear(got[i]->acceleration, Vec3(0, 0, -9), "spray acceleration");
    }
}

// A trail particle: half edge, life, the turn about X (rand() mod K), the turn about Z.
TEST_F(ShotDraws, GibTrailDrawsSizeLifeThenItsTurns) {
    weapons.CreateShot("tr", Vec3(0, 0, 5), Vec3(), -1);
    FrameDelta = 0.1f;
    weapons.Update();
    const auto got = Particles();
    ASSERT_EQ(got.size(), 1u);
    const float size = 0.5f * (1.0f + 0.2f * draws.U());
    const float life = 2.0f * (1.0f + 0.2f * draws.U());
    const float turn = static_cast<float>(draws.Rand() % 3);
    const float spin = 2.0f * kPi * draws.U();
    const float angle = static_cast<float>(draws.Rand() % 360) * kDeg;
    EXPECT_NEAR(got[0]->size, size, 1e-5f);
    EXPECT_NEAR(got[0]->life, life, 1e-5f);
    ExpectNear(got[0]->velocity, Vec3(turn, 0, spin), "trail turns");
    EXPECT_NEAR(got[0]->angle, angle, 1e-5f);
    EXPECT_TRUE(got[0]->fade);
    EXPECT_EQ(got[0]->growth, 0.0f);
}

// The explosion: smoke (yaw, pitch, roll, growth, life, velocity x, y, z), column (offset x, y, z,
// growth, life, velocity x, y, z), then the scorch (growth before its turn).
TEST_F(ShotDraws, ExplosionDrawsSmokeColumnAndScorchInOrder) {
    weapons.CreateShot("ex", Vec3(10, 0, 0), Vec3(0, 0, 1), -1);
    const auto got = Particles();
    ASSERT_EQ(got.size(), 3u);
    const float r = 2.0f;

    draws.U(), draws.U(), draws.U(); // yaw, pitch and roll of the smoke's offset
    const float smokeGrowth = 2.4f + 0.8f * draws.U();
    const float smokeLife = 0.5f + 0.4f * draws.U();
    const float svx = 0.4f * draws.U() - 0.2f;
    const float svy = 0.4f * draws.U() - 0.2f;
    const float svz = 0.5f + 2.5f * draws.U();
    draws.Rand();
    EXPECT_NEAR(Length(got[0]->position - Vec3(10, 0, 0)), 0.9f * r, 1e-4f);
    EXPECT_NEAR(got[0]->growth, smokeGrowth, 1e-5f);
    EXPECT_NEAR(got[0]->life, smokeLife, 1e-5f);
    ExpectNear(got[0]->velocity, Vec3(svx, svy, svz), "smoke velocity");
    EXPECT_FLOAT_EQ(got[0]->size, 0.1f);

    const float ax = r * (0.5f * draws.U() - 0.25f);
    const float ay = r * (0.5f * draws.U() - 0.25f);
    const float az = r * (0.5f * draws.U() - 0.25f);
    const float columnGrowth = 0.4f + 1.8f * draws.U();
    const float columnLife = 2.2f + 2.0f * draws.U();
    const float cvx = 0.8f * draws.U() - 0.4f;
    const float cvy = 0.8f * draws.U() - 0.4f;
    const float cvz = 4.5f + 0.5f * draws.U();
    draws.Rand();
    ExpectNear(got[1]->position, Vec3(10 + ax, ay, az), "column position");
    EXPECT_NEAR(got[1]->growth, columnGrowth, 1e-5f);
    EXPECT_NEAR(got[1]->life, columnLife, 1e-5f);
    ExpectNear(got[1]->velocity, Vec3(cvx, cvy, cvz), "column velocity");
    ExpectNear(got[1]->acceleration, Vec3(0, 0, -2), "column acceleration");
    EXPECT_FLOAT_EQ(got[1]->size, 2.7f);

    const float scorchGrowth = 0.4f + 1.8f * draws.U();
    const float scorchTurn = 2.0f * kPi * draws.U();
    EXPECT_NEAR(got[2]->growth, scorchGrowth, 1e-5f);
    ExpectNear(got[2]->velocity, Vec3(0, 0, scorchTurn), "scorch turn");
    EXPECT_FLOAT_EQ(got[2]->size, 2.0f * r);
    EXPECT_FLOAT_EQ(got[2]->life, 30.0f);
    EXPECT_TRUE(got[2]->fade);
}

} // namespace
