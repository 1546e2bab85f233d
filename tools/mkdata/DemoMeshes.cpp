// The demo objects' mesh files and textures, built in code with the engine's own mesh writer:
//   Data/Meshes/car.p3d     a car body with its body box, box and cylinder shapes and four wheels
//   Data/Meshes/crate.msh   an older-format crate with a collision box
//   Data/Meshes/lamp.msh    a lamp post whose arm carries the description's glow sprite and light
//   Data/Meshes/wrong.msh   the stand-in for descriptions that cannot be read
//   Data/Meshes/shadow.msh  the car's ground shadow
//   Data/Meshes/floor.msh   the showroom's turntable floor under the car
//   Data/Textures/*.tga     their textures
// The descriptions (.rdf) naming them are text in data/Data/Meshes.
#include "DemoMeshes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <stb/stb_easy_font.h>
#include <stb/stb_image_write.h>

#include "Render/MeshFile.h"

using namespace MeshFile;

namespace {

// Appends one triangle of a convex solid, wound so that its front (clockwise on screen) faces away
// from the solid's centre.
void Triangle(Node& node, Vec3 a, Vec3 b, Vec3 c, Vec2 ta, Vec2 tb, Vec2 tc, const Vec3& centre,
              const Vec3* normal = nullptr) {
    Vec3 n = Cross(b - a, c - a);
    const Vec3 middle = (a + b + c) * (1.0f / 3.0f);
    if (Dot(n, middle - centre) < 0) {
        std::swap(b, c);
        std::swap(tb, tc);
        n = n * -1.0f;
    }
    const Vec3 facing = normal ? *normal : Normalize(n);
    for (auto [p, t] : {std::pair{a, ta}, std::pair{b, tb}, std::pair{c, tc}}) {
        CPVertex v;
        v.position = p;
        v.normal = facing;
        v.diffuse = 0xFFFFFFFFu;
        v.tu = t.x;
        v.tv = t.y;
        node.indices.push_back(static_cast<CPIndex>(node.vertices.size()));
        node.vertices.push_back(v);
    }
}

// A box between two corners; every face shows the whole texture, upright on the side faces.
void Box(Node& node, const Vec3& lo, const Vec3& hi) {
    const Vec3 c = (lo + hi) * 0.5f;
    const Vec3 d = hi - lo;
    struct Face {
        Vec3 origin, e1, e2;
    };
    const Face faces[] = {
        {{hi.x, lo.y, lo.z}, {0, d.y, 0}, {0, 0, d.z}},  {{lo.x, hi.y, lo.z}, {0, -d.y, 0}, {0, 0, d.z}},
        {{hi.x, hi.y, lo.z}, {-d.x, 0, 0}, {0, 0, d.z}}, {{lo.x, lo.y, lo.z}, {d.x, 0, 0}, {0, 0, d.z}},
        {{lo.x, lo.y, hi.z}, {d.x, 0, 0}, {0, d.y, 0}},  {{lo.x, hi.y, lo.z}, {d.x, 0, 0}, {0, -d.y, 0}},
    };
    for (const Face& f : faces) {
        const Vec3 p0 = f.origin, p1 = f.origin + f.e1, p2 = f.origin + f.e1 + f.e2, p3 = f.origin + f.e2;
        Triangle(node, p0, p1, p2, {0, 1}, {1, 1}, {1, 0}, c);
        Triangle(node, p0, p2, p3, {0, 1}, {1, 0}, {0, 0}, c);
    }
}

// A wheel: a prism of `sides` faces around the x axis, the tread wrapping the texture once.
void Wheel(Node& node, float radius, float width, int sides) {
    const float w = width * 0.5f;
    const Vec3 centre;
    for (int i = 0; i < sides; ++i) {
        const float a0 = 6.2831853f * i / sides, a1 = 6.2831853f * (i + 1) / sides;
        const Vec3 p0(-w, radius * std::cos(a0), radius * std::sin(a0));
        const Vec3 p1(-w, radius * std::cos(a1), radius * std::sin(a1));
        const Vec3 q0(w, p0.y, p0.z), q1(w, p1.y, p1.z);
        const float u0 = static_cast<float>(i) / sides, u1 = static_cast<float>(i + 1) / sides;
        Triangle(node, p0, p1, q1, {u0, 0}, {u1, 0}, {u1, 0.5f}, centre);
        Triangle(node, p0, q1, q0, {u0, 0}, {u1, 0.5f}, {u0, 0.5f}, centre);
        // The hub caps, in the lower half of the texture.
        auto hub = [&](float angle) { return Vec2(0.5f + 0.5f * std::cos(angle), 0.75f + 0.25f * std::sin(angle)); };
        const Vec3 left(-1, 0, 0), right(1, 0, 0);
        Triangle(node, Vec3(-w, 0, 0), p0, p1, {0.5f, 0.75f}, hub(a0), hub(a1), Vec3(0, 0, 0), &left);
        Triangle(node, Vec3(w, 0, 0), q0, q1, {0.5f, 0.75f}, hub(a0), hub(a1), Vec3(0, 0, 0), &right);
    }
}

// A flat quad facing up (the shadow) between two corners at height z.
void FlatQuad(Node& node, float x0, float y0, float x1, float y1, float z) {
    const Vec3 below(0, 0, z - 1);
    Triangle(node, {x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {0, 1}, {1, 1}, {1, 0}, below);
    Triangle(node, {x0, y0, z}, {x1, y1, z}, {x0, y1, z}, {0, 1}, {1, 0}, {0, 0}, below);
}

Shape BoxShape(float a, float b, float c, const Vec3& bottom, float mass) {
    Shape s;
    s.kind = 0;
    s.a = a;
    s.b = b;
    s.c = c;
    s.position = bottom;
    s.mass = mass;
    return s;
}

Mesh Car() {
    Node body;
    body.name = "body";
    // Chassis and cabin; the car points along +y.
    Box(body, {-0.9f, -2.0f, 0.3f}, {0.9f, 2.0f, 0.9f});
    Box(body, {-0.75f, -1.1f, 0.9f}, {0.75f, 0.8f, 1.4f});
    body.body = BoxShape(1.8f, 1.1f, 4.0f, {}, 1200.0f);
    body.shapes = {BoxShape(1.8f, 0.6f, 4.0f, {0, 0, 0.3f}, 900.0f),
                   BoxShape(1.5f, 0.5f, 1.9f, {0, -0.15f, 0.9f}, 200.0f)};
    // A roll bar behind the cabin, a cylinder lying across the car: a quarter turn about y.
    Shape bar;
    bar.kind = 1;
    bar.b = 1.5f;
    bar.d = 0.12f;
    bar.position = {0, -1.2f, 1.4f};
    bar.rotation = {0, 0.70710678f, 0, 0.70710678f};
    bar.mass = 20.0f;
    body.shapes.push_back(bar);

    const struct {
        const char* name;
        float x, y;
    } wheels[] = {
        {"wheel_fl", -0.95f, 1.3f}, {"wheel_fr", 0.95f, 1.3f}, {"wheel_rl", -0.95f, -1.3f}, {"wheel_rr", 0.95f, -1.3f}};
    for (const auto& w : wheels) {
        Node wheel;
        wheel.name = w.name;
        wheel.pose.position = {w.x, w.y, 0.35f};
        Wheel(wheel, 0.35f, 0.3f, 12);
        wheel.body = BoxShape(0.3f, 0.7f, 0.7f, {}, 25.0f);
        body.children.push_back(wheel);
    }
    Mesh mesh;
    mesh.nodes = {body};
    return mesh;
}

Mesh Crate() {
    Node crate;
    crate.name = "crate";
    Box(crate, {-0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 1.0f});
    crate.boxes = {CollisionRecord::Make({0, 0, 0.5f}, {0.5f, 0.5f, 0.5f})};
    Mesh mesh;
    mesh.nodes = {crate};
    return mesh;
}

Mesh Lamp() {
    Node post;
    post.name = "post";
    Box(post, {-0.08f, -0.08f, 0.0f}, {0.08f, 0.08f, 3.6f});
    post.boxes = {CollisionRecord::Make({0, 0, 1.8f}, {0.08f, 0.08f, 1.8f})};
    Node arm;
    arm.name = "arm";
    Box(arm, {-0.05f, -0.05f, 3.45f}, {0.05f, 0.9f, 3.55f});
    post.children = {arm};
    Mesh mesh;
    mesh.nodes = {post};
    return mesh;
}

Mesh Wrong() {
    Node cube;
    cube.name = "wrong";
    Box(cube, {-0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 1.0f});
    Mesh mesh;
    mesh.nodes = {cube};
    return mesh;
}

Mesh Floor() {
    Node floor;
    floor.name = "floor";
    FlatQuad(floor, -2.5f, -2.5f, 2.5f, 2.5f, 0.0f);
    Mesh mesh;
    mesh.nodes = {floor};
    return mesh;
}

Mesh Shadow() {
    Node shadow;
    shadow.name = "shadow";
    FlatQuad(shadow, -1.0f, -2.1f, 1.0f, 2.1f, 0.02f);
    Mesh mesh;
    mesh.nodes = {shadow};
    return mesh;
}

// ---- textures ----

struct Pixels {
    int w, h;
    std::vector<uint8_t> rgba;
    Pixels(int width, int height) : w(width), h(height), rgba(static_cast<size_t>(width) * height * 4, 255) {}
    void Fill(const std::function<void(float u, float v, float out[4])>& shade) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float c[4] = {0, 0, 0, 1};
                shade((x + 0.5f) / w, (y + 0.5f) / h, c);
                for (int k = 0; k < 4; ++k)
                    rgba[(static_cast<size_t>(y) * w + x) * 4 + k] =
                        static_cast<uint8_t>(std::lround(std::fmin(1.0f, std::fmax(0.0f, c[k])) * 255));
            }
    }
    void Text(const char* text, int left, int top, int scale, uint8_t r, uint8_t g, uint8_t b) {
        static char buffer[40000];
        const int quads = stb_easy_font_print(0, 0, const_cast<char*>(text), nullptr, buffer, sizeof(buffer));
        const float* v = reinterpret_cast<const float*>(buffer);
        for (int q = 0; q < quads; ++q) {
            const float* quad = v + q * 16;
            for (int y = static_cast<int>(quad[1]) * scale; y < static_cast<int>(quad[9]) * scale; ++y)
                for (int x = static_cast<int>(quad[0]) * scale; x < static_cast<int>(quad[8]) * scale; ++x) {
                    const int px = left + x, py = top + y;
                    if (px < 0 || py < 0 || px >= w || py >= h) continue;
                    uint8_t* p = &rgba[(static_cast<size_t>(py) * w + px) * 4];
                    p[0] = r;
                    p[1] = g;
                    p[2] = b;
                    p[3] = 255;
                }
        }
    }
};

bool Save(const fs::path& path, const Pixels& p) {
    stbi_write_tga_with_rle = 0;
    return stbi_write_tga(path.c_str(), p.w, p.h, 4, p.rgba.data()) != 0;
}

Pixels CarPaint() {
    Pixels p(128, 128);
    p.Fill([](float u, float v, float c[4]) {
        // Red paint with a white racing stripe and a dark window band at the top.
        c[0] = 0.75f;
        c[1] = 0.08f;
        c[2] = 0.06f;
        if (std::fabs(u - 0.5f) < 0.08f) c[0] = c[1] = c[2] = 0.92f;
        if (v < 0.25f) {
            c[0] = 0.10f;
            c[1] = 0.14f;
            c[2] = 0.20f;
        }
    });
    return p;
}

Pixels Tyre() {
    Pixels p(128, 128);
    p.Fill([](float u, float v, float c[4]) {
        if (v < 0.5f) {
            // Tread blocks.
            const bool groove = std::fmod(u * 24.0f, 1.0f) < 0.25f;
            c[0] = c[1] = c[2] = groove ? 0.05f : 0.16f;
        } else {
            // Hub: a bright rim with five dark spokes' gaps.
            const float dx = (u - 0.5f) * 2.0f, dy = (v - 0.75f) * 4.0f;
            const float r = std::sqrt(dx * dx + dy * dy);
            const float a = std::atan2(dy, dx);
            const bool gap = r > 0.25f && r < 0.7f && std::fmod(a + 6.2831853f, 1.2566371f) < 0.5f;
            c[0] = c[1] = c[2] = r < 0.8f ? (gap ? 0.1f : 0.75f) : 0.12f;
        }
    });
    return p;
}

Pixels Wood() {
    Pixels p(128, 128);
    p.Fill([](float u, float v, float c[4]) {
        const float plank = std::fmod(v * 4.0f, 1.0f);
        const float grain = 0.08f * std::sin(u * 40.0f + v * 7.0f);
        const bool seam = plank < 0.05f || u < 0.06f || u > 0.94f;
        c[0] = seam ? 0.30f : 0.62f + grain;
        c[1] = seam ? 0.18f : 0.42f + grain;
        c[2] = seam ? 0.08f : 0.20f;
    });
    return p;
}

Pixels Metal() {
    Pixels p(64, 64);
    p.Fill([](float u, float v, float c[4]) {
        c[0] = c[1] = 0.45f + 0.1f * std::sin(v * 30.0f);
        c[2] = 0.5f + 0.1f * std::sin(v * 30.0f);
        (void)u;
    });
    return p;
}

Pixels Glow() {
    Pixels p(64, 64);
    p.Fill([](float u, float v, float c[4]) {
        const float r = std::sqrt((u - 0.5f) * (u - 0.5f) + (v - 0.5f) * (v - 0.5f)) * 2.0f;
        c[0] = 1.0f;
        c[1] = 0.9f;
        c[2] = 0.6f;
        c[3] = std::fmax(0.0f, 1.0f - r) * std::fmax(0.0f, 1.0f - r);
    });
    return p;
}

Pixels Sign() {
    Pixels p(128, 128);
    p.Fill([](float u, float v, float c[4]) {
        const bool frame = u < 0.05f || u > 0.95f || v < 0.05f || v > 0.95f;
        c[0] = frame ? 0.9f : 0.08f;
        c[1] = frame ? 0.6f : 0.25f;
        c[2] = frame ? 0.1f : 0.12f;
    });
    for (const auto& [text, top] : {std::pair{"SHOW", 26}, std::pair{"ROOM", 72}}) {
        const int width = stb_easy_font_width(const_cast<char*>(text)) * 4;
        p.Text(text, (p.w - width) / 2, top, 4, 240, 230, 200);
    }
    // A sprite puts the texture's first row along its bottom edge: stored upside down, it reads upright.
    for (int y = 0; y < p.h / 2; ++y)
        std::swap_ranges(p.rgba.begin() + static_cast<ptrdiff_t>(y) * p.w * 4,
                         p.rgba.begin() + static_cast<ptrdiff_t>(y + 1) * p.w * 4,
                         p.rgba.begin() + static_cast<ptrdiff_t>(p.h - 1 - y) * p.w * 4);
    return p;
}

Pixels Checker() {
    Pixels p(64, 64);
    p.Fill([](float u, float v, float c[4]) {
        const bool odd = (static_cast<int>(u * 8) + static_cast<int>(v * 8)) % 2 != 0;
        c[0] = odd ? 1.0f : 0.1f;
        c[1] = 0.0f;
        c[2] = odd ? 1.0f : 0.1f;
    });
    return p;
}

// Grey tiles with darker joints, eight by eight.
Pixels Tiles() {
    Pixels p(128, 128);
    p.Fill([](float u, float v, float c[4]) {
        const float tu = std::fmod(u * 8.0f, 1.0f), tv = std::fmod(v * 8.0f, 1.0f);
        const bool joint = tu < 0.06f || tv < 0.06f;
        const bool odd = (static_cast<int>(u * 8) + static_cast<int>(v * 8)) % 2 != 0;
        c[0] = c[1] = c[2] = joint ? 0.22f : (odd ? 0.55f : 0.62f);
    });
    return p;
}

Pixels ShadowBlot() {
    Pixels p(64, 128);
    p.Fill([](float u, float v, float c[4]) {
        const float dx = (u - 0.5f) * 2.0f, dy = (v - 0.5f) * 2.0f;
        const float edge = std::fmax(std::fabs(dx), std::fabs(dy));
        c[0] = c[1] = c[2] = 0.0f;
        c[3] = 0.6f * std::fmin(1.0f, std::fmax(0.0f, (1.0f - edge) * 4.0f));
    });
    return p;
}

bool Put(const fs::path& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

bool WriteDemoMeshes(const fs::path& gameRoot) {
    const fs::path meshes = gameRoot / "Data" / "Meshes";
    const fs::path textures = gameRoot / "Data" / "Textures";
    std::error_code ec;
    fs::create_directories(meshes, ec);
    fs::create_directories(textures, ec);
    bool ok = Put(meshes / "car.p3d", WriteMesh(Car(), MeshKind::P3d)) &&
              Put(meshes / "crate.msh", WriteMesh(Crate(), MeshKind::Older)) &&
              Put(meshes / "lamp.msh", WriteMesh(Lamp(), MeshKind::Older)) &&
              Put(meshes / "wrong.msh", WriteMesh(Wrong(), MeshKind::Older)) &&
              Put(meshes / "shadow.msh", WriteMesh(Shadow(), MeshKind::Older)) &&
              Put(meshes / "floor.msh", WriteMesh(Floor(), MeshKind::Older));
    ok = ok && Save(textures / "car.tga", CarPaint()) && Save(textures / "tyre.tga", Tyre()) &&
         Save(textures / "crate.tga", Wood()) && Save(textures / "metal.tga", Metal()) &&
         Save(textures / "glow.tga", Glow()) && Save(textures / "sign.tga", Sign()) &&
         Save(textures / "wrong.tga", Checker()) && Save(textures / "shadow.tga", ShadowBlot()) &&
         Save(textures / "floor.tga", Tiles());
    if (!ok) std::fprintf(stderr, "mkdata: cannot write the demo meshes\n");
    return ok;
}
