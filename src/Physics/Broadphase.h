#pragma once

#include "Physics/SweepAxis.h"
#include "Physics/TriangleTree.h"
#include "Physics/WorkArray.h"

#include <cstdint>

namespace Physics {

class Body;
class Simulator;

struct OverlapPair {
    Body* bodyA = nullptr;
    Body* bodyB = nullptr;
    OverlapPair* next = nullptr;
    OverlapPair* prev = nullptr;
    uint8_t inUse = 0;
};

// Per pair of body ids: one overlap bit per axis and the pair record while all three are set.
struct PairSlot {
    uint8_t bits = 0;
    OverlapPair* pair = nullptr;
};

struct BroadphaseEntry {
    Body* body = nullptr;
    BroadphaseEntry* next = nullptr;
    BroadphaseEntry* prev = nullptr;
    uint8_t inUse = 0;
};

struct PendingInsert {
    Body* body;
    Body* hint;
};

// Three-axis sweep and prune over the bodies' world boxes.
class Broadphase {
public:
    static constexpr int kAxisCount = 3;
    static constexpr uint8_t kAllAxes = 7;

    Broadphase() = default;
    Broadphase(const Broadphase&) = delete;
    Broadphase& operator=(const Broadphase&) = delete;
    ~Broadphase() { Teardown(); }

    bool Init(Simulator* simulator, uint8_t axisMask);
    void Teardown();

    bool Insert(Body* body, Body* hint);
    void Remove(Body* body);
    void Update();

    PairSlot* GetPairSlot(const Body* a, const Body* b);
    void ToggleAxis(Body* a, Body* b, uint8_t bit);

    // The pair list, oldest first; the collision drivers walk it.
    OverlapPair* FirstPair() const { return pairs_.head; }
    int PendingCount() const { return pending_.Size(); }
    int PairCount() const { return pairs_.count; }
    uint8_t AxisMask() const { return axisMask_; }
    SweepAxis& Axis(int i) { return axes_[i]; }
    TriangleTree& GetTriangleTree() { return triangleTree_; }

private:
    void AddEndpoints(Body* body, Body* hint);
    void TestNewPair(Body* a, Body* b);
    OverlapPair* MakePair(Body* a, Body* b);
    void DropPendingRecords(const Body* body);

    uint8_t axisMask_ = 0;
    Simulator* simulator_ = nullptr;
    SimulatorAllocator* allocator_ = nullptr;
    int rigidCount_ = 0;
    int animatedCount_ = 0;
    int bodyCount_ = 0; // rigid + animated
    int particleCount_ = 0;
    int pairCapacity_ = 0;
    PairSlot* table1_ = nullptr; // pairs of ids below bodyCount_
    PairSlot* table2_ = nullptr; // a body id below bodyCount_ with a particle id
    WorkArray<PendingInsert> pending_;
    Pool<BroadphaseEntry> entryPool_;
    IntrusiveList<BroadphaseEntry> entries_;
    Pool<OverlapPair> pairPool_;
    IntrusiveList<OverlapPair> pairs_;
    SweepAxis axes_[kAxisCount];
    TriangleTree triangleTree_;
};

} // namespace Physics
