#pragma once
// A task that calls one member function of one object every turn (the level's per-frame update).
// It holds no reference to the object: whoever owns the object stops the updater first.
#include <functional>

#include "Core/PTask.h"

class CPObjUpdater : public CPTask {
public:
    template <typename T>
    CPObjUpdater(int kind, T* target, void (T::*method)())
        : kind_(kind), call_([target, method] { (target->*method)(); }) {}

    void Update() override { call_(); }
    int GetTaskKind() const override { return kind_; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPObjUpdater"; }

private:
    int kind_;
    std::function<void()> call_;
};
