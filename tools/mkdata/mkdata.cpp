// mkdata GAME_ROOT: writes the generated part of the demo data set into a game root:
//   Data/Textures/publisher.jpg  the loading screen's background (a night road under the title)
//   Data/Textures/load.tga       the loading screen's progress bar
//   Data/admin.sav               the stored level records (times to beat, a rival run on level 1)
//   Data/Textures/error.tga      the stand-in for a texture that cannot be read (magenta checks)
//   Data/Textures/ground.tga     asphalt with a painted line
//   Data/Textures/flare.tga      a round glow, its alpha falling off from the centre
//   Data/Textures/frame.tga      a screen frame: an opaque border around a clear middle
//   Data/Textures/glow_shot.tga, trasser.tga, plazma.tga, razlom.dds  shot flashes, streaks, plasma
//                                and the lightning bolt
//   Data/Sounds/*.wav, Data/Music/tune.ogg  the sounds and the music (Sounds.cpp)
//   the bonuses and hazards along level 1's road and their sounds (DemoBonuses.cpp)
// All are made here in code, so the repository holds no image or sound it cannot remake.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_easy_font.h>
#include <stb/stb_image_write.h>

#include "DemoEffects.h"
#include "DemoMeshes.h"
#include "Platform/DdsReader.h"

namespace fs = std::filesystem;

bool WriteAdminSave(const fs::path& root);
bool WriteDemoSounds(const fs::path& root);
bool WriteDemoBonuses(const fs::path& gameRoot);
bool WriteMenuTexture(const std::string& path);

namespace {

struct Image {
    int width, height;
    std::vector<uint8_t> rgba;
    Image(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 255) {}
    void Set(int x, int y, float r, float g, float b, float a = 1.0f) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        auto byte = [](float v) {
            return static_cast<uint8_t>(std::lround(std::fmin(1.0f, std::fmax(0.0f, v)) * 255));
        };
        p[0] = byte(r);
        p[1] = byte(g);
        p[2] = byte(b);
        p[3] = byte(a);
    }
};

// Text through stb_easy_font's quads, each font pixel drawn as a scale x scale block.
void DrawText(Image& image, const char* text, int left, int top, int scale, float r, float g, float b) {
    static char buffer[99999];
    int quads = stb_easy_font_print(0, 0, const_cast<char*>(text), nullptr, buffer, sizeof(buffer));
    const float* v = reinterpret_cast<const float*>(buffer);
    for (int q = 0; q < quads; ++q) {
        // Four vertices of x, y, z and a packed colour each.
        const float* quad = v + q * 16;
        int x0 = static_cast<int>(quad[0]), y0 = static_cast<int>(quad[1]);
        int x1 = static_cast<int>(quad[8]), y1 = static_cast<int>(quad[9]);
        for (int y = y0 * scale; y < y1 * scale; ++y)
            for (int x = x0 * scale; x < x1 * scale; ++x) image.Set(left + x, top + y, r, g, b);
    }
}

int TextWidth(const char* text, int scale) { return stb_easy_font_width(const_cast<char*>(text)) * scale; }

Image Background() {
    const int w = 1024, h = 768;
    Image image(w, h);
    const float horizon = h * 0.55f;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float r, g, b;
            if (y < horizon) {
                // Night sky fading to a warm band at the horizon.
                float t = y / horizon;
                r = 0.05f + 0.55f * t * t;
                g = 0.06f + 0.25f * t * t;
                b = 0.18f + 0.10f * t;
            } else {
                // The ground, with a road running to the vanishing point.
                float t = (y - horizon) / (h - horizon);
                float halfRoad = 8 + t * w * 0.45f;
                float dx = std::fabs(x - w * 0.5f);
                if (dx < halfRoad) {
                    r = g = b = 0.12f + 0.10f * t;
                    // Dashed centre line, dashes getting longer towards the viewer.
                    float stripe = std::fmod(std::sqrt(t) * 24.0f, 2.0f);
                    if (dx < 1 + t * 10 && stripe < 1.0f) r = g = b = 0.85f;
                    // Edge lines.
                    if (std::fabs(dx - halfRoad) < 1 + t * 6) {
                        r = 0.9f;
                        g = 0.6f;
                        b = 0.1f;
                    }
                } else {
                    r = 0.05f + 0.05f * t;
                    g = 0.10f + 0.12f * t;
                    b = 0.05f;
                }
            }
            image.Set(x, y, r, g, b);
        }
    }
    const char* title = "VASTREL";
    int scale = 12;
    DrawText(image, title, (w - TextWidth(title, scale)) / 2 + 6, 126, scale, 0, 0, 0); // shadow
    DrawText(image, title, (w - TextWidth(title, scale)) / 2, 120, scale, 1.0f, 0.75f, 0.2f);
    return image;
}

Image ProgressBar() {
    const int w = 256, h = 32;
    Image image(w, h);
    for (int y = 0; y < h; ++y) {
        float t = 1.0f - std::fabs((y + 0.5f) / h - 0.5f) * 2.0f; // brightest in the middle row
        for (int x = 0; x < w; ++x) image.Set(x, y, 0.6f + 0.4f * t, 0.3f + 0.4f * t, 0.05f, 1.0f);
    }
    return image;
}

// An uncompressed 32-bit TGA, rows bottom-up, BGRA.
bool WriteTga(const fs::path& path, const Image& image) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    uint8_t header[18] = {};
    header[2] = 2;
    header[12] = static_cast<uint8_t>(image.width & 0xFF);
    header[13] = static_cast<uint8_t>(image.width >> 8);
    header[14] = static_cast<uint8_t>(image.height & 0xFF);
    header[15] = static_cast<uint8_t>(image.height >> 8);
    header[16] = 32;
    header[17] = 8; // eight alpha bits, origin bottom left
    bool ok = std::fwrite(header, 1, sizeof(header), f) == sizeof(header);
    for (int y = image.height - 1; ok && y >= 0; --y) {
        for (int x = 0; ok && x < image.width; ++x) {
            const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
            uint8_t bgra[4] = {p[2], p[1], p[0], p[3]};
            ok = std::fwrite(bgra, 1, 4, f) == 4;
        }
    }
    return std::fclose(f) == 0 && ok;
}

Image ErrorTexture() {
    Image image(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool on = ((x / 4) + (y / 4)) % 2 == 0;
            image.Set(x, y, on ? 1.0f : 0.0f, 0.0f, on ? 1.0f : 0.0f);
        }
    return image;
}

Image Ground() {
    const int n = 128;
    Image image(n, n);
    uint32_t seed = 12345;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            seed = seed * 1103515245u + 12345u;
            const float noise = ((seed >> 16) & 0xFF) / 255.0f * 0.08f;
            float v = 0.32f + noise;
            float r = v, g = v, b = v * 1.05f;
            if (std::abs(x - n / 2) < 3 && (y / 16) % 2 == 0) r = 0.9f, g = 0.85f, b = 0.3f;
            image.Set(x, y, r, g, b);
        }
    return image;
}

Image Flare() {
    const int n = 64;
    Image image(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float dx = (x + 0.5f) / n * 2 - 1, dy = (y + 0.5f) / n * 2 - 1;
            const float d = std::sqrt(dx * dx + dy * dy);
            const float a = d >= 1.0f ? 0.0f : (1.0f - d) * (1.0f - d);
            image.Set(x, y, 1.0f, 0.9f, 0.6f, a);
        }
    return image;
}

Image Frame() {
    const int n = 64;
    Image image(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const bool border = x < 4 || y < 4 || x >= n - 4 || y >= n - 4;
            image.Set(x, y, 0.1f, 0.6f, 1.0f, border ? 1.0f : 0.0f);
        }
    return image;
}

// A soft round blob whose alpha falls off from the centre: smoke and dust puffs, sparks.
Image Blob(int n, float r, float g, float b, float power) {
    Image image(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float dx = (x + 0.5f) / n * 2 - 1, dy = (y + 0.5f) / n * 2 - 1;
            const float d = std::sqrt(dx * dx + dy * dy);
            const float a = d >= 1.0f ? 0.0f : std::pow(1.0f - d, power);
            image.Set(x, y, r, g, b, a);
        }
    return image;
}

// A shot streak: bright along its middle line, fading to the sides and toward its tail (u = 0).
Image Streak() {
    const int w = 64, h = 16;
    Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float across = 1.0f - std::fabs((y + 0.5f) / h * 2 - 1);
            const float along = (x + 0.5f) / w;
            image.Set(x, y, 1.0f, 0.9f, 0.6f + 0.4f * across, std::pow(across, 2.0f) * along);
        }
    return image;
}

// Four columns by two rows of blue plasma sparks that swell and shrink, cell by cell.
Image PlasmaAtlas() {
    const int cell = 32, columns = 4, rows = 2;
    Image image(cell * columns, cell * rows);
    for (int i = 0; i < columns * rows; ++i) {
        const float size = 0.5f + 0.5f * std::fabs(std::sin(i * 0.8f));
        const int ox = (i % columns) * cell, oy = (i / columns) * cell;
        for (int y = 0; y < cell; ++y)
            for (int x = 0; x < cell; ++x) {
                const float dx = (x + 0.5f) / cell * 2 - 1, dy = (y + 0.5f) / cell * 2 - 1;
                const float d = std::sqrt(dx * dx + dy * dy) / size;
                image.Set(ox + x, oy + y, 0.5f, 0.7f, 1.0f, d >= 1.0f ? 0.0f : std::pow(1.0f - d, 1.5f));
            }
    }
    return image;
}

// A lightning bolt along the texture (u runs along it): a jagged white-violet line with a glow.
Image Lightning() {
    const int w = 128, h = 32;
    Image image(w, h);
    float centre = h / 2.0f;
    uint32_t seed = 7;
    for (int x = 0; x < w; ++x) {
        seed = seed * 214013u + 2531011u;
        centre += ((seed >> 16) % 5) - 2.0f;
        centre = std::clamp(centre, 6.0f, h - 6.0f);
        for (int y = 0; y < h; ++y) {
            const float d = std::fabs(y + 0.5f - centre);
            image.Set(x, y, 0.85f, 0.8f, 1.0f, d < 1.0f ? 1.0f : std::exp(-(d - 1.0f) * 0.6f));
        }
    }
    return image;
}

// Four columns by two rows of fireballs that grow and cool down, cell by cell.
Image ExplosionAtlas() {
    const int cell = 32, columns = 4, rows = 2;
    Image image(cell * columns, cell * rows);
    for (int i = 0; i < columns * rows; ++i) {
        const float t = i / float(columns * rows - 1);
        const int ox = (i % columns) * cell, oy = (i / columns) * cell;
        for (int y = 0; y < cell; ++y)
            for (int x = 0; x < cell; ++x) {
                const float dx = (x + 0.5f) / cell * 2 - 1, dy = (y + 0.5f) / cell * 2 - 1;
                const float d = std::sqrt(dx * dx + dy * dy) / (0.4f + 0.6f * t);
                const float a = d >= 1.0f ? 0.0f : 1.0f - d;
                image.Set(ox + x, oy + y, 1.0f, 0.9f - 0.6f * t, 0.4f - 0.4f * t, a);
            }
    }
    return image;
}

// The sky dome's texture: near white with faint bands of high haze, so the ring colours show
// through almost unchanged. It repeats four times around the dome.
Image SkyDome() {
    const int w = 128, h = 64;
    Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float u = x / float(w) * 6.2831853f, v = y / float(h) * 6.2831853f;
            const float haze = 0.5f + 0.25f * std::sin(u * 2 + std::sin(v * 3)) + 0.25f * std::sin(v * 2 + u);
            const float k = 0.94f + 0.06f * haze;
            image.Set(x, y, k, k, k, 1.0f);
        }
    return image;
}

// A sky body: a bright core with a soft halo that fades to nothing at the edge.
Image SkyBody(int n, float r, float g, float b, float core) {
    Image image(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float dx = (x + 0.5f) / n * 2 - 1, dy = (y + 0.5f) / n * 2 - 1;
            const float d = std::sqrt(dx * dx + dy * dy);
            const float halo = d >= 1.0f ? 0.0f : std::pow(1.0f - d, 2.0f);
            const float a = d <= core ? 1.0f : halo;
            image.Set(x, y, r, g, b, a);
        }
    return image;
}

// The clouds' 4 x 4 atlas: sixteen white puffs of different shapes, each a few overlapping soft
// lobes whose alpha falls off to the cell's edge.
Image CloudAtlas() {
    const int cell = 64, cells = 4;
    Image image(cell * cells, cell * cells);
    for (int i = 0; i < cells * cells; ++i) {
        const int ox = (i % cells) * cell, oy = (i / cells) * cell;
        for (int y = 0; y < cell; ++y)
            for (int x = 0; x < cell; ++x) {
                const float px = (x + 0.5f) / cell * 2 - 1, py = (y + 0.5f) / cell * 2 - 1;
                float a = 0.0f;
                for (int lobe = 0; lobe < 4; ++lobe) {
                    const float angle = (i * 2.3f + lobe * 1.7f);
                    const float cx = 0.3f * std::cos(angle), cy = 0.3f * std::sin(angle * 1.3f);
                    const float radius = 0.45f + 0.1f * ((i + lobe) % 3);
                    const float d = std::sqrt((px - cx) * (px - cx) + (py - cy) * (py - cy)) / radius;
                    if (d < 1.0f) a = std::max(a, 1.0f - d * d);
                }
                const float edge = std::sqrt(px * px + py * py);
                if (edge >= 1.0f) a = 0.0f;
                const float shade = 0.85f + 0.15f * (1.0f - (py + 1.0f) * 0.5f);
                image.Set(ox + x, oy + y, shade, shade, shade, a * 0.9f);
            }
    }
    return image;
}

// A dark burnt patch with a ragged edge.
Image Scorch() {
    const int n = 64;
    Image image(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float dx = (x + 0.5f) / n * 2 - 1, dy = (y + 0.5f) / n * 2 - 1;
            const float edge = 0.8f + 0.15f * std::sin(std::atan2(dy, dx) * 7.0f);
            const float d = std::sqrt(dx * dx + dy * dy) / edge;
            const float a = d >= 1.0f ? 0.0f : 0.85f * (1.0f - d * d);
            image.Set(x, y, 0.06f, 0.05f, 0.04f, a);
        }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdata GAME_ROOT\n");
        return 2;
    }
    fs::path textures = fs::path(argv[1]) / "Data" / "Textures";
    std::error_code ec;
    fs::create_directories(textures, ec);
    if (ec) {
        std::fprintf(stderr, "mkdata: cannot create %s\n", textures.c_str());
        return 1;
    }
    Image background = Background();
    if (!stbi_write_jpg((textures / "publisher.jpg").c_str(), background.width, background.height, 4,
                        background.rgba.data(), 90)) {
        std::fprintf(stderr, "mkdata: cannot write publisher.jpg\n");
        return 1;
    }
    const struct {
        const char* name;
        Image image;
    } tgas[] = {{"load.tga", ProgressBar()},
                {"error.tga", ErrorTexture()},
                {"ground.tga", Ground()},
                {"flare.tga", Flare()},
                {"frame.tga", Frame()},
                {"puff.tga", Blob(64, 0.75f, 0.75f, 0.75f, 1.5f)},
                {"spark.tga", Blob(16, 1.0f, 0.85f, 0.5f, 2.0f)},
                {"dust.tga", Blob(64, 0.6f, 0.5f, 0.35f, 1.2f)},
                {"explosion.tga", ExplosionAtlas()},
                {"scorch.tga", Scorch()},
                {"skydome.tga", SkyDome()},
                {"sun.tga", SkyBody(64, 1.0f, 0.95f, 0.8f, 0.25f)},
                {"moon.tga", SkyBody(64, 0.8f, 0.85f, 0.95f, 0.45f)},
                {"cloud.tga", CloudAtlas()},
                {"glow_shot.tga", Blob(64, 1.0f, 0.9f, 0.7f, 1.2f)},
                {"trasser.tga", Streak()},
                {"plazma.tga", PlasmaAtlas()}};
    for (const auto& t : tgas) {
        if (!WriteTga(textures / t.name, t.image)) {
            std::fprintf(stderr, "mkdata: cannot write %s\n", t.name);
            return 1;
        }
    }
    {
        // The bolt's texture is a DDS, as the scripts name it.
        const Image bolt = Lightning();
        Platform::Image dds;
        dds.width = bolt.width;
        dds.height = bolt.height;
        dds.hasAlpha = true;
        dds.faces.push_back(bolt.rgba);
        const std::vector<uint8_t> bytes = Platform::WriteDds(dds);
        FILE* f = std::fopen((textures / "razlom.dds").c_str(), "wb");
        const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f) std::fclose(f);
        if (!ok || bytes.empty()) {
            std::fprintf(stderr, "mkdata: cannot write razlom.dds\n");
            return 1;
        }
    }
    if (!WriteMenuTexture((textures / "menu.tga").string())) {
        std::fprintf(stderr, "mkdata: cannot write menu.tga\n");
        return 1;
    }
    if (!WriteDemoMeshes(argv[1])) return 1;
    if (!WriteDemoEffects(argv[1])) return 1;
    if (!WriteDemoBonuses(argv[1])) return 1;
    if (!WriteDemoWeapons(argv[1])) return 1;
    if (!WriteAdminSave(argv[1])) {
        std::fprintf(stderr, "mkdata: cannot write Data/admin.sav\n");
        return 1;
    }
    if (!WriteDemoSounds(argv[1])) {
        std::fprintf(stderr, "mkdata: cannot write the sounds\n");
        return 1;
    }
    return 0;
}
