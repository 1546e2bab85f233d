#include "Physics/SweepAxis.h"

#include "Physics/Body.h"
#include "Physics/Broadphase.h"

namespace Physics {

bool SweepAxis::Init(Broadphase* owner, SimulatorAllocator* allocator, int axisIndex, int endpointCount) {
    broadphase_ = owner;
    index_ = axisIndex;
    bit_ = static_cast<uint8_t>(1u << axisIndex);
    list_.Clear();
    dirty_ = true;
    return pool_.Init(allocator, endpointCount);
}

void SweepAxis::Release() {
    pool_.Release();
    list_.Clear();
}

void SweepAxis::InsertBefore(Endpoint* e, Endpoint* before) {
    if (before == nullptr) {
        list_.Append(e);
        return;
    }
    e->next = before;
    e->prev = before->prev;
    if (before->prev != nullptr) {
        before->prev->next = e;
    } else {
        list_.head = e;
    }
    before->prev = e;
    ++list_.count;
}

void SweepAxis::InsertAfter(Endpoint* e, Endpoint* after) {
    if (after == nullptr) {
        InsertBefore(e, list_.head);
        return;
    }
    InsertBefore(e, after->next);
}

void SweepAxis::Sort(bool toggle) {
    // A sort that placed every endpoint straight at the head left the list as it found it and
    // toggled nothing; with the same values it would do so again, so it is not run.
    if (!dirty_) {
        return;
    }
    bool moved = false;
    // Walk the old list from its smallest end and rebuild it from the largest value down; each
    // endpoint only passes the ones it overtook since last tick.
    Endpoint* e = list_.tail;
    list_.Clear();
    while (e != nullptr) {
        Endpoint* older = e->prev;
        Endpoint* f = list_.head;
        moved = moved || (f != nullptr && f->value > e->value);
        while (f != nullptr && f->value > e->value) {
            // A maximum never sinks below its own minimum.
            if (e->kind == kEndpointMax && f->kind == kEndpointMin && f->body == e->body) {
                break;
            }
            if (toggle && f->body != e->body && f->kind != e->kind &&
                !(f->body->IsParticle() && e->body->IsParticle())) {
                broadphase_->ToggleAxis(f->body, e->body, bit_);
            }
            f = f->next;
        }
        InsertBefore(e, f);
        e = older;
    }
    dirty_ = moved;
}

void SweepAxis::PlaceFromHead(Endpoint* e, bool strict) {
    Endpoint* f = list_.head;
    while (f != nullptr && (strict ? !(f->value < e->value) : !(f->value <= e->value))) {
        f = f->next;
    }
    InsertBefore(e, f);
}

bool SweepAxis::InsertBody(Body* body, Body* hint) {
    Endpoint* min = pool_.Take();
    Endpoint* max = pool_.Take();
    if (min == nullptr || max == nullptr) {
        if (min != nullptr) {
            pool_.Return(min);
        }
        if (max != nullptr) {
            pool_.Return(max);
        }
        return false;
    }
    dirty_ = true;
    min->kind = kEndpointMin;
    min->body = body;
    max->kind = kEndpointMax;
    max->body = body;
    body->minEndpoint[index_] = min;
    body->maxEndpoint[index_] = max;
    body->UpdateWorldBox();

    // A body named as its own hint would start the search at its new, still unlinked minimum.
    Endpoint* h = hint != nullptr && hint != body ? hint->minEndpoint[index_] : nullptr;
    if (h == nullptr || hint->worldMin[index_] == 0.0f) {
        PlaceFromHead(min, false);
        PlaceFromHead(max, true);
        return true;
    }
    if (h->value <= min->value) {
        Endpoint* f = h;
        while (f != nullptr && !(f->value > min->value)) {
            f = f->prev;
        }
        InsertAfter(min, f);
    } else {
        Endpoint* f = h;
        while (f != nullptr && !(f->value <= min->value)) {
            f = f->next;
        }
        InsertBefore(min, f);
    }
    Endpoint* f = min->prev;
    while (f != nullptr && !(f->value > max->value)) {
        f = f->prev;
    }
    InsertAfter(max, f);
    return true;
}

void SweepAxis::RemoveBody(Body* body) {
    Endpoint* ends[2] = {body->minEndpoint[index_], body->maxEndpoint[index_]};
    for (Endpoint* e : ends) {
        if (e != nullptr) {
            dirty_ = true;
            list_.Unlink(e);
            e->body = nullptr;
            pool_.Return(e);
        }
    }
    body->minEndpoint[index_] = nullptr;
    body->maxEndpoint[index_] = nullptr;
}

} // namespace Physics
