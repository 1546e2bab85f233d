#pragma once
// A long-lived worker the kernel visits once per turn, in ascending priority.
#include "Core/PManagedObject.h"
#include "Core/TaskPriorities.h"

class CPTask : public CPManagedObject {
public:
    enum Kind { KindLevel = 1, KindInterface = 2, KindSystem = 3 };
    static constexpr int kDefaultPriority = TaskPriority::Default;

    // false when the task is already running; otherwise clears killed and sets running.
    virtual bool Start();
    virtual void Suspend() {}
    virtual void Update() = 0;
    virtual void Resume() {}
    // Marks the task killed and not running; the kernel removes it on its next visit.
    virtual void Stop();
    virtual int GetTaskKind() const = 0;
    // A copy of the task for a copied game object; empty for tasks that cannot be copied.
    virtual CPRefPtr<CPTask> Clone();

    bool IsRunning() const { return running_; }
    bool IsKilled() const { return killed_; }
    void SetKilled(bool killed) { killed_ = killed; }
    int GetPriority() const { return priority_; }
    void SetPriority(int priority) { priority_ = priority; }

protected:
    bool running_ = false;
    bool killed_ = false;
    int priority_ = kDefaultPriority;
};
