// The core script functions as a script sees them, and the registration of function tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <lua.hpp>

#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "ScriptFunctionsSetup.h"

namespace {

class Thing : public CPManagedObject {
public:
    explicit Thing(bool* deleted = nullptr) : deleted_(deleted) {}
    ~Thing() override {
        if (deleted_) *deleted_ = true;
    }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "Thing"; }

private:
    bool* deleted_;
};

class IdleTask : public CPTask {
public:
    void Update() override {}
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "IdleTask"; }
};

// A state with the standard libraries and every registered function.
class ScriptFunctionTest : public ::testing::Test {
protected:
    void SetUp() override {
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        lua_close(L);
        CPManagedObject::CollectGarbage();
    }

    // Runs the chunk; its results joined by "|" (tostring of each), or "error: " and the message.
    std::string Run(const std::string& code) {
        const int base = lua_gettop(L);
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, LUA_MULTRET, 0) != 0) {
            std::string message = std::string("error: ") + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
            lua_settop(L, base);
            return message;
        }
        std::string out;
        for (int i = base + 1; i <= lua_gettop(L); ++i) {
            lua_getglobal(L, "tostring");
            lua_pushvalue(L, i);
            lua_call(L, 1, 1);
            if (i > base + 1) out += "|";
            out += lua_tostring(L, -1);
            lua_pop(L, 1);
        }
        lua_settop(L, base);
        return out;
    }
    void SetGlobalObject(const char* name, const CPManagedObject* object) {
        PushObject(L, object);
        lua_setglobal(L, name);
    }

    lua_State* L = nullptr;
};

TEST_F(ScriptFunctionTest, ValuesAndBadArguments) {
    FrameDelta = 0.25f;
    struct Case {
        const char* code;
        const char* expected; // a trailing '*' matches any rest
    };
    const Case cases[] = {
        {"return GetDeltaTime()", "0.25"},
        {"return ToInt(-2.7), ToInt(2.7), ToInt(-0.5)", "-2|2|0"},
        {"return ToInt(1e12), ToInt(-1e12), ToInt(0/0), ToInt(1/0)", "2147483647|-2147483648|0|2147483647"},
        {"return ToInt('12.9'), ToInt('x'), ToInt()", "12|0|0"},
        {"return select('#', SplitString('a; b;;c', ';')), SplitString('a; b;;c', ';')", "4|a|b||c"},
        {"return SplitString('1,\"a,b\", x', ',')", "1|a,b|x"},
        {"return select('#', SplitString('', ','))", "0"},
        {"return SplitString(12, 1)", "|2"},
        {"return SplitString(nil, ',')", "error: *bad argument #1*"},
        {"return type(CheckString(5)), CheckString(5)", "string|5"},
        {"return CheckString('a', 'b')", "b"},
        {"return CheckString(nil)", "error: *bad argument #1*"},
        {"return CheckString({})", "error: *bad argument #1*"},
        // Objects that are not live engine objects read as null, and null goes out as a light
        // userdata, not nil.
        {"return PointerToString(StringToPointer('garbage'))", "0"},
        {"return PointerToString(StringToPointer('123456789'))", "0"},
        {"return PointerToString(StringToPointer('99999999999999999999999'))", "0"},
        {"return type(StringToPointer('0'))", "userdata"},
        {"return PointerToString(io.stdout), PointerToString(nil), PointerToString('x')", "0|0|0"},
        {"return StringToPointer(nil)", "error: *bad argument #1*"},
        {"return SetNextCommand(nil), SetNextCommand(io.stdout)", "false|false"},
        {"return select('#', GetCurrentCommand(nil)), select('#', GetCurrentParams(42))", "0|0"},
        {"AddRef(nil) Release(io.stdout) DumpObjects() return 'ok'", "ok"},
        {"SendCommandByName('main', 'go', nil)", "error: *bad argument #3*"},
        {"SendCommandByCategory(nil, 'go', '')", "error: *bad argument #1*"},
        // With a null object the strings are not looked at.
        {"SendCommandByObject(nil, nil, nil) return 'ok'", "ok"},
        // No manager: nothing to deliver to, and nothing fails.
        {"SendCommandByName('main', 'go', '1') SendCommandByCategory('x', 'go', 2) return 'ok'", "ok"},
    };
    for (const Case& c : cases) {
        const std::string result = Run(c.code);
        const std::string expected = c.expected;
        if (!expected.empty() && expected.back() == '*') {
            // "prefix*middle*": the result starts with prefix and holds middle.
            const size_t star = expected.find('*');
            const std::string prefix = expected.substr(0, star);
            const std::string middle = expected.substr(star + 1, expected.size() - star - 2);
            EXPECT_EQ(result.rfind(prefix, 0), 0u) << c.code << " -> " << result;
            EXPECT_NE(result.find(middle), std::string::npos) << c.code << " -> " << result;
        } else {
            EXPECT_EQ(result, expected) << c.code;
        }
    }
}

TEST_F(ScriptFunctionTest, HandlesAsTextRoundTripAbove32Bits) {
    CPRefPtr<Thing> thing(new Thing);
    const auto address = reinterpret_cast<uintptr_t>(static_cast<CPManagedObject*>(thing.Get()));
    ASSERT_GT(address, 0xFFFFFFFFull); // a 32-bit "%d" would lose this address
    SetGlobalObject("thing", thing.Get());

    EXPECT_EQ(Run("return PointerToString(thing)"), std::to_string(address));
    EXPECT_EQ(FormatHandle(thing.Get()), std::to_string(address));
    EXPECT_EQ(ParseHandle(std::to_string(address)), thing.Get());
    EXPECT_EQ(ParseHandleAs<Thing>(std::to_string(address)), thing.Get());
    EXPECT_EQ(ParseHandleAs<CPLuaScript>(std::to_string(address)), nullptr);
    EXPECT_EQ(Run("return StringToPointer(PointerToString(thing)) == thing"), "true");
    EXPECT_EQ(Run("return StringToPointer(' ' .. PointerToString(thing) .. 'xyz') == thing"), "true");
    // A Thing is no script: the queue functions see null.
    EXPECT_EQ(Run("return SetNextCommand(thing), select('#', GetCurrentCommand(thing))"), "false|0");
}

TEST_F(ScriptFunctionTest, ReferenceCountingFromScripts) {
    bool deleted = false;
    Thing* thing = new Thing(&deleted);
    thing->AddRef(); // the one reference a creating function hands a script
    SetGlobalObject("thing", thing);
    const std::string text = FormatHandle(thing);

    EXPECT_EQ(Run("AddRef(thing) Release(thing) return 'ok'"), "ok");
    EXPECT_EQ(thing->GetRefCount(), 1);
    // Releasing twice: the second call finds no reference left and does nothing.
    EXPECT_EQ(Run("Release(thing) Release(thing) return 'ok'"), "ok");
    EXPECT_EQ(thing->GetRefCount(), 0);
    EXPECT_TRUE(thing->IsReleased());
    EXPECT_FALSE(deleted); // released objects last until the end of the turn
    CPManagedObject::CollectGarbage();
    EXPECT_TRUE(deleted);

    // The old handle, as userdata or as text, no longer names an object.
    EXPECT_EQ(Run("Release(thing) AddRef(thing) return PointerToString(thing)"), "0");
    EXPECT_EQ(Run("return PointerToString(StringToPointer('" + text + "'))"), "0");
}

TEST_F(ScriptFunctionTest, KillAllTasksAndQueueThroughGlobalObject) {
    CPKernel kernel;
    CPRefPtr<IdleTask> task(new IdleTask);
    ASSERT_TRUE(kernel.AddTask(task));
    EXPECT_EQ(Run("KillAllTasks() return 'ok'"), "ok");
    EXPECT_TRUE(task->IsKilled());

    CPRefPtr<CPLuaScript> script(new CPLuaScript);
    SetGlobalObject("me", script.Get());
    script->PushCommand(CPCommand("go", {"1", "2"}));
    script->PushCommand(CPCommand("stop", {}));
    EXPECT_EQ(Run("return SetNextCommand(me), GetCurrentCommand(me), GetCurrentParams(me)"), "true|go|1|2");
    EXPECT_EQ(Run("return SetNextCommand(me), GetCurrentCommand(me), select('#', GetCurrentParams(me))"),
              "true|stop|0");
    EXPECT_EQ(Run("return SetNextCommand(me), select('#', GetCurrentCommand(me))"), "false|0");
}

int ProbeFirst(lua_State* L) {
    lua_pushstring(L, "first");
    return 1;
}
int ProbeSecond(lua_State* L) {
    lua_pushstring(L, "second");
    return 1;
}
int ProbeThird(lua_State* L) {
    lua_pushstring(L, "third");
    return 1;
}

TEST(ScriptRegistryTest, LaterRegistrationsReplaceEarlierOnes) {
    const ScriptFunctionEntry library[] = {
        {"RegistryProbeShared", ProbeFirst},
        {"RegistryProbeLibrary", ProbeFirst},
        {"RegistryProbeLibrary", ProbeSecond}, // same table: replaces in place
        {nullptr, nullptr},
        {"RegistryProbeAfterEnd", ProbeFirst},
    };
    const ScriptFunctionEntry extra[] = {
        {"RegistryProbeShared", ProbeThird},
        {"RegistryProbeCoreAndExtra", ProbeThird},
    };
    // Registered after the library tables, but the core table still goes into a state first.
    const ScriptFunctionEntry core[] = {
        {"RegistryProbeCoreAndLibrary", ProbeFirst},
        {"RegistryProbeCoreAndExtra", ProbeFirst},
        {"RegistryProbeCoreOnly", ProbeFirst},
    };
    const ScriptFunctionEntry libraryAfterCore[] = {
        {"RegistryProbeCoreAndLibrary", ProbeSecond},
    };
    RegisterScriptTable(ScriptTable::Library, library);
    RegisterScriptTable(ScriptTable::LibraryExtra, extra);
    RegisterScriptTable(ScriptTable::Core, core);
    RegisterScriptTable(ScriptTable::Library, libraryAfterCore);

    int probes = 0;
    for (const auto& entry : GetScriptTable(ScriptTable::Library))
        if (std::string(entry.name).rfind("RegistryProbe", 0) == 0) ++probes;
    EXPECT_EQ(probes, 3); // "RegistryProbeLibrary" once, replaced in place

    lua_State* L = luaL_newstate();
    RegisterScriptFunctions(L);
    auto call = [&](const char* name) {
        lua_getglobal(L, name);
        if (!lua_isfunction(L, -1)) {
            lua_pop(L, 1);
            return std::string("missing");
        }
        lua_call(L, 0, 1);
        std::string result = lua_tostring(L, -1);
        lua_pop(L, 1);
        return result;
    };
    const struct {
        const char* name;
        const char* result;
    } cases[] = {
        {"RegistryProbeShared", "third"},       {"RegistryProbeLibrary", "second"},
        {"RegistryProbeAfterEnd", "missing"},   {"RegistryProbeCoreAndLibrary", "second"},
        {"RegistryProbeCoreAndExtra", "third"}, {"RegistryProbeCoreOnly", "first"},
    };
    for (const auto& c : cases) EXPECT_EQ(call(c.name), c.result) << c.name;
    // The core's own functions open the first table.
    EXPECT_NE(call("ToInt"), "missing");
    EXPECT_EQ(std::string(GetScriptTable(ScriptTable::Core).front().name), "GetDeltaTime");
    lua_close(L);
}

} // namespace
