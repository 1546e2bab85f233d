// The sky on the null device: the file's positional reading, the dome's geometry and colours, the
// fog, ambient and sun outputs, one frame's calls in order, cloud-state changes, and skies that
// cannot be drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "DynamicSky/SkyFile.h"
#include "DynamicSky/SkyTestSupport.h"

using namespace SkySupport;

namespace {

class SkyscapeTest : public SkyWorld {};

TEST_F(SkyscapeTest, ADomeOf64SegmentsHas17RingsOf65VerticesAnd6144Indices) {
    auto sky = Load(SkyText{});
    ASSERT_TRUE(sky->IsDrawable());
    const auto& v = sky->GetWorkingVertices();
    const auto& idx = sky->GetIndices();
    ASSERT_EQ(v.size(), 1105u);
    ASSERT_EQ(idx.size(), 6144u);
    EXPECT_EQ(sky->GetBufferedVertexCount(), 1105);
    EXPECT_FLOAT_EQ(v[0].tv, 0.0f);
    EXPECT_FLOAT_EQ(v[16 * 65].tv, 2.0f * 16 / 17);
    EXPECT_FLOAT_EQ(v[64].tu, 4.0f);
    // Ring 0 lies on the horizon at the radius; the last ring at the top, radius x height factor.
    EXPECT_NEAR(v[0].position.x, 800, 1e-3);
    EXPECT_NEAR(v[0].position.z, 0, 1e-3);
    EXPECT_NEAR(v[16 * 65].position.z, 400, 1e-2);
    // Normals point inwards.
    EXPECT_NEAR(v[0].normal.x, -1, 1e-6);
    const std::vector<CPIndex> first(idx.begin(), idx.begin() + 6);
    EXPECT_EQ(first, (std::vector<CPIndex>{0, 65, 66, 0, 66, 1}));
    EXPECT_EQ(*std::max_element(idx.begin(), idx.end()), 1104);
    // Every sky part owns buffers of the fixed sizes.
    EXPECT_EQ(Device().CountCalls("CreateVertexBuffer 960000"), 2); // dome, billboard
    sky->Render(0.1f);
    EXPECT_EQ(Device().CountCalls("CreateVertexBuffer 960000"), 3); // and the clouds, once
    sky->Render(0.1f);
    EXPECT_EQ(Device().CountCalls("CreateVertexBuffer 960000"), 3);
}

TEST_F(SkyscapeTest, SegmentCountsBuildTheirDomeOrNone) {
    const struct {
        int segments;
        size_t vertices;
    } cases[] = {{0, 0}, {-4, 0}, {8, 27}, {200, 51 * 201}, {400, 51 * 201}};
    for (const auto& c : cases) {
        SkyText text;
        text.segments = c.segments;
        auto sky = Load(text);
        EXPECT_EQ(sky->GetWorkingVertices().size(), c.vertices) << c.segments;
        for (const CPVertex& v : sky->GetWorkingVertices())
            ASSERT_TRUE(std::isfinite(v.position.x) && std::isfinite(v.normal.z)) << c.segments;
        sky->Render(0.1f); // draws with or without a dome
    }
}

// A damaged row count would read that many rows of zeros per layer: more rows than the file has
// lines leave the sky empty, as too few rows do.
TEST_F(SkyscapeTest, MoreColourRowsThanTheFileHasLinesLeaveTheSkyEmpty) {
    const struct {
        int rows;
        bool dome;
    } cases[] = {{2147483647, false}, {100000, false}, {2, true}};
    for (const auto& c : cases) {
        SkyText text;
        text.rows = c.rows;
        auto sky = Load(text);
        EXPECT_EQ(sky->GetWorkingVertices().empty(), !c.dome) << c.rows;
        sky->Render(0.1f);
    }
}

TEST_F(SkyscapeTest, RingsAreColouredBandByBandOneStepAheadAndClamped) {
    SkyText text;
    text.rows = 5;
    text.layers[0].alpha = 200;
    text.layers[0].rows = {{0, 0, 0}, {40, 80, 120}, {40, 80, 120}, {200, 50, 100}, {250, 10, 100}};
    auto sky = Load(text);
    ASSERT_EQ(sky->GetRingsPerBand(), 4);
    sky->ColorDome(); // no sun yet: no glow
    const auto& v = sky->GetWorkingVertices();
    auto ring = [&](int r) { return v[static_cast<size_t>(r * 65 + 7)].diffuse; };
    const struct {
        int ring;
        int r, g, b;
    } cases[] = {
        {0, 10, 20, 30},                       // row 1 plus one step of (10, 20, 30)
        {3, 40, 80, 120},                      // the band's last ring reaches row 2
        {4, 40, 80, 120},                      // a flat band
        {8, 80, 72, 115},                      // (40, 80, 120) + (40, -7.5, -5): truncated
        {12, 212, 40, 100},                    // the last band steps by (12.5, -10, 0) over five rings
        {15, 250, 10, 100}, {16, 255, 0, 100}, // one step past row 5, clamped
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Alpha(ring(c.ring)), 200) << c.ring;
        EXPECT_EQ(Red(ring(c.ring)), c.r) << c.ring;
        EXPECT_EQ(Green(ring(c.ring)), c.g) << c.ring;
        EXPECT_EQ(Blue(ring(c.ring)), c.b) << c.ring;
    }
}

TEST_F(SkyscapeTest, TheSunsGlowAddsUpTo56WhereTheDomeFacesIt) {
    SkyText text;
    text.layers[0].rows = {{100, 100, 100}, {100, 100, 100}};
    auto sky = Load(text);
    SkySunPosition = Vec3(5000, 0, 0);
    sky->ColorDome();
    const auto& v = sky->GetWorkingVertices();
    // With rows (100, 100, 100) rings carry 100 + the last step (0).
    EXPECT_EQ(Red(v[0].diffuse), 156);  // on the horizon towards the sun
    EXPECT_EQ(Red(v[32].diffuse), 100); // opposite: no glow
    EXPECT_EQ(Red(v[16].diffuse), 100); // at right angles
    text.layers[0].rows = {{230, 230, 230}, {230, 230, 230}};
    sky = Load(text);
    sky->ColorDome();
    EXPECT_EQ(Red(sky->GetWorkingVertices()[0].diffuse), 255); // capped
}

TEST_F(SkyscapeTest, FogAmbientAndSunAreTheStartLayersValues) {
    EXPECT_EQ(SkyPackColor(255, 128, 0.9f), 0xFFFF8000u);
    EXPECT_EQ(SkyPackColor(256, 0, 0), 0xFF000000u); // cut to the low 8 bits
    const struct {
        float channel;
        int byte;
    } bytes[] = {{1.0f, 255}, {1.5f, 255}, {0.0f, 0}, {-1.0f, 0}, {0.5f, 128}, {0.2f, 51}};
    for (const auto& b : bytes) EXPECT_EQ(SkyLightByte(b.channel), b.byte) << b.channel;

    SkyText text;
    text.layers.push_back(text.layers[0]);
    text.layers[1].fog = {255, 128, 0.9f};
    text.layers[1].ambient = {51, 102, 204};
    text.layers[1].sun = {255, 127.5f, 0};
    text.start = 1;
    MakeLevel();
    auto sky = Load(text);
    EXPECT_EQ(sky->GetCurrentLayer(), 1);
    Device().calls.clear();
    sky->Render(0.02f);
    EXPECT_EQ(render_->GetFogColor(), 0xFFFF8000u);
    EXPECT_EQ(Device().GetRenderState(Platform::RenderState::FogColor), 0xFFFF8000u);
    EXPECT_FLOAT_EQ(render_->GetAmbientFloats()[0], 0.2f);
    EXPECT_FLOAT_EQ(render_->GetAmbientFloats()[2], 0.8f);
    EXPECT_EQ(Device().GetRenderState(Platform::RenderState::Ambient), 0xFF3366CCu);
    const LightRecord& sun = render_->GetDirectionalLight();
    EXPECT_FLOAT_EQ(sun.Diffuse.r, 255.0f / 256);
    EXPECT_FLOAT_EQ(sun.Diffuse.g, 128.0f / 256);
    EXPECT_FLOAT_EQ(sun.Diffuse.b, 0.0f);
    EXPECT_FLOAT_EQ(sun.Diffuse.a, 1.0f);
    EXPECT_FLOAT_EQ(sun.Specular.r, 255.0f / 256);
    // The light shines from the sun: minus its direction (0.6, 0, 0.8).
    EXPECT_NEAR(sun.Direction.x, -0.6f, 1e-6);
    EXPECT_NEAR(sun.Direction.z, -0.8f, 1e-6);
    EXPECT_NEAR(level_->GetLight().Direction.x, -0.6f, 1e-6);
    EXPECT_FLOAT_EQ(SkySunPosition.x, 0.6f * 500 * 100);
    EXPECT_EQ(Device().GetState().lights[0].Diffuse.r, 255.0f / 256);
}

TEST_F(SkyscapeTest, TheDoublingFlagDoublesOnlySunAndAmbient) {
    SkyText text;
    text.layers[0].doubling = 1;
    text.layers[0].sun = {100, 50, 20};
    text.layers[0].ambient = {10, 20, 30};
    auto sky = Load(text);
    const SkyLayer& l = sky->GetLayers()[0];
    EXPECT_EQ(l.sun.x, 200);
    EXPECT_EQ(l.ambient.z, 60);
    EXPECT_EQ(l.fog.x, 100);
    EXPECT_EQ(l.cloudSun.x, 200);
    EXPECT_EQ(l.rows[0].x, 10);
}

TEST_F(SkyscapeTest, TheStartLayerHoldsUnlessItsDurationIsNegative) {
    SkyText text;
    text.layers.resize(3, text.layers[0]);
    text.layers[1].fog = {1, 2, 3};
    text.layers[2].fog = {7, 8, 9};
    const struct {
        int start;
        float duration;
        int after;
    } cases[] = {{1, 100, 1}, {1, 0, 1}, {1, -1, 2}, {3, 100, 0}, {9, 100, 0}, {-2, 100, 0}};
    for (const auto& c : cases) {
        text.start = c.start;
        for (auto& l : text.layers) l.duration = 100;
        text.layers[1].duration = c.duration;
        auto sky = Load(text);
        for (int frame = 0; frame < 5; ++frame) sky->Render(1.0f);
        EXPECT_EQ(sky->GetCurrentLayer(), c.after) << c.start << " " << c.duration;
    }
    // The rate toward the next layer is prepared, not applied.
    text.start = 1;
    for (auto& l : text.layers) l.duration = 2;
    auto sky = Load(text);
    EXPECT_FLOAT_EQ(sky->GetRate().fog.x, 3.0f);
    sky->Render(1.0f);
    EXPECT_EQ(render_->GetFogColor(), 0xFF010203u);
}

TEST_F(SkyscapeTest, OneFrameCallsInOrderFogAmbientDomeSunBillboardsDepthCloudsLight) {
    SkyText text;
    text.billboards.push_back(text.billboards[0]);
    text.billboards[1].direction = {-0.6f, 0, 0.8f};
    for (auto& l : text.layers) l.billboards.resize(2);
    MakeLevel();
    // A camera that sees the cloud at (0, 300, 50) ahead.
    SkyViewMatrix = MatLookAtLH(Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1));
    MatInverse(SkyViewInverse, nullptr, SkyViewMatrix);
    auto sky = Load(text);
    Device().calls.clear();
    sky->Render(0.02f);
    const auto& calls = Device().calls;
    auto find = [&](const std::string& prefix, size_t from) {
        for (size_t i = from; i < calls.size(); ++i)
            if (calls[i].rfind(prefix, 0) == 0) return i;
        return calls.size();
    };
    const std::string fog = "SetRenderState " + std::to_string(int(Platform::RenderState::FogColor));
    const std::string ambient = "SetRenderState " + std::to_string(int(Platform::RenderState::Ambient));
    const std::string dome = "DrawIndexedPrimitive 4 0 0 1105 0 2048";
    const std::string quad = "DrawIndexedPrimitive 4 0 0 4 0 2";
    const std::string clouds = "DrawIndexedPrimitive 4 0 0 8 0 4"; // the cloud's two puffs
    size_t at = find(fog, 0);
    for (const std::string& next : {ambient, dome, std::string("SetLight 0"), std::string("LightEnable 0 1"), quad,
                                    quad, std::string("Clear 2 00000000 1 0"), clouds, dome}) {
        const size_t found = find(next, at + 1);
        ASSERT_LT(found, calls.size()) << "no " << next << " after call " << at;
        at = found;
    }
    EXPECT_EQ(Device().CountCalls("DrawIndexedPrimitive"), 5);
}

TEST_F(SkyscapeTest, CloudStatesChangeAtRandomButNeverToTheSameState) {
    root_.Put("Data/Clouds/states.txt",
              Bytes(StatesText({StateText{5, 1, 0.5f}, StateText{5, 1, 0.5f}, StateText{5, 1, 0.5f, "field.txt", 1}})));
    auto sky = Load(SkyText{});
    std::set<int> seen{sky->GetCloudStateIndex()};
    int changes = 0;
    for (int frame = 0; frame < 400; ++frame) {
        const int before = sky->GetCloudStateIndex();
        const float clock = sky->GetCloudStateClock();
        sky->Render(0.1f);
        if (sky->GetCloudStateClock() < clock + 0.05f) {
            ++changes;
            EXPECT_NE(sky->GetCloudStateIndex(), before);
        }
        seen.insert(sky->GetCloudStateIndex());
    }
    EXPECT_GT(changes, 10);
    EXPECT_EQ(seen.size(), 3u);
    // base 1, spread 0.5: m = 10, durations 0.5 + 0.1 k for k in 0..9.
    EXPECT_GE(sky->GetStateDuration(), 0.5f - 1e-6f);
    EXPECT_LE(sky->GetStateDuration(), 1.4f + 1e-6f);
}

TEST_F(SkyscapeTest, StateChoicesThatCouldNeverEndAreBounded) {
    const struct {
        std::vector<StateText> states;
        float duration; // expected after the first change
    } cases[] = {
        {{StateText{5, 2, 0.5f}}, -1}, // one state restarts its clock
        {{StateText{5, 2, 0.0f, "field.txt", 0, 0}, StateText{5, 2, 0, "field.txt", 0, 0}}, 2}, // never accepted
        {{StateText{5, 3, 0.001f}, StateText{5, 3, 0.001f}}, 3}, // spread too small to draw: the base
    };
    for (const auto& c : cases) {
        root_.Put("Data/Clouds/states.txt", Bytes(StatesText(c.states)));
        auto sky = Load(SkyText{});
        for (int frame = 0; frame < 40; ++frame) sky->Render(0.25f); // past every duration
        if (c.states.size() == 1) EXPECT_EQ(sky->GetCloudStateIndex(), 0);
        else EXPECT_FLOAT_EQ(sky->GetStateDuration(), c.duration);
        EXPECT_LT(sky->GetCloudStateClock(), 3.0f);
    }
}

TEST_F(SkyscapeTest, SkiesThatCannotBeDrawnDrawNothingButSetADefaultFogAndAmbient) {
    SkyText noLayer;
    noLayer.layers.clear();
    SkyText oneRow;
    oneRow.rows = 1;
    SkyText noState;
    noState.states = "missing.txt";
    SkyText emptyStates;
    root_.Put("Data/Clouds/none.txt", Bytes("count 0\n"));
    emptyStates.states = "none.txt";
    for (const SkyText& text : {noLayer, oneRow, noState, emptyStates}) {
        auto sky = Load(text);
        EXPECT_FALSE(sky->IsDrawable());
        render_->SetFogColor(0x12345678);
        render_->SetAmbient(0xFF102030, 0.1f, 0.2f, 0.3f);
        Device().SetRenderState(Platform::RenderState::Ambient, 0xFF102030);
        Device().calls.clear();
        sky->Render(1.0f);
        // No draw; the previous fog and ambient give way to black fog and a 128 grey ambient.
        for (const std::string& call : Device().calls) EXPECT_NE(call.rfind("Draw", 0), 0u) << call;
        EXPECT_EQ(render_->GetFogColor(), 0xFF000000u);
        EXPECT_EQ(Device().GetRenderState(Platform::RenderState::FogColor), 0xFF000000u);
        EXPECT_EQ(Device().GetRenderState(Platform::RenderState::Ambient), 0xFF808080u);
        EXPECT_FLOAT_EQ(render_->GetAmbientFloats()[0], 128.0f / 255.0f);
        EXPECT_FLOAT_EQ(render_->GetAmbientFloats()[2], 128.0f / 255.0f);
    }
    // A state naming no field of the sky shows none, and a texture that cannot be read says so.
    root_.Put("Data/Clouds/states.txt", Bytes(StatesText({StateText{5, 0.1f, 0, "nofield.txt"}, StateText{}})));
    auto unknown = Load(SkyText{});
    ASSERT_TRUE(unknown->IsDrawable());
    EXPECT_TRUE(unknown->GetActiveFields().empty());
    Device().calls.clear();
    for (int frame = 0; frame < 3; ++frame) unknown->Render(0.1f);
    EXPECT_FALSE(unknown->GetActiveFields().empty()); // the next state's field fades in
    EXPECT_EQ(unknown->LoadTexture("data\\textures\\none.tga"), E_FAIL);
    EXPECT_NE(unknown->GetTexture(), nullptr); // kept as it was
    auto missing = std::make_unique<Skyscape>();
    missing->Load("nothing-here.txt");
    EXPECT_FALSE(missing->IsDrawable());
    EXPECT_NE(missing->GetLightEffect(), nullptr); // loaded whatever became of the file
}

TEST_F(SkyscapeTest, ShortFilesAndBadNumbersReadAsEmptyWithoutHanging) {
    // Counts far beyond the lines the file has: reading stops at the end.
    PutSky("short.txt", SkyText{});
    std::string text = SkyText{}.Text();
    const size_t layers = text.find("layers ");
    text.replace(layers, text.find('\n', layers) - layers, "layers 2000000000");
    root_.Put("Data/Clouds/long.txt", Bytes(text.substr(0, text.size() / 2)));
    Skyscape sky;
    sky.Load("long.txt");
    EXPECT_LE(sky.GetLayers().size(), 2u);
    sky.Render(0.5f);

    const struct {
        const char* text;
        float real;
        int integer;
    } numbers[] = {
        {"12.5x", 12.5f, 12}, {"abc", 0, 0},   {"-3e2", -300, -3}, {"1e99", 0, 1}, {"inf", 0, 0},
        {"nan", 0, 0},        {".5", 0.5f, 0}, {"0x10", 0, 0},     {"+7", 7, 7},   {"99999999999", 1e11f, 2147483647}};
    for (const auto& n : numbers) {
        EXPECT_EQ(SkyFile::ParseReal(n.text), n.real) << n.text;
        EXPECT_EQ(SkyFile::ParseInteger(n.text), n.integer) << n.text;
    }
    // Labels are ignored, "//" drops the line, quotes group a value.
    SkyFile file;
    file.SetText("a 1 2 3\n// b 9\nc \"x y\" z\n");
    EXPECT_EQ(file.Triple().z, 3.0f);
    EXPECT_EQ(file.Text(), "x y");
    EXPECT_EQ(file.Text(), "");
}

TEST_F(SkyscapeTest, TheRendererOwnsOneSkyAndDrawsItOnlyWithALevelAndACamera) {
    PutSky("skyscape3.txt", SkyText{});
    render_->DeleteSky();
    render_->CreateSky(3);
    CPSky* first = render_->GetSky();
    ASSERT_NE(first, nullptr);
    render_->CreateSky(3);
    EXPECT_NE(render_->GetSky(), nullptr);

    const std::string fog = "SetRenderState " + std::to_string(int(Platform::RenderState::FogColor));
    auto frameDrawsSky = [&] {
        Device().calls.clear();
        render_->Update();
        return render_->GetSkyPass().DrewLastFrame();
    };
    EXPECT_FALSE(frameDrawsSky()); // no level
    MakeLevel();
    EXPECT_FALSE(frameDrawsSky()); // no camera
    CPRefPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = Vec3(0, 0, 2);
    camera->lookAt = Vec3(0, 10, 2);
    camera->up = Vec3(0, 0, 1);
    CurrentCamera = camera;
    EXPECT_TRUE(frameDrawsSky());
    EXPECT_EQ(Device().CountCalls("Clear 2 "), 1);
    render_->DeleteSky();
    render_->DeleteSky();
    EXPECT_EQ(render_->GetSky(), nullptr);
    EXPECT_FALSE(frameDrawsSky());
}

} // namespace
