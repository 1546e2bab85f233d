#include "Core/PGameObject.h"

#include <cstdio>
#include <utility>

#include "Core/PFileReader.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PLog.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Core/TaskPriorities.h"

Mat4 ShadowMatrix;

namespace {

FlameSource g_flameSource = nullptr;

bool IsZero(const Mat4& m) {
    for (const auto& row : m.m)
        for (float v : row)
            if (v != 0.0f) return false;
    return true;
}

CPLuaScript* LookUpObjectScript(CPManagedObject* object) {
    auto* gameObject = dynamic_cast<CPGameObject*>(object);
    return gameObject ? gameObject->GetScriptPointer() : nullptr;
}

// The render side of the object's part; null without a part, or when the part is not of the kind
// the object's render type names.
CPRenderPart* RenderPartOf(const CPGameObject* node) {
    auto* part = dynamic_cast<CPRenderPart*>(node->GetRenderPart().Get());
    return part && part->GetRenderType() == node->GetRenderType() ? part : nullptr;
}

// A particle system part is a task of its own.
CPTask* PartTaskOf(const CPGameObject* node) {
    return RenderPartOf(node) ? dynamic_cast<CPTask*>(node->GetRenderPart().Get()) : nullptr;
}

bool AddToKernel(CPTask* task, int priority) {
    task->SetPriority(priority);
    CPKernel* kernel = GetKernel();
    return kernel && kernel->AddTask(CPRefPtr<CPTask>(task));
}

// Visits the subtree of root in pre-order without recursion, so a deep chain of children cannot
// exhaust the stack. visit answers false to skip the node's children. The children list of a node
// is read as the walk reaches each entry, so children added by visit are walked too.
template <class Visit>
void WalkPreOrder(CPGameObject* root, Visit visit) {
    struct Frame {
        CPGameObject* node;
        size_t next;
    };
    if (!visit(root)) return;
    std::vector<Frame> stack{{root, 0}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        const auto& children = top.node->GetChildren();
        if (top.next >= children.size()) {
            stack.pop_back();
            continue;
        }
        CPGameObject* child = children[top.next++].Get();
        if (visit(child)) stack.push_back({child, 0});
    }
}

} // namespace

void SetFlameSource(FlameSource source) { g_flameSource = source; }

CPGameObject::CPGameObject(const std::string& name) {
    SetName(name);
    secondary_.push_back({this, 0});
    // Lets the script layer find an object's script; installing it again is harmless.
    SetObjectScriptLookup(&LookUpObjectScript);
}

CPGameObject::~CPGameObject() {
    CPGameObject::Deactivate();
    if (renderType_ == RenderParticles) {
        if (CPTask* system = PartTaskOf(this)) system->Stop();
    }
    // Children that outlive this object must not keep pointing at it.
    for (const auto& child : children_)
        if (child && child->parent_ == this) child->parent_ = nullptr;
    car_.Reset();
    physicData_.Reset();
    renderPart_.Reset();
}

void CPGameObject::SetName(const std::string& name) {
    name_ = name;
    typeName_ = "CPGameObject - " + name;
}

void CPGameObject::SendToScript(const char* command, const std::string& params) const {
    if (!script_) return;
    if (CPScriptManager* manager = GetScriptManager()) manager->SendCommandByObject(script_, command, params);
}

// ---- tree ----

void CPGameObject::CollectObjects(ObjectList& objects) {
    WalkPreOrder(this, [&](CPGameObject* node) {
        objects.emplace_back(node);
        return true;
    });
}

void CPGameObject::AddChild(const CPRefPtr<CPGameObject>& child) {
    if (!child) return;
    bool loop = false;
    WalkPreOrder(child.Get(), [&](CPGameObject* node) {
        if (node == this) loop = true;
        return !loop;
    });
    if (loop) return;
    child->parent_ = this;
    children_.push_back(child);
    childNames_.Set(child->name_, child);
}

CPRefPtr<CPGameObject> CPGameObject::FindChild(const std::string& name) const {
    CPGameObject* found = nullptr;
    WalkPreOrder(const_cast<CPGameObject*>(this), [&](CPGameObject* node) {
        if (found) return false;
        // An entry may be empty: GetPartByName leaves one for an unknown name.
        if (const auto* entry = node->childNames_.Find(name); entry && *entry) found = entry->Get();
        return !found;
    });
    return CPRefPtr<CPGameObject>(found);
}

CPRefPtr<CPGameObject> CPGameObject::GetScriptOwner() {
    CPGameObject* node = this;
    while (!node->script_ && node->parent_) node = node->parent_;
    return CPRefPtr<CPGameObject>(node);
}

CPRefPtr<CPGameObject> CPGameObject::GetPartByName(const std::string& name) { return childNames_[name]; }

// ---- transform ----

void CPGameObject::SetPosition(const Vec3& position) {
    for (size_t i = 1; i < secondary_.size(); ++i) secondary_[i].object->SetPosition(position);
    position_ = position;
    MarkDirty();
    if (physicData_) physicData_->SetPosition(position);
}

void CPGameObject::SetRotation(const Quat& rotation) {
    for (size_t i = 1; i < secondary_.size(); ++i) secondary_[i].object->SetRotation(rotation);
    rotation_ = rotation;
    MarkDirty();
    if (physicData_) physicData_->SetOrientation(rotation);
}

void CPGameObject::BeginTransform() {
    localMatrix_ = MatRotationQuaternion(rotation_) * MatTranslation(position_.x, position_.y, position_.z);
    worldMatrix_ = localMatrix_ * baseMatrix_ * parentMatrix_;
    for (CPOrientedBox& box : collisionBoxes_) {
        box.worldMatrix = box.localMatrix * worldMatrix_;
        box.Update();
    }
    ownBox_.worldMatrix = ownBox_.localMatrix * worldMatrix_;
    ownBox_.Update();
    visibilityBounds_.SetFromOrientedBox(ownBox_);
    collisionBounds_.SetFromBoxes(collisionBoxes_);
    for (size_t i = 1; i < secondary_.size(); ++i) secondary_[i].object->UpdateTransform();
}

void CPGameObject::FinishTransform() {
    if (shadow_ && !IsZero(ShadowMatrix)) visibilityBounds_.ExtendByTransform(ShadowMatrix);
    visibilityBounds_.UpdateCentre();
    transformFresh_ = true;
    dirty_ = false;
    if (renderType_ == RenderMesh) {
        if (CPRenderPart* mesh = RenderPartOf(this)) mesh->SetWorldMatrix(worldMatrix_);
    }
}

void CPGameObject::UpdateTransform() {
    if (!dirty_) return;
    // Iterative so that a deep chain of children cannot exhaust the stack. Each child is rebuilt
    // from this object's new world matrix; its bounds are merged in once its subtree is done.
    struct Frame {
        CPGameObject* node;
        size_t next;
    };
    BeginTransform();
    std::vector<Frame> stack{{this, 0}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        CPGameObject* node = top.node;
        if (top.next < node->children_.size()) {
            CPGameObject* child = node->children_[top.next++].Get();
            child->transformFresh_ = false;
            child->parentMatrix_ = node->worldMatrix_;
            child->dirty_ = true;
            child->BeginTransform();
            stack.push_back({child, 0});
            continue;
        }
        node->FinishTransform();
        stack.pop_back();
        if (!stack.empty()) {
            CPGameObject* parent = stack.back().node;
            parent->collisionBounds_.Merge(node->collisionBounds_);
            parent->visibilityBounds_.Include(node->visibilityBounds_);
        }
    }
}

void CPGameObject::SetBoundingBox(const CPOrientedBox& box) {
    ownBox_ = box;
    visibilityBounds_.SetFromOrientedBox(ownBox_);
}

// ---- tasks and events ----

void CPGameObject::Activate(int priority) {
    if (active_) return;
    active_ = true;
    if (currentAnimation_) AddToKernel(currentAnimation_.Get(), priority);
    if (renderType_ == RenderParticles && visible_) {
        CPTask* system = PartTaskOf(this);
        if (system && !system->IsRunning()) AddToKernel(system, priority);
    }
    // A snapshot: an activated child's script may change the tree.
    const ObjectList children = children_;
    for (const auto& child : children) child->Activate(priority);
    if (script_) {
        AddToKernel(script_, priority);
        // The script receives the handle and owns this reference.
        AddRef();
        SendToScript("add_object", FormatHandle(this));
    }
}

void CPGameObject::Deactivate() {
    if (!active_) return;
    if (renderType_ == RenderParticles) {
        if (CPTask* system = PartTaskOf(this)) system->Stop();
    }
    active_ = false;
    if (currentAnimation_) currentAnimation_->Stop();
    const ObjectList children = children_;
    for (const auto& child : children) child->Deactivate();
    SendToScript("delete_object", FormatHandle(this));
}

void CPGameObject::OnAnimationEnd() { SendToScript("animation_end", FormatHandle(this)); }

void CPGameObject::Damage(const Vec3& point, const Vec3& direction, float amount, CPGameObject* source, bool silent) {
    if (!silent && script_) {
        char text[64];
        std::snprintf(text, sizeof(text), "%.2f", amount);
        SendToScript("damage", text);
    }
    if (enemyController_) enemyController_->Damage(point, direction, amount * 1.0f, source, silent);
}

void CPGameObject::NotifyAnimationStopped() {
    if (enemyController_) enemyController_->NotifyAnimationStopped();
}

void CPGameObject::NotifyAnimationReport() {
    if (enemyController_) enemyController_->NotifyAnimationReport();
}

void CPGameObject::MarkForGibsAtRandom(bool flag) {
    if (!enemyController_) return;
    if (EngineRand() & 1) enemyController_->SetGibs(flag);
}

// ---- animation ----

void CPGameObject::AddAnimation(const std::string& name, const CPRefPtr<CPObjectAnimation>& animation) {
    if (!animation) return;
    hasAnimations_ = true;
    static_ = false;
    animations_.Set(name, animation);
    if (name == "idle") {
        currentAnimation_ = animation;
        animation->loop = true;
    }
}

void CPGameObject::PlayAnimation(const AnimationRequest& request, bool restart) {
    WalkPreOrder(this, [&](CPGameObject* node) {
        if (node->renderType_ != RenderAnimatedMesh) return true;
        if (CPRenderPart* part = RenderPartOf(node)) part->StartAnimation(request, restart);
        return true;
    });
}

// ---- render part and description ----

void CPGameObject::ApplyAltMaterial() {
    WalkPreOrder(this, [](CPGameObject* node) {
        if (!node->altMaterial_) return true;
        if (node->renderType_ == RenderMesh || node->renderType_ == RenderAnimatedMesh) {
            if (CPRenderPart* part = RenderPartOf(node)) part->ApplyMaterial(node->altMaterial_.Get());
        }
        return true;
    });
}

bool CPGameObject::LoadDescription() {
    description_.Clear();
    CPFileReader reader("Data\\Descriptions\\" + descriptionName_);
    if (FAILED(reader.Load())) {
        GetLog().Write(0, "%s cannot be read\n", reader.GetPath().c_str());
        return false;
    }
    // Line ends as a file load would see them.
    std::string text;
    text.reserve(reader.GetLength());
    const char* data = reinterpret_cast<const char*>(reader.GetData());
    for (int i = 0; i < reader.GetLength(); ++i) {
        if (data[i] == '\r') {
            text += '\n';
            if (i + 1 < reader.GetLength() && data[i + 1] == '\n') ++i;
        } else {
            text += data[i];
        }
    }
    description_.Parse(text.c_str());
    if (description_.Error()) {
        GetLog().Write(0, "%s: %s\n", reader.GetPath().c_str(), description_.ErrorDesc());
        description_.Clear();
        return false;
    }
    return true;
}

void CPGameObject::StartFlames() {
    WalkPreOrder(this, [](CPGameObject* node) {
        if (node->flameType_ < 0) return true;
        // A flame type past the flame list makes no flame; the type is cleared all the same.
        CPRefPtr<CPTask> flame = g_flameSource ? g_flameSource(node->flameType_) : nullptr;
        if (flame) {
            AddToKernel(flame.Get(), TaskPriority::RaceObject);
            CPRefPtr<CPGameObject> holder(new CPGameObject("flame"));
            holder->renderType_ = RenderParticles;
            holder->renderPart_ = flame;
            if (CPRenderPart* part = RenderPartOf(holder.Get())) part->SetOwner(holder.Get());
            node->AddChild(holder);
            node->SetPosition(node->position_);
            node->UpdateTransform();
        }
        node->flameType_ = -1;
        return true;
    });
}

bool CPGameObject::RayPick(CPRayQuery& query) {
    bool hit = false;
    WalkPreOrder(this, [&](CPGameObject* node) {
        if (!node->collision_ || query.excludedObject == node) return false;
        if (!node->collisionBounds_.IntersectsSegment(query.origin, query.direction, query.distance)) return false;
        bool boxHit = false;
        for (const CPOrientedBox& box : node->collisionBoxes_)
            if (box.IntersectsRay(query.origin, query.direction, query.distance, query.hitPlane)) boxHit = true;
        if (boxHit) {
            query.hitObject = node;
            query.hitOwner = node->GetScriptOwner();
            hit = true;
        }
        return true;
    });
    return hit;
}

// ---- copy ----

void CPGameObject::CopyFrom(const CPRefPtr<CPGameObject>& sourceHandle) {
    const CPGameObject* source = sourceHandle.Get();
    if (!source || source == this) return;

    ownBox_ = source->ownBox_;
    visibilityBounds_ = source->visibilityBounds_;
    renderType_ = source->renderType_;
    description_ = source->description_;

    renderPart_.Reset();
    if (CPRenderPart* part = RenderPartOf(source)) renderPart_ = part->CloneForOwner(this);

    for (const CPOrientedBox& box : source->collisionBoxes_) collisionBoxes_.emplace_back(box.centre, box.halfExtents);

    for (const auto& [name, animation] : source->animations_) {
        if (animation) AddAnimation(name, animation->CopyForTarget(this));
    }

    // A snapshot, so that copying from an ancestor cannot walk into the copies being added.
    const ObjectList sourceChildren = source->children_;
    for (const auto& sourceChild : sourceChildren) {
        if (!sourceChild) continue;
        CPRefPtr<CPGameObject> child(new CPGameObject(sourceChild->name_));
        child->parent_ = this;
        child->CopyFrom(sourceChild);
        children_.push_back(child);
        childNames_.Set(child->name_, child);
    }

    shadowMaterial_ = source->shadowMaterial_;
    altMaterial_ = source->altMaterial_;
    flameType_ = source->flameType_;
    position_ = source->position_;
    rotation_ = source->rotation_;
    parentMatrix_ = source->parentMatrix_;
    baseMatrix_ = source->baseMatrix_;
    localMatrix_ = source->localMatrix_;
    worldMatrix_ = source->worldMatrix_;
    SetName(source->name_);
    visible_ = source->visible_;
    static_ = source->static_;
    shadow_ = source->shadow_;
    script_ = source->script_;

    if (source->physicData_) physicData_ = source->physicData_->CloneForOwner(this);

    transformFresh_ = false;
    dirty_ = true;
    UpdateTransform();
}

// ---- script side ----

void CPGameObject::SetScript(CPLuaScript* script) {
    if (!script) return;
    static_ = false;
    for (const auto& child : children_)
        if (child) child->static_ = false;
    script_ = script;
}

void CPGameObject::SetStatic(bool flag) {
    WalkPreOrder(this, [flag](CPGameObject* node) {
        node->static_ = flag;
        return true;
    });
}
