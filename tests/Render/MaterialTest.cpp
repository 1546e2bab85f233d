// Materials, texture blocks, textures and effects on the null device: sharing, fallbacks, the
// shared-parameter effect and what Begin and End do to the device.
#include <gtest/gtest.h>

#include "Core/PSettings.h"
#include "Render/PEffect.h"
#include "Render/PMaterialManager.h"
#include "Render/RendererFixture.h"

using namespace Platform;
using RenderSupport::RendererWorld;

namespace {

const char* kTextured = R"(param texture2D tex0;
param texture2D tex1;
param float4 tint = 1, 1, 1, 1;
vertex VS { out vec2 uv; void main() { uv = aTex0; gl_Position = VsToClip(vWorldViewProj * vec4(aPosition.xyz, 1.0)); } }
fragment FS { in vec2 uv; out vec4 outColor; void main() { outColor = texture(tex0, uv) * texture(tex1, uv) * tint; } }
technique Shaded { pass P0 { vertex = VS; fragment = FS; ZEnable = false; Stage[0].ColorOp = SelectArg1; } }
technique Fixed { pass P0 { fixed; AlphaBlendEnable = true; DestBlend = One; Sampler[0].AddressU = Clamp; } }
)";

class MaterialTest : public RendererWorld {
protected:
    void SetUp() override {
        RendererWorld::SetUp();
        PutEffect("textured.fx", kTextured);
        PutEffect("shared.fx", "param float4 g_vAmbient shared;\nparam float4 g_vLightColor shared;\n"
                               "param float4x4 g_mViewInv shared;\ntechnique T { pass P { fixed; } }\n");
        PutTexture("a.tga", 0xFFFF0000);
        PutTexture("b.tga", 0xFF00FF00);
    }
};

TEST_F(MaterialTest, EqualRequestsShareOneMaterialAndOtherTypesShareItsParts) {
    auto m1 = materials_->GetMaterial(20, "textured.fx", {"a.tga", "b.tga"});
    auto m2 = materials_->GetMaterial(20, "textured.fx", {"a.tga", "b.tga"});
    auto m3 = materials_->GetMaterial(21, "textured.fx", {"a.tga", "b.tga"});
    auto reversed = materials_->GetMaterial(20, "textured.fx", {"b.tga", "a.tga"});
    EXPECT_EQ(m1.Get(), m2.Get());
    EXPECT_NE(m1.Get(), m3.Get());
    EXPECT_EQ(m1->GetEffect(), m3->GetEffect());
    EXPECT_EQ(m1->GetTextureBlock(), m3->GetTextureBlock());
    EXPECT_NE(m1->GetTextureBlock(), reversed->GetTextureBlock());
    EXPECT_STREQ(m1->GetTypeName(), "CPMaterial - textured.fx");
    // Gone from the caches once the last reference is collected.
    const size_t before = materials_->GetMaterialCount();
    m3.Reset();
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(materials_->GetMaterialCount(), before - 1);
}

TEST_F(MaterialTest, TexturesWithOptionsLoadAnewAndNeverTakeThePlainEntry) {
    auto& textures = materials_->GetTextureManager();
    auto plain1 = textures.GetTexture("a.tga");
    auto plain2 = textures.GetTexture("a.tga");
    EXPECT_EQ(plain1.Get(), plain2.Get());
    auto nomip1 = textures.GetTexture("a.tga,nomip");
    auto nomip2 = textures.GetTexture("a.tga,nomip");
    EXPECT_NE(nomip1.Get(), nomip2.Get());
    EXPECT_EQ(nomip1->GetDeviceTexture()->GetLevelCount(), 1);
    EXPECT_GT(plain1->GetDeviceTexture()->GetLevelCount(), 1);
    // The plain name still answers the texture with mips.
    EXPECT_EQ(textures.GetTexture("a.tga").Get(), plain1.Get());
    EXPECT_EQ(materials_->GetMaterial(20, "textured.fx", {"a.tga,nomip"}).Get() ==
                  materials_->GetMaterial(20, "textured.fx", {"a.tga,nomip"}).Get(),
              false);
}

TEST_F(MaterialTest, UnreadableOrUndecodableTexturesBecomeErrorTga) {
    root_.Put("Data/Textures/broken.tga", RenderSupport::Bytes("not an image"));
    auto& textures = materials_->GetTextureManager();
    for (const char* spec : {"missing.tga", "broken.tga", "", ",nomip", "a.tga,cube"}) {
        auto t = textures.GetTexture(spec);
        EXPECT_EQ(t->GetName(), "error.tga") << spec;
        ASSERT_NE(t->GetDeviceTexture(), nullptr) << spec;
        EXPECT_EQ(t->GetWidth(), 2) << spec;
    }
    // Loaded anew each time, and never entered under the request.
    EXPECT_NE(textures.GetTexture("missing.tga").Get(), textures.GetTexture("missing.tga").Get());
    auto video = textures.GetTexture("video");
    EXPECT_EQ(video->GetDeviceTexture(), nullptr);
    EXPECT_EQ(video.Get(), textures.GetTexture("video").Get());
}

TEST_F(MaterialTest, CubeTexturesFromSixSquares) {
    PutTexture("sky.tga", 0xFF0000FF, 24, 4);
    auto cube = materials_->GetTextureManager().GetTexture("sky.tga,cube");
    EXPECT_TRUE(cube->IsCube());
    EXPECT_EQ(cube->GetName(), "sky.tga");
    EXPECT_EQ(cube->GetDeviceTexture()->GetKind(), TextureKind::Cube);
}

TEST_F(MaterialTest, DragsterTextureFollowsItsIndexAndTexlodSetsTheLevel) {
    PutTexture("dragster04.tga", 0xFF112233, 8, 8);
    PutTexture("dragster07.tga", 0xFF445566, 8, 8);
    g_texlod = 2;
    auto& textures = materials_->GetTextureManager();
    auto t = textures.GetTexture("dragster.tga");
    EXPECT_EQ(t->GetName(), "dragster04.tga");
    EXPECT_EQ(t->GetDeviceTexture()->GetLOD(), 2);
    DragsterTextureIndex = 7;
    EXPECT_EQ(textures.GetTexture("dragster.tga")->GetName(), "dragster07.tga");
    DragsterTextureIndex = 4;
}

TEST_F(MaterialTest, EffectsFallBackToSimpleThenError) {
    auto& effects = materials_->GetEffectManager();
    auto missing = effects.GetEffect("missing.fx");
    EXPECT_EQ(missing->GetName(), "missing.fx");
    ASSERT_NE(missing->GetEffectObject(), nullptr);
    EXPECT_EQ(missing->GetEffectObject()->GetTechniqueName(), "Fixed"); // simple.fx
    EXPECT_EQ(effects.GetEffect("missing.fx").Get(), missing.Get());
    EXPECT_EQ(effects.GetEffect("").Get()->GetEffectObject()->GetTechniqueName(), "Fixed");

    PutEffect("bad.fx", "technique T { pass P { fixed; Blend = One; } }");
    auto bad = effects.GetEffect("bad.fx");
    EXPECT_EQ(bad->GetName(), "error.fx");
    EXPECT_EQ(bad->GetEffectObject()->GetTechniqueName(), "Error");
    EXPECT_EQ(effects.GetEffect("bad.fx").Get(), bad.Get()); // found under the request
}

TEST_F(MaterialTest, FailingProgramsTakeTheNextTechniqueAndNoneTakesErrorFx) {
    device_->failPrograms = true;
    auto& effects = materials_->GetEffectManager();
    auto fx = effects.GetEffect("textured.fx");
    EXPECT_EQ(fx->GetName(), "textured.fx");
    EXPECT_EQ(fx->GetEffectObject()->GetTechniqueName(), "Fixed");
    PutEffect("glslonly.fx", "vertex V { void main() {} }\nfragment F { void main() {} }\n"
                             "technique T { pass P { vertex = V; fragment = F; } }\n");
    auto only = effects.GetEffect("glslonly.fx");
    EXPECT_EQ(only->GetName(), "error.fx");
    // A pass naming a block the file lacks makes its technique invalid too.
    device_->failPrograms = false;
    PutEffect("noblock.fx", "technique A { pass P { vertex = V; fragment = F; } }\ntechnique B { pass P { fixed; } }");
    EXPECT_EQ(effects.GetEffect("noblock.fx")->GetEffectObject()->GetTechniqueName(), "B");
}

TEST_F(MaterialTest, WithoutErrorFxTheEffectHasNoObjectAndCannotBegin) {
    PutEffect("error.fx", "garbage");
    PutEffect("bad.fx", "garbage");
    auto bad = materials_->GetEffectManager().GetEffect("bad.fx");
    EXPECT_EQ(bad->GetEffectObject(), nullptr);
}

TEST_F(MaterialTest, TextureHandlesStopAtTheFirstGap) {
    PutEffect("gap.fx", "param texture2D tex0;\nparam texture2D tex2;\ntechnique T { pass P { fixed; } }");
    auto fx = materials_->GetEffectManager().GetEffect("gap.fx");
    EXPECT_EQ(fx->GetTextureHandles().size(), 1u);
    EXPECT_EQ(materials_->GetEffectManager().GetEffect("textured.fx")->GetTextureHandles().size(), 2u);
}

TEST_F(MaterialTest, SetTexturesBindsUpToBothCountsAndKeepsTheRest) {
    auto& textures = materials_->GetTextureManager();
    auto fx = materials_->GetEffectManager().GetEffect("textured.fx");
    CPEffectObject* obj = fx->GetEffectObject();
    auto both = textures.GetTextureBlock({"a.tga", "b.tga"});
    auto one = textures.GetTextureBlock({"b.tga"});
    fx->SetTextures(both.Get());
    Texture* a = both->GetTexture(0)->GetDeviceTexture();
    Texture* b = both->GetTexture(1)->GetDeviceTexture();
    EXPECT_EQ(obj->GetTexture(fx->GetTextureHandles()[0]), a);
    EXPECT_EQ(obj->GetTexture(fx->GetTextureHandles()[1]), b);
    fx->SetTextures(one.Get());
    EXPECT_EQ(obj->GetTexture(fx->GetTextureHandles()[0]), b);
    EXPECT_EQ(obj->GetTexture(fx->GetTextureHandles()[1]), b); // kept from before
    EXPECT_EQ(textures.GetTextureBlock({}).Get(), textures.GetTextureBlock({}).Get());
}

TEST_F(MaterialTest, SharedParametersReachPooledEffectsOnly) {
    auto& effects = materials_->GetEffectManager();
    EXPECT_EQ(effects.GetSharedEffect(), nullptr);
    effects.SetSharedParameters(MatIdentity(), {}, {}, {1, 1, 1, 1}, {}); // nothing to set through
    auto carrier = effects.GetEffect("shared.fx,shared");
    auto pooled = effects.GetEffect("textured.fx,shared");
    PutEffect("second.fx", "param float4 g_vAmbient shared;\ntechnique T { pass P { fixed; } }");
    auto unpooled = effects.GetEffect("second.fx");
    ASSERT_EQ(effects.GetSharedEffect(), carrier->GetEffectObject());
    EXPECT_NE(effects.GetSharedHandle(CPEffectManager::Ambient), -1);
    EXPECT_EQ(effects.GetSharedHandle(CPEffectManager::CameraPos), -1); // not declared
    PutEffect("third.fx", "param float4 g_vAmbient shared;\ntechnique T { pass P { fixed; } }");
    auto pooledThird = effects.GetEffect("third.fx,shared");
    effects.SetSharedParameters(MatIdentity(), {0, 0, 1, 1}, {2, 2, 2, 2}, {0.5f, 0.25f, 0.125f, 2}, {1, 2, 3, 1});
    float v[16];
    CPEffectObject* third = pooledThird->GetEffectObject();
    ASSERT_TRUE(third->GetValue(third->GetParameterByName("g_vAmbient"), v));
    EXPECT_FLOAT_EQ(v[1], 0.25f);
    CPEffectObject* other = unpooled->GetEffectObject();
    ASSERT_TRUE(other->GetValue(other->GetParameterByName("g_vAmbient"), v));
    EXPECT_FLOAT_EQ(v[1], 0.0f);
    // "x.fx" and "x.fx,shared" are two effects.
    EXPECT_NE(effects.GetEffect("shared.fx").Get(), carrier.Get());
}

TEST_F(MaterialTest, AMissingSharedEffectStillCarriesTheParametersThroughSimpleFx) {
    auto& effects = materials_->GetEffectManager();
    auto standIn = effects.GetEffect("gone.fx,shared");
    EXPECT_EQ(effects.GetSharedEffect(), standIn->GetEffectObject());
    EXPECT_FALSE(standIn->GetEffectObject()->IsPooled(0));
}

TEST_F(MaterialTest, BeginSavesTheStatesItsPassesTouchAndEndRestoresThem) {
    device_->failPrograms = true; // the fixed technique
    auto fx = materials_->GetEffectManager().GetEffect("textured.fx");
    CPEffectObject* obj = fx->GetEffectObject();
    auto block = materials_->GetTextureManager().GetTextureBlock({"a.tga", "b.tga"});
    fx->SetTextures(block.Get());
    device_->SetRenderState(RenderState::DestBlend, BlendInvSrcAlpha);
    device_->SetSamplerState(0, SamplerState::AddressU, AddressWrap);
    int passes = 0;
    ASSERT_TRUE(obj->Begin(*device_, passes));
    EXPECT_FALSE(obj->Begin(*device_, passes));
    EXPECT_EQ(passes, 1);
    ASSERT_TRUE(obj->BeginPass(0));
    EXPECT_FALSE(obj->BeginPass(1));
    EXPECT_EQ(device_->GetRenderState(RenderState::DestBlend), static_cast<uint32_t>(BlendOne));
    EXPECT_EQ(device_->GetRenderState(RenderState::AlphaBlendEnable), 1u);
    EXPECT_EQ(device_->GetSamplerState(0, SamplerState::AddressU), static_cast<uint32_t>(AddressClamp));
    // "texN" binds stage N in a fixed pass.
    EXPECT_EQ(device_->GetTexture(0), block->GetTexture(0)->GetDeviceTexture());
    EXPECT_EQ(device_->GetTexture(1), block->GetTexture(1)->GetDeviceTexture());
    obj->EndPass();
    obj->End();
    EXPECT_EQ(device_->GetRenderState(RenderState::DestBlend), static_cast<uint32_t>(BlendInvSrcAlpha));
    EXPECT_EQ(device_->GetRenderState(RenderState::AlphaBlendEnable), 0u);
    EXPECT_EQ(device_->GetSamplerState(0, SamplerState::AddressU), static_cast<uint32_t>(AddressWrap));
    EXPECT_EQ(device_->GetTexture(0), nullptr);
}

} // namespace
