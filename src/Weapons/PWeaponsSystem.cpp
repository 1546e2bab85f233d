#include "Weapons/PWeaponsSystem.h"

CPWeaponsSystem::CPWeaponsSystem() = default;

CPWeaponsSystem::~CPWeaponsSystem() = default;
