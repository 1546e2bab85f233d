#include "Core/PLuaScript.h"

#include <cmath>

#include <lua.hpp>

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PScriptRegistry.h"
#include "Core/PScriptSandbox.h"

namespace {

int Panic(lua_State* L) {
    const char* message = lua_tostring(L, -1);
    GetLog().Write(0, "\nScript Error!\n%s\n", message ? message : "");
    return 0;
}

// The global "Update": hands control back to the engine until the next turn.
int UpdateYield(lua_State* L) {
    lua_pushnumber(L, CPLuaScript::kUpdateYield);
    return lua_yield(L, 1);
}

// Everything that builds the state runs in one protected call, so that running out of memory while
// opening a library or registering a function fails the script instead of ending the process.
int BuildState(lua_State* L) {
    static const luaL_Reg kLibraries[] = {
        {"", luaopen_base}, // includes the coroutine library
        {LUA_IOLIBNAME, luaopen_io},
        {LUA_OSLIBNAME, luaopen_os},
        {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math},
        {LUA_TABLIBNAME, luaopen_table},
    };
    // Through lua_call: the io library needs the environment a called C function gets.
    for (const luaL_Reg& lib : kLibraries) {
        lua_pushcfunction(L, lib.func);
        lua_pushstring(L, lib.name);
        lua_call(L, 1, 0);
    }
    RestrictScriptLibraries(L);
    lua_register(L, "Update", UpdateYield);
    RegisterScriptFunctions(L);
    return 0;
}

bool IsUpdateYield(lua_State* thread) {
    if (lua_gettop(thread) < 1 || lua_type(thread, 1) != LUA_TNUMBER) return false;
    const double value = std::trunc(lua_tonumber(thread, 1));
    return value == CPLuaScript::kUpdateYield;
}

} // namespace

CPLuaScript::CPLuaScript() = default;

CPLuaScript::~CPLuaScript() { CloseState(); }

void CPLuaScript::CloseState() {
    if (!state_) return;
    lua_close(state_);
    state_ = nullptr;
    thread_ = nullptr;
    threadRef_ = -1;
    threadEnded_ = false;
}

HRESULT CPLuaScript::Load(const std::string& name) {
    name_ = name;
    typeName_ = "CPLuaScript-" + name_;

    CPFileReader reader("Data\\Scripts\\" + name_ + ".lua");
    if (FAILED(reader.Load())) return E_FAIL;
    source_.assign(reader.GetData(), reader.GetData() + reader.GetLength());
    CloseState();

    // Compile once in a throwaway state; its error message is read and dropped. A precompiled
    // chunk is never handed to the interpreter, not even here.
    const char* bytes = reinterpret_cast<const char*>(source_.data());
    if (lua_State* check = IsBinaryChunk(bytes, source_.size()) ? nullptr : luaL_newstate()) {
        if (luaL_loadbuffer(check, bytes, source_.size(), name_.c_str()) != 0) (void)lua_tostring(check, -1);
        lua_close(check);
    }

    InitState();
    if (!thread_) return S_OK; // no state could be built; the script does nothing

    const int status = LoadScriptText(thread_, bytes, source_.size(), name_.c_str(), name_.c_str());
    if (status != 0) {
        // The chunk does not compile, or is precompiled: the script fails at its first resume. The
        // message names the script (and for a syntax error the line); a refusal is logged already.
        const char* message = lua_tostring(thread_, -1);
        if (!IsBinaryChunk(bytes, source_.size())) GetLog().Write(0, "\nScript Error!\n%s\n", message ? message : "");
        lua_settop(thread_, 0);
        threadEnded_ = true;
        return S_OK;
    }
    lua_pushlightuserdata(state_, static_cast<CPManagedObject*>(this));
    lua_setglobal(state_, "globalObject");
    return S_OK;
}

void CPLuaScript::InitState() {
    CloseState();
    state_ = luaL_newstate();
    if (!state_) return;
    lua_atpanic(state_, Panic);
    if (lua_cpcall(state_, BuildState, nullptr) != 0) {
        GetLog().Write(0, "\nScript Error!\n%s\n", lua_tostring(state_, -1) ? lua_tostring(state_, -1) : "");
        lua_close(state_);
        state_ = nullptr;
        return;
    }
    thread_ = lua_newthread(state_);
    threadRef_ = luaL_ref(state_, LUA_REGISTRYINDEX);
}

bool CPLuaScript::Start() {
    if (running_) return false;
    done_ = false;
    killed_ = false;
    running_ = true;
    return true;
}

void CPLuaScript::Update() {
    if (done_ || !thread_ || resuming_) return;

    // Before its first resume the coroutine holds exactly its chunk; a yielded one can continue.
    const bool resumable = lua_status(thread_) == LUA_YIELD || (lua_gettop(thread_) == 1 && lua_isfunction(thread_, 1));
    if (threadEnded_ || !resumable) {
        // A coroutine that finished, died or never compiled cannot be resumed.
        done_ = true;
        killed_ = true;
        return;
    }

    resuming_ = true;
    const int status = lua_resume(thread_, 0);
    resuming_ = false;

    if (status == LUA_YIELD || status == 0) {
        done_ = !(status == LUA_YIELD && IsUpdateYield(thread_));
        if (status == 0) threadEnded_ = true;
    } else {
        // The error value is on top of the stack; a text message kills the script (and tells the
        // log which script, where and why).
        if (lua_isstring(thread_, -1)) {
            GetLog().Write(0, "\nScript Error!\n%s\n", lua_tostring(thread_, -1));
            killed_ = true;
        }
        done_ = true;
        threadEnded_ = true;
    }
    // The yielded or returned values are not passed anywhere; dropping them keeps the stack small.
    lua_settop(thread_, 0);
}

void CPLuaScript::ReleaseAll() {
    PushCommand(CPCommand("release_all", {}));
    if (thread_) Update();
}

void CPLuaScript::PushCommand(CPCommand command) { queue_.push_front(std::move(command)); }

bool CPLuaScript::SetNextCommand() {
    if (queue_.empty()) return false;
    if (hasCurrent_) {
        queue_.pop_back();
        hasCurrent_ = false;
    }
    if (queue_.empty()) return false;
    hasCurrent_ = true;
    return true;
}

const CPCommand* CPLuaScript::GetCurrentCommand() const { return hasCurrent_ ? &queue_.back() : nullptr; }
