#include "Physics/Broadphase.h"

#include "Physics/RigidBody.h"
#include "Physics/Simulator.h"

#include <new>

namespace Physics {

namespace {

PairSlot* AllocSlots(SimulatorAllocator* allocator, long long count, bool& ok) {
    if (count <= 0) {
        return nullptr;
    }
    auto* slots = static_cast<PairSlot*>(allocator->Alloc(sizeof(PairSlot) * static_cast<std::size_t>(count), 0));
    if (slots == nullptr) {
        ok = false;
        return nullptr;
    }
    for (long long i = 0; i < count; ++i) {
        new (&slots[i]) PairSlot();
    }
    return slots;
}

} // namespace

bool Broadphase::Init(Simulator* simulator, uint8_t axisMask) {
    Teardown();
    simulator_ = simulator;
    allocator_ = simulator->GetAllocator();
    axisMask_ = axisMask;
    const SimulatorDesc& desc = simulator->GetDesc();
    rigidCount_ = desc.rigidBodiesCount > 0 ? desc.rigidBodiesCount : 0;
    animatedCount_ = desc.animatedBodiesCount > 0 ? desc.animatedBodiesCount : 0;
    bodyCount_ = rigidCount_ + animatedCount_;
    particleCount_ = desc.rigidParticleCount > 0 ? desc.rigidParticleCount : 0;
    pairCapacity_ = desc.overlapPairsCount > 0 ? desc.overlapPairsCount : 0;
    const int all = bodyCount_ + particleCount_;

    bool ok = true;
    table1_ = AllocSlots(allocator_, static_cast<long long>(bodyCount_) * (bodyCount_ - 1) / 2, ok);
    table2_ = AllocSlots(allocator_, static_cast<long long>(bodyCount_) * particleCount_, ok);
    ok = ok && pending_.Init(allocator_, all > 0 ? all : 1, all > 0 ? all : 1);
    ok = ok && entryPool_.Init(allocator_, all);
    ok = ok && pairPool_.Init(allocator_, pairCapacity_);
    for (int i = 0; i < kAxisCount && ok; ++i) {
        if ((axisMask_ & (1u << i)) != 0) {
            ok = axes_[i].Init(this, allocator_, i, 2 * all);
        }
    }
    return ok;
}

void Broadphase::Teardown() {
    triangleTree_.Clear();
    if (allocator_ != nullptr) {
        if (table1_ != nullptr) {
            allocator_->Free(table1_);
        }
        if (table2_ != nullptr) {
            allocator_->Free(table2_);
        }
    }
    table1_ = nullptr;
    table2_ = nullptr;
    pending_.Release();
    entryPool_.Release();
    entries_.Clear();
    pairPool_.Release();
    pairs_.Clear();
    for (SweepAxis& axis : axes_) {
        axis.Release();
    }
}

PairSlot* Broadphase::GetPairSlot(const Body* a, const Body* b) {
    const auto i = static_cast<uint32_t>(a->id);
    const auto j = static_cast<uint32_t>(b->id);
    const uint32_t lo = i < j ? i : j;
    const uint32_t hi = i < j ? j : i;
    const auto n = static_cast<uint32_t>(bodyCount_);
    const auto p = static_cast<uint32_t>(particleCount_);
    if (lo == hi) {
        return nullptr;
    }
    if (hi < n) {
        return &table1_[static_cast<std::size_t>(hi) * (hi - 1) / 2 + lo];
    }
    // Two particles never share a slot, and ids past every pool have none.
    if (lo >= n || hi >= n + p) {
        return nullptr;
    }
    return &table2_[static_cast<std::size_t>(lo) * p + (hi - n)];
}

OverlapPair* Broadphase::MakePair(Body* a, Body* b) {
    if (pairs_.count >= pairCapacity_) {
        simulator_->ReportMessage("Overlap Pair buffer full. Increase buffer size.\n");
        return nullptr;
    }
    OverlapPair* pair = pairPool_.Take();
    if (pair == nullptr) {
        return nullptr;
    }
    pair->bodyA = a;
    pair->bodyB = b;
    pairs_.Append(pair);
    return pair;
}

void Broadphase::ToggleAxis(Body* a, Body* b, uint8_t bit) {
    PairSlot* slot = GetPairSlot(a, b);
    if (slot == nullptr) {
        return;
    }
    if (slot->bits == kAllAxes) {
        slot->bits ^= bit;
        if (slot->pair != nullptr) {
            pairs_.Unlink(slot->pair);
            pairPool_.Return(slot->pair);
            slot->pair = nullptr;
        }
        return;
    }
    slot->bits ^= bit;
    if (slot->bits == kAllAxes && simulator_->GetCollisionGroups().Get(a->group, b->group) != 0) {
        slot->pair = MakePair(a, b);
    }
}

bool Broadphase::Insert(Body* body, Body* hint) {
    if (body->broadphaseEntry != nullptr) {
        return true;
    }
    BroadphaseEntry* entry = entryPool_.Take();
    if (entry == nullptr || !pending_.Append({body, hint})) {
        if (entry != nullptr) {
            entryPool_.Return(entry);
        }
        return true;
    }
    entry->body = body;
    entries_.Append(entry);
    body->broadphaseEntry = entry;
    body->broadphaseState = kBroadphaseQueued;
    return true;
}

void Broadphase::DropPendingRecords(const Body* body) {
    int kept = 0;
    for (int i = 0; i < pending_.Size(); ++i) {
        if (pending_[i].body == body) {
            continue;
        }
        // A removed body must not stay the search hint of another queued body.
        if (pending_[i].hint == body) {
            pending_[i].hint = nullptr;
        }
        pending_[kept++] = pending_[i];
    }
    pending_.Truncate(kept);
}

void Broadphase::Remove(Body* body) {
    if (body->broadphaseEntry == nullptr) {
        return;
    }
    if (body->broadphaseState == kBroadphaseQueued) {
        body->broadphaseState = kBroadphaseCancelled;
    }
    // Drop the queued record at once, so a slot freed and taken again before the next update
    // cannot be inserted twice.
    DropPendingRecords(body);
    for (int i = 0; i < kAxisCount; ++i) {
        if ((axisMask_ & (1u << i)) != 0) {
            axes_[i].RemoveBody(body);
        }
    }
    BroadphaseEntry* entry = body->broadphaseEntry;
    entries_.Unlink(entry);
    entry->body = nullptr;
    entryPool_.Return(entry);
    body->broadphaseEntry = nullptr;

    OverlapPair* pair = pairs_.head;
    while (pair != nullptr) {
        OverlapPair* following = pair->next;
        if (pair->bodyA == body || pair->bodyB == body) {
            pairs_.Unlink(pair);
            pairPool_.Return(pair);
        }
        pair = following;
    }
}

void Broadphase::AddEndpoints(Body* body, Body* hint) {
    for (int i = 0; i < kAxisCount; ++i) {
        if ((axisMask_ & (1u << i)) != 0) {
            axes_[i].InsertBody(body, hint);
        } else {
            body->minEndpoint[i] = nullptr;
            body->maxEndpoint[i] = nullptr;
        }
    }
}

static bool HasEndpoints(const Body* body) {
    for (int i = 0; i < Broadphase::kAxisCount; ++i) {
        if (body->minEndpoint[i] != nullptr) {
            return true;
        }
    }
    return false;
}

void Broadphase::TestNewPair(Body* a, Body* b) {
    PairSlot* slot = GetPairSlot(a, b);
    if (slot == nullptr) {
        return;
    }
    uint8_t bits = 0;
    for (int i = 0; i < kAxisCount; ++i) {
        const Endpoint* aMin = a->minEndpoint[i];
        const Endpoint* bMin = b->minEndpoint[i];
        if (aMin == nullptr || bMin == nullptr) {
            continue;
        }
        if (aMin->value < b->maxEndpoint[i]->value && bMin->value < a->maxEndpoint[i]->value) {
            bits |= static_cast<uint8_t>(1u << i);
        }
    }
    slot->bits = bits;
    if (bits != kAllAxes) {
        slot->pair = nullptr;
        return;
    }
    // RigidBody first: a plain rigid body always leads, a particle leads only over an animated body.
    const bool aFirst = (a->kind == kBodyRigid && !a->IsParticle()) || (a->IsParticle() && b->kind == kBodyAnimated);
    slot->pair = aFirst ? MakePair(a, b) : MakePair(b, a);
}

void Broadphase::Update() {
    for (int i = 0; i < kAxisCount; ++i) {
        if ((axisMask_ & (1u << i)) != 0) {
            axes_[i].Sort(true);
        }
    }
    for (int r = 0; r < pending_.Size(); ++r) {
        Body* body = pending_[r].body;
        if (body->broadphaseState == kBroadphaseCancelled || !body->IsInUse() || body->broadphaseEntry == nullptr ||
            HasEndpoints(body)) {
            continue;
        }
        body->broadphaseState = kBroadphaseIdle;
        AddEndpoints(body, pending_[r].hint);
        for (BroadphaseEntry* e = entries_.head; e != nullptr; e = e->next) {
            Body* other = e->body;
            if (other == body || !HasEndpoints(other) || (body->IsParticle() && other->IsParticle())) {
                continue;
            }
            TestNewPair(body, other);
        }
    }
    pending_.Clear();
}

} // namespace Physics
