// The menu screens' texture "menu.tga" (256 x 256): a panel, the three states of a button, an
// edit-box field, a gauge segment and the mouse cursor. Regions (texels):
//   panel        0,0     256x128   translucent navy with a light border
//   button       0,160   80x24     normal (slate), 80,160 over (amber), 160,160 pressed (red)
//   field        0,192   160x24    dark field with a thin border
//   gauge        176,192 12x20     overheat segment (orange)
//   cursor       224,224 32x32     arrow, white with a black edge
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/TgaWriter.h"

namespace {

struct Canvas {
    int size = 256;
    std::vector<uint8_t> rgba = std::vector<uint8_t>(256 * 256 * 4, 0);
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
        p[0] = r, p[1] = g, p[2] = b, p[3] = a;
    }
    // A filled box with a border of `edge` texels in the second colour.
    void Box(int x0, int y0, int w, int h, const uint8_t fill[4], const uint8_t border[4], int edge) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) {
                const bool rim = x < x0 + edge || x >= x0 + w - edge || y < y0 + edge || y >= y0 + h - edge;
                const uint8_t* c = rim ? border : fill;
                Set(x, y, c[0], c[1], c[2], c[3]);
            }
    }
};

} // namespace

bool WriteMenuTexture(const std::string& path) {
    Canvas c;
    const uint8_t navy[4] = {20, 30, 70, 200}, light[4] = {150, 170, 230, 255};
    c.Box(0, 0, 256, 128, navy, light, 3);
    const uint8_t slate[4] = {60, 80, 120, 255}, amber[4] = {230, 160, 30, 255}, red[4] = {200, 40, 40, 255};
    const uint8_t white[4] = {240, 240, 240, 255}, dark[4] = {10, 10, 20, 230}, black[4] = {0, 0, 0, 255};
    c.Box(0, 160, 80, 24, slate, light, 2);
    c.Box(80, 160, 80, 24, amber, white, 2);
    c.Box(160, 160, 80, 24, red, white, 2);
    c.Box(0, 192, 160, 24, dark, light, 1);
    const uint8_t orange[4] = {255, 110, 20, 255};
    c.Box(176, 192, 12, 20, orange, red, 1);
    // The arrow: the tip at the cell's top-left corner, a black edge around white.
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x <= y / 2 + y / 4 && x < 16; ++x) {
            const bool edge = x == 0 || x == y / 2 + y / 4 || y == 23;
            const uint8_t* col = edge ? black : white;
            c.Set(224 + x, 224 + y, col[0], col[1], col[2], col[3]);
        }
    return Platform::WriteTgaFile(path, c.size, c.size, c.rgba);
}
