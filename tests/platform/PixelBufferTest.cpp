// Pixel storage: large buffers given back leave no address space behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "PixelBuffer.h"

namespace zelqor {
namespace {

// The bytes of address space the process has mapped, from its own map list.
std::uint64_t MappedBytes() {
    std::ifstream maps("/proc/self/maps");
    std::uint64_t total = 0;
    std::string line;
    while (std::getline(maps, line)) {
        std::uint64_t from = 0, to = 0;
        char dash = 0;
        std::istringstream(line) >> std::hex >> from >> dash >> to;
        total += to - from;
    }
    return total;
}

TEST(PixelBufferTest, BuffersFreedLeaveNoMappingBehind) {
    // Pixel counts whose byte sizes are and are not whole pages (6000 x 4000 x 4 is not).
    const struct {
        std::size_t pixels;
        const char* what;
    } kCases[] = {
        {6000 * 4000, "a 24 MP photo"},
        {4096 * 1024, "a whole number of pages"},
        {2049 * 1025 + 3, "an odd size"},
    };
    constexpr int kRounds = 300;
    for (const auto& c : kCases) {
        {
            const PixelBuffer warmUp(c.pixels, false);  // the allocator's own first mappings
        }
        const std::uint64_t before = MappedBytes();
        for (int i = 0; i < kRounds; ++i) {
            PixelBuffer buffer(c.pixels, false);
            buffer.data()[c.pixels - 1] = 1;
        }
        // A 2 MB tail left per buffer would add 600 MB here.
        EXPECT_LT(MappedBytes(), before + (std::uint64_t{16} << 20)) << c.what;
    }
}

}  // namespace
}  // namespace zelqor
