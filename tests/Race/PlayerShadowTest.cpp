// The car's ground shadow on the null device: the shadow object and its material, and the draw that
// fits it to the road under the car and queues it with the car, or queues neither while blinking.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Platform/TgaWriter.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "RaceWorldFixture.h"
#include "Render/MeshFile.h"
#include "Render/PIVBlock.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/PTextureManager.h"

namespace {

const Quat kFacingX{0, 0, 0.70710677f, 0.70710677f};

class PlayerShadowTest : public RaceWorldFixture {
protected:
    void SetUp() override {
        RaceWorldFixture::SetUp();
        if (HasFatalFailure()) return;
        // The shadow: one flat quad of a 2 x 4 footprint.
        MeshFile::Node quad;
        quad.name = "shadow";
        for (auto [x, y] : {std::pair{-1.0f, -2.0f}, std::pair{1.0f, -2.0f}, std::pair{1.0f, 2.0f}}) {
            CPVertex v;
            v.position = Vec3(x, y, 0);
            quad.vertices.push_back(v);
            quad.indices.push_back(static_cast<CPIndex>(quad.indices.size()));
        }
        quad.boxes = {MeshFile::CollisionRecord::Make({0, 0, 0}, {1, 2, 0.05f})};
        MeshFile::Mesh mesh;
        mesh.nodes = {quad};
        Put("Data/Meshes/shadow.msh", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older));
        Put("Data/Meshes/shadow.rdf", "mesh = shadow.msh\n[shadow]\neffectfile = simple.fx\n");
        Put("Data/Effects/shadow.fx",
            "param texture2D tex0;\ntechnique T {\n    pass P0 {\n        fixed;\n    }\n}\n");
        std::filesystem::create_directories("Data/Textures");
        ASSERT_TRUE(Platform::WriteTgaFile("Data/Textures/shadow_car.tga", 2, 2, std::vector<uint8_t>(16, 0x40)));
        InvalidatePathCache();

        std::vector<Vec3> positions = {{-50, -20, 0}, {-50, 20, 0}, {50, -20, 0}, {50, 20, 0}};
        std::vector<uint16_t> indices = {0, 2, 3, 0, 3, 1};
        ASSERT_TRUE(physics_->BuildRoadGrid(positions, indices, MatIdentity()));
        physics_->InitWorld();

        car_ = CPRefPtr<CPPlayer>(new CPPlayer);
        car_->GetDescription().Parse(R"(<render><shadow name="shadow_car.tga"/></render>)");
        CPRefPtr<CPPhysicData> data(new CPPhysicData(car_.Get()));
        data->body = {0, 1.6f, 0.5f, 3.6f, 0.0f, 10.0f};
        CPPhysicData::Shape shape;
        shape.a = 1.6f, shape.b = 0.5f, shape.c = 3.6f;
        data->shapes.push_back(shape);
        car_->SetPhysicData(data);
        car_->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(0.8f, 1.8f, 0.5f)));
        car_->SetPosition({0, 0, 0.6f});
        car_->SetRotation(kFacingX);
        car_->UpdateTransform();
        physics_->RestoreObject(car_.Get());
        physics_->AddObject(car_.Get(), true, 1);
        physics_->AddCar(car_.Get(), true);

        camera_ = CPRefPtr<CPCamera>(new CPCamera);
        CPPerspectiveCamera* view = camera_->GetMainCamera();
        view->eye = Vec3(-10, 0, 5);
        view->lookAt = Vec3(0, 0, 0);
        view->viewDirty = view->projectionDirty = true;
        view->Recalculate();
    }
    void TearDown() override {
        FrameDelta = 0.0f;
        car_.Reset();
        camera_.Reset();
        RaceWorldFixture::TearDown();
    }
    // Whether the renderable is queued in the frame's blocks.
    bool Queued(const CPRenderable* renderable) const {
        for (const CPIVBlock* block : render_->GetDynamicRenderBlock()->GetFrameBlocks())
            for (const auto& r : block->GetRenderables())
                if (r.Get() == renderable) return true;
        return false;
    }

    CPGameData data_;
    CPRefPtr<CPPlayer> car_;
    CPRefPtr<CPCamera> camera_;
};

TEST_F(PlayerShadowTest, TheShadowTakesTheCarsTextureUnderTheShadowEffect) {
    car_->CreateShadow();
    ASSERT_NE(car_->shadow, nullptr);
    EXPECT_TRUE(car_->shadow->IsVisible());
    EXPECT_TRUE(car_->shadow->IsStatic());
    EXPECT_EQ(car_->shadow->GetScriptPointer(), nullptr);
    auto* mesh = dynamic_cast<CPRenderObject*>(car_->shadow->GetRenderPart().Get());
    ASSERT_NE(mesh, nullptr);
    EXPECT_FALSE(mesh->IsStatic()); // rebuilt every frame, never cached
    const CPRefPtr<CPMaterial> material = mesh->GetMaterial();
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->GetType(), 120);
    ASSERT_NE(material->GetEffect(), nullptr);
    EXPECT_EQ(material->GetEffect()->GetName(), "shadow.fx");
    ASSERT_NE(material->GetTextureBlock(), nullptr);
    ASSERT_EQ(material->GetTextureBlock()->GetCount(), 1);
    EXPECT_EQ(material->GetTextureBlock()->GetTexture(0)->GetName(), "shadow_car.tga");
    // A second shadow replaces the first.
    const CPGameObject* first = car_->shadow.Get();
    car_->CreateShadow();
    EXPECT_NE(car_->shadow.Get(), first);
}

TEST_F(PlayerShadowTest, TheShadowLiesOnTheRoadUnderTheCarAndBlinksWithIt) {
    car_->CreateShadow();
    ASSERT_NE(car_->shadow, nullptr);
    auto* mesh = dynamic_cast<CPRenderObject*>(car_->shadow->GetRenderPart().Get());
    ASSERT_NE(mesh, nullptr);
    // The physics steps gather the road under the body.
    FrameDelta = 1.0f / 60.0f;
    for (int i = 0; i < 3; ++i) physics_->Update();
    CPRenderBlock* block = render_->GetDynamicRenderBlock().Get();
    block->ResetFrame();
    FrameCounter = 5;
    car_->Draw(block, camera_.Get());
    EXPECT_TRUE(Queued(mesh));
    ASSERT_FALSE(mesh->vertices.empty());
    for (const CPVertex& v : mesh->vertices) EXPECT_NEAR(v.position.z, 0.03f, 1e-5f); // just above the road

    // Blinking: every fourth frame queues neither the car nor its shadow.
    car_->blinkTime = 1.0f;
    for (unsigned frame : {8u, 9u}) {
        block->ResetFrame();
        FrameCounter = frame;
        car_->Draw(block, camera_.Get());
        EXPECT_EQ(Queued(mesh), frame % 4 != 0) << frame;
    }
    // Out of the camera's sight nothing is queued.
    block->ResetFrame();
    FrameCounter = 9;
    camera_->GetMainCamera()->lookAt = Vec3(-20, 0, 5);
    camera_->GetMainCamera()->viewDirty = true;
    camera_->GetMainCamera()->Recalculate();
    car_->Draw(block, camera_.Get());
    EXPECT_FALSE(Queued(mesh));
}

} // namespace
