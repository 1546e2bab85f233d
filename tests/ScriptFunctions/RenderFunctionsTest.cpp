// The rendering script functions driven by a script on a game object made in C++, with the
// renderer running on the null device.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cmath>
#include <memory>

#include "Core/PGameObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Race/PLevel.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "ScriptFunctionsSetup.h"

namespace {

class RenderFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = 640;
        g_screenHeight = 480;
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(std::make_unique<Platform::NullBackend>());
        ASSERT_TRUE(render_->Start());
        material_ = CPRefPtr<CPMaterial>(new CPMaterial(200));
        object_ = CPRefPtr<CPGameObject>(new CPGameObject("needle"));
        CPRefPtr<CPRenderObject> mesh(new CPRenderObject(object_.Get()));
        mesh->vertices.resize(3);
        mesh->indices = {0, 1, 2};
        mesh->SetMaterial(material_);
        object_->SetRenderType(CPGameObject::RenderMesh);
        object_->SetRenderPart(mesh);
        child_ = CPRefPtr<CPGameObject>(new CPGameObject("cap"));
        object_->AddChild(child_);
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
        lua_pushlightuserdata(L, object_.Get());
        lua_setglobal(L, "needle");
    }
    void TearDown() override {
        lua_close(L);
        object_.Reset();
        child_.Reset();
        material_.Reset();
        render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    bool Run(const char* code) {
        if (luaL_dostring(L, code) == 0) return true;
        ADD_FAILURE() << lua_tostring(L, -1);
        return false;
    }
    double Global(const char* name) {
        lua_getglobal(L, name);
        const double v = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return v;
    }
    int Queued() {
        CPIVBlock* block = render_->GetDynamicRenderBlock()->FindBlock(material_.Get());
        return block ? static_cast<int>(block->renderables.size()) : 0;
    }
    Vec3 Translation() const {
        const Mat4& w = object_->GetWorldMatrix();
        return Vec3(w.m[3][0], w.m[3][1], w.m[3][2]);
    }

    CPRefPtr<CPRender> render_;
    CPRefPtr<CPMaterial> material_;
    CPRefPtr<CPGameObject> object_, child_;
    lua_State* L = nullptr;
};

TEST_F(RenderFunctionsTest, AScriptDrivesTheThirteenFunctions) {
    ASSERT_TRUE(Run(R"(
        DrawLine(1, 2, 3, 4, 5, 6)
        SetLensFlare(1, 2, 3)
        SetLightCoeff(1)
        SetAnisoParam(2.5)
        aniso = GetAnisoParam()
        width = GetCurrentResolution()
        w, h = GetScreenSize()
        InitSky()
    )"));
    ASSERT_EQ(render_->GetDebugLines().size(), 2u);
    EXPECT_EQ(render_->GetDebugLines()[0].diffuse, 0xFFFF0000u);
    EXPECT_FLOAT_EQ(render_->GetDebugLines()[1].position.z, 6.0f);
    EXPECT_FLOAT_EQ(render_->GetLightCoeff(), 1.0f);
    EXPECT_FLOAT_EQ(g_aniso, 2.5f);
    EXPECT_DOUBLE_EQ(Global("aniso"), 2.5);
    EXPECT_DOUBLE_EQ(Global("width"), 640);
    EXPECT_DOUBLE_EQ(Global("h"), 480);
    EXPECT_EQ(render_->GetAmbientColor(), 0xFFFFFFFFu);
    EXPECT_EQ(render_->GetDevice()->GetRenderState(Platform::RenderState::Ambient), 0xFFFFFFFFu);

    // DrawDynamicObject and DrawObject queue the object with its children; the needles alone.
    ASSERT_TRUE(Run("DrawDynamicObject(needle)"));
    EXPECT_EQ(Queued(), 1);
    ASSERT_TRUE(Run("DrawObject(needle, 0, 0, 90)"));
    EXPECT_EQ(Queued(), 2);
    EXPECT_NEAR(Translation().x, -1.0f, 1e-5);
    EXPECT_NEAR(Translation().y, 0.0f, 1e-5);

    // Without a level the needle does not turn; it sits at the grid point scaled to the screen.
    ASSERT_EQ(GetLevel(), nullptr);
    ASSERT_TRUE(Run("DrawArrow(needle, 512, 384)"));
    EXPECT_EQ(Queued(), 3);
    EXPECT_NEAR(Translation().x, 320.0f, 1e-3);
    EXPECT_NEAR(Translation().y, 240.0f, 1e-3);
    EXPECT_NEAR(object_->GetWorldMatrix().m[0][0], 1.0f, 1e-6);

    // With a level at rest it turns by 47 degrees, and 1.8 more per unit of speed.
    CPRefPtr<CPLevel> level(new CPLevel());
    ASSERT_TRUE(Run("DrawArrow(needle, 0, 0)"));
    EXPECT_NEAR(std::atan2(object_->GetWorldMatrix().m[0][1], object_->GetWorldMatrix().m[0][0]), 47 * 3.1415927 / 180,
                1e-5);
    level->SetCurrentSpeed(10);
    ASSERT_TRUE(Run("DrawArrow(needle, 0, 0)"));
    EXPECT_NEAR(std::atan2(object_->GetWorldMatrix().m[0][1], object_->GetWorldMatrix().m[0][0]), 65 * 3.1415927 / 180,
                1e-5);
    ASSERT_TRUE(Run("DrawArrow2(needle, 0, 0, 54)"));
    EXPECT_NEAR(std::atan2(object_->GetWorldMatrix().m[0][1], object_->GetWorldMatrix().m[0][0]), 10 * 3.1415927 / 180,
                1e-5);
    ASSERT_TRUE(Run("DrawArrow3(needle, 0, 0, -119)"));
    EXPECT_NEAR(std::atan2(object_->GetWorldMatrix().m[0][1], object_->GetWorldMatrix().m[0][0]), 10 * 3.1415927 / 180,
                1e-5);
    EXPECT_EQ(Queued(), 7);

    // A missing or foreign object does nothing.
    ASSERT_TRUE(Run("DrawObject(nil, 0, 0, 0) DrawArrow(nil, 1, 1) DrawDynamicObject(42)"));
    EXPECT_EQ(Queued(), 7);
}

TEST_F(RenderFunctionsTest, BlurValuesAndTheBlurSetting) {
    ASSERT_TRUE(Run("SetMotionBlur(0.3) SetRadialBlur(2.5) SetBlurParam(0) blur = GetBlurParam()"));
    EXPECT_TRUE(render_->IsMotionBlurOn());
    EXPECT_FLOAT_EQ(render_->GetMotionBlurAmount(), 0.3f);
    EXPECT_FLOAT_EQ(render_->GetRadialBlur(), 2.5f);
    EXPECT_EQ(g_blur, 0);
    EXPECT_DOUBLE_EQ(Global("blur"), 0);
    // 0 switches the motion blur off and forgets its amount; the blur setting is an integer.
    ASSERT_TRUE(Run("SetMotionBlur(0) SetBlurParam(2.9) blur = GetBlurParam()"));
    EXPECT_FALSE(render_->IsMotionBlurOn());
    EXPECT_EQ(render_->GetMotionBlurAmount(), 0.0f);
    EXPECT_EQ(g_blur, 2);
    EXPECT_DOUBLE_EQ(Global("blur"), 2);
}

} // namespace
