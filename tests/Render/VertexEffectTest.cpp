// Vertex effects: what each kind writes after one and five seconds of drawing, their byte
// arithmetic, clones and resets, and the descriptions the factory refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <typeinfo>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Render/PVertexEffect.h"

namespace {

// Distance on the unit circle of texture offsets (0 and 1 are the same place).
double Around(double a, double b) {
    const double d = std::fabs(std::fmod(a - b, 1.0));
    return std::min(d, 1.0 - d);
}

CPVertex Vertex(uint32_t diffuse = 0xFF102030) {
    CPVertex v{};
    v.position = Vec3(3, -4, 5);
    v.normal = Vec3(0.5f, -1, 0);
    v.diffuse = diffuse;
    v.tu = 0.25f;
    v.tv = 0.5f;
    v.tu2 = 9;
    v.tv2 = 9;
    return v;
}

// Draws for `seconds` at 16 frames a second (a step that adds up exactly) and answers the last
// vertex written.
CPVertex Draw(CPVertexEffect& effect, float seconds, uint32_t diffuse = 0xFF102030) {
    FrameDelta = 0.0625f;
    CPVertex out{};
    const int frames = static_cast<int>(std::lround(seconds / 0.0625f));
    for (int i = 0; i < frames; ++i) {
        const CPVertex in = Vertex(diffuse);
        effect.Apply(&in, &out, 1);
    }
    FrameDelta = 0;
    return out;
}

class VertexEffectTest : public ::testing::Test {
protected:
    void SetUp() override { EngineSrand(7); }
    void TearDown() override { FrameDelta = 0; }
};

TEST_F(VertexEffectTest, FadeFallsToZeroAndWrapsItsByteWhenRising) {
    struct Case {
        const char* speed;
        float seconds;
        uint32_t alpha;
    };
    const Case cases[] = {
        {"51", 1, 204},
        {"51", 5, 0},
        {"51", 9, 0},
        // Rising past 255: the truncated value's low 8 bits.
        {"-51", 1, (306 & 0xFF)},
        {"-51", 5, (510 & 0xFF)},
        {"0", 5, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.speed << " for " << c.seconds);
        CPRefPtr<CPVertexEffect> fade = CreateVertexEffect("fade", {c.speed});
        ASSERT_TRUE(fade);
        const CPVertex v = Draw(*fade, c.seconds);
        EXPECT_EQ(v.diffuse, c.alpha << 24 | 0xFFFFFFu);
        EXPECT_EQ(v.position, Vec3(3, -4, 5));
        EXPECT_EQ(v.tu, 0.25f);
    }
    CPRefPtr<CPVertexEffect> fade = CreateVertexEffect("FADE", {"51"});
    Draw(*fade, 5);
    fade->Reset();
    EXPECT_EQ(dynamic_cast<CPFadeEffect&>(*fade).alpha, 255.0f);
}

TEST_F(VertexEffectTest, MovingTexScrollsWithinOneTexture) {
    EngineSrand(7);
    const float r = static_cast<float>(EngineRand());
    EngineSrand(7);
    CPRefPtr<CPVertexEffect> moving = CreateVertexEffect("movingtex", {"0.5", "-0.25"});
    ASSERT_TRUE(moving);
    auto& m = dynamic_cast<CPMovingTexEffect&>(*moving);
    EXPECT_EQ(m.offsetU, r * 0.5f);
    for (float seconds : {1.0f, 5.0f}) {
        SCOPED_TRACE(seconds);
        EngineSrand(7);
        CPRefPtr<CPVertexEffect> e = CreateVertexEffect("movingtex", {"0.5", "-0.25"});
        const CPVertex v = Draw(*e, seconds);
        auto& state = dynamic_cast<CPMovingTexEffect&>(*e);
        const double u = std::fmod(r * 0.5 + seconds * 0.5, 1.0);
        double vv = std::fmod(r * -0.25 - seconds * 0.25, 1.0);
        if (vv < 0) vv += 1.0;
        EXPECT_LT(Around(state.offsetU, u), 2e-3);
        EXPECT_LT(Around(state.offsetV, vv), 2e-3);
        EXPECT_FLOAT_EQ(v.tu, 0.25f + state.offsetU);
        EXPECT_FLOAT_EQ(v.tv, 0.5f + state.offsetV);
    }
    // The wrap keeps exactly 1 and takes whole units off large values in one go.
    struct Wrap {
        float in, out;
    };
    const Wrap wraps[] = {{1.0f, 1.0f},  {2.0f, 1.0f}, {1.5f, 0.5f},  {-0.25f, 0.75f},
                          {-1.0f, 0.0f}, {3e9f, 1.0f}, {-3e9f, 0.0f}, {0.0f, 0.0f}};
    for (const Wrap& w : wraps) EXPECT_EQ(CPMovingTexEffect::Wrap(w.in), w.out) << w.in;
    // A start offset far beyond 2^24 (speed 1000 times a random value) wraps rather than hanging.
    CPRefPtr<CPVertexEffect> fast = CreateVertexEffect("movingtex", {"1000", "-100000"});
    Draw(*fast, 0.0625f);
    auto& f = dynamic_cast<CPMovingTexEffect&>(*fast);
    EXPECT_GE(f.offsetU, 0.0f);
    EXPECT_LE(f.offsetU, 1.0f);
    EXPECT_GE(f.offsetV, 0.0f);
    EXPECT_LE(f.offsetV, 1.0f);
}

TEST_F(VertexEffectTest, FlickSwingsTheAlphaBetweenItsLevels) {
    EngineSrand(7);
    const float start = static_cast<float>(EngineRand());
    for (float seconds : {1.0f, 5.0f}) {
        SCOPED_TRACE(seconds);
        EngineSrand(7);
        CPRefPtr<CPVertexEffect> flick = CreateVertexEffect("flick", {"3", "100", "200"});
        ASSERT_TRUE(flick);
        auto& state = dynamic_cast<CPFlickEffect&>(*flick);
        EXPECT_EQ(state.middle, 150);
        EXPECT_EQ(state.amplitude, 50.0f);
        const CPVertex v = Draw(*flick, seconds, 0xFF000000);
        const int level = static_cast<int>(std::sin((start + seconds) * 3.0) * 50.0 + 150.0);
        EXPECT_NEAR(state.level, level, 1);
        const int alpha = static_cast<int>(v.diffuse >> 24);
        EXPECT_EQ(alpha, static_cast<int>(255 * state.level * 0.003921569) & 0xFF);
        EXPECT_EQ(v.diffuse & 0xFFFFFFu, 0xFFFFFFu);
    }
    // Over a few seconds a vertex of alpha 255 stays between 100 and 200; alpha 0 stays 0.
    CPRefPtr<CPVertexEffect> flick = CreateVertexEffect("flick", {"7.5", "100", "200"});
    FrameDelta = 0.05f;
    for (int i = 0; i < 100; ++i) {
        CPVertex v[2] = {Vertex(0xFFFFFFFF), Vertex(0x00FFFFFF)};
        flick->Apply(v, v, 2);
        EXPECT_GE(v[0].diffuse >> 24, 99u);
        EXPECT_LE(v[0].diffuse >> 24, 200u);
        EXPECT_EQ(v[1].diffuse, 0x00FFFFFFu);
    }
    // Levels are bytes: 356 is 100.
    CPRefPtr<CPVertexEffect> wrapped = CreateVertexEffect("flick", {"1", "356", "200"});
    EXPECT_EQ(dynamic_cast<CPFlickEffect&>(*wrapped).middle, 150);
}

TEST_F(VertexEffectTest, AnimShowsEachCellRowByRowAndWraps) {
    CPRefPtr<CPVertexEffect> anim = CreateVertexEffect("anim", {"4", "2", "8"});
    ASSERT_TRUE(anim);
    auto& state = dynamic_cast<CPAnimEffect&>(*anim);
    FrameDelta = 0.125f;
    for (int k = 1; k <= 17; ++k) {
        SCOPED_TRACE(k);
        CPVertex v = Vertex();
        anim->Apply(&v, &v, 1);
        const int cell = k % 8;
        EXPECT_EQ(state.currentFrame, cell);
        EXPECT_FLOAT_EQ(v.tu, static_cast<float>(cell % 4) / 4 + 0.25f / 4);
        EXPECT_FLOAT_EQ(v.tv, static_cast<float>(cell / 4) / 2 + 0.5f / 2);
    }
    // After 1 and 5 seconds of drawing: 8 cells a second, back to cell 0.
    for (float seconds : {1.0f, 5.0f}) {
        CPRefPtr<CPVertexEffect> e = CreateVertexEffect("anim", {"4", "2", "8"});
        const CPVertex v = Draw(*e, seconds);
        EXPECT_EQ(dynamic_cast<CPAnimEffect&>(*e).currentFrame, 0) << seconds;
        EXPECT_FLOAT_EQ(v.tu, 0.25f / 4);
    }
    // An hour of play keeps the frame in the table.
    state.time = 3600.0f * 24;
    FrameDelta = 0.01f;
    CPVertex v = Vertex();
    anim->Apply(&v, &v, 1);
    EXPECT_GE(state.currentFrame, 0);
    EXPECT_LT(state.currentFrame, 8);
}

TEST_F(VertexEffectTest, EnvironmentProjectsThePositionAndNormal) {
    CPRefPtr<CPVertexEffect> env = CreateVertexEffect("Environment", {"2"});
    ASSERT_TRUE(env);
    for (float seconds : {1.0f, 5.0f}) {
        const CPVertex v = Draw(*env, seconds);
        EXPECT_FLOAT_EQ(v.tu2, 3.0f / 2 + 0.25f);
        EXPECT_FLOAT_EQ(v.tv2, -4.0f / 2 - 0.5f);
        EXPECT_EQ(v.diffuse, 0xFF102030u);
        EXPECT_EQ(v.tu, 0.25f);
    }
}

TEST_F(VertexEffectTest, ClonesContinueFromTheCopiedStateOnTheirOwn) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> kinds = {
        {"fade", {"51"}}, {"movingtex", {"0.3", "0.1"}}, {"flick", {"2", "10", "250"}}, {"anim", {"3", "3", "5"}}};
    for (const auto& [kind, args] : kinds) {
        SCOPED_TRACE(kind);
        CPRefPtr<CPVertexEffect> original = CreateVertexEffect(kind, args);
        ASSERT_TRUE(original);
        Draw(*original, 1.3f);
        CPRefPtr<CPVertexEffect> copy = original->Clone();
        ASSERT_NE(copy.Get(), original.Get());
        EXPECT_EQ(typeid(*copy), typeid(*original));
        const CPVertex a = Draw(*original, 0.7f, 0xFFFFFFFF);
        const CPVertex b = Draw(*copy, 0.7f, 0xFFFFFFFF);
        EXPECT_EQ(a.diffuse, b.diffuse);
        EXPECT_FLOAT_EQ(a.tu, b.tu);
        EXPECT_FLOAT_EQ(a.tv, b.tv);
        // Drawing the copy did not move the original on.
        const CPVertex c = Draw(*original, 0.7f, 0xFFFFFFFF);
        const CPVertex d = Draw(*copy, 0.7f, 0xFFFFFFFF);
        EXPECT_EQ(c.diffuse, d.diffuse);
        EXPECT_FLOAT_EQ(c.tu, d.tu);
    }
}

TEST_F(VertexEffectTest, TheFactoryRefusesWhatFitsNoKind) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool built;
    };
    const Case cases[] = {
        {"fade", {"51"}, true},
        {"fade", {"51", "2"}, false},
        {"fade", {}, false},
        {"anim", {"4", "2", "x"}, false},
        {"anim", {"4", "2"}, false},
        {"anim", {"0", "2", "8"}, false},
        {"anim", {"4", "-1", "8"}, false},
        {"anim", {"4", "2", "-8"}, false},
        {"anim", {"100000", "100000", "8"}, false},
        {"anim", {"4", "2", "0"}, true},
        {"environment", {"0"}, false},
        {"environment", {"-0.0"}, false},
        {"environment", {"1e3"}, false},
        {"environment", {"-3"}, true},
        {"movingtex", {"1"}, false},
        {"movingtex", {"1", "2"}, true},
        {"flick", {"1", "2", "3"}, true},
        {"flick", {"1", "", "3"}, true}, // an empty argument reads as 0
        {"glow", {"1"}, false},
        {"", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " with " << c.args.size());
        EXPECT_EQ(static_cast<bool>(CreateVertexEffect(c.name, c.args)), c.built);
    }
}

} // namespace
