// The showroom's moving things from the data set on the real device: the waving flag, the turning
// sign and the stand of vertex effects, before and after the bloom, under the showroom camera of
// layer 225. Frames go to build/test-output/showroom-*.png for a look.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/RenderTestSupport.h"
#include "RenderGL/PngWriter.h"

namespace {

const bool g_videoDriverChosen = [] {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return true;
}();

constexpr int W = 800, H = 600;

int Difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int x0, int y0, int x1, int y1) {
    int changed = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (a[static_cast<size_t>(y) * W + x] != b[static_cast<size_t>(y) * W + x]) ++changed;
    return changed;
}

class ShowroomTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = W;
        g_screenHeight = H;
        FrameCounter = 0;
        TotalTime = 0;
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        const std::filesystem::path data = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data";
        for (const char* folder : {"Effects", "Meshes"})
            for (const auto& e : std::filesystem::directory_iterator(data / folder)) {
                std::ifstream in(e.path(), std::ios::binary);
                root_->Put(
                    std::string("Data/") + folder + "/" + e.path().filename().string(),
                    std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
            }
        const std::string mkdata = std::string(VASTREL_BINARY_DIR) + "/bin/mkdata .";
        ASSERT_EQ(std::system(mkdata.c_str()), 0);
        InvalidatePathCache();
        animations_ = std::make_unique<CPAnimationManager>();
        materials_ = std::make_unique<CPMaterialManager>();
        meshes_ = std::make_unique<CPMeshManager>();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(Platform::CreateGlBackend());
        if (!render_->Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
        // As the script function InitSky: white ambient light for the lit objects.
        render_->SetStoredAmbient(0xFFFFFFFF, 1, 1, 1, 1);
        render_->RestoreRenderStates();
    }
    void TearDown() override {
        objects_.clear();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        meshes_.reset();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        animations_.reset();
        root_.reset();
        CPSettingsManager::ResetDefaults();
        TotalTime = 0;
        FrameDelta = 0;
    }
    CPGameObject* Load(const char* name, int offset, const Vec3& at) {
        CPRefPtr<CPGameObject> o = meshes_->LoadRenderObject(name, offset);
        EXPECT_TRUE(o) << name;
        if (!o) return nullptr;
        o->SetPosition(at);
        o->UpdateTransform();
        objects_.push_back(o);
        return o.Get();
    }
    // One turn of the showroom at 30 frames a second: the key frames step, everything is queued,
    // the frame is drawn.
    std::vector<uint32_t> Turn() {
        ++FrameCounter;
        FrameDelta = 1.0f / 30;
        TotalTime += FrameDelta;
        // What the kernel does for the active objects' key-frame tasks.
        for (const auto& root : objects_) {
            CPGameObject::ObjectList tree;
            root->CollectObjects(tree);
            for (const auto& o : tree)
                if (o->GetCurrentAnimation() && o->GetCurrentAnimation()->IsRunning())
                    o->GetCurrentAnimation()->Update();
        }
        for (const auto& o : objects_) render_->GetDynamicRenderBlock()->DrawDynamicObject(o.Get());
        render_->Update();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(render_->GetDevice()->ReadBackBuffer(pixels, w, h), Platform::DeviceResult::Ok);
        return pixels;
    }

    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    std::unique_ptr<CPAnimationManager> animations_;
    std::unique_ptr<CPMaterialManager> materials_;
    std::unique_ptr<CPMeshManager> meshes_;
    CPRefPtr<CPRender> render_;
    std::vector<CPRefPtr<CPGameObject>> objects_;
};

TEST_F(ShowroomTest, TheFlagWavesTheSignTurnsAndTheEffectsRun) {
    // Where the showroom script puts them.
    Load("car.rdf", 225, Vec3(10, 9, 0));
    Load("crate.rdf", 225, Vec3(1, -3.9f, 0));
    Load("lamp.rdf", 225, Vec3(16, 12.5f, 0));
    Load("sign.rdf", 225, Vec3(3, -5.6f, 0));
    CPGameObject* flag = Load("pennant.rdf", 225, Vec3(0, 3, 1));
    CPGameObject* spin = Load("spinsign.rdf", 225, Vec3(4, -4.6f, 2.6f));
    CPGameObject* stand = Load("fxshow.rdf", 100, Vec3(6, 0, 5));
    ASSERT_TRUE(flag && spin && stand);
    AnimationRequest wave;
    wave.name = "wave";
    flag->PlayAnimation(wave, true);
    CPRefPtr<CPGameObject> board = spin->FindChild("board");
    ASSERT_TRUE(board && board->GetCurrentAnimation());
    board->GetCurrentAnimation()->Start();
    auto* part = dynamic_cast<CPAnimatedObject*>(flag->GetRenderPart().Get());
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->currentName, "wave");

    const std::filesystem::path out = std::filesystem::path(VASTREL_BINARY_DIR) / "test-output";
    std::vector<uint32_t> previous;
    for (int turn = 1; turn <= 60; ++turn) {
        auto p = Turn();
        if (turn % 20 == 0) PngWriter::Write(out / ("showroom-" + std::to_string(turn / 20) + ".png"), p, W, H);
        if (turn == 45) previous = p;
        if (turn == 48) {
            // The flag (right), the turning sign (top left) and the stand's belt (top middle) all
            // moved.
            EXPECT_GT(Difference(previous, p, 560, 60, 800, 320), 200);
            EXPECT_GT(Difference(previous, p, 100, 40, 230, 240), 200);
            EXPECT_GT(Difference(previous, p, 340, 40, 460, 120), 200);
        }
    }
    // The marker fades: 20 a second for 2 s took it from 255 to 215.
    const CPGameObject* marker = stand->FindChild("marker").Get();
    ASSERT_NE(marker, nullptr);
    auto* mesh = dynamic_cast<CPRenderObject*>(marker->GetRenderPart().Get());
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->vertexEffects.size(), 1u);
    EXPECT_NEAR(dynamic_cast<CPFadeEffect&>(*mesh->vertexEffects[0]).alpha, 255 - 40, 1);
}

} // namespace
