#include "Render/PEffectManager.h"

namespace {
const char* const kSharedNames[] = {"g_mViewInv", "g_vLight", "g_vLightColor", "g_vAmbient", "g_vCameraPos"};
} // namespace

CPEffectManager::CPEffectManager() = default;

CPEffectManager::~CPEffectManager() { shared_.Reset(); }

CPRefPtr<CPEffect> CPEffectManager::GetEffect(const std::string& specification) {
    auto it = effects_.find(specification);
    if (it != effects_.end()) return CPRefPtr<CPEffect>(it->second);
    CPRefPtr<CPEffect> effect(new CPEffect());
    if (!effect->Load(specification)) {
        effect = CPRefPtr<CPEffect>(new CPEffect());
        effect->Load("error.fx");
    }
    effects_[specification] = effect.Get();
    return effect;
}

void CPEffectManager::RemoveEffect(CPEffect* effect) {
    for (auto it = effects_.begin(); it != effects_.end();) {
        if (it->second == effect) it = effects_.erase(it);
        else ++it;
    }
}

void CPEffectManager::OfferSharedEffect(CPEffect* effect) {
    if (shared_ || !effect || !effect->GetEffectObject()) return;
    shared_ = effect;
    for (int i = 0; i < SharedCount; ++i)
        sharedHandles_[i] = effect->GetEffectObject()->GetParameterByName(kSharedNames[i]);
}

void CPEffectManager::SetSharedParameters(const Mat4& viewInverse, const Vec4& light, const Vec4& lightColor,
                                          const Vec4& ambient, const Vec4& cameraPos) {
    CPEffectObject* fx = GetSharedEffect();
    if (!fx) return;
    fx->SetMatrix(sharedHandles_[ViewInverse], viewInverse);
    fx->SetVector(sharedHandles_[Light], light);
    fx->SetVector(sharedHandles_[LightColor], lightColor);
    fx->SetVector(sharedHandles_[Ambient], ambient);
    fx->SetVector(sharedHandles_[CameraPos], cameraPos);
}
