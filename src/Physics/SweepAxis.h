#pragma once

#include "Physics/Pool.h"

#include <cstdint>

namespace Physics {

class Body;
class Broadphase;

enum EndpointKind : uint8_t {
    kEndpointMin = 0,
    kEndpointMax = 1,
};

// One end of a body's world-box interval on one axis. In the axis list, next points toward
// smaller values and prev toward larger ones (the largest value is the head).
struct Endpoint {
    uint8_t kind = kEndpointMin;
    float value = 0.0f;
    Body* body = nullptr;
    Endpoint* next = nullptr;
    Endpoint* prev = nullptr;
    uint8_t inUse = 0;
};

// The endpoints of one world axis, kept sorted by value with the largest at the head.
class SweepAxis {
public:
    bool Init(Broadphase* owner, SimulatorAllocator* allocator, int axisIndex, int endpointCount);
    void Release();

    // Re-sorts after the bodies wrote new values; optionally toggles overlap bits on every swap
    // of a minimum and a maximum of two bodies. Skipped while the list is known to be in order:
    // no value changed and no endpoint came or went since a sort that moved nothing.
    void Sort(bool toggle);
    // A body wrote a value that differs from the one its endpoint held.
    void MarkDirty() { dirty_ = true; }
    bool IsDirty() const { return dirty_; }
    // Takes endpoints for the body, computes its world box and places both in the list.
    bool InsertBody(Body* body, Body* hint);
    void RemoveBody(Body* body);

    Endpoint* Head() const { return list_.head; }
    int Index() const { return index_; }
    uint8_t Bit() const { return bit_; }

private:
    void PlaceFromHead(Endpoint* e, bool strict);
    void InsertBefore(Endpoint* e, Endpoint* before);
    void InsertAfter(Endpoint* e, Endpoint* after);

    Pool<Endpoint> pool_;
    IntrusiveList<Endpoint> list_;
    int index_ = 0;
    uint8_t bit_ = 1;
    bool dirty_ = true;
    Broadphase* broadphase_ = nullptr;
};

} // namespace Physics
