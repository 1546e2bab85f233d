#include "Core/PTask.h"

bool CPTask::Start() {
    if (running_) return false;
    killed_ = false;
    running_ = true;
    return true;
}

void CPTask::Stop() {
    killed_ = true;
    running_ = false;
}

CPRefPtr<CPTask> CPTask::Clone() { return {}; }
