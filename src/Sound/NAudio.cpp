#include "Sound/NAudio.h"

#include <algorithm>

namespace {
CNAudio* g_audio = nullptr;
CNSoundCache* g_cache = nullptr;
}

CNAudio* GetSoundManager() { return g_audio; }
CNSoundCache* GetSoundCache() { return g_cache; }

CNAudio::CNAudio() { g_audio = this; }

CNAudio::~CNAudio() {
    if (g_audio == this) g_audio = nullptr;
}

void CNAudio::Init(void* /*mainWindow*/) {}

void CNAudio::SetListenerPosition(const float position[3], const float velocity[3]) {
    std::copy(position, position + 3, position_);
    std::copy(velocity, velocity + 3, velocity_);
}

void CNAudio::SetListenerOrientation(const float front[3], const float top[3]) {
    std::copy(front, front + 3, front_);
    std::copy(top, top + 3, top_);
}

CNSoundCache::CNSoundCache() { g_cache = this; }

CNSoundCache::~CNSoundCache() {
    if (g_cache == this) g_cache = nullptr;
}

void CNSoundCache::StopAll() {}
