#include "Core/PScriptRegistry.h"

#include <array>
#include <cstring>

namespace {

using Table = std::vector<ScriptFunctionEntry>;

void Add(Table& table, const ScriptFunctionEntry& entry) {
    for (auto& existing : table) {
        if (std::strcmp(existing.name, entry.name) == 0) {
            existing.function = entry.function;
            return;
        }
    }
    table.push_back(entry);
}

void AddAll(Table& table, std::span<const ScriptFunctionEntry> entries) {
    for (const auto& entry : entries) {
        if (!entry.name) break;
        if (entry.function) Add(table, entry);
    }
}

std::array<Table, 3>& Tables() {
    static std::array<Table, 3> tables;
    return tables;
}

} // namespace

void RegisterScriptTable(ScriptTable table, std::span<const ScriptFunctionEntry> entries) {
    AddAll(Tables()[static_cast<size_t>(table)], entries);
}

std::vector<ScriptFunctionEntry> GetScriptTable(ScriptTable table) { return Tables()[static_cast<size_t>(table)]; }

void RegisterScriptFunctions(lua_State* L) {
    for (const Table& table : Tables())
        for (const auto& entry : table) lua_register(L, entry.name, entry.function);
}
