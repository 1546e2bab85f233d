// The effect file format: what the reader accepts, what it refuses (with the line), and that the
// writer's text reads back to the same file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Render/PEffectFile.h"

using namespace Platform;

namespace {

const char* kFull = R"(// a comment line
param texture2D tex0;
param textureCube tex1;
param float fade = 0.5;
param float4 g_vAmbient shared = 1, 0.5, 0.25, 1;
param float4x4 g_mViewInv shared;
param int count = 3;
/* a block
   comment */
vertex VS {
    out vec2 uv; // braces in comments: { not counted
    void main() { uv = aTex0; if (true) { gl_Position = VsToClip(vWorldViewProj * vec4(aPosition.xyz, 1.0)); } }
}
fragment FS {
    in vec2 uv;
    out vec4 outColor;
    void main() { outColor = texture(tex0, uv) * g_vAmbient; }
}
technique Shaded {
    pass P0 {
        vertex = VS;
        fragment = FS;
        ZEnable = false;
        DestBlend = One;
        AlphaBlendEnable = True;
        FogStart = 12.5;
        FogColor = 0xFF102030;
        Stage[0].ColorOp = SelectArg1;
        Sampler[1].AddressU = Clamp;
    }
}
technique Fixed {
    pass P0 { fixed; cullmode = none; }
    pass P1 { fixed; Stage[2].AlphaArg2 = TFactor; }
}
)";

TEST(EffectFileTest, ReadsParametersBlocksTechniquesAndStates) {
    EffectFile file;
    std::string error;
    ASSERT_TRUE(ReadEffectFile(kFull, file, error)) << error;
    ASSERT_EQ(file.params.size(), 6u);
    EXPECT_EQ(file.params[0].type, EffectParamType::Texture2D);
    EXPECT_EQ(file.params[1].type, EffectParamType::TextureCube);
    EXPECT_FLOAT_EQ(file.params[2].value[0], 0.5f);
    EXPECT_TRUE(file.params[3].shared);
    EXPECT_FLOAT_EQ(file.params[3].value[2], 0.25f);
    EXPECT_TRUE(file.params[4].shared);
    EXPECT_FALSE(file.params[4].hasValue);
    EXPECT_EQ(file.params[5].type, EffectParamType::Int);
    ASSERT_EQ(file.vertexBlocks.size(), 1u);
    EXPECT_NE(file.vertexBlocks[0].source.find("gl_Position"), std::string::npos);
    EXPECT_EQ(file.vertexBlocks[0].line, 10); // the line of "vertex VS {"
    ASSERT_EQ(file.techniques.size(), 2u);
    const EffectPass& p = file.techniques[0].passes[0];
    EXPECT_FALSE(p.fixed);
    EXPECT_EQ(p.vertex, "VS");
    ASSERT_EQ(p.states.size(), 7u);
    EXPECT_EQ(p.states[0].state, static_cast<int>(RenderState::ZEnable));
    EXPECT_EQ(p.states[0].value, 0u);
    EXPECT_EQ(p.states[1].value, static_cast<uint32_t>(BlendOne));
    EXPECT_EQ(p.states[3].value, FloatBits(12.5f));
    EXPECT_EQ(p.states[4].value, 0xFF102030u);
    EXPECT_EQ(p.states[5].kind, EffectStateAssignment::Stage);
    EXPECT_EQ(p.states[5].value, static_cast<uint32_t>(OpSelectArg1));
    EXPECT_EQ(p.states[6].kind, EffectStateAssignment::Sampler);
    EXPECT_EQ(p.states[6].index, 1);
    EXPECT_EQ(p.states[6].value, static_cast<uint32_t>(AddressClamp));
    const EffectTechnique& fixed = file.techniques[1];
    ASSERT_EQ(fixed.passes.size(), 2u);
    EXPECT_TRUE(fixed.passes[0].fixed);
    EXPECT_EQ(fixed.passes[0].states[0].value, static_cast<uint32_t>(CullNone)); // names ignore case
    EXPECT_EQ(fixed.passes[1].states[0].index, 2);
}

TEST(EffectFileTest, WrittenFileReadsBackTheSame) {
    EffectFile file, again;
    std::string error;
    ASSERT_TRUE(ReadEffectFile(kFull, file, error)) << error;
    const std::string text = WriteEffectFile(file);
    ASSERT_TRUE(ReadEffectFile(text, again, error)) << error << "\n" << text;
    EXPECT_EQ(WriteEffectFile(again), text);
    ASSERT_EQ(again.params.size(), file.params.size());
    for (size_t i = 0; i < file.params.size(); ++i) {
        EXPECT_EQ(again.params[i].name, file.params[i].name);
        EXPECT_EQ(again.params[i].shared, file.params[i].shared);
        for (int k = 0; k < 16; ++k) EXPECT_EQ(again.params[i].value[k], file.params[i].value[k]);
    }
    EXPECT_EQ(again.vertexBlocks[0].source, file.vertexBlocks[0].source);
    ASSERT_EQ(again.techniques[0].passes[0].states.size(), file.techniques[0].passes[0].states.size());
    for (size_t i = 0; i < file.techniques[0].passes[0].states.size(); ++i)
        EXPECT_EQ(again.techniques[0].passes[0].states[i].value, file.techniques[0].passes[0].states[i].value);
}

TEST(EffectFileTest, FaultsAreRefusedWithTheirLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"", "line 1: no technique"},
        {"// only a comment\n", "line 2: no technique"},
        {"shader X {}\n", "line 1: unknown word 'shader'"},
        {"param float4 a;\nparam float4 a;\ntechnique T { pass P { fixed; } }", "line 2: parameter 'a' declared twice"},
        {"param vec4 a;", "line 1: unknown parameter type 'vec4'"},
        {"param float a = pink;", "line 1: unknown value 'pink' for a"},
        {"param texture2D t = 1;", "line 1: texture parameter 't' cannot have a value"},
        {"param float4 a = 1, 2;", "line 1: expected ','"},
        {"param float a\ntechnique T { pass P { fixed; } }", "line 2: expected ';'"},
        {"technique T {\n pass P {\n fixed;\n Blend = One;\n }\n}", "line 4: unknown state 'Blend'"},
        {"technique T {\n pass P {\n fixed;\n DestBlend = Two;\n }\n}", "line 4: unknown value 'Two' for DestBlend"},
        {"technique T { pass P { fixed; ZEnable = 2; } }", "line 1: unknown value '2' for ZEnable"},
        {"technique T { pass P { fixed; Stage[3].ColorOp = Add; } }", "line 1: Stage index 3 out of range"},
        {"technique T { pass P { fixed; Stage[0].Colour = Add; } }", "line 1: unknown Stage state 'Colour'"},
        {"technique T { pass P { fixed; Sampler[0].AddressU = Repeat; } }", "line 1: unknown value 'Repeat'"},
        {"technique T { pass P { ZEnable = true; } }", "names no vertex and fragment block"},
        {"technique T { pass P { fixed; vertex = V; } }", "is fixed and names a block"},
        {"technique T { }", "technique 'T' has no pass"},
        {"technique T { pass P { fixed; }", "unterminated technique 'T'"},
        {"technique T { pass P { fixed;", "unterminated pass 'P'"},
        {"\n\nvertex V {\n void main() {\n", "line 3: unterminated block"},
        {"vertex V { void main() {} }\nvertex V { }", "line 2: vertex block 'V' declared twice"},
        {"/* open\n\ntechnique T { pass P { fixed; } }", "line 1: unterminated comment"},
        {"technique T { pass P { fixed; } }\n\nbroken", "line 3: unknown word 'broken'"},
    };
    for (const Case& c : cases) {
        EffectFile file;
        std::string error;
        EXPECT_FALSE(ReadEffectFile(c.text, file, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << "text: " << c.text << "\nerror: " << error;
    }
}

TEST(EffectFileTest, NulByteIsRefusedWithItsLine) {
    std::string text = "technique T {\n pass P { fixed; }\n}\n";
    text[16] = '\0';
    EffectFile file;
    std::string error;
    EXPECT_FALSE(ReadEffectFile(text, file, error));
    EXPECT_EQ(error, "line 2: NUL byte");
}

} // namespace

namespace {

// Every effect of the demo data set reads; the GL tests compile them.
TEST(EffectFileTest, DemoDataEffectsRead) {
    const std::filesystem::path dir = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Effects";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EffectFile file;
        std::string error;
        EXPECT_TRUE(ReadEffectFile(text, file, error)) << entry.path() << ": " << error;
        ++count;
    }
    EXPECT_GE(count, 3);
}

} // namespace
