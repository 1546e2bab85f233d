#pragma once
// Plain 2-, 3- and 4-component float vectors with D3DX semantics. They stay standard-layout and
// trivially copyable so records holding them can be read and written as bytes.

#include <cmath>
#include <type_traits>

struct Vec2 {
    float x = 0.0f, y = 0.0f;

    constexpr Vec2() = default;
    constexpr Vec2(float x_, float y_) : x(x_), y(y_) {}

    constexpr Vec2& operator+=(const Vec2& v) {
        x += v.x;
        y += v.y;
        return *this;
    }
    constexpr Vec2& operator-=(const Vec2& v) {
        x -= v.x;
        y -= v.y;
        return *this;
    }
    constexpr Vec2& operator*=(float s) {
        x *= s;
        y *= s;
        return *this;
    }
    constexpr Vec2& operator/=(float s) {
        x /= s;
        y /= s;
        return *this;
    }
};

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;

    constexpr Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    constexpr Vec3& operator+=(const Vec3& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    constexpr Vec3& operator-=(const Vec3& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    constexpr Vec3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    constexpr Vec3& operator/=(float s) {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }
};

struct Vec4 {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;

    constexpr Vec4() = default;
    constexpr Vec4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    constexpr Vec4(const Vec3& v, float w_) : x(v.x), y(v.y), z(v.z), w(w_) {}

    constexpr Vec4& operator+=(const Vec4& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        w += v.w;
        return *this;
    }
    constexpr Vec4& operator-=(const Vec4& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        w -= v.w;
        return *this;
    }
    constexpr Vec4& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        w *= s;
        return *this;
    }
    constexpr Vec4& operator/=(float s) {
        x /= s;
        y /= s;
        z /= s;
        w /= s;
        return *this;
    }
};

static_assert(std::is_standard_layout_v<Vec2> && std::is_trivially_copyable_v<Vec2> && sizeof(Vec2) == 8);
static_assert(std::is_standard_layout_v<Vec3> && std::is_trivially_copyable_v<Vec3> && sizeof(Vec3) == 12);
static_assert(std::is_standard_layout_v<Vec4> && std::is_trivially_copyable_v<Vec4> && sizeof(Vec4) == 16);

// ---- Vec2 ----
constexpr Vec2 operator+(Vec2 a, const Vec2& b) { return a += b; }
constexpr Vec2 operator-(Vec2 a, const Vec2& b) { return a -= b; }
constexpr Vec2 operator-(const Vec2& v) { return {-v.x, -v.y}; }
constexpr Vec2 operator*(Vec2 v, float s) { return v *= s; }
constexpr Vec2 operator*(float s, Vec2 v) { return v *= s; }
constexpr Vec2 operator/(Vec2 v, float s) { return v /= s; }
constexpr bool operator==(const Vec2& a, const Vec2& b) { return a.x == b.x && a.y == b.y; }

constexpr float Dot(const Vec2& a, const Vec2& b) { return a.x * b.x + a.y * b.y; }
constexpr float LengthSq(const Vec2& v) { return Dot(v, v); }
inline float Length(const Vec2& v) { return std::sqrt(LengthSq(v)); }
constexpr Vec2 Lerp(const Vec2& a, const Vec2& b, float s) { return a + s * (b - a); }

// A zero vector has no direction; it stays zero rather than turning into NaNs.
inline Vec2 Normalize(const Vec2& v) {
    const float len = Length(v);
    return len != 0.0f ? v / len : Vec2{};
}

// ---- Vec3 ----
constexpr Vec3 operator+(Vec3 a, const Vec3& b) { return a += b; }
constexpr Vec3 operator-(Vec3 a, const Vec3& b) { return a -= b; }
constexpr Vec3 operator-(const Vec3& v) { return {-v.x, -v.y, -v.z}; }
constexpr Vec3 operator*(Vec3 v, float s) { return v *= s; }
constexpr Vec3 operator*(float s, Vec3 v) { return v *= s; }
constexpr Vec3 operator/(Vec3 v, float s) { return v /= s; }
constexpr bool operator==(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

constexpr float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
constexpr float LengthSq(const Vec3& v) { return Dot(v, v); }
inline float Length(const Vec3& v) { return std::sqrt(LengthSq(v)); }
constexpr Vec3 Lerp(const Vec3& a, const Vec3& b, float s) { return a + s * (b - a); }

inline Vec3 Normalize(const Vec3& v) {
    const float len = Length(v);
    return len != 0.0f ? v / len : Vec3{};
}

// ---- Vec4 ----
constexpr Vec4 operator+(Vec4 a, const Vec4& b) { return a += b; }
constexpr Vec4 operator-(Vec4 a, const Vec4& b) { return a -= b; }
constexpr Vec4 operator-(const Vec4& v) { return {-v.x, -v.y, -v.z, -v.w}; }
constexpr Vec4 operator*(Vec4 v, float s) { return v *= s; }
constexpr Vec4 operator*(float s, Vec4 v) { return v *= s; }
constexpr Vec4 operator/(Vec4 v, float s) { return v /= s; }
constexpr bool operator==(const Vec4& a, const Vec4& b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }

constexpr float Dot(const Vec4& a, const Vec4& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
constexpr float LengthSq(const Vec4& v) { return Dot(v, v); }
inline float Length(const Vec4& v) { return std::sqrt(LengthSq(v)); }
constexpr Vec4 Lerp(const Vec4& a, const Vec4& b, float s) { return a + s * (b - a); }

inline Vec4 Normalize(const Vec4& v) {
    const float len = Length(v);
    return len != 0.0f ? v / len : Vec4{};
}
