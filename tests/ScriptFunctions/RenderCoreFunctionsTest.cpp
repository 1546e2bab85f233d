// SetFade from a script reaches the renderer's fade level.
#include <gtest/gtest.h>

#include <lua.hpp>

#include "Core/PScriptRegistry.h"
#include "Render/PRender.h"
#include "ScriptFunctions/RenderCoreFunctions.h"

namespace {

class RenderCoreFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterRenderCoreScriptFunctions();
        L = luaL_newstate();
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        lua_close(L);
        CPManagedObject::CollectGarbage();
    }
    bool Run(const char* code) { return luaL_dostring(L, code) == 0; }
    lua_State* L = nullptr;
};

TEST_F(RenderCoreFunctionsTest, SetFadeSetsTheClampedLevel) {
    CPRefPtr<CPRender> render(new CPRender);
    struct Case {
        const char* code;
        float level;
    };
    const Case cases[] = {
        {"SetFade(0.5)", 128.0f}, {"SetFade(1)", 256.0f},   {"SetFade(2)", 256.0f},
        {"SetFade(-1)", 0.0f},    {"SetFade(0.25)", 64.0f}, {"SetFade('x')", 0.0f},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Run(c.code)) << c.code;
        EXPECT_FLOAT_EQ(render->GetFadeLevel(), c.level) << c.code;
    }
}

TEST_F(RenderCoreFunctionsTest, SetFadeWithoutARendererDoesNothing) {
    ASSERT_EQ(GetRender(), nullptr);
    EXPECT_TRUE(Run("SetFade(0.5)"));
}

} // namespace
