// Vertex layouts and primitive counts of the device layer.
#include <gtest/gtest.h>

#include "Platform/Device.h"

using namespace Platform;

namespace {

TEST(DeviceFormatTest, StrideOfEachVertexFormat) {
    struct Case {
        uint32_t fvf;
        uint32_t stride;
    };
    const Case cases[] = {
        {kFvfVertex, 48},
        {kFvfScreen, 28},
        {FvfXyz, 12},
        {FvfXyz | FvfDiffuse, 16},
        {FvfXyzRhw | FvfDiffuse | FvfSpecular | FvfTex2, 40},
        {FvfNormal | FvfDiffuse, 0},     // no position
        {FvfXyz | FvfXyzRhw, 0},         // two positions
        {FvfXyz | FvfTex1 | FvfTex2, 0}, // two texture counts
        {FvfXyz | 0x8000, 0},            // a bit this layer does not know
    };
    for (const Case& c : cases) EXPECT_EQ(FvfStride(c.fvf), c.stride) << std::hex << c.fvf;
}

TEST(DeviceFormatTest, VerticesPerPrimitiveCount) {
    struct Case {
        PrimitiveType type;
        uint32_t primitives, vertices;
    };
    const Case cases[] = {
        {PrimitiveType::TriangleStrip, 2, 4}, {PrimitiveType::TriangleList, 2, 6}, {PrimitiveType::TriangleFan, 3, 5},
        {PrimitiveType::LineList, 3, 6},      {PrimitiveType::LineStrip, 3, 4},    {PrimitiveType::PointList, 7, 7},
        {PrimitiveType::TriangleStrip, 0, 0}, {PrimitiveType::LineStrip, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrimitiveVertexCount(c.type, c.primitives), c.vertices) << static_cast<int>(c.type);
}

} // namespace
