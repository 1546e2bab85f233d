#pragma once

#include <string>

// Small text and geometry helpers shared across the engine. Text helpers are ASCII only and do
// not depend on the process locale.

// True for tab, line feed, carriage return and space only.
bool IsSpace(char c);

// Removes blanks (see IsSpace) at both ends, in place.
void Trim(std::string& text);

// True when every character is '-', '.' or a digit; an empty text counts as a number.
bool IsNumber(const std::string& text);

// True when every character is '-' or a digit; an empty text counts as an integer.
bool IsInteger(const std::string& text);

// ASCII case conversion in place; bytes outside A-Z / a-z are left alone.
void ToLower(std::string& text);
void ToUpper(std::string& text);

// Arc cosine / arc sine with the argument clamped to [-1, 1], so rounding noise never gives NaN.
float SafeAcos(float x);
float SafeAsin(float x);

// Distance along dir (in multiples of its length) from origin to the plane a*x + b*y + c*z + d = 0.
// Answers -1 when the ray runs parallel to the plane or meets it from behind (dir . n >= 0).
float RayPlaneDistance(const float origin[3], const float dir[3], float a, float b, float c, float d);

// True when p, projected onto the coordinate plane the triangle PQR faces most, lies inside it.
bool IsPointInTriangle(const float p[3], const float P[3], const float Q[3], const float R[3]);
