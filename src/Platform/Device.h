#pragma once
// The drawing device: the shape the renderer drives (a device that can be lost and reset, a full
// fixed-function state, lockable vertex and index buffers, textures, render targets and programs),
// with one real backend (OpenGL 3.3 core) and a null backend that records what it is asked.
//
// Conventions are the renderer's: matrices multiply row vectors (p * M) with the translation in the
// fourth row, clip-space z runs from 0 to 1, colours are packed 0xAARRGGBB, pre-transformed
// vertices are in pixels of the current target with y downward and pixel centres on integers.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Platform {

// Result codes: Ok is success, everything else a failure. DeviceLost and DeviceNotReset are the
// answers of TestCooperativeLevel while the device cannot draw.
enum class DeviceResult { Ok, Fail, InvalidCall, OutOfMemory, DeviceLost, DeviceNotReset, NotAvailable };

inline bool DeviceOk(DeviceResult r) { return r == DeviceResult::Ok; }
const char* DeviceResultName(DeviceResult r);

// A 4x4 matrix in row-vector layout: m[4 * row + column]. Byte-compatible with the engine's Mat4.
struct Matrix {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    static Matrix Identity() { return {}; }
    float operator()(int r, int c) const { return m[4 * r + c]; }
    float& operator()(int r, int c) { return m[4 * r + c]; }
};
static_assert(sizeof(Matrix) == 64);

struct ColorValue {
    float r = 0, g = 0, b = 0, a = 0;
};
struct Vector3 {
    float x = 0, y = 0, z = 0;
};

enum LightType : uint32_t { LightPoint = 1, LightSpot = 2, LightDirectional = 3 };

// One light slot; 104 bytes, field for field the record the renderer queues.
struct Light {
    uint32_t Type = LightDirectional;
    ColorValue Diffuse, Specular, Ambient;
    Vector3 Position, Direction;
    float Range = 0, Falloff = 0;
    float Attenuation0 = 0, Attenuation1 = 0, Attenuation2 = 0;
    float Theta = 0, Phi = 0;
};
static_assert(sizeof(Light) == 104);

struct Material {
    ColorValue Diffuse, Ambient, Specular, Emissive;
    float Power = 0;
};

constexpr int kMaxLights = 30;
constexpr int kMaxStages = 3;
constexpr int kMaxSamplers = 3;

enum class TransformType { World, View, Projection };

enum class RenderState {
    ZEnable,
    ZWriteEnable,
    ZFunc,
    AlphaBlendEnable,
    SrcBlend,
    DestBlend,
    BlendOp,
    AlphaTestEnable,
    AlphaRef,
    AlphaFunc,
    CullMode,
    Lighting,
    SpecularEnable,
    Ambient,
    NormalizeNormals,
    ColorVertex,
    FogEnable,
    FogVertexMode,
    FogColor,
    FogStart,
    FogEnd,
    FogDensity,
    DitherEnable,
    Clipping,
    MultisampleAntialias,
    ColorWriteEnable,
    DiffuseMaterialSource,
    SpecularMaterialSource,
    AmbientMaterialSource,
    EmissiveMaterialSource,
    TextureFactor,
    Count
};

enum Cmp : uint32_t {
    CmpNever = 1,
    CmpLess,
    CmpEqual,
    CmpLessEqual,
    CmpGreater,
    CmpNotEqual,
    CmpGreaterEqual,
    CmpAlways
};
enum Blend : uint32_t {
    BlendZero = 1,
    BlendOne,
    BlendSrcColor,
    BlendInvSrcColor,
    BlendSrcAlpha,
    BlendInvSrcAlpha,
    BlendDestAlpha,
    BlendInvDestAlpha,
    BlendDestColor,
    BlendInvDestColor,
    BlendSrcAlphaSat
};
enum BlendOperation : uint32_t { BlendOpAdd = 1, BlendOpSubtract, BlendOpRevSubtract, BlendOpMin, BlendOpMax };
enum Cull : uint32_t { CullNone = 1, CullCW, CullCCW };
enum FogMode : uint32_t { FogNone = 0, FogExp, FogExp2, FogLinear };
enum MaterialSource : uint32_t { SourceMaterial = 0, SourceColor1, SourceColor2 };

enum class StageState { ColorOp, ColorArg1, ColorArg2, AlphaOp, AlphaArg1, AlphaArg2, TexCoordIndex, Count };
enum TextureOp : uint32_t {
    OpDisable = 1,
    OpSelectArg1,
    OpSelectArg2,
    OpModulate,
    OpModulate2X,
    OpModulate4X,
    OpAdd,
    OpAddSigned,
    OpAddSigned2X,
    OpSubtract,
    OpAddSmooth,
    OpBlendDiffuseAlpha,
    OpBlendTextureAlpha
};
enum TextureArg : uint32_t { ArgDiffuse = 0, ArgCurrent, ArgTexture, ArgTFactor, ArgSpecular };

enum class SamplerState { AddressU, AddressV, AddressW, MagFilter, MinFilter, MipFilter, MaxAnisotropy, Count };
enum TextureAddress : uint32_t { AddressWrap = 1, AddressMirror, AddressClamp, AddressBorder };
enum TextureFilter : uint32_t { FilterNone = 0, FilterPoint, FilterLinear, FilterAnisotropic };

// Flexible vertex format bits. The renderer uses two layouts: 0x2D2 (position, normal, diffuse,
// specular, two texture pairs: 48 bytes) and 0x144 (pre-transformed position with rhw, diffuse,
// one texture pair: 28 bytes).
enum FvfBits : uint32_t {
    FvfXyz = 0x002,
    FvfXyzRhw = 0x004,
    FvfNormal = 0x010,
    FvfDiffuse = 0x040,
    FvfSpecular = 0x080,
    FvfTex1 = 0x100,
    FvfTex2 = 0x200
};
constexpr uint32_t kFvfVertex = FvfXyz | FvfNormal | FvfDiffuse | FvfSpecular | FvfTex2; // 0x2D2
constexpr uint32_t kFvfScreen = FvfXyzRhw | FvfDiffuse | FvfTex1;                        // 0x144
// Bytes per vertex of a format; 0 for a format this layer cannot draw.
uint32_t FvfStride(uint32_t fvf);

enum class PrimitiveType { PointList = 1, LineList, LineStrip, TriangleList, TriangleStrip, TriangleFan };
uint32_t PrimitiveVertexCount(PrimitiveType type, uint32_t primitiveCount);

enum LockFlags : uint32_t { LockNone = 0, LockDiscard = 0x2000, LockNoOverwrite = 0x1000, LockReadOnly = 0x10 };
enum ClearFlags : uint32_t { ClearTarget = 1, ClearZBuffer = 2, ClearStencil = 4 };

enum class Format { Unknown, A8R8G8B8, X8R8G8B8, A1R5G5B5, R5G6B5, D16 };

struct PresentParameters {
    int BackBufferWidth = 0;
    int BackBufferHeight = 0;
    Format BackBufferFormat = Format::Unknown;
    int BackBufferCount = 1;
    bool Windowed = true;
    bool EnableAutoDepthStencil = false;
    Format AutoDepthStencilFormat = Format::Unknown;
    bool DiscardDepthStencil = false;
    bool Multisample = false;
    int RefreshRate = 0;
    bool PresentImmediate = true; // no vertical sync
    // The window to present into (an SDL_Window* for the GL backend); null draws off screen.
    void* DeviceWindow = nullptr;
};

struct DeviceCaps {
    bool HardwareTransformAndLight = false;
    uint32_t MaxAnisotropy = 1;
    // Non-zero when the device can filter textures anisotropically.
    uint32_t TextureFilterCaps = 0;
    int MaxActiveLights = kMaxLights;
};

class VertexBuffer {
public:
    virtual ~VertexBuffer() = default;
    virtual uint32_t GetLength() const = 0;
    // Maps bytes [offset, offset + size) for writing; size 0 maps from offset to the end.
    virtual DeviceResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
    virtual DeviceResult Unlock() = 0;
};

class IndexBuffer {
public:
    virtual ~IndexBuffer() = default;
    virtual uint32_t GetLength() const = 0; // bytes; indices are 16-bit
    virtual DeviceResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
    virtual DeviceResult Unlock() = 0;
};

enum class TextureKind { Plain, Cube, RenderTarget };

class Texture {
public:
    virtual ~Texture() = default;
    virtual TextureKind GetKind() const = 0;
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    virtual int GetLevelCount() const = 0;
    // The most detailed mip level drawn from (0 = the top level); clamped to the levels there are.
    virtual DeviceResult SetLOD(int level) = 0;
    virtual int GetLOD() const = 0;
};

// A compiled GLSL program with named parameters. Every program sees the device state as built-in
// uniforms (see GlShaders for their names), so the effects above need set only their own values.
class Program {
public:
    virtual ~Program() = default;
    virtual bool HasParameter(const std::string& name) const = 0;
    virtual void SetFloat(const std::string& name, float value) = 0;
    virtual void SetInt(const std::string& name, int value) = 0;
    virtual void SetVector(const std::string& name, const float value[4]) = 0;
    virtual void SetMatrix(const std::string& name, const Matrix& value) = 0;
    // Binds the texture to the sampler parameter of that name; null unbinds it.
    virtual void SetTexture(const std::string& name, Texture* texture) = 0;
};

struct TextureOptions {
    bool Mipmaps = true;
    bool Cube = false; // six faces laid out in one image (or a cube DDS)
};

// What a device drew between two calls of Device::Finish, for measuring a frame's passes.
struct DrawCounts {
    int draws = 0;
    int64_t primitives = 0;
    int depthTested = 0; // draws with the depth test on
    int blended = 0;     // draws with alpha blending on
    int programs = 0;    // draws with an effect's program instead of the fixed-function one
    int textures = 0;    // textures bound, summed over the draws
    int copies = 0;      // StretchRect calls
};

class Device {
public:
    virtual ~Device() = default;

    virtual const DeviceCaps& GetDeviceCaps() const = 0;
    // Ok, or DeviceLost while the device cannot draw, or DeviceNotReset once it can be reset.
    virtual DeviceResult TestCooperativeLevel() = 0;
    // Rebuilds the back buffer from the parameters and puts every state back to its default.
    virtual DeviceResult Reset(const PresentParameters& params) = 0;
    virtual const PresentParameters& GetPresentParameters() const = 0;

    virtual DeviceResult Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) = 0;
    virtual DeviceResult BeginScene() = 0;
    virtual DeviceResult EndScene() = 0;
    virtual DeviceResult Present() = 0;

    virtual DeviceResult SetTransform(TransformType type, const Matrix& matrix) = 0;
    virtual DeviceResult GetTransform(TransformType type, Matrix& matrix) const = 0;
    virtual DeviceResult SetLight(int index, const Light& light) = 0;
    virtual DeviceResult LightEnable(int index, bool enable) = 0;
    virtual DeviceResult SetMaterial(const Material& material) = 0;
    virtual DeviceResult SetRenderState(RenderState state, uint32_t value) = 0;
    virtual uint32_t GetRenderState(RenderState state) const = 0;
    virtual DeviceResult SetTextureStageState(int stage, StageState state, uint32_t value) = 0;
    // 0 for a stage or sampler outside the device's range.
    virtual uint32_t GetTextureStageState(int stage, StageState state) const = 0;
    virtual DeviceResult SetSamplerState(int sampler, SamplerState state, uint32_t value) = 0;
    virtual uint32_t GetSamplerState(int sampler, SamplerState state) const = 0;
    virtual DeviceResult SetTexture(int stage, Texture* texture) = 0;
    virtual Texture* GetTexture(int stage) const = 0;
    virtual DeviceResult SetFVF(uint32_t fvf) = 0;

    virtual DeviceResult CreateVertexBuffer(uint32_t length, bool dynamic, std::unique_ptr<VertexBuffer>& out) = 0;
    virtual DeviceResult CreateIndexBuffer(uint32_t length, bool dynamic, std::unique_ptr<IndexBuffer>& out) = 0;
    virtual DeviceResult SetStreamSource(VertexBuffer* buffer, uint32_t stride) = 0;
    virtual DeviceResult SetIndices(IndexBuffer* buffer) = 0;

    virtual DeviceResult DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                         uint32_t stride) = 0;
    virtual DeviceResult DrawIndexedPrimitive(PrimitiveType type, int baseVertexIndex, uint32_t minIndex,
                                              uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) = 0;

    // Decodes an image file held in memory (TGA, JPEG, PNG, BMP or DDS).
    virtual DeviceResult CreateTextureFromMemory(const void* data, size_t size, const TextureOptions& options,
                                                 std::unique_ptr<Texture>& out) = 0;
    virtual DeviceResult CreateRenderTarget(int width, int height, std::unique_ptr<Texture>& out) = 0;
    // Null draws into the back buffer again.
    virtual DeviceResult SetRenderTarget(Texture* target) = 0;
    // Copies the back buffer (source null) or a render target into a render target, stretched.
    virtual DeviceResult StretchRect(Texture* source, Texture* destination) = 0;
    // The back buffer as a texture that effects may sample (never while drawing into it), laid out
    // as render targets are, so that sampling it shows what StretchRect would have copied; null
    // where the device cannot, and the caller copies instead.
    virtual Texture* GetBackBufferTexture() { return nullptr; }

    virtual DeviceResult CreateProgram(const std::string& vertexSource, const std::string& fragmentSource,
                                       std::unique_ptr<Program>& out, std::string* errors = nullptr) = 0;
    // Null draws with the built-in fixed-function program.
    virtual DeviceResult SetProgram(Program* program) = 0;

    // The back buffer as 0xAARRGGBB pixels, top row first (tests and screenshots).
    virtual DeviceResult ReadBackBuffer(std::vector<uint32_t>& pixels, int& width, int& height) = 0;

    // Waits until everything asked of the device has been drawn, and answers what was asked since
    // the last call: for timing a frame pass by pass. A device that keeps no counts answers none.
    virtual DrawCounts Finish() { return {}; }
};

// Makes devices: the stand-in for the system object a device is created from.
class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    virtual const char* GetName() const = 0;
    // The size of the primary screen in pixels.
    virtual bool GetDesktopSize(int& width, int& height) = 0;
    // What a device of this backend can do, before one exists.
    virtual DeviceCaps GetAdapterCaps() = 0;
    // Whether a full-screen back buffer of that format can be made.
    virtual bool CheckDeviceType(Format format, bool windowed) = 0;
    virtual DeviceResult CreateDevice(const PresentParameters& params, std::unique_ptr<Device>& out) = 0;
};

inline uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
inline float BitsFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

} // namespace Platform
