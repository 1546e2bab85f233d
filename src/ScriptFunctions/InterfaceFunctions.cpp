// Script functions for the menu and HUD screens: creating, showing and drawing interfaces, their
// windows, texts, edit boxes and cursor, the focus, and the race HUD. An interface argument that is
// not a live CPInterface reads as nil; a missing name reads as "".
//
// A bad argument raises a Lua error, which unwinds with longjmp: every checked argument is read
// before the first C++ object with a destructor in each function.
#include "ScriptFunctions/InterfaceFunctions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Core/PFileReader.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Interface/PFontManager.h"
#include "Interface/PHud.h"
#include "Interface/PInterface.h"
#include "Platform/ImageDecoder.h"
#include "Race/CarParts.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Render/PRender.h"
#include "ScriptFunctions/ObjectFunctions.h"

namespace {

constexpr int kInterfacePriority = 450;

int32_t ToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

CPInterface* Interface(lua_State* L) { return ScriptArgObject<CPInterface>(L, 1); }
float Float(lua_State* L, int i) { return static_cast<float>(ScriptArgNumber(L, i)); }

void SetTextOf(CPInterface* i, const std::string& name, const std::string* font, const std::string& text) {
    CPInterfaceText* record = i ? i->FindText(name) : nullptr;
    CPFontManager* fonts = GetFontManager();
    if (!record || !fonts) return;
    fonts->SetText(record->object.Get(), record->x, record->y, font ? *font : record->font, text);
}

std::string StringOf(const std::string& key) {
    CPGameData* data = GetGameData();
    return data ? data->strings[key] : std::string();
}

int CreateInterface(lua_State* L) {
    const std::string name = ScriptArgString(L, 1);
    const int layer = ToInt32(ScriptArgNumber(L, 2));
    CPInterface* i = new CPInterface;
    i->AddRef(); // the script's reference
    i->Load(name, layer);
    PushObject(L, i);
    return 1;
}

int ActivateInterface(lua_State* L) {
    if (CPInterface* i = Interface(L)) i->Activate(kInterfacePriority);
    return 0;
}

int SilentActivateInterface(lua_State* L) {
    if (CPInterface* i = Interface(L)) i->SilentActivate(kInterfacePriority);
    return 0;
}

int UpdateInterface(lua_State* L) {
    if (CPInterface* i = Interface(L)) i->Draw();
    return 0;
}

int UpdateInterfaceBuffers(lua_State* L) {
    if (CPInterface* i = Interface(L)) i->UpdateBuffers();
    return 0;
}

int InitWarning(lua_State* L) {
    if (CPRender* render = GetRender()) render->DrawLoadingScreen(ToInt32(ScriptArgNumber(L, 1)));
    return 0;
}

int GetTextureSize(lua_State* L) {
    const char* path = luaL_checkstring(L, 1);
    int width = 0, height = 0;
    {
        CPFileReader file(path);
        Platform::Image image;
        if (SUCCEEDED(file.Load()) && Platform::DecodeImage(file.GetData(), file.GetLength(), image))
            width = image.width, height = image.height;
    }
    lua_pushnumber(L, width);
    lua_pushnumber(L, height);
    return 2;
}

int SetWindowVisible(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPWindow* w = i ? i->FindElement(ScriptArgString(L, 2)) : nullptr) w->SetVisible(ScriptArgBool(L, 3));
    return 0;
}

int IsWindowVisible(lua_State* L) {
    CPInterface* i = Interface(L);
    CPWindow* w = i ? i->FindElement(ScriptArgString(L, 2)) : nullptr;
    lua_pushboolean(L, w && w->IsVisible());
    return 1;
}

int SetWindowActive(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPWindow* w = i ? i->FindElement(ScriptArgString(L, 2)) : nullptr) w->SetEnabled(ScriptArgBool(L, 3));
    return 0;
}

int SetWindowPosition(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPWindow* w = i ? i->FindElement(ScriptArgString(L, 2)) : nullptr) w->SetPosition(Float(L, 3), Float(L, 4));
    return 0;
}

int SetWindowPositionShop(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPWindow* w = i ? i->FindElement(ScriptArgString(L, 2)) : nullptr)
        w->SetPosition(Float(L, 3) - 0.5f, Float(L, 4) - 0.5f);
    return 0;
}

int SetWindowSize(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPWindow* w = i ? i->FindElement(ScriptArgString(L, 2)) : nullptr) w->SetSize(Float(L, 3), Float(L, 4));
    return 0;
}

int GetWindowPosition(lua_State* L) {
    CPInterface* i = Interface(L);
    CPWindow* w = i ? i->FindElement(ScriptArgString(L, 2)) : nullptr;
    lua_pushnumber(L, w ? w->GetX() : -1);
    lua_pushnumber(L, w ? w->GetY() : -1);
    return 2;
}

int SetTextPosition(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPInterfaceText* t = i ? i->FindText(ScriptArgString(L, 2)) : nullptr) t->x = Float(L, 3), t->y = Float(L, 4);
    return 0;
}

int SetText(lua_State* L) {
    SetTextOf(Interface(L), ScriptArgString(L, 2), nullptr, ScriptArgString(L, 3));
    return 0;
}

int SetTextString(lua_State* L) {
    CPInterface* i = Interface(L);
    if (i) SetTextOf(i, ScriptArgString(L, 2), nullptr, StringOf(ScriptArgString(L, 3)));
    return 0;
}

int SetFont(lua_State* L) {
    const std::string font = ScriptArgString(L, 3);
    SetTextOf(Interface(L), ScriptArgString(L, 2), &font, ScriptArgString(L, 4));
    return 0;
}

int SetFontString(lua_State* L) {
    CPInterface* i = Interface(L);
    const std::string font = ScriptArgString(L, 3);
    if (i) SetTextOf(i, ScriptArgString(L, 2), &font, StringOf(ScriptArgString(L, 4)));
    return 0;
}

int SetEditBoxText(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPEditBox* box = i ? i->FindEditBox(ScriptArgString(L, 2)) : nullptr) {
        std::string text = ScriptArgString(L, 3);
        const int max = box->GetMaxLength() > 0 ? box->GetMaxLength() : 0;
        if (static_cast<int>(text.size()) > max) text.resize(max);
        box->SetText(text);
    }
    return 0;
}

int EditBoxProcessKey(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPEditBox* box = i ? i->FindEditBox(ScriptArgString(L, 2)) : nullptr) {
        std::string text = box->GetText();
        if (EditBoxKey(text, box->GetMaxLength(), ToInt32(ScriptArgNumber(L, 3)))) box->SetText(text);
    }
    return 0;
}

int EditBoxTextLength(lua_State* L) {
    CPInterface* i = Interface(L);
    if (!i) return 0;
    CPEditBox* box = i->FindEditBox(ScriptArgString(L, 2));
    lua_pushnumber(L, box ? static_cast<double>(box->GetText().size()) : 0);
    return 1;
}

int GetEditBoxText(lua_State* L) {
    CPInterface* i = Interface(L);
    if (!i) return 0;
    CPEditBox* box = i->FindEditBox(ScriptArgString(L, 2));
    if (box) lua_pushlstring(L, box->GetText().data(), box->GetText().size());
    else lua_pushstring(L, "");
    return 1;
}

int SetCursor(lua_State* L) {
    const char* name = luaL_checkstring(L, 2);
    if (CPInterface* i = Interface(L)) i->SetCursor(name);
    return 0;
}

int GetCursor(lua_State* L) {
    CPInterface* i = Interface(L);
    lua_pushstring(L, i ? i->GetCursorName().c_str() : "");
    return 1;
}

// By the button list, not by name: a later element may carry a button's name.
int DeselectCurrentButton(lua_State* L) {
    CPInterface* i = Interface(L);
    if (!i || !i->IsButton(i->GetHovered())) return 0;
    i->GetHovered()->Out(0, 0);
    i->ClearHovered();
    return 0;
}

int IMenuRight(lua_State*) {
    InterfacesFocusNext();
    return 0;
}

int IMenuLeft(lua_State*) {
    InterfacesFocusPrev();
    return 0;
}

int UpdateScore(lua_State* L) {
    CPInterface* i = Interface(L);
    if (!i) return 0;
    char text[32];
    std::snprintf(text, sizeof text, "%05d", ToInt32(ScriptArgNumber(L, 2)));
    SetTextOf(i, "score", nullptr, text);
    return 0;
}

// The level's countdown, the player car's engine temperature (0 without a car) and the kills.
int UpdateTime(lua_State* L) {
    CPInterface* i = Interface(L);
    const CPLevel* level = GetLevel();
    if (!i || !level) return 0;
    const CPPlayer* car = level->GetPlayerCar();
    const CPGameData* data = GetGameData();
    ApplyHudTime(*i, level->GetCountdown(), car ? car->engineTemperature : 0.0f, data ? data->killCount : 0);
    return 0;
}

int InitGameInterface(lua_State* L) {
    CPInterface* i = Interface(L);
    CPGameData* data = GetGameData();
    if (i && data) ShowEquipment(*i, data->raceConfiguration);
    return 0;
}

// The player's and the rival's share of the way from the start x to the finish.
int UpdateGameInterface(lua_State* L) {
    CPInterface* i = Interface(L);
    const CPLevel* level = GetLevel();
    const CPPlayer* car = level ? level->GetPlayerCar() : nullptr;
    if (!i || !car) return 0;
    const float start = level->GetStartX(), distance = level->GetDistanceToFinish();
    ApplyProgressMarkers(*i, ProgressShare(car->GetPosition().x, start, distance),
                         ProgressShare(level->GetRivalProgressX(), start, distance));
    return 0;
}

// The six cars' script keys, lowest standing first; a car key with no record gets a fresh one (-1).
int SetPlayersPanel(lua_State* L) {
    CPLevel* level = GetLevel();
    CPGameData* data = GetGameData();
    if (!level || !data) return 0;
    static const char* const kOrder[] = {"coupe_t", "scout_4x4", "sedan_z", "crossover_t", "saloon_i7", "hauler"};
    // 64-bit: counters read from a save must not overflow the product.
    std::vector<std::pair<int64_t, const char*>> values;
    for (const char* scriptKey : kOrder) {
        const std::string carKey = CarKeyOfScriptKey(scriptKey);
        int64_t value;
        if (carKey == level->GetCarKey()) {
            value = int64_t{data->GetStandings()} * data->GetCurrentRound();
        } else {
            const CPStandings& record = data->standingsMap[carKey];
            value = int64_t{record.roundCount} * record.standings;
        }
        values.emplace_back(value, scriptKey);
    }
    std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    lua_createtable(L, static_cast<int>(values.size()), 0);
    for (size_t i = 0; i < values.size(); ++i) {
        lua_pushstring(L, values[i].second);
        lua_rawseti(L, -2, static_cast<int>(i + 1));
    }
    return 1;
}

// Where the health bar over a car goes on the screen, seen from the race camera.
int GetHelthBarCoord(lua_State* L) {
    const CPPlayer* car = ScriptArgObject<CPPlayer>(L, 1);
    const CPLevel* level = GetLevel();
    if (!level) return 0;
    const CPCamera* race = level->GetCamera();
    const CPPerspectiveCamera* camera = race ? race->GetMainCamera() : nullptr;
    HealthBarPlacement placed;
    if (car && camera) placed = PlaceHealthBar(*camera, car->GetPosition(), car->GetOwnBox(), car->damage);
    lua_pushnumber(L, placed.x);
    lua_pushnumber(L, placed.y);
    lua_pushnumber(L, placed.length);
    return 3;
}

int LockButton(lua_State* L) {
    CPInterface* i = Interface(L);
    CPButton* b = i ? i->FindButton(ScriptArgString(L, 2)) : nullptr;
    if (!b) return 0;
    b->SetEnabled(false);
    if (i->GetHovered() == b) {
        b->Out(0, 0);
        i->ClearHovered();
    }
    return 0;
}

int UnlockButton(lua_State* L) {
    CPInterface* i = Interface(L);
    if (CPButton* b = i ? i->FindButton(ScriptArgString(L, 2)) : nullptr) b->SetEnabled(true);
    return 0;
}

const ScriptFunctionEntry kCoreFunctions[] = {
    {"LockButton", LockButton},
    {"UnlockButton", UnlockButton},
};

const ScriptFunctionEntry kLibraryFunctions[] = {
    {"CreateInterface", CreateInterface},
    {"ActivateInterface", ActivateInterface},
    {"SilentActivateInterface", SilentActivateInterface},
    {"DeactivateInterface", DeactivateObjectFunction},
    {"UpdateInterface", UpdateInterface},
    {"UpdateInterfaceBuffers", UpdateInterfaceBuffers},
    {"InitWarning", InitWarning},
    {"GetTextureSize", GetTextureSize},
    {"SetWindowVisible", SetWindowVisible},
    {"IsWindowVisible", IsWindowVisible},
    {"SetWindowActive", SetWindowActive},
    {"SetWindowPosition", SetWindowPosition},
    {"SetWindowPositionShop", SetWindowPositionShop},
    {"SetWindowSize", SetWindowSize},
    {"SetTextPosition", SetTextPosition},
    {"SetText", SetText},
    {"SetTextString", SetTextString},
    {"SetFont", SetFont},
    {"SetFontString", SetFontString},
    {"SetEditBoxText", SetEditBoxText},
    {"EditBoxProcessKey", EditBoxProcessKey},
    {"EditBoxTextLength", EditBoxTextLength},
    {"GetEditBoxText", GetEditBoxText},
    {"GetCursor", GetCursor},
    {"DeselectCurrentButton", DeselectCurrentButton},
    {"IMenuRight", IMenuRight},
    {"IMenuLeft", IMenuLeft},
    {"UpdateScore", UpdateScore},
    {"UpdateTime", UpdateTime},
    {"InitGameInterface", InitGameInterface},
    {"UpdateGameInterface", UpdateGameInterface},
    {"SetPlayersPanel", SetPlayersPanel},
    {"GetHelthBarCoord", GetHelthBarCoord},
};

// These two stand in the second library table, whose functions are the ones a script gets.
const ScriptFunctionEntry kLibraryExtraFunctions[] = {
    {"SetCursor", SetCursor},
    {"GetWindowPosition", GetWindowPosition},
};

} // namespace

void RegisterInterfaceScriptFunctions() {
    RegisterScriptTable(ScriptTable::Core, kCoreFunctions);
    RegisterScriptTable(ScriptTable::Library, kLibraryFunctions);
    RegisterScriptTable(ScriptTable::LibraryExtra, kLibraryExtraFunctions);
}
