#pragma once
// The process-wide instance of a subsystem: the object registers itself while it exists, and the
// subsystem's accessor (GetRender(), GetKernel(), ...) answers it, or null when there is none.
// A newer instance replaces an older one; an older one going away leaves a newer one in place.
template <class T>
class CPSingleton {
public:
    // The raw pointer, no reference added.
    static T* Instance() { return static_cast<T*>(instance_); }

    CPSingleton(const CPSingleton&) = delete;
    CPSingleton& operator=(const CPSingleton&) = delete;

protected:
    CPSingleton() { instance_ = this; }
    ~CPSingleton() { Resign(); }
    // The object stops being the instance before it goes (an object that outlives its role).
    void Resign() {
        if (instance_ == this) instance_ = nullptr;
    }

private:
    // Kept as the base, so nothing casts the object before it is fully made.
    static inline CPSingleton* instance_ = nullptr;
};
