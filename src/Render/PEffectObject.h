#pragma once
// A compiled effect: the parameters of an effect file with their values, and the first technique
// whose passes all build on the device. Begin saves every device state the technique's passes
// assign and End puts them back, so pass states never leak into what is drawn next.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/Math/Mat4.h"
#include "Platform/Device.h"
#include "Render/PEffectFile.h"

// The values of parameters declared "shared" by the effects created with the pool: one value per
// name, seen by all of them.
class CPEffectPool {
public:
    struct Entry {
        EffectParamType type = EffectParamType::Float;
        float value[16] = {};
        Platform::Texture* texture = nullptr;
    };
    // The entry of the declaration's name, made with its default value on first declaration; null
    // when an earlier declaration gave the name another type.
    Entry* Declare(const EffectParamDecl& decl);
    Entry* Find(const std::string& name);

private:
    std::unordered_map<std::string, Entry> entries_;
};

class CPEffectObject {
public:
    using Handle = int; // index of a parameter; -1 for none

    // Builds the parameters and compiles the techniques in file order until one builds whole.
    // Null when none does; errors then holds what the device said, with the file's lines.
    static std::unique_ptr<CPEffectObject> Create(Platform::Device& device, const EffectFile& file, CPEffectPool* pool,
                                                  std::string& errors);

    Handle GetParameterByName(const std::string& name) const;
    // Every parameter of that type, in declaration order.
    std::vector<Handle> GetParametersByType(EffectParamType type) const;
    int GetParameterCount() const { return static_cast<int>(params_.size()); }
    const EffectParamDecl& GetParameterDecl(Handle h) const { return params_[static_cast<size_t>(h)].decl; }
    // True when the parameter's value lives in the pool.
    bool IsPooled(Handle h) const { return Valid(h) && params_[static_cast<size_t>(h)].pooled != nullptr; }

    // False for an unknown handle or a parameter of another kind (a number for a texture and the
    // other way round). A vector fills as many floats as the parameter has.
    bool SetFloat(Handle h, float value);
    bool SetInt(Handle h, int value);
    bool SetVector(Handle h, const Vec4& value);
    bool SetMatrix(Handle h, const Mat4& value);
    bool SetTexture(Handle h, Platform::Texture* texture);
    bool GetValue(Handle h, float out[16]) const;
    Platform::Texture* GetTexture(Handle h) const;

    const std::string& GetTechniqueName() const { return techniqueName_; }
    int GetPassCount() const { return static_cast<int>(passes_.size()); }

    // Saves the states the passes assign; false when already begun.
    bool Begin(Platform::Device& device, int& passes);
    // Sets the pass's states, program and parameter values; false for a pass that does not exist
    // or outside Begin/End.
    bool BeginPass(int pass);
    void EndPass();
    // Restores what Begin saved and draws with the fixed-function program again.
    void End();
    bool IsBegun() const { return device_ != nullptr; }

private:
    struct Param {
        EffectParamDecl decl;
        float own[16] = {};
        Platform::Texture* ownTexture = nullptr;
        CPEffectPool::Entry* pooled = nullptr;
        const float* Value() const { return pooled ? pooled->value : own; }
        float* Value() { return pooled ? pooled->value : own; }
        Platform::Texture* Texture() const { return pooled ? pooled->texture : ownTexture; }
    };
    struct Pass {
        EffectPass desc;
        std::unique_ptr<Platform::Program> program;
    };
    struct Saved {
        EffectStateAssignment::Kind kind;
        int index;
        int state;
        uint32_t value;
    };

    bool Valid(Handle h) const { return h >= 0 && h < static_cast<Handle>(params_.size()); }
    // The stage a texture parameter named "texN" binds in a fixed pass; -1 for other names.
    static int TextureUnit(const std::string& name);

    std::vector<Param> params_;
    std::vector<Pass> passes_;
    std::string techniqueName_;
    Platform::Device* device_ = nullptr; // the device between Begin and End
    std::vector<Saved> saved_;
    Platform::Texture* savedTextures_[Platform::kMaxStages] = {};
    bool savesTextures_ = false;
};
