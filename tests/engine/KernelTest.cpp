// Kernel weights, totals, symmetry and the large-size switch.
#include <gtest/gtest.h>

#include "Kernel.h"

namespace zelqor {
namespace {

TEST(Kernel, SmallRadiiRowByRow) {
    struct Case {
        int r;
        std::vector<std::int32_t> weights;
    } cases[] = {
        {0, {0}},
        {1, {0, 0, 0, 0, 7, 0, 0, 0, 0}},
        {2, {0, 0, 0, 0, 0, 0, 4, 7, 4, 0, 0, 7, 14, 7, 0, 0, 4, 7, 4, 0, 0, 0, 0, 0, 0}},
        {3, {0,  0, 0, 0, 0, 0,  0,  0,  1, 5, 7, 5, 1, 0, 0, 5, 11, 14, 11, 5, 0, 0, 7, 14, 21,
             14, 7, 0, 0, 5, 11, 14, 11, 5, 0, 0, 1, 5, 7, 5, 1, 0,  0,  0,  0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildKernel(c.r), c.weights) << "r=" << c.r;
    }
}

TEST(Kernel, Totals) {
    const std::pair<int, std::int64_t> totals[] = {
        {1, 7}, {2, 58}, {3, 193}, {10, 7326}, {83, 4191657}, {84, 4344980}, {664, 2146010260}};
    for (auto [r, total] : totals) {
        EXPECT_EQ(KernelTotal(BuildKernel(r)), total) << "r=" << r;
    }
    EXPECT_GT(KernelTotal(BuildKernel(665)), INT32_MAX);
}

TEST(Kernel, SymmetricAndPeakedAtCentre) {
    for (int r : {4, 7, 20}) {
        const auto k = BuildKernel(r);
        const int n = 2 * r + 1;
        auto at = [&](int dx, int dy) { return k[(dy + r) * n + (dx + r)]; };
        EXPECT_EQ(at(0, 0), 7 * r);
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                ASSERT_EQ(at(dx, dy), at(-dx, dy));
                ASSERT_EQ(at(dx, dy), at(dx, -dy));
                ASSERT_EQ(at(dx, dy), at(dy, dx));
                ASSERT_GE(at(dx, dy), 0);
            }
        }
        EXPECT_EQ(at(r, 0), 0) << "the rim itself is 0";
    }
}

TEST(Kernel, DistanceAndRectAround) {
    EXPECT_EQ(KernelDistance(0, -3, 7), 21);
    EXPECT_EQ(KernelDistance(-4, 0, 7), 28);
    EXPECT_EQ(KernelDistance(1, 1, 7), 10);   // 9.899 rounds up
    EXPECT_EQ(KernelDistance(2, -1, 7), 16);  // 15.65
    EXPECT_EQ(RectAround(5, 7, 3), (Rect{2, 4, 8, 10}));
}

TEST(Kernel, LargeSizeModeStartsAtRadius84) {
    EXPECT_FALSE(IsLargeSizeMode(1));
    EXPECT_FALSE(IsLargeSizeMode(83));
    EXPECT_TRUE(IsLargeSizeMode(84));
    EXPECT_TRUE(IsLargeSizeMode(200));
}

}  // namespace
}  // namespace zelqor
