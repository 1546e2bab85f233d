#pragma once
// The one vertex layout of the renderer (vertex format 0x2D2), and 16-bit indices.
#include <cstdint>
#include <type_traits>

#include "Core/Math/Vector.h"

struct CPVertex {
    Vec3 position;
    Vec3 normal;
    uint32_t diffuse = 0;  // 0xAARRGGBB
    uint32_t specular = 0; // 0xAARRGGBB
    float tu = 0, tv = 0;
    float tu2 = 0, tv2 = 0;
};
static_assert(sizeof(CPVertex) == 48 && std::is_trivially_copyable_v<CPVertex>);

using CPIndex = uint16_t;
