#include "Platform/GlDevice.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>
#include <variant>

#include "Platform/DeviceState.h"
#include "Platform/GlShaders.h"
#include "Platform/ImageDecoder.h"

namespace Platform {
namespace {

constexpr GLuint kUniformBinding = 0;
constexpr int kTextureUnits = 8;

GlFramePath g_framePath;

// The context every resource of one device belongs to. Resources outlive nothing: once the
// device is gone they only forget their names.
struct GlContext {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool alive = true;
    bool MakeCurrent() const { return alive && SDL_GL_MakeCurrent(window, context) == 0; }
};
using ContextRef = std::shared_ptr<GlContext>;

// The uniform block of GlShaders' prelude, member for member (std140 of vec4/ivec4/mat4 only).
struct GlUniforms {
    float world[16], view[16], projection[16], worldView[16], worldViewProj[16], normalMatrix[16];
    float matDiffuse[4], matAmbient[4], matSpecular[4], matEmissive[4], matPower[4];
    float ambient[4], fogColor[4], fogParams[4], textureFactor[4], target[4];
    int32_t flags[4], vertexFlags[4], matSources[4], misc[4];
    int32_t stageColor[3][4], stageAlpha[3][4];
    int32_t alphaTest[4];
    float lightDiffuse[kMaxLights][4], lightSpecular[kMaxLights][4], lightAmbient[kMaxLights][4];
    float lightPosition[kMaxLights][4], lightDirection[kMaxLights][4], lightAtten[kMaxLights][4];
    float lightSpot[kMaxLights][4];
};

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out(r, c) = a(r, 0) * b(0, c) + a(r, 1) * b(1, c) + a(r, 2) * b(2, c) + a(r, 3) * b(3, c);
    return out;
}

// The inverse transpose of the upper 3x3, for normals; zero when singular.
Matrix NormalMatrix(const Matrix& m) {
    const float a = m(0, 0), b = m(0, 1), c = m(0, 2), d = m(1, 0), e = m(1, 1), f = m(1, 2), g = m(2, 0), h = m(2, 1),
                i = m(2, 2);
    const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    Matrix out;
    if (det == 0.0f || !std::isfinite(det)) {
        for (float& v : out.m) v = 0;
        return out;
    }
    const float k = 1.0f / det;
    // Transpose of the inverse = cofactor matrix / det.
    out(0, 0) = A * k, out(0, 1) = B * k, out(0, 2) = C * k;
    out(1, 0) = -(b * i - c * h) * k, out(1, 1) = (a * i - c * g) * k, out(1, 2) = -(a * h - b * g) * k;
    out(2, 0) = (b * f - c * e) * k, out(2, 1) = -(a * f - c * d) * k, out(2, 2) = (a * e - b * d) * k;
    out(0, 3) = out(1, 3) = out(2, 3) = out(3, 0) = out(3, 1) = out(3, 2) = 0;
    out(3, 3) = 1;
    return out;
}

void Put(float dst[4], const ColorValue& c) { dst[0] = c.r, dst[1] = c.g, dst[2] = c.b, dst[3] = c.a; }
void PutArgb(float dst[4], uint32_t c) {
    dst[0] = ((c >> 16) & 0xFF) / 255.0f, dst[1] = ((c >> 8) & 0xFF) / 255.0f, dst[2] = (c & 0xFF) / 255.0f;
    dst[3] = ((c >> 24) & 0xFF) / 255.0f;
}

GLenum GlCompare(uint32_t f) {
    static const GLenum table[] = {GL_NEVER,   GL_NEVER,    GL_LESS,   GL_EQUAL, GL_LEQUAL,
                                   GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return f < 9 ? table[f] : GL_ALWAYS;
}

GLenum GlBlend(uint32_t b) {
    switch (b) {
    case BlendZero: return GL_ZERO;
    case BlendOne: return GL_ONE;
    case BlendSrcColor: return GL_SRC_COLOR;
    case BlendInvSrcColor: return GL_ONE_MINUS_SRC_COLOR;
    case BlendSrcAlpha: return GL_SRC_ALPHA;
    case BlendInvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    case BlendDestAlpha: return GL_DST_ALPHA;
    case BlendInvDestAlpha: return GL_ONE_MINUS_DST_ALPHA;
    case BlendDestColor: return GL_DST_COLOR;
    case BlendInvDestColor: return GL_ONE_MINUS_DST_COLOR;
    case BlendSrcAlphaSat: return GL_SRC_ALPHA_SATURATE;
    }
    return GL_ONE;
}

GLenum GlBlendOp(uint32_t op) {
    switch (op) {
    case BlendOpSubtract: return GL_FUNC_SUBTRACT;
    case BlendOpRevSubtract: return GL_FUNC_REVERSE_SUBTRACT;
    case BlendOpMin: return GL_MIN;
    case BlendOpMax: return GL_MAX;
    }
    return GL_FUNC_ADD;
}

GLenum GlPrimitive(PrimitiveType t) {
    switch (t) {
    case PrimitiveType::PointList: return GL_POINTS;
    case PrimitiveType::LineList: return GL_LINES;
    case PrimitiveType::LineStrip: return GL_LINE_STRIP;
    case PrimitiveType::TriangleList: return GL_TRIANGLES;
    case PrimitiveType::TriangleStrip: return GL_TRIANGLE_STRIP;
    case PrimitiveType::TriangleFan: return GL_TRIANGLE_FAN;
    }
    return GL_TRIANGLES;
}

GLuint Compile(GLenum kind, const std::string& body, std::string* errors, const std::string& defines = {}) {
    const std::string source = std::string("#version 330 core\n") + defines + kGlPrelude + body;
    GLuint shader = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log - 1, nullptr, log);
        if (errors) *errors += log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint Link(const std::string& vs, const std::string& fs, std::string* errors, const std::string& fsDefines = {}) {
    GLuint v = Compile(GL_VERTEX_SHADER, vs, errors);
    GLuint f = v ? Compile(GL_FRAGMENT_SHADER, fs, errors, fsDefines) : 0;
    if (!v || !f) {
        if (v) glDeleteShader(v);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, v);
    glAttachShader(program, f);
    glLinkProgram(program);
    glDeleteShader(v);
    glDeleteShader(f);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetProgramInfoLog(program, sizeof log - 1, nullptr, log);
        if (errors) *errors += log;
        glDeleteProgram(program);
        return 0;
    }
    const GLuint block = glGetUniformBlockIndex(program, "VastrelDevice");
    if (block != GL_INVALID_INDEX) glUniformBlockBinding(program, block, kUniformBinding);
    return program;
}

// A buffer object with a copy in memory: Lock hands out the copy, Unlock uploads the locked range.
class GlBuffer final : public VertexBuffer, public IndexBuffer {
public:
    GlBuffer(ContextRef ctx, uint32_t length, bool dynamic)
        : ctx_(std::move(ctx)), bytes_(length), usage_(dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW) {
        glGenBuffers(1, &name_);
        Bind();
        glBufferData(GL_ARRAY_BUFFER, length, nullptr, usage_);
    }
    ~GlBuffer() override {
        if (ctx_->MakeCurrent()) glDeleteBuffers(1, &name_);
    }
    uint32_t GetLength() const override { return static_cast<uint32_t>(bytes_.size()); }
    DeviceResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override {
        if (!data || locked_ || offset > bytes_.size()) return DeviceResult::InvalidCall;
        if (size == 0) size = static_cast<uint32_t>(bytes_.size()) - offset;
        if (size > bytes_.size() - offset) return DeviceResult::InvalidCall;
        lockOffset_ = offset;
        lockSize_ = size;
        discard_ = (flags & LockDiscard) != 0;
        locked_ = true;
        *data = bytes_.data() + offset;
        return DeviceResult::Ok;
    }
    DeviceResult Unlock() override {
        if (!locked_) return DeviceResult::InvalidCall;
        locked_ = false;
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        Bind();
        // Orphaning on discard lets the driver keep drawing from the old storage.
        if (discard_) glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes_.size()), bytes_.data(), usage_);
        else if (lockSize_) glBufferSubData(GL_ARRAY_BUFFER, lockOffset_, lockSize_, bytes_.data() + lockOffset_);
        return DeviceResult::Ok;
    }
    GLuint Name() const { return name_; }
    bool IsLocked() const { return locked_; }

private:
    // Index buffers too are filled through the array target, so the vertex array's own index
    // binding is left alone.
    void Bind() { glBindBuffer(GL_ARRAY_BUFFER, name_); }
    ContextRef ctx_;
    GLuint name_ = 0;
    std::vector<uint8_t> bytes_;
    GLenum usage_;
    uint32_t lockOffset_ = 0, lockSize_ = 0;
    bool discard_ = false, locked_ = false;
};

class GlTexture final : public Texture {
public:
    GlTexture(ContextRef ctx, TextureKind kind, int w, int h, int levels)
        : ctx_(std::move(ctx)), kind_(kind), w_(w), h_(h), levels_(levels) {
        glGenTextures(1, &name_);
    }
    ~GlTexture() override {
        if (ctx_->MakeCurrent()) {
            glDeleteTextures(1, &name_);
            if (fbo_) glDeleteFramebuffers(1, &fbo_);
            if (depth_) glDeleteRenderbuffers(1, &depth_);
        }
    }
    TextureKind GetKind() const override { return kind_; }
    int GetWidth() const override { return w_; }
    int GetHeight() const override { return h_; }
    int GetLevelCount() const override { return levels_; }
    DeviceResult SetLOD(int level) override {
        lod_ = std::clamp(level, 0, std::max(levels_ - 1, 0));
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        glActiveTexture(GL_TEXTURE0 + kTextureUnits - 1);
        glBindTexture(Target(), name_);
        glTexParameteri(Target(), GL_TEXTURE_BASE_LEVEL, lod_);
        glBindTexture(Target(), 0);
        return DeviceResult::Ok;
    }
    int GetLOD() const override { return lod_; }
    GLenum Target() const { return kind_ == TextureKind::Cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D; }
    GLuint name_ = 0;
    GLuint fbo_ = 0, depth_ = 0;

private:
    ContextRef ctx_;
    TextureKind kind_;
    int w_, h_, levels_;
    int lod_ = 0;
};

class GlDevice;

class GlProgram final : public Program {
public:
    GlProgram(ContextRef ctx, GLuint name) : ctx_(std::move(ctx)), name_(name) {}
    ~GlProgram() override {
        if (ctx_->MakeCurrent()) glDeleteProgram(name_);
    }
    bool HasParameter(const std::string& name) const override { return Location(name) >= 0; }
    void SetFloat(const std::string& name, float v) override { values_[name] = v; }
    void SetInt(const std::string& name, int v) override { values_[name] = v; }
    void SetVector(const std::string& name, const float v[4]) override {
        values_[name] = std::array<float, 4>{v[0], v[1], v[2], v[3]};
    }
    void SetMatrix(const std::string& name, const Matrix& v) override { values_[name] = v; }
    void SetTexture(const std::string& name, Texture* t) override {
        auto it = std::find_if(textures_.begin(), textures_.end(), [&](auto& e) { return e.first == name; });
        if (it == textures_.end()) textures_.emplace_back(name, static_cast<GlTexture*>(t));
        else it->second = static_cast<GlTexture*>(t);
    }
    GLint Location(const std::string& name) const { return glGetUniformLocation(name_, name.c_str()); }
    GLuint Name() const { return name_; }

    using Value = std::variant<float, int, std::array<float, 4>, Matrix>;
    std::map<std::string, Value> values_;
    // Texture parameters in the order first set; the k-th is bound to unit k with sampler k's states.
    std::vector<std::pair<std::string, GlTexture*>> textures_;

private:
    ContextRef ctx_;
    GLuint name_;
};

class GlDevice final : public Device {
public:
    GlDevice(ContextRef ctx, bool ownsWindow, const PresentParameters& params)
        : ctx_(std::move(ctx)),
          ownsWindow_(ownsWindow),
          params_(params),
          legacy_(!g_framePath.sampleBackBuffer),
          variants_(g_framePath.fixedVariants) {}

    ~GlDevice() override {
        if (ctx_->MakeCurrent()) {
            DropBackBuffer();
            if (fixed_) glDeleteProgram(fixed_);
            for (const auto& [key, program] : fixedVariants_) glDeleteProgram(program);
            glDeleteBuffers(1, &ubo_);
            glDeleteBuffers(1, &stream_);
            glDeleteVertexArrays(1, &vao_);
            glDeleteSamplers(kTextureUnits, samplers_);
        }
        ctx_->alive = false;
        SDL_GL_MakeCurrent(ctx_->window, nullptr);
        SDL_GL_DeleteContext(ctx_->context);
        if (ownsWindow_) SDL_DestroyWindow(ctx_->window);
    }

    bool Init(std::string& error) {
        if (epoxy_gl_version() < 33) {
            error = "OpenGL 3.3 is not available (version " + std::to_string(epoxy_gl_version()) + ")";
            return false;
        }
        fixed_ = Link(kGlFixedVertex, kGlFixedFragment, &error);
        if (!fixed_) return false;
        BindStageSamplers(fixed_);
        glGenBuffers(1, &ubo_);
        glBindBuffer(GL_UNIFORM_BUFFER, ubo_);
        glBufferData(GL_UNIFORM_BUFFER, sizeof(GlUniforms), nullptr, GL_DYNAMIC_DRAW);
        glBindBufferBase(GL_UNIFORM_BUFFER, kUniformBinding, ubo_);
        glGenBuffers(1, &stream_);
        glGenVertexArrays(1, &vao_);
        glBindVertexArray(vao_);
        glGenSamplers(kTextureUnits, samplers_);
        caps_.HardwareTransformAndLight = true;
        if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
            epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic")) {
            GLfloat maxAniso = 1;
            glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAniso);
            caps_.MaxAnisotropy = static_cast<uint32_t>(maxAniso);
            caps_.TextureFilterCaps = 1;
        }
        if (!MakeBackBuffer()) {
            error = "cannot create the back buffer";
            return false;
        }
        return true;
    }

    const DeviceCaps& GetDeviceCaps() const override { return caps_; }
    // A GL context is never taken away; only a failed reset leaves the device unable to draw.
    DeviceResult TestCooperativeLevel() override {
        return needsReset_ ? DeviceResult::DeviceNotReset : DeviceResult::Ok;
    }
    const PresentParameters& GetPresentParameters() const override { return params_; }

    DeviceResult Reset(const PresentParameters& params) override {
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        if (params.BackBufferWidth <= 0 || params.BackBufferHeight <= 0) {
            needsReset_ = true;
            return DeviceResult::InvalidCall;
        }
        PresentParameters next = params;
        next.DeviceWindow = params_.DeviceWindow; // the device stays on its window
        params_ = next;
        DropBackBuffer();
        if (!MakeBackBuffer()) {
            DropBackBuffer();
            needsReset_ = true;
            return DeviceResult::OutOfMemory;
        }
        needsReset_ = false;
        state_.SetDefaults();
        program_ = nullptr;
        inScene_ = false;
        return DeviceResult::Ok;
    }

    DeviceResult Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) override {
        if (needsReset_ || !ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        BindTarget();
        GLbitfield mask = 0;
        if (flags & ClearTarget) {
            float c[4];
            PutArgb(c, color);
            glClearColor(c[0], c[1], c[2], c[3]);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if (flags & ClearZBuffer) {
            glClearDepth(z);
            glDepthMask(GL_TRUE);
            mask |= GL_DEPTH_BUFFER_BIT;
        }
        if (flags & ClearStencil) {
            glClearStencil(static_cast<GLint>(stencil));
            glStencilMask(0xFF);
            mask |= GL_STENCIL_BUFFER_BIT;
        }
        glDisable(GL_SCISSOR_TEST);
        glClear(mask);
        return DeviceResult::Ok;
    }

    DeviceResult BeginScene() override {
        if (inScene_) return DeviceResult::InvalidCall;
        inScene_ = true;
        return DeviceResult::Ok;
    }
    DeviceResult EndScene() override {
        if (!inScene_) return DeviceResult::InvalidCall;
        inScene_ = false;
        return DeviceResult::Ok;
    }

    DeviceResult Present() override {
        if (needsReset_ || !ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(ctx_->window, &w, &h);
        // A minimised window has no drawable: the frame is still done, nothing is shown.
        if (w > 0 && h > 0) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, BackFbo());
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            // A back buffer laid out as the targets are holds its top row first: the blit turns it.
            if (legacy_)
                glBlitFramebuffer(0, 0, params_.BackBufferWidth, params_.BackBufferHeight, 0, 0, w, h,
                                  GL_COLOR_BUFFER_BIT, GL_LINEAR);
            else
                glBlitFramebuffer(0, 0, params_.BackBufferWidth, params_.BackBufferHeight, 0, h, w, 0,
                                  GL_COLOR_BUFFER_BIT, GL_LINEAR);
            SDL_GL_SwapWindow(ctx_->window);
        }
        glBindFramebuffer(GL_FRAMEBUFFER, CurrentFbo());
        return DeviceResult::Ok;
    }

    DeviceResult SetTransform(TransformType type, const Matrix& m) override {
        return state_.SetTransform(type, m) ? DeviceResult::Ok : DeviceResult::InvalidCall;
    }
    DeviceResult GetTransform(TransformType type, Matrix& m) const override {
        m = state_.Transform(type);
        return DeviceResult::Ok;
    }
    DeviceResult SetLight(int index, const Light& light) override {
        return state_.SetLight(index, light) ? DeviceResult::Ok : DeviceResult::InvalidCall;
    }
    DeviceResult LightEnable(int index, bool enable) override {
        return state_.LightEnable(index, enable) ? DeviceResult::Ok : DeviceResult::InvalidCall;
    }
    DeviceResult SetMaterial(const Material& material) override {
        state_.material = material;
        return DeviceResult::Ok;
    }
    DeviceResult SetRenderState(RenderState s, uint32_t v) override {
        return state_.SetRenderState(s, v) ? DeviceResult::Ok : DeviceResult::InvalidCall;
    }
    uint32_t GetRenderState(RenderState s) const override { return state_.Get(s); }
    DeviceResult SetTextureStageState(int stage, StageState s, uint32_t v) override {
        return state_.SetStageState(stage, s, v) ? DeviceResult::Ok : DeviceResult::InvalidCall;
    }
    uint32_t GetTextureStageState(int stage, StageState s) const override { return state_.Get(stage, s); }
    DeviceResult SetSamplerState(int sampler, SamplerState s, uint32_t v) override {
        return state_.SetSamplerState(sampler, s, v) ? DeviceResult::Ok : DeviceResult::InvalidCall;
    }
    uint32_t GetSamplerState(int sampler, SamplerState s) const override { return state_.Get(sampler, s); }
    DeviceResult SetTexture(int stage, Texture* texture) override {
        return state_.SetTexture(stage, texture) ? DeviceResult::Ok : DeviceResult::InvalidCall;
    }
    Texture* GetTexture(int stage) const override { return state_.GetTexture(stage); }
    DeviceResult SetFVF(uint32_t fvf) override {
        if (FvfStride(fvf) == 0) return DeviceResult::InvalidCall;
        state_.fvf = fvf;
        return DeviceResult::Ok;
    }

    DeviceResult CreateVertexBuffer(uint32_t length, bool dynamic, std::unique_ptr<VertexBuffer>& out) override {
        if (length == 0) return DeviceResult::InvalidCall;
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        out = std::make_unique<GlBuffer>(ctx_, length, dynamic);
        return DeviceResult::Ok;
    }
    DeviceResult CreateIndexBuffer(uint32_t length, bool dynamic, std::unique_ptr<IndexBuffer>& out) override {
        if (length == 0) return DeviceResult::InvalidCall;
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        out = std::make_unique<GlBuffer>(ctx_, length, dynamic);
        return DeviceResult::Ok;
    }
    DeviceResult SetStreamSource(VertexBuffer* buffer, uint32_t stride) override {
        vertexBuffer_ = static_cast<GlBuffer*>(buffer);
        vertexStride_ = stride;
        return DeviceResult::Ok;
    }
    DeviceResult SetIndices(IndexBuffer* buffer) override {
        indexBuffer_ = static_cast<GlBuffer*>(buffer);
        return DeviceResult::Ok;
    }

    DeviceResult DrawPrimitiveUP(PrimitiveType type, uint32_t count, const void* vertices, uint32_t stride) override {
        const uint32_t n = PrimitiveVertexCount(type, count);
        if (!vertices || stride == 0 || stride < FvfStride(state_.fvf) || FvfStride(state_.fvf) == 0)
            return DeviceResult::InvalidCall;
        if (n == 0) return DeviceResult::Ok;
        if (needsReset_ || !ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        glBindBuffer(GL_ARRAY_BUFFER, stream_);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(n) * stride, vertices, GL_STREAM_DRAW);
        Prepare(stream_, stride, 0);
        Count(count);
        glDrawArrays(GlPrimitive(type), 0, static_cast<GLsizei>(n));
        // Drawing from memory leaves no stream bound, as with the system this mirrors.
        vertexBuffer_ = nullptr;
        return glGetError() == GL_NO_ERROR ? DeviceResult::Ok : DeviceResult::Fail;
    }

    DeviceResult DrawIndexedPrimitive(PrimitiveType type, int baseVertexIndex, uint32_t, uint32_t, uint32_t startIndex,
                                      uint32_t count) override {
        const uint32_t n = PrimitiveVertexCount(type, count);
        if (!vertexBuffer_ || !indexBuffer_ || FvfStride(state_.fvf) == 0 || vertexBuffer_->IsLocked() ||
            indexBuffer_->IsLocked())
            return DeviceResult::InvalidCall;
        if (static_cast<uint64_t>(startIndex + n) * 2 > indexBuffer_->GetLength()) return DeviceResult::InvalidCall;
        if (n == 0) return DeviceResult::Ok;
        if (needsReset_ || !ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        const uint32_t stride = vertexStride_ ? vertexStride_ : FvfStride(state_.fvf);
        Prepare(vertexBuffer_->Name(), stride, 0);
        Count(count);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_->Name());
        glDrawElementsBaseVertex(GlPrimitive(type), static_cast<GLsizei>(n), GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * 2),
                                 baseVertexIndex);
        return glGetError() == GL_NO_ERROR ? DeviceResult::Ok : DeviceResult::Fail;
    }

    DeviceResult CreateTextureFromMemory(const void* data, size_t size, const TextureOptions& options,
                                         std::unique_ptr<Texture>& out) override {
        Image image;
        if (!DecodeImage(data, size, image)) return DeviceResult::Fail;
        if (options.Cube && image.faces.size() != 6 && !SplitCubeStrip(image)) return DeviceResult::Fail;
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        const bool cube = image.faces.size() == 6;
        int levels = 1;
        if (options.Mipmaps)
            for (int e = std::max(image.width, image.height); e > 1; e /= 2) ++levels;
        auto tex = std::make_unique<GlTexture>(ctx_, cube ? TextureKind::Cube : TextureKind::Plain, image.width,
                                               image.height, levels);
        const GLenum target = tex->Target();
        glActiveTexture(GL_TEXTURE0 + kTextureUnits - 1);
        glBindTexture(target, tex->name_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (size_t f = 0; f < image.faces.size(); ++f)
            glTexImage2D(cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(f) : GL_TEXTURE_2D, 0, GL_RGBA8,
                         image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.faces[f].data());
        glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, levels - 1);
        if (levels > 1) glGenerateMipmap(target);
        glBindTexture(target, 0);
        if (glGetError() != GL_NO_ERROR) return DeviceResult::OutOfMemory;
        out = std::move(tex);
        return DeviceResult::Ok;
    }

    DeviceResult CreateRenderTarget(int width, int height, std::unique_ptr<Texture>& out) override {
        if (width <= 0 || height <= 0) return DeviceResult::InvalidCall;
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        auto tex = std::make_unique<GlTexture>(ctx_, TextureKind::RenderTarget, width, height, 1);
        if (!MakeTarget(tex->name_, tex->fbo_, tex->depth_, width, height)) return DeviceResult::OutOfMemory;
        out = std::move(tex);
        return DeviceResult::Ok;
    }

    DeviceResult SetRenderTarget(Texture* target) override {
        if (target && target->GetKind() != TextureKind::RenderTarget) return DeviceResult::InvalidCall;
        target_ = static_cast<GlTexture*>(target);
        return DeviceResult::Ok;
    }

    DeviceResult StretchRect(Texture* source, Texture* destination) override {
        auto* src = static_cast<GlTexture*>(source);
        auto* dst = static_cast<GlTexture*>(destination);
        if (!dst || dst->GetKind() != TextureKind::RenderTarget || (src && src->GetKind() != TextureKind::RenderTarget))
            return DeviceResult::InvalidCall;
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        const int sw = src ? src->GetWidth() : params_.BackBufferWidth;
        const int sh = src ? src->GetHeight() : params_.BackBufferHeight;
        ++counts_.copies;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, src ? src->fbo_ : BackFbo());
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, dst->fbo_);
        // Targets hold their top row first; so does the back buffer, but on the legacy path.
        if (src || !legacy_)
            glBlitFramebuffer(0, 0, sw, sh, 0, 0, dst->GetWidth(), dst->GetHeight(), GL_COLOR_BUFFER_BIT, GL_LINEAR);
        else glBlitFramebuffer(0, 0, sw, sh, 0, dst->GetHeight(), dst->GetWidth(), 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        glBindFramebuffer(GL_FRAMEBUFFER, CurrentFbo());
        return DeviceResult::Ok;
    }

    Texture* GetBackBufferTexture() override { return legacy_ ? nullptr : back_.get(); }

    DeviceResult CreateProgram(const std::string& vs, const std::string& fs, std::unique_ptr<Program>& out,
                               std::string* errors) override {
        if (!ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        GLuint name = Link(vs, fs, errors);
        if (!name) return DeviceResult::Fail;
        out = std::make_unique<GlProgram>(ctx_, name);
        return DeviceResult::Ok;
    }
    DeviceResult SetProgram(Program* program) override {
        program_ = static_cast<GlProgram*>(program);
        return DeviceResult::Ok;
    }

    DeviceResult ReadBackBuffer(std::vector<uint32_t>& pixels, int& width, int& height) override {
        if (needsReset_ || !ctx_->MakeCurrent()) return DeviceResult::DeviceLost;
        width = params_.BackBufferWidth;
        height = params_.BackBufferHeight;
        std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, BackFbo());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        pixels.resize(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const size_t row = static_cast<size_t>(legacy_ ? height - 1 - y : y);
                const uint8_t* p = &rgba[(row * width + x) * 4];
                pixels[static_cast<size_t>(y) * width + x] =
                    static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
            }
        glBindFramebuffer(GL_FRAMEBUFFER, CurrentFbo());
        return DeviceResult::Ok;
    }

    DrawCounts Finish() override {
        if (ctx_->MakeCurrent()) glFinish();
        return std::exchange(counts_, DrawCounts{});
    }

private:
    GLuint BackFbo() const { return back_ ? back_->fbo_ : 0; }

    // The draw about to be made, with the states Prepare has applied.
    void Count(uint32_t primitives) {
        ++counts_.draws;
        counts_.primitives += primitives;
        if (state_.Get(RenderState::ZEnable)) ++counts_.depthTested;
        if (state_.Get(RenderState::AlphaBlendEnable)) ++counts_.blended;
        if (program_) {
            ++counts_.programs;
            for (const auto& [name, texture] : program_->textures_) counts_.textures += texture ? 1 : 0;
        } else {
            for (int s = 0; s < kMaxStages && state_.Get(s, StageState::ColorOp) > OpDisable; ++s)
                counts_.textures += state_.textures[s] ? 1 : 0;
        }
    }
    GLuint CurrentFbo() const { return target_ ? target_->fbo_ : BackFbo(); }
    // Drawing into a target, or into a back buffer laid out as one, turns y over.
    bool Flipped() const { return target_ != nullptr || !legacy_; }

    static void BindStageSamplers(GLuint program) {
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "uStage0"), 0);
        glUniform1i(glGetUniformLocation(program, "uStage1"), 1);
        glUniform1i(glGetUniformLocation(program, "uStage2"), 2);
    }

    // The fixed-function program for the stage and pixel states of this draw: one made for them
    // (branches the states do not take cost every pixel on a software rasteriser), or the general
    // one where variants are off and when a variant does not link.
    GLuint FixedProgram() {
        if (!variants_) return fixed_;
        std::array<int32_t, 28> key{};
        size_t k = 0;
        for (int s = 0; s < kMaxStages; ++s) {
            const uint32_t colorOp = state_.Get(s, StageState::ColorOp);
            if (colorOp <= OpDisable) break;
            auto* tex = static_cast<GlTexture*>(state_.textures[s]);
            key[k++] = static_cast<int32_t>(colorOp);
            key[k++] = static_cast<int32_t>(state_.Get(s, StageState::ColorArg1));
            key[k++] = static_cast<int32_t>(state_.Get(s, StageState::ColorArg2));
            key[k++] = static_cast<int32_t>(state_.Get(s, StageState::TexCoordIndex) & 0xFFFF);
            key[k++] = static_cast<int32_t>(state_.Get(s, StageState::AlphaOp));
            key[k++] = static_cast<int32_t>(state_.Get(s, StageState::AlphaArg1));
            key[k++] = static_cast<int32_t>(state_.Get(s, StageState::AlphaArg2));
            key[k++] = tex && tex->GetKind() != TextureKind::Cube ? 1 : 0;
        }
        key[24] = uniforms_.flags[1];
        key[25] = uniforms_.flags[3];
        key[26] = uniforms_.alphaTest[0];
        key[27] = uniforms_.alphaTest[0] ? uniforms_.alphaTest[1] : 0;
        auto it = fixedVariants_.find(key);
        if (it != fixedVariants_.end()) return it->second ? it->second : fixed_;
        std::string defines = "#define FIXED_VARIANT\n";
        auto stages = [&](const char* name, size_t first) {
            defines += std::string("const ivec4 ") + name + "[3] = ivec4[3](";
            for (int s = 0; s < 3; ++s) {
                const size_t at = static_cast<size_t>(s) * 8 + first;
                defines += "ivec4(" + std::to_string(key[at]) + ", " + std::to_string(key[at + 1]) + ", " +
                           std::to_string(key[at + 2]) + ", " + std::to_string(key[at + 3]) + ")";
                defines += s < 2 ? ", " : ");\n";
            }
        };
        // As in the uniform block: colour op, arg1, arg2, coordinate set; alpha op, arg1, arg2,
        // texture bound.
        stages("kStageColor", 0);
        stages("kStageAlpha", 4);
        defines += "#define STAGE_COLOR(s) kStageColor[s]\n#define STAGE_ALPHA(s) kStageAlpha[s]\n";
        defines += "#define FIXED_SPECULAR " + std::to_string(key[24]) + "\n#define FIXED_FOG " +
                   std::to_string(key[25]) + "\n#define ALPHA_TEST_ON " + std::to_string(key[26]) +
                   "\n#define ALPHA_FUNC " + std::to_string(key[27]) + "\n";
        GLuint program = Link(kGlFixedVertex, kGlFixedFragment, nullptr, defines);
        if (program) BindStageSamplers(program);
        fixedVariants_.emplace(key, program);
        return program ? program : fixed_;
    }

    void BindTarget() {
        glBindFramebuffer(GL_FRAMEBUFFER, CurrentFbo());
        // A new target brings its own viewport, as the system this mirrors does on SetRenderTarget.
        const int w = target_ ? target_->GetWidth() : params_.BackBufferWidth;
        const int h = target_ ? target_->GetHeight() : params_.BackBufferHeight;
        glViewport(0, 0, w, h);
    }

    bool MakeTarget(GLuint texture, GLuint& fbo, GLuint& depth, int w, int h) {
        glActiveTexture(GL_TEXTURE0 + kTextureUnits - 1);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
        const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, CurrentFbo());
        return complete;
    }

    bool MakeBackBuffer() {
        back_ = std::make_unique<GlTexture>(ctx_, TextureKind::RenderTarget, params_.BackBufferWidth,
                                            params_.BackBufferHeight, 1);
        return MakeTarget(back_->name_, back_->fbo_, back_->depth_, params_.BackBufferWidth, params_.BackBufferHeight);
    }

    void DropBackBuffer() {
        // Nothing may go on sampling the back buffer that goes.
        for (int s = 0; s < kMaxStages; ++s)
            if (state_.textures[s] == back_.get()) state_.SetTexture(s, nullptr);
        if (target_ == back_.get()) target_ = nullptr;
        back_.reset();
    }

    // Sets the vertex layout of the current format on the given buffer, hands the device state to
    // the programs and sets the GL state; everything a draw needs.
    void Prepare(GLuint buffer, uint32_t stride, uint32_t offset) {
        BindTarget();
        glBindVertexArray(vao_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        const uint32_t fvf = state_.fvf;
        const bool rhw = (fvf & FvfXyzRhw) == FvfXyzRhw && !(fvf & FvfXyz);
        uintptr_t at = offset;
        auto attrib = [&](GLuint loc, GLint size, GLenum type, GLboolean norm, uint32_t bytes) {
            glEnableVertexAttribArray(loc);
            glVertexAttribPointer(loc, size, type, norm, static_cast<GLsizei>(stride),
                                  reinterpret_cast<const void*>(at));
            at += bytes;
        };
        auto absent = [](GLuint loc, float x, float y, float z, float w) {
            glDisableVertexAttribArray(loc);
            glVertexAttrib4f(loc, x, y, z, w);
        };
        if (rhw) attrib(0, 4, GL_FLOAT, GL_FALSE, 16);
        else attrib(0, 3, GL_FLOAT, GL_FALSE, 12);
        if (fvf & FvfNormal) attrib(1, 3, GL_FLOAT, GL_FALSE, 12);
        else absent(1, 0, 0, 0, 0);
        // Packed colours are 0xAARRGGBB, so B, G, R, A in memory.
        if (fvf & FvfDiffuse) attrib(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
        else absent(2, 1, 1, 1, 1);
        if (fvf & FvfSpecular) attrib(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
        else absent(3, 0, 0, 0, 0);
        const int sets = (fvf & FvfTex2) ? 2 : (fvf & FvfTex1) ? 1 : 0;
        if (sets >= 1) attrib(4, 2, GL_FLOAT, GL_FALSE, 8);
        else absent(4, 0, 0, 0, 1);
        if (sets >= 2) attrib(5, 2, GL_FLOAT, GL_FALSE, 8);
        else absent(5, 0, 0, 0, 1);

        UploadUniforms(rhw, fvf);
        ApplyRenderStates();
        if (program_) {
            glUseProgram(program_->Name());
            UploadProgramValues();
        } else {
            glUseProgram(FixedProgram());
            for (int s = 0; s < kMaxStages; ++s) BindUnit(s, static_cast<GlTexture*>(state_.textures[s]), s);
        }
    }

    void BindUnit(int unit, GlTexture* tex, int sampler) {
        glActiveTexture(GL_TEXTURE0 + unit);
        if (!tex) {
            glBindTexture(GL_TEXTURE_2D, 0);
            glBindSampler(unit, 0);
            return;
        }
        glBindTexture(tex->Target(), tex->name_);
        const GLuint s = samplers_[unit];
        auto addr = [](uint32_t a) -> GLint {
            switch (a) {
            case AddressMirror: return GL_MIRRORED_REPEAT;
            case AddressClamp: return GL_CLAMP_TO_EDGE;
            case AddressBorder: return GL_CLAMP_TO_BORDER;
            }
            return GL_REPEAT;
        };
        const int sm = std::min(sampler, kMaxSamplers - 1);
        glSamplerParameteri(s, GL_TEXTURE_WRAP_S, addr(state_.Get(sm, SamplerState::AddressU)));
        glSamplerParameteri(s, GL_TEXTURE_WRAP_T, addr(state_.Get(sm, SamplerState::AddressV)));
        glSamplerParameteri(s, GL_TEXTURE_WRAP_R, addr(state_.Get(sm, SamplerState::AddressW)));
        const uint32_t mag = state_.Get(sm, SamplerState::MagFilter), min = state_.Get(sm, SamplerState::MinFilter);
        const uint32_t mip = tex->GetLevelCount() > 1 ? state_.Get(sm, SamplerState::MipFilter) : FilterNone;
        const bool minLinear = min >= FilterLinear;
        GLint minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
        if (mip == FilterPoint) minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else if (mip >= FilterLinear) minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, minFilter);
        glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, mag >= FilterLinear ? GL_LINEAR : GL_NEAREST);
        if (caps_.TextureFilterCaps) {
            const bool aniso = min == FilterAnisotropic || mag == FilterAnisotropic;
            const float amount = aniso ? static_cast<float>(std::clamp<uint32_t>(
                                             state_.Get(sm, SamplerState::MaxAnisotropy), 1, caps_.MaxAnisotropy))
                                       : 1.0f;
            glSamplerParameterf(s, GL_TEXTURE_MAX_ANISOTROPY_EXT, amount);
        }
        glBindSampler(unit, s);
    }

    void UploadProgramValues() {
        for (const auto& [name, value] : program_->values_) {
            const GLint loc = program_->Location(name);
            if (loc < 0) continue;
            if (auto* f = std::get_if<float>(&value)) glUniform1f(loc, *f);
            else if (auto* i = std::get_if<int>(&value)) glUniform1i(loc, *i);
            else if (auto* v = std::get_if<std::array<float, 4>>(&value)) glUniform4fv(loc, 1, v->data());
            else if (auto* m = std::get_if<Matrix>(&value)) glUniformMatrix4fv(loc, 1, GL_FALSE, m->m);
        }
        for (size_t k = 0; k < program_->textures_.size() && k < kTextureUnits; ++k) {
            const GLint loc = program_->Location(program_->textures_[k].first);
            if (loc >= 0) glUniform1i(loc, static_cast<GLint>(k));
            BindUnit(static_cast<int>(k), program_->textures_[k].second, static_cast<int>(k));
        }
    }

    void UploadUniforms(bool rhw, uint32_t fvf) {
        GlUniforms& u = uniforms_;
        const Matrix& world = state_.Transform(TransformType::World);
        const Matrix& view = state_.Transform(TransformType::View);
        const Matrix& proj = state_.Transform(TransformType::Projection);
        const Matrix worldView = Multiply(world, view);
        std::memcpy(u.world, world.m, 64);
        std::memcpy(u.view, view.m, 64);
        std::memcpy(u.projection, proj.m, 64);
        std::memcpy(u.worldView, worldView.m, 64);
        std::memcpy(u.worldViewProj, Multiply(worldView, proj).m, 64);
        std::memcpy(u.normalMatrix, NormalMatrix(worldView).m, 64);
        const Material& mat = state_.material;
        Put(u.matDiffuse, mat.Diffuse);
        Put(u.matAmbient, mat.Ambient);
        Put(u.matSpecular, mat.Specular);
        Put(u.matEmissive, mat.Emissive);
        u.matPower[0] = mat.Power;
        PutArgb(u.ambient, state_.Get(RenderState::Ambient));
        PutArgb(u.fogColor, state_.Get(RenderState::FogColor));
        u.fogParams[0] = state_.GetFloat(RenderState::FogStart);
        u.fogParams[1] = state_.GetFloat(RenderState::FogEnd);
        u.fogParams[2] = state_.GetFloat(RenderState::FogDensity);
        PutArgb(u.textureFactor, state_.Get(RenderState::TextureFactor));
        const bool toTexture = target_ != nullptr;
        u.target[0] = static_cast<float>(toTexture ? target_->GetWidth() : params_.BackBufferWidth);
        u.target[1] = static_cast<float>(toTexture ? target_->GetHeight() : params_.BackBufferHeight);
        // Targets are stored top row first so that they sample like images read from files.
        u.target[2] = Flipped() ? -1.0f : 1.0f;

        const bool lighting = !rhw && state_.Get(RenderState::Lighting) != 0;
        int count = 0;
        if (lighting)
            for (int i = 0; i < kMaxLights && count < caps_.MaxActiveLights; ++i) {
                if (!state_.lightEnabled[i]) continue;
                const Light& l = state_.lights[i];
                // Lights are given in world space; the shader lights in view space.
                const float p[4] = {l.Position.x, l.Position.y, l.Position.z, 1};
                const float d[4] = {l.Direction.x, l.Direction.y, l.Direction.z, 0};
                float vp[4] = {}, vd[4] = {};
                for (int c = 0; c < 4; ++c)
                    for (int r = 0; r < 4; ++r) {
                        vp[c] += p[r] * view(r, c);
                        vd[c] += d[r] * view(r, c);
                    }
                Put(u.lightDiffuse[count], l.Diffuse);
                Put(u.lightSpecular[count], l.Specular);
                Put(u.lightAmbient[count], l.Ambient);
                u.lightPosition[count][0] = vp[0], u.lightPosition[count][1] = vp[1], u.lightPosition[count][2] = vp[2];
                u.lightPosition[count][3] = static_cast<float>(l.Type);
                u.lightDirection[count][0] = vd[0], u.lightDirection[count][1] = vd[1],
                u.lightDirection[count][2] = vd[2];
                u.lightDirection[count][3] = l.Range;
                u.lightAtten[count][0] = l.Attenuation0, u.lightAtten[count][1] = l.Attenuation1;
                u.lightAtten[count][2] = l.Attenuation2, u.lightAtten[count][3] = l.Falloff;
                u.lightSpot[count][0] = std::cos(l.Theta * 0.5f), u.lightSpot[count][1] = std::cos(l.Phi * 0.5f);
                ++count;
            }
        const bool colorVertex = state_.Get(RenderState::ColorVertex) != 0;
        auto source = [&](RenderState s) { return colorVertex ? static_cast<int32_t>(state_.Get(s)) : 0; };
        const int32_t flags[4] = {
            lighting ? 1 : 0, state_.Get(RenderState::SpecularEnable) ? 1 : 0, count,
            (!rhw && state_.Get(RenderState::FogEnable) && state_.Get(RenderState::FogVertexMode) == FogLinear) ? 1
                                                                                                                : 0};
        std::memcpy(u.flags, flags, sizeof flags);
        const int32_t vflags[4] = {rhw ? 1 : 0, (fvf & FvfNormal) ? 1 : 0, (fvf & FvfDiffuse) ? 1 : 0,
                                   (fvf & FvfSpecular) ? 1 : 0};
        std::memcpy(u.vertexFlags, vflags, sizeof vflags);
        const int32_t sources[4] = {
            source(RenderState::DiffuseMaterialSource), source(RenderState::SpecularMaterialSource),
            source(RenderState::AmbientMaterialSource), source(RenderState::EmissiveMaterialSource)};
        std::memcpy(u.matSources, sources, sizeof sources);
        u.misc[0] = state_.Get(RenderState::NormalizeNormals) ? 1 : 0;
        for (int s = 0; s < kMaxStages; ++s) {
            auto* tex = static_cast<GlTexture*>(state_.textures[s]);
            const bool usable = tex && tex->GetKind() != TextureKind::Cube;
            u.stageColor[s][0] = static_cast<int32_t>(state_.Get(s, StageState::ColorOp));
            u.stageColor[s][1] = static_cast<int32_t>(state_.Get(s, StageState::ColorArg1));
            u.stageColor[s][2] = static_cast<int32_t>(state_.Get(s, StageState::ColorArg2));
            u.stageColor[s][3] = static_cast<int32_t>(state_.Get(s, StageState::TexCoordIndex) & 0xFFFF);
            u.stageAlpha[s][0] = static_cast<int32_t>(state_.Get(s, StageState::AlphaOp));
            u.stageAlpha[s][1] = static_cast<int32_t>(state_.Get(s, StageState::AlphaArg1));
            u.stageAlpha[s][2] = static_cast<int32_t>(state_.Get(s, StageState::AlphaArg2));
            u.stageAlpha[s][3] = usable ? 1 : 0;
        }
        u.alphaTest[0] = state_.Get(RenderState::AlphaTestEnable) ? 1 : 0;
        u.alphaTest[1] = static_cast<int32_t>(state_.Get(RenderState::AlphaFunc));
        u.alphaTest[2] = static_cast<int32_t>(state_.Get(RenderState::AlphaRef) & 0xFF);
        glBindBuffer(GL_UNIFORM_BUFFER, ubo_);
        glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(GlUniforms), &u);
        glBindBufferBase(GL_UNIFORM_BUFFER, kUniformBinding, ubo_);
    }

    void ApplyRenderStates() {
        const bool zEnable = state_.Get(RenderState::ZEnable) != 0;
        if (zEnable) glEnable(GL_DEPTH_TEST);
        else glDisable(GL_DEPTH_TEST);
        glDepthFunc(GlCompare(state_.Get(RenderState::ZFunc)));
        glDepthMask(zEnable && state_.Get(RenderState::ZWriteEnable) ? GL_TRUE : GL_FALSE);
        if (state_.Get(RenderState::AlphaBlendEnable)) glEnable(GL_BLEND);
        else glDisable(GL_BLEND);
        glBlendFunc(GlBlend(state_.Get(RenderState::SrcBlend)), GlBlend(state_.Get(RenderState::DestBlend)));
        glBlendEquation(GlBlendOp(state_.Get(RenderState::BlendOp)));
        const uint32_t mask = state_.Get(RenderState::ColorWriteEnable);
        glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                    mask & 8 ? GL_TRUE : GL_FALSE);
        // CCW culls what is counter-clockwise on screen; drawing into a target flips y, and with it
        // the winding.
        const uint32_t cull = state_.Get(RenderState::CullMode);
        if (cull == CullNone) {
            glDisable(GL_CULL_FACE);
        } else {
            glEnable(GL_CULL_FACE);
            glCullFace(GL_BACK);
            const bool frontClockwise = cull == CullCCW;
            glFrontFace(frontClockwise != Flipped() ? GL_CW : GL_CCW);
        }
    }

    ContextRef ctx_;
    bool ownsWindow_;
    PresentParameters params_;
    DeviceCaps caps_;
    DeviceState state_;
    GlUniforms uniforms_{};
    GLuint fixed_ = 0, ubo_ = 0, stream_ = 0, vao_ = 0;
    GLuint samplers_[kTextureUnits] = {};
    // The back buffer: a render target of the device's own.
    std::unique_ptr<GlTexture> back_;
    // Fixed-function programs made for one set of stage and pixel states; 0 where one did not link.
    std::map<std::array<int32_t, 28>, GLuint> fixedVariants_;
    DrawCounts counts_;
    // The back buffer bottom row first, as before it could be sampled (the post passes copy it).
    bool legacy_;
    bool variants_;
    GlTexture* target_ = nullptr;
    GlBuffer* vertexBuffer_ = nullptr;
    uint32_t vertexStride_ = 0;
    GlBuffer* indexBuffer_ = nullptr;
    GlProgram* program_ = nullptr;
    bool inScene_ = false;
    bool needsReset_ = false;
};

class GlBackend final : public DeviceBackend {
public:
    GlBackend() = default;
    ~GlBackend() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

    const char* GetName() const override { return "gl"; }

    bool GetDesktopSize(int& width, int& height) override {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
        width = mode.w;
        height = mode.h;
        return true;
    }

    DeviceCaps GetAdapterCaps() override {
        DeviceCaps caps;
        caps.HardwareTransformAndLight = true;
        return caps;
    }

    // Every format draws into the same RGBA8 back buffer.
    bool CheckDeviceType(Format format, bool) override {
        return format == Format::A8R8G8B8 || format == Format::X8R8G8B8 || format == Format::A1R5G5B5 ||
               format == Format::R5G6B5;
    }

    DeviceResult CreateDevice(const PresentParameters& params, std::unique_ptr<Device>& out) override {
        if (params.BackBufferWidth <= 0 || params.BackBufferHeight <= 0 || params.BackBufferFormat == Format::Unknown)
            return DeviceResult::InvalidCall;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        auto ctx = std::make_shared<GlContext>();
        bool ownsWindow = false;
        ctx->window = static_cast<SDL_Window*>(params.DeviceWindow);
        if (!ctx->window) {
            ctx->window = SDL_CreateWindow("Vastrel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 16, 16,
                                           SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
            ownsWindow = ctx->window != nullptr;
        }
        if (!ctx->window) {
            std::fprintf(stderr, "vastrel: cannot create a window for OpenGL: %s\n", SDL_GetError());
            return DeviceResult::NotAvailable;
        }
        ctx->context = SDL_GL_CreateContext(ctx->window);
        if (!ctx->context) {
            std::fprintf(stderr, "vastrel: cannot create an OpenGL 3.3 core context: %s\n", SDL_GetError());
            if (ownsWindow) SDL_DestroyWindow(ctx->window);
            return DeviceResult::NotAvailable;
        }
        SDL_GL_MakeCurrent(ctx->window, ctx->context);
        SDL_GL_SetSwapInterval(params.PresentImmediate ? 0 : 1);
        auto device = std::make_unique<GlDevice>(ctx, ownsWindow, params);
        std::string error;
        if (!device->Init(error)) {
            std::fprintf(stderr, "vastrel: the OpenGL device cannot start: %s\n", error.c_str());
            return DeviceResult::NotAvailable;
        }
        out = std::move(device);
        return DeviceResult::Ok;
    }
};

} // namespace

void SetGlFramePath(const GlFramePath& path) { g_framePath = path; }

std::unique_ptr<DeviceBackend> CreateGlBackend() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "vastrel: the video system cannot start: %s\n", SDL_GetError());
        return nullptr;
    }
    return std::make_unique<GlBackend>();
}

} // namespace Platform
