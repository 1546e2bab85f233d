// Clouds and billboards on the null device: a cloud's extent from its file, bad puffs, the wrap
// around the field's square with the fades on both sides, corner colours, the volume cloud's depth
// order and cap, billboard textures, colours and placement.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "DynamicSky/Clouds.h"
#include "DynamicSky/SkyBillboard.h"
#include "DynamicSky/SkyTestSupport.h"

using namespace SkySupport;

namespace {

class CloudsTest : public SkyWorld {};

TEST_F(CloudsTest, ACloudsHalfHeightAndRadiusComeFromItsPuffsScaledAndTurned) {
    Cloud cloud;
    ASSERT_TRUE(cloud.Load("cloud.txt", 2.0f, 0.0f));
    ASSERT_EQ(cloud.puffs.size(), 2u);
    // Puffs at (-20, 0, 0) and (20, 0, 4), half sizes (6, 8): e = 10.
    EXPECT_FLOAT_EQ(cloud.radius, 30.0f);
    EXPECT_FLOAT_EQ(cloud.halfHeight, 7.0f); // half of max(|-10|, |14|)
    EXPECT_FLOAT_EQ(cloud.puffs[0].halfWidth, 6.0f);
    EXPECT_EQ(cloud.puffs[0].column, 1);
    EXPECT_EQ(cloud.puffs[0].row, 2);
    EXPECT_NEAR(cloud.puffs[0].bend.x, -1.0f, 1e-6);
    Cloud turned;
    turned.Load("cloud.txt", 1.0f, 1.5707964f);
    EXPECT_NEAR(turned.puffs[0].offset.y, -10.0f, 1e-4); // (-10, 0) a quarter turn: (0, -10)
    EXPECT_NEAR(turned.puffs[0].offset.x, 0.0f, 1e-4);
}

TEST_F(CloudsTest, BadPuffsAreDroppedAndFlatCloudsDoNotDivideByZero) {
    root_.Put("Data/Clouds/bad.txt", Bytes("cores 1\ncore 0 0 0\npuffs 3\n"
                                           "offset 0 0 0\ncell 0 0\nturn 0\ncore 5\nsize 1 1\n"
                                           "offset 0 0 0\ncell 4 0\nturn 0\ncore 0\nsize 1 1\n"
                                           "offset 0 0 0\ncell 0 0\nturn 0\ncore 0\nsize 0 0\n"
                                           "rim 0\ncentre 0\nf 128\ns 1\ns 1\ns 1\ns 1\ns 1\n"));
    Cloud cloud;
    cloud.Load("bad.txt", 1.0f, 0.0f);
    ASSERT_EQ(cloud.puffs.size(), 1u); // core 5 and cell 4 are out of range
    EXPECT_EQ(cloud.radius, 0.0f);
    EXPECT_EQ(cloud.halfHeight, 0.0f);
    cloud.StartFadeOut(true);
    const uint32_t c = cloud.CornerColor(Vec3(0, 0, 0), Vec3(0, 0, 1));
    EXPECT_EQ(Alpha(c), 255); // all rim: B
    VolumeCloud volume;
    cloud.UpdateFade(0.1f, volume); // ramp 0: the centre threshold jumps to 255
    EXPECT_EQ(cloud.centreThreshold, 255.0f);
}

TEST_F(CloudsTest, CornerAlphaFollowsTheThresholdsCentreFirst) {
    Cloud cloud;
    cloud.Load("cloud.txt", 1.0f, 0.0f);                                    // R = 15
    EXPECT_EQ(Alpha(cloud.CornerColor(Vec3(0, 0, 0), Vec3(0, 0, 1))), 255); // idle
    cloud.StartFadeOut(false);
    cloud.centreThreshold = 100;
    cloud.rimThreshold = 250;
    const struct {
        float distance;
        int alpha;
    } cases[] = {{0, 150}, {7.5f, 200}, {15, 250}, {40, 250}};
    for (const auto& c : cases)
        EXPECT_EQ(Alpha(cloud.CornerColor(Vec3(c.distance, 0, 0), Vec3(0, 0, 1))), c.alpha) << c.distance;
    // Colour: shade by height times the factor plus the sun's facing.
    SkyCloudShadeColor = Vec3(255, 0, 0);
    SkyCloudSunColor = Vec3(0, 0, 200);
    SkySunPosition = Vec3(0, 0, 1000);
    const uint32_t top = cloud.CornerColor(Vec3(0, 0, 0), Vec3(0, 0, 1));
    EXPECT_EQ(Red(top), 64);   // 255 x (128 / 255) x 128 / 255: level 0
    EXPECT_EQ(Blue(top), 200); // facing the sun
    EXPECT_EQ(Blue(cloud.CornerColor(Vec3(0, 0, 0), Vec3(0, 0, -1))), 0);
    // A shade factor past every float times a channel of 0 is no number: that channel is 0, while
    // a channel of 1 is as bright as can be.
    cloud.shadeFactor = std::numeric_limits<float>::infinity();
    SkyCloudShadeColor = Vec3(0, 0, 1);
    const uint32_t damaged = cloud.CornerColor(Vec3(0, 0, 0), Vec3(0, 0, 1));
    EXPECT_EQ(Red(damaged), 0);
    EXPECT_EQ(Blue(damaged), 255);
}

TEST_F(CloudsTest, ACloudLeavingTheSquareFadesOutJumpsAcrossAndFadesIn) {
    root_.Put("Data/Clouds/f.txt", Bytes(FieldText({{95, 0, 0}}, 1, 1, 100)));
    CloudField field;
    field.Load("f.txt");
    Cloud& cloud = *field.clouds[0].first;
    SkyWind = Vec3(10, 0, 0);
    VolumeCloud volume;
    bool fadedOut = false, jumped = false, fadedIn = false;
    for (int frame = 0; frame < 400 && !fadedIn; ++frame) {
        const float before = cloud.position.x;
        field.Update(0.1f, volume);
        if (cloud.fadingOut && cloud.rimThreshold <= 0) fadedOut = true;
        if (cloud.position.x < before - 100) {
            EXPECT_TRUE(fadedOut);
            EXPECT_NEAR(before + 1.0f - cloud.position.x, 200.0f, 1e-3); // one whole 2R
            EXPECT_TRUE(cloud.fadingIn);
            EXPECT_EQ(cloud.centreThreshold, 255.0f);
            jumped = true;
        }
        if (jumped && !cloud.fadingIn && !cloud.fadingOut) fadedIn = true;
    }
    EXPECT_TRUE(jumped);
    EXPECT_TRUE(fadedIn);
    EXPECT_LT(std::fabs(cloud.position.x), 100.0f);

    // No wind along y: it fades out and in again where it is.
    root_.Put("Data/Clouds/g.txt", Bytes(FieldText({{0, 150, 0}}, 1, 1, 100)));
    CloudField still;
    still.Load("g.txt");
    SkyWind = Vec3();
    for (int frame = 0; frame < 200; ++frame) still.Update(0.1f, volume);
    EXPECT_EQ(still.clouds[0].first->position.y, 150.0f);

    // A wrap size of 0 does not wrap.
    root_.Put("Data/Clouds/h.txt", Bytes(FieldText({{0, 150, 0}}, 1, 1, 0)));
    CloudField none;
    none.Load("h.txt");
    EXPECT_EQ(none.wrap, 0);
}

TEST_F(CloudsTest, ACloudFarPastTheBorderJumpsIntoTheSquare) {
    // R = 100; r -= 2R floor((r + R) / 2R). A field wind factor of 0 keeps the cloud where it is.
    const struct { float x, wind, landed; } cases[] = {{160, 10, -40}, {-160, -10, 40}, {350, 10, -50}, {120, 10, -80}};
    VolumeCloud volume;
    for (const auto& c : cases) {
        root_.Put("Data/Clouds/far.txt", Bytes(FieldText({{c.x, 0, 0}}, 0, 1, 100)));
        CloudField field;
        field.Load("far.txt");
        Cloud& cloud = *field.clouds[0].first;
        SkyWind = Vec3(c.wind, 0, 0);
        bool jumped = false;
        for (int frame = 0; frame < 400 && !jumped; ++frame) {
            field.Update(0.1f, volume);
            jumped = cloud.position.x != c.x;
        }
        EXPECT_TRUE(jumped) << c.x;
        EXPECT_FLOAT_EQ(cloud.position.x, c.landed) << c.x;
    }
}

TEST_F(CloudsTest, AFieldFadesAsAWholeAndFinishesWhenFadedOut) {
    CloudField field;
    field.Load("field.txt");
    VolumeCloud volume;
    field.SetFading(false, true);
    EXPECT_TRUE(field.fadingOut);
    int frames = 0;
    while (!field.finished && frames < 1000) {
        field.Update(0.5f, volume);
        ++frames;
    }
    EXPECT_TRUE(field.finished);
    EXPECT_FALSE(field.clouds[0].first->fieldFade);
    // Ramps of 2: 255 / (0.5 x 255 / 2) = 4 updates each way, and the one that counts it done.
    EXPECT_EQ(frames, 9);
}

TEST_F(CloudsTest, PuffsAreFiledNearestFirstAndThoseBehindAreSkipped) {
    Cloud cloud;
    cloud.Load("cloud.txt", 1.0f, 0.0f);
    VolumeCloud volume;
    const struct {
        Vec3 position;
        size_t quads;
    } cases[] = {{{0, 0, 50}, 2}, {{0, 0, 0.5f}, 1}, {{0, 0, -1.5f}, 0}, {{0, 0, -50}, 0}};
    for (const auto& c : cases) {
        volume.Clear();
        cloud.position = c.position;
        cloud.BuildQuads(volume); // identity view: z is the depth; the puffs sit at z + 0 and z + 2
        EXPECT_EQ(volume.GetQuadCount(), c.quads) << c.position.z;
    }
    volume.Clear();
    Cloud near, far;
    near.Load("cloud.txt", 1.0f, 0.0f);
    far.Load("cloud.txt", 1.0f, 0.0f);
    near.position = Vec3(0, 0, 10);
    far.position = Vec3(0, 0, 90);
    far.BuildQuads(volume);
    near.BuildQuads(volume);
    volume.Render(0.0f);
    const auto& v = volume.GetVertices();
    ASSERT_EQ(v.size(), 16u);
    EXPECT_NEAR(v[0].position.z, 10.0f, 1e-4); // the near cloud's first puff first
    EXPECT_NEAR(v[8].position.z, 90.0f, 1e-4);
    const std::vector<CPIndex> first(volume.GetIndices().begin(), volume.GetIndices().begin() + 12);
    EXPECT_EQ(first, (std::vector<CPIndex>{0, 2, 1, 0, 3, 2, 4, 6, 5, 4, 7, 6}));
    // Corners: atlas cell (1, 2) of 4 x 4, the puff's half sizes about its centre.
    EXPECT_FLOAT_EQ(v[0].tu, 0.25f);
    EXPECT_FLOAT_EQ(v[0].tv, 0.5f);
    EXPECT_FLOAT_EQ(v[2].tu, 0.5f);
    EXPECT_FLOAT_EQ(v[2].tv, 0.75f);
    EXPECT_NEAR(v[0].position.x, -13.0f, 1e-4);
    EXPECT_NEAR(v[0].position.y, -4.0f, 1e-4);
    EXPECT_EQ(v[0].diffuse, near.puffs[0].colors[0]);
}

TEST_F(CloudsTest, AFrameKeepsTheNearest5000Quads) {
    VolumeCloud volume;
    CPVertex quad[4] = {};
    for (int i = 0; i < 6000; ++i) {
        for (CPVertex& c : quad) c.position.z = static_cast<float>(6000 - i);
        volume.AddQuad(static_cast<float>(6000 - i), quad);
    }
    volume.Render(0.0f);
    ASSERT_EQ(volume.GetVertices().size(), 20000u);
    EXPECT_EQ(volume.GetVertices().front().position.z, 1.0f);
    EXPECT_EQ(volume.GetVertices().back().position.z, 5000.0f);
    EXPECT_EQ(volume.GetBufferedIndexCount(), 30000);
}

TEST_F(CloudsTest, BillboardTexturesCycleAndColoursFollowTheAlpha) {
    SkyBillboard b;
    b.SetEffectNames("data\\effects\\bb0.fx", "data\\effects\\bb1.fx");
    b.AddTexture("data\\textures\\sun.tga");
    b.AddTexture("data\\textures\\moon.tga");
    b.AddTexture("data\\textures\\sun.tga");
    b.SetDirection(Vec3(0, 3, 4));
    b.Build(2.0f);
    EXPECT_EQ(b.GetEffectIndex(), 1);
    EXPECT_NE(b.GetEffect(), nullptr);
    EXPECT_EQ(b.GetWorkingVertices()[0].diffuse, 0xFF000014u);
    EXPECT_EQ(b.GetWorkingVertices()[2].position.x, 2.0f);
    EXPECT_EQ(b.GetWorkingVertices()[2].position.z, 2.0f);
    const int order[] = {1, 2, 0, 1};
    for (int expected : order) {
        b.NextTexture();
        EXPECT_EQ(b.GetTextureIndex(), expected);
    }
    b.SetAlpha(128);
    EXPECT_EQ(b.GetVertices()[3].diffuse, 0x80000014u);
    b.SelectEffect(0);
    EXPECT_EQ(b.GetEffectIndex(), 0);
    b.SelectEffect(7); // neither 0 nor 1: the default, 1
    EXPECT_EQ(b.GetEffectIndex(), 1);
}

TEST_F(CloudsTest, BillboardsFaceTheViewerUprightAndVerticalOnesStayFinite) {
    const struct {
        Vec3 direction;
        Vec3 tiltOfUp; // where the tilt takes (0, 0, 1)
    } cases[] = {
        {{0, 0, 1}, {0, 0, 1}},   // straight up: no turn
        {{0, 0, -1}, {0, 0, -1}}, // straight down: a half turn
        {{1, 0, 0}, {1, 0, 0}},
        {{0, 1, 0}, {0, 1, 0}}, // on the y axis: no alignment
        {{0.6f, 0.48f, 0.64f}, {0.6f, 0.48f, 0.64f}},
    };
    for (const auto& c : cases) {
        SkyBillboard b;
        b.SetDirection(c.direction);
        b.SetDistance(100);
        b.SetLayerValues(0, 2.0f);
        b.Build(1.0f);
        const Vec3 up = Vec3TransformNormal(Vec3(0, 0, 1), b.GetTilt());
        EXPECT_NEAR(Length(up - c.tiltOfUp), 0.0f, 1e-5) << c.direction.x << c.direction.y << c.direction.z;
        b.Draw(0.0f);
        const auto& v = b.GetVertices();
        ASSERT_EQ(v.size(), 4u);
        Vec3 centre;
        for (const CPVertex& p : v) {
            ASSERT_TRUE(std::isfinite(p.position.x) && std::isfinite(p.position.y) && std::isfinite(p.position.z));
            centre = centre + p.position * 0.25f;
        }
        const Vec3 d = Normalize(c.direction);
        EXPECT_NEAR(Length(centre - d * 100.0f), 0.0f, 1e-3);
        // The quad's plane faces the viewer: its edges are at right angles to the direction.
        EXPECT_NEAR(Dot(v[1].position - v[0].position, d), 0.0f, 1e-3);
        EXPECT_NEAR(Dot(v[3].position - v[0].position, d), 0.0f, 1e-3);
        EXPECT_NEAR(Length(v[1].position - v[0].position), 4.0f, 1e-3); // size 1 x layer scale 2, both sides
    }
}

} // namespace
