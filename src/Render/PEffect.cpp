#include "Render/PEffect.h"

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PTokenizer.h"
#include "Render/PEffectManager.h"
#include "Render/PTextureManager.h"

CPEffect::~CPEffect() {
    if (CPEffectManager* manager = GetEffectManager()) manager->RemoveEffect(this);
}

bool CPEffect::Load(const std::string& specification) {
    name_ = specification;
    typeName_ = "CPEffect - " + name_;
    effect_.reset();
    textureHandles_.clear();
    errors_.clear();

    CPTokenizer tokens(specification, ",", true);
    std::string file, option;
    tokens.NextToken(file);
    bool shared = false;
    while (tokens.NextToken(option))
        if (option == "shared") shared = true;

    CPEffectManager* manager = GetEffectManager();
    Platform::Device* device = manager ? manager->GetDevice() : nullptr;
    CPFileReader reader("Data\\Effects\\" + file);
    bool usePool = shared;
    // An empty name would read the folder itself; an unreadable file takes "simple.fx", never pooled.
    if (file.empty() || FAILED(reader.Load())) {
        reader = CPFileReader("Data\\Effects\\simple.fx");
        usePool = false;
        if (FAILED(reader.Load())) {
            errors_ = "cannot read " + file + " nor simple.fx";
            GetLog().Write(0, "Effect %s: %s\n", specification.c_str(), errors_.c_str());
            return false;
        }
    }
    EffectFile parsed;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(reader.GetData()),
                                static_cast<size_t>(reader.GetLength()));
    if (!ReadEffectFile(text, parsed, error)) {
        errors_ = reader.GetPath() + ": " + error;
    } else if (!device) {
        errors_ = "no device";
    } else {
        effect_ = CPEffectObject::Create(*device, parsed, usePool && manager ? &manager->GetPool() : nullptr, error);
        if (!effect_) errors_ = reader.GetPath() + ": no valid technique\n" + error;
    }
    if (!effect_) {
        GetLog().Write(0, "Effect %s: %s\n", specification.c_str(), errors_.c_str());
        return false;
    }
    if (shared && manager) manager->OfferSharedEffect(this);
    for (int i = 0;; ++i) {
        const CPEffectObject::Handle h = effect_->GetParameterByName("tex" + std::to_string(i));
        if (h < 0) break;
        textureHandles_.push_back(h);
    }
    return true;
}

void CPEffect::SetTextures(const CPTextureBlock* block) {
    if (!effect_ || !block) return;
    const int n = std::min(static_cast<int>(textureHandles_.size()), block->GetCount());
    for (int i = 0; i < n; ++i) {
        const CPTexture* texture = block->GetTexture(i);
        effect_->SetTexture(textureHandles_[static_cast<size_t>(i)], texture ? texture->GetDeviceTexture() : nullptr);
    }
}
