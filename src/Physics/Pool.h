#pragma once

#include "Physics/SimulatorAllocator.h"

#include <cstdint>
#include <new>

namespace Physics {

// A fixed pool of N elements in one block. Elements carry their own links (next, prev) and an
// in-use byte; free elements are chained through those links, element 0 first. Taking pops the
// head, returning pushes on the head, so the last returned slot is the next one handed out.
template <class T>
class Pool {
public:
    Pool() = default;
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    ~Pool() { Release(); }

    // Builds the block and the free list; false when the allocator refuses.
    bool Init(SimulatorAllocator* allocator, int capacity) {
        Release();
        allocator_ = allocator;
        capacity_ = capacity > 0 ? capacity : 0;
        void* block = allocator_->Alloc(sizeof(T) * static_cast<std::size_t>(capacity_), 0);
        if (block == nullptr) {
            capacity_ = 0;
            return false;
        }
        items_ = static_cast<T*>(block);
        for (int i = 0; i < capacity_; ++i) {
            new (&items_[i]) T();
        }
        ResetFreeList();
        return true;
    }

    void Release() {
        if (items_ != nullptr) {
            for (int i = 0; i < capacity_; ++i) {
                items_[i].~T();
            }
            allocator_->Free(items_);
        }
        items_ = nullptr;
        capacity_ = 0;
        freeHead_ = nullptr;
        freeCount_ = 0;
        usedCount_ = 0;
    }

    T* Take() {
        T* item = freeHead_;
        if (item == nullptr) {
            return nullptr;
        }
        freeHead_ = item->next;
        if (freeHead_ != nullptr) {
            freeHead_->prev = nullptr;
        }
        item->next = nullptr;
        item->prev = nullptr;
        item->inUse = 1;
        --freeCount_;
        ++usedCount_;
        return item;
    }

    // The caller has already unlinked the element from whatever list it was on.
    void Return(T* item) {
        item->inUse = 0;
        item->prev = nullptr;
        item->next = freeHead_;
        if (freeHead_ != nullptr) {
            freeHead_->prev = item;
        }
        freeHead_ = item;
        ++freeCount_;
        --usedCount_;
    }

    // True when p points exactly at one of this pool's elements.
    bool Contains(const void* p) const {
        if (items_ == nullptr || p == nullptr) {
            return false;
        }
        const auto addr = reinterpret_cast<std::uintptr_t>(p);
        const auto base = reinterpret_cast<std::uintptr_t>(items_);
        const auto end = base + sizeof(T) * static_cast<std::uintptr_t>(capacity_);
        return addr >= base && addr < end && (addr - base) % sizeof(T) == 0;
    }

    int IndexOf(const T* item) const { return static_cast<int>(item - items_); }
    T* At(int index) { return &items_[index]; }
    const T* At(int index) const { return &items_[index]; }
    int Capacity() const { return capacity_; }
    int FreeCount() const { return freeCount_; }
    int UsedCount() const { return usedCount_; }
    bool IsAllocated() const { return items_ != nullptr; }

private:
    void ResetFreeList() {
        freeHead_ = capacity_ > 0 ? &items_[0] : nullptr;
        for (int i = 0; i < capacity_; ++i) {
            items_[i].next = i + 1 < capacity_ ? &items_[i + 1] : nullptr;
            items_[i].prev = i > 0 ? &items_[i - 1] : nullptr;
            items_[i].inUse = 0;
        }
        freeCount_ = capacity_;
        usedCount_ = 0;
    }

    SimulatorAllocator* allocator_ = nullptr;
    T* items_ = nullptr;
    int capacity_ = 0;
    T* freeHead_ = nullptr;
    int freeCount_ = 0;
    int usedCount_ = 0;
};

// An intrusive doubly linked list through the elements' own next/prev links.
template <class T>
struct IntrusiveList {
    T* head = nullptr;
    T* tail = nullptr;
    int count = 0;

    void Append(T* item) {
        item->next = nullptr;
        item->prev = tail;
        if (tail != nullptr) {
            tail->next = item;
        } else {
            head = item;
        }
        tail = item;
        ++count;
    }

    void Unlink(T* item) {
        if (item->prev != nullptr) {
            item->prev->next = item->next;
        } else {
            head = item->next;
        }
        if (item->next != nullptr) {
            item->next->prev = item->prev;
        } else {
            tail = item->prev;
        }
        item->next = nullptr;
        item->prev = nullptr;
        --count;
    }

    void Clear() {
        head = tail = nullptr;
        count = 0;
    }
};

} // namespace Physics
