// Objects built from descriptions and mesh files, drawn through the render queue on the real device
// and read back: a textured quad and its posed, turned child in the showroom layer (225), where the
// fixed perspective camera sees them, as static meshes and kept dynamic by a "vertexeffect" key.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Core/Math/Math.h"
#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PSettings.h"
#include "Platform/Device.h"
#include "Platform/GlDevice.h"
#include "Render/MeshFile.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/RenderTestSupport.h"

using namespace Platform;

namespace {

const bool g_videoDriverChosen = [] {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return true;
}();

constexpr int W = 640, H = 480;

// Unlit texture: the texel as it is.
const char* kTextured = "param texture2D tex0;\n"
                        "technique T { pass P { fixed; Lighting = false; FogEnable = false; "
                        "Stage[0].ColorOp = SelectArg1; Stage[0].ColorArg1 = Texture; } }";

// A rectangle in the plane x = `x`, spanning y0..y1 and z0..z1, seen from both sides.
MeshFile::Node Rectangle(const std::string& name, float x, float y0, float y1, float z0, float z1) {
    MeshFile::Node node;
    node.name = name;
    const float corners[4][2] = {{y0, z0}, {y1, z0}, {y1, z1}, {y0, z1}};
    const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        CPVertex v;
        v.position = {x, corners[i][0], corners[i][1]};
        v.normal = {-1, 0, 0};
        v.tu = uv[i][0];
        v.tv = uv[i][1];
        node.vertices.push_back(v);
    }
    node.indices = {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2};
    return node;
}

struct Box {
    Vec3 corner[4]; // in order around the rectangle
};

class DescriptionPixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = W;
        g_screenHeight = H;
        g_fullScreen = 0;
        FrameCounter = 0;
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        root_->Put("Data/Effects/textured.fx", std::vector<uint8_t>(kTextured, kTextured + std::strlen(kTextured)));
        const std::filesystem::path simple =
            std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Effects" / "simple.fx";
        std::ifstream in(simple, std::ios::binary);
        root_->Put("Data/Effects/simple.fx",
                   std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        root_->Put("Data/Textures/red.tga", RenderSupport::SolidTga(4, 4, 0xFFFF0000));
        root_->Put("Data/Textures/blue.tga", RenderSupport::SolidTga(4, 4, 0xFF0000FF));
        root_->Put("Data/Textures/error.tga", RenderSupport::SolidTga(2, 2, 0xFFFF00FF));

        // The board faces the camera one unit along x; its tab is posed beside it: moved by
        // (0, -1.6, 1.8) and turned about x by the conjugate of the file's +90 degrees.
        MeshFile::Node board = Rectangle("Board", 0, -1, 1, 0.5f, 1.5f);
        board.pose.position = {1, 0, 0};
        MeshFile::Node tab = Rectangle("Tab", -0.1f, 0.2f, 1.4f, -0.2f, 0.2f);
        tab.pose.position = {0, -1.6f, 1.8f};
        tab.pose.rotation = {std::sqrt(0.5f), 0, 0, std::sqrt(0.5f)};
        board.children = {tab};
        MeshFile::Mesh mesh;
        mesh.nodes = {board};
        root_->Put("Data/Meshes/board.p3d", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::P3d));
        const std::string sections = "[board]\neffectfile = textured.fx\ntexturefile1 = red.tga\n%s"
                                     "[tab]\neffectfile = textured.fx\ntexturefile1 = blue.tga\n%s";
        PutText("Data/Meshes/board.rdf", "mesh = board.p3d\n" + Format(sections, ""));
        PutText("Data/Meshes/twin.rdf", "mesh = board.p3d\n" + Format(sections, "vertexeffect = none 0\n"));

        materials_ = std::make_unique<CPMaterialManager>();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(CreateGlBackend());
        if (!render_->Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
        device_ = render_->GetDevice();
    }
    void TearDown() override {
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        root_.reset();
        CPSettingsManager::ResetDefaults();
    }
    void PutText(const std::string& path, const std::string& text) {
        root_->Put(path, std::vector<uint8_t>(text.begin(), text.end()));
    }
    static std::string Format(const std::string& pattern, const std::string& extra) {
        std::string out = pattern;
        for (size_t at; (at = out.find("%s")) != std::string::npos;) out.replace(at, 2, extra);
        return out;
    }
    std::vector<uint32_t> Frame(CPGameObject* object) {
        ++FrameCounter;
        render_->GetDynamicRenderBlock()->DrawDynamicObject(object);
        render_->Update();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(device_->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
        return pixels;
    }
    // The showroom camera as the layer is set up: from (-6, 0, 1.8) towards (0, 0, 1.3), z up,
    // 60 degrees high, near 1, far 100.
    static Vec2 Project(const Vec3& p) {
        const Mat4 viewProjection = MatLookAtLH(Vec3(-6, 0, 1.8f), Vec3(0, 0, 1.3f), Vec3(0, 0, 1)) *
                                    MatPerspectiveFovLH(1.0471976f, float(W) / float(H), 1.0f, 100.0f);
        const Vec3 clip = Vec3TransformCoord(p, viewProjection);
        return Vec2((clip.x + 1) * 0.5f * W - 0.5f, (1 - clip.y) * 0.5f * H - 0.5f);
    }
    static uint32_t At(const std::vector<uint32_t>& p, const Vec2& at) {
        const int x = static_cast<int>(std::lround(at.x)), y = static_cast<int>(std::lround(at.y));
        if (x < 0 || y < 0 || x >= W || y >= H) return 0xDEADBEEF;
        return p[static_cast<size_t>(y) * W + x] & 0x00FFFFFF;
    }
    // Points a tenth inside each corner and the centre show `colour`; points a tenth outside the
    // middle of each edge show the clear colour.
    static void ExpectRectangle(const std::vector<uint32_t>& p, const Box& box, uint32_t colour, const char* what) {
        const Vec3 centre = (box.corner[0] + box.corner[1] + box.corner[2] + box.corner[3]) * 0.25f;
        EXPECT_EQ(At(p, Project(centre)), colour) << what << " centre";
        for (int i = 0; i < 4; ++i) {
            const Vec3& a = box.corner[i];
            const Vec3& b = box.corner[(i + 1) % 4];
            EXPECT_EQ(At(p, Project(a + (centre - a) * 0.1f)), colour) << what << " corner " << i;
            const Vec3 middle = (a + b) * 0.5f;
            EXPECT_EQ(At(p, Project(middle + (middle - centre) * 0.1f)), 0u) << what << " outside edge " << i;
        }
    }

    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    std::unique_ptr<CPMaterialManager> materials_;
    CPAnimationManager animations_;
    CPMeshManager meshes_;
    CPRefPtr<CPRender> render_;
    Device* device_ = nullptr;
};

TEST_F(DescriptionPixelsTest, ATexturedQuadAndItsPosedChildAppearWhereTheShowroomCameraSeesThem) {
    // The board in world space, and the tab: (y, z) turned by -90 degrees about x gives (z, -y), so
    // its y 0.2..1.4, z -0.2..0.2 become y -0.2..0.2, z -1.4..-0.2, then moved with the pose and
    // the board.
    const Box board{{Vec3(1, -1, 0.5f), Vec3(1, 1, 0.5f), Vec3(1, 1, 1.5f), Vec3(1, -1, 1.5f)}};
    const Box tab{{Vec3(0.9f, -1.8f, 0.4f), Vec3(0.9f, -1.4f, 0.4f), Vec3(0.9f, -1.4f, 1.6f), Vec3(0.9f, -1.8f, 1.6f)}};
    struct Case {
        const char* description;
        bool isStatic;
    };
    for (const Case& c : {Case{"board.rdf", true}, Case{"twin.rdf", false}}) {
        SCOPED_TRACE(c.description);
        CPRefPtr<CPGameObject> object = meshes_.LoadRenderObject(c.description, 225);
        ASSERT_TRUE(object);
        auto* mesh = dynamic_cast<CPRenderObject*>(object->GetRenderPart().Get());
        auto* tabMesh = dynamic_cast<CPRenderObject*>(object->FindChild("tab")->GetRenderPart().Get());
        ASSERT_TRUE(mesh && tabMesh);
        EXPECT_EQ(mesh->isStatic, c.isStatic);
        EXPECT_EQ(tabMesh->isStatic, c.isStatic);
        EXPECT_EQ(mesh->GetMaterial()->GetType(), 225);
        object->MarkDirty();
        object->UpdateTransform();

        const std::vector<uint32_t> p = Frame(object.Get());
        ExpectRectangle(p, board, 0xFF0000, "board");
        ExpectRectangle(p, tab, 0x0000FF, "tab");
    }
}

} // namespace
