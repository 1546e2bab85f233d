// The renderer's vertex is the device's full vertex layout.
#include <gtest/gtest.h>

#include "Platform/Device.h"
#include "Render/PVertex.h"

namespace {

TEST(VertexTest, StrideOfTheRendererVertexFormat) {
    EXPECT_EQ(Platform::FvfStride(Platform::kFvfVertex), sizeof(CPVertex));
}

} // namespace
