#pragma once
// The effect file format: named parameters, GLSL vertex and fragment blocks, and techniques whose
// passes either name a vertex and a fragment block or draw with the device's fixed-function
// program, each pass assigning device states by name. The reader and the writer live side by side
// (README, "Effect files", has an example).
//
//   param float4 g_vAmbient shared = 0, 0, 0, 1;
//   vertex VS { ...GLSL... }
//   fragment FS { ...GLSL... }
//   technique Main { pass P0 { vertex = VS; fragment = FS; DestBlend = One; Stage[0].ColorOp = Modulate; } }
//   technique Fallback { pass P0 { fixed; } }
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Device.h"

enum class EffectParamType { Texture2D, TextureCube, Float, Float4, Float4x4, Int };

// The word of a type in the file ("texture2D"...), and the number of floats of its value (0 for
// textures).
const char* EffectParamTypeName(EffectParamType type);
int EffectParamValueCount(EffectParamType type);

struct EffectParamDecl {
    EffectParamType type = EffectParamType::Float;
    std::string name;
    bool shared = false;
    bool hasValue = false;
    float value[16] = {}; // float, float4 and float4x4 values; an int as a float
    int line = 0;
};

// A block of GLSL; the loader puts the device prelude, the vertex inputs and the parameters'
// uniforms before it.
struct EffectBlock {
    std::string name;
    std::string source;
    int line = 0; // the line of the block's first source line
};

// One state a pass sets: a render state, or a texture-stage or sampler state of one index.
struct EffectStateAssignment {
    enum Kind { Render, Stage, Sampler } kind = Render;
    int index = 0; // stage or sampler
    int state = 0; // Platform::RenderState, StageState or SamplerState
    uint32_t value = 0;
    int line = 0;
};

struct EffectPass {
    std::string name;
    bool fixed = false;
    std::string vertex, fragment; // block names of a programmable pass
    std::vector<EffectStateAssignment> states;
    int line = 0;
};

struct EffectTechnique {
    std::string name;
    std::vector<EffectPass> passes;
    int line = 0;
};

struct EffectFile {
    std::vector<EffectParamDecl> params;
    std::vector<EffectBlock> vertexBlocks;
    std::vector<EffectBlock> fragmentBlocks;
    std::vector<EffectTechnique> techniques;

    const EffectBlock* FindVertex(const std::string& name) const;
    const EffectBlock* FindFragment(const std::string& name) const;
};

// False on the first fault, with "line N: what" in error: unknown words, states or values, a
// missing name, brace or semicolon, an unterminated block or comment, a NUL byte, a parameter
// declared twice.
bool ReadEffectFile(std::string_view text, EffectFile& out, std::string& error);
// The file ReadEffectFile reads back to the same contents.
std::string WriteEffectFile(const EffectFile& file);

// The names of states and values a pass can assign, as the reader and writer spell them.
const char* EffectStateName(const EffectStateAssignment& assignment);
std::string EffectStateValueText(const EffectStateAssignment& assignment);
