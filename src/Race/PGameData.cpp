#include "Race/PGameData.h"

namespace {
CPGameData* g_gameData = nullptr;
}

CPGameData* GetGameData() { return g_gameData; }

CPGameData::CPGameData() { g_gameData = this; }

CPGameData::~CPGameData() {
    if (g_gameData == this) g_gameData = nullptr;
}
