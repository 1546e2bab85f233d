// Joint groups: the body lists that the stack and group solves collect, and the per-tick joint
// stages of the Simulator.
#include "Physics/Joint.h"

#include "Physics/Controller.h"
#include "Physics/Simulator.h"

namespace Physics {

namespace {

template <class F>
void ForEachGroupInUse(Pool<JointGroup>& pool, F&& f) {
    for (int i = 0; i < pool.Capacity(); ++i) {
        JointGroup* g = pool.At(i);
        if (g->inUse != 0) {
            f(g);
        }
    }
}

template <class F>
void ForEachRigid(const JointGroup& group, F&& f) {
    for (Body* b = group.bodyHead; b != nullptr;) {
        Body* next = b->groupNext;
        if (RigidBody* r = RigidSide(b)) {
            f(r);
        }
        b = next;
    }
}

} // namespace

void JointGroup::AddBody(Body* body) {
    if (RigidBody* rigid = RigidSide(body)) {
        rigid->Unpark();
    }
    body->jointGroup = this;
    body->groupNext = nullptr;
    body->groupPrev = bodyTail;
    if (bodyTail != nullptr) {
        bodyTail->groupNext = body;
    } else {
        bodyHead = body;
    }
    bodyTail = body;
    ++bodyCount;
}

void JointGroup::Clear() {
    for (Body* b = bodyHead; b != nullptr;) {
        Body* next = b->groupNext;
        b->jointGroup = nullptr;
        b->groupNext = nullptr;
        b->groupPrev = nullptr;
        --bodyCount;
        b = next;
    }
    bodyHead = nullptr;
    bodyTail = nullptr;
    bodyCount = 0;
    firstJoint = nullptr;
    lastJoint = nullptr;
    visited = 0;
    state = 1;
}

void JointGroup::ClearSolveMarks() {
    ForEachRigid(*this, [](RigidBody* r) {
        if (r->linearCorrectionCount > 0) {
            r->ApplyVelocityCorrection();
        }
        if (r->angularCorrectionCount > 0) {
            r->ApplyMomentumCorrection();
        }
    });
}

int32_t JointGroup::AllSettled() {
    // Every member is tested: each may retake its snapshot.
    int32_t all = 1;
    ForEachRigid(*this, [&all](RigidBody* r) {
        if (r->IsSettled() == 0) {
            all = 0;
        }
    });
    return all;
}

void JointGroup::SleepAll(bool checkSupports) {
    ForEachRigid(*this, [checkSupports](RigidBody* r) {
        if (!checkSupports || r->SupportsHold() != 0) {
            r->Sleep();
        }
    });
}

void JointGroup::WakeAll() {
    ForEachRigid(*this, [](RigidBody* r) {
        if (r->IsAsleep()) {
            r->UnparkSupported();
        }
        r->Unpark();
        r->sleepState = kAwake;
    });
}

void JointGroup::BuildRows(int32_t& iterations) {
    for (Joint* j = firstJoint; j != nullptr; j = j->next) {
        if (j->active != 0) {
            j->UpdateFramesAndAngle();
            j->UpdateWorldPoints();
            j->BuildRows();
            if (j->iterations > iterations) {
                iterations = j->iterations;
            }
        }
        if (j == lastJoint) {
            break;
        }
    }
    visited = 1;
}

void Joint::ApplyDamping() {
    RigidBody* b = RigidSide(bodyB);
    const Vector4 wa = bodyA != nullptr ? bodyA->angularVelocity : Vector4();
    const Vector4 wb = b != nullptr ? b->angularVelocity : Vector4();
    Vector4 relative;
    if (kind == kJointBall) {
        relative = wa - wb;
    } else if (kind == kJointHinge) {
        UpdateWorldFrames();
        const Vector4 a = Normalize(worldFrameA.row[1] + worldFrameB.row[1]);
        relative = a * Dot(a, wa) - a * Dot(a, wb);
    } else {
        return;
    }
    if (bodyA != nullptr) {
        bodyA->torqueSum -= relative * angularDamping;
    }
    if (b != nullptr) {
        b->torqueSum += relative * angularDamping;
    }
}

void Joint::RunControllers(float subStep) {
    RigidBody* b = RigidSide(bodyB);
    bool pushes = false;
    for (Controller* c = controllers; c != nullptr; c = c->next) {
        if (c->countdown == 0) {
            if (c->jointCallback != nullptr) {
                c->jointCallback->OnTick(c, subStep);
            }
            c->countdown = c->period;
        } else {
            --c->countdown;
        }
        if (bodyA != nullptr) {
            bodyA->controllerForceSum += c->force;
            bodyA->controllerTorqueSum += c->torque;
        }
        if (b != nullptr) {
            b->controllerForceSum += c->forceB;
            b->controllerTorqueSum += c->torqueB;
        }
        pushes = pushes || AnyComponentAtLeast(c->force, 1e-6f) || AnyComponentAtLeast(c->torque, 1e-6f) ||
                 AnyComponentAtLeast(c->forceB, 1e-6f) || AnyComponentAtLeast(c->torqueB, 1e-6f);
    }
    // A push wakes the whole sleeping group, as a body's own controller wakes its body; otherwise
    // the sums would be wiped by the next tick's keep-asleep gathering.
    if (pushes && bodyA != nullptr && (bodyA->IsAsleep() || (b != nullptr && b->IsAsleep()))) {
        bodyA->WakeGroup();
    }
}

void RigidBody::EnterStackSolve() {
    Unpark();
    if (stackNode == nullptr) {
        return;
    }
    ContactStack* stack = stackNode->stack;
    if (stack == &simulator->GroundedList()) {
        if (stepped != 0) {
            stepped = 0;
            BuildSupportRows(true);
        }
    } else if (stack != nullptr && stack->solved == 0) {
        simulator->ActiveStacks().Append(stack);
        stack->solved = 1;
    }
}

void Simulator::JointPreStep() {
    if (jointGroupPool_.UsedCount() == 0) {
        return;
    }
    ForEachGroupInUse(jointGroupPool_, [](JointGroup* g) {
        for (Joint* j = g->firstJoint; j != nullptr; j = j->next) {
            if (j->active != 0) {
                j->ApplyDamping();
            }
            if (j == g->lastJoint) {
                break;
            }
        }
    });
}

void Simulator::JointPostStep() {
    if (jointGroupPool_.UsedCount() == 0) {
        return;
    }
    const float dt = subStep_;
    ForEachGroupInUse(jointGroupPool_, [dt](JointGroup* g) {
        for (Joint* j = g->firstJoint; j != nullptr; j = j->next) {
            if (j->active != 0) {
                j->RunControllers(dt);
            }
            if (j == g->lastJoint) {
                break;
            }
        }
    });
}

void Simulator::SolveJointGroups() {
    if (jointGroupPool_.UsedCount() == 0) {
        return;
    }
    ForEachGroupInUse(jointGroupPool_, [](JointGroup* g) { g->visited = 0; });
    ForEachGroupInUse(jointGroupPool_, [this](JointGroup* g) {
        if (g->visited != 0) {
            return;
        }
        scratchNodes_.Clear();
        scratchGroups_.Clear();
        activeStacks_.Clear();
        jointRows_.Clear();
        contactRows_.Clear();
        solveGroup_.Clear();
        scratchGroups_.Append(g);
        int awake = 0;
        ForEachRigid(*g, [&awake](RigidBody* r) { awake += r->IsAsleep() ? 0 : 1; });
        if (awake == 0) {
            return;
        }
        int32_t iterations = -1;
        g->BuildRows(iterations);
        GatherJointGroups(iterations);
        SolveRows(-1.0f, iterations);
        SettleGroupSleep();
    });
    solveGroup_.Clear();
    scratchGroups_.Clear();
}

void Simulator::GatherJointGroups(int32_t& iterations) {
    // The array grows while it is walked.
    for (int i = 0; i < activeStacks_.Size(); ++i) {
        ContactStack* stack = activeStacks_[i];
        stack->CollectForSolve();
        for (StackNode* n = stack->firstNode; n != nullptr; n = n->next) {
            JointGroup* g = n->body->jointGroup;
            if (g != nullptr && g != &solveGroup_ && g->visited == 0) {
                g->BuildRows(iterations);
                scratchGroups_.Append(g);
            }
        }
    }
}

void Simulator::SettleGroupSleep() {
    int32_t all = 1;
    for (int i = 0; i < scratchGroups_.Size(); ++i) {
        if (scratchGroups_[i]->AllSettled() == 0) {
            all = 0;
        }
    }
    if (solveGroup_.AllSettled() == 0) {
        all = 0;
    }
    for (int i = 0; i < scratchGroups_.Size(); ++i) {
        if (all != 0) {
            scratchGroups_[i]->SleepAll(false);
        } else {
            scratchGroups_[i]->WakeAll();
        }
    }
    if (all != 0) {
        solveGroup_.SleepAll(false);
    } else {
        solveGroup_.WakeAll();
    }
}

} // namespace Physics
