#pragma once
// The effect cache, the pool of shared parameter values, and the shared-parameter effect: the
// first effect requested with the option "shared", through which the frame sets the five values
// every pooled effect sees.
#include <string>
#include <unordered_map>

#include "Core/Math/Mat4.h"
#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Platform/Device.h"
#include "Render/PEffect.h"
#include "Render/PEffectObject.h"

class CPEffectManager : public CPSingleton<CPEffectManager> {
public:
    enum SharedParameter { ViewInverse, Light, LightColor, Ambient, CameraPos, SharedCount };

    CPEffectManager();
    virtual ~CPEffectManager();

    // The effect a name-and-options text asks for, cached under the whole text. An effect that cannot be made
    // is replaced by "error.fx", entered under the requested specification.
    CPRefPtr<CPEffect> GetEffect(const std::string& specification);
    void RemoveEffect(CPEffect* effect);

    CPEffectPool& GetPool() { return pool_; }
    // Called by an effect created with "shared" once its effect object exists; the first one is
    // kept (with a reference, so the frame can always set through it).
    void OfferSharedEffect(CPEffect* effect);
    CPEffectObject* GetSharedEffect() const { return shared_ ? shared_->GetEffectObject() : nullptr; }
    CPEffectObject::Handle GetSharedHandle(SharedParameter p) const { return sharedHandles_[p]; }
    // Sets the five shared parameters; nothing without a shared-parameter effect.
    void SetSharedParameters(const Mat4& viewInverse, const Vec4& light, const Vec4& lightColor, const Vec4& ambient,
                             const Vec4& cameraPos);

    void SetDevice(Platform::Device* device) { device_ = device; }
    Platform::Device* GetDevice() const { return device_; }
    size_t GetEffectCount() const { return effects_.size(); }

private:
    std::unordered_map<std::string, CPEffect*> effects_;
    CPEffectPool pool_;
    CPRefPtr<CPEffect> shared_;
    CPEffectObject::Handle sharedHandles_[SharedCount] = {-1, -1, -1, -1, -1};
    Platform::Device* device_ = nullptr;
};

inline CPEffectManager* GetEffectManager() { return CPSingleton<CPEffectManager>::Instance(); }
