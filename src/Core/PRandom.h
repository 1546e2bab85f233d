#pragma once
// The engine's own rand/srand: the classic 15-bit linear congruential generator, so every random
// draw (rand() / 32767, rand() % 360, ...) sees the same range and sequence on every platform.
// One process-wide state; the engine runs on one thread.

inline constexpr int ENGINE_RAND_MAX = 32767;

// Next value in 0..ENGINE_RAND_MAX.
int EngineRand();

// Restarts the sequence; the state before any call is as if seeded with 1.
void EngineSrand(unsigned seed);
