#pragma once
// Engine matrices and light records handed to the device: the layouts are the same bytes.
#include <cstring>

#include "Core/Math/Mat4.h"
#include "Platform/Device.h"
#include "Render/PLight.h"

static_assert(sizeof(Mat4) == sizeof(Platform::Matrix));
static_assert(sizeof(LightRecord) == sizeof(Platform::Light));

inline Platform::Matrix ToDeviceMatrix(const Mat4& m) {
    Platform::Matrix out;
    std::memcpy(out.m, &m.m[0][0], sizeof out.m);
    return out;
}

inline Mat4 FromDeviceMatrix(const Platform::Matrix& m) {
    Mat4 out;
    std::memcpy(&out.m[0][0], m.m, sizeof m.m);
    return out;
}

inline Platform::Light ToDeviceLight(const LightRecord& light) {
    Platform::Light out;
    std::memcpy(static_cast<void*>(&out), &light, sizeof out);
    return out;
}
