#include "Physics/SimulatorAllocator.h"

#include <cstdlib>

namespace Physics {

void* MallocAllocator::Alloc(std::size_t size, int /*flags*/) {
    // malloc(0) may return null; the engine's empty pools still need a distinct block.
    return std::malloc(size == 0 ? 1 : size);
}

void MallocAllocator::Free(void* block) { std::free(block); }

MallocAllocator& MallocAllocator::Instance() {
    static MallocAllocator instance;
    return instance;
}

} // namespace Physics
