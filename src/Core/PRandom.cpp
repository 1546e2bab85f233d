#include "Core/PRandom.h"

#include <cstdint>

namespace {
std::uint32_t g_seed = 1;
}

int EngineRand() {
    // Unsigned arithmetic wraps at 32 bits by definition.
    g_seed = g_seed * 214013u + 2531011u;
    return static_cast<int>((g_seed >> 16) & 0x7FFFu);
}

void EngineSrand(unsigned seed) { g_seed = static_cast<std::uint32_t>(seed); }
