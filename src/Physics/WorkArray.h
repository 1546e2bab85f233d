#pragma once

#include "Physics/SimulatorAllocator.h"

#include <cstring>
#include <type_traits>

namespace Physics {

// A work array of plain records taken from the simulator's allocator; it only ever grows, by a
// fixed number of entries, so steady-state stepping allocates nothing.
template <class T>
class WorkArray {
    static_assert(std::is_trivially_copyable_v<T>, "work arrays hold plain records");

public:
    WorkArray() = default;
    WorkArray(const WorkArray&) = delete;
    WorkArray& operator=(const WorkArray&) = delete;
    ~WorkArray() { Release(); }

    bool Init(SimulatorAllocator* allocator, int capacity, int growth) {
        Release();
        allocator_ = allocator;
        growth_ = growth;
        data_ = static_cast<T*>(allocator_->Alloc(sizeof(T) * static_cast<std::size_t>(capacity), 0));
        if (data_ == nullptr) {
            return false;
        }
        capacity_ = capacity;
        size_ = 0;
        return true;
    }

    void Release() {
        if (data_ != nullptr) {
            allocator_->Free(data_);
        }
        data_ = nullptr;
        capacity_ = 0;
        size_ = 0;
    }

    // Appends a copy; false only when growing failed (the entry is then dropped).
    bool Append(const T& value) {
        if (size_ == capacity_ && !Grow()) {
            return false;
        }
        data_[size_++] = value;
        return true;
    }

    void Clear() { size_ = 0; }
    // Shrinks the used part; the capacity stays.
    void Truncate(int size) {
        if (size >= 0 && size < size_) {
            size_ = size;
        }
    }
    int Size() const { return size_; }
    int Capacity() const { return capacity_; }
    T& operator[](int i) { return data_[i]; }
    const T& operator[](int i) const { return data_[i]; }
    T* Data() { return data_; }

private:
    bool Grow() {
        const int newCapacity = capacity_ + growth_;
        T* grown = static_cast<T*>(allocator_->Alloc(sizeof(T) * static_cast<std::size_t>(newCapacity), 0));
        if (grown == nullptr) {
            return false;
        }
        if (size_ > 0) {
            std::memcpy(static_cast<void*>(grown), data_, sizeof(T) * static_cast<std::size_t>(size_));
        }
        allocator_->Free(data_);
        data_ = grown;
        capacity_ = newCapacity;
        return true;
    }

    SimulatorAllocator* allocator_ = nullptr;
    T* data_ = nullptr;
    int capacity_ = 0;
    int size_ = 0;
    int growth_ = 100;
};

} // namespace Physics
