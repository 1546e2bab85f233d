// The GL device's buffers, programs and render targets, checked by the pixels they produce.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "Platform/GlDevice.h"
#include "Platform/TgaTestSupport.h"

using namespace Platform;

namespace {

constexpr int W = 64, H = 48;

// The device's full vertex layout (kFvfVertex): position, normal, two colours, two texture pairs.
struct Vertex {
    struct Position {
        float x, y, z;
    } position, normal;
    uint32_t diffuse, specular;
    float tu, tv, tu2, tv2;
};
static_assert(sizeof(Vertex) == 48);

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

class DeviceResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
        backend_ = CreateGlBackend();
        if (!backend_) GTEST_SKIP() << "no video system";
        PresentParameters params;
        params.BackBufferWidth = W;
        params.BackBufferHeight = H;
        params.BackBufferFormat = Format::A8R8G8B8;
        params.EnableAutoDepthStencil = true;
        if (backend_->CreateDevice(params, device_) != DeviceResult::Ok) GTEST_SKIP() << "no OpenGL 3.3 context";
        device_->SetRenderState(RenderState::Lighting, 0);
        device_->SetRenderState(RenderState::ZEnable, 0);
        device_->SetRenderState(RenderState::CullMode, CullNone);
    }
    void TearDown() override {
        device_.reset();
        backend_.reset();
    }
    std::vector<uint32_t> Read() {
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(device_->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
        return pixels;
    }
    // A pre-transformed quad over pixels [l, r) x [t, b) of the current target.
    void DrawRect(float l, float t, float r, float b, uint32_t color) {
        const ScreenVertex q[4] = {{r - 0.5f, t - 0.5f, 0, 1, color, 1, 0},
                                   {r - 0.5f, b - 0.5f, 0, 1, color, 1, 1},
                                   {l - 0.5f, t - 0.5f, 0, 1, color, 0, 0},
                                   {l - 0.5f, b - 0.5f, 0, 1, color, 0, 1}};
        device_->SetFVF(kFvfScreen);
        ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, q, sizeof q[0]), DeviceResult::Ok);
    }
    static uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return p[static_cast<size_t>(y) * W + x]; }

    std::unique_ptr<DeviceBackend> backend_;
    std::unique_ptr<Device> device_;
};

TEST_F(DeviceResourcesTest, IndexedDrawFromLockedBuffersUsesTheBaseVertex) {
    std::unique_ptr<VertexBuffer> vb;
    std::unique_ptr<IndexBuffer> ib;
    ASSERT_EQ(device_->CreateVertexBuffer(8 * sizeof(Vertex), true, vb), DeviceResult::Ok);
    ASSERT_EQ(device_->CreateIndexBuffer(6 * sizeof(uint16_t), true, ib), DeviceResult::Ok);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, LockDiscard), DeviceResult::Ok);
    auto* v = static_cast<Vertex*>(data);
    for (int i = 0; i < 8; ++i) v[i] = Vertex{};
    // Vertices 0-3 a red square on the left half, 4-7 a blue one on the right half; identity
    // transforms, so positions are clip coordinates.
    const float xs[2][2] = {{-1, 0}, {0, 1}};
    for (int q = 0; q < 2; ++q)
        for (int i = 0; i < 4; ++i) {
            v[q * 4 + i].position = {xs[q][i & 1], (i & 2) ? -1.0f : 1.0f, 0.5f};
            v[q * 4 + i].diffuse = q ? 0xFF0000FF : 0xFFFF0000;
        }
    ASSERT_EQ(vb->Unlock(), DeviceResult::Ok);
    ASSERT_EQ(ib->Lock(0, 0, &data, LockDiscard), DeviceResult::Ok);
    const uint16_t indices[6] = {0, 1, 2, 1, 3, 2};
    std::memcpy(data, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), DeviceResult::Ok);

    device_->SetFVF(kFvfVertex);
    device_->SetStreamSource(vb.get(), sizeof(Vertex));
    device_->SetIndices(ib.get());
    device_->Clear(ClearTarget, 0xFF000000, 1, 0);
    ASSERT_EQ(device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 4, 0, 4, 0, 2), DeviceResult::Ok);
    auto p = Read();
    EXPECT_EQ(At(p, 10, 20), 0xFF000000u);
    EXPECT_EQ(At(p, 50, 20), 0xFF0000FFu);

    // A no-overwrite lock of part of the buffer changes only that part.
    ASSERT_EQ(vb->Lock(4 * sizeof(Vertex), sizeof(Vertex), &data, LockNoOverwrite), DeviceResult::Ok);
    static_cast<Vertex*>(data)->diffuse = 0xFF00FF00;
    ASSERT_EQ(vb->Unlock(), DeviceResult::Ok);
    ASSERT_EQ(device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, 4, 0, 2), DeviceResult::Ok);
    p = Read();
    EXPECT_EQ(At(p, 10, 20), 0xFFFF0000u);
    // Drawing past the index buffer or from a locked buffer is refused, not performed.
    EXPECT_EQ(device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, 4, 3, 2), DeviceResult::InvalidCall);
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), DeviceResult::Ok);
    EXPECT_EQ(device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, 4, 0, 2), DeviceResult::InvalidCall);
    EXPECT_EQ(vb->Unlock(), DeviceResult::Ok);
}

TEST_F(DeviceResourcesTest, ProgramsSeeTheDeviceStateAndTheirOwnParameters) {
    const char* vs = R"(
layout(location = 0) in vec4 aPosition;
void main() { gl_Position = VsToClip(vWorldViewProj * vec4(aPosition.xyz, 1.0)); }
)";
    const char* fs = R"(
uniform vec4 g_vColor;
uniform sampler2D tex0;
out vec4 outColor;
void main() { outColor = g_vColor * texture(tex0, vec2(0.5)) + vAmbient; }
)";
    std::unique_ptr<Program> program;
    std::string errors;
    ASSERT_EQ(device_->CreateProgram(vs, fs, program, &errors), DeviceResult::Ok) << errors;
    EXPECT_TRUE(program->HasParameter("g_vColor"));
    EXPECT_FALSE(program->HasParameter("g_missing"));
    std::unique_ptr<Texture> tex;
    const auto tga = TgaSupport::SolidTga(2, 2, 0xFF808080);
    ASSERT_EQ(device_->CreateTextureFromMemory(tga.data(), tga.size(), TextureOptions{}, tex), DeviceResult::Ok);

    const float color[4] = {1, 0.5f, 0, 1};
    program->SetVector("g_vColor", color);
    program->SetTexture("tex0", tex.get());
    device_->SetRenderState(RenderState::Ambient, 0xFF000040);
    device_->SetProgram(program.get());
    Matrix scale; // halves x and y: the quad covers the middle of the screen only
    scale(0, 0) = scale(1, 1) = 0.5f;
    device_->SetTransform(TransformType::World, scale);
    device_->Clear(ClearTarget, 0xFF000000, 1, 0);
    Vertex quad[4] = {};
    const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
    for (int i = 0; i < 4; ++i) quad[i].position = {corners[i][0], corners[i][1], 0.5f};
    device_->SetFVF(kFvfVertex);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad, sizeof(Vertex)), DeviceResult::Ok);
    const auto p = Read();
    const uint32_t mid = At(p, W / 2, H / 2);
    EXPECT_NEAR(static_cast<int>((mid >> 16) & 0xFF), 128, 2);
    EXPECT_NEAR(static_cast<int>((mid >> 8) & 0xFF), 64, 2);
    EXPECT_NEAR(static_cast<int>(mid & 0xFF), 64, 2);
    EXPECT_EQ(At(p, 2, 2), 0xFF000000u);

    EXPECT_EQ(device_->CreateProgram(vs, "this is not GLSL", program, &errors), DeviceResult::Fail);
    EXPECT_FALSE(errors.empty());
}

TEST_F(DeviceResourcesTest, RenderTargetsAndCopiesKeepTheTopRowOnTop) {
    std::unique_ptr<Texture> target, copy;
    ASSERT_EQ(device_->CreateRenderTarget(32, 32, target), DeviceResult::Ok);
    ASSERT_EQ(device_->CreateRenderTarget(W, H, copy), DeviceResult::Ok);

    // Into the target: the top half red.
    ASSERT_EQ(device_->SetRenderTarget(target.get()), DeviceResult::Ok);
    device_->Clear(ClearTarget, 0xFF000000, 1, 0);
    DrawRect(0, 0, 32, 16, 0xFFFF0000);
    // The back buffer: the left half green, then copied whole into the second target.
    ASSERT_EQ(device_->SetRenderTarget(nullptr), DeviceResult::Ok);
    device_->Clear(ClearTarget, 0xFF000000, 1, 0);
    DrawRect(0, 0, W / 2, H, 0xFF00FF00);
    DrawRect(0, 0, W, H / 4, 0xFF0000FF);
    ASSERT_EQ(device_->StretchRect(nullptr, copy.get()), DeviceResult::Ok);

    // Show each texture over the whole back buffer and look at where its parts land.
    device_->SetTextureStageState(0, StageState::ColorOp, OpSelectArg1);
    device_->SetTextureStageState(0, StageState::ColorArg1, ArgTexture);
    for (int pass = 0; pass < 2; ++pass) {
        device_->SetTexture(0, pass == 0 ? target.get() : copy.get());
        device_->Clear(ClearTarget, 0xFF000000, 1, 0);
        DrawRect(0, 0, W, H, 0xFFFFFFFF);
        const auto p = Read();
        if (pass == 0) {
            EXPECT_EQ(At(p, W / 2, 4), 0xFFFF0000u);
            EXPECT_EQ(At(p, W / 2, H - 4), 0xFF000000u);
        } else {
            EXPECT_EQ(At(p, W / 2 + 4, 2), 0xFF0000FFu);
            EXPECT_EQ(At(p, 4, H - 4), 0xFF00FF00u);
            EXPECT_EQ(At(p, W - 4, H - 4), 0xFF000000u);
        }
    }
    std::unique_ptr<Texture> plain;
    const auto tga = TgaSupport::SolidTga(2, 2, 0xFFFFFFFF);
    ASSERT_EQ(device_->CreateTextureFromMemory(tga.data(), tga.size(), TextureOptions{}, plain), DeviceResult::Ok);
    EXPECT_EQ(device_->SetRenderTarget(plain.get()), DeviceResult::InvalidCall);
}

TEST_F(DeviceResourcesTest, ResetRebuildsTheBackBufferAtTheNewSizeAndDefaultsTheState) {
    PresentParameters params = device_->GetPresentParameters();
    params.BackBufferWidth = 32;
    params.BackBufferHeight = 16;
    ASSERT_EQ(device_->Reset(params), DeviceResult::Ok);
    EXPECT_EQ(device_->GetRenderState(RenderState::Lighting), 1u);
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    device_->Clear(ClearTarget, 0xFF123456, 1, 0);
    ASSERT_EQ(device_->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 16);
    EXPECT_EQ(pixels[5], 0xFF123456u);
    EXPECT_EQ(device_->Present(), DeviceResult::Ok);
    // A reset that cannot make a back buffer leaves the device waiting for another reset.
    params.BackBufferWidth = 0;
    EXPECT_NE(device_->Reset(params), DeviceResult::Ok);
    EXPECT_EQ(device_->TestCooperativeLevel(), DeviceResult::DeviceNotReset);
    EXPECT_NE(device_->Clear(ClearTarget, 0, 1, 0), DeviceResult::Ok);
    params.BackBufferWidth = 8;
    EXPECT_EQ(device_->Reset(params), DeviceResult::Ok);
    EXPECT_EQ(device_->TestCooperativeLevel(), DeviceResult::Ok);
}

} // namespace
