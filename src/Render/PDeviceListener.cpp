#include "Render/PDeviceListener.h"

namespace {

// The DeviceListeners list: intrusive, so joining and leaving never allocate.
CPDeviceListener* g_first = nullptr;
CPDeviceListener* g_last = nullptr;

// The walk in progress: the listener being told, or, once that one has left the list during its
// own call, the listener to go on with.
struct WalkPlace {
    CPDeviceListener* current = nullptr;
    CPDeviceListener* resume = nullptr;
};
WalkPlace g_walk;

} // namespace

CPDeviceListener::CPDeviceListener() {
    prev_ = g_last;
    if (g_last) g_last->next_ = this;
    else g_first = this;
    g_last = this;
}

CPDeviceListener::~CPDeviceListener() {
    if (g_walk.current == this) {
        g_walk.current = nullptr;
        g_walk.resume = next_;
    } else if (g_walk.resume == this) {
        g_walk.resume = next_;
    }
    if (prev_) prev_->next_ = next_;
    else g_first = next_;
    if (next_) next_->prev_ = prev_;
    else g_last = prev_;
}

void NotifyLostDevice() {
    const WalkPlace saved = g_walk;
    for (CPDeviceListener* l = g_first; l;) {
        g_walk = {l, nullptr};
        l->OnLostDevice();
        l = g_walk.current ? g_walk.current->next_ : g_walk.resume;
    }
    g_walk = saved;
}

void NotifyResetDevice() {
    const WalkPlace saved = g_walk;
    for (CPDeviceListener* l = g_first; l;) {
        g_walk = {l, nullptr};
        l->OnResetDevice();
        l = g_walk.current ? g_walk.current->next_ : g_walk.resume;
    }
    g_walk = saved;
}

int DeviceListenerCount() {
    int n = 0;
    for (CPDeviceListener* l = g_first; l; l = l->next_) ++n;
    return n;
}
