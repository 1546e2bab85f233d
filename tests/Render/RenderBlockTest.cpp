// Render blocks on the null device: what objects queue, how a frame's IV blocks are written into the
// ring, what does not fit, and what a frame's end leaves behind.
#include <gtest/gtest.h>

#include <vector>

#include "Render/PRenderBlock.h"
#include "Render/RenderObjects.h"
#include "Render/RendererFixture.h"
#include "Render/StaticMeshCache.h"

using namespace Platform;
using namespace RenderSupport;

namespace {

std::vector<LightRecord> g_lights;
void CollectLight(const LightRecord& light) { g_lights.push_back(light); }

class RenderBlockTest : public RendererWorld {
protected:
    void SetUp() override {
        RendererWorld::SetUp();
        g_lights.clear();
        block_ = CPRefPtr<CPRenderBlock>(new CPRenderBlock());
        ASSERT_TRUE(block_->Init(device_.get(), false, 4));
        block_->SetLightSink(CollectLight);
        m1_ = materials_->GetMaterial(20, "simple.fx", {});
        m2_ = materials_->GetMaterial(21, "simple.fx", {});
    }
    void TearDown() override {
        block_.Reset();
        m1_.Reset();
        m2_.Reset();
        RendererWorld::TearDown();
    }
    CPRefPtr<CPRenderBlock> block_;
    CPRefPtr<CPMaterial> m1_, m2_;
};

TEST_F(RenderBlockTest, ObjectsQueueByMaterialVisibilityAndRenderType) {
    auto root = MeshObject("root", m1_, Vec3(0, 0, 0));
    auto child = MeshObject("child", m2_, Vec3(1, 0, 0));
    auto grandchild = MeshObject("grandchild", m1_, Vec3(2, 0, 0));
    auto lamp = LightObject("lamp", Vec3(5, 6, 7), 0.5f);
    auto group = CPRefPtr<CPGameObject>(new CPGameObject("group")); // render type 5
    child->AddChild(grandchild);
    root->AddChild(child);
    root->AddChild(lamp);
    root->AddChild(group);
    block_->DrawDynamicObject(root.Get());
    ASSERT_EQ(block_->GetFrameBlocks().size(), 2u);
    EXPECT_EQ(block_->FindBlock(m1_.Get())->renderables.size(), 2u);
    EXPECT_EQ(block_->FindBlock(m1_.Get())->vertexCount, 8);
    EXPECT_EQ(block_->FindBlock(m2_.Get())->indexCount, 6);
    ASSERT_EQ(g_lights.size(), 1u);
    EXPECT_FLOAT_EQ(g_lights[0].Position.x, 5.0f); // placed at its owner

    // An invisible object queues nothing, and none of its children.
    block_->ResetFrame();
    child->SetVisible(false);
    block_->DrawDynamicObject(root.Get());
    EXPECT_EQ(block_->GetFrameBlocks().size(), 1u);
    EXPECT_EQ(block_->FindBlock(m1_.Get())->renderables.size(), 1u);

    // Queued twice, drawn twice; a part of the wrong class for its type draws nothing.
    block_->ResetFrame();
    block_->AddObject(root.Get());
    block_->AddObject(root.Get());
    auto liar = CPRefPtr<CPGameObject>(new CPGameObject("liar"));
    liar->SetRenderType(CPGameObject::RenderSprite);
    liar->SetRenderPart(CPRefPtr<CPLight>(new CPLight(liar.Get())));
    block_->AddObject(liar.Get());
    EXPECT_EQ(block_->FindBlock(m1_.Get())->renderables.size(), 2u);
    EXPECT_EQ(block_->GetFrameBlocks().size(), 1u);
}

TEST_F(RenderBlockTest, ADeepChainIsWalkedWithoutRecursion) {
    auto root = MeshObject("n0", m1_, Vec3());
    CPGameObject* tip = root.Get();
    for (int i = 1; i < 20000; ++i) {
        CPRefPtr<CPGameObject> next(new CPGameObject("n"));
        tip->AddChild(next);
        tip = next.Get();
    }
    tip->SetRenderType(CPGameObject::RenderMesh);
    tip->SetRenderPart(SquareMesh(tip, m2_, 1));
    block_->DrawDynamicObject(root.Get());
    EXPECT_EQ(block_->GetFrameBlocks().size(), 2u);
}

TEST_F(RenderBlockTest, FillWritesEachMaterialAsOneRangeWithOffsetIndices) {
    auto a = MeshObject("a", m1_, Vec3(1, 2, 3), 0.5f, 0xFF0000FF);
    auto b = MeshObject("b", m2_, Vec3(), 0.5f);
    auto c = MeshObject("c", m1_, Vec3(), 0.5f);
    block_->AddObject(a.Get());
    block_->AddObject(b.Get());
    block_->AddObject(c.Get());
    block_->Submit();
    EXPECT_EQ(m1_->GetBlocks().size(), 1u);
    EXPECT_TRUE(m1_->IsRegistered());
    ASSERT_TRUE(block_->Fill());
    EXPECT_FALSE(block_->Fill()); // once a frame
    CPIVBlock* first = block_->FindBlock(m1_.Get());
    CPIVBlock* second = block_->FindBlock(m2_.Get());
    EXPECT_TRUE(first->filled);
    EXPECT_EQ(first->firstVertex, 0);
    EXPECT_EQ(first->vertexCount, 8);
    EXPECT_EQ(first->indexCount, 12);
    EXPECT_EQ(second->firstVertex, 8);
    EXPECT_EQ(second->firstIndex, 12);
    EXPECT_EQ(first->deviceVertices, block_->GetVertexBuffer()->GetVertexBuffer(0));
    EXPECT_EQ(block_->GetVertexBuffer()->GetCurrentSlot(), 1); // the next frame writes the next slot
    // Read the slot back: world positions and indices offset by each part's base.
    void* data = nullptr;
    ASSERT_TRUE(DeviceOk(first->deviceVertices->Lock(0, 0, &data, 0)));
    const auto* v = static_cast<const CPVertex*>(data);
    EXPECT_FLOAT_EQ(v[0].position.x, 0.5f);
    EXPECT_FLOAT_EQ(v[0].position.z, 3.0f);
    EXPECT_EQ(v[0].diffuse, 0xFF0000FFu);
    first->deviceVertices->Unlock();
    ASSERT_TRUE(DeviceOk(first->deviceIndices->Lock(0, 0, &data, 0)));
    const auto* idx = static_cast<const CPIndex*>(data);
    EXPECT_EQ(idx[6], 4);  // c's first index, after a's four vertices
    EXPECT_EQ(idx[12], 8); // b's first index
    first->deviceIndices->Unlock();
}

TEST_F(RenderBlockTest, ABlockThatDoesNotFitGoesToTheNextSlotAndTheRingIsNeverOverrun) {
    CPRefPtr<CPRenderBlock> ring(new CPRenderBlock());
    ASSERT_TRUE(ring->Init(device_.get(), false, 2));
    auto m3 = materials_->GetMaterial(22, "simple.fx", {});
    auto big1 = MeshObject("big1", m1_, Vec3(), 1, 0xFFFFFFFF, 40000);
    auto big2 = MeshObject("big2", m2_, Vec3(), 1, 0xFFFFFFFF, 40000);
    auto big3 = MeshObject("big3", m3, Vec3(), 1, 0xFFFFFFFF, 40000);
    ring->AddObject(big1.Get());
    ring->AddObject(big2.Get());
    ring->AddObject(big3.Get());
    ASSERT_TRUE(ring->Fill());
    CPIVBlock* b1 = ring->FindBlock(m1_.Get());
    CPIVBlock* b2 = ring->FindBlock(m2_.Get());
    CPIVBlock* b3 = ring->FindBlock(m3.Get());
    EXPECT_TRUE(b1->filled);
    EXPECT_TRUE(b2->filled);
    EXPECT_EQ(b2->firstVertex, 0);
    EXPECT_NE(b1->deviceVertices, b2->deviceVertices);
    // A third slot would be slot 0 again, which this frame still draws from.
    EXPECT_FALSE(b3->filled);
    ring->ResetFrame();

    // A renderable larger than a slot is refused; the rest of its block is written.
    auto huge = MeshObject("huge", m1_, Vec3(), 1, 0xFFFFFFFF, 70000);
    auto small = MeshObject("small", m1_, Vec3(), 1);
    ring->AddObject(huge.Get());
    ring->AddObject(small.Get());
    ASSERT_TRUE(ring->Fill());
    EXPECT_TRUE(ring->FindBlock(m1_.Get())->filled);
    EXPECT_EQ(ring->FindBlock(m1_.Get())->vertexCount, 4);
}

TEST_F(RenderBlockTest, AFrameEndEmptiesTheMaterialsBlockLists) {
    auto a = MeshObject("a", m1_, Vec3());
    block_->AddObject(a.Get());
    block_->Submit();
    ASSERT_EQ(m1_->GetBlocks().size(), 1u);
    // A lost frame never walks the queue; its end still leaves nothing behind.
    block_->ResetFrame();
    EXPECT_TRUE(m1_->GetBlocks().empty());
    EXPECT_TRUE(block_->GetFrameBlocks().empty());
    EXPECT_EQ(block_->GetVertexBuffer()->GetVerticesUsed(), 0);
    block_->Clear();
    EXPECT_EQ(block_->GetBlockCount(), 0u);
}

TEST_F(RenderBlockTest, ALostDeviceDropsTheBuffersAndAFailedResetLeavesLockFalse) {
    auto a = MeshObject("a", m1_, Vec3());
    block_->AddObject(a.Get());
    ASSERT_TRUE(block_->Fill());
    EXPECT_EQ(block_->GetVertexBuffer()->GetCurrentSlot(), 1);
    block_->GetVertexBuffer()->OnLostDevice();
    block_->FindBlock(m1_.Get())->OnLostDevice();
    EXPECT_FALSE(block_->GetVertexBuffer()->HasBuffers());
    block_->ResetFrame();
    block_->AddObject(a.Get());
    EXPECT_FALSE(block_->Fill());
    EXPECT_FALSE(block_->FindBlock(m1_.Get())->filled);
    block_->GetVertexBuffer()->OnResetDevice();
    EXPECT_EQ(block_->GetVertexBuffer()->GetCurrentSlot(), 0);
    EXPECT_TRUE(block_->Fill());
}

TEST_F(RenderBlockTest, StaticObjectsAreAppendedOnceAndStaticItemsGroupedByMesh) {
    CPRefPtr<CPRenderBlock> staticBlock(new CPRenderBlock());
    ASSERT_TRUE(staticBlock->Init(device_.get(), true, 1));
    auto a = MeshObject("a", m1_, Vec3());
    auto b = MeshObject("b", m1_, Vec3());
    a->AddChild(b);
    a->SetStatic(true);
    ASSERT_TRUE(staticBlock->LockStatic());
    staticBlock->AddStaticObjects(a.Get());
    staticBlock->AddStaticObjects(a.Get());
    ASSERT_TRUE(staticBlock->UnlockStatic());
    CPIVertexBuffer* vb = staticBlock->GetVertexBuffer();
    EXPECT_EQ(vb->GetStaticVertexCount(), 8);
    EXPECT_EQ(vb->GetStaticOffset(dynamic_cast<CPRenderable*>(b->GetRenderPart().Get())), 4);

    // Static renderables of a dynamic block are listed per mesh entry, not copied.
    StaticMeshEntry meshA, meshB, bare;
    device_->CreateVertexBuffer(48 * 4, false, meshA.vertexBuffer);
    device_->CreateIndexBuffer(12, false, meshA.indexBuffer);
    device_->CreateVertexBuffer(48 * 4, false, meshB.vertexBuffer);
    device_->CreateIndexBuffer(12, false, meshB.indexBuffer);
    std::vector<CPRefPtr<CPGameObject>> objects;
    StaticMeshEntry* order[] = {&meshA, &meshB, &meshA, &bare};
    for (StaticMeshEntry* mesh : order) {
        auto o = MeshObject("s", m1_, Vec3());
        auto* part = dynamic_cast<CPRenderObject*>(o->GetRenderPart().Get());
        part->SetStatic(true);
        part->staticMesh = mesh;
        block_->AddObject(o.Get());
        objects.push_back(o);
    }
    ASSERT_TRUE(block_->Fill());
    CPIVBlock* iv = block_->FindBlock(m1_.Get());
    EXPECT_EQ(iv->vertexCount, 0);
    ASSERT_EQ(iv->staticItems.size(), 3u); // the one without buffers is skipped
    EXPECT_EQ(iv->staticItems[0]->GetStaticMesh(), &meshA);
    EXPECT_EQ(iv->staticItems[1]->GetStaticMesh(), &meshA);
    EXPECT_EQ(iv->staticItems[2]->GetStaticMesh(), &meshB);
}

} // namespace

namespace {

// World vertices follow the owner in position and normal only; what was written into them
// otherwise (a colour, a texture coordinate) stays, unless the list has another length.
TEST(RenderObjectWorldVertices, OnlyPositionAndNormalFollowTheOwner) {
    CPRefPtr<CPGameObject> owner(new CPGameObject("owner"));
    owner->SetPosition(Vec3(1, 2, 3));
    owner->UpdateTransform();
    CPRefPtr<CPRenderObject> mesh(new CPRenderObject(owner.Get()));
    CPVertex v;
    v.position = {1, 0, 0};
    v.normal = {0, 0, 1};
    v.diffuse = 0xFF00FF00u;
    v.tu = 0.25f;
    mesh->vertices = {v, v};
    mesh->worldVertices = mesh->vertices;
    mesh->worldVertices[1].diffuse = 0x80FFFFFFu;
    mesh->worldVertices[1].tu = 0.75f;
    mesh->UpdateWorldVertices();
    ASSERT_EQ(mesh->worldVertices.size(), 2u);
    EXPECT_EQ(mesh->worldVertices[1].position, Vec3(2, 2, 3));
    EXPECT_EQ(mesh->worldVertices[1].normal, Vec3(0, 0, 1));
    EXPECT_EQ(mesh->worldVertices[1].diffuse, 0x80FFFFFFu);
    EXPECT_EQ(mesh->worldVertices[1].tu, 0.75f);
    EXPECT_EQ(mesh->worldVertices[0].diffuse, 0xFF00FF00u);

    mesh->vertices.push_back(v);
    mesh->UpdateWorldVertices();
    ASSERT_EQ(mesh->worldVertices.size(), 3u);
    EXPECT_EQ(mesh->worldVertices[1].diffuse, 0xFF00FF00u);
    EXPECT_EQ(mesh->worldVertices[2].position, Vec3(2, 2, 3));
}

} // namespace
