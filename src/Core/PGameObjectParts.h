#pragma once
// What a game object needs of the parts the upper floors attach to it. The game object holds its
// parts through these interfaces only, so the core never includes the renderer, the race world or
// the particles; the classes that implement them live there:
//   CPRenderPart       CPRenderObject, CPAnimatedObject, CPLight, CPSprite (Render), CPParticleSystem
//                      (Particles)
//   CPObjectAnimation  CPPartAnimation (Render)
//   CPBodyLink         CPPhysicData (Race)
//   CPObjectEventSink  CPEnemyController (Race)
// Materials (Render's CPMaterial) and the car model (Race's CPCar) are only held and handed on, so
// the game object keeps them as plain managed objects.
#include "Core/Math/Mat4.h"
#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Core/PManagedObject.h"
#include "Core/PTask.h"

class CPGameObject;
struct AnimationRequest;

// A material or a car model held by a game object; the core never looks inside.
using MaterialRef = CPRefPtr<CPManagedObject>;
using CarRef = CPRefPtr<CPManagedObject>;

// The render part of a game object. It is a managed object (or task) of its own; the game object
// reaches this side of it by a cross cast, and uses it only while the object's render type is the
// one the part answers.
class CPRenderPart {
public:
    // The game object's render type this part is drawn as (CPGameObject::RenderType).
    virtual int GetRenderType() const = 0;
    // The object the part draws at; a copy and a flame holder hand theirs over.
    virtual void SetOwner(CPGameObject* owner) = 0;
    // A copy of the part that draws at `owner`, for a copied object; null when there is none.
    virtual CPRefPtr<CPManagedObject> CloneForOwner(CPGameObject* owner) = 0;
    // The alternate material replacing the part's own (meshes and animated meshes take it).
    virtual void ApplyMaterial(CPManagedObject* material) { (void)material; }
    // The owner's world matrix after a transform update (meshes keep it).
    virtual void SetWorldMatrix(const Mat4& world) { (void)world; }
    // Starts the request's animation unless it is already playing and restart is false (animated
    // meshes; a part without that animation changes nothing).
    virtual void StartAnimation(const AnimationRequest& request, bool restart) { (void)request, (void)restart; }

protected:
    ~CPRenderPart() = default;
};

// The key-frame animation task of one game object: it moves its target and tells it at the end of
// every pass.
class CPObjectAnimation : public CPTask {
public:
    // A new animation with this one's keys and loop flag that moves `target`.
    virtual CPRefPtr<CPObjectAnimation> CopyForTarget(CPGameObject* target) = 0;

    CPGameObject* GetTarget() const { return target_; }
    void SetTarget(CPGameObject* target) { target_ = target; }

    bool loop = false;

private:
    CPGameObject* target_ = nullptr; // no reference: the object holds its animations
};

// The link from a game object to its physics body: the object moves the body when it is moved, and
// a copied object gets a link of its own.
class CPBodyLink : public CPManagedObject {
public:
    // Move and turn the engine body when there is one.
    virtual void SetPosition(const Vec3& position) = 0;
    virtual void SetOrientation(const Quat& rotation) = 0;
    // A link with this one's body description for `owner`, without an engine body.
    virtual CPRefPtr<CPBodyLink> CloneForOwner(CPGameObject* owner) const = 0;
};

// Where a game object forwards its damage and animation events (an enemy's behaviour). Not owned by
// the object.
class CPObjectEventSink {
public:
    virtual void Damage(const Vec3& point, const Vec3& direction, float amount, CPGameObject* source, bool silent) = 0;
    virtual void NotifyAnimationStopped() = 0;
    virtual void NotifyAnimationReport() = 0;
    // Whether the object breaks into gibs when it is destroyed.
    virtual void SetGibs(bool flag) = 0;

protected:
    ~CPObjectEventSink() = default;
};
