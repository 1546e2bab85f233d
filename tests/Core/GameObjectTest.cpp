// The game-object base: tree, transforms and bounds, ray picks, copying, animation start, flames,
// damage, and the description document. The parts are the upper floors' own classes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "Core/Math/Math.h"
#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PPath.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Particles/PParticleSystem.h"
#include "Race/PCar.h"
#include "Race/PEnemyController.h"
#include "Race/PGameObjectXml.h"
#include "Race/PPhysicData.h"
#include "Render/PAnimatedObject.h"
#include "Render/PLight.h"
#include "Render/PMaterial.h"
#include "Render/PPartAnimation.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

namespace {

using Ref = CPRefPtr<CPGameObject>;

Ref Make(const std::string& name, Vec3 position = {}, Quat rotation = QuatIdentity()) {
    Ref object(new CPGameObject(name));
    object->SetPosition(position);
    object->SetRotation(rotation);
    return object;
}

Ref AddChild(const Ref& parent, const std::string& name, Vec3 position = {}) {
    Ref child = Make(name, position);
    parent->AddChild(child);
    return child;
}

void ExpectVec(const Vec3& actual, const Vec3& expected, float tolerance, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

Vec3 Translation(const Mat4& m) { return {m.m[3][0], m.m[3][1], m.m[3][2]}; }

const Quat kQuarterZ = QuatRotationAxis({0, 0, 1}, MathPi / 2);

// Physics data that has an engine body and records where the object sent it.
class RecordingPhysicData : public CPPhysicData {
public:
    explicit RecordingPhysicData(CPGameObject* owner) : CPPhysicData(owner) {}
    void SetPosition(const Vec3& position) override { positions.push_back(position); }
    void SetOrientation(const Quat& rotation) override { rotations.push_back(rotation); }
    bool HasBody() const override { return true; }
    std::vector<Vec3> positions;
    std::vector<Quat> rotations;
};

class CountingEffect : public CPVertexEffect {
public:
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CountingEffect"; }
    void Reset() override { ++resets; }
    CPRefPtr<CPVertexEffect> Clone() const override { return CPRefPtr<CPVertexEffect>(new CountingEffect); }
    int resets = 0;
};

class RecordingController : public CPEnemyController {
public:
    void Damage(const Vec3&, const Vec3&, float amount, CPGameObject* source, bool silent) override {
        amounts.push_back(amount);
        lastSource = source;
        lastSilent = silent;
    }
    void NotifyAnimationStopped() override { ++stopped; }
    void NotifyAnimationReport() override { ++reported; }
    std::vector<float> amounts;
    CPGameObject* lastSource = nullptr;
    bool lastSilent = false;
    int stopped = 0;
    int reported = 0;
};

class GameObjectTest : public ::testing::Test {
protected:
    void TearDown() override {
        ShadowMatrix = Mat4();
        SetFlameSource(nullptr);
        CPManagedObject::CollectGarbage();
    }
};

TEST_F(GameObjectTest, ThreeLevelTreeGetsWorldMatricesAndMergedBounds) {
    // The root turned a quarter about z (local x becomes world y, local y world −x) and moved to
    // (10, 0, 0); the child 5 along the root's y; the grandchild 1 along the child's x with a base
    // matrix that moves it 2 along the child's y, before the parent's turn. Worked by hand.
    Ref root = Make("root", {10, 0, 0}, kQuarterZ);
    Ref child = AddChild(root, "child", {0, 5, 0});
    child->AddCollisionBox(CPOrientedBox({0, 0, 0}, {1, 1, 1}));
    Ref grandchild = AddChild(child, "grandchild", {1, 0, 0});
    grandchild->SetBaseMatrix(MatTranslation(0, 2, 0));
    grandchild->AddCollisionBox(CPOrientedBox({0, 0, 0}, {0.5f, 0.5f, 0.5f}));

    for (int shadows = 0; shadows < 2; ++shadows) {
        SCOPED_TRACE(shadows ? "with a shadow matrix" : "shadow matrix still zero");
        // A "shadow" that flattens everything onto z = −10: the visibility bounds must reach it.
        ShadowMatrix = shadows ? Mat4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, -10, 1) : Mat4();
        root->SetPosition(root->GetPosition()); // marks it dirty again
        root->UpdateTransform();

        ExpectVec(Translation(root->GetWorldMatrix()), {10, 0, 0}, 1e-5f, "root");
        ExpectVec(Translation(child->GetWorldMatrix()), {5, 0, 0}, 1e-5f, "child");
        ExpectVec(Translation(grandchild->GetWorldMatrix()), {3, 1, 0}, 1e-5f, "grandchild");
        // The child's x axis points along world y.
        ExpectVec({child->GetWorldMatrix().m[0][0], child->GetWorldMatrix().m[0][1], child->GetWorldMatrix().m[0][2]},
                  {0, 1, 0}, 1e-6f, "child x axis");
        ExpectVec(Translation(grandchild->GetParentMatrix()), {5, 0, 0}, 1e-5f, "grandchild parent matrix");

        ExpectVec(child->GetCollisionBounds().min, {2.5f, -1, -1}, 1e-5f, "child collision min");
        ExpectVec(root->GetCollisionBounds().min, {2.5f, -1, -1}, 1e-5f, "root collision min");
        ExpectVec(root->GetCollisionBounds().max, {6, 1.5f, 1}, 1e-5f, "root collision max");
        ExpectVec(root->GetCollisionBounds().centre, {4.25f, 0.25f, 0}, 1e-5f, "root collision centre");

        // Own boxes are empty, so each visibility box is the 0.001 box at the object's origin.
        const float low = shadows ? -10.0f : -0.001f;
        ExpectVec(root->GetVisibilityBounds().min, {2.999f, -0.001f, low}, 1e-4f, "root visibility min");
        ExpectVec(root->GetVisibilityBounds().max, {10.001f, 1.001f, 0.001f}, 1e-4f, "root visibility max");
        ExpectVec(root->GetVisibilityBounds().centre,
                  (root->GetVisibilityBounds().min + root->GetVisibilityBounds().max) / 2, 1e-5f, "centre refreshed");

        for (const Ref& o : {root, child, grandchild}) {
            EXPECT_FALSE(o->IsDirty()) << o->GetName();
            EXPECT_TRUE(o->IsTransformFresh()) << o->GetName();
        }
    }

    // The setters only mark the object; matrices follow at the next update.
    grandchild->SetPosition({2, 0, 0});
    EXPECT_TRUE(grandchild->IsDirty());
    EXPECT_FALSE(grandchild->IsTransformFresh());
    ExpectVec(Translation(grandchild->GetWorldMatrix()), {3, 1, 0}, 1e-5f, "before the update");
}

TEST_F(GameObjectTest, BoxesArePlacedByTheirLocalMatrixThenTheObjects) {
    // The object turned a quarter about z and moved to (10, 0, 0); each box is first moved in the
    // object's frame by its local matrix, then carried by the object. Worked by hand.
    Ref object = Make("crate", {10, 0, 0}, kQuarterZ);
    CPOrientedBox hitBox({0, 0, 0}, {1, 1, 1});
    hitBox.localMatrix = MatTranslation(3, 0, 0);
    object->AddCollisionBox(hitBox);
    CPOrientedBox own({0, 0, 0}, {1, 2, 3});
    own.localMatrix = MatTranslation(0, 0, 5);
    object->SetBoundingBox(own);
    // The visibility bounds follow the given box at once, before any update.
    ExpectVec(object->GetVisibilityBounds().min, {-1, -2, -3}, 0, "visibility min before the update");
    ExpectVec(object->GetVisibilityBounds().max, {1, 2, 3}, 0, "visibility max before the update");
    ExpectVec(object->GetVisibilityBounds().centre, {0, 0, 0}, 0, "visibility centre before the update");

    object->UpdateTransform();
    ExpectVec(object->GetCollisionBounds().min, {9, 2, -1}, 1e-5f, "collision min");
    ExpectVec(object->GetCollisionBounds().max, {11, 4, 1}, 1e-5f, "collision max");
    // Local y (half-extent 2) now runs along world x.
    ExpectVec(object->GetVisibilityBounds().min, {8, -1, 2}, 1e-5f, "visibility min");
    ExpectVec(object->GetVisibilityBounds().max, {12, 1, 8}, 1e-5f, "visibility max");
    ExpectVec(object->GetVisibilityBounds().centre, {10, 0, 5}, 1e-5f, "visibility centre");
}

TEST_F(GameObjectTest, LeafWithoutBoxesHasEmptyCollisionBoundsAndIsNeverHit) {
    Ref leaf = Make("leaf", {0, 0, 0});
    leaf->UpdateTransform();
    ExpectVec(leaf->GetCollisionBounds().min, {1e6f, 1e6f, 1e6f}, 0, "min");
    ExpectVec(leaf->GetCollisionBounds().max, {-1e6f, -1e6f, -1e6f}, 0, "max");
    CPRayQuery query;
    query.origin = {0, 0, -5};
    query.direction = {0, 0, 1};
    query.distance = 100;
    EXPECT_FALSE(leaf->RayPick(query));
    EXPECT_EQ(query.distance, 100);
    EXPECT_FALSE(query.hitObject);
}

TEST_F(GameObjectTest, RayPickFindsTheNearestBoxOutsideExcludedSubtrees) {
    // The root, with a script, is turned a quarter about z: its children at local x = 5 and 10 land
    // at world y = 5 and 10. "near" has a script too and holds its box in a grandchild.
    CPRefPtr<CPLuaScript> rootScript(new CPLuaScript);
    CPRefPtr<CPLuaScript> nearScript(new CPLuaScript);
    Ref root = Make("root", {0, 0, 0}, kQuarterZ);
    root->SetScript(rootScript.Get());
    Ref nearGroup = AddChild(root, "near", {5, 0, 0});
    nearGroup->SetScript(nearScript.Get());
    Ref nearBox = AddChild(nearGroup, "nearbox");
    nearBox->AddCollisionBox(CPOrientedBox({0, 0, 0}, {1, 1, 1}));
    Ref far = AddChild(root, "far", {10, 0, 0});
    far->AddCollisionBox(CPOrientedBox({0, 0, 0}, {1, 1, 1}));
    root->UpdateTransform();

    ExpectVec(far->GetCollisionBounds().min, {-1, 9, -1}, 1e-5f, "far min");
    ExpectVec(far->GetCollisionBounds().max, {1, 11, 1}, 1e-5f, "far max");

    struct Case {
        const char* name;
        Ref exclude;
        bool nearCollision;
        float length;
        bool hit;
        float distance;
        Ref object, owner;
    };
    const Case cases[] = {
        {"nearest wins", nullptr, true, 100, true, 4, nearBox, nearGroup},
        {"near subtree excluded", nearGroup, true, 100, true, 9, far, root},
        {"near collision off", nullptr, false, 100, true, 9, far, root},
        {"whole tree excluded", root, true, 100, false, 100, nullptr, nullptr},
        {"too short for either", nullptr, true, 3.5f, false, 3.5f, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nearGroup->SetCollision(c.nearCollision);
        CPRayQuery query;
        query.excludedObject = c.exclude;
        query.origin = {0.5f, 0, -0.25f};
        query.direction = {0, 1, 0};
        query.distance = c.length;
        EXPECT_EQ(root->RayPick(query), c.hit);
        EXPECT_NEAR(query.distance, c.distance, 1e-4f);
        EXPECT_EQ(query.hitObject.Get(), c.object.Get());
        EXPECT_EQ(query.hitOwner.Get(), c.owner.Get());
        if (c.hit) {
            // The local x− face, facing world −y, unnormalised.
            EXPECT_NEAR(query.hitPlane.a, 0, 1e-5f);
            EXPECT_NEAR(query.hitPlane.b, -4, 1e-5f);
            EXPECT_NEAR(query.hitPlane.c, 0, 1e-5f);
            EXPECT_NEAR(query.hitPlane.d, 4 * (c.distance), 1e-4f);
        }
    }
}

TEST_F(GameObjectTest, ChildNamesFindChildAndRefusedLoops) {
    Ref root = Make("root");
    Ref first = AddChild(root, "part");
    Ref second = AddChild(root, "part");
    Ref deep = AddChild(first, "deep");
    Ref deeper = AddChild(deep, "wheel");
    Ref direct = AddChild(root, "wheel");

    ASSERT_EQ(root->GetChildren().size(), 3u);
    // A later child of the same name replaces the map entry; both stay in the list.
    EXPECT_EQ(root->FindChild("part").Get(), second.Get());
    // The object's own entry beats a deeper one, even one found earlier in order.
    EXPECT_EQ(root->FindChild("wheel").Get(), direct.Get());
    EXPECT_EQ(root->FindChild("deep").Get(), deep.Get());
    EXPECT_FALSE(root->FindChild("root"));
    EXPECT_FALSE(root->FindChild("nothing"));

    // An empty entry left by GetPartByName does not stop the search below.
    EXPECT_FALSE(first->GetPartByName("wheel"));
    EXPECT_EQ(first->FindChild("wheel").Get(), deeper.Get());
    EXPECT_FALSE(root->GetPartByName("deep")); // the own map only

    EXPECT_EQ(deeper->GetParent().Get(), deep.Get());
    EXPECT_EQ(deeper->GetScriptOwner().Get(), root.Get());

    CPGameObject::ObjectList all;
    root->CollectObjects(all);
    std::vector<std::string> names;
    for (const auto& o : all) names.push_back(o->GetName());
    EXPECT_EQ(names, (std::vector<std::string>{"root", "part", "deep", "wheel", "part", "wheel"}));

    // Loops would make every walk endless: refused.
    root->AddChild(root);
    deeper->AddChild(root);
    deeper->AddChild(first);
    second->AddChild(nullptr);
    EXPECT_TRUE(deeper->GetChildren().empty());
    EXPECT_TRUE(second->GetChildren().empty());
    EXPECT_EQ(root->GetChildren().size(), 3u);

    // A child that outlives its parent forgets it.
    Ref orphan;
    {
        Ref parent = Make("parent");
        orphan = AddChild(parent, "orphan");
    }
    CPManagedObject::CollectGarbage();
    EXPECT_FALSE(orphan->GetParent());
    EXPECT_EQ(orphan->GetScriptOwner().Get(), orphan.Get());
}

TEST_F(GameObjectTest, DeepChainOfChildrenIsWalkedWithoutRecursion) {
    constexpr int kDepth = 20000;
    Ref root = Make("link");
    root->SetCollision(true);
    CPGameObject* tail = root.Get();
    for (int i = 1; i < kDepth; ++i) {
        Ref next = Make(i + 1 == kDepth ? "tail" : "link", {0, 0, 1});
        tail->AddChild(next);
        tail = next.Get();
    }
    tail->AddCollisionBox(CPOrientedBox({0, 0, 0}, {1, 1, 1}));
    root->UpdateTransform();
    ExpectVec(Translation(tail->GetWorldMatrix()), {0, 0, kDepth - 1}, 1e-2f, "tail");

    EXPECT_EQ(root->FindChild("tail").Get(), tail);
    CPGameObject::ObjectList all;
    root->CollectObjects(all);
    EXPECT_EQ(all.size(), static_cast<size_t>(kDepth));
    all.clear();
    EXPECT_EQ(tail->GetScriptOwner().Get(), root.Get());

    CPRayQuery query;
    query.origin = {0, 0, kDepth + 10.0f};
    query.direction = {0, 0, -1};
    query.distance = 100;
    EXPECT_TRUE(root->RayPick(query));
    EXPECT_EQ(query.hitObject.Get(), tail);
    EXPECT_NEAR(query.distance, 10, 1e-2f);
    query = CPRayQuery();

    root->SetStatic(false);
    EXPECT_FALSE(tail->IsStatic());
    root.Reset();
    CPManagedObject::CollectGarbage();
}

TEST_F(GameObjectTest, SettersMoveThePhysicsBody) {
    Ref object = Make("crate");
    CPRefPtr<RecordingPhysicData> data(new RecordingPhysicData(object.Get()));
    object->SetPhysicData(data);
    object->SetPosition({1, 2, 3});
    object->SetRotation(kQuarterZ);
    ASSERT_EQ(data->positions.size(), 1u);
    ExpectVec(data->positions[0], {1, 2, 3}, 0, "body position");
    ASSERT_EQ(data->rotations.size(), 1u);
    EXPECT_EQ(data->rotations[0], kQuarterZ);
}

TEST_F(GameObjectTest, ActivateAddsTasksOnceAndDeactivateStopsThem) {
    CPKernel kernel;
    Ref root = Make("root");
    CPRefPtr<CPPartAnimation> idle(new CPPartAnimation);
    root->AddAnimation("walk", CPRefPtr<CPPartAnimation>(new CPPartAnimation));
    root->AddAnimation("idle", idle);
    EXPECT_EQ(root->GetCurrentAnimation().Get(), idle.Get());
    EXPECT_TRUE(idle->loop);
    EXPECT_FALSE(root->IsStatic());

    Ref emitter = AddChild(root, "emitter");
    CPRefPtr<CPParticleSystem> system(new CPParticleSystem(emitter.Get()));
    emitter->SetRenderType(CPGameObject::RenderParticles);
    emitter->SetRenderPart(system);
    Ref hidden = AddChild(root, "hidden");
    CPRefPtr<CPParticleSystem> hiddenSystem(new CPParticleSystem(hidden.Get()));
    hidden->SetRenderType(CPGameObject::RenderParticles);
    hidden->SetRenderPart(hiddenSystem);
    hidden->SetVisible(false);
    // A system that already runs is left as it is, priority included.
    Ref burning = AddChild(root, "burning");
    CPRefPtr<CPParticleSystem> burningSystem(new CPParticleSystem(burning.Get()));
    burning->SetRenderType(CPGameObject::RenderParticles);
    burning->SetRenderPart(burningSystem);
    burningSystem->SetPriority(100);
    ASSERT_TRUE(kernel.AddTask(burningSystem));

    root->Activate(200);
    root->Activate(300); // already active: nothing more
    EXPECT_TRUE(root->IsActive() && emitter->IsActive() && hidden->IsActive());
    EXPECT_EQ(kernel.GetRunningTasks().size(), 3u);
    EXPECT_EQ(burningSystem->GetPriority(), 100);
    EXPECT_TRUE(kernel.IsRunning(idle.Get()));
    EXPECT_EQ(idle->GetPriority(), 200);
    EXPECT_TRUE(kernel.IsRunning(system.Get()));
    EXPECT_EQ(system->GetPriority(), 200);
    EXPECT_FALSE(kernel.IsRunning(hiddenSystem.Get()));

    root->Deactivate();
    EXPECT_FALSE(root->IsActive() || emitter->IsActive() || hidden->IsActive());
    EXPECT_TRUE(idle->IsKilled());
    EXPECT_TRUE(system->IsKilled());
    EXPECT_TRUE(burningSystem->IsKilled());
    kernel.KillAllTasks();
}

TEST_F(GameObjectTest, ScriptEventsComeChildrenFirstWithTheObjectHandle) {
    CPKernel kernel;
    CPScriptManager manager;
    CPRefPtr<CPLuaScript> script(new CPLuaScript);
    Ref root = Make("root");
    Ref child = AddChild(root, "child");
    Ref bare = AddChild(root, "bare"); // no script: sends nothing
    root->SetScript(script.Get());
    child->SetScript(script.Get());

    root->Activate(200);
    child->OnAnimationEnd();
    bare->OnAnimationEnd();
    root->Deactivate();

    // The queue holds the newest command first.
    std::vector<std::string> received;
    for (auto it = script->GetQueue().rbegin(); it != script->GetQueue().rend(); ++it)
        received.push_back(it->name + " " + (it->params.empty() ? std::string() : it->params[0]));
    const std::string r = FormatHandle(root.Get()), c = FormatHandle(child.Get());
    EXPECT_EQ(received, (std::vector<std::string>{"add_object " + c, "add_object " + r, "animation_end " + c,
                                                  "delete_object " + c, "delete_object " + r}));
    EXPECT_EQ(script->GetPriority(), 200);

    // The references Activate gave the script.
    root->Release();
    child->Release();
    kernel.KillAllTasks();
}

TEST_F(GameObjectTest, AltMaterialGoesToMeshPartsOfTheWholeTree) {
    CPRefPtr<CPMaterial> own(new CPMaterial(1)), altRoot(new CPMaterial(2)), altArm(new CPMaterial(3)),
        altTip(new CPMaterial(4)), altLamp(new CPMaterial(5));
    Ref root = Make("root");
    Ref arm = AddChild(root, "arm");
    Ref hand = AddChild(arm, "hand");
    Ref group = AddChild(root, "group");
    Ref tip = AddChild(group, "tip");
    Ref lamp = AddChild(root, "lamp");

    CPRefPtr<CPRenderObject> rootMesh(new CPRenderObject(root.Get())), handMesh(new CPRenderObject(hand.Get())),
        tipMesh(new CPRenderObject(tip.Get())), lampMesh(new CPRenderObject(lamp.Get()));
    CPRefPtr<CPAnimatedObject> armPart(new CPAnimatedObject(arm.Get()));
    struct Case {
        Ref object;
        int type;
        CPRefPtr<CPManagedObject> part;
        CPRefPtr<CPMaterial> alt;
        CPMaterial* expected;
    };
    const Case cases[] = {
        {root, CPGameObject::RenderMesh, rootMesh, altRoot, altRoot.Get()},
        {arm, CPGameObject::RenderAnimatedMesh, armPart, altArm, altArm.Get()},
        {hand, CPGameObject::RenderMesh, handMesh, nullptr, own.Get()},  // no alternate: kept
        {group, CPGameObject::RenderNone, nullptr, nullptr, nullptr},    // passed through
        {tip, CPGameObject::RenderMesh, tipMesh, altTip, altTip.Get()},  // below a plain group
        {lamp, CPGameObject::RenderLight, lampMesh, altLamp, own.Get()}, // not a mesh type
    };
    for (const Case& c : cases) {
        c.object->SetRenderType(c.type);
        c.object->SetRenderPart(c.part);
        c.object->SetAltMaterial(c.alt);
        if (auto* mesh = dynamic_cast<CPRenderObject*>(c.part.Get())) mesh->SetMaterial(own);
        if (auto* animated = dynamic_cast<CPAnimatedObject*>(c.part.Get())) animated->SetMaterial(own);
    }
    root->ApplyAltMaterial();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.object->GetName());
        if (auto* mesh = dynamic_cast<CPRenderObject*>(c.part.Get())) {
            EXPECT_EQ(mesh->GetMaterial().Get(), c.expected);
        } else if (auto* animated = dynamic_cast<CPAnimatedObject*>(c.part.Get())) {
            EXPECT_EQ(animated->GetMaterial().Get(), c.expected);
        }
    }
}

TEST_F(GameObjectTest, CopyTakesWhatItShouldAndNothingElse) {
    Ref source = Make("shot", {1, 2, 3}, kQuarterZ);
    source->SetParentMatrix(MatTranslation(0, 0, 7));
    source->SetBaseMatrix(MatTranslation(0, 1, 0));
    CPOrientedBox own({0, 0, 1}, {2, 3, 4});
    own.localMatrix = MatTranslation(0, 0, 5);
    source->SetBoundingBox(own);
    CPOrientedBox hitBox({1, 1, 1}, {0.5f, 0.5f, 0.5f});
    hitBox.localMatrix = MatTranslation(3, 0, 0);
    source->AddCollisionBox(hitBox);

    CPRefPtr<CPMaterial> material(new CPMaterial(20)), alt(new CPMaterial(21)), shadow(new CPMaterial(22));
    CPRefPtr<CPSprite> sprite(new CPSprite(0.75f));
    sprite->SetOwner(source.Get());
    sprite->SetMaterial(material);
    sprite->colour = 0x80FF0000u;
    sprite->angle = 1.5f;
    sprite->vertexEffects.emplace_back(new CountingEffect);
    source->SetRenderType(CPGameObject::RenderSprite);
    source->SetRenderPart(sprite);
    source->SetAltMaterial(alt);
    source->SetShadowMaterial(shadow);

    CPRefPtr<CPPartAnimation> idle(new CPPartAnimation);
    source->AddAnimation("idle", idle);
    CPRefPtr<CPPartAnimation> wave(new CPPartAnimation);
    source->AddAnimation("wave", wave);
    Ref tail = AddChild(source, "tail", {0, -1, 0});
    AddChild(tail, "tip");

    CPRefPtr<RecordingPhysicData> physics(new RecordingPhysicData(source.Get()));
    physics->body.a = 2;
    physics->body.mass = 10;
    physics->shapes.push_back({});
    physics->shapes.back().b = 4;
    source->SetPhysicData(physics);

    CPLuaScript* script = new CPLuaScript;
    CPRefPtr<CPLuaScript> scriptHolder(script);
    source->SetScript(script);
    source->SetStatic(true);
    source->SetVisible(false);
    source->SetShadowBox(false);
    source->SetFlameType(2);
    // Not copied:
    source->SetCollision(false);
    source->SetParameterText("param");
    source->SetDescriptionName("car.xml");
    source->SetSourceDescription("car.rdf");
    source->GetLineKeyPoints().push_back({1, 1, 1});
    source->SetLineColour(0xFF010203u);
    source->SetContactSeen(true);
    RecordingController controller;
    source->SetEnemyController(&controller);
    source->SetCar(CPRefPtr<CPCar>(new CPCar(nullptr)));
    source->GetDescription().Parse("<car><physics mass=\"3\"/></car>");
    source->UpdateTransform();
    source->Activate(200);

    Ref copy(new CPGameObject("copy"));
    copy->CopyFrom(source);

    // Copied.
    EXPECT_EQ(copy->GetName(), "shot");
    EXPECT_STREQ(copy->GetTypeName(), "CPGameObject - shot");
    ExpectVec(copy->GetPosition(), {1, 2, 3}, 0, "position");
    EXPECT_EQ(copy->GetRotation(), kQuarterZ);
    EXPECT_EQ(copy->GetParentMatrix(), source->GetParentMatrix());
    EXPECT_EQ(copy->GetWorldMatrix(), source->GetWorldMatrix());
    EXPECT_EQ(copy->GetOwnBox().localMatrix, own.localMatrix);
    ExpectVec(copy->GetOwnBox().halfExtents, {2, 3, 4}, 0, "own box");
    ASSERT_EQ(copy->GetCollisionBoxes().size(), 1u);
    ExpectVec(copy->GetCollisionBoxes()[0].centre, {1, 1, 1}, 0, "box centre");
    EXPECT_EQ(copy->GetCollisionBoxes()[0].localMatrix, MatIdentity()); // placement not copied
    EXPECT_EQ(copy->GetRenderType(), CPGameObject::RenderSprite);
    auto* copiedSprite = dynamic_cast<CPSprite*>(copy->GetRenderPart().Get());
    ASSERT_TRUE(copiedSprite);
    EXPECT_NE(copiedSprite, sprite.Get());
    EXPECT_EQ(copiedSprite->GetOwner(), copy.Get());
    EXPECT_EQ(copiedSprite->GetHalfEdge(), 0.75f);
    EXPECT_EQ(copiedSprite->GetMaterial().Get(), material.Get());
    EXPECT_EQ(copiedSprite->colour, 0x80FF0000u);
    EXPECT_EQ(copiedSprite->angle, 1.5f);
    ASSERT_EQ(copiedSprite->vertexEffects.size(), 1u);
    EXPECT_NE(copiedSprite->vertexEffects[0].Get(), sprite->vertexEffects[0].Get());
    EXPECT_EQ(copy->GetAltMaterial().Get(), alt.Get());
    EXPECT_EQ(copy->GetExtraMaterial().Get(), shadow.Get());
    ASSERT_TRUE(copy->GetCurrentAnimation());
    EXPECT_NE(copy->GetCurrentAnimation().Get(), idle.Get());
    EXPECT_EQ(copy->GetCurrentAnimation()->GetTarget(), copy.Get());
    EXPECT_TRUE(copy->GetCurrentAnimation()->loop);
    EXPECT_TRUE(copy->HasAnimations());
    const auto* copiedWave = copy->GetAnimations().Find("wave");
    ASSERT_TRUE(copiedWave && *copiedWave);
    EXPECT_NE(copiedWave->Get(), wave.Get());
    EXPECT_EQ((*copiedWave)->GetTarget(), copy.Get());
    EXPECT_FALSE((*copiedWave)->loop);
    ASSERT_EQ(copy->GetChildren().size(), 1u);
    const Ref copiedTail = copy->GetChildren()[0];
    EXPECT_NE(copiedTail.Get(), tail.Get());
    EXPECT_EQ(copy->FindChild("tail").Get(), copiedTail.Get());
    EXPECT_EQ(copiedTail->GetParent().Get(), copy.Get());
    ASSERT_TRUE(copy->FindChild("tip"));
    EXPECT_NE(copy->FindChild("tip").Get(), source->FindChild("tip").Get());
    EXPECT_EQ(copiedTail->GetWorldMatrix(), tail->GetWorldMatrix());
    EXPECT_FALSE(copy->IsVisible());
    EXPECT_TRUE(copy->IsStatic());
    EXPECT_FALSE(copy->IsShadowBox());
    EXPECT_EQ(copy->GetFlameType(), 2);
    EXPECT_EQ(copy->GetScriptPointer(), script);
    ASSERT_TRUE(copy->GetPhysicData());
    EXPECT_NE(copy->GetPhysicData().Get(), physics.Get());
    const auto* copiedPhysics = dynamic_cast<const CPPhysicData*>(copy->GetPhysicData().Get());
    ASSERT_TRUE(copiedPhysics);
    EXPECT_FALSE(copiedPhysics->HasBody()); // the description only, no engine body
    EXPECT_EQ(copiedPhysics->GetOwner(), copy.Get());
    EXPECT_EQ(copiedPhysics->body.a, 2);
    EXPECT_EQ(copiedPhysics->body.mass, 10);
    ASSERT_EQ(copiedPhysics->shapes.size(), 1u);
    EXPECT_EQ(copiedPhysics->shapes[0].b, 4);
    ASSERT_TRUE(XmlFindElement(&copy->GetDescription(), {"car", "physics"}));
    EXPECT_FALSE(copy->IsDirty());
    EXPECT_TRUE(copy->IsTransformFresh());

    // Not copied.
    EXPECT_FALSE(copy->IsActive());
    EXPECT_TRUE(copy->IsCollision());
    EXPECT_EQ(copy->GetParameterText(), "");
    EXPECT_EQ(copy->GetDescriptionName(), "");
    EXPECT_EQ(copy->GetSourceDescription(), "");
    EXPECT_TRUE(copy->GetLineKeyPoints().empty());
    EXPECT_EQ(copy->GetLineColour(), 0xFF4E4E4Eu);
    EXPECT_FALSE(copy->IsContactSeen());
    EXPECT_EQ(copy->GetEnemyController(), nullptr);
    EXPECT_FALSE(copy->GetCar());

    // Copying an object onto itself changes nothing.
    copy->CopyFrom(copy);
    EXPECT_EQ(copy->GetChildren().size(), 1u);
    EXPECT_EQ(copy->GetCollisionBoxes().size(), 1u);

    source->Deactivate();
    source->SetEnemyController(nullptr);
    source->SetScript(nullptr);
    source->Release(); // the reference Activate added for the script
}

TEST_F(GameObjectTest, CopyMakesOwnPartsOfEveryKind) {
    CPRefPtr<CPMaterial> material(new CPMaterial(3));
    struct Case {
        int type;
        CPRefPtr<CPManagedObject> part;
    };
    Ref holder = Make("holder");
    CPRefPtr<CPRenderObject> mesh(new CPRenderObject(holder.Get()));
    mesh->SetMaterial(material);
    CPRefPtr<CPAnimatedObject> animated(new CPAnimatedObject(holder.Get()));
    animated->animations.Set("run", CPRefPtr<CPAnimation>(new CPAnimation("run")));
    CPRefPtr<CPLight> light(new CPLight(holder.Get()));
    light->light.Range = 42;
    CPRefPtr<CPParticleSystem> system(new CPParticleSystem(holder.Get(), {"smoke", "fire"}));
    system->interval = 0.5f;
    const Case cases[] = {
        {CPGameObject::RenderMesh, mesh},    {CPGameObject::RenderAnimatedMesh, animated},
        {CPGameObject::RenderLight, light},  {CPGameObject::RenderParticles, system},
        {CPGameObject::RenderNone, nullptr}, {CPGameObject::RenderMesh, nullptr}, // type without a part
        {CPGameObject::RenderLight, mesh},                                        // type and part disagree: no part
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Ref source = Make("source");
        source->SetRenderType(c.type);
        source->SetRenderPart(c.part);
        Ref copy(new CPGameObject("copy"));
        copy->CopyFrom(source);
        EXPECT_EQ(copy->GetRenderType(), c.type);
        CPManagedObject* part = copy->GetRenderPart().Get();
        const bool expectPart = c.part && !(c.type == CPGameObject::RenderLight && c.part.Get() == mesh.Get());
        EXPECT_EQ(part != nullptr, expectPart);
        if (!part) continue;
        EXPECT_NE(part, c.part.Get());
        if (auto* m = dynamic_cast<CPRenderObject*>(part)) {
            EXPECT_EQ(m->GetOwner(), copy.Get());
            EXPECT_EQ(m->GetMaterial().Get(), material.Get());
            EXPECT_EQ(m->worldMatrix, copy->GetWorldMatrix()); // handed down by the update
        } else if (auto* a = dynamic_cast<CPAnimatedObject*>(part)) {
            EXPECT_EQ(a->GetOwner(), copy.Get());
            EXPECT_TRUE(a->animations.Find("run"));
        } else if (auto* l = dynamic_cast<CPLight*>(part)) {
            EXPECT_EQ(l->GetOwner(), copy.Get());
            EXPECT_EQ(l->light.Range, 42);
        } else if (auto* p = dynamic_cast<CPParticleSystem*>(part)) {
            EXPECT_EQ(p->GetOwner(), copy.Get());
            EXPECT_EQ(p->GetNames(), system->GetNames());
            EXPECT_EQ(p->interval, 0.5f);
        } else {
            ADD_FAILURE() << "unexpected part " << part->GetTypeName();
        }
    }
}

TEST_F(GameObjectTest, PlayAnimationStartsAnimatedPartsOfTheSubtree) {
    Ref root = Make("root");
    Ref body = AddChild(root, "body");
    CPRefPtr<CPAnimatedObject> part(new CPAnimatedObject(body.Get()));
    CPRefPtr<CPAnimation> run(new CPAnimation("run")), idle(new CPAnimation("idle"));
    part->animations.Set("run", run);
    part->animations.Set("idle", idle);
    CPRefPtr<CountingEffect> effect(new CountingEffect);
    part->vertexEffects.emplace_back(effect);
    body->SetRenderType(CPGameObject::RenderAnimatedMesh);
    body->SetRenderPart(part);
    // Same part under a mesh type: not touched.
    Ref other = AddChild(root, "other");
    CPRefPtr<CPAnimatedObject> untouched(new CPAnimatedObject(other.Get()));
    untouched->animations.Set("run", run);
    other->SetRenderType(CPGameObject::RenderMesh);
    other->SetRenderPart(untouched);

    CPRefPtr<CPLuaScript> listener(new CPLuaScript);
    AnimationRequest request;
    request.name = "run";
    request.speed = 2;
    request.playCount = 3;
    request.listener = listener;
    request.reportFrame = 5;
    request.timeOffset = 0.5f;
    TotalTime = 10;
    root->PlayAnimation(request, false);
    EXPECT_EQ(part->currentName, "run");
    EXPECT_EQ(part->currentAnimation.Get(), run.Get());
    EXPECT_DOUBLE_EQ(part->startTime, 10.5);
    EXPECT_EQ(part->playCount, 3);
    EXPECT_EQ(part->reportFrame, 5);
    EXPECT_EQ(part->speed, 2);
    EXPECT_EQ(part->listener.Get(), listener.Get());
    EXPECT_EQ(part->passCounter, 0);
    EXPECT_EQ(part->reportedFrame, -1);
    EXPECT_EQ(part->currentFrame, -1);
    EXPECT_FALSE(part->stopped);
    EXPECT_EQ(effect->resets, 1);
    EXPECT_EQ(untouched->currentName, "");

    // The one already playing, without restart: the pass and start time stay, and the request still
    // goes on to the parts below.
    Ref wheel = AddChild(body, "wheel");
    CPRefPtr<CPAnimatedObject> wheelPart(new CPAnimatedObject(wheel.Get()));
    wheelPart->animations.Set("run", run);
    wheel->SetRenderType(CPGameObject::RenderAnimatedMesh);
    wheel->SetRenderPart(wheelPart);
    part->passCounter = 2;
    TotalTime = 20;
    root->PlayAnimation(request, false);
    EXPECT_EQ(part->passCounter, 2);
    EXPECT_DOUBLE_EQ(part->startTime, 10.5);
    EXPECT_EQ(wheelPart->currentName, "run");
    EXPECT_DOUBLE_EQ(wheelPart->startTime, 20.5);
    // With restart it starts over.
    root->PlayAnimation(request, true);
    EXPECT_EQ(part->passCounter, 0);
    EXPECT_DOUBLE_EQ(part->startTime, 20.5);
    // A name the part does not have changes nothing.
    request.name = "fly";
    root->PlayAnimation(request, true);
    EXPECT_EQ(part->currentName, "run");
    EXPECT_EQ(effect->resets, 2);
    TotalTime = 0;
}

CPRefPtr<CPTask> OneFlame(int index) {
    if (index != 0) return {};
    return CPRefPtr<CPTask>(new CPParticleSystem(nullptr, {"flame"}));
}

TEST_F(GameObjectTest, StartFlamesMakesFlameChildrenAndClearsTheType) {
    CPKernel kernel;
    SetFlameSource(&OneFlame);
    Ref root = Make("car", {4, 5, 6});
    CPRefPtr<RecordingPhysicData> data(new RecordingPhysicData(root.Get()));
    root->SetPhysicData(data);
    root->SetFlameType(0);
    Ref part = AddChild(root, "door");
    part->SetFlameType(7); // past the flame list

    root->StartFlames();
    EXPECT_EQ(root->GetFlameType(), -1);
    EXPECT_EQ(part->GetFlameType(), -1);
    EXPECT_TRUE(part->GetChildren().empty());
    Ref flame = root->FindChild("flame");
    ASSERT_TRUE(flame);
    EXPECT_EQ(flame->GetRenderType(), CPGameObject::RenderParticles);
    auto* system = dynamic_cast<CPParticleSystem*>(flame->GetRenderPart().Get());
    ASSERT_TRUE(system);
    EXPECT_EQ(system->GetOwner(), flame.Get());
    EXPECT_TRUE(kernel.IsRunning(system));
    EXPECT_EQ(system->GetPriority(), 200);
    ExpectVec(Translation(flame->GetWorldMatrix()), {4, 5, 6}, 0, "flame placed with the car");
    // The body was moved to where it already was.
    ASSERT_EQ(data->positions.size(), 1u);
    ExpectVec(data->positions[0], {4, 5, 6}, 0, "body");

    // Nothing is made twice.
    root->StartFlames();
    EXPECT_EQ(root->GetChildren().size(), 2u);
    kernel.KillAllTasks();
}

TEST_F(GameObjectTest, DamageAndGibsGoToTheEnemyController) {
    Ref object = Make("enemy");
    object->Damage({}, {}, 5, nullptr, false); // nothing attached: nothing happens
    object->MarkForGibsAtRandom(true);

    RecordingController controller;
    object->SetEnemyController(&controller);
    object->Damage({1, 0, 0}, {0, 1, 0}, 12.5f, object.Get(), true);
    ASSERT_EQ(controller.amounts.size(), 1u);
    EXPECT_EQ(controller.amounts[0], 12.5f);
    EXPECT_EQ(controller.lastSource, object.Get());
    EXPECT_TRUE(controller.lastSilent);
    object->NotifyAnimationStopped();
    EXPECT_EQ(controller.stopped, 1);
    EXPECT_EQ(controller.reported, 0);
    object->NotifyAnimationReport();
    EXPECT_EQ(controller.reported, 1);
    EXPECT_EQ(controller.stopped, 1);

    // Half the draws set the flag: exactly the odd ones.
    EngineSrand(77);
    std::vector<int> draws;
    for (int i = 0; i < 16; ++i) draws.push_back(EngineRand());
    EngineSrand(77);
    for (int draw : draws) {
        controller.gibs = false;
        object->MarkForGibsAtRandom(true);
        EXPECT_EQ(controller.gibs, (draw & 1) != 0);
    }
    object->SetEnemyController(nullptr);
    EngineSrand(1); // the process-wide generator back in its starting state
}

} // namespace
