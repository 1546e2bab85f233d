#include "Weapons/PWeaponsSystem.h"

namespace {
CPWeaponsSystem* g_weapons = nullptr;
}

CPWeaponsSystem* GetWeaponsSystem() { return g_weapons; }

CPWeaponsSystem::CPWeaponsSystem() { g_weapons = this; }

CPWeaponsSystem::~CPWeaponsSystem() {
    if (g_weapons == this) g_weapons = nullptr;
}
