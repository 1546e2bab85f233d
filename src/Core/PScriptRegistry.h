#pragma once
// The native functions every script state gets as globals. There are three tables, registered in
// this order: the core's object and command functions, then the script library's main table, then
// its second table. A name registered later replaces an earlier one, across tables and within one.
//
// A group of script functions (src/ScriptFunctions) adds its entries with RegisterScriptTable from
// its own registration function; the application calls them all once at start-up, before any script
// is loaded, the command group first so that it opens the core table.
#include <cstddef>
#include <span>
#include <vector>

#include <lua.hpp>

struct ScriptFunctionEntry {
    const char* name;
    lua_CFunction function;
};

enum class ScriptTable { Core = 0, Library = 1, LibraryExtra = 2 };

// Appends the entries to the table (an entry with a null name ends the list early). An entry whose
// name the table holds already replaces that entry in place.
void RegisterScriptTable(ScriptTable table, std::span<const ScriptFunctionEntry> entries);

// The entries of one table in registration order.
std::vector<ScriptFunctionEntry> GetScriptTable(ScriptTable table);

// Sets every entry of the three tables as a global of the state, in order.
void RegisterScriptFunctions(lua_State* L);
