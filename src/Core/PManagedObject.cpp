#include "Core/PManagedObject.h"

#include <algorithm>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "Core/PLog.h"

namespace {
// The lists are never destroyed: handles held in static storage may release their objects while
// the process exits, after any list of static storage would be gone.
std::list<CPManagedObject*>& LiveList() {
    static auto* list = new std::list<CPManagedObject*>;
    return *list;
}
// Entries are nulled rather than erased, so the collector can walk the list while destructors
// release further objects (appended) or take objects back (nulled).
std::vector<CPManagedObject*>& ReleasedList() {
    static auto* list = new std::vector<CPManagedObject*>;
    return *list;
}
std::unordered_set<const CPManagedObject*>& AllObjects() {
    static auto* set = new std::unordered_set<const CPManagedObject*>;
    return *set;
}

void DropReleasedEntries(CPManagedObject* object) {
    for (auto& entry : ReleasedList())
        if (entry == object) entry = nullptr;
}
} // namespace

CPManagedObject::CPManagedObject() {
    auto& live = LiveList();
    livePos_ = live.insert(live.end(), this);
    AllObjects().insert(this);
}

CPManagedObject::~CPManagedObject() {
    // The collector takes released objects off its list before deleting them. An object deleted any
    // other way must not leave a dangling entry behind.
    if (!collected_) {
        if (released_) DropReleasedEntries(this);
        else LiveList().erase(livePos_);
    }
    AllObjects().erase(this);
}

void CPManagedObject::AddRef() {
    ++refCount_;
    if (released_) {
        released_ = false;
        auto& live = LiveList();
        livePos_ = live.insert(live.end(), this);
        DropReleasedEntries(this);
    }
}

void CPManagedObject::Release() {
    // A release with no reference left would hand the object to the collector while handles still
    // point at it (a script releasing what it does not own); it is ignored.
    if (refCount_ <= 0) return;
    --refCount_;
    if (released_ || refCount_ > 0) return;
    ReleasedList().push_back(this);
    released_ = true;
    LiveList().erase(livePos_);
}

void CPManagedObject::CollectGarbage() {
    auto& released = ReleasedList();
    for (size_t i = 0; i < released.size(); ++i) {
        CPManagedObject* object = released[i];
        if (!object) continue;
        released[i] = nullptr;
        // No log line per collected object: the log discards those (thousands a race).
        object->collected_ = true;
        delete object;
    }
    released.clear();
}

void CPManagedObject::DumpObjects() {
    CPLog& log = GetLog();
    for (CPManagedObject* object : ReleasedList()) {
        if (!object) continue;
        log.Write(0, "Удаленный объект: ссылок - %d, класс - %s, размер - %d bytes", object->refCount_,
                  object->GetTypeName(), object->GetObjectSize());
    }
    for (const auto& [name, count] : LiveCountsByClass()) log.Write(0, "%s: %d", name.c_str(), count);
}

std::map<std::string, int> CPManagedObject::LiveCountsByClass() {
    std::map<std::string, int> perClass;
    for (CPManagedObject* object : LiveList()) ++perClass[object->GetTypeName()];
    return perClass;
}

size_t CPManagedObject::LiveCount() { return LiveList().size(); }

size_t CPManagedObject::ReleasedCount() {
    const auto& released = ReleasedList();
    return static_cast<size_t>(std::count_if(released.begin(), released.end(), [](auto* o) { return o != nullptr; }));
}

bool CPManagedObject::IsEngineObject(const CPManagedObject* object) {
    return object && AllObjects().count(object) != 0;
}
