// Game objects and their scripts: activation hands the script the object with a reference and a
// 64-bit handle it can use with the object script functions; damage and deactivation reach it too.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <lua.hpp>

#include "Core/Math/Math.h"
#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Platform/Message.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimation.h"
#include "Render/PPartAnimation.h"
#include "ScriptFunctions/ObjectFunctions.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

namespace {

using Ref = CPRefPtr<CPGameObject>;

TEST(GameObjectScriptTest, ActivateHandsTheScriptAUsableHandle) {
    ScriptHarness::GameRoot root("objects");
    RegisterObjectScriptFunctions();
    std::string handle;
    {
        Platform::QueueMessageSource messages;
        CPKernel kernel;
        kernel.SetMessageSource(&messages);
        CPScriptManager manager;
        CPRefPtr<CPLuaScript> script(new CPLuaScript);
        ASSERT_EQ(script->Load("watcher"), S_OK);

        Ref car(new CPGameObject("car"));
        Ref wheel(new CPGameObject("wheel"));
        car->AddChild(wheel);
        car->SetScript(script.Get());
        handle = FormatHandle(car.Get());
        ASSERT_GT(handle.size(), 10u) << "the handle must not be cut to 32 bits";

        const int references = car->GetRefCount();
        car->Activate(200);
        car->Activate(300); // active already: no second task, reference or command
        EXPECT_EQ(car->GetRefCount(), references + 1);
        EXPECT_TRUE(kernel.IsRunning(script.Get()));
        EXPECT_EQ(script->GetPriority(), 200);
        EXPECT_EQ(script->GetQueue().size(), 1u);

        // Deactivating something never activated sends nothing.
        Ref idle(new CPGameObject("idle"));
        idle->SetScript(script.Get());
        idle->Deactivate();
        EXPECT_EQ(script->GetQueue().size(), 1u);

        // Turn 1: the script takes "add_object". Turn 2, after the script: damage and deactivation,
        // read by the script in turn 3.
        AppActive = true;
        int turn = 0;
        CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(300, [&] {
            ++turn;
            if (turn == 2) {
                car->Damage({}, {}, 3.14159f, nullptr, false);
                car->Damage({}, {}, 99, nullptr, true); // silent
                car->Deactivate();
                car->Deactivate();
            }
            if (turn == 3) messages.Post({Platform::MessageId::Quit});
        }));
        kernel.AddTask(probe);
        kernel.Execute();

        EXPECT_FALSE(wheel->IsVisible());
        EXPECT_FALSE(wheel->IsCollision());
        EXPECT_TRUE(car->IsVisible());
        EXPECT_FALSE(car->IsActive());
        // The script keeps the reference Activate gave it until it releases the object.
        EXPECT_EQ(car->GetRefCount(), references + 1);
        car->Release();
    }
    CPManagedObject::CollectGarbage();

    const std::vector<std::string> expected = {
        "add_object " + handle, "roundtrip true",          "wheel parent true", "self true", "missing 0",
        "damage 3.14",          "delete_object " + handle,
    };
    EXPECT_EQ(root.ReadLines("watcher.log"), expected);
}

// The object functions called directly from a state, with wrong arguments among them.
class ObjectFunctionTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterObjectScriptFunctions();
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        lua_close(L);
        CPManagedObject::CollectGarbage();
    }
    // The chunk's first result as text, or "error: " and the message.
    std::string Run(const std::string& code) {
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0) {
            std::string message = std::string("error: ") + lua_tostring(L, -1);
            lua_pop(L, 1);
            return message;
        }
        lua_getglobal(L, "tostring");
        lua_insert(L, -2);
        lua_call(L, 1, 1);
        std::string out = lua_tostring(L, -1);
        lua_pop(L, 1);
        return out;
    }
    void SetGlobal(const char* name, const CPManagedObject* object) {
        PushObject(L, object);
        lua_setglobal(L, name);
    }
    lua_State* L = nullptr;
};

TEST_F(ObjectFunctionTest, FunctionsActOnGameObjectsAndIgnoreAnythingElse) {
    Ref root(new CPGameObject("root"));
    Ref arm(new CPGameObject("arm"));
    Ref hand(new CPGameObject("hand"));
    root->AddChild(arm);
    arm->AddChild(hand);
    // A later direct child of the same name: the pre-order search still finds the deeper one first.
    Ref sideHand(new CPGameObject("hand"));
    root->AddChild(sideHand);
    root->UpdateTransform();
    CPRefPtr<CPMaterial> notAnObject(new CPMaterial);
    SetGlobal("root", root.Get());
    SetGlobal("hand", hand.Get());
    SetGlobal("material", notAnObject.Get());
    lua_pushlightuserdata(L, reinterpret_cast<void*>(0x1234)); // not an engine object
    lua_setglobal(L, "stale");
    const std::string rootText = FormatHandle(root.Get()), armText = FormatHandle(arm.Get());

    struct Case {
        const char* code;
        std::string expected;
    };
    const Case cases[] = {
        {"return PointerToString(GetChildObject(root, 'root'))", rootText},
        {"return PointerToString(GetChildObject(root, 'arm'))", armText},
        {"return GetChildObject(root, 'hand') == hand", "true"},
        {"return PointerToString(GetChildObject(root, 'nothing'))", "0"},
        {"return PointerToString(GetChildObject(root, 'ARM'))", "0"}, // the name exactly
        {"return PointerToString(GetChildObject(hand, 'arm'))", "0"}, // the subtree only
        {"return type(GetChildObject(root, 'nothing'))", "userdata"},
        {"return PointerToString(GetChildObject(material, 'root'))", "0"},
        {"return PointerToString(GetChildObject(stale, 'root'))", "0"},
        {"return PointerToString(GetChildObject('root', 'root'))", "0"},
        {"return GetChildObject(root, nil)", "error: *bad argument #2*"},
        {"return PointerToString(GetParentObject(hand))", armText},
        {"return PointerToString(GetParentObject(root))", "0"},
        {"return PointerToString(GetParentObject(io.stdout))", "0"},
        {"SetVisible(hand, false) SetCollision(hand, 0) return 'ok'", "ok"},
        {"SetVisible(material, false) SetCollision(stale, false) SetVisible() return 'ok'", "ok"},
        {"ActivateObject(material, 5) DeactivateObject(stale) ActivateObject(nil) return 'ok'", "ok"},
        {"SetPTransformation(material, 1, 2, 3, 0, 0, 0) SetPTransformation() return 'ok'", "ok"},
        // Only a game object has a script: anything else is no object, and the strings go unread.
        {"SendCommandByObject(material, nil, nil) SendCommandByObject(stale) return 'ok'", "ok"},
        {"SendCommandByObject(root, 'go', nil)", "error: *bad argument #3*"},
        {"SendCommandByObject(root, nil, '')", "error: *bad argument #2*"},
        {"SendCommandByObject(root, 'go', '1') return 'ok'", "ok"}, // no script: nothing sent
    };
    for (const Case& c : cases) {
        const std::string result = Run(c.code);
        if (!c.expected.empty() && c.expected.back() == '*') {
            const std::string stem = c.expected.substr(0, c.expected.find('*'));
            const std::string inner =
                c.expected.substr(c.expected.find('*') + 1, c.expected.size() - c.expected.find('*') - 2);
            EXPECT_EQ(result.rfind(stem, 0), 0u) << c.code << " gave " << result;
            EXPECT_NE(result.find(inner), std::string::npos) << c.code << " gave " << result;
        } else {
            EXPECT_EQ(result, c.expected) << c.code;
        }
    }
    EXPECT_FALSE(hand->IsVisible());
    EXPECT_TRUE(hand->IsCollision()); // 0 is true in Lua
    EXPECT_TRUE(root->IsVisible());

    // Yaw, pitch and roll each land on their own axis: roll about z first, then pitch about x, then
    // yaw about y, and the translation after the turn.
    EXPECT_EQ(Run("SetPTransformation(hand, 4, 5, 6, 0.3, -0.7, 1.1) return 'ok'"), "ok");
    const Mat4 expectedParent = MatRotationZ(1.1f) * MatRotationX(-0.7f) * MatRotationY(0.3f) * MatTranslation(4, 5, 6);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            EXPECT_NEAR(hand->GetParentMatrix().m[row][col], expectedParent.m[row][col], 1e-5f) << row << "," << col;
            EXPECT_NEAR(hand->GetWorldMatrix().m[row][col], expectedParent.m[row][col], 1e-5f) << row << "," << col;
        }
    EXPECT_TRUE(hand->IsTransformFresh()); // rebuilt at once
    EXPECT_FALSE(hand->IsDirty());

    // The parent matrix holds the turn and the translation until the parent hands its own down.
    EXPECT_EQ(Run("SetPTransformation(hand, 1, 2, 3, 0, 0, 3.14159265) return 'ok'"), "ok");
    const Mat4& world = hand->GetWorldMatrix();
    EXPECT_NEAR(world.m[3][0], 1, 1e-5f);
    EXPECT_NEAR(world.m[3][1], 2, 1e-5f);
    EXPECT_NEAR(world.m[3][2], 3, 1e-5f);
    EXPECT_NEAR(world.m[0][0], -1, 1e-5f); // half a turn about z
    EXPECT_FALSE(hand->IsDirty());
    root->UpdateTransform(); // not dirty: nothing handed down
    EXPECT_NEAR(hand->GetWorldMatrix().m[3][0], 1, 1e-5f);
    root->SetPosition({0, 0, 0});
    root->UpdateTransform();
    EXPECT_NEAR(hand->GetWorldMatrix().m[3][0], 0, 1e-5f);

    // Activation by script: the priority is truncated toward zero, and huge values are clamped.
    {
        CPKernel kernel;
        CPRefPtr<CPPartAnimation> idle(new CPPartAnimation);
        root->AddAnimation("idle", idle);
        EXPECT_EQ(Run("ActivateObject(root, 250.9) return 'ok'"), "ok");
        EXPECT_TRUE(root->IsActive() && hand->IsActive());
        EXPECT_EQ(idle->GetPriority(), 250);
        EXPECT_EQ(Run("DeactivateObject(root) return 'ok'"), "ok");
        EXPECT_FALSE(root->IsActive() || hand->IsActive());
        EXPECT_EQ(Run("ActivateObject(root, 1e300) return 'ok'"), "ok");
        EXPECT_EQ(idle->GetPriority(), INT_MAX);
        root->Deactivate();
        kernel.KillAllTasks();
    }
}

TEST_F(ObjectFunctionTest, SetAnimationStartsTheNamedAnimationWithoutRestarting) {
    Ref root(new CPGameObject("root"));
    Ref body(new CPGameObject("body"));
    root->AddChild(body);
    CPRefPtr<CPAnimatedObject> part(new CPAnimatedObject(body.Get()));
    CPRefPtr<CPAnimation> run(new CPAnimation("run")), idle(new CPAnimation("idle"));
    part->animations.Set("run", run);
    part->animations.Set("idle", idle);
    body->SetRenderType(CPGameObject::RenderAnimatedMesh);
    body->SetRenderPart(part);
    CPRefPtr<CPLuaScript> listener(new CPLuaScript);
    CPRefPtr<CPMaterial> notAScript(new CPMaterial);
    SetGlobal("root", root.Get());
    SetGlobal("listener", listener.Get());
    SetGlobal("material", notAScript.Get());

    struct Case {
        const char* code;
        const char* name; // what the part plays afterwards
        float speed;
        int playCount;
        int reportFrame;
        bool hasListener;
    };
    // Each case starts from the "idle" animation, so a request for "run" is never the one playing.
    const Case cases[] = {
        {"SetAnimation(root, 'run', 1.5, 2.9, 7.9, listener)", "run", 1.5f, 2, 7, true},
        {"SetAnimation(root, 'run', -0.5, -2.9, -1)", "run", -0.5f, -2, -1, false},
        // Missing numbers read 0: a missing report frame is frame 0, not "none".
        {"SetAnimation(root, 'run')", "run", 0.0f, 0, 0, false},
        {"SetAnimation(root, 'run', 1, 1, 1, material)", "run", 1.0f, 1, 1, false},
        // An unknown or missing name starts nothing.
        {"SetAnimation(root, 'fly', 9, 9, 9, listener)", "idle", 1.0f, 0, -1, false},
        {"SetAnimation(root, nil, 9, 9, 9, listener)", "idle", 1.0f, 0, -1, false},
        {"SetAnimation(material, 'run', 9, 9, 9, listener) SetAnimation()", "idle", 1.0f, 0, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        AnimationRequest reset;
        reset.name = "idle";
        root->PlayAnimation(reset, true);
        ASSERT_EQ(Run(std::string(c.code) + " return 'ok'"), "ok");
        EXPECT_EQ(part->currentName, c.name);
        EXPECT_EQ(part->speed, c.speed);
        EXPECT_EQ(part->playCount, c.playCount);
        EXPECT_EQ(part->reportFrame, c.reportFrame);
        EXPECT_EQ(part->listener.Get(), c.hasListener ? listener.Get() : nullptr);
    }

    // Asking for the animation already playing changes nothing: no restart.
    TotalTime = 3;
    ASSERT_EQ(Run("SetAnimation(root, 'run', 1, 4, 5, listener) return 'ok'"), "ok");
    EXPECT_DOUBLE_EQ(part->startTime, 3.0); // no time offset
    part->passCounter = 2;
    TotalTime = 8;
    ASSERT_EQ(Run("SetAnimation(root, 'run', 2, 6, 7) return 'ok'"), "ok");
    EXPECT_EQ(part->passCounter, 2);
    EXPECT_EQ(part->playCount, 4);
    EXPECT_DOUBLE_EQ(part->startTime, 3.0);
    TotalTime = 0;
    part->listener.Reset();
}

TEST_F(ObjectFunctionTest, SendCommandByObjectReachesTheScriptOfTheObject) {
    CPScriptManager manager;
    CPRefPtr<CPLuaScript> script(new CPLuaScript);
    Ref car(new CPGameObject("car"));
    Ref bare(new CPGameObject("bare"));
    car->SetScript(script.Get());
    SetGlobal("car", car.Get());
    SetGlobal("bare", bare.Get());
    SetGlobal("script", script.Get());

    // Not running yet: dropped.
    ASSERT_EQ(Run("SendCommandByObject(car, 'early', '') return 'ok'"), "ok");
    EXPECT_TRUE(script->GetQueue().empty());

    ASSERT_TRUE(script->Start());
    // A script is no game object, and an object without a script has nowhere to send to.
    ASSERT_EQ(Run("SendCommandByObject(script, 'self', '') SendCommandByObject(bare, 'bare', '') return 'ok'"), "ok");
    EXPECT_TRUE(script->GetQueue().empty());
    ASSERT_EQ(Run("SendCommandByObject(car, 'go', ' 1, \"a,b\" ') return 'ok'"), "ok");
    ASSERT_EQ(script->GetQueue().size(), 1u);
    EXPECT_EQ(script->GetQueue().front().name, "go");
    EXPECT_EQ(script->GetQueue().front().params, (std::vector<std::string>{"1", "a,b"}));
    car->SetScript(nullptr);
    script->Stop();
}

} // namespace
