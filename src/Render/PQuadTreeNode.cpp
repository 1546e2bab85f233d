#include "Render/PQuadTreeNode.h"

#include <algorithm>

#include "Core/PLog.h"
#include "Core/PSettings.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"

namespace {

// Half-open on x and y so that every point of the parent lies in exactly one child.
bool Holds(const CPBoundingBox& box, const Vec3& p) {
    return p.x >= box.min.x && p.x < box.max.x && p.y >= box.min.y && p.y < box.max.y && p.z >= box.min.z &&
           p.z <= box.max.z;
}

int LeafDepth() {
    const int levels = std::clamp(g_quadlevels, 0, CPQuadTreeNode::kMaxLevels);
    if (levels != g_quadlevels)
        GetLog().Write(0, "quadlevels %d is out of 0..%d; %d is used\n", g_quadlevels, CPQuadTreeNode::kMaxLevels,
                       levels);
    return levels;
}

} // namespace

CPQuadTreeNode::~CPQuadTreeNode() {
    for (CPQuadTreeNode*& child : children_) {
        delete child;
        child = nullptr;
    }
}

void CPQuadTreeNode::SetBox(const Vec3& centre, const Vec3& halfExtents) {
    box_ = std::make_unique<CPBoundingBox>();
    box_->min = centre - halfExtents;
    box_->max = centre + halfExtents;
    box_->UpdateCentre();
}

void CPQuadTreeNode::SetChild(int index, CPQuadTreeNode* node) {
    if (index < 0 || index > 3) {
        delete node;
        return;
    }
    if (children_[index] != node) delete children_[index];
    children_[index] = node;
}

void CPQuadTreeNode::Build(const std::vector<CPRefPtr<CPGameObject>>& objects, int depth) {
    if (!box_) SetBox(Vec3(), Vec3());
    // An empty quadrant is not split further: its children would hold nothing and leave its box as
    // it is, and a deep tree of them only costs memory.
    if (depth >= LeafDepth() || objects.empty()) {
        for (const auto& o : objects) {
            if (!o) continue;
            objects_.push_back(o);
            if (objects_.size() == 1) *box_ = o->GetVisibilityBounds();
            else box_->Merge(o->GetVisibilityBounds());
        }
        return;
    }
    const Vec3 c = box_->centre, h = box_->halfExtents;
    const Vec3 half(h.x / 2, h.y / 2, h.z);
    const Vec3 centres[4] = {{c.x - half.x, c.y - half.y, c.z},
                             {c.x + half.x, c.y + half.y, c.z},
                             {c.x + half.x, c.y - half.y, c.z},
                             {c.x - half.x, c.y + half.y, c.z}};
    std::vector<CPRefPtr<CPGameObject>> parts[4];
    CPQuadTreeNode* nodes[4];
    for (int i = 0; i < 4; ++i) {
        nodes[i] = new CPQuadTreeNode();
        nodes[i]->SetBox(centres[i], half);
    }
    for (const auto& o : objects) {
        if (!o) continue;
        for (int i = 0; i < 4; ++i)
            if (Holds(*nodes[i]->box_, o->GetPosition())) {
                parts[i].push_back(o);
                break;
            }
    }
    for (int i = 0; i < 4; ++i) {
        nodes[i]->Build(parts[i], depth + 1);
        if (i == 0) *box_ = *nodes[i]->box_;
        else box_->Merge(*nodes[i]->box_);
        SetChild(i, nodes[i]);
    }
}

void CPQuadTreeNode::Cull(const CPPerspectiveCamera& camera, CPRenderBlock* block) {
    bool hasChild = false;
    for (CPQuadTreeNode* child : children_) {
        if (!child) continue;
        hasChild = true;
        if (child->box_ && camera.IsBoxVisible(child->box_->min, child->box_->max)) child->Cull(camera, block);
    }
    if (hasChild || objects_.empty() || !box_) return;
    const float d = static_cast<float>(g_distance);
    if (LengthSq(box_->centre - camera.eye) >= d * d) return;
    if (!block) {
        CPRender* render = GetRender();
        block = render ? render->GetDynamicRenderBlock().Get() : nullptr;
    }
    if (!block) return;
    for (const auto& o : objects_) block->DrawDynamicObject(o.Get());
    for (const auto& o : secondObjects_) block->AddObject(o.Get());
}
