// The demo data of moving things and post passes, built in code:
//   Data/Textures/blurmask.tga  how much each part of the screen smears in the speed blur (alpha)
//   Data/Textures/noise.tga     the faint grain the bloom lays over the screen
//   Data/Textures/firesheet.tga a sprite sheet of 4 x 2 flame cells
//   Data/Textures/envmap.tga    a sky-over-ground picture for the environment-mapped ball
//   Data/Textures/stripes.tga   diagonal hazard stripes that scroll
//   Data/Meshes/flag.amf        a flag waving in 16 whole-mesh frames (vertex animation)
//   Data/Meshes/spinsign.msh    a two-sided sign board on a post
//   Data/Animations/spin.anm    its key frames: one turn about the upright in 12 steps
//   Data/Meshes/fxshow.msh      the stand of the vertex effects: a belt, a marker, a ball, a flame
//                               and a beacon
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include <stb/stb_image_write.h>

#include "DemoEffects.h"
#include "Render/MeshFile.h"

using namespace MeshFile;
namespace fs = std::filesystem;

namespace {

constexpr float kTwoPi = 6.2831853f;

struct Picture {
    int w, h;
    std::vector<uint8_t> rgba;
    Picture(int width, int height) : w(width), h(height), rgba(static_cast<size_t>(width) * height * 4, 255) {}
    void Fill(const std::function<void(int x, int y, float out[4])>& shade) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float c[4] = {0, 0, 0, 1};
                shade(x, y, c);
                for (int k = 0; k < 4; ++k)
                    rgba[(static_cast<size_t>(y) * w + x) * 4 + k] =
                        static_cast<uint8_t>(std::lround(std::fmin(1.0f, std::fmax(0.0f, c[k])) * 255));
            }
    }
};

bool Save(const fs::path& path, const Picture& p) {
    stbi_write_tga_with_rle = 0;
    return stbi_write_tga(path.c_str(), p.w, p.h, 4, p.rgba.data()) != 0;
}

bool Put(const fs::path& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Clear in the middle of the screen, full smear towards the edges.
Picture BlurMask() {
    Picture p(64, 64);
    p.Fill([&](int x, int y, float c[4]) {
        const float dx = (x + 0.5f) / 32 - 1, dy = (y + 0.5f) / 32 - 1;
        c[0] = c[1] = c[2] = 1;
        c[3] = std::fmin(1.0f, std::sqrt(dx * dx + dy * dy));
    });
    return p;
}

Picture Noise() {
    Picture p(128, 128);
    uint32_t seed = 271828;
    p.Fill([&](int, int, float c[4]) {
        seed = seed * 1103515245u + 12345u;
        c[0] = c[1] = c[2] = static_cast<float>((seed >> 16) & 0xFF) / 255.0f;
        c[3] = 10.0f / 255.0f;
    });
    return p;
}

// Eight cells of 64 x 64, row by row: a tongue of fire whose tip sways and flickers.
Picture FlameSheet() {
    Picture p(256, 128);
    p.Fill([&](int x, int y, float c[4]) {
        const int cell = (y / 64) * 4 + x / 64;
        const float phase = kTwoPi * static_cast<float>(cell) / 8.0f;
        const float u = (x % 64 + 0.5f) / 64.0f, v = (y % 64 + 0.5f) / 64.0f;
        const float height = 1.0f - v; // 0 at the bottom of the cell
        const float sway = 0.08f * std::sin(phase + height * 5.0f) * height;
        const float width = 0.32f * (1.0f - height) * (0.85f + 0.15f * std::sin(phase * 2.0f));
        const float d = std::fabs(u - 0.5f - sway) / std::fmax(width, 1e-3f);
        const float heat = std::fmax(0.0f, 1.0f - d) * std::fmin(1.0f, (1.0f - height) * 3.0f);
        c[0] = 1.0f;
        c[1] = 0.25f + 0.7f * heat;
        c[2] = 0.05f + 0.4f * heat * heat;
        c[3] = std::fmin(1.0f, heat * 1.6f);
    });
    return p;
}

// A blue sky with a bright sun over brown ground, as a ball would mirror it.
Picture EnvMap() {
    Picture p(128, 128);
    p.Fill([&](int x, int y, float c[4]) {
        const float u = (x + 0.5f) / 128, v = (y + 0.5f) / 128;
        if (v < 0.55f) {
            c[0] = 0.35f + 0.4f * v;
            c[1] = 0.55f + 0.35f * v;
            c[2] = 0.95f;
        } else {
            c[0] = 0.45f - 0.2f * (v - 0.55f);
            c[1] = 0.33f - 0.15f * (v - 0.55f);
            c[2] = 0.2f;
        }
        const float sx = u - 0.7f, sy = v - 0.25f;
        if (sx * sx + sy * sy < 0.006f) c[0] = c[1] = c[2] = 1.0f;
    });
    return p;
}

Picture Stripes() {
    Picture p(64, 64);
    p.Fill([&](int x, int y, float c[4]) {
        const bool yellow = ((x + y) / 16) % 2 == 0;
        c[0] = yellow ? 0.95f : 0.08f;
        c[1] = yellow ? 0.78f : 0.08f;
        c[2] = yellow ? 0.1f : 0.08f;
    });
    return p;
}

CPVertex Vertex(const Vec3& p, const Vec3& n, float u, float v) {
    CPVertex out;
    out.position = p;
    out.normal = n;
    out.diffuse = 0xFFFFFFFFu;
    out.tu = u;
    out.tv = v;
    return out;
}

// sign.tga is stored upside down (as the sprites read it); quads showing it turn it upright.
void TurnTexture(std::vector<CPVertex>& vertices) {
    for (CPVertex& v : vertices) v.tv = 1.0f - v.tv;
}

// A grid of columns x rows cells through point(u, v), written twice: front and back, so that it
// shows from both sides.
template <typename Point>
void Grid(std::vector<CPVertex>& vertices, std::vector<CPIndex>& indices, int columns, int rows, Point point) {
    for (int side = 0; side < 2; ++side) {
        const CPIndex base = static_cast<CPIndex>(vertices.size());
        for (int j = 0; j <= rows; ++j)
            for (int i = 0; i <= columns; ++i) {
                const float u = static_cast<float>(i) / columns, v = static_cast<float>(j) / rows;
                Vec3 normal;
                const Vec3 p = point(u, v, normal);
                vertices.push_back(Vertex(p, side == 0 ? normal : normal * -1.0f, u, v));
            }
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < columns; ++i) {
                const CPIndex a = static_cast<CPIndex>(base + j * (columns + 1) + i);
                const CPIndex b = static_cast<CPIndex>(a + 1), c = static_cast<CPIndex>(a + columns + 1),
                              d = static_cast<CPIndex>(c + 1);
                if (side == 0) indices.insert(indices.end(), {a, b, d, a, d, c});
                else indices.insert(indices.end(), {a, d, b, a, c, d});
            }
    }
}

// The flag: 1.6 wide along y and 1 high, its edge at y = 0, a wave running along it.
AnimatedMesh Flag() {
    AnimatedMesh mesh;
    AnimatedNode& node = mesh.root;
    node.name = "flag";
    node.animation.frameTime = 2400.0f / 16.0f; // 16 frames a second
    // It flies along `along` (the showroom sees it from the side, so that its waves show).
    const Vec3 along(0.0f, 1.0f, 0.0f), across(1.0f, 0.0f, 0.0f);
    for (int f = 0; f < 16; ++f) {
        Frame frame;
        const float phase = kTwoPi * static_cast<float>(f) / 16.0f;
        Grid(frame.vertices, frame.indices, 12, 4, [&](float u, float v, Vec3& normal) {
            const float wave = 0.18f * u * std::sin(u * 7.0f - phase);
            const float slope = 0.18f * (std::sin(u * 7.0f - phase) + 7.0f * u * std::cos(u * 7.0f - phase));
            normal = Normalize(across - along * (slope / 1.6f));
            return along * (u * 1.6f) + across * wave + Vec3(0, 0, 3.0f - v * 1.0f);
        });
        node.animation.frames.push_back(frame);
    }
    return mesh;
}

// A sign board on a post; the board turns about the upright through its middle (its key frames
// are its whole local matrix, so its own origin is the turning point).
Mesh SpinSign() {
    Node post;
    post.name = "post";
    for (int k = 0; k < 2; ++k)
        Grid(post.vertices, post.indices, 1, 1, [&](float u, float v, Vec3& normal) {
            normal = k == 0 ? Vec3(-1, 0, 0) : Vec3(0, -1, 0);
            const float s = (u - 0.5f) * 0.1f;
            return Vec3(k == 0 ? 0 : s, k == 0 ? s : 0, 1.2f - v * 1.2f);
        });
    Node board;
    board.name = "board";
    Grid(board.vertices, board.indices, 1, 1, [](float u, float v, Vec3& normal) {
        normal = Vec3(-1, 0, 0);
        return Vec3(0, (u - 0.5f) * 1.6f, 2.4f - v * 1.2f);
    });
    TurnTexture(board.vertices);
    Mesh mesh;
    mesh.nodes = {post, board};
    return mesh;
}

// One turn about z in 12 steps; the pass ends two keys before the last, so the 13th key (a whole
// turn) is where it starts again and the 14th is never waited for.
KeyFrames Spin() {
    KeyObject object;
    object.name = "board";
    for (int k = 0; k < 14; ++k) {
        const float a = kTwoPi * static_cast<float>(k) / 12.0f;
        const float rows[4][3] = {{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}, {0, 0, 0}};
        Key key;
        key.time = 0.5f;
        for (int column = 0; column < 3; ++column)
            for (int row = 0; row < 4; ++row) key.matrix[4 * column + row] = rows[row][column];
        object.keys.push_back(key);
    }
    KeyFrames keys;
    keys.objects = {object};
    return keys;
}

Mesh EffectStand() {
    Node belt;
    belt.name = "belt";
    Grid(belt.vertices, belt.indices, 1, 1, [](float u, float v, Vec3& normal) {
        normal = Vec3(-1, 0, 0);
        return Vec3(0, (u - 0.5f) * 2.0f, 1.0f - v * 0.6f);
    });
    // The texture repeats three times along the belt.
    for (CPVertex& v : belt.vertices) v.tu *= 3.0f;
    Node marker;
    marker.name = "marker";
    Grid(marker.vertices, marker.indices, 1, 1, [](float u, float v, Vec3& normal) {
        normal = Vec3(-1, 0, 0);
        return Vec3(0, 1.6f + (u - 0.5f) * 0.7f, 1.6f - v * 0.7f);
    });
    TurnTexture(marker.vertices);
    Node ball;
    ball.name = "ball";
    const Vec3 centre(0, -3.0f, 1.3f);
    const int slices = 24, stacks = 12;
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i) {
            const float theta = 3.1415927f * static_cast<float>(j) / stacks;
            const float phi = kTwoPi * static_cast<float>(i) / slices;
            const Vec3 n(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta));
            ball.vertices.push_back(
                Vertex(centre + n * 0.5f, n, static_cast<float>(i) / slices, static_cast<float>(j) / stacks));
        }
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            const CPIndex a = static_cast<CPIndex>(j * (slices + 1) + i), b = static_cast<CPIndex>(a + 1);
            const CPIndex c = static_cast<CPIndex>(a + slices + 1), d = static_cast<CPIndex>(c + 1);
            // Clockwise seen from outside.
            ball.indices.insert(ball.indices.end(), {a, d, b, a, c, d});
        }
    // The flame and the beacon: upright quads showing one cell of the flame sheet and a glow.
    auto quad = [](const char* name, float y, float bottom, float size) {
        Node node;
        node.name = name;
        Grid(node.vertices, node.indices, 1, 1, [&](float u, float v, Vec3& normal) {
            normal = Vec3(-1, 0, 0);
            return Vec3(0, y + (u - 0.5f) * size, bottom + (1.0f - v) * size);
        });
        return node;
    };
    Mesh mesh;
    mesh.nodes = {belt, marker, ball, quad("flame", 3.0f, 0.4f, 1.1f), quad("beacon", -4.4f, 0.8f, 1.0f)};
    return mesh;
}

} // namespace

bool WriteDemoEffects(const std::filesystem::path& gameRoot) {
    const fs::path meshes = gameRoot / "Data" / "Meshes";
    const fs::path textures = gameRoot / "Data" / "Textures";
    const fs::path animations = gameRoot / "Data" / "Animations";
    std::error_code ec;
    for (const fs::path& dir : {meshes, textures, animations}) fs::create_directories(dir, ec);
    const bool ok = Save(textures / "blurmask.tga", BlurMask()) && Save(textures / "noise.tga", Noise()) &&
                    Save(textures / "firesheet.tga", FlameSheet()) && Save(textures / "envmap.tga", EnvMap()) &&
                    Save(textures / "stripes.tga", Stripes()) && Put(meshes / "flag.amf", WriteAnimatedMesh(Flag())) &&
                    Put(meshes / "spinsign.msh", WriteMesh(SpinSign(), MeshKind::Older)) &&
                    Put(animations / "spin.anm", WriteKeyFrames(Spin())) &&
                    Put(meshes / "fxshow.msh", WriteMesh(EffectStand(), MeshKind::Older));
    if (!ok) std::fprintf(stderr, "mkdata: cannot write the moving demo objects\n");
    return ok;
}
