// The library's object functions, CreateArrow and LoadRenderObject from a script: placing and
// reading objects, their physics bodies, copies and their lifetime, named parts, animations, and
// what nil and wrong objects do.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <lua.hpp>

#include "Core/Math/Math.h"
#include "Core/PGameObject.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptRegistry.h"
#include "Physics/Physics.h"
#include "Race/PPhysicData.h"
#include "Render/MeshFile.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimation.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRenderObject.h"
#include "ScriptFunctions/ScriptFunctions.h"
#include "ScriptHarness.h"

namespace {

using Ref = CPRefPtr<CPGameObject>;

class SceneObjectFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterAllScriptFunctions();
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        lua_close(L);
        CPManagedObject::CollectGarbage();
    }
    void Set(const char* name, const CPManagedObject* object) {
        lua_pushlightuserdata(L, const_cast<CPManagedObject*>(object));
        lua_setglobal(L, name);
    }
    // Runs the chunk; its error text, or "" when it ran.
    std::string Run(const std::string& code) {
        if (luaL_dostring(L, code.c_str()) == 0) return "";
        std::string error = lua_tostring(L, -1);
        lua_pop(L, 1);
        return error;
    }
    double Number(const char* global) {
        lua_getglobal(L, global);
        const double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }
    void* Pointer(const char* global) {
        lua_getglobal(L, global);
        void* value = lua_touserdata(L, -1);
        lua_pop(L, 1);
        return value;
    }
    lua_State* L = nullptr;
};

TEST_F(SceneObjectFunctionsTest, PlaceTurnAndRead) {
    Ref car(new CPGameObject("car"));
    car->SetBoundingBox(CPOrientedBox(Vec3(0, 0, 1), Vec3(1, 2, 1)));
    Set("car", car.Get());
    ASSERT_EQ(Run("SetPosition(car, 1, 2, 3); x, y, z = GetPosition(car)"), "");
    EXPECT_EQ(car->GetPosition(), Vec3(1, 2, 3));
    EXPECT_EQ(Number("z"), 3.0);
    EXPECT_FALSE(car->IsDirty()); // the transform was brought up to date

    ASSERT_EQ(Run("cx, cy, cz, x0, y0, z0, x1, y1, z1 = GetBBoxInfo(car)"), "");
    EXPECT_EQ(Number("cz"), 4.0);
    EXPECT_EQ(Number("x0"), 0.0);
    EXPECT_EQ(Number("y1"), 4.0);

    ASSERT_EQ(Run("SetRotation(car, 0, 0, 0)"), "");
    EXPECT_EQ(car->GetRotation(), QuatIdentity());
    ASSERT_EQ(Run("SetRotation(car, 0, 0, math.pi / 2)"), "");
    EXPECT_NEAR(car->GetRotation().z, std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(car->GetRotation().w, std::sqrt(0.5f), 1e-6f);
    // About x first, then y: the y axis goes to z, then to x. That is the turn by 120 degrees about
    // (1, 1, -1), the quaternion (1/2, 1/2, -1/2, 1/2) up to its sign.
    const struct {
        const char* angles;
        Quat expected;
    } turns[] = {
        {"math.pi / 2, math.pi / 2, 0", {0.5f, 0.5f, -0.5f, 0.5f}},
        // A half turn about x, then a quarter about z: y -> -y -> x and z -> -z, the half turn about
        // (1, 1, 0).
        {"math.pi, 0, math.pi / 2", {std::sqrt(0.5f), std::sqrt(0.5f), 0.0f, 0.0f}},
    };
    for (const auto& t : turns) {
        ASSERT_EQ(Run(std::string("SetRotation(car, ") + t.angles + ")"), "");
        const Quat q = car->GetRotation();
        // q and -q are the same turn.
        const float dot = q.x * t.expected.x + q.y * t.expected.y + q.z * t.expected.z + q.w * t.expected.w;
        const float sign = dot < 0.0f ? -1.0f : 1.0f;
        EXPECT_NEAR(sign * q.x, t.expected.x, 1e-6f) << t.angles;
        EXPECT_NEAR(sign * q.y, t.expected.y, 1e-6f) << t.angles;
        EXPECT_NEAR(sign * q.z, t.expected.z, 1e-6f) << t.angles;
        EXPECT_NEAR(sign * q.w, t.expected.w, 1e-6f) << t.angles;
    }

    ASSERT_EQ(Run("SetObjectVisible(car, false)"), "");
    EXPECT_FALSE(car->IsVisible());

    // Nil, and objects of another class, read as nil: the reads answer nils.
    for (const char* who : {"nil", "'text'", "12"}) {
        const std::string call = std::string("(") + who + ")";
        ASSERT_EQ(Run("n3 = select('#', GetPosition" + call + ") a = GetPosition" + call +
                      " n9 = select('#', GetBBoxInfo" + call + ") SetPosition(" + who + ", 1, 1, 1) SetRotation(" +
                      who + ", 1, 1, 1) SetObjectVisible(" + who + ", true) StartAnimation(" + who + ", 'x', 1)"),
                  "")
            << who;
        EXPECT_EQ(Number("n3"), 3.0);
        EXPECT_EQ(Number("n9"), 9.0);
        lua_getglobal(L, "a");
        EXPECT_TRUE(lua_isnil(L, -1));
        lua_pop(L, 1);
    }
}

TEST_F(SceneObjectFunctionsTest, PhysicsBodies) {
    Physics::SimulatorDesc desc;
    desc.rigidBodiesCount = 2;
    desc.animatedBodiesCount = 1;
    desc.geometriesCount = 4;
    desc.overlapPairsCount = 4;
    const Physics::Vector4 gravity(0, 0, -9.8f, 0);
    Physics::Simulator* world = Physics::CreateSimulator(desc, nullptr, &gravity);
    ASSERT_NE(world, nullptr);

    Ref crate(new CPGameObject("crate"));
    CPRefPtr<CPPhysicData> data(new CPPhysicData(crate.Get()));
    crate->SetPhysicData(data);
    Ref plain(new CPGameObject("plain"));
    Set("crate", crate.Get());
    Set("plain", plain.Get());
    ASSERT_EQ(Run("a = IsRigid(crate) and 1 or 0 s = GetObjectSpeed(crate) p = IsRigid(plain) and 1 or 0"), "");
    EXPECT_EQ(Number("a"), 0.0); // physics data without a body
    EXPECT_EQ(Number("s"), 0.0);
    EXPECT_EQ(Number("p"), 0.0);

    data->rigidBody = world->CreateRigidBody();
    ASSERT_NE(data->rigidBody, nullptr);
    data->rigidBody->SetMass(2.0f);
    ASSERT_EQ(Run("a = IsRigid(crate) and 1 or 0 s = GetObjectSpeed(crate)"), "");
    EXPECT_EQ(Number("a"), 1.0);
    EXPECT_EQ(Number("s"), 0.0); // at rest: exactly 0

    ASSERT_EQ(Run("SetPosition(crate, 4, 5, 6)"), "");
    EXPECT_EQ(data->rigidBody->GetPosition().x, 4.0f);
    EXPECT_EQ(data->rigidBody->GetPosition().z, 6.0f);
    ASSERT_EQ(Run("Jump(crate, 0, 0, 8) s = GetObjectSpeed(crate)"), "");
    EXPECT_NEAR(Number("s"), 4.0, 1e-5);
    data->rigidBody->SetLinearVelocity(Physics::Vector4(0.0005f, 0, 0, 0));
    ASSERT_EQ(Run("s = GetObjectSpeed(crate) Jump(plain, 1, 1, 1) Jump(nil, 1, 1, 1)"), "");
    EXPECT_EQ(Number("s"), 0.0); // below the rest threshold

    // A kinematic body is moved in its place; there is no rigid body to read.
    Ref gate(new CPGameObject("gate"));
    CPRefPtr<CPPhysicData> gateData(new CPPhysicData(gate.Get()));
    gate->SetPhysicData(gateData);
    gateData->animatedBody = world->CreateAnimatedBody();
    Set("gate", gate.Get());
    ASSERT_EQ(Run("SetPosition(gate, 7, 0, 0) a = IsRigid(gate) and 1 or 0 s = GetObjectSpeed(gate)"), "");
    EXPECT_EQ(Number("a"), 0.0);
    EXPECT_EQ(gate->GetPosition().x, 7.0f);

    data->rigidBody = nullptr;
    gateData->animatedBody = nullptr;
    Physics::DestroySimulator(world);
}

TEST_F(SceneObjectFunctionsTest, ClonesLiveOneTurnUnlessKept) {
    Ref car(new CPGameObject("car"));
    Ref wheel(new CPGameObject("wheel"));
    car->AddChild(wheel);
    Set("car", car.Get());
    ASSERT_EQ(Run("gone = Clone(car) kept = Clone(car) AddRef(kept) none = Clone(nil)"), "");
    auto* gone = static_cast<CPGameObject*>(static_cast<CPManagedObject*>(Pointer("gone")));
    auto* kept = static_cast<CPGameObject*>(static_cast<CPManagedObject*>(Pointer("kept")));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->GetName(), "car");
    EXPECT_NE(kept, car.Get());
    ASSERT_EQ(kept->GetChildren().size(), 1u);
    EXPECT_EQ(kept->GetChildren()[0]->GetName(), "wheel");
    EXPECT_EQ(Pointer("none"), nullptr);
    lua_getglobal(L, "none");
    EXPECT_TRUE(lua_islightuserdata(L, -1)); // a null object, not nil
    lua_pop(L, 1);

    CPManagedObject::CollectGarbage();
    EXPECT_FALSE(CPManagedObject::IsEngineObject(gone));
    EXPECT_TRUE(CPManagedObject::IsEngineObject(kept));
    // The collected copy now reads as nil.
    ASSERT_EQ(Run("n = select('#', GetPosition(gone)) x = GetPosition(gone) Release(kept)"), "");
    lua_getglobal(L, "x");
    EXPECT_TRUE(lua_isnil(L, -1));
    lua_pop(L, 1);
}

TEST_F(SceneObjectFunctionsTest, FindObjectStartAnimationAndStopScript) {
    Ref car(new CPGameObject("car"));
    Ref body(new CPGameObject("body"));
    Ref wheel(new CPGameObject("wheel_fl"));
    car->AddChild(body);
    body->AddChild(wheel);
    Set("car", car.Get());
    ASSERT_EQ(Run("w = FindObject(car, 'wheel_fl') m = FindObject(car, 'nothing') n = FindObject(nil, 'body')"), "");
    EXPECT_EQ(Pointer("w"), static_cast<CPManagedObject*>(wheel.Get()));
    EXPECT_EQ(Pointer("m"), nullptr);
    EXPECT_EQ(Pointer("n"), nullptr);
    // The name is checked first, even for a nil object.
    EXPECT_NE(Run("FindObject(nil)").find("string expected"), std::string::npos);
    EXPECT_NE(Run("FindObject(car, {})").find("string expected"), std::string::npos);

    CPAnimationManager animations;
    CPRefPtr<CPAnimatedObject> part(new CPAnimatedObject(body.Get()));
    body->SetRenderType(CPGameObject::RenderAnimatedMesh);
    body->SetRenderPart(part);
    part->AddAnimation("idle", CPRefPtr<CPAnimation>(new CPAnimation("a")));
    part->AddAnimation("run", CPRefPtr<CPAnimation>(new CPAnimation("b")));
    ASSERT_EQ(Run("StartAnimation(car, 'run', 0)"), "");
    EXPECT_EQ(part->currentName, "run");
    EXPECT_EQ(part->playCount, 0);
    EXPECT_EQ(part->reportFrame, -1);
    EXPECT_EQ(part->speed, 1.0f);
    part->passCounter = 5;
    ASSERT_EQ(Run("StartAnimation(car, 'run', 3)"), ""); // already playing: undisturbed
    EXPECT_EQ(part->passCounter, 5);
    EXPECT_EQ(part->playCount, 0);

    CPRefPtr<CPLuaScript> script(new CPLuaScript);
    Set("script", script.Get());
    ASSERT_EQ(Run("StopScript(car) StopScript(nil) StopScript(script)"), "");
    EXPECT_TRUE(script->IsKilled());
}

TEST_F(SceneObjectFunctionsTest, LoadRenderObjectAndCreateArrowHandOneReference) {
    ScriptHarness::GameRoot root("");
    std::filesystem::create_directories("Data/Meshes");
    MeshFile::Mesh mesh;
    MeshFile::Node node;
    node.name = "Arrow";
    mesh.nodes = {node};
    const std::vector<uint8_t> bytes = MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older);
    std::ofstream("Data/Meshes/arrow.msh", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ofstream("Data/Meshes/arrow.rdf") << "m = arrow.msh\n[arrow]\ntype = 2\n";
    InvalidatePathCache();
    CPMaterialManager materials;
    CPMeshManager meshes;

    ASSERT_EQ(Run("a = CreateArrow('arrow.rdf', 3) o = LoadRenderObject('arrow.rdf', 20.7) "
                  "m = LoadRenderObject('missing.rdf', 0)"),
              "");
    auto* arrow = static_cast<CPGameObject*>(static_cast<CPManagedObject*>(Pointer("a")));
    auto* object = static_cast<CPGameObject*>(static_cast<CPManagedObject*>(Pointer("o")));
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Pointer("m"), nullptr); // no "wrong.rdf" either
    EXPECT_EQ(arrow->GetRefCount(), 1);
    EXPECT_EQ(object->GetRefCount(), 1);
    auto* mesh1 = dynamic_cast<CPRenderObject*>(arrow->GetRenderPart().Get());
    auto* mesh2 = dynamic_cast<CPRenderObject*>(object->GetRenderPart().Get());
    EXPECT_EQ(mesh1->GetMaterial()->GetType(), 205);
    EXPECT_EQ(mesh2->GetMaterial()->GetType(), 22);
    EXPECT_NE(Run("LoadRenderObject('arrow.rdf')").find("number expected"), std::string::npos);
    ASSERT_EQ(Run("Release(a) Release(o)"), "");
    CPManagedObject::CollectGarbage();
    EXPECT_FALSE(CPManagedObject::IsEngineObject(arrow));
}

} // namespace
