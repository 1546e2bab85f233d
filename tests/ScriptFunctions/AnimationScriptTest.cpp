// A script plays an animation of a C++-made animated object and draws it every turn: the renderer's
// frames send the script its own handle with "animation_report" once per pass and
// "animation_stopped" once at the play-count limit.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Core/PSettings.h"
#include "Core/TaskPriorities.h"
#include "Platform/NullDevice.h"
#include "Render/MeshFile.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimationManager.h"
#include "Render/PRender.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

namespace {

const char* kHarness = R"(
reports, stops, others, handle = 0, 0, 0, ""
SetAnimation(runner, "run", 1, 2, 5, globalObject)
while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        if command == "animation_report" then reports = reports + 1
        elseif command == "animation_stopped" then stops = stops + 1
        else others = others + 1 end
        handle = GetCurrentParams(globalObject)
    end
    DrawDynamicObject(runner)
    Update()
end
)";

// Ten frames of 0.1 s, each a triangle.
MeshFile::VertexAnimation RunFrames() {
    MeshFile::VertexAnimation block;
    block.frameTime = 240;
    for (int k = 0; k < 10; ++k) {
        MeshFile::Frame frame;
        frame.vertices.resize(3);
        frame.vertices[0].position = Vec3(static_cast<float>(k), 0, 0);
        frame.indices = {0, 1, 2};
        block.frames.push_back(frame);
    }
    return block;
}

TEST(AnimationScriptTest, TheListenerHearsTwoReportsAndOneStop) {
    (void)kScriptFunctionsRegistered;
    CPSettingsManager::ResetDefaults();
    g_bloom = 0;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "vastrel-anim-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path root = pattern;
    std::filesystem::create_directories(root / "Data" / "Scripts");
    std::ofstream(root / "Data" / "Scripts" / "harness.lua") << kHarness;
    std::filesystem::current_path(root);
    InvalidatePathCache();
    {
        CPAnimationManager animations;
        CPScriptManager scripts;
        CPRefPtr<CPRender> render(new CPRender());
        // The kernel starts it.
        render->SetBackend(std::make_unique<Platform::NullBackend>());

        CPRefPtr<CPGameObject> runner(new CPGameObject("runner"));
        CPRefPtr<CPAnimatedObject> part(new CPAnimatedObject(runner.Get()));
        part->SetMaterial(CPRefPtr<CPMaterial>(new CPMaterial(20)));
        part->AddAnimation("idle", animations.Get("idle&runner.amf", RunFrames()));
        part->AddAnimation("run", animations.Get("run&runner.amf", RunFrames()));
        runner->SetRenderType(CPGameObject::RenderAnimatedMesh);
        runner->SetRenderPart(part);

        CPRefPtr<CPLuaScript> script(new CPLuaScript());
        ASSERT_EQ(script->Load("harness"), S_OK);
        lua_pushlightuserdata(script->GetState(), static_cast<CPManagedObject*>(runner.Get()));
        lua_setglobal(script->GetState(), "runner");
        script->SetPriority(TaskPriority::MainScript);
        render->SetPriority(TaskPriority::Render);

        // A fixed frame time of 0.1 s, kept as the clock keeps it.
        TotalTime = 0.03;
        CPRefPtr<ScriptHarness::ProbeTask> clock(new ScriptHarness::ProbeTask(TaskPriority::Timer, [] {
            FrameDelta = 0.1f;
            TotalTime += FrameDelta;
        }));
        ScriptHarness::TurnRunner runner_;
        ASSERT_TRUE(runner_.Kernel().AddTask(CPRefPtr<CPTask>(clock.Get())));
        ASSERT_TRUE(runner_.Kernel().AddTask(CPRefPtr<CPTask>(script.Get())));
        ASSERT_TRUE(runner_.Kernel().AddTask(CPRefPtr<CPTask>(render.Get())));
        runner_.Run(45);

        EXPECT_EQ(part->currentName, "");
        EXPECT_TRUE(part->stopped);
        lua_State* L = script->GetState();
        auto number = [&](const char* name) {
            lua_getglobal(L, name);
            const double v = lua_tonumber(L, -1);
            lua_pop(L, 1);
            return v;
        };
        EXPECT_EQ(number("reports"), 2);
        EXPECT_EQ(number("stops"), 1);
        EXPECT_EQ(number("others"), 0);
        lua_getglobal(L, "handle");
        EXPECT_EQ(std::string(lua_tostring(L, -1)), FormatHandle(script.Get()));
        lua_pop(L, 1);
        if (render->GetDevice()) render->Stop();
    }
    CPManagedObject::CollectGarbage();
    TotalTime = 0;
    FrameDelta = 0;
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(root);
    InvalidatePathCache();
    CPSettingsManager::ResetDefaults();
}

} // namespace
