// The ground shadow decal: the fitted frame, texture coordinates, repeated and out-of-range road
// triangles, the 1000-triangle cap and the singular frame.
#include <gtest/gtest.h>

#include <vector>

#include "Core/PGameObject.h"
#include "Render/PRenderObject.h"
#include "Render/ShadowDecal.h"

namespace {

// A road of a few triangles around the origin and the shadow object of a 2 x 4 footprint.
struct Scene {
    std::vector<float> vertices = {0, 0, 0, 0, 4, 0, 1, 0, 0, 4, 2, 0, -3, -3, 5, 0, 1, 1, 0, 0};
    std::vector<int> table = {0, 1, 2, 0, 0, 0, 2, 1, 0, 0, 0, 0, 3, 0, 1, 0, 0, 0, 4, 0, 1, 0, 0, 0};
    std::vector<int> list;
    CPRefPtr<CPGameObject> shadow;
    CPRenderObject* mesh = nullptr;

    Scene() {
        shadow = CPRefPtr<CPGameObject>(new CPGameObject("shadow"));
        CPRefPtr<CPRenderObject> part(new CPRenderObject(shadow.Get()));
        mesh = part.Get();
        shadow->SetRenderType(CPGameObject::RenderMesh);
        shadow->SetRenderPart(part);
        shadow->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(1, 2, 0.5f)));
    }
    DecalGround Ground() const {
        DecalGround ground;
        ground.triangles = list.data();
        ground.triangleCount = static_cast<int>(list.size());
        ground.vertices = vertices.data();
        ground.vertexCount = static_cast<int>(vertices.size() / 4);
        ground.table = table.data();
        ground.tableCount = static_cast<int>(table.size() / 6);
        return ground;
    }
};

void ExpectNear(const Vec2& v, float x, float y) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
}

} // namespace

TEST(ShadowDecal, FootprintFrameAndTheCentreOfTheTexture) {
    Vec2 o(-1.1f, -2.1f), u(2.2f, 0.0f), v(0.0f, 0.2f);
    FitDecalFrame(o, u, v, Vec2(-1.1f, 1.9f));
    ExpectNear(o, -1.1f, -2.1f);
    ExpectNear(u, 2.2f, 0.0f);
    ExpectNear(v, 0.0f, 4.2f);

    Scene scene;
    scene.list = {0};
    BuildShadowDecal(*scene.shadow, MatIdentity(), scene.Ground());
    ASSERT_EQ(scene.mesh->vertices.size(), 3u);
    const CPVertex& centre = scene.mesh->vertices[0];
    EXPECT_EQ(centre.position, Vec3(0, 0, 0.03f));
    EXPECT_NEAR(centre.tu, 0.5f, 1e-5f);
    EXPECT_NEAR(centre.tv, 0.5f, 1e-5f);
    EXPECT_EQ(centre.normal, Vec3(0, 0, 1));
    EXPECT_EQ(centre.diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(centre.tu2, 0.0f);
    EXPECT_EQ(scene.mesh->indices, (std::vector<CPIndex>{0, 1, 2}));
    ASSERT_EQ(scene.mesh->worldVertices.size(), 3u);
    EXPECT_EQ(scene.mesh->worldVertices[1].position, Vec3(4, 0, 1.03f));
    // (4, 0) lies 5.1 from the frame's left edge of 2.2 and 2.1 up its 4.2.
    EXPECT_NEAR(scene.mesh->vertices[1].tu, 5.1f / 2.2f, 1e-5f);
    EXPECT_NEAR(scene.mesh->vertices[1].tv, 0.5f, 1e-5f);

    // Turned a quarter and moved with the car: the road's origin lies 10 along the car's y.
    Scene moved;
    moved.list = {0};
    BuildShadowDecal(*moved.shadow, MatRotationZ(1.5707964f) * MatTranslation(10, 0, 0), moved.Ground());
    EXPECT_NEAR(moved.mesh->vertices[0].tu, 0.5f, 1e-4f);
    EXPECT_NEAR(moved.mesh->vertices[0].tv, 0.5f + 10.0f / 4.2f, 1e-4f);
}

TEST(ShadowDecal, DegenerateFramesAreRepaired) {
    struct Case {
        const char* what;
        Vec2 o, u, v, p;
        Vec2 wantO, wantU, wantV;
    };
    const Case cases[] = {
        {"no U", {0, 0}, {0, 0}, {0, 1}, {3, 4}, {0, 0}, {3, 4}, {0, 1}},
        {"no V", {1, 1}, {2, 0}, {0, 0}, {1, 5}, {1, 1}, {2, 0}, {0, 4}},
        {"V along U within it", {0, 0}, {2, 0}, {1, 0}, {1, 3}, {0, 0}, {2, 0}, {1, 3}},
        {"V behind U", {0, 0}, {2, 0}, {-1, 0}, {0, 1}, {-1, 0}, {3, 0}, {0, 1}},
        {"V past U", {0, 0}, {1, 0}, {3, 0}, {0, 2}, {0, 0}, {3, 0}, {0, 2}},
    };
    for (const Case& c : cases) {
        Vec2 o = c.o, u = c.u, v = c.v;
        FitDecalFrame(o, u, v, c.p);
        SCOPED_TRACE(c.what);
        ExpectNear(o, c.wantO.x, c.wantO.y);
        ExpectNear(u, c.wantU.x, c.wantU.y);
        ExpectNear(v, c.wantV.x, c.wantV.y);
    }
}

TEST(ShadowDecal, RepeatsOnceOutOfRangeSkippedAndTheListCapped) {
    Scene scene;
    // Triangle 1 is triangle 0 in another order; 7 and -1 are past the table; 3 names vertex 4 of 5.
    scene.table.insert(scene.table.end(), {0, 1, 9, 0, 0, 0});
    scene.list = {0, 1, 0, 7, -1, 2, 3, 4};
    BuildShadowDecal(*scene.shadow, MatIdentity(), scene.Ground());
    // Triangles 0, 2 and 3 are used; 4 names a vertex past the array.
    EXPECT_EQ(scene.mesh->vertices.size(), 9u);
    EXPECT_EQ(scene.mesh->indices.back(), 8);

    Scene many;
    many.vertices.clear();
    many.table.clear();
    for (int i = 0; i < 1200; ++i) {
        many.vertices.insert(many.vertices.end(), {float(i), 0, 0, 0, float(i), 1, 0, 0, float(i) + 1, 0, 0, 0});
        many.table.insert(many.table.end(), {3 * i, 3 * i + 1, 3 * i + 2, 0, 0, 0});
        many.list.push_back(i);
    }
    BuildShadowDecal(*many.shadow, MatIdentity(), many.Ground());
    EXPECT_EQ(many.mesh->vertices.size(), 3000u);

    // An empty list empties the mesh.
    many.list.clear();
    BuildShadowDecal(*many.shadow, MatIdentity(), many.Ground());
    EXPECT_TRUE(many.mesh->vertices.empty());
}

TEST(ShadowDecal, SingularFrameKeepsTheLastMesh) {
    Scene scene;
    scene.list = {0};
    BuildShadowDecal(*scene.shadow, MatIdentity(), scene.Ground());
    ASSERT_EQ(scene.mesh->vertices.size(), 3u);
    scene.list = {0, 2};
    // Every corner at one point: the fitted frame stays singular.
    BuildDecalMesh(*scene.shadow, Vec2(1, 1), Vec2(1, 1), Vec2(0, 0), Vec2(0, 0), scene.Ground());
    EXPECT_EQ(scene.mesh->vertices.size(), 3u);
}
