#include "Physics/Simulator.h"

#include <cmath>
#include <cstdio>
#include <new>

namespace Physics {

namespace {

// The pool element whose Body part is at `body`, or null when it is none of them.
template <class T>
T* FindInPool(Pool<T>& pool, const Body* body) {
    if (!pool.IsAllocated() || pool.Capacity() == 0 || body == nullptr) {
        return nullptr;
    }
    const auto* first = reinterpret_cast<const char*>(static_cast<const Body*>(pool.At(0)));
    const auto* p = reinterpret_cast<const char*>(body);
    if (p < first) {
        return nullptr;
    }
    const auto offset = static_cast<std::size_t>(p - first);
    const std::size_t index = offset / sizeof(T);
    if (offset % sizeof(T) != 0 || index >= static_cast<std::size_t>(pool.Capacity())) {
        return nullptr;
    }
    return pool.At(static_cast<int>(index));
}

} // namespace

Simulator::Simulator() { worldBody_.Reset(); }

Simulator::~Simulator() {
    FreeAllBodies();
    for (int i = 0; i < hulls_.Size(); ++i) {
        allocator_->Free(hulls_[i]);
    }
    hulls_.Release();
    profiler_.reset();
    activeStacks_.Release();
    scratchNodes_.Release();
    scratchGroups_.Release();
    jointRows_.Release();
    contactRows_.Release();
    staticLeaves_.Release();
    staticTriangleIndexes_.Release();
    staticTriangles_.Release();
    staticTriangleList_.Release();
    rayCandidates_.Release();
    triangleCache_.Release();
    broadphase_.Teardown();
    rigidPool_.Release();
    animatedPool_.Release();
    particlePool_.Release();
    jointPool_.Release();
    jointGroupPool_.Release();
    controllerPool_.Release();
    stackNodePool_.Release();
    contactStackPool_.Release();
    sensorPool_.Release();
    geometryPool_.Release();
}

bool Simulator::SetUp(const SimulatorDesc& desc, SimulatorAllocator* allocator, const Vector4* gravity) {
    desc_ = desc;
    allocator_ = allocator != nullptr ? allocator : &MallocAllocator::Instance();

    gravity_ = gravity != nullptr ? *gravity : Vector4();
    gravityDirection_ = Normalize(gravity_);
    gravityLength_ = Length(gravity_);
    if (!std::isfinite(gravityLength_)) {
        gravityLength_ = 0.0f;
    }
    gravityLengthFraction_ = 0.3f * gravityLength_;

    if (!rigidPool_.Init(allocator_, desc_.rigidBodiesCount) ||
        !animatedPool_.Init(allocator_, desc_.animatedBodiesCount) ||
        !particlePool_.Init(allocator_, desc_.rigidParticleCount)) {
        ReportMessage("Failed to allocate memory.\n");
        return false;
    }
    if (!broadphase_.Init(this, Broadphase::kAllAxes)) {
        ReportMessage("Failed to allocate memory.\n");
        return false;
    }
    stepCount_ = 0;
    grounded_ = ContactStack();
    grounded_.simulator = this;
    grounded_.grounded = 1;
    worldBody_.matrix = Matrix4::Identity();

    for (Material& m : materials_) {
        m = {0.5f, 0.4f, 1.0f};
    }

    const int bodies = (desc_.rigidBodiesCount > 0 ? desc_.rigidBodiesCount : 0) +
                       (desc_.rigidParticleCount > 0 ? desc_.rigidParticleCount : 0);
    const bool ok =
        jointPool_.Init(allocator_, desc_.jointsCount) && jointGroupPool_.Init(allocator_, desc_.jointGroupsCount) &&
        controllerPool_.Init(allocator_, desc_.constraintSetsCount) && stackNodePool_.Init(allocator_, bodies) &&
        contactStackPool_.Init(allocator_, bodies + 100) && sensorPool_.Init(allocator_, desc_.sensorsCount) &&
        geometryPool_.Init(allocator_, desc_.geometriesCount) && activeStacks_.Init(allocator_, 1000, 100) &&
        scratchNodes_.Init(allocator_, 1000, 100) && scratchGroups_.Init(allocator_, 1000, 100) &&
        jointRows_.Init(allocator_, 100, 100) && contactRows_.Init(allocator_, 100, 100) &&
        staticLeaves_.Init(allocator_, 100, 100) && staticTriangleIndexes_.Init(allocator_, 200, 200);
    if (!ok) {
        ReportMessage("Failed to allocate memory.\n");
        return false;
    }

    contactCallback_ = nullptr;
    triangleQueryCallback_ = nullptr;
    errorCallback_ = nullptr;
    breakOffCallback_ = nullptr;
    errorLevel_ = 0;
    worldBody_.id = -1;
    worldBody_.simulator = this;
    worldBody_.userData = nullptr;
    worldBody_.enabled = 1;
    worldBody_.inUse = 1; // never pooled and never freed
    sleepThreshold_ = 1.0f;

    profiler_ = std::make_unique<PhaseProfiler>();
    return true;
}

Simulator* CreateSimulator(const SimulatorDesc& desc, SimulatorAllocator* allocator, const Vector4* gravity) {
    Simulator* simulator = new (std::nothrow) Simulator();
    if (simulator == nullptr) {
        return nullptr;
    }
    // A world missing a pool would fail later on first use; refuse it here instead.
    if (!simulator->SetUp(desc, allocator, gravity)) {
        delete simulator;
        return nullptr;
    }
    return simulator;
}

void DestroySimulator(Simulator* simulator) { delete simulator; }

bool Simulator::SetMaterial(int index, float friction, float restitution) {
    if (index < 0 || index >= kMaterialCount) {
        return false;
    }
    materials_[index] = {friction, restitution, 0.0f};
    return true;
}

ContactCallback Simulator::SetContactCallback(ContactCallback callback) {
    ContactCallback previous = contactCallback_;
    contactCallback_ = callback;
    return previous;
}

void Simulator::ReportMessage(const char* text) {
    std::snprintf(message_, sizeof(message_), "%s", text);
    ReportError(1);
}

void Simulator::ReportError(int level) {
    if (errorCallback_ != nullptr && level <= errorLevel_) {
        errorCallback_(message_);
    }
}

RigidBody* Simulator::TakeRigid(Pool<RigidBody>& pool, bool particle) {
    RigidBody* body = pool.Take();
    if (body == nullptr) {
        ReportMessage(particle ? "Run out of RigidBodies. Increase 'rigidParticleCount'.\n"
                               : "Run out of RigidBodies. Increase 'rigidBodiesCount'.\n");
        return nullptr;
    }
    body->Reset();
    (particle ? enabledParticles_ : enabledRigid_).Append(body);
    body->isParticle = particle ? 1 : 0;
    JoinTick(body);
    body->id = particle ? desc_.rigidBodiesCount + desc_.animatedBodiesCount + pool.IndexOf(body) : pool.IndexOf(body);
    body->simulator = this;
    return body;
}

RigidBody* Simulator::CreateRigidBody() { return TakeRigid(rigidPool_, false); }

RigidBody* Simulator::CreateRigidParticle() { return TakeRigid(particlePool_, true); }

AnimatedBody* Simulator::CreateAnimatedBody() {
    AnimatedBody* body = animatedPool_.Take();
    if (body == nullptr) {
        ReportMessage("Run out of AnimatedBodies. Increase 'animatedBodiesCount'.\n");
        return nullptr;
    }
    body->Reset();
    enabledAnimated_.Append(body);
    body->id = desc_.rigidBodiesCount + animatedPool_.IndexOf(body);
    body->simulator = this;
    body->matrix = Matrix4::Identity();
    return body;
}

void Simulator::ReleaseAnimated(AnimatedBody* body) {
    body->ReleaseContents();
    body->LeaveJointGroup();
    (body->enabled != 0 ? enabledAnimated_ : disabledAnimated_).Unlink(body);
    animatedPool_.Return(body);
}

void Simulator::ReleaseRigid(RigidBody* body) {
    // Out of its lists first: a body unparked while this one is taken apart looks for its place
    // along them.
    IntrusiveList<RigidBody>& list = body->isParticle != 0
                                         ? (body->enabled != 0 ? enabledParticles_ : disabledParticles_)
                                         : (body->enabled != 0 ? enabledRigid_ : disabledRigid_);
    if (body->enabled != 0) {
        LeaveTick(body);
    }
    list.Unlink(body);
    body->ReleaseContents();
    body->Release();
    (body->isParticle != 0 ? particlePool_ : rigidPool_).Return(body);
}

void Simulator::FreeBody(Body* body) {
    // Locate the body by address first: a stale or foreign pointer is never read.
    if (AnimatedBody* animated = FindInPool(animatedPool_, body)) {
        if (animated->inUse == 0) {
            ReportMessage("Trying to Free invalid AnimatedBody.\n");
            return;
        }
        ReleaseAnimated(animated);
        return;
    }
    if (RigidBody* rigid = FindInPool(rigidPool_, body)) {
        if (rigid->inUse == 0) {
            ReportMessage("Trying to Free invalid RigidBody.\n");
            return;
        }
        ReleaseRigid(rigid);
        return;
    }
    if (RigidBody* particle = FindInPool(particlePool_, body)) {
        if (particle->inUse == 0) {
            ReportMessage("Trying to Free invalid RigidParticle.\n");
            return;
        }
        ReleaseRigid(particle);
        return;
    }
    ReportMessage(body == &worldBody_ ? "Trying to Free invalid AnimatedBody.\n"
                                      : "Trying to Free invalid RigidBody.\n");
}

ConvexHull* Simulator::CreateConvexHull(const Vector4* points, int count) {
    const char* error = nullptr;
    ConvexHull* hull = BuildConvexHull(points, count, allocator_, &error);
    if (hull == nullptr) {
        ReportMessage(error != nullptr ? error : "Failed to allocate memory.\n");
        return nullptr;
    }
    if ((hulls_.Capacity() == 0 && !hulls_.Init(allocator_, 16, 16)) || !hulls_.Append(hull)) {
        allocator_->Free(hull);
        ReportMessage("Failed to allocate memory.\n");
        return nullptr;
    }
    return hull;
}

bool Simulator::IsLiveBody(const Body* body) const {
    auto* self = const_cast<Simulator*>(this);
    if (const AnimatedBody* animated = FindInPool(self->animatedPool_, body)) {
        return animated->inUse != 0;
    }
    if (const RigidBody* rigid = FindInPool(self->rigidPool_, body)) {
        return rigid->inUse != 0;
    }
    if (const RigidBody* particle = FindInPool(self->particlePool_, body)) {
        return particle->inUse != 0;
    }
    return false;
}

void Simulator::FreeAllBodies() {
    IntrusiveList<RigidBody>* rigidLists[] = {&enabledRigid_, &disabledRigid_, &enabledParticles_, &disabledParticles_};
    for (IntrusiveList<RigidBody>* list : rigidLists) {
        while (list->head != nullptr) {
            ReleaseRigid(list->head);
        }
    }
    IntrusiveList<AnimatedBody>* animatedLists[] = {&enabledAnimated_, &disabledAnimated_};
    for (IntrusiveList<AnimatedBody>* list : animatedLists) {
        while (list->head != nullptr) {
            ReleaseAnimated(list->head);
        }
    }
}

void Simulator::MoveBodyToList(Body* body, bool enable) {
    if (body->kind == kBodyAnimated) {
        if (body == &worldBody_) {
            return;
        }
        auto* animated = static_cast<AnimatedBody*>(body);
        (enable ? disabledAnimated_ : enabledAnimated_).Unlink(animated);
        (enable ? enabledAnimated_ : disabledAnimated_).Append(animated);
        return;
    }
    auto* rigid = static_cast<RigidBody*>(body);
    IntrusiveList<RigidBody>& enabledList = rigid->isParticle != 0 ? enabledParticles_ : enabledRigid_;
    IntrusiveList<RigidBody>& disabledList = rigid->isParticle != 0 ? disabledParticles_ : disabledRigid_;
    if (!enable) {
        LeaveTick(rigid);
    }
    (enable ? disabledList : enabledList).Unlink(rigid);
    (enable ? enabledList : disabledList).Append(rigid);
    if (enable) {
        JoinTick(rigid);
    }
}

void Simulator::JoinTick(RigidBody* body) {
    body->listOrder = ++listOrder_;
    body->parked = 0;
    TickList& list = TickListOf(body);
    body->tickNext = nullptr;
    body->tickPrev = list.tail;
    if (list.tail != nullptr) {
        list.tail->tickNext = body;
    } else {
        list.head = body;
    }
    list.tail = body;
}

void Simulator::LeaveTick(RigidBody* body) {
    if (body->parked != 0) {
        CountMissedPasses(body);
        return;
    }
    TickList& list = TickListOf(body);
    (body->tickPrev != nullptr ? body->tickPrev->tickNext : list.head) = body->tickNext;
    (body->tickNext != nullptr ? body->tickNext->tickPrev : list.tail) = body->tickPrev;
    body->tickNext = nullptr;
    body->tickPrev = nullptr;
}

void Simulator::CountMissedPasses(RigidBody* body) {
    // The one under way counts only if it is past the body's place.
    uint32_t missed = velocityPasses_ - body->parkedAtPass;
    if (integrating_ != nullptr) {
        const bool ahead = body->isParticle != integrating_->isParticle ? body->isParticle != 0
                                                                        : body->listOrder > integrating_->listOrder;
        missed -= ahead ? 1u : 0u;
    }
    body->stepsSinceWake += static_cast<int32_t>(missed);
    body->parked = 0;
}

void Simulator::Unpark(RigidBody* body) {
    CountMissedPasses(body);

    // Its place is after the nearest earlier body of the enabled list that is not parked. That is
    // looked for from both ends at once: back along the enabled list, a short walk when few
    // bodies are parked, and back along the tick's list, a short one when most are.
    TickList& list = TickListOf(body);
    RigidBody* back = body->prev;
    RigidBody* tick = list.tail;
    RigidBody* after = nullptr;
    while (back != nullptr && tick != nullptr) {
        if (back->parked == 0) {
            after = back;
            break;
        }
        if (tick->listOrder < body->listOrder) {
            after = tick;
            break;
        }
        back = back->prev;
        tick = tick->tickPrev;
    }
    body->tickPrev = after;
    body->tickNext = after != nullptr ? after->tickNext : list.head;
    (body->tickNext != nullptr ? body->tickNext->tickPrev : list.tail) = body;
    (after != nullptr ? after->tickNext : list.head) = body;
}

void Simulator::ParkIdleBodies() {
    for (TickList& list : ticking_) {
        for (RigidBody* r = list.head; r != nullptr;) {
            RigidBody* following = r->tickNext;
            r->SettleRate();
            if (r->CanPark()) {
                LeaveTick(r);
                r->parked = 1;
                r->parkedAtPass = velocityPasses_;
            }
            r = following;
        }
    }
}

int32_t Simulator::Step(float dt, int32_t n, StepStats* stats) {
    stats_ = stats;
    // A step that is not a positive finite time runs no tick, as a step of zero sub-steps does.
    const bool runs = n > 0 && dt > 0.0f && std::isfinite(dt);
    if (runs) {
        subStep_ = dt / static_cast<float>(static_cast<uint32_t>(n));
        inverseSubStep_ = 1.0f / subStep_;
    }
    if (stats_ != nullptr) {
        stats_->result = 0.0f;
        for (float& c : stats_->cleared) {
            c = 0.0f;
        }
        profiler_->Start();
    }
    if (runs) {
        for (int32_t i = 0; i < n; ++i) {
            Tick();
        }
    }
    // Between steps every body's fields read as if each store had updated them at once; a parked
    // body has nothing pending. Bodies left with nothing to do are parked here.
    ParkIdleBodies();
    const IntrusiveList<RigidBody>* disabled[] = {&disabledRigid_, &disabledParticles_};
    for (const IntrusiveList<RigidBody>* list : disabled) {
        for (RigidBody* r = list->head; r != nullptr; r = r->next) {
            r->SettleRate();
        }
    }
    for (AnimatedBody* a = enabledAnimated_.head; a != nullptr; a = a->next) {
        a->moved = 0;
    }
    if (stats_ != nullptr) {
        const float total = profiler_->Total();
        if (stats_->mode == 1) {
            stats_->result = total;
        } else if (total < 100.0f) {
            stats_->count += 1;
            stats_->sum += total;
            stats_->result = stats_->sum / static_cast<float>(stats_->count);
        }
    }
    stats_ = nullptr;
    return ++stepCount_;
}

void Simulator::Lap(int phase) {
    if (stats_ != nullptr) {
        profiler_->Lap(phase);
    }
}

void Simulator::Tick() {
    ClearAllSensorHits();
    UpdateWorldBoxes();
    broadphase_.Update();
    Lap(PhaseProfiler::kBroadphase);
    CollidePairs();
    Lap(PhaseProfiler::kPairContacts);
    CollideStaticWorld();
    Lap(PhaseProfiler::kStaticContacts);
    ClearForceSums();
    JointPreStep();
    IntegrateVelocities();
    Lap(PhaseProfiler::kForces);
    ResetStackFlags();
    SolveJointGroups();
    UpdateStacks();
    SolveStacks();
    Lap(PhaseProfiler::kStacks);
    IntegratePositions();
    Lap(PhaseProfiler::kPositions);
    JointPostStep();
    Lap(PhaseProfiler::kJointPostStep);
}

void Simulator::ClearAllSensorHits() {
    for (AnimatedBody* a = enabledAnimated_.head; a != nullptr; a = a->next) {
        a->ClearSensorHits();
    }
    for (RigidBody* p = ticking_[1].head; p != nullptr; p = p->tickNext) {
        p->ClearSensorHits();
    }
    for (RigidBody* r = ticking_[0].head; r != nullptr; r = r->tickNext) {
        r->ClearSensorHits();
    }
}

void Simulator::UpdateWorldBoxes() {
    // A sleeping body that nothing has moved keeps its box; a setter, a push or a wake shows as a
    // changed pose and the box is computed again.
    for (RigidBody* r = ticking_[0].head; r != nullptr; r = r->tickNext) {
        if (!(r->IsAsleep() && r->WorldBoxCurrent())) {
            r->UpdateWorldBox();
        }
    }
    for (RigidBody* p = ticking_[1].head; p != nullptr; p = p->tickNext) {
        if (!(p->IsAsleep() && p->WorldBoxCurrent())) {
            p->UpdateWorldBox();
        }
    }
    for (AnimatedBody* a = enabledAnimated_.head; a != nullptr; a = a->next) {
        if (a->moved != 0) {
            a->UpdateWorldBox();
        }
    }
}

void Simulator::ClearForceSums() {
    for (TickList& list : ticking_) {
        for (RigidBody* r = list.head; r != nullptr; r = r->tickNext) {
            r->forceSum = Vector4();
            r->torqueSum = Vector4();
        }
    }
}

void Simulator::IntegrateVelocities() {
    ++velocityPasses_;
    for (TickList& list : ticking_) {
        for (RigidBody* r = list.head; r != nullptr; r = r->tickNext) {
            integrating_ = r;
            r->IntegrateVelocity(subStep_);
        }
    }
    integrating_ = nullptr;
}

void Simulator::ResetStackFlags() {
    for (ContactStack* s = stacks_.head; s != nullptr; s = s->next) {
        s->solved = 0;
    }
}

void Simulator::IntegratePositions() {
    for (TickList& list : ticking_) {
        for (RigidBody* r = list.head; r != nullptr; r = r->tickNext) {
            r->stepped = 1;
            if (r->IsAsleep()) {
                continue;
            }
            if (r->jointGroup == nullptr) {
                r->UpdateRestCounter();
            }
            if (!r->IsAsleep()) {
                r->IntegratePosition(subStep_);
            }
        }
    }
}

} // namespace Physics
