// Fitting the window's frame to the screens present.
#include <gtest/gtest.h>

#include "WindowGeometry.h"

namespace zelqor {
namespace {

// A 1920 x 1080 screen at a scale factor of 2, and a 1280 x 1024 one to its right.
constexpr Rect kPrimary{0, 0, 960, 540};
constexpr Rect kSecond{960, 0, 2240, 1024};

TEST(WindowGeometry, FramesGoWholeOnTheScreenTheyOverlapMost) {
    const std::vector<Rect> both = {kPrimary, kSecond}, primary = {kPrimary}, none;
    const struct {
        Rect frame;
        const std::vector<Rect>& screens;
        Rect fitted;
    } kCases[] = {
        {{100, 10, 613, 500}, both, {100, 10, 613, 500}},        // fits as it is
        {{223, -22, 736, 563}, primary, {223, 0, 736, 540}},     // taller, title bar above the top
        {{2000, 100, 2500, 600}, primary, {460, 40, 960, 540}},  // on a monitor that has gone
        {{1000, 800, 1500, 1200}, both, {1000, 624, 1500, 1024}},  // below the second's edge
        {{900, 100, 1400, 400}, both, {960, 100, 1460, 400}},      // mostly on the second
        {{-50, -50, 3000, 2000}, both, kSecond},                   // larger than either
        {{-900, 100, -400, 300}, both, {0, 100, 500, 300}},        // on none: the primary
        {{-900, 100, -400, 300}, none, {-900, 100, -400, 300}},    // no screen known
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FitOnScreens(c.frame, c.screens), c.fitted) << c.frame.left << "," << c.frame.top;
    }
    EXPECT_EQ(CentredOn(513, 585, kPrimary), (Rect{223, 0, 736, 540}));
    EXPECT_EQ(CentredOn(285, 172, Rect{0, 27, 1920, 1080}), (Rect{817, 467, 1102, 639}));
}

}  // namespace
}  // namespace zelqor
