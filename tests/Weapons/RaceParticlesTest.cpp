// The particles the race asks of the weapons floor, as they reach the particle manager: the wheel
// dust rises at 0.5, grows by 1 from size 1.5 and fades over 2 s; a shell casing keeps its size, does
// not fade and leaves no streak.
#include <gtest/gtest.h>

#include "Particles/PParticleRenderObject.h"
#include "Particles/ParticlesTestSupport.h"
#include "Weapons/PWeaponsRaceEffects.h"

using namespace ParticlesSupport;

namespace {

class RaceParticlesTest : public ManagerFixture {};

TEST_F(RaceParticlesTest, WheelDustAndShellCasingsCarryTheirMotionAndLooks) {
    ASSERT_TRUE(StartWith({"pil2 puff.tga particle_alpha.fx 1 1 1 0 0\n"
                           "gilze puff.tga particle_alpha.fx 1 1 1 0 0\n",
                           "", "", ""}));
    CPWeaponsRaceEffects effects;
    effects.EmitDust("pil2", Vec3(1, 2, 3));
    effects.EmitParticle("gilze", Vec3(4, 5, 6), Vec3(0, -4.5f, 9), Vec3(0, 0, -24.8f), 0.2f, 1.25f);
    const struct {
        const char* type;
        Vec3 position, velocity, acceleration;
        float size, growth, life;
        bool fade;
    } cases[] = {
        {"pil2", {1, 2, 3}, {0, 0, 0.5f}, {0, 0, 0}, 1.5f, 1.0f, 2.0f, true},
        {"gilze", {4, 5, 6}, {0, -4.5f, 9}, {0, 0, -24.8f}, 0.2f, 0.0f, 1.25f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        CPParticleRenderObject* type = manager->FindType(c.type);
        ASSERT_NE(type, nullptr);
        ASSERT_EQ(type->GetParticleCount(), 1);
        const CPParticle& p = type->GetParticles().front();
        EXPECT_EQ(p.position, c.position);
        EXPECT_EQ(p.velocity, c.velocity);
        EXPECT_EQ(p.acceleration, c.acceleration);
        EXPECT_EQ(p.size, c.size);
        EXPECT_EQ(p.growth, c.growth);
        EXPECT_EQ(p.life, c.life);
        EXPECT_EQ(p.fade, c.fade);
        EXPECT_FALSE(p.streak);
    }
}

} // namespace
