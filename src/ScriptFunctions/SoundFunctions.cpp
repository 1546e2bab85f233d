#include "ScriptFunctions/SoundFunctions.h"

#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "ScriptFunctions/ScriptArgs.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"

namespace {

// The named sound, or none (an unknown name leaves an empty entry in the table).
CPRefPtr<CNSound> NamedSound(const char* name) {
    CNAudio* audio = GetSoundManager();
    return audio ? audio->GetSound(name) : CPRefPtr<CNSound>();
}

// A boolean argument that counts only when it is a boolean.
bool StrictBool(lua_State* L, int idx) { return lua_type(L, idx) == LUA_TBOOLEAN && lua_toboolean(L, idx); }

void ReadVector(lua_State* L, int first, float out[3]) {
    for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(ScriptArgNumber(L, first + i));
}

// PlaySpecialSound (sound): a playing sound is stopped and rewound, then it plays once.
int PlaySpecialSound(lua_State* L) {
    CPRefPtr<CNSound> sound = NamedSound(luaL_checkstring(L, 1));
    if (!sound) return 0;
    if (sound->IsPlaying()) {
        sound->Stop();
        sound->Rewind();
    }
    sound->Play(0, 0);
    return 0;
}

// PlaySpecialSound2 (sound): plays it once, as it is.
int PlaySpecialSound2(lua_State* L) {
    if (CPRefPtr<CNSound> sound = NamedSound(luaL_checkstring(L, 1))) sound->Play(0, 0);
    return 0;
}

// PlaySpecialSound3D (sound, x, y, z, [loop], [keepPlaying]) -> started.
int PlaySpecialSound3D(lua_State* L) {
    CPRefPtr<CNSound> sound = NamedSound(luaL_checkstring(L, 1));
    const bool loop = StrictBool(L, 5), keepPlaying = StrictBool(L, 6);
    if (sound) {
        float position[3];
        const float zero[3] = {0, 0, 0};
        ReadVector(L, 2, position);
        if (ScriptArgsFinite("PlaySpecialSound3D", {position[0], position[1], position[2]}))
            GetSoundManager()->SetSoundPosition(sound.Get(), position, zero);
        if (sound->IsPlaying()) {
            if (keepPlaying) {
                lua_pushboolean(L, 0);
                return 1;
            }
            sound->Stop();
            sound->Rewind();
        }
        sound->Play(0, loop ? 1 : 0);
    }
    lua_pushboolean(L, 1);
    return 1;
}

int StopSpecialSound(lua_State* L) {
    if (CPRefPtr<CNSound> sound = NamedSound(luaL_checkstring(L, 1))) sound->Stop();
    return 0;
}

int IsSpecialSoundPlaying(lua_State* L) {
    CPRefPtr<CNSound> sound = NamedSound(luaL_checkstring(L, 1));
    lua_pushboolean(L, sound && sound->IsPlaying());
    return 1;
}

// UpdateSoundPosition (sound, x, y, z, [vx, vy, vz]): the velocity counts only when all three are
// numbers. An unknown sound is left alone.
int UpdateSoundPosition(lua_State* L) {
    CPRefPtr<CNSound> sound = NamedSound(ScriptArgString(L, 1));
    if (!sound) return 0;
    float position[3], velocity[3] = {0, 0, 0};
    ReadVector(L, 2, position);
    if (lua_isnumber(L, 5) && lua_isnumber(L, 6) && lua_isnumber(L, 7)) ReadVector(L, 5, velocity);
    if (ScriptArgsFinite("UpdateSoundPosition",
                         {position[0], position[1], position[2], velocity[0], velocity[1], velocity[2]}))
        GetSoundManager()->SetSoundPosition(sound.Get(), position, velocity);
    return 0;
}

// StopSounds: the cache's sounds are stopped and rewound, then every live sound is stopped.
int StopSounds(lua_State*) {
    if (CNSoundCache* cache = GetSoundCache()) {
        for (CNSoundCache::Entry& entry : cache->GetList()) {
            if (!entry.sound) continue;
            entry.sound->Stop();
            entry.sound->Rewind();
        }
    }
    for (CNSound* sound : CNSound::LiveSounds()) sound->Stop();
    return 0;
}

int PlayMusicNoLoop(lua_State* L) {
    if (CPMusic* music = GetMusic()) {
        music->LoadTrack(ScriptArgString(L, 1), false);
        music->Start();
    }
    return 0;
}

int StopPlayingMusic(lua_State*) {
    if (CPMusic* music = GetMusic()) music->Stop();
    return 0;
}

int GetMusicName(lua_State* L) {
    CPMusic* music = GetMusic();
    lua_pushstring(L, music ? music->GetTrackName().c_str() : "");
    return 1;
}

// PlayMusic (name): the track loops; it starts at the music task's next turn.
int PlayMusic(lua_State* L) {
    if (CPMusic* music = GetMusic()) music->LoadTrack(ScriptArgString(L, 1), true);
    return 0;
}

const ScriptFunctionEntry kSoundFunctions[] = {
    {"PlaySpecialSound", PlaySpecialSound},
    {"PlaySpecialSound2", PlaySpecialSound2},
    {"PlaySpecialSound3D", PlaySpecialSound3D},
    {"StopSpecialSound", StopSpecialSound},
    {"IsSpecialSoundPlaying", IsSpecialSoundPlaying},
    {"UpdateSoundPosition", UpdateSoundPosition},
    {"StopSounds", StopSounds},
    {"PlayMusicNoLoop", PlayMusicNoLoop},
    {"StopPlayingMusic", StopPlayingMusic},
    {"GetMusicName", GetMusicName},
};

const ScriptFunctionEntry kMusicCoreFunctions[] = {
    {"PlayMusic", PlayMusic},
};

} // namespace

void RegisterSoundScriptFunctions() {
    RegisterScriptTable(ScriptTable::Library, kSoundFunctions);
    RegisterScriptTable(ScriptTable::Core, kMusicCoreFunctions);
}
