#pragma once
// A node of the level's bounding-volume tree over its static objects. The tree culls what the
// camera sees, answers ray picks for shots and scripts, and is split so that nodes hold few distinct
// materials (fewer render batches for a visible leaf).
#include <functional>
#include <unordered_set>
#include <vector>

#include "Core/PBoundingBox.h"
#include "Core/PGameObject.h"
#include "Core/PManagedObject.h"

class CPRayQuery;

class CPLevelBranch : public CPManagedObject {
public:
    using ObjectList = std::vector<CPRefPtr<CPGameObject>>;
    // Answers whether a box may be seen; the level hands the race camera's test.
    using BoxVisible = std::function<bool(const CPBoundingBox&)>;
    // Takes one object of a visible leaf (dynamic objects first, then static ones).
    using DrawObject = std::function<void(CPGameObject*)>;

    CPLevelBranch() = default;
    ~CPLevelBranch() override;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPLevelBranch"; }

    // Takes the objects: box, registration (activation, material counting, tunnels) and sorting.
    void SetObjects(const ObjectList& objects);
    // Splits recursively on the midpoint of the objects' box centres, keeping the axis whose two
    // halves hold the fewest materials (ties keep the earlier axis).
    void Build(int depth);
    // Hands every object of each visible leaf to draw; returns the number of objects drawn.
    int Cull(const BoxVisible& visible, const DrawObject& draw, int limit) const;
    // Picks every object of the leaves the segment reaches; the query ends with the nearest hit.
    bool RayTest(CPRayQuery& query) const;
    // Teardown: dynamic objects deactivated, children first.
    void DeactivateObjects();
    // Teardown: every list emptied, children first.
    void ReleaseObjects();

    const CPBoundingBox& GetBox() const { return box_; }
    const CPLevelBranch* GetChild(int i) const { return children_[i].Get(); }
    bool IsLeaf() const { return !children_[0]; }
    const ObjectList& GetObjects() const { return objects_; }
    const ObjectList& GetStaticObjects() const { return staticObjects_; }
    const ObjectList& GetDynamicObjects() const { return dynamicObjects_; }
    int GetMaterialCount() const { return static_cast<int>(materials_.size()); }

private:
    void RegisterObjects(const ObjectList& work);
    void SortObjects();

    std::unordered_set<const CPManagedObject*> materials_;
    CPBoundingBox box_;
    CPRefPtr<CPLevelBranch> children_[2];
    ObjectList objects_;
    ObjectList dynamicObjects_;
    ObjectList staticObjects_;
};

// What registers a level object named "tunnel" with the physics world and answers the engine body
// to keep in a tunnel slot (null: nothing stored). The race world's physics side installs it.
using TunnelRegistrar = void* (*)(CPGameObject* object);
void SetTunnelRegistrar(TunnelRegistrar registrar);

// The five tunnel slots: the bodies of the level's "tunnel" objects, filled in order while the tree
// is built, cleared when the level stops; the car's tunnel test reads them.
constexpr int kTunnelSlots = 5;
void* GetTunnelSlot(int index);
void ClearTunnelSlots();
