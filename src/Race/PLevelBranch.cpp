#include "Race/PLevelBranch.h"

#include "Core/PRayQuery.h"
#include "Render/PRenderObject.h"

namespace {

void* g_tunnelSlots[kTunnelSlots] = {};
TunnelRegistrar g_tunnelRegistrar = nullptr;

constexpr int kLevelObjectPriority = 200;

CPBoundingBox OwnBounds(const CPGameObject& object) {
    CPBoundingBox box;
    box.SetFromOrientedBox(object.GetOwnBox());
    return box;
}

const CPManagedObject* MeshMaterial(const CPGameObject& object) {
    const auto* mesh = dynamic_cast<const CPRenderObject*>(object.GetRenderPart().Get());
    return mesh ? mesh->GetMaterial().Get() : nullptr;
}

} // namespace

void SetTunnelRegistrar(TunnelRegistrar registrar) { g_tunnelRegistrar = registrar; }

void* GetTunnelSlot(int index) { return index >= 0 && index < kTunnelSlots ? g_tunnelSlots[index] : nullptr; }

void ClearTunnelSlots() {
    for (void*& slot : g_tunnelSlots) slot = nullptr;
}

CPLevelBranch::~CPLevelBranch() = default;

void CPLevelBranch::SetObjects(const ObjectList& objects) {
    objects_.insert(objects_.end(), objects.begin(), objects.end());
    if (!objects_.empty()) {
        box_ = OwnBounds(*objects_[0]);
        for (size_t i = 1; i < objects_.size(); ++i) box_.Merge(OwnBounds(*objects_[i]));
        CPGameObject::ObjectList work;
        for (const auto& object : objects_) object->CollectObjects(work);
        RegisterObjects(work);
    }
    SortObjects();
}

void CPLevelBranch::RegisterObjects(const ObjectList& work) {
    for (const auto& object : work) {
        if (object->GetRenderType() == CPGameObject::RenderNone) continue;
        if (object->IsCollision() && object->GetPhysicData() && object->GetName() == "tunnel" && g_tunnelRegistrar) {
            if (void* body = g_tunnelRegistrar(object.Get())) {
                for (void*& slot : g_tunnelSlots) {
                    if (!slot) {
                        slot = body;
                        break;
                    }
                }
            }
        }
        object->Activate(kLevelObjectPriority);
        if (object->IsStatic() && object->GetRenderType() == CPGameObject::RenderMesh) {
            if (const CPManagedObject* material = MeshMaterial(*object)) materials_.insert(material);
            if (object->IsShadowBox() && object->GetExtraMaterial())
                materials_.insert(object->GetExtraMaterial().Get());
        }
    }
}

void CPLevelBranch::SortObjects() {
    for (const auto& object : objects_) (object->IsStatic() ? staticObjects_ : dynamicObjects_).push_back(object);
}

void CPLevelBranch::Build(int depth) {
    // An explicit stack of nodes still to split: the depth of the tree follows the data, and a
    // long run of nearly coincident objects must not exhaust the call stack.
    std::vector<CPLevelBranch*> pending{this};
    (void)depth;
    while (!pending.empty()) {
        CPLevelBranch* node = pending.back();
        pending.pop_back();
        if (node->objects_.empty()) continue;
        CPBoundingBox centres;
        std::vector<Vec3> centre(node->objects_.size());
        for (size_t i = 0; i < node->objects_.size(); ++i) {
            CPBoundingBox own = OwnBounds(*node->objects_[i]);
            own.UpdateCentre();
            centre[i] = own.GetCentre();
            CPBoundingBox point;
            point.min = point.max = centre[i];
            centres.Merge(point);
        }
        const Vec3 mid = (centres.min + centres.max) * 0.5f;
        int bestCost = 0;
        for (int axis = 0; axis < 3; ++axis) {
            ObjectList sides[2];
            for (size_t i = 0; i < node->objects_.size(); ++i) {
                const float c = axis == 0 ? centre[i].x : axis == 1 ? centre[i].y : centre[i].z;
                const float m = axis == 0 ? mid.x : axis == 1 ? mid.y : mid.z;
                sides[c > m ? 0 : 1].push_back(node->objects_[i]);
            }
            if (sides[0].empty() || sides[1].empty()) continue;
            CPRefPtr<CPLevelBranch> first(new CPLevelBranch), second(new CPLevelBranch);
            first->SetObjects(sides[0]);
            second->SetObjects(sides[1]);
            const int cost = first->GetMaterialCount() + second->GetMaterialCount();
            if (!node->children_[0] || cost < bestCost) {
                node->children_[0] = first;
                node->children_[1] = second;
                bestCost = cost;
            }
        }
        if (node->children_[0]) {
            // Second child pushed first so that the first child is split first.
            pending.push_back(node->children_[1].Get());
            pending.push_back(node->children_[0].Get());
            CPManagedObject::CollectGarbage();
        }
    }
}

int CPLevelBranch::Cull(const BoxVisible& visible, const DrawObject& draw, int limit) const {
    (void)limit;
    int drawn = 0;
    std::vector<const CPLevelBranch*> pending{this};
    while (!pending.empty()) {
        const CPLevelBranch* node = pending.back();
        pending.pop_back();
        if (!visible(node->box_)) continue;
        if (!node->IsLeaf()) {
            pending.push_back(node->children_[1].Get());
            pending.push_back(node->children_[0].Get());
            continue;
        }
        drawn += static_cast<int>(node->objects_.size());
        for (const auto& object : node->dynamicObjects_) draw(object.Get());
        for (const auto& object : node->staticObjects_) draw(object.Get());
    }
    return drawn;
}

bool CPLevelBranch::RayTest(CPRayQuery& query) const {
    bool hit = false;
    std::vector<const CPLevelBranch*> pending{this};
    while (!pending.empty()) {
        const CPLevelBranch* node = pending.back();
        pending.pop_back();
        if (!node->box_.IntersectsSegment(query.origin, query.direction, query.distance)) continue;
        if (!node->IsLeaf()) {
            pending.push_back(node->children_[1].Get());
            pending.push_back(node->children_[0].Get());
            continue;
        }
        for (const auto& object : node->objects_)
            if (object->RayPick(query)) hit = true;
    }
    return hit;
}

void CPLevelBranch::DeactivateObjects() {
    for (auto& child : children_)
        if (child) child->DeactivateObjects();
    for (const auto& object : dynamicObjects_) object->Deactivate();
}

void CPLevelBranch::ReleaseObjects() {
    for (auto& child : children_)
        if (child) child->ReleaseObjects();
    objects_.clear();
    dynamicObjects_.clear();
    staticObjects_.clear();
    materials_.clear();
}
