#pragma once
// Game scripts are data: they come from loose files and pack files, some written by whoever made a
// level. A script state keeps its libraries but not the calls that start programs or end the
// process (os.execute, io.popen, os.exit), and script code is only ever loaded from text: a
// precompiled chunk can break the interpreter's memory, and no game script needs one.
#include <cstddef>

struct lua_State;

// True when the bytes are a precompiled chunk (they start with the interpreter's signature byte).
bool IsBinaryChunk(const char* data, size_t size);

// Loads text as a chunk onto the stack, as luaL_loadbuffer does; a precompiled chunk is refused
// with an error message on the stack and a line in the log. `label` names the source in that line.
int LoadScriptText(lua_State* L, const char* data, size_t size, const char* chunkName, const char* label);

// Removes the calls that reach outside the game and replaces every loader that scripts can call
// (load, loadstring, loadfile, dofile) with one that takes text only. Runs after the libraries
// are open, inside the protected call that builds the state.
void RestrictScriptLibraries(lua_State* L);
