#include "Core/PUtils.h"

#include <algorithm>
#include <cmath>

bool IsSpace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

void Trim(std::string& text) {
    size_t end = text.size();
    while (end > 0 && IsSpace(text[end - 1])) --end;
    size_t begin = 0;
    while (begin < end && IsSpace(text[begin])) ++begin;
    text.erase(end);
    text.erase(0, begin);
}

bool IsNumber(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '-' || c == '.' || (c >= '0' && c <= '9'); });
}

bool IsInteger(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '-' || (c >= '0' && c <= '9'); });
}

void ToLower(std::string& text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

void ToUpper(std::string& text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

float SafeAcos(float x) { return static_cast<float>(std::acos(std::clamp(static_cast<double>(x), -1.0, 1.0))); }

float SafeAsin(float x) { return static_cast<float>(std::asin(std::clamp(static_cast<double>(x), -1.0, 1.0))); }

float RayPlaneDistance(const float origin[3], const float dir[3], float a, float b, float c, float d) {
    const float denominator = dir[0] * a + dir[1] * b + dir[2] * c;
    if (denominator >= 0.0f) return -1.0f;
    return -(a * origin[0] + b * origin[1] + c * origin[2] + d) / denominator;
}

bool IsPointInTriangle(const float p[3], const float P[3], const float Q[3], const float R[3]) {
    const float e1[3] = {P[0] - Q[0], P[1] - Q[1], P[2] - Q[2]};
    const float e2[3] = {R[0] - Q[0], R[1] - Q[1], R[2] - Q[2]};
    const float nx = std::fabs(e1[1] * e2[2] - e1[2] * e2[1]);
    const float ny = std::fabs(e1[2] * e2[0] - e1[0] * e2[2]);
    const float nz = std::fabs(e1[0] * e2[1] - e1[1] * e2[0]);

    int u, v; // first and second axis of the projection plane
    if (nz >= nx && nz >= ny) {
        u = 0;
        v = 1;
    } else if (ny >= nz && ny >= nx) {
        u = 0;
        v = 2;
    } else if (nx >= nz && nx >= ny) {
        u = 1;
        v = 2;
    } else {
        return false; // a NaN normal has no ordering
    }

    const float* corners[3] = {P, Q, R};
    int crossings = 0;
    for (int i = 0; i < 3; ++i) {
        const float* s = corners[i];
        const float* e = corners[(i + 1) % 3];
        const float lo = std::min(s[u], e[u]);
        const float hi = std::max(s[u], e[u]);
        if (p[u] < lo || p[u] > hi) continue;
        // A vertical edge is only reached with p[u] on it, where its infinite (or NaN) slope times
        // zero gives NaN and the comparison is false: such an edge is never counted.
        const float slope = (e[v] - s[v]) / (e[u] - s[u]);
        const float onEdge = s[v] + slope * (p[u] - s[u]);
        if (p[v] <= onEdge) ++crossings;
    }
    return crossings == 1;
}
