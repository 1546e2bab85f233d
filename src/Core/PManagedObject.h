#pragma once
// The reference-counted base of every engine object, and the intrusive handle that holds one.
// Release never deletes: an object whose count falls to 0 waits on the released list until the
// collector runs at the end of the kernel turn, so anything released during a turn stays valid
// until the turn is over, and an AddRef before then takes it back.
#include <cstddef>
#include <list>
#include <map>
#include <string>
#include <utility>

class CPManagedObject {
public:
    CPManagedObject();
    CPManagedObject(const CPManagedObject&) = delete;
    CPManagedObject& operator=(const CPManagedObject&) = delete;
    virtual ~CPManagedObject();

    virtual void AddRef();
    virtual void Release();
    virtual int GetObjectSize() const = 0;
    virtual const char* GetTypeName() const = 0;

    int GetRefCount() const { return refCount_; }
    bool IsReleased() const { return released_; }

    // Deletes every released object, including those released by the destructors it runs.
    static void CollectGarbage();
    // Writes the released objects and a count of live objects per class to the process log.
    static void DumpObjects();
    // The live objects counted per class name (what DumpObjects writes).
    static std::map<std::string, int> LiveCountsByClass();

    // Introspection for tests and the script layer's object checks.
    static size_t LiveCount();
    static size_t ReleasedCount();
    // True when the object is a live or released engine object not yet deleted.
    static bool IsEngineObject(const CPManagedObject* object);

private:
    std::list<CPManagedObject*>::iterator livePos_;
    bool released_ = false;
    bool collected_ = false; // taken off every list by the collector
    int refCount_ = 0;
};

template <typename T>
class CPRefPtr {
public:
    CPRefPtr() = default;
    CPRefPtr(std::nullptr_t) {}
    CPRefPtr(T* object) : ptr_(object) {
        if (ptr_) ptr_->AddRef();
    }
    CPRefPtr(const CPRefPtr& other) : CPRefPtr(other.ptr_) {}
    template <typename U>
    CPRefPtr(const CPRefPtr<U>& other) : CPRefPtr(other.Get()) {}
    CPRefPtr(CPRefPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ~CPRefPtr() {
        if (ptr_) ptr_->Release();
    }

    // Drops the old reference first, then takes the new one: resetting to the object already held
    // lets its count touch 0 and come back, leaving it alive.
    void Reset(T* object = nullptr) {
        if (ptr_) ptr_->Release();
        ptr_ = object;
        if (ptr_) ptr_->AddRef();
    }
    CPRefPtr& operator=(const CPRefPtr& other) {
        Reset(other.ptr_);
        return *this;
    }
    CPRefPtr& operator=(CPRefPtr&& other) noexcept {
        if (this != &other) {
            T* incoming = std::exchange(other.ptr_, nullptr);
            if (ptr_) ptr_->Release();
            ptr_ = incoming;
        }
        return *this;
    }
    CPRefPtr& operator=(T* object) {
        Reset(object);
        return *this;
    }

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    T& operator*() const { return *ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    bool operator==(const CPRefPtr& other) const { return ptr_ == other.ptr_; }
    bool operator==(const T* other) const { return ptr_ == other; }

private:
    T* ptr_ = nullptr;
};
