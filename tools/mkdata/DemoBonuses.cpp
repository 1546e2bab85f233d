// The demo's bonuses and hazards along level 1's road, built in code with the engine's own mesh
// writer, and the sounds they play:
//   Data/Meshes/bonus_remont.p3d  repair: a green cross over a pad (the root is "bonus_remont")
//   Data/Meshes/bonus_fast.p3d    acceleration: a glowing arrow, part "glow3"
//   Data/Meshes/bonus_slow.p3d    slow-down: a glowing bar, part "glow2"
//   Data/Meshes/bonus_minus.p3d   ability minus: a glowing minus, part "glow6"
//   Data/Meshes/bonus_plus.p3d    ability plus: a glowing plus, part "glow4"
//   Data/Meshes/bonus_gloom.p3d   gloom portal: an arch over the road, part "portal_a"
//   Data/Meshes/bonus_whirl.p3d   whirl: a twisted column, part "v_bii"
//   Data/Meshes/bonus_halo.p3d    halo: a ring standing over the road (the root is "halo")
//   Data/Textures/bonus_*.tga     their colours
//   Data/Sounds/chik.wav, bonus_*.wav, enter_gloom.wav, cheer.wav
// Every model spans a pad 2.4 m square and 1.8 m high, so a car driving along the road's middle
// touches it. The descriptions (.rdf) are text in data/Data/Meshes, the sound names in Sounds.dat.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <stb/stb_image_write.h>

#include "DemoMeshes.h"

using namespace MeshFile;

bool WriteDemoWave(const fs::path& path, const std::vector<double>& samples, int rate, int bits);

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kPad = 1.2f;   // half the pad's side
constexpr float kTop = 1.8f;   // the top of every model
constexpr float kHover = 0.9f; // the middle of a floating sign

Node Named(const char* name) {
    Node node;
    node.name = name;
    return node;
}

// The glowing pad on the road that every model stands on; it gives the model its reach.
Node Pad(const char* name) {
    Node pad = Named(name);
    DemoFlatQuad(pad, -kPad, -kPad, kPad, kPad, 0.03f);
    // A post to the top, so the model's box reaches from the road to kTop.
    DemoBox(pad, {-0.03f, -0.03f, 0.03f}, {0.03f, 0.03f, kTop});
    return pad;
}

Mesh One(Node root) {
    Mesh mesh;
    mesh.nodes = {std::move(root)};
    return mesh;
}

// A cross of two bars (plus, repair) or one (minus), floating across the road.
void Bars(Node& node, bool vertical, float size = 0.5f, float thick = 0.12f) {
    DemoBox(node, {-thick, -size, kHover - thick}, {thick, size, kHover + thick});
    if (vertical) DemoBox(node, {-thick, -thick, kHover - size}, {thick, thick, kHover + size});
}

Mesh Repair() {
    Node root = Pad("bonus_remont");
    Bars(root, true);
    return One(root);
}

// A sign of the given shape as the named glowing part over a plain pad.
Mesh Sign(const char* root, const char* part, void (*shape)(Node&)) {
    Node pad = Pad(root);
    Node glow = Named(part);
    shape(glow);
    pad.children.push_back(glow);
    return One(pad);
}

void Arrow(Node& node) {
    // Pointing along +x, the road's direction: a shaft and a stepped head.
    DemoBox(node, {-0.6f, -0.1f, kHover - 0.1f}, {0.1f, 0.1f, kHover + 0.1f});
    for (int i = 0; i < 4; ++i) {
        const float x = 0.1f + 0.12f * static_cast<float>(i), h = 0.45f - 0.11f * static_cast<float>(i);
        DemoBox(node, {x, -0.08f, kHover - h}, {x + 0.12f, 0.08f, kHover + h});
    }
}
void SlowBar(Node& node) { DemoBox(node, {-0.15f, -0.7f, kHover - 0.3f}, {0.15f, 0.7f, kHover + 0.3f}); }
void Minus(Node& node) { DemoBox(node, {-0.12f, -0.12f, kHover - 0.5f}, {0.12f, 0.12f, kHover + 0.5f}); }
void Plus(Node& node) { Bars(node, true); }

Mesh Portal() {
    Node pad = Pad("bonus_gloom");
    Node arch = Named("portal_a");
    DemoBox(arch, {-0.15f, -kPad, 0.0f}, {0.15f, -kPad + 0.25f, kTop});
    DemoBox(arch, {-0.15f, kPad - 0.25f, 0.0f}, {0.15f, kPad, kTop});
    DemoBox(arch, {-0.15f, -kPad, kTop - 0.25f}, {0.15f, kPad, kTop});
    DemoBox(arch, {-0.05f, -kPad + 0.25f, 0.05f}, {0.05f, kPad - 0.25f, kTop - 0.25f}); // the veil
    pad.children.push_back(arch);
    return One(pad);
}

Mesh Whirl() {
    Node pad = Pad("bonus_whirl");
    Node column = Named("v_bii");
    // Slabs turning as they rise.
    for (int i = 0; i < 8; ++i) {
        const float z = 0.1f + 0.2f * static_cast<float>(i);
        const float a = 0.4f * static_cast<float>(i);
        const float c = std::cos(a) * 0.6f, s = std::sin(a) * 0.6f;
        DemoBox(column, {std::fmin(-c, c) - 0.05f, std::fmin(-s, s) - 0.05f, z},
                {std::fmax(-c, c) + 0.05f, std::fmax(-s, s) + 0.05f, z + 0.12f});
    }
    pad.children.push_back(column);
    return One(pad);
}

Mesh Halo() {
    Node ring = Pad("halo");
    // A ring across the road, in the y-z plane, of short boxes.
    const int segments = 16;
    for (int i = 0; i < segments; ++i) {
        const float a = 2.0f * kPi * static_cast<float>(i) / segments;
        const float y = 0.8f * std::cos(a), z = kHover + 0.8f * std::sin(a);
        DemoBox(ring, {-0.06f, y - 0.12f, z - 0.12f}, {0.06f, y + 0.12f, z + 0.12f});
    }
    return One(ring);
}

// A soft square of one colour: bright in the middle, its alpha falling towards the edges.
bool Colour(const fs::path& path, float r, float g, float b) {
    const int n = 64;
    std::vector<uint8_t> rgba(static_cast<size_t>(n) * n * 4);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float u = (x + 0.5f) / n - 0.5f, v = (y + 0.5f) / n - 0.5f;
            const float edge = std::fmax(std::fabs(u), std::fabs(v)) * 2.0f;
            const float light = 0.55f + 0.45f * (1.0f - edge);
            uint8_t* p = &rgba[(static_cast<size_t>(y) * n + x) * 4];
            auto byte = [](float f) {
                return static_cast<uint8_t>(std::lround(std::fmin(1.0f, std::fmax(0.0f, f)) * 255));
            };
            p[0] = byte(r * light + (1 - edge) * 0.3f);
            p[1] = byte(g * light + (1 - edge) * 0.3f);
            p[2] = byte(b * light + (1 - edge) * 0.3f);
            p[3] = byte(1.0f - edge * edge * 0.8f);
        }
    stbi_write_tga_with_rle = 0;
    return stbi_write_tga(path.c_str(), n, n, 4, rgba.data()) != 0;
}

bool Put(const fs::path& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// ---- sounds ----

constexpr int kRate = 22050;

std::vector<double> Samples(double seconds) { return std::vector<double>(static_cast<size_t>(seconds * kRate)); }

// A tone gliding from f0 to f1 with a quick attack and a smooth end.
std::vector<double> Glide(double f0, double f1, double seconds, double level = 0.5) {
    std::vector<double> out = Samples(seconds);
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate, k = t / seconds;
        phase += 2 * kPi * (f0 + (f1 - f0) * k) / kRate;
        const double envelope = std::fmin(1.0, t * 200) * (1 - k) * (1 - k);
        out[i] = level * envelope * (std::sin(phase) + 0.3 * std::sin(2 * phase));
    }
    return out;
}

// Two notes, one after the other.
std::vector<double> TwoNotes(double f0, double f1) {
    std::vector<double> out = Glide(f0, f0, 0.12);
    const std::vector<double> second = Glide(f1, f1, 0.2);
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

// A metallic tick: a few high partials dying away fast.
std::vector<double> Chik() {
    std::vector<double> out = Samples(0.15);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        out[i] = 0.5 * std::exp(-t * 40) * (std::sin(2 * kPi * 2400 * t) + 0.6 * std::sin(2 * kPi * 3710 * t));
    }
    return out;
}

// A deep falling whoosh that trembles.
std::vector<double> EnterGloom() {
    std::vector<double> out = Glide(220, 55, 1.2, 0.6);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] *= 0.6 + 0.4 * std::sin(2 * kPi * 9 * static_cast<double>(i) / kRate);
    return out;
}

// A rising major arpeggio held as a chord.
std::vector<double> Cheer() {
    std::vector<double> out = Samples(1.4);
    const double notes[] = {523.25, 659.25, 783.99, 1046.5};
    for (int n = 0; n < 4; ++n) {
        const size_t start = static_cast<size_t>(0.12 * n * kRate);
        for (size_t i = start; i < out.size(); ++i) {
            const double t = static_cast<double>(i - start) / kRate;
            out[i] += 0.18 * std::fmin(1.0, t * 100) * std::exp(-t * 1.5) * std::sin(2 * kPi * notes[n] * t);
        }
    }
    return out;
}

} // namespace

bool WriteDemoBonuses(const fs::path& gameRoot) {
    const fs::path meshes = gameRoot / "Data" / "Meshes";
    const fs::path textures = gameRoot / "Data" / "Textures";
    const fs::path sounds = gameRoot / "Data" / "Sounds";
    std::error_code ec;
    for (const fs::path& dir : {meshes, textures, sounds}) fs::create_directories(dir, ec);
    const struct {
        const char* file;
        Mesh mesh;
    } models[] = {
        {"bonus_remont.p3d", Repair()},
        {"bonus_fast.p3d", Sign("bonus_fast", "glow3", Arrow)},
        {"bonus_slow.p3d", Sign("bonus_slow", "glow2", SlowBar)},
        {"bonus_minus.p3d", Sign("bonus_minus", "glow6", Minus)},
        {"bonus_plus.p3d", Sign("bonus_plus", "glow4", Plus)},
        {"bonus_gloom.p3d", Portal()},
        {"bonus_whirl.p3d", Whirl()},
        {"bonus_halo.p3d", Halo()},
    };
    bool ok = true;
    for (const auto& m : models) ok = ok && Put(meshes / m.file, WriteMesh(m.mesh, MeshKind::P3d));
    ok = ok && Colour(textures / "bonus_green.tga", 0.2f, 0.9f, 0.3f) &&
         Colour(textures / "bonus_yellow.tga", 1.0f, 0.8f, 0.1f) &&
         Colour(textures / "bonus_red.tga", 0.95f, 0.15f, 0.1f) &&
         Colour(textures / "bonus_blue.tga", 0.2f, 0.5f, 1.0f) &&
         Colour(textures / "bonus_violet.tga", 0.55f, 0.2f, 0.95f) &&
         Colour(textures / "bonus_cyan.tga", 0.1f, 0.9f, 0.9f) &&
         Colour(textures / "bonus_gold.tga", 1.0f, 0.85f, 0.4f);
    ok = ok && WriteDemoWave(sounds / "chik.wav", Chik(), kRate, 16) &&
         WriteDemoWave(sounds / "bonus_fast.wav", Glide(300, 1200, 0.5), kRate, 16) &&
         WriteDemoWave(sounds / "bonus_slow.wav", Glide(900, 200, 0.6), kRate, 16) &&
         WriteDemoWave(sounds / "bonus_minus.wav", TwoNotes(660, 440), kRate, 16) &&
         WriteDemoWave(sounds / "bonus_plus.wav", TwoNotes(440, 660), kRate, 16) &&
         WriteDemoWave(sounds / "enter_gloom.wav", EnterGloom(), kRate, 16) &&
         WriteDemoWave(sounds / "cheer.wav", Cheer(), kRate, 16);
    if (!ok) std::fprintf(stderr, "mkdata: cannot write the demo bonuses\n");
    return ok;
}
