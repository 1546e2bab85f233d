#include "Physics/ContactStack.h"

#include "Physics/Simulator.h"

namespace Physics {

void ContactStack::AppendNode(StackNode* node) {
    node->stack = this;
    node->next = nullptr;
    node->prev = lastNode;
    if (lastNode != nullptr) {
        lastNode->next = node;
    } else {
        firstNode = node;
    }
    lastNode = node;
    ++nodeCount;
}

void ContactStack::RemoveNode(StackNode* node) {
    if (node->prev != nullptr) {
        node->prev->next = node->next;
    } else {
        firstNode = node->next;
    }
    if (node->next != nullptr) {
        node->next->prev = node->prev;
    } else {
        lastNode = node->prev;
    }
    node->next = nullptr;
    node->prev = nullptr;
    node->stack = nullptr;
    --nodeCount;
}

void ContactStack::MoveNodesTo(ContactStack* destination) {
    if (firstNode == nullptr || destination == this) {
        return;
    }
    for (StackNode* n = firstNode; n != nullptr; n = n->next) {
        n->stack = destination;
    }
    firstNode->prev = destination->lastNode;
    if (destination->lastNode != nullptr) {
        destination->lastNode->next = firstNode;
    } else {
        destination->firstNode = firstNode;
    }
    destination->lastNode = lastNode;
    destination->nodeCount += nodeCount;
}

void ContactStack::Rebuild() {
    WorkArray<StackNode*>& scratch = simulator->ScratchNodes();
    ContactStack& grounded = simulator->GroundedList();
    scratch.Clear();
    while (firstNode != nullptr) {
        StackNode* n = firstNode;
        RemoveNode(n);
        scratch.Append(n);
    }
    for (int i = 0; i < scratch.Size(); ++i) {
        StackNode* n = scratch[i];
        if (n->unsupported != 0) {
            continue;
        }
        for (SupportRecord& r : n->body->supports) {
            RigidBody* o = r.InUse() ? RigidSide(r.supporter) : nullptr;
            if (o == nullptr || o->stackNode == nullptr) {
                continue;
            }
            StackNode* no = o->stackNode;
            ContactStack* so = no->stack;
            // A supporter always sits in the stack being rebuilt; anything else is left alone.
            if (so == &grounded || so == this) {
                continue;
            }
            if (so == nullptr && n->stack == nullptr) {
                ContactStack* fresh = simulator->CreateStack(nullptr);
                if (fresh == nullptr) {
                    continue;
                }
                fresh->solved = solved;
                fresh->AppendNode(n);
                fresh->AppendNode(no);
            } else if (so == nullptr) {
                n->stack->AppendNode(no);
            } else if (n->stack == nullptr) {
                so->AppendNode(n);
            } else if (so != n->stack) {
                so->MoveNodesTo(n->stack);
                simulator->FreeStack(so);
            }
        }
    }
    for (int i = 0; i < scratch.Size(); ++i) {
        StackNode* n = scratch[i];
        if (n->stack != nullptr) {
            continue;
        }
        RigidBody* body = n->body;
        for (SupportRecord& r : body->supports) {
            if (r.InUse()) {
                r.Release();
            }
        }
        body->stackNode = nullptr;
        n->body = nullptr;
        simulator->StackNodePool().Return(n);
    }
}

void ContactStack::CollectForSolve() {
    JointGroup& group = simulator->SolveGroup();
    for (StackNode* n = firstNode; n != nullptr; n = n->next) {
        n->visited = 0;
    }
    for (StackNode* n = firstNode; n != nullptr; n = n->next) {
        if (n->visited != 0) {
            continue;
        }
        if (n->body->jointGroup == nullptr) {
            group.AddBody(n->body);
        }
        if (n->supportOnly == 0) {
            n->Collect(true);
        }
    }
}

void StackNode::Collect(bool addToGroup) {
    visited = 1;
    Simulator* simulator = body->simulator;
    for (SupportRecord& r : body->supports) {
        RigidBody* o = r.InUse() ? RigidSide(r.supporter) : nullptr;
        if (o == nullptr || o->stackNode == nullptr || o->stackNode->visited != 0) {
            continue;
        }
        if (addToGroup && o->jointGroup == nullptr) {
            simulator->SolveGroup().AddBody(o);
        }
        if (o->stackNode->supportOnly == 0) {
            o->stackNode->Collect(addToGroup);
        }
    }
    body->BuildSupportRows(addToGroup);
}

ContactStack* Simulator::CreateStack(StackNode* node) {
    ContactStack* stack = contactStackPool_.Take();
    if (stack == nullptr) {
        return nullptr;
    }
    stack->simulator = this;
    stack->firstNode = nullptr;
    stack->lastNode = nullptr;
    stack->nodeCount = 0;
    stack->grounded = 0;
    stack->allAsleep = 0;
    stack->solved = 0;
    stacks_.Append(stack);
    if (node != nullptr) {
        stack->AppendNode(node);
    }
    return stack;
}

void Simulator::FreeStack(ContactStack* stack) {
    stacks_.Unlink(stack);
    stack->firstNode = nullptr;
    stack->lastNode = nullptr;
    stack->nodeCount = 0;
    contactStackPool_.Return(stack);
}

void Simulator::UpdateStacks() {
    activeStacks_.Clear();
    for (ContactStack* s = stacks_.head; s != nullptr; s = s->next) {
        s->allAsleep = 1;
        for (StackNode* n = s->firstNode; n != nullptr; n = n->next) {
            if (!n->body->IsAsleep() || n->body->pushedLastTick != 0) {
                s->allAsleep = 0;
                break;
            }
        }
        // A stack that is not all asleep is rebuilt and solved: every body of it takes part.
        if (s->allAsleep == 0) {
            for (StackNode* n = s->firstNode; n != nullptr; n = n->next) {
                n->body->Unpark();
            }
        }
    }
    for (ContactStack* s = stacks_.head; s != nullptr; s = s->next) {
        if (s->allAsleep == 0) {
            activeStacks_.Append(s);
        }
    }
    for (TickList& list : ticking_) {
        for (RigidBody* r = list.head; r != nullptr; r = r->tickNext) {
            StackNode* node = r->stackNode;
            if (node == nullptr || node->supportOnly != 0) {
                continue;
            }
            const int32_t c = r->ValidateSupports();
            r->pushedLastTick = 0;
            if (c == 0 && node->stack == &grounded_) {
                r->ReleaseStackNode();
            }
            if (c <= 1 && r->IsAsleep() && r->jointGroup == nullptr) {
                r->Wake();
            }
        }
    }
    const int k = stepCount_ % 5;
    for (int i = 0; i < activeStacks_.Size(); ++i) {
        ContactStack* s = activeStacks_[i];
        if (i % 5 == k && s->allAsleep == 0) {
            s->Rebuild();
            FreeStack(s);
        }
    }
    for (ContactStack* s = stacks_.head; s != nullptr;) {
        ContactStack* next = s->next;
        if (s->nodeCount == 0) {
            FreeStack(s);
        }
        s = next;
    }
}

void Simulator::SolveStacks() {
    contactRows_.Clear();
    secondPass_ = 1;
    for (StackNode* n = grounded_.firstNode; n != nullptr;) {
        StackNode* next = n->next;
        RigidBody* x = n->body;
        if (!x->IsAsleep() && x->stepped != 0 && x->BuildSupportRows(false) > 0) {
            for (int i = 0; i < contactRows_.Size(); ++i) {
                ConstraintRow& row = contactRows_[i];
                ApplyContactImpulse(row.bodyA, row.bodyB, row, 2, 1.0f);
            }
            contactRows_.Clear();
            if (x->IsSettled() != 0 && x->SupportsHold() != 0 && x->RestStability() != 0) {
                x->Sleep();
            }
        }
        n = next;
    }
    for (ContactStack* s = stacks_.head; s != nullptr;) {
        ContactStack* next = s->next;
        if (s->nodeCount <= 1) {
            if (StackNode* only = s->firstNode) {
                only->body->Unpark();
                s->RemoveNode(only);
                if (only->supportOnly == 0) {
                    grounded_.AppendNode(only);
                } else {
                    only->body->stackNode = nullptr;
                    only->body = nullptr;
                    stackNodePool_.Return(only);
                }
            }
            FreeStack(s);
        }
        s = next;
    }
    for (ContactStack* s = stacks_.head; s != nullptr;) {
        ContactStack* next = s->next;
        if (s->allAsleep == 0 && s->solved == 0) {
            scratchNodes_.Clear();
            activeStacks_.Clear();
            solveGroup_.Clear();
            contactRows_.Clear();
            s->CollectForSolve();
            profiler_->Lap(PhaseProfiler::kStackSolveInner);
            SolveRows(-1.0f, 2);
            profiler_->Lap(PhaseProfiler::kStacks);
            if (solveGroup_.AllSettled() != 0) {
                solveGroup_.SleepAll(true);
            }
        }
        s = next;
    }
    solveGroup_.Clear();
    contactRows_.Clear();
}

} // namespace Physics
