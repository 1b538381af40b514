// A region of the full-size result against the same region of a real full-size run.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "ProcessingRun.h"
#include "RegionRun.h"
#include "TestImages.h"

namespace zelqor {
namespace {

WorkingBitmap FullSizeRun(const WorkingBitmap& src, const RunSettings& settings) {
    struct : RunObserver {
        bool Poll(int, int) override { return false; }
    } quiet;
    WorkingBitmap out;
    ProcessingRun().MakeProcessedImage(src, std::max(src.Width(), src.Height()), Rect{}, settings,
                                       out, quiet);
    return out;
}

WorkingBitmap Crop(const WorkingBitmap& image, const Rect& r) {
    return test_images::Crop(image, r.left, r.top, r.Width(), r.Height());
}

// Noise with a hard-edged bright block, so that a window cut wrongly at the region's edge
// shows in the level.
WorkingBitmap Scene(int w, int h, unsigned seed) {
    WorkingBitmap b = test_images::Noise(w, h, seed);
    for (int y = h / 3; y < h / 2; ++y) {
        for (int x = w / 4; x < w / 2; ++x) {
            b.SetPixel(x, y, MakePixel(255, 250, 240, 7));
        }
    }
    return b;
}

TEST(RegionRunTest, EqualsTheFullSizeRunAtTheCentreEveryEdgeAndCorner) {
    FastAdaptationOptions tiles, direct;
    tiles.fftTileSide = 100;  // a few exact columns per tile: the region spans several
    direct.path = LevelSumPath::Direct;
    const ToneParams strong{10, 100, 58, false};
    const struct {
        int width, height, divisor;
        ToneParams params;
        FastAdaptationOptions options;
        int threads;
    } cases[] = {
        {180, 120, 30, {}, {}, 1},        // r = 6, direct
        {180, 120, 18, strong, {}, 2},    // r = 10, no luminance
        {180, 120, 4, {}, {}, 2},         // r = 45, transform tiles
        {180, 120, 4, strong, tiles, 1},  // many small tiles
        {180, 120, 4, {}, direct, 1},     // a large radius summed directly
        {300, 40, 3, {}, {}, 2},          // r = 100, past the height
        {60, 200, 10, {}, {}, 1},         // r = 20, tall
    };
    for (const auto& c : cases) {
        const WorkingBitmap src = Scene(c.width, c.height, 17);
        const RunSettings settings{c.params, c.divisor};
        const WorkingBitmap full = FullSizeRun(src, settings);
        std::vector<Rect> regions = {
            {0, 0, c.width, c.height},
            {c.width / 3, c.height / 3, c.width / 3 + 1, c.height / 3 + 1}};
        // 40 x 30 at each corner, at the middle of each edge and at the centre.
        for (const int left : {0, (c.width - 40) / 2, c.width - 40}) {
            for (const int top : {0, (c.height - 30) / 2, c.height - 30}) {
                regions.push_back({left, top, left + 40, top + 30});
            }
        }
        for (const Rect& r : regions) {
            WorkingBitmap out;
            ASSERT_TRUE(ProcessRegion(src, r, settings, out, c.threads, nullptr, c.options));
            EXPECT_EQ(out, Crop(full, r)) << c.width << "x" << c.height << " /" << c.divisor
                                          << " at " << r.left << "," << r.top;
        }
    }
}

TEST(RegionRunTest, ReadsOnlyTheSourceWithinTheRadiusOfTheRegion) {
    // r = 45; the region's reach ends 45 pixels out, and beyond it anything may change.
    for (const LevelSumPath path : {LevelSumPath::Direct, LevelSumPath::FftTiles}) {
        WorkingBitmap src = Scene(400, 300, 3);
        const RunSettings settings{{}, 9};
        const Rect region{150, 120, 230, 170};
        FastAdaptationOptions options;
        options.path = path;
        WorkingBitmap before;
        ProcessRegion(src, region, settings, before, 1, nullptr, options);
        for (int y = 0; y < src.Height(); ++y) {
            for (int x = 0; x < src.Width(); ++x) {
                const bool reached = x >= region.left - 45 && x < region.right + 45 &&
                                     y >= region.top - 45 && y < region.bottom + 45;
                if (!reached) {
                    src.SetPixel(x, y, MakePixel(255, 255, 255));
                }
            }
        }
        WorkingBitmap after;
        ProcessRegion(src, region, settings, after, 1, nullptr, options);
        EXPECT_EQ(after, before) << static_cast<int>(path);
        EXPECT_EQ(after, Crop(FullSizeRun(src, settings), region)) << static_cast<int>(path);
    }
}

TEST(RegionRunTest, RefusesARegionOutsideTheSourceAndStopsOnCancel) {
    const WorkingBitmap src = Scene(80, 60, 5);
    WorkingBitmap out(3, 3);
    for (const Rect bad :
         {Rect{-1, 0, 10, 10}, Rect{0, 0, 81, 10}, Rect{0, 50, 10, 61}, Rect{20, 0, 10, 10}}) {
        EXPECT_THROW(ProcessRegion(src, bad, RunSettings{}, out), std::invalid_argument);
        EXPECT_EQ(out, WorkingBitmap(3, 3)) << "left alone";
    }
    EXPECT_THROW(ProcessRegion(src, Rect{0, 0, 8, 8}, RunSettings{{}, 0}, out),
                 std::invalid_argument);
    EXPECT_TRUE(ProcessRegion(src, Rect{10, 10, 10, 40}, RunSettings{}, out));
    EXPECT_FALSE(out.HoldsImage());
    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(ProcessRegion(src, Rect{0, 0, 80, 60}, RunSettings{}, out, 2, &cancel));
}

}  // namespace
}  // namespace zelqor
