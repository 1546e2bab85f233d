#include "Sound/PMusic.h"

namespace {
CPMusic* g_music = nullptr;
}

CPMusic* GetMusic() { return g_music; }

CPMusic::CPMusic() { g_music = this; }

CPMusic::~CPMusic() {
    if (g_music == this) g_music = nullptr;
}
