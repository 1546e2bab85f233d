#pragma once
// The visibility quadtree of a level's scenery: built once by the level loader, culled each frame
// with the current camera, queuing the visible leaves' objects into the dynamic render block when
// they are near enough.
#include <memory>
#include <vector>

#include "Core/PBoundingBox.h"
#include "Core/PGameObject.h"
#include "Core/PManagedObject.h"

class CPPerspectiveCamera;
class CPRenderBlock;

class CPQuadTreeNode {
public:
    static constexpr int kMaxLevels = 10;

    CPQuadTreeNode() = default;
    virtual ~CPQuadTreeNode();
    CPQuadTreeNode(const CPQuadTreeNode&) = delete;
    CPQuadTreeNode& operator=(const CPQuadTreeNode&) = delete;

    void SetBox(const Vec3& centre, const Vec3& halfExtents);
    // Deletes the child held in the slot and stores the new one (owned).
    void SetChild(int index, CPQuadTreeNode* node);
    void AddObject(const CPRefPtr<CPGameObject>& object) { objects_.push_back(object); }
    void AddSecondObject(const CPRefPtr<CPGameObject>& object) { secondObjects_.push_back(object); }

    // Splits down to the "quadlevels" setting (clamped to 0..10): each object goes to the first
    // child whose box holds its position (x and y half-open, so a split line is no gap).
    void Build(const std::vector<CPRefPtr<CPGameObject>>& objects, int depth);
    // Queues the visible leaves' objects into the block (the renderer's dynamic block when null)
    // when the leaf's centre is nearer than the "distance" setting. The node itself is not tested.
    void Cull(const CPPerspectiveCamera& camera, CPRenderBlock* block = nullptr);

    CPQuadTreeNode* GetChild(int index) const { return children_[index]; }
    const std::vector<CPRefPtr<CPGameObject>>& GetObjects() const { return objects_; }
    const CPBoundingBox* GetBox() const { return box_.get(); }

private:
    CPQuadTreeNode* children_[4] = {};
    std::vector<CPRefPtr<CPGameObject>> objects_;
    std::vector<CPRefPtr<CPGameObject>> secondObjects_;
    std::unique_ptr<CPBoundingBox> box_;
};
