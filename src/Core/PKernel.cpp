#include "Core/PKernel.h"

#include "Core/PGlobalTimer.h"
#include "Core/PSettings.h"

CPKernel::CPKernel() = default;

CPKernel::~CPKernel() {
    suspended_.clear();
    running_.clear();
}

bool CPKernel::IsRunning(const CPTask* task) const {
    for (const auto& t : running_)
        if (t.Get() == task) return true;
    return false;
}

bool CPKernel::IsSuspended(const CPTask* task) const {
    for (const auto& t : suspended_)
        if (t.Get() == task) return true;
    return false;
}

void CPKernel::InsertByPriority(const CPRefPtr<CPTask>& task) {
    // The priority is read only here: before the first task whose priority is strictly greater.
    auto it = running_.begin();
    while (it != running_.end() && (*it)->GetPriority() <= task->GetPriority()) ++it;
    running_.insert(it, task);
}

CPKernel::TaskList::iterator CPKernel::EraseRunning(TaskList::iterator it) {
    if (walking_ && it == walk_) {
        walk_ = running_.erase(it);
        walkAdvanced_ = true;
        return walk_;
    }
    return running_.erase(it);
}

bool CPKernel::AddTask(const CPRefPtr<CPTask>& task) {
    if (!task || !task->Start()) return false;
    // A task stopped and started again before a pass removed it still has its entry: the start
    // cleared its killed flag, so that entry runs it, and a second one would run it twice a turn.
    if (!IsRunning(task.Get())) InsertByPriority(task);
    return true;
}

void CPKernel::SuspendTask(const CPRefPtr<CPTask>& task) {
    if (!task || !IsRunning(task.Get())) return;
    CPRefPtr<CPTask> keep = task;
    task->Suspend();
    for (auto it = running_.begin(); it != running_.end();)
        it = (it->Get() == task.Get()) ? EraseRunning(it) : std::next(it);
    suspended_.push_back(keep);
}

void CPKernel::ResumeTask(const CPRefPtr<CPTask>& task) {
    if (!task || !IsSuspended(task.Get())) return;
    CPRefPtr<CPTask> keep = task;
    task->Resume();
    suspended_.remove_if([&](const CPRefPtr<CPTask>& t) { return t.Get() == keep.Get(); });
    InsertByPriority(keep);
}

void CPKernel::KillAllTasks() {
    for (auto& task : running_) task->SetKilled(true);
}

void CPKernel::RunPass() {
    walking_ = true;
    walk_ = running_.begin();
    while (walk_ != running_.end()) {
        walkAdvanced_ = false;
        CPRefPtr<CPTask> task = *walk_;
        if (task->IsKilled()) {
            task->Stop();
            if (!walkAdvanced_) walk_ = running_.erase(walk_);
        } else {
            task->Update();
            // The next entry is taken only now, so a task inserted right after this one runs in
            // this pass; an entry removed by the Update has already moved the walk on.
            if (!walkAdvanced_) ++walk_;
        }
    }
    walking_ = false;
}

int CPKernel::Execute() {
    bool quitting = false;
    for (;;) {
        if (quitting) {
            if (running_.empty()) break;
            // Only tasks added during the quit pass are left. They run whether or not the window is
            // active: with no message taken after the quit, an inactive window would never come
            // back and the loop would spin for ever.
            RunPass();
            CPManagedObject::CollectGarbage();
            continue;
        }
        Platform::Message message;
        if (messages_ && messages_->TakeMessage(message)) {
            if (message.id == Platform::MessageId::Quit) {
                KillAllTasks();
                quitting = true;
                if (running_.empty()) break;
                RunPass();
            }
            if (windowProc_) windowProc_(message);
        }
        if (AppActive) {
            if (running_.empty()) break;
            RunPass();
            CPManagedObject::CollectGarbage();
        } else {
            FrameDelta = 0.0f;
            CPManagedObject::CollectGarbage();
        }
    }
    for (auto& hook : loopEndHooks_) hook();
    if (CPSettingsManager* settings = GetSettingsManager()) settings->ReleaseDators();
    return 0;
}
