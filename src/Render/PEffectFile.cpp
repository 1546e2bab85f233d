#include "Render/PEffectFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

using namespace Platform;

namespace {

// Value kinds of the states a pass can assign; each has its own list of words.
enum class ValueKind {
    Bool,
    Compare,
    Blend,
    BlendOp,
    Cull,
    Fog,
    MatSource,
    Color,
    Int,
    Float,
    TexOp,
    TexArg,
    Address,
    Filter
};

struct Word {
    const char* name;
    uint32_t value;
};

const Word kBoolWords[] = {{"False", 0}, {"True", 1}};
const Word kCompareWords[] = {{"Never", CmpNever},
                              {"Less", CmpLess},
                              {"Equal", CmpEqual},
                              {"LessEqual", CmpLessEqual},
                              {"Greater", CmpGreater},
                              {"NotEqual", CmpNotEqual},
                              {"GreaterEqual", CmpGreaterEqual},
                              {"Always", CmpAlways}};
const Word kBlendWords[] = {{"Zero", BlendZero},
                            {"One", BlendOne},
                            {"SrcColor", BlendSrcColor},
                            {"InvSrcColor", BlendInvSrcColor},
                            {"SrcAlpha", BlendSrcAlpha},
                            {"InvSrcAlpha", BlendInvSrcAlpha},
                            {"DestAlpha", BlendDestAlpha},
                            {"InvDestAlpha", BlendInvDestAlpha},
                            {"DestColor", BlendDestColor},
                            {"InvDestColor", BlendInvDestColor},
                            {"SrcAlphaSat", BlendSrcAlphaSat}};
const Word kBlendOpWords[] = {{"Add", BlendOpAdd},
                              {"Subtract", BlendOpSubtract},
                              {"RevSubtract", BlendOpRevSubtract},
                              {"Min", BlendOpMin},
                              {"Max", BlendOpMax}};
const Word kCullWords[] = {{"None", CullNone}, {"CW", CullCW}, {"CCW", CullCCW}};
const Word kFogWords[] = {{"None", FogNone}, {"Exp", FogExp}, {"Exp2", FogExp2}, {"Linear", FogLinear}};
const Word kMatSourceWords[] = {{"Material", SourceMaterial}, {"Color1", SourceColor1}, {"Color2", SourceColor2}};
const Word kTexOpWords[] = {{"Disable", OpDisable},
                            {"SelectArg1", OpSelectArg1},
                            {"SelectArg2", OpSelectArg2},
                            {"Modulate", OpModulate},
                            {"Modulate2X", OpModulate2X},
                            {"Modulate4X", OpModulate4X},
                            {"Add", OpAdd},
                            {"AddSigned", OpAddSigned},
                            {"AddSigned2X", OpAddSigned2X},
                            {"Subtract", OpSubtract},
                            {"AddSmooth", OpAddSmooth},
                            {"BlendDiffuseAlpha", OpBlendDiffuseAlpha},
                            {"BlendTextureAlpha", OpBlendTextureAlpha}};
const Word kTexArgWords[] = {{"Diffuse", ArgDiffuse},
                             {"Current", ArgCurrent},
                             {"Texture", ArgTexture},
                             {"TFactor", ArgTFactor},
                             {"Specular", ArgSpecular}};
const Word kAddressWords[] = {
    {"Wrap", AddressWrap}, {"Mirror", AddressMirror}, {"Clamp", AddressClamp}, {"Border", AddressBorder}};
const Word kFilterWords[] = {
    {"None", FilterNone}, {"Point", FilterPoint}, {"Linear", FilterLinear}, {"Anisotropic", FilterAnisotropic}};

struct StateInfo {
    const char* name;
    int state;
    ValueKind kind;
};

const StateInfo kRenderStates[] = {
    {"ZEnable", static_cast<int>(RenderState::ZEnable), ValueKind::Bool},
    {"ZWriteEnable", static_cast<int>(RenderState::ZWriteEnable), ValueKind::Bool},
    {"ZFunc", static_cast<int>(RenderState::ZFunc), ValueKind::Compare},
    {"AlphaBlendEnable", static_cast<int>(RenderState::AlphaBlendEnable), ValueKind::Bool},
    {"SrcBlend", static_cast<int>(RenderState::SrcBlend), ValueKind::Blend},
    {"DestBlend", static_cast<int>(RenderState::DestBlend), ValueKind::Blend},
    {"BlendOp", static_cast<int>(RenderState::BlendOp), ValueKind::BlendOp},
    {"AlphaTestEnable", static_cast<int>(RenderState::AlphaTestEnable), ValueKind::Bool},
    {"AlphaRef", static_cast<int>(RenderState::AlphaRef), ValueKind::Int},
    {"AlphaFunc", static_cast<int>(RenderState::AlphaFunc), ValueKind::Compare},
    {"CullMode", static_cast<int>(RenderState::CullMode), ValueKind::Cull},
    {"Lighting", static_cast<int>(RenderState::Lighting), ValueKind::Bool},
    {"SpecularEnable", static_cast<int>(RenderState::SpecularEnable), ValueKind::Bool},
    {"Ambient", static_cast<int>(RenderState::Ambient), ValueKind::Color},
    {"NormalizeNormals", static_cast<int>(RenderState::NormalizeNormals), ValueKind::Bool},
    {"ColorVertex", static_cast<int>(RenderState::ColorVertex), ValueKind::Bool},
    {"FogEnable", static_cast<int>(RenderState::FogEnable), ValueKind::Bool},
    {"FogVertexMode", static_cast<int>(RenderState::FogVertexMode), ValueKind::Fog},
    {"FogColor", static_cast<int>(RenderState::FogColor), ValueKind::Color},
    {"FogStart", static_cast<int>(RenderState::FogStart), ValueKind::Float},
    {"FogEnd", static_cast<int>(RenderState::FogEnd), ValueKind::Float},
    {"FogDensity", static_cast<int>(RenderState::FogDensity), ValueKind::Float},
    {"DitherEnable", static_cast<int>(RenderState::DitherEnable), ValueKind::Bool},
    {"Clipping", static_cast<int>(RenderState::Clipping), ValueKind::Bool},
    {"ColorWriteEnable", static_cast<int>(RenderState::ColorWriteEnable), ValueKind::Int},
    {"DiffuseMaterialSource", static_cast<int>(RenderState::DiffuseMaterialSource), ValueKind::MatSource},
    {"SpecularMaterialSource", static_cast<int>(RenderState::SpecularMaterialSource), ValueKind::MatSource},
    {"AmbientMaterialSource", static_cast<int>(RenderState::AmbientMaterialSource), ValueKind::MatSource},
    {"EmissiveMaterialSource", static_cast<int>(RenderState::EmissiveMaterialSource), ValueKind::MatSource},
    {"TextureFactor", static_cast<int>(RenderState::TextureFactor), ValueKind::Color},
};
const StateInfo kStageStates[] = {
    {"ColorOp", static_cast<int>(StageState::ColorOp), ValueKind::TexOp},
    {"ColorArg1", static_cast<int>(StageState::ColorArg1), ValueKind::TexArg},
    {"ColorArg2", static_cast<int>(StageState::ColorArg2), ValueKind::TexArg},
    {"AlphaOp", static_cast<int>(StageState::AlphaOp), ValueKind::TexOp},
    {"AlphaArg1", static_cast<int>(StageState::AlphaArg1), ValueKind::TexArg},
    {"AlphaArg2", static_cast<int>(StageState::AlphaArg2), ValueKind::TexArg},
    {"TexCoordIndex", static_cast<int>(StageState::TexCoordIndex), ValueKind::Int},
};
const StateInfo kSamplerStates[] = {
    {"AddressU", static_cast<int>(SamplerState::AddressU), ValueKind::Address},
    {"AddressV", static_cast<int>(SamplerState::AddressV), ValueKind::Address},
    {"AddressW", static_cast<int>(SamplerState::AddressW), ValueKind::Address},
    {"MagFilter", static_cast<int>(SamplerState::MagFilter), ValueKind::Filter},
    {"MinFilter", static_cast<int>(SamplerState::MinFilter), ValueKind::Filter},
    {"MipFilter", static_cast<int>(SamplerState::MipFilter), ValueKind::Filter},
    {"MaxAnisotropy", static_cast<int>(SamplerState::MaxAnisotropy), ValueKind::Int},
};

template <size_t N>
const StateInfo* FindState(const StateInfo (&table)[N], std::string_view name, bool byName, int state = 0) {
    for (const StateInfo& s : table) {
        if (byName ? (std::strlen(s.name) == name.size() && strncasecmp(s.name, name.data(), name.size()) == 0)
                   : s.state == state)
            return &s;
    }
    return nullptr;
}

const StateInfo* InfoOf(const EffectStateAssignment& a) {
    switch (a.kind) {
    case EffectStateAssignment::Render: return FindState(kRenderStates, {}, false, a.state);
    case EffectStateAssignment::Stage: return FindState(kStageStates, {}, false, a.state);
    case EffectStateAssignment::Sampler: return FindState(kSamplerStates, {}, false, a.state);
    }
    return nullptr;
}

struct WordList {
    const Word* words;
    size_t count;
};

WordList WordsOf(ValueKind kind) {
    switch (kind) {
    case ValueKind::Bool: return {kBoolWords, std::size(kBoolWords)};
    case ValueKind::Compare: return {kCompareWords, std::size(kCompareWords)};
    case ValueKind::Blend: return {kBlendWords, std::size(kBlendWords)};
    case ValueKind::BlendOp: return {kBlendOpWords, std::size(kBlendOpWords)};
    case ValueKind::Cull: return {kCullWords, std::size(kCullWords)};
    case ValueKind::Fog: return {kFogWords, std::size(kFogWords)};
    case ValueKind::MatSource: return {kMatSourceWords, std::size(kMatSourceWords)};
    case ValueKind::TexOp: return {kTexOpWords, std::size(kTexOpWords)};
    case ValueKind::TexArg: return {kTexArgWords, std::size(kTexArgWords)};
    case ValueKind::Address: return {kAddressWords, std::size(kAddressWords)};
    case ValueKind::Filter: return {kFilterWords, std::size(kFilterWords)};
    default: return {nullptr, 0};
    }
}

struct TypeWord {
    const char* name;
    EffectParamType type;
};
const TypeWord kTypes[] = {{"texture2D", EffectParamType::Texture2D}, {"textureCube", EffectParamType::TextureCube},
                           {"float", EffectParamType::Float},         {"float4", EffectParamType::Float4},
                           {"float4x4", EffectParamType::Float4x4},   {"int", EffectParamType::Int}};

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The reader: a cursor over the text that knows its line.
class Reader {
public:
    Reader(std::string_view text, std::string& error) : text_(text), error_(error) {}

    bool Fail(const std::string& what) {
        if (error_.empty()) error_ = "line " + std::to_string(line_) + ": " + what;
        return false;
    }
    int Line() const { return line_; }
    bool AtEnd() {
        SkipSpace();
        return pos_ >= text_.size();
    }

    // Skips blanks and comments; false (with the error set) on an unterminated comment.
    bool SkipSpace() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
                const int start = line_;
                pos_ += 2;
                while (pos_ + 1 < text_.size() && !(text_[pos_] == '*' && text_[pos_ + 1] == '/')) {
                    if (text_[pos_] == '\n') ++line_;
                    ++pos_;
                }
                if (pos_ + 1 >= text_.size()) {
                    line_ = start;
                    pos_ = text_.size();
                    return Fail("unterminated comment");
                }
                pos_ += 2;
            } else {
                break;
            }
        }
        return true;
    }

    bool Name(std::string& out, const char* what) {
        if (!SkipSpace()) return false;
        if (pos_ >= text_.size() || !IsNameStart(text_[pos_])) return Fail(std::string("expected ") + what);
        const size_t start = pos_;
        while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
        out.assign(text_.substr(start, pos_ - start));
        return true;
    }

    bool Integer(int& out) {
        if (!SkipSpace()) return false;
        const size_t start = pos_;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])) && pos_ - start < 6) ++pos_;
        if (pos_ == start) return Fail("expected a number");
        out = std::atoi(std::string(text_.substr(start, pos_ - start)).c_str());
        return true;
    }

    bool Peek(char c) {
        if (!SkipSpace()) return false;
        return pos_ < text_.size() && text_[pos_] == c;
    }
    bool Accept(char c) {
        if (!Peek(c)) return false;
        ++pos_;
        return true;
    }
    bool Expect(char c) {
        if (Accept(c)) return true;
        return Fail(std::string("expected '") + c + "'");
    }

    // A value word or number up to the next ';' or ',' (blanks trimmed).
    bool ValueText(std::string& out) {
        if (!SkipSpace()) return false;
        const size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ';' && text_[pos_] != ',' && text_[pos_] != '\n' &&
               text_[pos_] != '}')
            ++pos_;
        size_t end = pos_;
        while (end > start && std::isspace(static_cast<unsigned char>(text_[end - 1]))) --end;
        out.assign(text_.substr(start, end - start));
        if (out.empty()) return Fail("expected a value");
        return true;
    }

    // The raw text of a GLSL block after its '{', up to the matching '}'. Braces inside GLSL
    // comments do not count.
    bool BlockBody(std::string& out, int& firstLine) {
        const int openLine = line_;
        firstLine = line_;
        const size_t start = pos_;
        int depth = 1;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                continue;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
                pos_ += 2;
                while (pos_ + 1 < text_.size() && !(text_[pos_] == '*' && text_[pos_ + 1] == '/')) {
                    if (text_[pos_] == '\n') ++line_;
                    ++pos_;
                }
                if (pos_ + 1 >= text_.size()) break;
                pos_ += 2;
                continue;
            } else if (c == '{') {
                ++depth;
            } else if (c == '}') {
                if (--depth == 0) {
                    out.assign(text_.substr(start, pos_ - start));
                    ++pos_;
                    return true;
                }
            }
            ++pos_;
        }
        line_ = openLine;
        return Fail("unterminated block");
    }

private:
    std::string_view text_;
    std::string& error_;
    size_t pos_ = 0;
    int line_ = 1;
};

bool ParseNumber(const std::string& text, bool integer, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    if (integer) {
        const long long v = std::strtoll(text.c_str(), &end, 0);
        out = static_cast<double>(v);
    } else {
        out = std::strtod(text.c_str(), &end);
    }
    return end && *end == '\0';
}

bool ParseStateValue(ValueKind kind, const std::string& text, uint32_t& value) {
    const WordList words = WordsOf(kind);
    for (size_t i = 0; i < words.count; ++i)
        if (strcasecmp(words.words[i].name, text.c_str()) == 0) {
            value = words.words[i].value;
            return true;
        }
    double number = 0;
    switch (kind) {
    case ValueKind::Bool:
        if (!ParseNumber(text, true, number) || (number != 0 && number != 1)) return false;
        value = static_cast<uint32_t>(number);
        return true;
    case ValueKind::Color:
    case ValueKind::Int:
        if (!ParseNumber(text, true, number) || number < 0 || number > 4294967295.0) return false;
        value = static_cast<uint32_t>(number);
        return true;
    case ValueKind::Float:
        if (!ParseNumber(text, false, number)) return false;
        value = FloatBits(static_cast<float>(number));
        return true;
    default: return false;
    }
}

} // namespace

const char* EffectParamTypeName(EffectParamType type) {
    for (const TypeWord& t : kTypes)
        if (t.type == type) return t.name;
    return "float";
}

int EffectParamValueCount(EffectParamType type) {
    switch (type) {
    case EffectParamType::Float:
    case EffectParamType::Int: return 1;
    case EffectParamType::Float4: return 4;
    case EffectParamType::Float4x4: return 16;
    default: return 0;
    }
}

const EffectBlock* EffectFile::FindVertex(const std::string& name) const {
    for (const EffectBlock& b : vertexBlocks)
        if (b.name == name) return &b;
    return nullptr;
}

const EffectBlock* EffectFile::FindFragment(const std::string& name) const {
    for (const EffectBlock& b : fragmentBlocks)
        if (b.name == name) return &b;
    return nullptr;
}

const char* EffectStateName(const EffectStateAssignment& a) {
    const StateInfo* info = InfoOf(a);
    return info ? info->name : "?";
}

std::string EffectStateValueText(const EffectStateAssignment& a) {
    const StateInfo* info = InfoOf(a);
    if (!info) return "0";
    const WordList words = WordsOf(info->kind);
    for (size_t i = 0; i < words.count; ++i)
        if (words.words[i].value == a.value) return words.words[i].name;
    char buf[32];
    if (info->kind == ValueKind::Float) std::snprintf(buf, sizeof buf, "%.9g", BitsFloat(a.value));
    else if (info->kind == ValueKind::Color) std::snprintf(buf, sizeof buf, "0x%08X", a.value);
    else std::snprintf(buf, sizeof buf, "%u", a.value);
    return buf;
}

namespace {

// pass NAME { ... }: the '{' already read.
bool ParsePass(Reader& r, EffectPass& pass) {
    while (!r.Accept('}')) {
        if (r.AtEnd()) return r.Fail("unterminated pass '" + pass.name + "'");
        std::string word;
        const int line = r.Line();
        if (!r.Name(word, "a state or '}'")) return false;
        if (word == "fixed") {
            pass.fixed = true;
            if (!r.Expect(';')) return false;
            continue;
        }
        if (word == "vertex" || word == "fragment") {
            if (!r.Expect('=')) return false;
            std::string block;
            if (!r.Name(block, "a block name")) return false;
            (word == "vertex" ? pass.vertex : pass.fragment) = block;
            if (!r.Expect(';')) return false;
            continue;
        }
        EffectStateAssignment a;
        a.line = line;
        const StateInfo* info = nullptr;
        if (word == "Stage" || word == "Sampler") {
            const bool stage = word == "Stage";
            const int limit = stage ? kMaxStages : kMaxSamplers;
            if (!r.Expect('[') || !r.Integer(a.index) || !r.Expect(']') || !r.Expect('.')) return false;
            if (a.index >= limit) return r.Fail(word + " index " + std::to_string(a.index) + " out of range");
            std::string name;
            if (!r.Name(name, "a state name")) return false;
            info = stage ? FindState(kStageStates, name, true) : FindState(kSamplerStates, name, true);
            if (!info) return r.Fail("unknown " + word + " state '" + name + "'");
            a.kind = stage ? EffectStateAssignment::Stage : EffectStateAssignment::Sampler;
        } else {
            info = FindState(kRenderStates, word, true);
            if (!info) return r.Fail("unknown state '" + word + "'");
            a.kind = EffectStateAssignment::Render;
        }
        a.state = info->state;
        if (!r.Expect('=')) return false;
        std::string valueText;
        if (!r.ValueText(valueText)) return false;
        if (!ParseStateValue(info->kind, valueText, a.value))
            return r.Fail("unknown value '" + valueText + "' for " + info->name);
        if (!r.Expect(';')) return false;
        pass.states.push_back(a);
    }
    if (!pass.fixed && (pass.vertex.empty() || pass.fragment.empty()))
        return r.Fail("pass '" + pass.name + "' names no vertex and fragment block and is not fixed");
    if (pass.fixed && (!pass.vertex.empty() || !pass.fragment.empty()))
        return r.Fail("pass '" + pass.name + "' is fixed and names a block");
    return true;
}

bool ParseTechnique(Reader& r, EffectTechnique& t) {
    if (!r.Name(t.name, "a technique name") || !r.Expect('{')) return false;
    while (!r.Accept('}')) {
        if (r.AtEnd()) return r.Fail("unterminated technique '" + t.name + "'");
        std::string word;
        if (!r.Name(word, "'pass' or '}'")) return false;
        if (word != "pass") return r.Fail("unknown word '" + word + "' in technique '" + t.name + "'");
        EffectPass pass;
        pass.line = r.Line();
        if (!r.Name(pass.name, "a pass name") || !r.Expect('{')) return false;
        if (!ParsePass(r, pass)) return false;
        t.passes.push_back(std::move(pass));
    }
    if (t.passes.empty()) return r.Fail("technique '" + t.name + "' has no pass");
    return true;
}

bool ParseParam(Reader& r, EffectFile& file) {
    EffectParamDecl p;
    p.line = r.Line();
    std::string typeName;
    if (!r.Name(typeName, "a parameter type")) return false;
    const TypeWord* type = nullptr;
    for (const TypeWord& t : kTypes)
        if (typeName == t.name) type = &t;
    if (!type) return r.Fail("unknown parameter type '" + typeName + "'");
    p.type = type->type;
    if (!r.Name(p.name, "a parameter name")) return false;
    for (const EffectParamDecl& other : file.params)
        if (other.name == p.name) return r.Fail("parameter '" + p.name + "' declared twice");
    if (r.Peek('s')) {
        std::string word;
        if (!r.Name(word, "'shared'")) return false;
        if (word != "shared") return r.Fail("unknown word '" + word + "'");
        p.shared = true;
    }
    if (r.Accept('=')) {
        const int count = EffectParamValueCount(p.type);
        if (count == 0) return r.Fail("texture parameter '" + p.name + "' cannot have a value");
        for (int i = 0; i < count; ++i) {
            if (i > 0 && !r.Expect(',')) return false;
            std::string text;
            double v = 0;
            if (!r.ValueText(text)) return false;
            if (!ParseNumber(text, p.type == EffectParamType::Int, v))
                return r.Fail("unknown value '" + text + "' for " + p.name);
            p.value[i] = static_cast<float>(v);
        }
        p.hasValue = true;
    }
    if (!r.Expect(';')) return false;
    file.params.push_back(p);
    return true;
}

} // namespace

bool ReadEffectFile(std::string_view text, EffectFile& out, std::string& error) {
    out = EffectFile{};
    error.clear();
    Reader r(text, error);
    // A NUL byte means a binary or damaged file; say where.
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(nul), '\n'));
        error = "line " + std::to_string(line) + ": NUL byte";
        return false;
    }
    while (!r.AtEnd()) {
        if (!error.empty()) return false;
        std::string word;
        if (!r.Name(word, "'param', 'vertex', 'fragment' or 'technique'")) return false;
        if (word == "param") {
            if (!ParseParam(r, out)) return false;
        } else if (word == "vertex" || word == "fragment") {
            EffectBlock block;
            if (!r.Name(block.name, "a block name") || !r.Expect('{')) return false;
            auto& list = word == "vertex" ? out.vertexBlocks : out.fragmentBlocks;
            for (const EffectBlock& other : list)
                if (other.name == block.name) return r.Fail(word + " block '" + block.name + "' declared twice");
            if (!r.BlockBody(block.source, block.line)) return false;
            list.push_back(std::move(block));
        } else if (word == "technique") {
            EffectTechnique t;
            t.line = r.Line();
            if (!ParseTechnique(r, t)) return false;
            out.techniques.push_back(std::move(t));
        } else {
            return r.Fail("unknown word '" + word + "'");
        }
    }
    if (!error.empty()) return false;
    if (out.techniques.empty()) {
        error = "line " + std::to_string(r.Line()) + ": no technique";
        return false;
    }
    return true;
}

std::string WriteEffectFile(const EffectFile& file) {
    std::string out;
    char buf[64];
    for (const EffectParamDecl& p : file.params) {
        out += "param ";
        out += EffectParamTypeName(p.type);
        out += " " + p.name;
        if (p.shared) out += " shared";
        if (p.hasValue) {
            out += " =";
            const int count = EffectParamValueCount(p.type);
            for (int i = 0; i < count; ++i) {
                std::snprintf(buf, sizeof buf, p.type == EffectParamType::Int ? "%s %.0f" : "%s %.9g", i ? "," : "",
                              static_cast<double>(p.value[i]));
                out += buf;
            }
        }
        out += ";\n";
    }
    auto blocks = [&](const char* word, const std::vector<EffectBlock>& list) {
        for (const EffectBlock& b : list) out += std::string(word) + " " + b.name + " {" + b.source + "}\n";
    };
    blocks("vertex", file.vertexBlocks);
    blocks("fragment", file.fragmentBlocks);
    for (const EffectTechnique& t : file.techniques) {
        out += "technique " + t.name + " {\n";
        for (const EffectPass& p : t.passes) {
            out += "    pass " + p.name + " {\n";
            if (p.fixed) out += "        fixed;\n";
            else out += "        vertex = " + p.vertex + ";\n        fragment = " + p.fragment + ";\n";
            for (const EffectStateAssignment& a : p.states) {
                out += "        ";
                if (a.kind != EffectStateAssignment::Render)
                    out += std::string(a.kind == EffectStateAssignment::Stage ? "Stage[" : "Sampler[") +
                           std::to_string(a.index) + "].";
                out += EffectStateName(a);
                out += " = " + EffectStateValueText(a) + ";\n";
            }
            out += "    }\n";
        }
        out += "}\n";
    }
    return out;
}
