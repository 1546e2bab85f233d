#include "Particles/PParticlesManager.h"

namespace {
CPParticlesManager* g_particles = nullptr;
}

CPParticlesManager* GetParticlesManager() { return g_particles; }

CPParticlesManager::CPParticlesManager() { g_particles = this; }

CPParticlesManager::~CPParticlesManager() {
    if (g_particles == this) g_particles = nullptr;
}
