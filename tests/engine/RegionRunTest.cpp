// A region of the full-size result against the same region of a real full-size run.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

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
    WorkingBitmap out(r.Width(), r.Height());
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            out.SetPixel(x - r.left, y - r.top, image.Pixel(x, y));
        }
    }
    return out;
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

// A 40 x 30 rectangle at a corner, an edge or the centre: column and row each 0 (left, top),
// 1 (centre) or 2 (right, bottom).
Rect At(int column, int row, int w, int h) {
    const int left = column == 0 ? 0 : column == 1 ? (w - 40) / 2 : w - 40;
    const int top = row == 0 ? 0 : row == 1 ? (h - 30) / 2 : h - 30;
    return Rect{left, top, left + 40, top + 30};
}

struct Case {
    const char* name;
    int width;
    int height;
    int divisor;
    ToneParams params;
    FastAdaptationOptions options;
    int threads;
};

TEST(RegionRunTest, EqualsTheFullSizeRunAtTheCentreEveryEdgeAndCorner) {
    FastAdaptationOptions tiles;
    tiles.fftTileSide = 100;  // a few exact columns per tile: the region spans several
    FastAdaptationOptions direct;
    direct.path = LevelSumPath::Direct;
    const ToneParams strong{10, 100, 58, false};
    const Case cases[] = {
        {"small radius, direct", 180, 120, 30, {}, {}, 1},            // r = 6
        {"small radius, no luminance", 180, 120, 18, strong, {}, 2},  // r = 10
        {"large radius, transform tiles", 180, 120, 4, {}, {}, 2},    // r = 45
        {"large radius, many small tiles", 180, 120, 4, strong, tiles, 1},
        {"large radius summed directly", 180, 120, 4, {}, direct, 1},
        {"radius past the height", 300, 40, 3, {}, {}, 2},  // r = 100
        {"tall image", 60, 200, 10, {}, {}, 1},             // r = 20
    };
    for (const Case& c : cases) {
        const WorkingBitmap src = Scene(c.width, c.height, 17);
        const RunSettings settings{c.params, c.divisor};
        const WorkingBitmap full = FullSizeRun(src, settings);
        std::vector<std::pair<std::string, Rect>> regions = {
            {"whole", Rect{0, 0, c.width, c.height}},
            {"one pixel", Rect{c.width / 3, c.height / 3, c.width / 3 + 1, c.height / 3 + 1}},
            {"one row", Rect{0, c.height - 1, c.width, c.height}},
        };
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                regions.emplace_back("at " + std::to_string(column) + "," + std::to_string(row),
                                     At(column, row, c.width, c.height));
            }
        }
        for (const auto& [where, region] : regions) {
            WorkingBitmap out;
            ASSERT_TRUE(ProcessRegion(src, region, settings, out, c.threads, nullptr, c.options));
            EXPECT_EQ(out, Crop(full, region)) << c.name << ", " << where;
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
