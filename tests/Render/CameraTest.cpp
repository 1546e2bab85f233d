// Perspective cameras, their frustum planes and box test, the quadtree's splits and culling, and
// camera-facing sprites.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>

#include "Core/Math/Math.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRenderBlock.h"
#include "Render/RenderObjects.h"
#include "Render/RendererFixture.h"

using namespace RenderSupport;

namespace {

CPRefPtr<CPPerspectiveCamera> Camera(const Vec3& eye, const Vec3& at, float fov, float zn, float zf) {
    CPRefPtr<CPPerspectiveCamera> c(new CPPerspectiveCamera());
    c->eye = eye;
    c->lookAt = at;
    c->up = Vec3(0, 0, 1);
    c->fov = fov;
    c->nearPlane = zn;
    c->farPlane = zf;
    c->viewDirty = c->projectionDirty = true;
    c->Recalculate();
    return c;
}

float Value(const Plane& p, const Vec3& v) { return p.a * v.x + p.b * v.y + p.c * v.z + p.d; }

class CameraTest : public RendererWorld {};

TEST_F(CameraTest, PlanesFaceIntoTheFrustumInTheirOrder) {
    auto c = Camera(Vec3(0, 0, 0), Vec3(1, 0, 0), ToRadian(90), 1, 100);
    // A point inside is positive for all six; each plane has its own outside.
    for (const Plane& p : c->planes) EXPECT_GT(Value(p, Vec3(10, 0, 0)), 0);
    struct Case {
        int plane;
        Vec3 outside;
    };
    const Case cases[] = {
        {CPPerspectiveCamera::Near, {0.5f, 0, 0}},
        {CPPerspectiveCamera::Far, {150, 0, 0}},
        // Looking along +x with z up, the screen's right is +y.
        {CPPerspectiveCamera::Left, {10, -30, 0}},
        {CPPerspectiveCamera::Right, {10, 30, 0}},
        {CPPerspectiveCamera::Top, {10, 0, 30}},
        {CPPerspectiveCamera::Bottom, {10, 0, -30}},
    };
    for (const Case& k : cases) EXPECT_LT(Value(c->planes[k.plane], k.outside), 0) << k.plane;
    // Boxes: straddling a plane is visible, behind the camera or past the far plane is not.
    EXPECT_TRUE(c->IsBoxVisible(Vec3(0, -1, -1), Vec3(2, 1, 1)));
    EXPECT_TRUE(c->IsBoxVisible(Vec3(5, 4, -1), Vec3(7, 40, 1)));
    EXPECT_FALSE(c->IsBoxVisible(Vec3(-10, -1, -1), Vec3(-2, 1, 1)));
    EXPECT_FALSE(c->IsBoxVisible(Vec3(120, -1, -1), Vec3(130, 1, 1)));
    EXPECT_FALSE(c->IsBoxVisible(Vec3(5, 20, -1), Vec3(6, 30, 1)));
}

TEST_F(CameraTest, OnlyWhatIsDirtyIsRebuiltAndBadProjectionsKeepTheLastOne) {
    auto c = Camera(Vec3(0, 0, 0), Vec3(1, 0, 0), ToRadian(60), 1, 100);
    const Mat4 view = c->view, projection = c->projection;
    c->eye = Vec3(5, 5, 5); // not marked: the view stays
    c->fov = ToRadian(30);
    c->projectionDirty = true;
    c->Recalculate();
    EXPECT_EQ(c->view, view);
    EXPECT_NE(c->projection, projection);
    EXPECT_EQ(c->viewProjection, c->view * c->projection);
    EXPECT_EQ(c->secondProjection.m[3][2], MatPerspectiveFovLH(ToRadian(30), 640.0f / 480, 1, 1000).m[3][2]);

    const Mat4 good = c->projection;
    const struct {
        float fov, zn, zf;
    } bad[] = {{0, 1, 100}, {ToRadian(60), 10, 10}, {ToRadian(60), 50, 10}, {ToRadian(60), 0, 10}, {NAN, 1, 10}};
    for (const auto& b : bad) {
        c->fov = b.fov;
        c->nearPlane = b.zn;
        c->farPlane = b.zf;
        c->projectionDirty = true;
        c->Recalculate();
        EXPECT_EQ(c->projection, good);
        for (const Plane& p : c->planes) EXPECT_TRUE(std::isfinite(p.a + p.b + p.c + p.d));
    }
}

class QuadTreeTest : public RendererWorld {
protected:
    void SetUp() override {
        RendererWorld::SetUp();
        block_ = CPRefPtr<CPRenderBlock>(new CPRenderBlock());
        ASSERT_TRUE(block_->Init(device_.get(), false, 2));
        material_ = materials_->GetMaterial(20, "simple.fx", {});
    }
    void TearDown() override {
        objects_.clear();
        block_.Reset();
        material_.Reset();
        RendererWorld::TearDown();
    }
    std::set<std::string> Queued() const {
        std::set<std::string> names;
        if (CPIVBlock* b = block_->FindBlock(material_.Get()))
            for (const auto& r : b->renderables)
                names.insert(dynamic_cast<CPRenderObject*>(r.Get())->GetOwner()->GetName());
        return names;
    }
    void Grid(const std::vector<float>& coords) {
        for (float x : coords)
            for (float y : coords)
                objects_.push_back(
                    MeshObject(std::to_string(int(x)) + "," + std::to_string(int(y)), material_, Vec3(x, y, 0), 0.25f));
    }
    static int Count(const CPQuadTreeNode& n) {
        int total = static_cast<int>(n.GetObjects().size());
        for (int i = 0; i < 4; ++i)
            if (n.GetChild(i)) total += Count(*n.GetChild(i));
        return total;
    }
    CPRefPtr<CPRenderBlock> block_;
    CPRefPtr<CPMaterial> material_;
    std::vector<CPRefPtr<CPGameObject>> objects_;
};

TEST_F(QuadTreeTest, SplitsKeepEveryObjectOnceAndClampTheDepth) {
    Grid({-50, -25, 0, 25, 49});
    struct Case {
        int levels, expectedDepth;
    };
    const Case cases[] = {{0, 0}, {2, 2}, {-3, 0}, {50, 10}};
    for (const Case& k : cases) {
        g_quadlevels = k.levels;
        CPQuadTreeNode root;
        root.SetBox(Vec3(0, 0, 0), Vec3(50, 50, 10));
        root.Build(objects_, 0);
        // Objects on the split lines (x or y = 0, +-25) are in the tree like all others.
        EXPECT_EQ(Count(root), 25) << k.levels;
        int depth = 0;
        for (const CPQuadTreeNode* n = &root; n->GetChild(0); n = n->GetChild(0)) ++depth;
        EXPECT_EQ(depth, k.expectedDepth) << k.levels;
    }
    // Child order: (-,-), (+,+), (+,-), (-,+).
    g_quadlevels = 1;
    CPQuadTreeNode root;
    root.SetBox(Vec3(0, 0, 0), Vec3(50, 50, 10));
    root.Build(objects_, 0);
    EXPECT_LT(root.GetChild(0)->GetBox()->centre.x, 0);
    EXPECT_LT(root.GetChild(0)->GetBox()->centre.y, 0);
    EXPECT_GT(root.GetChild(1)->GetBox()->centre.y, 0);
    EXPECT_LT(root.GetChild(2)->GetBox()->centre.y, 0);
    EXPECT_GT(root.GetChild(2)->GetBox()->centre.x, 0);
    EXPECT_LT(root.GetChild(3)->GetBox()->centre.x, 0);
}

TEST_F(QuadTreeTest, CullQueuesExactlyTheObjectsInViewAndNearEnough) {
    std::vector<float> coords;
    for (int i = 0; i < 8; ++i) coords.push_back(-35.0f + 10.0f * static_cast<float>(i));
    Grid(coords);
    g_quadlevels = 3; // one object per leaf
    CPQuadTreeNode root;
    root.SetBox(Vec3(0, 0, 0), Vec3(40, 40, 10));
    root.Build(objects_, 0);
    const Vec3 eye(-42, 3, 0);
    auto camera = Camera(eye, Vec3(0, 3, 0), ToRadian(60), 1, 200);
    // The horizontal half angle of a 60 degree vertical view on a 4:3 screen.
    const float half = std::atan(std::tan(ToRadian(30)) * 640.0f / 480.0f);
    for (int distance : {1000, 50}) {
        g_distance = distance;
        block_->ResetFrame();
        root.Cull(*camera, block_.Get());
        std::set<std::string> expected;
        for (const auto& o : objects_) {
            const Vec3 d = o->GetPosition() - eye;
            if (std::fabs(std::atan2(d.y, d.x)) < half && LengthSq(d) < float(distance) * float(distance))
                expected.insert(o->GetName());
        }
        EXPECT_FALSE(expected.empty());
        EXPECT_LT(expected.size(), objects_.size());
        EXPECT_EQ(Queued(), expected) << distance;
    }
}

class SpriteTest : public RendererWorld {};

TEST_F(SpriteTest, AngleLimitDimsTowardsTheLimitAndHidesBeyondIt) {
    auto material = materials_->GetMaterial(20, "simple.fx", {});
    auto o = SpriteObject("flare", material, Vec3(0, 0, 0), 1.0f);
    auto* sprite = dynamic_cast<CPSprite*>(o->GetRenderPart().Get());
    sprite->colour = 0xFF336699;
    EXPECT_EQ(sprite->GetVertexCount(), 4); // no limit: always, with its own colour
    EXPECT_EQ(sprite->colour, 0xFF336699u);
    CurrentCamera = Camera(Vec3(10, 0, 5), Vec3(0, 0, 0), 1, 1, 100);
    const float limit = 0.5f;
    sprite->SetDirection(Vec3(1, 0, 0), limit);
    EXPECT_TRUE(sprite->UpdateVisibility());
    EXPECT_EQ(sprite->colour, 0xFFFFFFFFu);
    // Exactly at the limit: the angle the sprite itself will compute for this eye.
    const Vec3 eye(10 * std::cos(limit), 10 * std::sin(limit), 3);
    CurrentCamera = Camera(eye, Vec3(0, 0, 0), 1, 1, 100);
    const float d = std::fabs(std::acos(Dot(Vec3(1, 0, 0), Normalize(Vec3(eye.x, eye.y, 0)))));
    sprite->SetDirection(Vec3(1, 0, 0), d);
    EXPECT_TRUE(sprite->UpdateVisibility());
    EXPECT_EQ(sprite->colour, 0x4C4C4C4Cu);
    sprite->SetDirection(Vec3(1, 0, 0), d * 0.9f);
    EXPECT_EQ(sprite->GetVertexCount(), 0);
    EXPECT_EQ(sprite->GetIndexCount(), 0);
    // The direction turns with the topmost object.
    CPRefPtr<CPGameObject> holder(new CPGameObject("holder"));
    holder->AddChild(o);
    holder->SetRotation(QuatRotationAxis(Vec3(0, 0, 1), limit));
    holder->UpdateTransform();
    EXPECT_TRUE(sprite->UpdateVisibility());
    EXPECT_EQ(sprite->colour, 0xFFFFFFFFu);
}

TEST_F(SpriteTest, FillFacesTheCameraWithTwoTriangles) {
    auto material = materials_->GetMaterial(20, "simple.fx", {});
    auto o = SpriteObject("s", material, Vec3(3, 4, 5), 2.0f);
    auto* sprite = dynamic_cast<CPSprite*>(o->GetRenderPart().Get());
    sprite->texRect[0] = 0.25f;
    sprite->texRect[3] = 0.5f;
    CurrentCamera = Camera(Vec3(3, -10, 5), Vec3(3, 4, 5), 1, 1, 100);
    CPVertex v[4];
    CPIndex idx[6];
    sprite->Fill(v, idx, 10, 0);
    const CPIndex expected[6] = {10, 12, 11, 10, 13, 12};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(idx[i], expected[i]);
    // Looking along +y with z up the screen's right is -x: the first corner (left, bottom) lies at
    // larger x, the quad spans x and z around the owner.
    EXPECT_NEAR(v[0].position.x, 5, 1e-4);
    EXPECT_NEAR(v[0].position.y, 4, 1e-4);
    EXPECT_NEAR(v[0].position.z, 3, 1e-4);
    EXPECT_NEAR(v[2].position.x, 1, 1e-4);
    EXPECT_NEAR(v[2].position.z, 7, 1e-4);
    EXPECT_FLOAT_EQ(v[0].tu, 0.25f);
    EXPECT_FLOAT_EQ(v[2].tv, 0.5f);
    EXPECT_EQ(v[1].diffuse, 0xFFFFFFFFu);
}

TEST_F(SpriteTest, WithoutACurrentCameraSpritesFaceTheirLayersLookAtCamera) {
    queue_->InitLayerCameras(640, 480);
    auto showroom = materials_->GetMaterial(225, "simple.fx", {});
    auto screen = materials_->GetMaterial(201, "simple.fx", {});
    auto a = SpriteObject("a", showroom, Vec3(0, 0, 1.3f), 1.0f);
    auto b = SpriteObject("b", screen, Vec3(100, 50, 0), 8.0f);
    auto* sa = dynamic_cast<CPSprite*>(a->GetRenderPart().Get());
    auto* sb = dynamic_cast<CPSprite*>(b->GetRenderPart().Get());
    sa->SetDirection(Vec3(1, 0, 0), 0.1f); // no camera: the limit cannot hide it
    CPVertex v[4];
    CPIndex idx[6];
    ASSERT_EQ(sa->GetVertexCount(), 4);
    sa->Fill(v, idx, 0, 0);
    // The showroom camera looks along +x: the quad lies in the yz plane.
    EXPECT_NEAR(v[0].position.x, v[2].position.x, 0.2f);
    EXPECT_GT(std::fabs(v[0].position.y - v[2].position.y), 1.5f);
    sb->Fill(v, idx, 0, 0);
    // The screen camera is no look-at: the quad stays in the xy plane around its owner.
    EXPECT_FLOAT_EQ(v[0].position.x, 92);
    EXPECT_FLOAT_EQ(v[2].position.y, 58);

    // A layer without a camera is drawn with the camera of the layer below it: a sprite of a
    // description loaded at 225 with type 1 faces the showroom camera too; below every camera
    // there is nothing to face.
    for (const auto& [layer, facesShowroom] : {std::pair{226, true}, std::pair{20, false}}) {
        auto c = SpriteObject("c", materials_->GetMaterial(layer, "simple.fx", {}), Vec3(0, 0, 1.3f), 1.0f);
        auto* sc = dynamic_cast<CPSprite*>(c->GetRenderPart().Get());
        sc->Fill(v, idx, 0, 0);
        EXPECT_EQ(std::fabs(v[0].position.x - v[2].position.x) < 0.2f, facesShowroom) << layer;
        EXPECT_EQ(std::fabs(v[0].position.z - v[2].position.z) > 1.5f, facesShowroom) << layer;
    }
}

} // namespace
