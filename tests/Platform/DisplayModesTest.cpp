#include "Platform/DisplayModes.h"

#include <gtest/gtest.h>

namespace {

using Platform::DisplayMode;
using Modes = std::vector<DisplayMode>;

// Written {height, width, bits} like the record.
struct Case {
    const char* name;
    Modes largestFirst;
    Modes offered;
};

TEST(DisplayModes, OrderAndFilter) {
    const Case cases[] = {
        {"empty", {}, {}},
        {"nothing large enough", {{600, 800, 32}, {480, 640, 32}}, {}},
        {"smallest first",
         {{1080, 1920, 32}, {1024, 1280, 32}, {768, 1024, 32}},
         {{768, 1024, 32}, {1024, 1280, 32}, {1080, 1920, 32}}},
        {"refresh rates of one size listed once",
         {{1080, 1920, 32}, {1080, 1920, 32}, {768, 1024, 32}, {768, 1024, 32}},
         {{768, 1024, 32}, {1080, 1920, 32}}},
        {"other pixel formats count as 32 bits",
         {{768, 1024, 32}, {768, 1024, 24}, {768, 1024, 16}},
         {{768, 1024, 32}}},
        {"wide but short and tall but narrow are left out",
         {{720, 1280, 32}, {768, 1024, 32}, {1024, 1000, 32}, {600, 1024, 32}},
         {{768, 1024, 32}}},
        {"a size that comes back later is listed again",
         {{768, 1024, 32}, {1024, 1280, 32}, {768, 1024, 32}},
         {{768, 1024, 32}, {1024, 1280, 32}, {768, 1024, 32}}},
        {"duplicates only equal after a skipped mode are still dropped",
         {{768, 1024, 32}, {600, 800, 32}, {768, 1024, 32}},
         {{768, 1024, 32}}},
    };
    for (const Case& c : cases) EXPECT_EQ(Platform::OrderDisplayModes(c.largestFirst), c.offered) << c.name;
}

} // namespace
