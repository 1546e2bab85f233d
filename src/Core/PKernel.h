#pragma once
// The task kernel: one turn of its loop is one frame. Each turn takes at most one window message,
// runs every running task once in ascending priority (equal priorities in the order they were
// added) and then deletes the objects released during the turn.
#include <functional>
#include <list>
#include <vector>

#include "Core/PSingleton.h"
#include "Core/PTask.h"
#include "Platform/Message.h"

class CPKernel : public CPSingleton<CPKernel> {
public:
    using TaskList = std::list<CPRefPtr<CPTask>>;
    using WindowProc = std::function<void(const Platform::Message&)>;

    CPKernel();
    virtual ~CPKernel();

    // false for a null task or a refused start; the task is then not added. A task still listed
    // (stopped, not yet removed) keeps its one entry.
    bool AddTask(const CPRefPtr<CPTask>& task);
    void SuspendTask(const CPRefPtr<CPTask>& task);
    void ResumeTask(const CPRefPtr<CPTask>& task);
    // Marks every running task killed; suspended tasks are left alone.
    void KillAllTasks();
    // Runs the loop until no task is left; answers 0.
    int Execute();

    void SetMessageSource(Platform::MessageSource* source) { messages_ = source; }
    Platform::MessageSource* GetMessageSource() const { return messages_; }
    // Receives every message the loop takes (the main window's procedure).
    void SetWindowProc(WindowProc proc) { windowProc_ = std::move(proc); }
    // Run when the loop ends, before the settings let go of their dators (the material manager
    // clears its blocks here).
    void AddLoopEndHook(std::function<void()> hook) { loopEndHooks_.push_back(std::move(hook)); }

    void* GetMainWindow() const { return mainWindow_; }
    void SetMainWindow(void* window) { mainWindow_ = window; }
    void* GetInstance() const { return instance_; }
    void SetInstance(void* instance) { instance_ = instance; }

    const TaskList& GetRunningTasks() const { return running_; }
    const TaskList& GetSuspendedTasks() const { return suspended_; }
    bool IsRunning(const CPTask* task) const;
    bool IsSuspended(const CPTask* task) const;

private:
    void InsertByPriority(const CPRefPtr<CPTask>& task);
    TaskList::iterator EraseRunning(TaskList::iterator it);
    void RunPass();

    void* mainWindow_ = nullptr;
    void* instance_ = nullptr;
    TaskList running_;
    TaskList suspended_;
    Platform::MessageSource* messages_ = nullptr;
    WindowProc windowProc_;
    std::vector<std::function<void()>> loopEndHooks_;
    // The entry the current pass visits next; kept valid when an Update removes entries.
    bool walking_ = false;
    bool walkAdvanced_ = false;
    TaskList::iterator walk_;
};

inline CPKernel* GetKernel() { return CPSingleton<CPKernel>::Instance(); }
