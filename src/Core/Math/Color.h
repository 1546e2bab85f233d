#pragma once
// Floating-point RGBA colour with D3DX semantics, convertible to and from packed A8R8G8B8.

#include <cstdint>
#include <type_traits>

struct Color {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;

    constexpr Color() = default;
    constexpr Color(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
};

static_assert(std::is_standard_layout_v<Color> && std::is_trivially_copyable_v<Color> && sizeof(Color) == 16);

constexpr bool operator==(const Color& p, const Color& q) {
    return p.r == q.r && p.g == q.g && p.b == q.b && p.a == q.a;
}

constexpr Color ColorFromArgb(std::uint32_t argb) {
    constexpr float k = 1.0f / 255.0f;
    return {static_cast<float>((argb >> 16) & 0xFF) * k, static_cast<float>((argb >> 8) & 0xFF) * k,
            static_cast<float>(argb & 0xFF) * k, static_cast<float>((argb >> 24) & 0xFF) * k};
}

// Channels outside 0..1 saturate; inside they round to the nearest byte.
constexpr std::uint32_t ColorToArgb(const Color& c) {
    auto byte = [](float v) -> std::uint32_t {
        if (!(v > 0.0f)) // NaN lands here too
            return 0;
        if (v >= 1.0f) return 0xFF;
        return static_cast<std::uint32_t>(v * 255.0f + 0.5f);
    };
    return (byte(c.a) << 24) | (byte(c.r) << 16) | (byte(c.g) << 8) | byte(c.b);
}
