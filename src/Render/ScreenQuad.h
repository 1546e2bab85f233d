#pragma once
// Pre-transformed quads over the screen (vertex format 0x144): pixels with y down, rhw, colour and
// one texture pair, drawn as a strip of two triangles.
#include <array>
#include <cstdint>

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

using ScreenQuad = std::array<ScreenVertex, 4>;

// The whole width x height screen, pixel centres on the corners, showing the texture from v = 0 down
// to vBottom.
inline ScreenQuad FullScreenQuad(float width, float height, uint32_t color, float vBottom) {
    return {{
        {width - 0.5f, -0.5f, 1, 1, color, 1, 0},
        {width - 0.5f, height - 0.5f, 1, 1, color, 1, vBottom},
        {-0.5f, -0.5f, 1, 1, color, 0, 0},
        {-0.5f, height - 0.5f, 1, 1, color, 0, vBottom},
    }};
}
