#pragma once

#include <cstddef>

namespace Physics {

// Where the engine's pools, broadphase tables and work arrays get their memory.
class SimulatorAllocator {
public:
    virtual ~SimulatorAllocator() = default;
    virtual void* Alloc(std::size_t size, int flags) = 0;
    virtual void Free(void* block) = 0;
};

// The allocator used when the caller hands none: plain malloc and free.
class MallocAllocator final : public SimulatorAllocator {
public:
    void* Alloc(std::size_t size, int flags) override;
    void Free(void* block) override;

    static MallocAllocator& Instance();
};

} // namespace Physics
