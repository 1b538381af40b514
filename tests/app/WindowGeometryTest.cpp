// Fitting the window's frame to the screens present.
#include <gtest/gtest.h>

#include "WindowGeometry.h"

namespace zelqor {
namespace {

// A 1920 x 1080 screen at a scale factor of 2, and a 1280 x 1024 one to its right.
constexpr Rect kPrimary{0, 0, 960, 540};
constexpr Rect kSecond{960, 0, 2240, 1024};

TEST(WindowGeometry, FramesGoOnTheScreenTheyOverlapMostWhole) {
    const struct {
        const char* what;
        Rect frame;
        std::vector<Rect> screens;
        Rect fitted;
    } kCases[] = {
        {"fits as it is", {100, 10, 613, 500}, {kPrimary, kSecond}, {100, 10, 613, 500}},
        {"taller than the screen", {223, -22, 736, 563}, {kPrimary}, {223, 0, 736, 540}},
        {"title bar above the top", {100, -40, 600, 400}, {kPrimary}, {100, 0, 600, 440}},
        {"on a monitor that has gone", {2000, 100, 2500, 600}, {kPrimary}, {460, 40, 960, 540}},
        {"below the second screen's edge",
         {1000, 800, 1500, 1200},
         {kPrimary, kSecond},
         {1000, 624, 1500, 1024}},
        {"mostly on the second screen",
         {900, 100, 1400, 400},
         {kPrimary, kSecond},
         {960, 100, 1460, 400}},
        {"larger than either", {-50, -50, 3000, 2000}, {kPrimary, kSecond}, kSecond},
        {"left of every screen", {-900, 100, -400, 300}, {kPrimary, kSecond}, {0, 100, 500, 300}},
        {"below a top panel", {0, 0, 513, 585}, {{0, 27, 960, 540}}, {0, 27, 513, 540}},
        {"no screen known", {-900, 100, -400, 300}, {}, {-900, 100, -400, 300}},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FitOnScreens(c.frame, c.screens), c.fitted) << c.what;
    }
}

TEST(WindowGeometry, CentredAndShrunkToTheScreen) {
    EXPECT_EQ(CentredOn(513, 585, kPrimary), (Rect{223, 0, 736, 540}));
    EXPECT_EQ(CentredOn(285, 172, Rect{0, 0, 1920, 1080}), (Rect{817, 454, 1102, 626}));
    EXPECT_EQ(CentredOn(2000, 100, kSecond), (Rect{960, 462, 2240, 562}));
}

}  // namespace
}  // namespace zelqor
