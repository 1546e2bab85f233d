// The demo objects' mesh files and textures, built in code with the engine's own mesh writer:
//   Data/Meshes/car.p3d     a car body with its body box, box and cylinder shapes and four wheels
//   Data/Meshes/crate.msh   an older-format crate with a collision box
//   Data/Meshes/lamp.msh    a lamp post whose arm carries the description's glow sprite and light
//   Data/Meshes/wrong.msh   the stand-in for descriptions that cannot be read
//   Data/Meshes/shadow.msh  the car's ground shadow
//   Data/Meshes/floor.msh   the showroom's turntable floor under the car
//   Data/Meshes/road_phys1.msh, road_vis.p3d  level 1's road for the physics grid, and what is seen
//   Data/Meshes/coupe_t.p3d the race car with the parts the race looks up by name
//   Data/Meshes/tunnel.p3d, stolb_start_*.p3d, flag.p3d, banner.p3d  level 1's props
//   Data/Textures/*.tga     their textures; dragster00.tga to dragster07.tga the cars' paints
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

// The speedometer's needle on the race panel, in screen pixels about its pivot. DrawArrow turns it
// by 47 degrees at rest and 1.8 degrees more per unit of speed: drawn at 133 degrees from +x (y
// points down the screen), it then points left at rest, up at 50 and right at 100. A tapered
// quad, 8 pixels of tail behind the pivot and 44 ahead.
Mesh Needle() {
    Node needle;
    needle.name = "needle";
    const float angle = 133.0f * 3.1415927f / 180.0f;
    const Vec3 d(std::cos(angle), std::sin(angle), 0.0f), side(-d.y, d.x, 0.0f), z(0, 0, 0.5f);
    const Vec3 a = z - d * 8.0f + side * 2.5f, b = z - d * 8.0f - side * 2.5f, c = z + d * 44.0f - side * 0.8f,
               e = z + d * 44.0f + side * 0.8f;
    const Vec2 t(0.5f, 0.5f);
    Triangle(needle, a, b, c, t, t, t, Vec3(0, 0, 0));
    Triangle(needle, a, c, e, t, t, t, Vec3(0, 0, 0));
    Mesh mesh;
    mesh.nodes = {needle};
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

// ---- the race: level1's road, terrain, props and the car "coupe_t" ----

} // namespace

float RoadHeight(float x) {
    constexpr float kPi = 3.14159265f;
    if (x < 100.0f) return 0.0f;
    if (x < 250.0f) return 1.5f * (1.0f - std::cos(2.0f * kPi * (x - 100.0f) / 75.0f));
    if (x < 300.0f) return 4.0f * (x - 250.0f) / 50.0f;
    if (x < 310.0f) return 4.0f - 3.5f * (x - 300.0f) / 10.0f;
    if (x < 330.0f) return 0.5f - 0.5f * (x - 310.0f) / 20.0f;
    if (x < 380.0f) return 0.0f;
    if (x < 460.0f) return -1.5f * (1.0f - std::cos(2.0f * kPi * (x - 380.0f) / 80.0f));
    return 0.0f;
}

namespace {

constexpr float kRoadStart = -50.0f, kRoadEnd = 650.0f, kRoadStep = 2.5f, kRoadHalfWidth = 4.0f;

// A strip of quads along x between two edges y0 < y1, each edge at the road height plus a lift that
// may vary with x; the texture repeats every `repeat` metres along x and once across.
void Strip(Node& node, float y0, float y1, const std::function<float(float)>& lift0,
           const std::function<float(float)>& lift1, float repeat) {
    const int columns = static_cast<int>((kRoadEnd - kRoadStart) / kRoadStep);
    const uint16_t base = static_cast<uint16_t>(node.vertices.size());
    for (int i = 0; i <= columns; ++i) {
        const float x = kRoadStart + kRoadStep * static_cast<float>(i);
        for (int side = 0; side < 2; ++side) {
            CPVertex v;
            const float y = side ? y1 : y0;
            v.position = Vec3(x, y, RoadHeight(x) + (side ? lift1(x) : lift0(x)));
            v.normal = Vec3(0, 0, 1);
            v.diffuse = 0xFFFFFFFFu;
            v.tu = (x - kRoadStart) / repeat;
            v.tv = side ? 1.0f : 0.0f;
            node.vertices.push_back(v);
        }
    }
    // Normals from the slope along x.
    for (int i = 0; i <= columns; ++i) {
        const float x = kRoadStart + kRoadStep * static_cast<float>(i);
        const float slope = (RoadHeight(x + 0.5f) - RoadHeight(x - 0.5f));
        const Vec3 n = Normalize(Vec3(-slope, 0, 1));
        node.vertices[base + 2 * i].normal = n;
        node.vertices[base + 2 * i + 1].normal = n;
    }
    for (int i = 0; i < columns; ++i) {
        const uint16_t a = static_cast<uint16_t>(base + 2 * i), b = static_cast<uint16_t>(a + 1),
                       c = static_cast<uint16_t>(a + 2), d = static_cast<uint16_t>(a + 3);
        // Facing up: the front of a triangle is the side its (b - a) x (c - a) points to.
        node.indices.insert(node.indices.end(), {a, d, b, a, c, d});
    }
}

float Flat(float) { return 0.0f; }

// The road the physics grid is built from: one node "road", 8 m x 2.5 m quads.
Mesh RoadPhysics() {
    Node road;
    road.name = "road";
    Strip(road, -kRoadHalfWidth, kRoadHalfWidth, Flat, Flat, 10.0f);
    Mesh mesh;
    mesh.nodes = {road};
    return mesh;
}

// What the player sees of it: the asphalt, a verge on the near side, and fields rising to hills on
// the far side (the camera looks at the road from +y).
Mesh RoadVisible() {
    Node road;
    road.name = "asphalt";
    Strip(road, -kRoadHalfWidth, kRoadHalfWidth, Flat, Flat, 10.0f);
    Node verge;
    verge.name = "verge";
    Strip(
        verge, kRoadHalfWidth, 40.0f, Flat, [](float) { return -0.3f; }, 12.0f);
    Node fields;
    fields.name = "fields";
    Strip(
        fields, -40.0f, -kRoadHalfWidth, [](float x) { return 0.5f - 2.0f - RoadHeight(x) * 0.5f; }, Flat, 12.0f);
    Node hills;
    hills.name = "hills";
    Strip(
        hills, -260.0f, -40.0f,
        [](float x) {
            return 42.0f + 12.0f * std::sin(x * 0.021f) + 6.0f * std::sin(x * 0.057f + 1.0f) - RoadHeight(x);
        },
        [](float x) { return 0.5f - 2.0f - RoadHeight(x) * 0.5f; }, 24.0f);
    road.children = {verge, fields, hills};
    Mesh mesh;
    mesh.nodes = {road};
    return mesh;
}

} // namespace

// A box node of its own, for the small parts of the car and the props.
Node BoxNode(const char* name, const Vec3& lo, const Vec3& hi) {
    Node node;
    node.name = name;
    Box(node, lo, hi);
    return node;
}

namespace {

// One axle's wheels: a tyre at each side of the car, turning about x.
Node Axle(const char* name, float y, float radius) {
    Node axle;
    axle.name = name;
    axle.pose.position = {0, y, -0.3f};
    for (float side : {-0.75f, 0.75f}) {
        Node tyre;
        const size_t first = tyre.vertices.size();
        Wheel(tyre, radius, 0.28f, 12);
        for (size_t i = first; i < tyre.vertices.size(); ++i) tyre.vertices[i].position.x += side;
        axle.vertices.insert(axle.vertices.end(), tyre.vertices.begin(), tyre.vertices.end());
        for (CPIndex index : tyre.indices)
            axle.indices.push_back(static_cast<CPIndex>(index + axle.vertices.size() - tyre.vertices.size()));
    }
    return axle;
}

// The player's car: a low coupe whose front is at -y (the race turns it a quarter turn to face +X),
// with the parts the race and the upgrade levels look up by name.
Mesh Coupe() {
    Node body;
    body.name = "coupe_t";
    Box(body, {-0.8f, -1.8f, -0.25f}, {0.8f, 1.8f, 0.2f});
    Box(body, {-0.7f, -0.4f, 0.2f}, {0.7f, 1.1f, 0.62f});
    // Its mass matches the springs, drive and brake of its description (coupe_t.xml), which scale
    // with it; the pushes of bonuses and blasts are fixed impulses that a lighter car would not hold.
    body.body = BoxShape(1.6f, 0.5f, 3.6f, {0, 0, -0.25f}, 100.0f);
    body.shapes = {BoxShape(1.6f, 0.5f, 3.6f, {0, 0, -0.25f}, 100.0f)};
    body.children.push_back(Axle("w0", -1.4f, 0.35f));
    body.children.push_back(Axle("w2", 1.4f, 0.35f));
    body.children.push_back(Axle("w2_1", 1.4f, 0.37f));
    body.children.push_back(Axle("w2_2", 1.4f, 0.39f));
    body.children.push_back(Axle("w2_3", 1.4f, 0.41f));
    // Exhaust flames behind the car, flickering while the throttle is open.
    const char* flares[] = {"flare", "flare01", "flare02", "flare03", "flare04", "flare05", "flare06", "flare07"};
    for (int i = 0; i < 8; ++i) {
        const float x = -0.6f + 0.17f * static_cast<float>(i);
        body.children.push_back(BoxNode(flares[i], {x, 1.8f, -0.15f}, {x + 0.12f, 2.3f, -0.03f}));
    }
    body.children.push_back(BoxNode("engine1", {-0.35f, -1.3f, 0.2f}, {0.35f, -0.8f, 0.38f}));
    body.children.push_back(BoxNode("engine2", {-0.25f, -1.25f, 0.38f}, {0.25f, -0.85f, 0.5f}));
    body.children.push_back(BoxNode("biker", {-0.45f, 0.1f, 0.3f}, {-0.05f, 0.5f, 0.75f}));
    body.children.push_back(BoxNode("lflarerear", {-0.78f, 1.79f, 0.0f}, {-0.5f, 1.83f, 0.15f}));
    body.children.push_back(BoxNode("rflarerear", {0.5f, 1.79f, 0.0f}, {0.78f, 1.83f, 0.15f}));
    AddWeaponParts(body);
    Mesh mesh;
    mesh.nodes = {body};
    return mesh;
}

// A tunnel over the road: its walls stand beside the road and its roof 6 m above; a kinematic body
// (negative mass), so the cars' wheel rays look through it.
Mesh Tunnel() {
    Node tunnel;
    tunnel.name = "tunnel";
    Box(tunnel, {-12.0f, -5.2f, -1.0f}, {12.0f, -4.6f, 6.0f});
    Box(tunnel, {-12.0f, 4.6f, -1.0f}, {12.0f, 5.2f, 6.0f});
    Box(tunnel, {-12.0f, -5.2f, 6.0f}, {12.0f, 5.2f, 6.8f});
    tunnel.body = BoxShape(24.0f, 7.8f, 10.4f, {0, 0, -1.0f}, -1.0f);
    tunnel.shapes = {BoxShape(24.0f, 0.8f, 10.4f, {0, 0, 6.0f}, -1.0f)};
    Mesh mesh;
    mesh.nodes = {tunnel};
    return mesh;
}

Mesh Pillar(const char* name) {
    Node pillar;
    pillar.name = name;
    Box(pillar, {-0.3f, -0.3f, 0.0f}, {0.3f, 0.3f, 5.0f});
    pillar.shapes = {BoxShape(0.6f, 5.0f, 0.6f, {}, 0.0f)};
    Mesh mesh;
    mesh.nodes = {pillar};
    return mesh;
}

// The checkpoint flag and the finish banner over the road.
Mesh Flag() {
    Node pole;
    pole.name = "flag";
    Box(pole, {-0.06f, -0.06f, 0.0f}, {0.06f, 0.06f, 3.0f});
    pole.children.push_back(BoxNode("cloth", {0.06f, -0.02f, 2.1f}, {1.3f, 0.02f, 2.9f}));
    Mesh mesh;
    mesh.nodes = {pole};
    return mesh;
}

// The finish board beside the far edge of the road, facing the camera's side.
Mesh FinishBanner() {
    Node banner;
    banner.name = "finish";
    Box(banner, {-4.2f, -6.3f, 0.0f}, {-3.9f, -6.0f, 4.6f});
    Box(banner, {3.9f, -6.3f, 0.0f}, {4.2f, -6.0f, 4.6f});
    banner.children.push_back(BoxNode("cloth", {-3.9f, -6.25f, 2.2f}, {3.9f, -6.05f, 4.4f}));
    banner.shapes = {BoxShape(8.4f, 4.6f, 0.3f, {0, -6.15f, 0}, 0.0f)};
    Mesh mesh;
    mesh.nodes = {banner};
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

// ---- race textures ----

Pixels Asphalt() {
    Pixels p(128, 128);
    p.Fill([](float u, float v, float c[4]) {
        const float grain = 0.03f * std::sin(u * 91.0f) * std::sin(v * 57.0f);
        c[0] = c[1] = c[2] = 0.22f + grain;
        // Edge lines along the road and a dashed centre line (u runs along the road).
        if (v < 0.04f || v > 0.96f) c[0] = c[1] = c[2] = 0.9f;
        if (std::fabs(v - 0.5f) < 0.02f && u < 0.5f) {
            c[0] = c[1] = 0.9f;
            c[2] = 0.3f;
        }
    });
    return p;
}

Pixels Grass() {
    Pixels p(128, 128);
    p.Fill([](float u, float v, float c[4]) {
        const float n = 0.06f * std::sin(u * 40.0f + std::sin(v * 13.0f) * 3.0f) + 0.04f * std::sin(v * 71.0f);
        c[0] = 0.22f + n;
        c[1] = 0.48f + n;
        c[2] = 0.16f;
    });
    return p;
}

Pixels Hills() {
    Pixels p(128, 128);
    p.Fill([](float u, float v, float c[4]) {
        const float n = 0.05f * std::sin(u * 23.0f + v * 9.0f);
        c[0] = 0.30f + n + 0.2f * v;
        c[1] = 0.45f + n;
        c[2] = 0.25f + 0.25f * v;
    });
    return p;
}

// The paints the cars take by number ("dragster.tga" becomes "dragster%02d.tga"): 0 to 3 the
// player's (the shop's "Paint" steps through them), 4 to 7 the rival's (its paint plus 4), each a
// darker shade of the player's of the same number.
constexpr int kPaintCount = 8;

Pixels DragsterPaint(int number) {
    static const float kColours[4][3] = {
        {0.75f, 0.08f, 0.06f}, // red
        {0.08f, 0.25f, 0.75f}, // blue
        {0.90f, 0.70f, 0.05f}, // yellow
        {0.10f, 0.60f, 0.15f}, // green
    };
    const float* colour = kColours[number % 4];
    const float shade = number >= 4 ? 0.55f : 1.0f;
    Pixels p(128, 128);
    p.Fill([colour, shade](float u, float v, float c[4]) {
        // The paint with two white stripes; the cabin band dark.
        for (int k = 0; k < 3; ++k) c[k] = colour[k] * shade;
        if (std::fabs(u - 0.42f) < 0.04f || std::fabs(u - 0.58f) < 0.04f) c[0] = c[1] = c[2] = 0.95f * shade;
        if (v < 0.2f) {
            c[0] = 0.1f;
            c[1] = 0.12f;
            c[2] = 0.15f;
        }
    });
    return p;
}

Pixels Flame() {
    Pixels p(32, 32);
    p.Fill([](float u, float v, float c[4]) {
        c[0] = 1.0f;
        c[1] = 0.45f + 0.4f * v;
        c[2] = 0.1f;
        (void)u;
    });
    return p;
}

Pixels Banner() {
    Pixels p(256, 64);
    p.Fill([](float u, float v, float c[4]) {
        const bool check = (static_cast<int>(u * 16) + static_cast<int>(v * 4)) % 2 != 0;
        c[0] = c[1] = c[2] = check ? 0.95f : 0.05f;
    });
    p.Text("FINISH", 70, 18, 4, 230, 30, 30);
    return p;
}
bool Put(const fs::path& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

void DemoBox(Node& node, const Vec3& lo, const Vec3& hi) { Box(node, lo, hi); }

void DemoFlatQuad(Node& node, float x0, float y0, float x1, float y1, float z) { FlatQuad(node, x0, y0, x1, y1, z); }

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
              Put(meshes / "floor.msh", WriteMesh(Floor(), MeshKind::Older)) &&
              Put(meshes / "needle.msh", WriteMesh(Needle(), MeshKind::Older));
    ok = ok && Save(textures / "car.tga", CarPaint()) && Save(textures / "tyre.tga", Tyre()) &&
         Save(textures / "crate.tga", Wood()) && Save(textures / "metal.tga", Metal()) &&
         Save(textures / "glow.tga", Glow()) && Save(textures / "sign.tga", Sign()) &&
         Save(textures / "wrong.tga", Checker()) && Save(textures / "shadow.tga", ShadowBlot()) &&
         Save(textures / "floor.tga", Tiles());
    ok = ok && Put(meshes / "road_phys1.msh", WriteMesh(RoadPhysics(), MeshKind::Older)) &&
         Put(meshes / "road_vis.p3d", WriteMesh(RoadVisible(), MeshKind::P3d)) &&
         Put(meshes / "coupe_t.p3d", WriteMesh(Coupe(), MeshKind::P3d)) &&
         Put(meshes / "tunnel.p3d", WriteMesh(Tunnel(), MeshKind::P3d)) &&
         Put(meshes / "stolb_start_left.p3d", WriteMesh(Pillar("stolb_start_left"), MeshKind::P3d)) &&
         Put(meshes / "stolb_start_right.p3d", WriteMesh(Pillar("stolb_start_right"), MeshKind::P3d)) &&
         Put(meshes / "flag.p3d", WriteMesh(Flag(), MeshKind::P3d)) &&
         Put(meshes / "banner.p3d", WriteMesh(FinishBanner(), MeshKind::P3d));
    ok = ok && Save(textures / "asphalt.tga", Asphalt()) && Save(textures / "grass.tga", Grass()) &&
         Save(textures / "hills.tga", Hills()) && Save(textures / "flame.tga", Flame()) &&
         Save(textures / "banner.tga", Banner());
    for (int number = 0; ok && number < kPaintCount; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "dragster%02d.tga", number);
        ok = Save(textures / name, DragsterPaint(number));
    }
    if (!ok) std::fprintf(stderr, "mkdata: cannot write the demo meshes\n");
    return ok;
}
