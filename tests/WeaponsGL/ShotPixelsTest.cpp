// Shots drawn on the real device and read back: a tracer's streak between its projected ends, the
// super weapon's white-out over the whole frame, gone when it ends, and an explosion's light on a
// floor for its first 0.4 s only. Frames are written to build/test-output/ as PNG for a look.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Core/Math/Math.h"
#include "Core/PGlobalTimer.h"
#include "Core/PSettings.h"
#include "Platform/Device.h"
#include "Platform/GlDevice.h"
#include "Render/PMaterialManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/RenderTestSupport.h"
#include "RenderGL/PngWriter.h"
#include "Weapons/PExplosionShot.h"
#include "Weapons/PTracerShot.h"
#include "Weapons/WeaponsTestSupport.h"

using namespace Platform;

namespace {

const bool g_videoDriverChosen = [] {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return true;
}();

constexpr int W = 320, H = 240;

int Grey(uint32_t argb) { return static_cast<int>(((argb >> 16) & 0xFF) + ((argb >> 8) & 0xFF) + (argb & 0xFF)) / 3; }

class ShotPixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = W;
        g_screenHeight = H;
        g_fullScreen = 0;
        FrameCounter = 0;
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        const std::filesystem::path data = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Effects";
        for (const auto& e : std::filesystem::directory_iterator(data)) {
            std::ifstream in(e.path(), std::ios::binary);
            root_->Put("Data/Effects/" + e.path().filename().string(),
                       std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        }
        root_->Put("Data/Textures/white.tga", RenderSupport::SolidTga(4, 4, 0xFFFFFFFF));
        root_->Put("Data/Textures/error.tga", RenderSupport::SolidTga(2, 2, 0xFFFF00FF));
        // Black and clear: an explosion's sprites add nothing and hide nothing.
        root_->Put("Data/Textures/clear.tga", RenderSupport::SolidTga(4, 4, 0x00000000));
        root_->Put("Data/Textures/glow_shot.tga", RenderSupport::SolidTga(4, 4, 0x00000000));
        materials_ = std::make_unique<CPMaterialManager>();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(CreateGlBackend());
        if (!render_->Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
        device_ = render_->GetDevice();
        camera_ = CPRefPtr<CPPerspectiveCamera>(new CPPerspectiveCamera());
        camera_->eye = Vec3(0, 0, 0);
        camera_->lookAt = Vec3(0, 0, 1);
        camera_->up = Vec3(0, 1, 0);
        camera_->fov = ToRadian(60);
        camera_->nearPlane = 1;
        camera_->farPlane = 1000;
        camera_->viewDirty = camera_->projectionDirty = true;
        camera_->Recalculate();
        render_->SetLayerCamera(103, camera_.Get());
        world_.camera = Vec3(0, 0, 0);
        const std::string text = "streak trasser player;20;5;0.5;white.tga;light_nofog.fx;103;;0;none\n"
                                 "white super nosound;none\n"
                                 // Radius 10, white light; 4 x 2 cells at 8 a second: one second long.
                                 "blast s_explosion clear.tga;;x;0;0;0;4;2;8;10;1;0.5;0.3;1,1,1;;0;;0;;none\n";
        weapons_.LoadText(text.data(), static_cast<int>(text.size()));
    }
    void TearDown() override {
        floor_.Reset();
        weapons_.ReleaseAll();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        camera_.Reset();
        CPManagedObject::CollectGarbage();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        root_.reset();
        CPSettingsManager::ResetDefaults();
    }
    // One turn: the shots step and queue, the renderer draws; the frame read back.
    std::vector<uint32_t> Turn(float dt, const char* png) {
        ++FrameCounter;
        FrameDelta = dt;
        weapons_.Update();
        // The lights queued this turn go to the device, as the sky task has them in a race.
        render_->ApplyLights();
        if (floor_) render_->GetDynamicRenderBlock()->DrawDynamicObject(floor_.Get());
        render_->Update();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(device_->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
        const std::filesystem::path out = std::filesystem::path(VASTREL_BINARY_DIR) / "test-output";
        std::filesystem::create_directories(out);
        PngWriter::Write(out / png, pixels, W, H);
        return pixels;
    }
    static uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return p[static_cast<size_t>(y) * W + x]; }
    void Project(const Vec3& p, float& x, float& y) const {
        const Vec3 clip = Vec3TransformCoord(p, camera_->viewProjection);
        x = (clip.x + 1) * 0.5f * W - 0.5f;
        y = (1 - clip.y) * 0.5f * H - 0.5f;
    }

    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    std::unique_ptr<CPMaterialManager> materials_;
    CPRefPtr<CPRender> render_;
    CPRefPtr<CPPerspectiveCamera> camera_;
    Device* device_ = nullptr;
    FakeWorld world_;
    CPWeaponsSystem weapons_;
    CPRefPtr<CPGameObject> floor_;
};

TEST_F(ShotPixelsTest, ATracerStreakCoversTheSpanBetweenItsEnds) {
    // Launched across the view at distance 20; after half a second the head is 10 units on and
    // the tail 2.
    weapons_.CreateShot("streak", Vec3(-5, 0, 20), Vec3(1, 0, 0), -1);
    auto* tracer = dynamic_cast<CPTracerShot*>(weapons_.GetLiveShots().front().Get());
    ASSERT_NE(tracer, nullptr);
    const auto p = Turn(0.5f, "tracer.png");
    float tx, ty, hx, hy;
    Project(tracer->GetTail(), tx, ty);
    Project(tracer->GetHead(), hx, hy);
    ASSERT_LT(tx + 4, hx - 4);
    float ax, ay;
    Project(Vec3(0, 0.5f, 20), ax, ay); // the streak's upper edge
    const int half = static_cast<int>(std::fabs(ay - hy));
    ASSERT_GT(half, 2);
    // Lit inside the span, dark beyond its ends and its edges.
    const int mid = static_cast<int>(hy);
    EXPECT_GT(Grey(At(p, static_cast<int>(hx) - 3, mid)), 150);
    EXPECT_GT(Grey(At(p, static_cast<int>((tx + hx) / 2), mid)), 150);
    EXPECT_LT(Grey(At(p, static_cast<int>(hx) + 4, mid)), 10);
    EXPECT_LT(Grey(At(p, static_cast<int>(tx) - 4, mid)), 10);
    EXPECT_LT(Grey(At(p, static_cast<int>((tx + hx) / 2), mid - half - 3)), 10);
    EXPECT_LT(Grey(At(p, static_cast<int>((tx + hx) / 2), mid + half + 3)), 10);
}

TEST_F(ShotPixelsTest, TheWhiteOutCoversTheFrameAndIsGoneByTwoSeconds) {
    weapons_.CreateShot("white", Vec3(), Vec3(), -1);
    Turn(0.1f, "super-rising.png");
    const auto full = Turn(0.4f, "super-full.png");
    for (auto [x, y] : {std::pair{0, 0}, {W - 1, 0}, {W / 2, H / 2}, {0, H - 1}, {W - 1, H - 1}})
        EXPECT_GT(Grey(At(full, x, y)), 250) << x << "," << y;
    float t = 0.5f;
    std::vector<uint32_t> last;
    while (!weapons_.GetLiveShots().empty()) {
        last = Turn(0.25f, "super-falling.png");
        t += 0.25f;
        ASSERT_LE(t, 2.0f);
    }
    last = Turn(0.25f, "super-gone.png");
    EXPECT_LT(Grey(At(last, W / 2, H / 2)), 5);
}

// A white floor 20 units ahead, facing the camera, lit only by the device's lights (no ambient).
// An explosion 5 units in front of it lights it while it is younger than 0.4 s, ever less, and
// not at all after, although it is still playing its cells.
TEST_F(ShotPixelsTest, AnExplosionLightsTheFloorForItsFirstFourTenthsOnly) {
    floor_ = CPRefPtr<CPGameObject>(new CPGameObject("floor"));
    CPRefPtr<CPRenderObject> quad(new CPRenderObject(floor_.Get()));
    for (auto [x, y] : {std::pair{-6.0f, 6.0f}, {6.0f, 6.0f}, {6.0f, -6.0f}, {-6.0f, -6.0f}}) {
        CPVertex v{};
        v.position = Vec3(x, y, 20);
        v.normal = Vec3(0, 0, -1);
        v.diffuse = 0xFFFFFFFFu;
        quad->vertices.push_back(v);
    }
    quad->indices = {0, 1, 2, 0, 2, 3};
    quad->worldVertices = quad->vertices;
    quad->SetMaterial(materials_->GetMaterial(103, "simple.fx", {"white.tga"}));
    floor_->SetRenderPart(CPRefPtr<CPManagedObject>(quad.Get()));
    floor_->SetRenderType(CPGameObject::RenderMesh);
    render_->SetAmbient(0xFF000000, 0, 0, 0);

    const auto before = Turn(0.125f, "blast-before.png");
    EXPECT_LT(Grey(At(before, W / 2, H / 2)), 5);

    weapons_.CreateShot("blast", Vec3(0, 0, 15), Vec3(), -1);
    ASSERT_EQ(weapons_.GetLiveShots().size(), 1u);
    ASSERT_NE(dynamic_cast<CPExplosionShot*>(weapons_.GetLiveShots().front().Get()), nullptr);
    // Ages 0, 0.125, 0.25 and 0.375 s: lit, fading; 0.5 and 0.625 s: dark while the cells still play.
    int previous = 256;
    for (int turn = 0; turn < 4; ++turn) {
        const auto lit = Turn(0.125f, "blast-lit.png");
        const int grey = Grey(At(lit, W / 2, H / 2));
        EXPECT_GT(grey, 20) << "turn " << turn;
        EXPECT_LE(grey, previous) << "turn " << turn;
        previous = grey;
    }
    for (int turn = 4; turn < 6; ++turn) {
        const auto dark = Turn(0.125f, "blast-dark.png");
        EXPECT_EQ(weapons_.GetLiveShots().size(), 1u) << "turn " << turn;
        EXPECT_LT(Grey(At(dark, W / 2, H / 2)), 5) << "turn " << turn;
        EXPECT_LT(Grey(At(dark, W / 4, H / 4)), 5) << "turn " << turn;
    }
}

} // namespace
