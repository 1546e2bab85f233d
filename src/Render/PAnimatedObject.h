#pragma once
// Minimal animated-mesh render part: the playback state a game object starts and the table of
// animations it may start. Frame stepping, the "animation_stopped"/"animation_report" commands and
// drawing come with the renderer's animation.
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PHashMap.h"
#include "Core/PLuaScript.h"
#include "Core/PManagedObject.h"
#include "Render/PAnimation.h"
#include "Render/PMaterial.h"
#include "Render/PVertexEffect.h"

class CPGameObject;

class CPAnimatedObject : public CPManagedObject, public CPRenderPart {
public:
    explicit CPAnimatedObject(CPGameObject* owner = nullptr) : owner_(owner) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPAnimatedObject"; }

    // Takes over the source's animations and material; the owner stays this part's own.
    virtual void CopyFrom(const CPAnimatedObject& source) {
        animations = source.animations;
        material_ = source.material_;
    }

    int GetRenderType() const override { return CPGameObject::RenderAnimatedMesh; }
    CPRefPtr<CPManagedObject> CloneForOwner(CPGameObject* owner) override {
        CPRefPtr<CPAnimatedObject> copy(new CPAnimatedObject(owner));
        copy->CopyFrom(*this);
        return copy;
    }
    void ApplyMaterial(CPManagedObject* material) override {
        SetMaterial(CPRefPtr<CPMaterial>(dynamic_cast<CPMaterial*>(material)));
    }
    // Plays the named animation of the table from its start, at TotalTime plus the request's offset;
    // the vertex effects start over with it.
    void StartAnimation(const AnimationRequest& request, bool restart) override;
    // Stores the animation under the name (dropping one stored there before); the first one the
    // part gets becomes its current animation and clears the stopped flag.
    void AddAnimation(const std::string& name, const CPRefPtr<CPAnimation>& animation) {
        animations.Set(name, animation);
        if (!currentAnimation) {
            currentAnimation = animation;
            stopped = false;
        }
    }

    void SetMaterial(const CPRefPtr<CPMaterial>& material) { material_ = material; }
    const CPRefPtr<CPMaterial>& GetMaterial() const { return material_; }
    CPGameObject* GetOwner() const { return owner_; }
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }

    CPHashMap<CPRefPtr<CPAnimation>> animations;
    std::string currentName;
    CPRefPtr<CPAnimation> currentAnimation;
    double startTime = 0.0;
    int playCount = 0;    // passes before stopping; 0 plays endlessly
    int reportFrame = -1; // frame that sends "animation_report"; -1 none
    float speed = 1.0f;
    CPRefPtr<CPLuaScript> listener;
    int passCounter = 0;
    int reportedFrame = -1;
    int currentFrame = -1; // -1: none yet
    bool stopped = false;
    std::vector<CPRefPtr<CPVertexEffect>> vertexEffects;
    bool hasVertexEffects = false;

private:
    CPGameObject* owner_;
    CPRefPtr<CPMaterial> material_;
};
