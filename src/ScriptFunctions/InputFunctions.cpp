#include "ScriptFunctions/InputFunctions.h"

#include "Core/PGlobalTimer.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Input/NInput.h"

namespace {

// SetActions (enabled): while false, bound keys send no "key_action". The frame's time is dropped.
int SetActions(lua_State* L) {
    if (CNInput* input = GetInput()) input->actionsEnabled = ScriptArgBool(L, 1);
    FrameDelta = 0.0f;
    return 0;
}

// SetAssignKey: the next released key is reported to the interfaces as "key_assign".
int SetAssignKey(lua_State*) {
    if (CNInput* input = GetInput()) input->keyAssignMode = true;
    return 0;
}

// SetAction (title, key, flag): the action titled so takes the key (the flag has no effect).
int SetAction(lua_State* L) {
    if (CNInput* input = GetInput()) input->SetAction(ScriptArgString(L, 1), ScriptArgString(L, 2));
    return 0;
}

// GetActionNames -> count, keys, titles: the count of the action map, the tables by the action list.
int GetActionNames(lua_State* L) {
    CNInput* input = GetInput();
    if (!input) {
        lua_pushnumber(L, 0);
        lua_newtable(L);
        lua_newtable(L);
        return 3;
    }
    lua_pushnumber(L, static_cast<lua_Number>(input->GetActionMap().Size()));
    lua_newtable(L);
    lua_newtable(L);
    int i = 1;
    for (const std::string& action : input->GetActionList()) {
        const CNActionBinding* entry = input->GetActionMap().Find(action);
        lua_pushstring(L, entry ? entry->keyName.c_str() : "");
        lua_rawseti(L, -3, i);
        lua_pushstring(L, entry ? entry->text.c_str() : "");
        lua_rawseti(L, -2, i);
        ++i;
    }
    return 3;
}

int SaveActions(lua_State*) {
    if (CNInput* input = GetInput()) input->SaveActions("Actions.cfg");
    return 0;
}

int UpdateActions(lua_State*) {
    if (CNInput* input = GetInput()) {
        input->SaveActions("Actions.cfg");
        input->LoadActions("Actions.cfg");
    }
    return 0;
}

int LoadActions(lua_State* L) {
    if (CNInput* input = GetInput()) input->LoadActions(ScriptArgString(L, 1));
    return 0;
}

const ScriptFunctionEntry kInputFunctions[] = {
    {"SetActions", SetActions},         {"SetAssignKey", SetAssignKey}, {"SetAction", SetAction},
    {"GetActionNames", GetActionNames}, {"SaveActions", SaveActions},   {"UpdateActions", UpdateActions},
    {"LoadActions", LoadActions},
};

} // namespace

void RegisterInputScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kInputFunctions); }
