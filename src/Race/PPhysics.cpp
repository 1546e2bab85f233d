#include "Race/PPhysics.h"

namespace {
CPPhysics* g_physics = nullptr;
}

CPPhysics* GetPhysics() { return g_physics; }

CPPhysics::CPPhysics() { g_physics = this; }

CPPhysics::~CPPhysics() {
    if (g_physics == this) g_physics = nullptr;
}
