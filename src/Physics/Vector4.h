#pragma once

#include <cmath>

namespace Physics {

// Four floats; w rides along and is never read by the engine's arithmetic.
struct Vector4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    constexpr Vector4() = default;
    constexpr Vector4(float x_, float y_, float z_, float w_ = 0.0f) : x(x_), y(y_), z(z_), w(w_) {}

    float& operator[](int i) { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
    float operator[](int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
};

inline Vector4 operator+(const Vector4& a, const Vector4& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w}; }
inline Vector4 operator-(const Vector4& a, const Vector4& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w}; }
inline Vector4 operator-(const Vector4& a) { return {-a.x, -a.y, -a.z, a.w}; }
inline Vector4 operator*(const Vector4& a, float s) { return {a.x * s, a.y * s, a.z * s, a.w}; }
inline Vector4 operator*(float s, const Vector4& a) { return a * s; }
inline Vector4& operator+=(Vector4& a, const Vector4& b) {
    a = a + b;
    return a;
}
inline Vector4& operator-=(Vector4& a, const Vector4& b) {
    a = a - b;
    return a;
}
inline Vector4& operator*=(Vector4& a, float s) {
    a = a * s;
    return a;
}

inline float Dot(const Vector4& a, const Vector4& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vector4 Cross(const Vector4& a, const Vector4& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f};
}
inline float LengthSquared(const Vector4& a) { return Dot(a, a); }
inline float Length(const Vector4& a) { return std::sqrt(Dot(a, a)); }

// Vectors shorter than 1e-3 carry no usable direction; they become zero.
inline Vector4 Normalize(const Vector4& a) {
    const float sq = LengthSquared(a);
    if (sq < 1e-6f) {
        return {0.0f, 0.0f, 0.0f, a.w};
    }
    return a * (1.0f / std::sqrt(sq));
}

inline bool AnyComponentAtLeast(const Vector4& a, float limit) {
    return std::fabs(a.x) >= limit || std::fabs(a.y) >= limit || std::fabs(a.z) >= limit;
}

inline bool AllBelow(const Vector4& v, float limit) {
    return std::fabs(v.x) < limit && std::fabs(v.y) < limit && std::fabs(v.z) < limit;
}

inline bool IsFinite(const Vector4& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A contact or hit normal the solver can use: finite and not (nearly) zero.
inline bool IsUsableNormal(const Vector4& n) { return IsFinite(n) && AnyComponentAtLeast(n, 1e-6f); }

} // namespace Physics
