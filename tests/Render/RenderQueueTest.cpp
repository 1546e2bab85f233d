// The render queue's walk on the null device: call order and draw arguments, buffers bound once per
// pair, static items with the passes outside, post-pass insertion points, and expiry of buckets.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Render/PRenderBlock.h"
#include "Render/RenderObjects.h"
#include "Render/RendererFixture.h"
#include "Render/StaticMeshCache.h"

using namespace Platform;
using namespace RenderSupport;

namespace {

class RecordingPasses : public CPPostPasses {
public:
    explicit RecordingPasses(NullDevice& device) : device_(device) {}
    void SpeedBlur(float amount) override { device_.calls.push_back("SpeedBlur " + std::to_string(amount)); }
    void Bloom() override { device_.calls.push_back("Bloom"); }

private:
    NullDevice& device_;
};

class RenderQueueTest : public RendererWorld {
protected:
    void SetUp() override {
        RendererWorld::SetUp();
        PutEffect("two.fx", "technique T { pass A { fixed; } pass B { fixed; ZEnable = false; } }");
        block_ = CPRefPtr<CPRenderBlock>(new CPRenderBlock());
        ASSERT_TRUE(block_->Init(device_.get(), false, 4));
        passes_ = std::make_unique<RecordingPasses>(*device_);
    }
    void TearDown() override {
        block_.Reset();
        RendererWorld::TearDown();
    }
    // One frame: submit, fill, walk, reset.
    void Frame(bool bloom = false) {
        ++FrameCounter;
        block_->Submit();
        block_->Fill();
        device_->calls.clear();
        queue_->ForgetBoundBuffers();
        queue_->Draw(*device_, passes_.get(), bloom);
        block_->ResetFrame();
    }
    std::vector<std::string> Calls(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : device_->calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
    CPRefPtr<CPRenderBlock> block_;
    std::unique_ptr<RecordingPasses> passes_;
};

TEST_F(RenderQueueTest, DrawsLayersInOrderWithOneBeginPerEffectAndOneDrawPerPass) {
    auto near = materials_->GetMaterial(20, "two.fx", {});
    auto far = materials_->GetMaterial(10, "simple.fx", {});
    auto screen = materials_->GetMaterial(200, "simple.fx", {});
    auto a = MeshObject("a", near, Vec3());
    auto b = MeshObject("b", far, Vec3());
    auto c = MeshObject("c", near, Vec3());
    auto d = MeshObject("d", screen, Vec3());
    for (auto* o : {a.Get(), b.Get(), c.Get(), d.Get()}) block_->AddObject(o);
    queue_->InitLayerCameras(640, 480);
    Frame();
    // The slot holds a and c (their material came first), then b, then d. Layer 10 draws b with one
    // pass, layer 20 draws a and c as one range with each of two passes, layer 200 draws d.
    const auto draws = Calls("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 4u);
    const int t = static_cast<int>(PrimitiveType::TriangleList);
    EXPECT_EQ(draws[0], "DrawIndexedPrimitive " + std::to_string(t) + " 0 8 4 12 2");  // b
    EXPECT_EQ(draws[1], "DrawIndexedPrimitive " + std::to_string(t) + " 0 0 8 0 4");   // a, c
    EXPECT_EQ(draws[2], draws[1]);                                                     // pass B
    EXPECT_EQ(draws[3], "DrawIndexedPrimitive " + std::to_string(t) + " 0 12 4 18 2"); // d
    // All ranges lie in one slot: the pair is bound once, and again after the blur's place before
    // layer 195 (the post passes bind buffers of their own).
    EXPECT_EQ(Calls("SetStreamSource").size(), 2u);
    // Pass B's state is put back after the effect ends.
    EXPECT_EQ(device_->GetRenderState(RenderState::ZEnable), 1u);
    EXPECT_FLOAT_EQ(queue_->GetLayerCamera(195)->view.m[0][0], 2.0f / 640.0f);
    EXPECT_EQ(queue_->GetDrawCount(), 4);
    EXPECT_TRUE(near->GetBlocks().empty());
}

TEST_F(RenderQueueTest, StaticItemsDrawWithThePassesOutsideAndTheirOwnWorld) {
    auto m = materials_->GetMaterial(20, "two.fx", {});
    StaticMeshEntry mesh;
    device_->CreateVertexBuffer(48 * 4, false, mesh.vertexBuffer);
    device_->CreateIndexBuffer(12, false, mesh.indexBuffer);
    mesh.vertexCount = 4;
    mesh.primitiveCount = 2;
    std::vector<CPRefPtr<CPGameObject>> objects;
    for (int i = 0; i < 2; ++i) {
        auto o = MeshObject("s", m, Vec3(static_cast<float>(i), 0, 0));
        auto* part = dynamic_cast<CPRenderObject*>(o->GetRenderPart().Get());
        part->SetStatic(true);
        part->staticMesh = &mesh;
        part->worldMatrix = MatTranslation(static_cast<float>(10 + i), 0, 0);
        block_->AddObject(o.Get());
        objects.push_back(o);
    }
    auto dynamicOne = MeshObject("d", m, Vec3());
    block_->AddObject(dynamicOne.Get());
    queue_->SetLayerTransform(MatTranslation(0, 0, 5), 20);
    Frame();
    std::vector<std::string> order;
    for (const auto& c : device_->calls)
        if (c.rfind("DrawIndexedPrimitive", 0) == 0 || c.rfind("SetTransform World", 0) == 0) order.push_back(c);
    const std::string dyn = "DrawIndexedPrimitive 4 0 0 4 0 2", stat = "DrawIndexedPrimitive 4 0 0 4 0 2";
    // layer world, dynamic A, dynamic B, then per pass: world, draw, world, draw.
    ASSERT_EQ(order.size(), 1u + 2u + 8u);
    EXPECT_EQ(order[0], "SetTransform World");
    EXPECT_EQ(order[3], "SetTransform World");
    EXPECT_EQ(order[4], stat);
    // The dynamic pair once, the static mesh once: items sharing a mesh keep it bound.
    EXPECT_EQ(Calls("SetStreamSource").size(), 2u);
}

// Without a level no sky pass sets an identity world before the queue: the next frame's first
// dynamic block must not be drawn with the world the last static item left on the device.
TEST_F(RenderQueueTest, AFramesFirstDynamicBlockDoesNotInheritTheLastStaticItemsWorld) {
    auto m = materials_->GetMaterial(20, "two.fx", {});
    StaticMeshEntry mesh;
    device_->CreateVertexBuffer(48 * 4, false, mesh.vertexBuffer);
    device_->CreateIndexBuffer(12, false, mesh.indexBuffer);
    mesh.vertexCount = 4;
    mesh.primitiveCount = 2;
    auto still = MeshObject("s", m, Vec3());
    auto* part = dynamic_cast<CPRenderObject*>(still->GetRenderPart().Get());
    part->SetStatic(true);
    part->staticMesh = &mesh;
    part->worldMatrix = MatTranslation(10, 0, 0);
    block_->AddObject(still.Get());
    Frame();

    auto moving = MeshObject("d", m, Vec3());
    block_->AddObject(moving.Get());
    Frame();
    ASSERT_EQ(Calls("DrawIndexedPrimitive").size(), 2u);
    ASSERT_EQ(Calls("SetTransform World").size(), 1u);
    Platform::Matrix world;
    const Platform::Matrix identity = Platform::Matrix::Identity();
    device_->GetTransform(Platform::TransformType::World, world);
    EXPECT_EQ(std::memcmp(&world, &identity, sizeof(world)), 0);
}

TEST_F(RenderQueueTest, PostPassesRunBeforeTheirLayersOnlyWithBloomOn) {
    for (int layer : {16, 120, 150, 197, 200}) {
        auto m = materials_->GetMaterial(layer, "simple.fx", {});
        auto o = MeshObject("o", m, Vec3());
        block_->AddObject(o.Get());
    }
    queue_->InitLayerCameras(640, 480); // 195 and 225 exist from now on
    Frame(true);
    std::vector<std::string> marks;
    int draws = 0;
    for (const auto& c : device_->calls) {
        if (c.rfind("DrawIndexedPrimitive", 0) == 0) marks.push_back("draw" + std::to_string(++draws));
        if (c.rfind("SpeedBlur", 0) == 0 || c == "Bloom") marks.push_back(c);
    }
    const std::vector<std::string> expected = {
        "draw1", "SpeedBlur 5.000000", "draw2", "draw3", "SpeedBlur 0.500000", "Bloom", "draw4", "draw5"};
    EXPECT_EQ(marks, expected);
    Frame(false);
    EXPECT_TRUE(Calls("SpeedBlur").empty());
}

TEST_F(RenderQueueTest, IdleBucketsExpireOnTheEleventhFrameAndLayersFollow) {
    auto m = materials_->GetMaterial(30, "simple.fx", {});
    auto o = MeshObject("o", m, Vec3());
    block_->AddObject(o.Get());
    Frame();
    ASSERT_TRUE(m->IsRegistered());
    ASSERT_NE(queue_->FindLayer(30), nullptr);
    for (int idle = 1; idle <= 10; ++idle) {
        Frame();
        EXPECT_TRUE(m->IsRegistered()) << idle;
    }
    Frame(); // the 11th idle frame
    EXPECT_FALSE(m->IsRegistered());
    const CPRenderLayer* layer = queue_->FindLayer(30);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->userCount, 0);
    for (int i = 0; i < 11; ++i) Frame();
    EXPECT_EQ(queue_->FindLayer(30), nullptr);
    // Registered again on its next block.
    block_->AddObject(o.Get());
    Frame();
    EXPECT_TRUE(m->IsRegistered());
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 1u);
}

TEST_F(RenderQueueTest, ReleasedUnknownLayerIsRemovedOnceTheCounterReachesTen) {
    queue_->ReleaseLayer(50);
    ASSERT_NE(queue_->FindLayer(50), nullptr);
    EXPECT_EQ(queue_->FindLayer(50)->userCount, -1);
    FrameCounter = 9;
    queue_->Draw(*device_, nullptr, false);
    EXPECT_NE(queue_->FindLayer(50), nullptr);
    FrameCounter = 10;
    queue_->Draw(*device_, nullptr, false);
    EXPECT_EQ(queue_->FindLayer(50), nullptr);
    // A transform-only layer keeps number 0 for the pass tests.
    queue_->SetLayerTransform(MatIdentity(), 130);
    EXPECT_EQ(queue_->FindLayer(130)->number, 0);
}

TEST_F(RenderQueueTest, BucketsWhoseEffectCannotBeginAndNegativeLayersAreSkipped) {
    PutEffect("error.fx", "garbage");
    PutEffect("bad.fx", "garbage");
    auto broken = materials_->GetMaterial(20, "bad.fx", {});
    ASSERT_EQ(broken->GetEffect()->GetEffectObject(), nullptr);
    auto hidden = materials_->GetMaterial(-5, "simple.fx", {});
    auto a = MeshObject("a", broken, Vec3());
    auto b = MeshObject("b", hidden, Vec3());
    block_->AddObject(a.Get());
    block_->AddObject(b.Get());
    Frame();
    EXPECT_TRUE(Calls("DrawIndexedPrimitive").empty());
    // Nothing is left in their lists for the next frame.
    EXPECT_TRUE(broken->GetBlocks().empty());
    EXPECT_TRUE(hidden->GetBlocks().empty());
}

} // namespace
