#pragma once
// The light render part: a light record placed at its owner game object and queued with it.
#include <cstdint>

#include "Core/Math/Color.h"
#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"
#include "Core/PManagedObject.h"

class CPGameObject;

// Same fields and size as the Direct3D 9 light record.
struct LightRecord {
    int32_t Type = 1;
    Color Diffuse;
    Color Specular;
    Color Ambient;
    Vec3 Position;
    Vec3 Direction;
    float Range = 0.0f;
    float Falloff = 0.0f;
    float Attenuation0 = 0.0f;
    float Attenuation1 = 0.0f;
    float Attenuation2 = 0.0f;
    float Theta = 0.0f;
    float Phi = 0.0f;
};
static_assert(sizeof(LightRecord) == 104);

class CPLight : public CPManagedObject, public CPRenderPart {
public:
    explicit CPLight(CPGameObject* owner = nullptr) : owner_(owner) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPLight"; }
    CPGameObject* GetOwner() const { return owner_; }
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }
    int GetRenderType() const override { return CPGameObject::RenderLight; }
    CPRefPtr<CPManagedObject> CloneForOwner(CPGameObject* owner) override {
        CPRefPtr<CPLight> copy(new CPLight(owner));
        copy->light = light;
        return copy;
    }
    // The record placed at the owner's world position (the translation of its world matrix).
    virtual const LightRecord& GetLightRecord();

    LightRecord light;

private:
    CPGameObject* owner_;
};
