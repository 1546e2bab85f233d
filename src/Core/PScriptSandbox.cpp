#include "Core/PScriptSandbox.h"

#include <cstdio>

#include <lua.hpp>

#include "Core/PLog.h"
#include "Core/PPath.h"

namespace {

// Answers a load the way the base library's loaders do: the function, or nil and the message.
int LoadResult(lua_State* L, int status) {
    if (status == 0) return 1;
    lua_pushnil(L);
    lua_insert(L, -2);
    return 2;
}

// loadstring (text [, chunk name]).
int LoadString(lua_State* L) {
    size_t size = 0;
    const char* text = luaL_checklstring(L, 1, &size);
    const char* chunkName = luaL_optstring(L, 2, text);
    return LoadResult(L, LoadScriptText(L, text, size, chunkName, "loadstring"));
}

// Calls the reader function (argument 1) until it gives nil or an empty string and answers the
// pieces joined. Runs protected, so a reader that fails makes load answer nil and the message.
int CollectPieces(lua_State* L) {
    lua_pushliteral(L, "");
    for (;;) {
        lua_pushvalue(L, 1);
        lua_call(L, 0, 1);
        if (lua_isnil(L, -1)) break;
        if (!lua_isstring(L, -1)) return luaL_error(L, "reader function must return a string");
        if (lua_objlen(L, -1) == 0) break;
        lua_concat(L, 2);
    }
    lua_pop(L, 1);
    return 1;
}

// load (reader function [, chunk name]).
int Load(lua_State* L) {
    luaL_checktype(L, 1, LUA_TFUNCTION);
    const char* chunkName = luaL_optstring(L, 2, "=(load)");
    lua_settop(L, 2);
    lua_pushcfunction(L, CollectPieces);
    lua_pushvalue(L, 1);
    if (lua_pcall(L, 1, 1, 0) != 0) return LoadResult(L, LUA_ERRRUN);
    size_t size = 0;
    const char* text = lua_tolstring(L, -1, &size);
    return LoadResult(L, LoadScriptText(L, text, size, chunkName, "load"));
}

// Reads a file (standard input without a name) whole and loads it as text. A first line that
// starts with "#" is skipped but still counts, so line numbers stay right.
int LoadFileText(lua_State* L, const char* fileName) {
    FILE* file = fileName ? OpenFileForRead(fileName) : stdin;
    if (!file) {
        lua_pushfstring(L, "cannot open %s", fileName);
        return LUA_ERRFILE;
    }
    luaL_Buffer buffer;
    luaL_buffinit(L, &buffer);
    size_t got = 0;
    do {
        char* into = luaL_prepbuffer(&buffer);
        got = std::fread(into, 1, LUAL_BUFFERSIZE, file);
        luaL_addsize(&buffer, got);
    } while (got == LUAL_BUFFERSIZE);
    const bool failed = std::ferror(file) != 0;
    if (file != stdin) std::fclose(file);
    luaL_pushresult(&buffer);
    if (failed) {
        lua_pop(L, 1);
        lua_pushfstring(L, "cannot read %s", fileName ? fileName : "stdin");
        return LUA_ERRFILE;
    }

    size_t size = 0;
    const char* text = lua_tolstring(L, -1, &size);
    size_t skip = 0;
    if (size > 0 && text[0] == '#')
        while (skip < size && text[skip] != '\n') ++skip;
    if (fileName) lua_pushfstring(L, "@%s", fileName);
    else lua_pushliteral(L, "=stdin");
    const char* chunkName = lua_tostring(L, -1);
    const int status = LoadScriptText(L, text + skip, size - skip, chunkName, fileName ? fileName : "stdin");
    // Keep only the chunk or the message.
    lua_replace(L, -3);
    lua_pop(L, 1);
    return status;
}

// loadfile ([file name]).
int LoadFile(lua_State* L) {
    const char* fileName = luaL_optstring(L, 1, nullptr);
    return LoadResult(L, LoadFileText(L, fileName));
}

// dofile ([file name]): loads as loadfile does and runs the chunk, answering what it returns.
int DoFile(lua_State* L) {
    const char* fileName = luaL_optstring(L, 1, nullptr);
    const int top = lua_gettop(L);
    if (LoadFileText(L, fileName) != 0) return lua_error(L);
    lua_call(L, 0, LUA_MULTRET);
    return lua_gettop(L) - top;
}

void RemoveField(lua_State* L, const char* table, const char* field) {
    lua_getglobal(L, table);
    if (lua_istable(L, -1)) {
        lua_pushnil(L);
        lua_setfield(L, -2, field);
    }
    lua_pop(L, 1);
}

} // namespace

bool IsBinaryChunk(const char* data, size_t size) { return size > 0 && data[0] == LUA_SIGNATURE[0]; }

int LoadScriptText(lua_State* L, const char* data, size_t size, const char* chunkName, const char* label) {
    if (IsBinaryChunk(data, size)) {
        lua_pushfstring(L, "%s: binary chunks are refused", label);
        GetLog().Write(0, "\nScript Error!\n%s\n", lua_tostring(L, -1));
        return LUA_ERRSYNTAX;
    }
    return luaL_loadbuffer(L, data, size, chunkName);
}

void RestrictScriptLibraries(lua_State* L) {
    RemoveField(L, LUA_OSLIBNAME, "execute");
    RemoveField(L, LUA_OSLIBNAME, "exit");
    RemoveField(L, LUA_IOLIBNAME, "popen");
    lua_register(L, "load", Load);
    lua_register(L, "loadstring", LoadString);
    lua_register(L, "loadfile", LoadFile);
    lua_register(L, "dofile", DoFile);
}
