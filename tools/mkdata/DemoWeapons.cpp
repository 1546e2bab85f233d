// The demo's weapons, built in code:
//   the parts of "coupe_t" the car's weapon mounting looks up by name: the machine gun "mgun" and the
//   heavy machine gun "hmgun" with its spinning barrel "stvol" on the bonnet (their shots fly level,
//   about a metre over the road), the rocket launcher "rlauncher" on the rear deck, and one gun of
//   each other kind the shop sells ("lgun", "lgun2x", "shotgun", "plasma", "gauss", "firethrower",
//   "ssrlauncher") on the same pivots;
//   each with its four muzzle flashes "flare_<name>", "<name>_01", "<name>_02" and "<name>_03"
//   Data/Meshes/barrel.p3d   the oil barrel standing on the race line, with its collision box
//   Data/Textures/barrel.tga its paint: red with a yellow hazard band
// The descriptions naming them are text in data/Data/Meshes (coupe_t.rdf, barrel_*.rdf).
#include <cmath>
#include <cstdio>
#include <vector>

#include <stb/stb_image_write.h>

#include "DemoMeshes.h"

using namespace MeshFile;

namespace {

// Four flashes of different sizes at a muzzle, so that firing flickers. `muzzle` is the barrel's
// tip in the weapon's frame; the flashes point along the barrel (-y).
void AddFlashes(Node& weapon, const std::string& name, const Vec3& muzzle) {
    const std::string names[4] = {"flare_" + name, name + "_01", name + "_02", name + "_03"};
    const float lengths[4] = {0.35f, 0.25f, 0.42f, 0.3f};
    const float widths[4] = {0.1f, 0.14f, 0.08f, 0.12f};
    for (int i = 0; i < 4; ++i) {
        Node flash = BoxNode(names[i].c_str(), {-widths[i], -lengths[i], -widths[i] * 0.5f},
                             {widths[i], 0.0f, widths[i] * 0.5f});
        flash.pose.position = muzzle;
        weapon.children.push_back(flash);
    }
}

// A part turning about its own origin (the pivot), which sits at `pivot` on the car.
Node Weapon(const char* name, const Vec3& pivot) {
    Node node;
    node.name = name;
    node.pose.position = pivot;
    return node;
}

void AppendBox(Node& node, const Vec3& lo, const Vec3& hi) {
    const Node box = BoxNode("", lo, hi);
    const size_t base = node.vertices.size();
    node.vertices.insert(node.vertices.end(), box.vertices.begin(), box.vertices.end());
    for (CPIndex index : box.indices) node.indices.push_back(static_cast<CPIndex>(base + index));
}

Node MachineGun() {
    Node gun = Weapon("mgun", {-0.55f, -1.0f, 0.2f});
    AppendBox(gun, {-0.1f, -0.15f, 0.0f}, {0.1f, 0.2f, 0.16f});
    AppendBox(gun, {-0.03f, -0.75f, 0.06f}, {0.03f, -0.15f, 0.11f});
    AddFlashes(gun, "mgun", {0.0f, -0.75f, 0.085f});
    return gun;
}

// The barrel bundle spins about its own y axis while the gun fires.
Node HeavyMachineGun() {
    Node gun = Weapon("hmgun", {0.55f, -1.0f, 0.2f});
    AppendBox(gun, {-0.12f, -0.2f, 0.0f}, {0.12f, 0.2f, 0.2f});
    Node barrels;
    barrels.name = "stvol";
    barrels.pose.position = {0.0f, -0.2f, 0.1f};
    for (const auto& [x, z] :
         {std::pair{-0.045f, 0.0f}, std::pair{0.045f, 0.0f}, std::pair{0.0f, -0.045f}, std::pair{0.0f, 0.045f}})
        AppendBox(barrels, {x - 0.025f, -0.7f, z - 0.025f}, {x + 0.025f, 0.0f, z + 0.025f});
    AppendBox(barrels, {-0.08f, -0.6f, -0.08f}, {0.08f, -0.55f, 0.08f});
    gun.children.push_back(barrels);
    AddFlashes(gun, "hmgun", {0.0f, -0.9f, 0.1f});
    return gun;
}

// A tube on the rear deck; it tilts up about x to lob its rockets.
Node RocketLauncher() {
    Node launcher = Weapon("rlauncher", {0.0f, 1.45f, 0.2f});
    AppendBox(launcher, {-0.05f, -0.05f, 0.0f}, {0.05f, 0.05f, 0.12f});
    AppendBox(launcher, {-0.14f, -0.45f, 0.12f}, {0.14f, 0.35f, 0.36f});
    AddFlashes(launcher, "rlauncher", {0.0f, -0.45f, 0.24f});
    return launcher;
}

// An upright barrel: an octagonal drum 1.5 m tall (as high as the car's guns) with a hazard band; the texture's top half wraps
// the side, its bottom half caps the lid.
Mesh Barrel() {
    Node drum;
    drum.name = "barrel";
    constexpr int kSides = 8;
    constexpr float kRadius = 0.4f, kHeight = 1.5f, kTwoPi = 6.2831853f;
    auto vertex = [&](const Vec3& p, const Vec3& n, float u, float v) {
        CPVertex out;
        out.position = p;
        out.normal = n;
        out.diffuse = 0xFFFFFFFFu;
        out.tu = u;
        out.tv = v;
        drum.indices.push_back(static_cast<CPIndex>(drum.vertices.size()));
        drum.vertices.push_back(out);
    };
    for (int i = 0; i < kSides; ++i) {
        const float a0 = kTwoPi * i / kSides, a1 = kTwoPi * (i + 1) / kSides, am = (a0 + a1) * 0.5f;
        const Vec3 p0(kRadius * std::cos(a0), kRadius * std::sin(a0), 0.0f);
        const Vec3 p1(kRadius * std::cos(a1), kRadius * std::sin(a1), 0.0f);
        const Vec3 up(0, 0, kHeight), n(std::cos(am), std::sin(am), 0.0f);
        const float u0 = static_cast<float>(i) / kSides, u1 = static_cast<float>(i + 1) / kSides;
        // Each triangle's (b - a) x (c - a) points outward, as the other demo solids have it.
        vertex(p0, n, u0, 0.5f);
        vertex(p1, n, u1, 0.5f);
        vertex(p1 + up, n, u1, 0.0f);
        vertex(p0, n, u0, 0.5f);
        vertex(p1 + up, n, u1, 0.0f);
        vertex(p0 + up, n, u0, 0.0f);
        // The lid.
        const Vec3 top(0, 0, 1);
        vertex(up, top, 0.5f, 0.75f);
        vertex(p0 + up, top, 0.5f + 0.5f * std::cos(a0), 0.75f + 0.25f * std::sin(a0));
        vertex(p1 + up, top, 0.5f + 0.5f * std::cos(a1), 0.75f + 0.25f * std::sin(a1));
    }
    // A box shape of no mass: the shots' rays find it, and the level gives it no body, so cars pass
    // through (a 1.5 m drum would stop the car dead).
    Shape box;
    box.a = 2.0f * kRadius;
    box.b = kHeight;
    box.c = 2.0f * kRadius;
    drum.shapes = {box};
    Mesh mesh;
    mesh.nodes = {drum};
    return mesh;
}

std::vector<uint8_t> BarrelPaint(int size) {
    std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4, 255);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
            const float v = (y + 0.5f) / size, u = (x + 0.5f) / size;
            float r = 0.7f, g = 0.1f, b = 0.06f;
            if (v < 0.5f) {
                // The side: two ribs and a band of diagonal yellow and black stripes.
                if (std::fabs(v - 0.12f) < 0.015f || std::fabs(v - 0.38f) < 0.015f) r = g = b = 0.25f;
                if (v > 0.2f && v < 0.3f) {
                    const bool yellow = std::fmod(u * 16.0f + v * 8.0f, 1.0f) < 0.5f;
                    r = yellow ? 0.95f : 0.08f;
                    g = yellow ? 0.8f : 0.08f;
                    b = 0.05f;
                }
            } else {
                // The lid: a darker disc with its bung.
                const float dx = (u - 0.5f) * 2.0f, dy = (v - 0.75f) * 4.0f;
                const float d = std::sqrt(dx * dx + dy * dy);
                r = d < 0.15f ? 0.2f : 0.55f;
                g = d < 0.15f ? 0.2f : 0.08f;
                b = 0.05f;
            }
            p[0] = static_cast<uint8_t>(std::lround(r * 255));
            p[1] = static_cast<uint8_t>(std::lround(g * 255));
            p[2] = static_cast<uint8_t>(std::lround(b * 255));
        }
    return rgba;
}

// The other guns the shop sells, one of each kind: a breech and a barrel of their own length on a
// pivot of the bonnet or the rear deck, where the guns above sit (only one is ever shown).
Node Gun(const char* name, const Vec3& pivot, float barrel, float bore) {
    Node gun = Weapon(name, pivot);
    AppendBox(gun, {-0.1f, -0.15f, 0.0f}, {0.1f, 0.2f, 0.16f});
    AppendBox(gun, {-bore, -barrel, 0.085f - bore}, {bore, -0.15f, 0.085f + bore});
    AddFlashes(gun, name, {0.0f, -barrel, 0.085f});
    return gun;
}

} // namespace

void AddWeaponParts(Node& body) {
    body.children.push_back(MachineGun());
    body.children.push_back(HeavyMachineGun());
    body.children.push_back(RocketLauncher());
    const Vec3 left(-0.55f, -1.0f, 0.2f), right(0.55f, -1.0f, 0.2f), rear(0.0f, 1.45f, 0.2f);
    body.children.push_back(Gun("lgun", left, 0.6f, 0.02f));
    body.children.push_back(Gun("lgun2x", left, 0.6f, 0.035f));
    body.children.push_back(Gun("shotgun", left, 0.55f, 0.05f));
    body.children.push_back(Gun("plasma", right, 0.5f, 0.06f));
    body.children.push_back(Gun("gauss", right, 0.8f, 0.03f));
    body.children.push_back(Gun("firethrower", right, 0.45f, 0.05f));
    body.children.push_back(Gun("ssrlauncher", rear, 0.45f, 0.07f));
}

bool WriteDemoWeapons(const fs::path& gameRoot) {
    const fs::path meshes = gameRoot / "Data" / "Meshes";
    const fs::path textures = gameRoot / "Data" / "Textures";
    std::error_code ec;
    fs::create_directories(meshes, ec);
    fs::create_directories(textures, ec);
    const std::vector<uint8_t> bytes = WriteMesh(Barrel(), MeshKind::P3d);
    bool ok = false;
    if (FILE* f = std::fopen((meshes / "barrel.p3d").c_str(), "wb")) {
        ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok = std::fclose(f) == 0 && ok;
    }
    constexpr int kSize = 64;
    const std::vector<uint8_t> paint = BarrelPaint(kSize);
    stbi_write_tga_with_rle = 0;
    ok = ok && stbi_write_tga((textures / "barrel.tga").c_str(), kSize, kSize, 4, paint.data()) != 0;
    if (!ok) std::fprintf(stderr, "mkdata: cannot write the barrel\n");
    return ok;
}
