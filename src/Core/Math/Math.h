#pragma once
// Everything of the math layer in one include.

#include "Core/Math/Color.h"
#include "Core/Math/Mat4.h"
#include "Core/Math/Plane.h"
#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"

inline constexpr float MathPi = 3.14159265358979323846f;

constexpr float ToRadian(float degrees) { return degrees * (MathPi / 180.0f); }
constexpr float ToDegree(float radians) { return radians * (180.0f / MathPi); }
