#pragma once
// The animated-mesh render part of a game object: shows one of its vertex animations whole frame by
// whole frame, chosen from the clock, in the owner's world space. It counts the passes, freezes
// after a play-count limit and tells its listener script ("animation_stopped", "animation_report",
// with the listener's own handle) and its owner.
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PHashMap.h"
#include "Core/PLuaScript.h"
#include "Core/PManagedObject.h"
#include "Render/PAnimation.h"
#include "Render/PMaterial.h"
#include "Render/PRenderable.h"
#include "Render/PVertexEffect.h"

class CPGameObject;

class CPAnimatedObject : public CPRenderable, public CPRenderPart {
public:
    explicit CPAnimatedObject(CPGameObject* owner = nullptr) : owner_(owner) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPAnimatedObject"; }

    // Renderable: never static; the counts are those of the frame Fill writes this frame.
    bool IsStatic() const override { return false; }
    void SetStatic(bool) override {}
    int GetVertexCount() override;
    int GetIndexCount() override;
    void Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int flag) override;
    void FillExtra(CPIndex*, int, int&, int&) override {}
    CPRefPtr<CPMaterial> GetMaterial() const override { return material_; }

    // Shares the source's animations and copies its playback state and material; the vertex
    // effects are cloned. The owner stays this part's own.
    virtual void CopyFrom(const CPAnimatedObject& source);

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
    CPGameObject* GetOwner() const { return owner_; }
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }

    // The frame the clock shows now, from the start time and speed, with passes taken off whole;
    // -1 without frames.
    int ChooseFrame() const;
    // The frame the next fill writes (the frozen one when stopped, the second-to-last when this fill
    // reaches the play-count limit); -1 when nothing is drawn.
    int FrameToFill() const;

    CPHashMap<CPRefPtr<CPAnimation>> animations;
    std::string currentName;
    CPRefPtr<CPAnimation> currentAnimation;
    double startTime = 0.0;
    int playCount = 0;    // passes before stopping; 0 or less plays endlessly
    int reportFrame = -1; // frame that sends "animation_report"; -1 none
    float speed = 1.0f;
    CPRefPtr<CPLuaScript> listener;
    int passCounter = 0;
    int reportedFrame = -1;
    // The frame last shown, as a position in the current animation's frames (-1: none yet). An
    // index rather than a pointer: a refill of the shared animation replaces its frame records.
    int currentFrame = -1;
    bool stopped = false;
    std::vector<CPRefPtr<CPVertexEffect>> vertexEffects;
    bool hasVertexEffects = false;

private:
    int FrameCount() const { return currentAnimation ? static_cast<int>(currentAnimation->frames.size()) : 0; }
    // The last shown frame kept within the frames the animation has now.
    int ShownFrame() const;
    // Sends the command with the listener's handle to the listener.
    void Tell(const char* command) const;

    CPGameObject* owner_;
    CPRefPtr<CPMaterial> material_;
};
