#include "Render/PEffectObject.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace Platform;

namespace {

// What every vertex block sees besides the device prelude: the one vertex layout's inputs.
const char* const kVertexInputs = R"(layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aDiffuse;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec2 aTex0;
layout(location = 5) in vec2 aTex1;
)";

const char* GlslType(EffectParamType type) {
    switch (type) {
    case EffectParamType::Texture2D: return "sampler2D";
    case EffectParamType::TextureCube: return "samplerCube";
    case EffectParamType::Float: return "float";
    case EffectParamType::Float4: return "vec4";
    case EffectParamType::Float4x4: return "mat4";
    case EffectParamType::Int: return "int";
    }
    return "float";
}

bool IsTexture(EffectParamType type) {
    return type == EffectParamType::Texture2D || type == EffectParamType::TextureCube;
}

} // namespace

CPEffectPool::Entry* CPEffectPool::Declare(const EffectParamDecl& decl) {
    auto [it, added] = entries_.try_emplace(decl.name);
    if (added) {
        it->second.type = decl.type;
        if (decl.hasValue) std::memcpy(it->second.value, decl.value, sizeof decl.value);
        return &it->second;
    }
    return it->second.type == decl.type ? &it->second : nullptr;
}

CPEffectPool::Entry* CPEffectPool::Find(const std::string& name) {
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second;
}

int CPEffectObject::TextureUnit(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "tex") != 0) return -1;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 1000) return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

std::unique_ptr<CPEffectObject> CPEffectObject::Create(Device& device, const EffectFile& file, CPEffectPool* pool,
                                                       std::string& errors) {
    auto effect = std::unique_ptr<CPEffectObject>(new CPEffectObject());
    std::string uniforms;
    int lastUnit = -1;
    for (const EffectParamDecl& decl : file.params) {
        Param p;
        p.decl = decl;
        if (decl.hasValue) std::memcpy(p.own, decl.value, sizeof decl.value);
        if (decl.shared && pool) p.pooled = pool->Declare(decl);
        effect->params_.push_back(p);
        uniforms += std::string("uniform ") + GlslType(decl.type) + " " + decl.name + ";\n";
        if (IsTexture(decl.type)) lastUnit = std::max(lastUnit, TextureUnit(decl.name));
    }

    for (const EffectTechnique& technique : file.techniques) {
        std::vector<Pass> passes;
        bool valid = true;
        for (const EffectPass& desc : technique.passes) {
            Pass pass;
            pass.desc = desc;
            if (!desc.fixed) {
                const EffectBlock* vs = file.FindVertex(desc.vertex);
                const EffectBlock* fs = file.FindFragment(desc.fragment);
                if (!vs || !fs) {
                    errors += "line " + std::to_string(desc.line) + ": pass '" + desc.name + "' names a missing " +
                              (!vs ? "vertex block '" + desc.vertex : "fragment block '" + desc.fragment) + "'\n";
                    valid = false;
                    break;
                }
                // "#line" makes the compiler's messages count lines of the effect file.
                const std::string vertex =
                    kVertexInputs + uniforms + "#line " + std::to_string(vs->line) + "\n" + vs->source + "\n";
                const std::string fragment = uniforms + "#line " + std::to_string(fs->line) + "\n" + fs->source + "\n";
                std::string log;
                if (!DeviceOk(device.CreateProgram(vertex, fragment, pass.program, &log))) {
                    errors += "technique '" + technique.name + "', pass '" + desc.name + "': " + log + "\n";
                    valid = false;
                    break;
                }
                // Units follow the names: "texN" on unit N (gaps held by unused names), other
                // textures after them in declaration order.
                for (int n = 0; n <= lastUnit; ++n) pass.program->SetTexture("tex" + std::to_string(n), nullptr);
                for (const EffectParamDecl& decl : file.params)
                    if (IsTexture(decl.type) && TextureUnit(decl.name) < 0)
                        pass.program->SetTexture(decl.name, nullptr);
            }
            passes.push_back(std::move(pass));
        }
        if (valid) {
            effect->passes_ = std::move(passes);
            effect->techniqueName_ = technique.name;
            return effect;
        }
    }
    return nullptr;
}

CPEffectObject::Handle CPEffectObject::GetParameterByName(const std::string& name) const {
    for (size_t i = 0; i < params_.size(); ++i)
        if (params_[i].decl.name == name) return static_cast<Handle>(i);
    return -1;
}

std::vector<CPEffectObject::Handle> CPEffectObject::GetParametersByType(EffectParamType type) const {
    std::vector<Handle> out;
    for (size_t i = 0; i < params_.size(); ++i)
        if (params_[i].decl.type == type) out.push_back(static_cast<Handle>(i));
    return out;
}

bool CPEffectObject::SetFloat(Handle h, float value) {
    if (!Valid(h) || EffectParamValueCount(params_[h].decl.type) == 0) return false;
    params_[h].Value()[0] = value;
    return true;
}

bool CPEffectObject::SetInt(Handle h, int value) { return SetFloat(h, static_cast<float>(value)); }

bool CPEffectObject::SetVector(Handle h, const Vec4& value) {
    if (!Valid(h)) return false;
    const int count = std::min(EffectParamValueCount(params_[h].decl.type), 4);
    if (count == 0) return false;
    const float v[4] = {value.x, value.y, value.z, value.w};
    std::memcpy(params_[h].Value(), v, sizeof(float) * static_cast<size_t>(count));
    return true;
}

bool CPEffectObject::SetMatrix(Handle h, const Mat4& value) {
    if (!Valid(h) || params_[h].decl.type != EffectParamType::Float4x4) return false;
    std::memcpy(params_[h].Value(), &value.m[0][0], sizeof(float) * 16);
    return true;
}

bool CPEffectObject::SetTexture(Handle h, Texture* texture) {
    if (!Valid(h) || !IsTexture(params_[h].decl.type)) return false;
    if (params_[h].pooled) params_[h].pooled->texture = texture;
    else params_[h].ownTexture = texture;
    return true;
}

bool CPEffectObject::GetValue(Handle h, float out[16]) const {
    if (!Valid(h)) return false;
    std::memcpy(out, params_[h].Value(), sizeof(float) * 16);
    return true;
}

Texture* CPEffectObject::GetTexture(Handle h) const { return Valid(h) ? params_[h].Texture() : nullptr; }

bool CPEffectObject::Begin(Device& device, int& passes) {
    if (device_) return false;
    device_ = &device;
    saved_.clear();
    auto seen = [&](const EffectStateAssignment& a) {
        return std::any_of(saved_.begin(), saved_.end(), [&](const Saved& s) {
            return s.kind == a.kind && s.index == a.index && s.state == a.state;
        });
    };
    savesTextures_ = false;
    for (const Pass& pass : passes_) {
        savesTextures_ = savesTextures_ || pass.desc.fixed;
        for (const EffectStateAssignment& a : pass.desc.states) {
            if (seen(a)) continue;
            uint32_t value = 0;
            switch (a.kind) {
            case EffectStateAssignment::Render: value = device.GetRenderState(static_cast<RenderState>(a.state)); break;
            case EffectStateAssignment::Stage:
                value = device.GetTextureStageState(a.index, static_cast<StageState>(a.state));
                break;
            case EffectStateAssignment::Sampler:
                value = device.GetSamplerState(a.index, static_cast<SamplerState>(a.state));
                break;
            }
            saved_.push_back({a.kind, a.index, a.state, value});
        }
    }
    if (savesTextures_)
        for (int s = 0; s < kMaxStages; ++s) savedTextures_[s] = device.GetTexture(s);
    passes = GetPassCount();
    return true;
}

bool CPEffectObject::BeginPass(int index) {
    if (!device_ || index < 0 || index >= GetPassCount()) return false;
    Device& device = *device_;
    Pass& pass = passes_[static_cast<size_t>(index)];
    for (const EffectStateAssignment& a : pass.desc.states) {
        switch (a.kind) {
        case EffectStateAssignment::Render: device.SetRenderState(static_cast<RenderState>(a.state), a.value); break;
        case EffectStateAssignment::Stage:
            device.SetTextureStageState(a.index, static_cast<StageState>(a.state), a.value);
            break;
        case EffectStateAssignment::Sampler:
            device.SetSamplerState(a.index, static_cast<SamplerState>(a.state), a.value);
            break;
        }
    }
    if (pass.desc.fixed) {
        device.SetProgram(nullptr);
        for (const Param& p : params_) {
            const int unit = IsTexture(p.decl.type) ? TextureUnit(p.decl.name) : -1;
            if (unit >= 0 && unit < kMaxStages) device.SetTexture(unit, p.Texture());
        }
        return true;
    }
    Program& program = *pass.program;
    for (const Param& p : params_) {
        const float* v = p.Value();
        switch (p.decl.type) {
        case EffectParamType::Texture2D:
        case EffectParamType::TextureCube: program.SetTexture(p.decl.name, p.Texture()); break;
        case EffectParamType::Float: program.SetFloat(p.decl.name, v[0]); break;
        case EffectParamType::Int: program.SetInt(p.decl.name, static_cast<int>(v[0])); break;
        case EffectParamType::Float4: program.SetVector(p.decl.name, v); break;
        case EffectParamType::Float4x4: {
            Matrix m;
            std::memcpy(m.m, v, sizeof m.m);
            program.SetMatrix(p.decl.name, m);
            break;
        }
        }
    }
    device.SetProgram(&program);
    return true;
}

void CPEffectObject::EndPass() {}

void CPEffectObject::End() {
    if (!device_) return;
    Device& device = *device_;
    for (const Saved& s : saved_) {
        switch (s.kind) {
        case EffectStateAssignment::Render: device.SetRenderState(static_cast<RenderState>(s.state), s.value); break;
        case EffectStateAssignment::Stage:
            device.SetTextureStageState(s.index, static_cast<StageState>(s.state), s.value);
            break;
        case EffectStateAssignment::Sampler:
            device.SetSamplerState(s.index, static_cast<SamplerState>(s.state), s.value);
            break;
        }
    }
    if (savesTextures_)
        for (int s = 0; s < kMaxStages; ++s) device.SetTexture(s, savedTextures_[s]);
    device.SetProgram(nullptr);
    saved_.clear();
    device_ = nullptr;
}
