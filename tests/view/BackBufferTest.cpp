#include <gtest/gtest.h>

#include <optional>

#include "view/BackBuffer.h"

// Partial frames build on the back buffer only where it is known to hold the frame before.
TEST(BackBuffer, KeepsTheLastFrameOnlyWhereTheDriverSaysSoOrTheSoftwareRendererCopiesIt) {
    struct Case {
        bool glx;
        std::optional<unsigned> age;
        const char* renderer;
        bool keeps;
    };
    const Case cases[] = {
        {true, 1u, "AMD Radeon", true},
        {true, 0u, "llvmpipe (LLVM 15.0.6, 256 bits)", false},  // the driver does not know
        {true, 2u, "AMD Radeon", false},                        // buffers taken in turn
        {true, std::nullopt, "llvmpipe (LLVM 15.0.6, 256 bits)", true},
        {true, std::nullopt, "softpipe", true},
        {true, std::nullopt, "Mesa Intel(R) UHD Graphics", false},
        {true, std::nullopt, nullptr, false},
        {false, std::nullopt, "llvmpipe (LLVM 15.0.6, 256 bits)", false},  // not GLX: not known
    };
    for (const Case& c : cases) {
        EXPECT_EQ(backBufferKeepsLastFrame(c.glx, c.age, c.renderer), c.keeps)
            << c.glx << " " << (c.age ? static_cast<int>(*c.age) : -1) << " "
            << (c.renderer ? c.renderer : "none");
    }
}
