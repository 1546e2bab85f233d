// The level's bounding-volume tree against brute force on seeded layouts: every object in exactly one
// leaf, ray tests equal to the nearest pick over all objects, culling that misses nothing visible.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "Core/PRayQuery.h"
#include "Race/PLevelBranch.h"
#include "Race/PPhysicData.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"

namespace {

class LevelBranchTest : public ::testing::Test {
protected:
    void TearDown() override {
        ClearTunnelSlots();
        SetTunnelRegistrar(nullptr);
        CPManagedObject::CollectGarbage();
    }

    CPRefPtr<CPGameObject> MakeObject(const Vec3& position, const Vec3& half, const CPRefPtr<CPMaterial>& material,
                                      const char* name = "prop") {
        CPRefPtr<CPGameObject> object(new CPGameObject(name));
        CPRefPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
        mesh->SetMaterial(material);
        object->SetRenderPart(mesh);
        object->SetRenderType(CPGameObject::RenderMesh);
        object->SetBoundingBox(CPOrientedBox({0, 0, 0}, half));
        object->AddCollisionBox(CPOrientedBox({0, 0, 0}, half));
        object->SetPosition(position);
        object->UpdateTransform();
        object->SetStatic(true);
        return object;
    }

    CPLevelBranch::ObjectList RandomLayout(int count, unsigned seed, std::vector<CPRefPtr<CPMaterial>>& materials) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> along(0.0f, 600.0f), across(-40.0f, 40.0f), size(0.2f, 3.0f);
        for (int i = 0; i < 8; ++i) materials.push_back(CPRefPtr<CPMaterial>(new CPMaterial(20 + i)));
        CPLevelBranch::ObjectList objects;
        for (int i = 0; i < count; ++i)
            objects.push_back(MakeObject({along(random), across(random), across(random) * 0.1f},
                                         {size(random), size(random), size(random)}, materials[random() % 8]));
        return objects;
    }
};

void CollectLeaves(const CPLevelBranch* node, std::vector<const CPLevelBranch*>& leaves, int depth, int& maxDepth) {
    maxDepth = std::max(maxDepth, depth);
    if (node->IsLeaf()) {
        leaves.push_back(node);
        return;
    }
    CollectLeaves(node->GetChild(0), leaves, depth + 1, maxDepth);
    CollectLeaves(node->GetChild(1), leaves, depth + 1, maxDepth);
}

TEST_F(LevelBranchTest, EveryObjectEndsInExactlyOneLeaf) {
    for (int count : {1, 2, 7, 100, 2000}) {
        SCOPED_TRACE(count);
        std::vector<CPRefPtr<CPMaterial>> materials;
        const CPLevelBranch::ObjectList objects = RandomLayout(count, 17u + count, materials);
        CPRefPtr<CPLevelBranch> root(new CPLevelBranch);
        root->SetObjects(objects);
        root->Build(0);
        std::vector<const CPLevelBranch*> leaves;
        int maxDepth = 0;
        CollectLeaves(root.Get(), leaves, 0, maxDepth);
        std::map<const CPGameObject*, int> seen;
        for (const CPLevelBranch* leaf : leaves) {
            EXPECT_EQ(leaf->GetObjects().size(), 1u); // distinct random centres always separate
            for (const auto& object : leaf->GetObjects()) ++seen[object.Get()];
        }
        EXPECT_EQ(seen.size(), objects.size());
        for (const auto& [object, times] : seen) EXPECT_EQ(times, 1);
        EXPECT_EQ(root->GetStaticObjects().size(), objects.size());
        EXPECT_TRUE(root->GetDynamicObjects().empty());
        root->ReleaseObjects();
    }
}

TEST_F(LevelBranchTest, CoincidentCentresShareOneLeafAndALineSplitsAlongIt) {
    auto material = CPRefPtr<CPMaterial>(new CPMaterial(20));
    CPLevelBranch::ObjectList same;
    for (int i = 0; i < 50; ++i) same.push_back(MakeObject({10, 5, 0}, {1.0f + i * 0.01f, 1, 1}, material));
    CPRefPtr<CPLevelBranch> root(new CPLevelBranch);
    root->SetObjects(same);
    root->Build(0);
    EXPECT_TRUE(root->IsLeaf());
    EXPECT_EQ(root->GetObjects().size(), 50u);

    // Objects along one line: a deep but finite split, one leaf each.
    CPLevelBranch::ObjectList line;
    for (int i = 0; i < 500; ++i) line.push_back(MakeObject({i * 1.5f, 0, 0}, {0.5f, 0.5f, 0.5f}, material));
    CPRefPtr<CPLevelBranch> lineRoot(new CPLevelBranch);
    lineRoot->SetObjects(line);
    lineRoot->Build(0);
    std::vector<const CPLevelBranch*> leaves;
    int maxDepth = 0;
    CollectLeaves(lineRoot.Get(), leaves, 0, maxDepth);
    EXPECT_EQ(leaves.size(), 500u);
    EXPECT_LE(maxDepth, 12);
}

TEST_F(LevelBranchTest, SplitKeepsTheAxisWithFewerMaterialsAndTheEarlierOnATie) {
    auto red = CPRefPtr<CPMaterial>(new CPMaterial(20)), blue = CPRefPtr<CPMaterial>(new CPMaterial(21));
    // Split along x mixes the materials on both sides (cost 4); along y separates them (cost 2).
    CPLevelBranch::ObjectList objects = {MakeObject({0, 0, 0}, {1, 1, 1}, red), MakeObject({10, 0, 0}, {1, 1, 1}, red),
                                         MakeObject({0, 10, 0}, {1, 1, 1}, blue),
                                         MakeObject({10, 10, 0}, {1, 1, 1}, blue)};
    CPRefPtr<CPLevelBranch> root(new CPLevelBranch);
    root->SetObjects(objects);
    root->Build(0);
    ASSERT_FALSE(root->IsLeaf());
    EXPECT_EQ(root->GetChild(0)->GetMaterialCount() + root->GetChild(1)->GetMaterialCount(), 2);
    EXPECT_GT(root->GetChild(0)->GetBox().min.y, 5.0f); // side 1 holds the centres above the midpoint

    // One material everywhere: x and y cost the same, x stays.
    CPLevelBranch::ObjectList plain = {MakeObject({0, 0, 0}, {1, 1, 1}, red), MakeObject({10, 10, 0}, {1, 1, 1}, red)};
    CPRefPtr<CPLevelBranch> tie(new CPLevelBranch);
    tie->SetObjects(plain);
    tie->Build(0);
    ASSERT_FALSE(tie->IsLeaf());
    EXPECT_GT(tie->GetChild(0)->GetBox().min.x, 5.0f);
}

TEST_F(LevelBranchTest, RayTestEqualsTheNearestPickOverAllObjects) {
    std::vector<CPRefPtr<CPMaterial>> materials;
    const CPLevelBranch::ObjectList objects = RandomLayout(2000, 99u, materials);
    CPRefPtr<CPLevelBranch> root(new CPLevelBranch);
    root->SetObjects(objects);
    root->Build(0);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> along(-20.0f, 620.0f), across(-50.0f, 50.0f), unit(-1.0f, 1.0f),
        length(1.0f, 300.0f);
    int hits = 0;
    for (int i = 0; i < 1000; ++i) {
        CPRayQuery tree, brute;
        Vec3 direction{unit(random), unit(random), unit(random) * 0.3f};
        if (Length(direction) < 1e-3f) direction = {1, 0, 0};
        tree.origin = brute.origin = {along(random), across(random), across(random) * 0.1f};
        tree.direction = brute.direction = Normalize(direction);
        tree.distance = brute.distance = length(random);
        bool bruteHit = false;
        for (const auto& object : objects)
            if (object->RayPick(brute)) bruteHit = true;
        ASSERT_EQ(root->RayTest(tree), bruteHit) << i;
        EXPECT_FLOAT_EQ(tree.distance, brute.distance);
        EXPECT_EQ(tree.hitObject, brute.hitObject);
        hits += bruteHit;
    }
    EXPECT_GT(hits, 100); // the rays do reach objects
}

TEST_F(LevelBranchTest, CullMissesNoVisibleObjectAndDrawsEachOnce) {
    std::vector<CPRefPtr<CPMaterial>> materials;
    const CPLevelBranch::ObjectList objects = RandomLayout(2000, 3u, materials);
    CPRefPtr<CPLevelBranch> root(new CPLevelBranch);
    root->SetObjects(objects);
    root->Build(0);
    // A view box standing in for the camera: whatever overlaps it is visible.
    for (float start : {-50.0f, 100.0f, 550.0f}) {
        CPBoundingBox view;
        view.min = {start, -10, -5};
        view.max = {start + 80, 10, 5};
        auto overlaps = [&](const CPBoundingBox& box) {
            return box.min.x <= view.max.x && box.max.x >= view.min.x && box.min.y <= view.max.y &&
                   box.max.y >= view.min.y && box.min.z <= view.max.z && box.max.z >= view.min.z;
        };
        std::multiset<const CPGameObject*> drawn;
        const int count = root->Cull(
            overlaps, [&](CPGameObject* object) { drawn.insert(object); }, 1000000);
        EXPECT_EQ(count, int(drawn.size()));
        EXPECT_LT(drawn.size(), objects.size() / 2);
        for (const auto& object : objects) {
            CPBoundingBox own;
            own.SetFromOrientedBox(object->GetOwnBox());
            if (overlaps(own)) {
                EXPECT_EQ(drawn.count(object.Get()), 1u);
            }
        }
    }
}

TEST_F(LevelBranchTest, TunnelsFillTheSlotsOncePerRegistrationAndTeardownEmptiesTheTree) {
    static int registrations = 0;
    static int body = 0;
    registrations = 0;
    SetTunnelRegistrar([](CPGameObject*) -> void* {
        ++registrations;
        return &body;
    });
    auto material = CPRefPtr<CPMaterial>(new CPMaterial(20));
    CPRefPtr<CPGameObject> tunnel = MakeObject({0, 0, 0}, {5, 5, 5}, material, "tunnel");
    CPLevelBranch::ObjectList objects;
    for (int i = 0; i < 60; ++i) objects.push_back(MakeObject({i * 10.0f + 5, 0, 0}, {1, 1, 1}, material));
    objects.push_back(tunnel);
    {
        // Without physics data it is no tunnel.
        CPRefPtr<CPLevelBranch> plain(new CPLevelBranch);
        plain->SetObjects(objects);
        plain->Build(0);
        EXPECT_EQ(registrations, 0);
        EXPECT_EQ(GetTunnelSlot(0), nullptr);
        EXPECT_TRUE(tunnel->IsActive());
        plain->ReleaseObjects();
    }
    tunnel->SetPhysicData(CPRefPtr<CPBodyLink>(new CPPhysicData(tunnel.Get())));
    CPRefPtr<CPLevelBranch> root(new CPLevelBranch);
    root->SetObjects(objects);
    root->Build(0);
    // Registered again at every level of the tree that holds it; five slots, then nothing more.
    EXPECT_GE(registrations, 6);
    for (int i = 0; i < kTunnelSlots; ++i) EXPECT_EQ(GetTunnelSlot(i), &body);
    ClearTunnelSlots();
    EXPECT_EQ(GetTunnelSlot(0), nullptr);
    root->DeactivateObjects();
    root->ReleaseObjects();
    EXPECT_TRUE(root->GetObjects().empty());
    EXPECT_EQ(root->GetMaterialCount(), 0);
}

} // namespace
