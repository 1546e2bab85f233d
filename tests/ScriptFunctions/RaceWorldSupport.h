#pragma once
// The race world of script-function tests: game data beside the shared race world, so a layout
// written by the test loads a level with a camera, a player car and checkpoints. Scripts run in a
// Lua state with every registered function.
#include <gtest/gtest.h>

#include <string>

#include <lua.hpp>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PScriptRegistry.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "RaceWorldFixture.h"
#include "ScriptFunctionsSetup.h"

class RaceWorldTest : public RaceWorldFixture {
protected:
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        shadowBefore_ = ShadowMatrix;
        RaceWorldFixture::SetUp();
        if (HasFatalFailure()) return;
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        if (L) {
            Run("DeleteLevel()");
            lua_close(L);
        }
        CPManagedObject::CollectGarbage();
        RaceWorldFixture::TearDown();
        FrameDelta = 0.0f;
        TimeScale = 1.0f;
        // A level load sets the shadow projection for every object made later.
        ShadowMatrix = shadowBefore_;
    }
    bool Run(const std::string& code) {
        if (luaL_dostring(L, code.c_str()) == 0) return true;
        ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
        lua_pop(L, 1);
        return false;
    }
    // The results of a Lua expression list: their count, then each as tostring gives it.
    std::string Eval(const std::string& expression) {
        Run("local r = {" + expression + "} local n = select('#', " + expression +
            ") local s = tostring(n) for i = 1, n do s = s .. ' ' .. tostring(r[i]) end result = s");
        lua_getglobal(L, "result");
        std::string s = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_pop(L, 1);
        return s;
    }
    double Number(const std::string& expression) {
        Run("result = " + expression);
        lua_getglobal(L, "result");
        const double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }

    CPGameData data_;
    lua_State* L = nullptr;
    Mat4 shadowBefore_;
};
