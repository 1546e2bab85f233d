#include "Particles/PParticlesManager.h"

CPParticlesManager::CPParticlesManager() = default;

CPParticlesManager::~CPParticlesManager() = default;
