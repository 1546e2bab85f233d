#include "ScriptFunctions/OptionsFunctions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "Core/PLog.h"
#include "Core/PPath.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/Shell.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"

namespace {

Platform::Shell* g_shell = nullptr;

float NumberArg(lua_State* L, int idx) { return static_cast<float>(ScriptArgNumber(L, idx)); }

int GetSoundVolume(lua_State* L) {
    lua_pushnumber(L, g_soundVolume);
    return 1;
}

// SetSoundVolume (volume): stored as given; the sounds take it on the curve's 0..1.
int SetSoundVolume(lua_State* L) {
    float volume = NumberArg(L, 1);
    g_soundVolume = volume;
    if (CNAudio* audio = GetSoundManager()) audio->SetSoundVolume(volume);
    return 0;
}

int GetMusicVolume(lua_State* L) {
    lua_pushnumber(L, g_musicVolume);
    return 1;
}

int SetMusicVolume(lua_State* L) {
    float volume = NumberArg(L, 1);
    g_musicVolume = volume;
    if (CNAudio* audio = GetSoundManager()) audio->SetMusicVolume(volume);
    else if (CPMusic* music = GetMusic()) music->SetVolume(volume);
    return 0;
}

int GetMouse(lua_State* L) {
    lua_pushnumber(L, g_mouse);
    return 1;
}

int SetMouse(lua_State* L) {
    g_mouse = NumberArg(L, 1);
    return 0;
}

int GetBrightness(lua_State* L) {
    lua_pushnumber(L, g_plane);
    return 1;
}

bool Readable(const char* path) {
    FILE* file = OpenFileForRead(path);
    if (!file) return false;
    std::fclose(file);
    return true;
}

int IsFileExists(lua_State* L) {
    lua_pushboolean(L, Readable(luaL_checkstring(L, 1)));
    return 1;
}

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

bool IsWebAddress(const std::string& url) {
    std::string scheme = url.substr(0, url.find(':'));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    return (scheme == "http" || scheme == "https") && url.compare(scheme.size(), 3, "://") == 0;
}

// Scripts come with levels from anyone, and the desktop's handler may run what it opens (a launcher
// entry, a shell script): only pages and shortcuts to web addresses are handed on.
bool IsPageForTheDesktop(const std::string& resolved) {
    const std::string ext = LowerExtension(resolved);
    if (ext == ".htm" || ext == ".html") return true;
    if (ext != ".url") return false;
    std::ifstream file(resolved, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    const auto url = Platform::ParseInternetShortcut(text.str());
    return url && IsWebAddress(*url);
}

// GoURL (path): a page or web shortcut that can be read is opened with the desktop's handler.
int GoURL(lua_State* L) {
    const char* path = luaL_checkstring(L, 1);
    if (!Readable(path) || !g_shell) return 0;
    const std::string resolved = ResolvePath(path);
    if (IsPageForTheDesktop(resolved)) g_shell->Open(resolved);
    else GetLog().Write(0, "GoURL: %s is not a page or a web shortcut; not opened\n", path);
    return 0;
}

int SaveLog(lua_State* L) {
    ScriptArgString(L, 1);
    return 0;
}

int DoNothing(lua_State*) { return 0; }

const ScriptFunctionEntry kOptionsFunctions[] = {
    {"GetSoundVolume", GetSoundVolume},
    {"SetSoundVolume", SetSoundVolume},
    {"GetMusicVolume", GetMusicVolume},
    {"SetMusicVolume", SetMusicVolume},
    {"GetMouse", GetMouse},
    {"SetMouse", SetMouse},
    {"GetBrightness", GetBrightness},
    {"IsFileExists", IsFileExists},
    {"GoURL", GoURL},
    {"SaveLog", SaveLog},
    {"SetDefaultCamera", DoNothing},
    {"SetBrightness", DoNothing},
    {"DumpAIInfo", DoNothing},
    {"PlayVideo", DoNothing},
    {"PlayVideoNoSound", DoNothing},
    {"PlayVideo1", DoNothing},
    {"StopVideo", DoNothing},
    {"StopVideo1", DoNothing},
};

} // namespace

void RegisterOptionsScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kOptionsFunctions); }

void SetScriptShell(Platform::Shell* shell) { g_shell = shell; }
