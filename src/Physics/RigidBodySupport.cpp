// How a RigidBody's supports turn into stack membership and resting-contact rows.
#include "Physics/RigidBody.h"

#include "Physics/ContactStack.h"
#include "Physics/Simulator.h"

namespace Physics {

namespace {

constexpr const char* kNodePoolFull = "Stacking Buffer full Error. Please contact techincal support\n";

StackNode* TakeNode(RigidBody* body, int32_t supportOnly) {
    Simulator* simulator = body->simulator;
    StackNode* node = simulator->StackNodePool().Take();
    if (node == nullptr) {
        simulator->ReportMessage(kNodePoolFull);
        return nullptr;
    }
    node->stack = nullptr;
    node->unsupported = 0;
    node->visited = 0;
    node->body = body;
    node->supportOnly = supportOnly;
    body->stackNode = node;
    return node;
}

} // namespace

void SupportRecord::Update() {
    ownerWorldPoint = ownerPoint * owner->rotation + owner->position;
    ownerWorldPoint.w = 0.0f;
    const Matrix3 r = supporter->WorldRotation();
    worldNormal = normal * r;
    supporterWorldPoint = supporterPoint * r + supporter->WorldPosition();
    supporterWorldPoint.w = 0.0f;
    gap = ownerWorldPoint - supporterWorldPoint;
    separation = Dot(gap, worldNormal);
    drift = LengthSquared(gap - worldNormal * separation);
}

int32_t RigidBody::AddSupport(const SupportRecord& from) {
    Unpark();
    if (stackNode == nullptr) {
        return CreateStackNode(from);
    }
    if (stackNode->supportOnly == 1) {
        stackNode->supportOnly = 0;
    }
    StoreSupport(from);
    RigidBody* s = RigidSide(from.supporter);
    ContactStack* sx = stackNode->stack;
    if (s == nullptr || sx == nullptr) {
        return 1;
    }
    ContactStack* grounded = &simulator->GroundedList();
    if (s->stackNode == nullptr) {
        if (sx == grounded) {
            grounded->RemoveNode(stackNode);
            ContactStack* stack = simulator->CreateStack(stackNode);
            if (stack == nullptr) {
                grounded->AppendNode(stackNode);
                return 0;
            }
            return s->JoinAsSupport(stack);
        }
        return s->JoinAsSupport(sx);
    }
    ContactStack* ss = s->stackNode->stack;
    // Two grounded bodies resting on one another leave the grounded list together.
    if (ss == nullptr || (ss == sx && ss != grounded)) {
        return 1;
    }
    if (ss == grounded) {
        grounded->RemoveNode(s->stackNode);
        if (sx == grounded) {
            grounded->RemoveNode(stackNode);
            ContactStack* stack = simulator->CreateStack(stackNode);
            if (stack == nullptr) {
                grounded->AppendNode(stackNode);
                grounded->AppendNode(s->stackNode);
                return 1;
            }
            stack->AppendNode(s->stackNode);
        } else {
            sx->AppendNode(s->stackNode);
        }
    } else if (sx == grounded) {
        grounded->RemoveNode(stackNode);
        ss->AppendNode(stackNode);
    } else {
        ss->MoveNodesTo(sx);
        simulator->FreeStack(ss);
    }
    return 1;
}

int32_t RigidBody::CreateStackNode(const SupportRecord& from) {
    Unpark();
    StackNode* node = TakeNode(this, 0);
    if (node == nullptr) {
        return 0;
    }
    StoreSupport(from);
    RigidBody* s = RigidSide(from.supporter);
    ContactStack* grounded = &simulator->GroundedList();
    if (s == nullptr) {
        grounded->AppendNode(node);
        return 1;
    }
    if (s->stackNode == nullptr) {
        ContactStack* stack = simulator->CreateStack(node);
        if (stack == nullptr) {
            grounded->AppendNode(node);
            return 1;
        }
        return s->JoinAsSupport(stack);
    }
    ContactStack* ss = s->stackNode->stack;
    if (ss == grounded) {
        grounded->RemoveNode(s->stackNode);
        ContactStack* stack = simulator->CreateStack(node);
        if (stack == nullptr) {
            grounded->AppendNode(node);
            grounded->AppendNode(s->stackNode);
            return 1;
        }
        stack->AppendNode(s->stackNode);
    } else if (ss != nullptr) {
        ss->AppendNode(node);
    } else {
        grounded->AppendNode(node);
    }
    if (s->jointGroup == nullptr) {
        s->Wake();
    }
    return 1;
}

int32_t RigidBody::JoinAsSupport(ContactStack* stack) {
    Unpark();
    StackNode* node = TakeNode(this, 1);
    if (node == nullptr) {
        return 0;
    }
    stack->AppendNode(node);
    return 1;
}

void RigidBody::ReleaseStackNode() {
    Unpark();
    if (stackNode == nullptr) {
        return;
    }
    if (stackNode->stack != nullptr) {
        stackNode->stack->RemoveNode(stackNode);
    }
    stackNode->body = nullptr;
    simulator->StackNodePool().Return(stackNode);
    stackNode = nullptr;
}

int32_t RigidBody::ValidateSupports() {
    if (stackNode == nullptr) {
        return 0;
    }
    if (IsAsleep() && pushedLastTick == 0) {
        int32_t count = 0;
        bool resting = true;
        for (const SupportRecord& r : supports) {
            if (r.InUse()) {
                ++count;
                resting = resting && r.IsSupportResting();
            }
        }
        if (resting) {
            return count;
        }
    }
    const Vector4& down = simulator->GetGravityDirection();
    int32_t count = 0;
    for (SupportRecord& r : supports) {
        if (!r.InUse()) {
            continue;
        }
        r.Update();
        if (Dot(r.worldNormal, down) > 0.0f || r.separation > 0.01f || r.drift > 0.001f) {
            r.Release();
            supportCount = 0;
        } else {
            ++count;
        }
    }
    stackNode->unsupported = count == 0 ? 1 : 0;
    return count;
}

int32_t RigidBody::BuildSupportRows(bool addAll) {
    struct Kept {
        int slot;
        float s;
        Vector4 ownPoint;
        Vector4 supPoint;
    };
    Unpark();
    Kept kept[kSupportSlots];
    int n = 0;
    for (int i = 0; i < kSupportSlots; ++i) {
        SupportRecord& r = supports[i];
        if (!r.InUse()) {
            continue;
        }
        if (!r.IsSupportValid(*simulator)) {
            r.Release();
            continue;
        }
        r.Update();
        const Vector4 own = r.ownerWorldPoint;
        const Vector4 sup = r.GetWorldContact();
        const float s = Dot(own - sup, r.worldNormal);
        const Vector4 t = (own - sup) - r.worldNormal * s;
        if (LengthSquared(t) > 0.025f) {
            r.Release();
            continue;
        }
        kept[n++] = {i, s, own, sup};
    }
    if (n == 0) {
        supportCount = 0;
        return 0;
    }
    auto addRow = [&](const Kept& k) {
        const SupportRecord& r = supports[k.slot];
        ConstraintRow row{};
        row.offsetA = k.ownPoint - position;
        row.offsetB = k.supPoint - r.supporter->WorldPosition();
        row.offsetA.w = row.offsetB.w = 0.0f;
        row.normal = r.worldNormal;
        row.materialA = r.ownerMaterial;
        row.materialB = r.supporterMaterial;
        row.depth = -r.separation;
        row.bodyA = this;
        row.bodyB = r.supporter;
        row.type = kRestingContact;
        row.Prepare(false, false);
        if (addAll || !row.DropSleepingSide()) {
            simulator->AppendContactRow(row);
        }
    };
    if (n == 1 && kept[0].s < 0.0f) {
        // A body sinking into its only support gets its row but counts no supports.
        addRow(kept[0]);
        supportCount = 0;
        return 1;
    }
    int m = 0;
    for (int k = 0; k < n; ++k) {
        if (kept[k].s > 0.01f) {
            continue;
        }
        addRow(kept[k]);
        supportIndices[m++] = kept[k].slot;
    }
    supportCount = m;
    return m;
}

} // namespace Physics
