// Target sizes, resampling, run texts and the two-worker run against the literal adaptation.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "FastAdaptation.h"
#include "Kernel.h"
#include "ProcessingRun.h"
#include "ScaleBitmap.h"
#include "TestImages.h"
#include "ThreadStarters.h"

namespace zelqor {
namespace {

using test_images::Noise;
using test_threads::CountingStarter;
using test_threads::StartFailureCases;

class CountingObserver : public RunObserver {
  public:
    explicit CountingObserver(int cancelAfterPolls = -1) : cancelAfter_(cancelAfterPolls) {}
    void LargeSizeNotice() override { ++notices; }
    bool Poll(int claimed, int count) override {
        EXPECT_LE(claimed, count);
        EXPECT_GE(claimed, lastClaimed) << "rows are claimed in increasing order";
        lastClaimed = claimed;
        const int n = std::atomic_ref<int>(polls).fetch_add(1) + 1;
        return cancelAfter_ >= 0 && n > cancelAfter_;
    }
    int notices = 0;
    int polls = 0;
    int lastClaimed = 0;

  private:
    int cancelAfter_;
};

TEST(RunTargetSize, LongSideAndRounding) {
    const Rect none{};
    struct Case {
        int w, h, n;
        Size out;
    } cases[] = {
        {3000, 2000, 600, {600, 400}},   {2000, 3000, 600, {400, 600}},
        {1000, 1000, 600, {600, 600}},   {1024, 683, 600, {600, 400}},
        {1200, 800, 1800, {1800, 1200}}, {3000, 2000, 3000, {3000, 2000}},
        {5000, 1, 600, {600, 0}},        {40000, 30000, 1200, {1200, 900}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunTargetSize(c.w, c.h, c.n, none), c.out) << c.w << "x" << c.h << " " << c.n;
    }
    EXPECT_EQ(RunTargetSize(3000, 2000, 0, Rect{0, 0, 500, 400}), (Size{500, 333}));
    EXPECT_EQ(RunTargetSize(3000, 2000, -1, Rect{}), (Size{0, 0}));
}

TEST(FitRect, CentredInTarget) {
    struct Case {
        Rect target;
        int w, h;
        Rect out;
    } cases[] = {
        {{0, 0, 500, 400}, 3000, 2000, {0, 33, 500, 366}},
        {{0, 0, 500, 400}, 2000, 3000, {116, 0, 383, 400}},
        {{0, 0, 500, 400}, 0, 0, {}},
        {{0, 0, 0, 400}, 3000, 2000, {}},
        {{10, 10, 10, 20}, 3000, 2000, {}},
        {{100, 50, 600, 450}, 500, 400, {0, 0, 500, 400}},  // the target's corner is not added
        {{0, 0, 500, 400}, 5, 4, {0, 0, 500, 400}},         // equal ratios take the height branch
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitRect(c.target, c.w, c.h), c.out) << c.w << "x" << c.h;
    }
}

TEST(ScaleBitmap, SameSizeIsExactAndZeroIsEmpty) {
    const WorkingBitmap src = Noise(37, 23, 4);
    EXPECT_EQ(ScaleBitmap(src, 37, 23), src);
    EXPECT_FALSE(ScaleBitmap(src, 0, 10).HoldsImage());
    EXPECT_FALSE(ScaleBitmap(WorkingBitmap{}, 10, 10).HoldsImage());
}

// A region is the same bytes as that part of the whole, on every kind of axis and at the edges,
// and whether it is split over threads or not.
TEST(ScaleBitmap, RegionIsThatPartOfTheWhole) {
    const WorkingBitmap src = Noise(301, 157, 9);
    struct Case {
        const char* name;
        Size size;
        Rect region;
    } cases[] = {
        {"shrink, middle", {75, 39}, {10, 7, 60, 30}},
        {"strong shrink, bottom-right pixel", {19, 10}, {18, 9, 19, 10}},
        {"grow", {900, 470}, {450, 200, 580, 331}},
        {"shrink across, grow down", {100, 400}, {33, 390, 100, 400}},
        {"clipped to the scaled size", {75, 39}, {60, -5, 90, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WorkingBitmap whole = ScaleBitmap(src, c.size.width, c.size.height);
        const Rect r{std::max(c.region.left, 0), std::max(c.region.top, 0),
                     std::min(c.region.right, c.size.width),
                     std::min(c.region.bottom, c.size.height)};
        for (int threads : {1, 2}) {
            const WorkingBitmap part =
                ScaleBitmapRegion(src, c.size.width, c.size.height, c.region, threads);
            ASSERT_EQ(part.Width(), r.Width());
            ASSERT_EQ(part.Height(), r.Height());
            for (int y = 0; y < part.Height(); ++y) {
                for (int x = 0; x < part.Width(); ++x) {
                    ASSERT_EQ(part.Pixel(x, y), whole.Pixel(x + r.left, y + r.top))
                        << x << "," << y;
                }
            }
        }
    }
    EXPECT_FALSE(ScaleBitmapRegion(src, 75, 39, Rect{80, 0, 90, 10}).HoldsImage());
    EXPECT_FALSE(ScaleBitmapRegion(WorkingBitmap{}, 75, 39, Rect{0, 0, 10, 10}).HoldsImage());
}

TEST(ScaleBitmap, AreaAveragingAndEnlargement) {
    // A 2x2 checker of black and white halves to mid grey; uniform stays uniform either way.
    WorkingBitmap checker(64, 48);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            checker.SetPixel(x, y, ((x ^ y) & 1) ? MakePixel(255, 255, 255, 255) : 0u);
        }
    }
    const WorkingBitmap half = ScaleBitmap(checker, 32, 24);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(half.Pixel(x, y), MakePixel(128, 128, 128, 128)) << x << "," << y;
        }
    }
    WorkingBitmap flat(7, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            flat.SetPixel(x, y, MakePixel(10, 200, 77, 3));
        }
    }
    for (Size s : {Size{3, 2}, Size{20, 13}, Size{7, 11}, Size{1, 1}, Size{700, 1}}) {
        const WorkingBitmap out = ScaleBitmap(flat, s.width, s.height);
        ASSERT_EQ(out.Width(), s.width);
        for (int y = 0; y < s.height; ++y) {
            for (int x = 0; x < s.width; ++x) {
                ASSERT_EQ(out.Pixel(x, y), MakePixel(10, 200, 77, 3));
            }
        }
    }
    // A horizontal ramp stays monotone when enlarged.
    WorkingBitmap ramp(4, 1);
    for (int x = 0; x < 4; ++x) {
        ramp.SetPixel(x, 0, MakePixel(x * 80, 0, 0));
    }
    const WorkingBitmap wide = ScaleBitmap(ramp, 16, 3);
    for (int x = 1; x < 16; ++x) {
        EXPECT_GE(PixelR(wide.Pixel(x, 1)), PixelR(wide.Pixel(x - 1, 1)));
    }
    EXPECT_EQ(PixelR(wide.Pixel(0, 0)), 0);
    EXPECT_EQ(PixelR(wide.Pixel(15, 0)), 240);
}

// The resampler's weights and roundings written out plainly, one output byte at a time: the
// oracle that keeps the fast passes bit for bit where they were.
using Taps = std::vector<std::pair<int, std::int32_t>>;  // source index, weight in 1/2^14

std::vector<Taps> ReferenceAxis(int src, int dst) {
    constexpr std::int32_t one = 1 << 14;
    std::vector<Taps> axis(dst);
    for (int i = 0; i < dst; ++i) {
        Taps& taps = axis[i];
        if (src == dst) {
            taps.push_back({i, one});
        } else if (dst < src) {
            const std::int64_t lo = static_cast<std::int64_t>(i) * src, hi = lo + src;
            for (int j = static_cast<int>(lo / dst); j <= (hi - 1) / dst; ++j) {
                const std::int64_t overlap = std::min<std::int64_t>(hi, (j + 1LL) * dst) -
                                             std::max<std::int64_t>(lo, std::int64_t{j} * dst);
                taps.push_back({j, static_cast<std::int32_t>((overlap * one + src / 2) / src)});
            }
            // The rounding error goes to the first of the largest weights.
            std::int32_t sum = 0;
            std::size_t largest = 0;
            for (std::size_t k = 0; k < taps.size(); ++k) {
                sum += taps[k].second;
                largest = taps[k].second > taps[largest].second ? k : largest;
            }
            taps[largest].second += one - sum;
        } else {
            const double pos =
                std::clamp((i + 0.5) * src / dst - 0.5, 0.0, static_cast<double>(src - 1));
            const int j0 = std::min(static_cast<int>(pos), std::max(src - 2, 0));
            const auto w1 = src == 1 ? 0 : static_cast<std::int32_t>(std::lround((pos - j0) * one));
            taps.push_back({j0, one - w1});
            if (src > 1) {
                taps.push_back({j0 + 1, w1});
            }
        }
    }
    return axis;
}

WorkingBitmap ReferenceScale(const WorkingBitmap& src, int width, int height) {
    const std::vector<Taps> ax = ReferenceAxis(src.Width(), width);
    const std::vector<Taps> ay = ReferenceAxis(src.Height(), height);
    WorkingBitmap out(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                std::int64_t acc = 0;
                for (const auto& [sy, wy] : ay[y]) {
                    std::int64_t row = 0;  // the horizontal pass keeps the value times 256
                    for (const auto& [sx, wx] : ax[x]) {
                        row += std::int64_t{wx} * src.Row(sy)[4 * sx + c];
                    }
                    acc += wy * ((row + 32) >> 6);
                }
                out.Row(y)[4 * x + c] = static_cast<std::uint8_t>(
                    std::clamp<std::int64_t>((acc + (1 << 21)) >> 22, 0, 255));
            }
        }
    }
    return out;
}

TEST(ScaleBitmap, EqualsThePlainReferenceBitForBit) {
    struct Case {
        int srcW, srcH, w, h;
    } cases[] = {
        {64, 48, 32, 24},    {640, 480, 213, 159}, {101, 77, 37, 29}, {7, 5, 20, 13},
        {3, 3, 200, 100},    {1, 1, 5, 5},         {100, 30, 37, 90}, {30, 100, 90, 37},
        {50, 200, 50, 33},   {200, 50, 33, 50},    {100, 80, 1, 1},   {100, 80, 1, 80},
        {100, 80, 100, 1},   {1, 100, 1, 7},       {5, 1, 1, 1},      {3, 7, 1, 3},
        {2, 10, 1, 3},       {2, 2, 3, 3},         {3, 3, 2, 2},      {9, 9, 4, 4},
        {6000, 7, 7, 3},     {6000, 20, 1, 20},    {40, 6000, 20, 7}, {6000, 4, 7, 7},
        {20000, 3, 1, 2},    {1023, 67, 997, 40},  {17, 3, 16, 64},   {640, 33, 641, 17},
        {1000, 40, 999, 41}, {4, 40, 3, 40},
    };
    unsigned seed = 11;
    for (const Case& c : cases) {
        // Random bytes, and bytes of only 0 and 255, which drive the sums to their extremes.
        WorkingBitmap extreme = Noise(c.srcW, c.srcH, seed++);
        for (int y = 0; y < c.srcH; ++y) {
            for (int x = 0; x < c.srcW; ++x) {
                extreme.SetPixel(x, y, (extreme.Pixel(x, y) & 0x01010101u) * 255u);
            }
        }
        for (const WorkingBitmap& src : {Noise(c.srcW, c.srcH, seed++), extreme}) {
            const WorkingBitmap want = ReferenceScale(src, c.w, c.h);
            for (int threads : {1, 2, 3}) {
                const WorkingBitmap got = ScaleBitmap(src, c.w, c.h, threads);
                ASSERT_EQ(got.Width(), c.w);
                ASSERT_EQ(got.Height(), c.h);
                for (int y = 0; y < c.h; ++y) {
                    for (int x = 0; x < c.w; ++x) {
                        ASSERT_EQ(got.Pixel(x, y), want.Pixel(x, y))
                            << c.srcW << "x" << c.srcH << " to " << c.w << "x" << c.h << ", "
                            << threads << " threads, at " << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST(ScaleBitmap, BandWhoseThreadCannotStartIsScaledAnyway) {
    const WorkingBitmap src = Noise(50, 90, 18);
    const WorkingBitmap want = ReferenceScale(src, 33, 70);
    for (const auto& failures : StartFailureCases(1)) {
        CountingStarter starts(failures.fails);
        EXPECT_EQ(ScaleBitmap(src, 33, 70, 3, starts.Starter()), want) << failures.name;
    }
}

struct EngineCase {
    RunEngine engine;
    const char* name;
};

void PrintTo(const EngineCase& c, std::ostream* os) {
    *os << c.name;
}

class ProcessingRunTest : public ::testing::TestWithParam<EngineCase> {};

TEST_P(ProcessingRunTest, OutputEqualsLiteralAdaptation) {
    const WorkingBitmap src = Noise(90, 61, 7);
    for (int divisor : {50, 200, 800}) {
        for (bool lum : {true, false}) {
            RunSettings settings;
            settings.divisor = divisor;
            settings.params.luminance = lum;
            settings.params.hdrStrength = 9;
            ProcessingRun run;
            run.SetEngine(GetParam().engine);
            CountingObserver observer;
            WorkingBitmap dst;
            const RunOutcome out = run.ProcessBitmap(dst, src, settings, observer);
            const int r = CalcRadius(src, divisor);
            WorkingBitmap expected;
            AdaptBitmapLiteral(src, expected, r, settings.params, AdaptVariant::Normal);
            EXPECT_EQ(dst, expected) << "divisor " << divisor << " lum " << lum;
            EXPECT_EQ(out.radius, r);
            EXPECT_FALSE(out.cancelled);
            EXPECT_EQ(out.width, 90);
            EXPECT_EQ(out.height, 61);
            EXPECT_EQ(out.rowsClaimed, 61);
            EXPECT_EQ(out.rowCount, 61);
        }
    }
}

TEST_P(ProcessingRunTest, LargeSizeNoticeFromRadius84) {
    for (auto [width, notices] : {std::pair{4150, 0}, {4200, 1}}) {
        const WorkingBitmap src = Noise(width, 2, 8);
        RunSettings settings;
        settings.divisor = 50;
        ProcessingRun run;
        run.SetEngine(GetParam().engine);
        CountingObserver observer;
        WorkingBitmap dst;
        const RunOutcome out = run.ProcessBitmap(dst, src, settings, observer);
        EXPECT_EQ(observer.notices, notices);
        EXPECT_EQ(out.largeSizeMode, notices == 1);
        // A white and a random pixel far from the edges agree with the literal variant in use.
        const std::vector<std::int32_t> kernel = BuildKernel(out.radius);
        const AdaptState st{&src, kernel, out.radius, settings.params};
        const AdaptVariant v = notices ? AdaptVariant::Large : AdaptVariant::Normal;
        for (int x : {0, 1000, width - 1}) {
            EXPECT_EQ(dst.Pixel(x, 1), AdaptPixelWith(v, out.radius, x, 1, st)) << x;
        }
    }
}

TEST_P(ProcessingRunTest, CancelKeepsProcessedRowsAboveAndScaledCopyBelow) {
    const WorkingBitmap src = Noise(1500, 1000, 9);
    RunSettings settings;
    settings.divisor = 50;  // r = 30
    ProcessingRun run;
    run.SetEngine(GetParam().engine);
    CountingObserver observer(0);
    WorkingBitmap dst;
    const RunOutcome out = run.ProcessBitmap(dst, src, settings, observer);
    // The first poll asks to cancel; workers fast enough to finish before it leave nothing to
    // cancel, and the rows below must then all be processed.
    EXPECT_EQ(out.cancelled, observer.polls > 0);
    ASSERT_EQ(dst.Width(), 1500);
    ASSERT_EQ(dst.Height(), 1000);
    // How far the workers got depends on timing; whatever they claimed must be finished and
    // everything after it untouched.
    const int claimed = out.rowsClaimed;
    EXPECT_EQ(out.rowCount, 1000);
    const std::vector<std::int32_t> kernel = BuildKernel(out.radius);
    const AdaptState st{&src, kernel, out.radius, settings.params};
    for (int y = 0; y < 1000; y += (y < claimed ? 1 : 37)) {
        for (int x : {0, 750, 1499}) {
            const std::uint32_t want =
                y < claimed ? AdaptPixel(out.radius, x, y, st) : src.Pixel(x, y);
            ASSERT_EQ(dst.Pixel(x, y), want) << x << "," << y << " claimed " << claimed;
        }
    }
}

// Workers that only get going once the cancel is in claim no row: the result is the copy.
TEST_P(ProcessingRunTest, CancelBeforeAnyRowLeavesTheScaledCopy) {
    const WorkingBitmap src = Noise(120, 90, 12);
    ProcessingRun run;
    run.SetEngine(GetParam().engine);
    CountingObserver observer(0);
    run.SetThreadStarter([&](std::function<void()> proc) {
        return std::thread([&observer, proc = std::move(proc)] {
            // The second poll comes after the run has noted the first one's cancel.
            while (std::atomic_ref<int>(observer.polls).load() < 2) {
                std::this_thread::yield();
            }
            proc();
        });
    });
    WorkingBitmap dst;
    const RunOutcome out = run.ProcessBitmap(dst, src, RunSettings{}, observer);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(out.rowsClaimed, 0);
    EXPECT_EQ(dst, src);
}

TEST_P(ProcessingRunTest, WorkerThatCannotStartIsNotAwaited) {
    const WorkingBitmap src = Noise(60, 45, 10);
    RunSettings settings;
    settings.divisor = 87;
    WorkingBitmap expected;
    AdaptBitmapLiteral(src, expected, CalcRadius(src, settings.divisor), settings.params,
                       AdaptVariant::Normal);
    for (int failing : {1, 2}) {  // the second worker only, then both
        ProcessingRun run;
        run.SetEngine(GetParam().engine);
        int calls = 0;
        run.SetThreadStarter([&](std::function<void()> proc) {
            if (calls++ >= 2 - failing) {
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            return std::thread(std::move(proc));
        });
        CountingObserver observer;
        WorkingBitmap dst;
        run.ProcessBitmap(dst, src, settings, observer);
        EXPECT_EQ(dst, expected) << failing << " worker(s) failed to start";
    }
}

TEST_P(ProcessingRunTest, InputThatIsAlsoTheOutputIsReadBeforeItIsWritten) {
    const WorkingBitmap src = Noise(64, 48, 13);
    RunSettings settings;
    settings.divisor = 8;  // r = 8: every row needs its neighbours above and below unprocessed
    ProcessingRun run;
    run.SetEngine(GetParam().engine);
    CountingObserver first, second;
    WorkingBitmap expected;
    run.ProcessBitmap(expected, src, settings, first);
    WorkingBitmap both = src;
    run.ProcessBitmap(both, both, settings, second);
    EXPECT_EQ(both, expected);
}

TEST_P(ProcessingRunTest, EmptyTargetAndEmptySource) {
    const WorkingBitmap src = Noise(30, 20, 11);
    ProcessingRun run;
    run.SetEngine(GetParam().engine);
    CountingObserver observer;
    WorkingBitmap dst = src;
    const RunOutcome out = run.MakeProcessedImage(src, 0, Rect{}, RunSettings{}, dst, observer);
    EXPECT_FALSE(dst.HoldsImage());
    EXPECT_EQ(out.radius, 0);
    EXPECT_EQ(out.rowCount, 0);
    EXPECT_EQ(out.rowsClaimed, 0);

    WorkingBitmap untouched = src;
    run.MakeProcessedImage(WorkingBitmap{}, 600, Rect{}, RunSettings{}, untouched, observer);
    EXPECT_EQ(untouched, src);

    const RunOutcome scaled =
        run.MakeProcessedImage(src, 0, Rect{0, 0, 15, 40}, RunSettings{}, dst, observer);
    EXPECT_EQ(dst.Width(), 15);
    EXPECT_EQ(dst.Height(), 10);
    EXPECT_EQ(scaled.radius, 1);
    EXPECT_EQ(scaled.rowCount, 10);
    EXPECT_EQ(scaled.rowsClaimed, 10);
}

// Starts thread number n (counted over the object's life) only once mayGo(n) holds; counts the
// workers that have ended.
ProcessingRun::ThreadStarter HeldStarter(std::function<bool(int)> mayGo, std::atomic<int>& ended) {
    auto count = std::make_shared<std::atomic<int>>(0);
    return [=, &ended](std::function<void()> proc) {
        return std::thread([n = count->fetch_add(1), mayGo, &ended, proc = std::move(proc)] {
            while (!mayGo(n)) {
                std::this_thread::yield();
            }
            proc();
            ++ended;
        });
    };
}

WorkingBitmap Reference(const WorkingBitmap& src, const RunSettings& settings, RunEngine engine) {
    ProcessingRun run;
    run.SetEngine(engine);
    CountingObserver quiet;
    WorkingBitmap out;
    run.ProcessBitmap(out, src, settings, quiet);
    return out;
}

struct ObserverFault : std::runtime_error {
    ObserverFault() : std::runtime_error("observer failed") {}
};

// Hands each poll, numbered from 1, to onPoll; for a window that does its own work there.
struct ScriptedObserver : RunObserver {
    void LargeSizeNotice() override { onPoll(0); }
    bool Poll(int claimed, int) override {
        lastClaimed = claimed;
        onPoll(polls.fetch_add(1) + 1);
        return false;
    }
    std::function<void(int)> onPoll;
    std::atomic<int> polls{0};
    int lastClaimed = 0;
};

TEST_P(ProcessingRunTest, ObserverExceptionCancelsJoinsAndReachesTheCaller) {
    // Each worker is held until its poll, so the throwing poll surely comes while workers live.
    // Poll 0 is the large-size notice.
    struct Case {
        const char* what;
        int width, height, divisor, throwAtPoll, releaseAtPoll[2], workers;
    } cases[] = {
        {"first poll, both released by it", 200, 150, 20, 1, {1, 1}, 2},
        {"second poll, one worker already at work", 200, 150, 20, 2, {1, 2}, 2},
        {"large-size notice, before any worker", 4200, 2, 50, 0, {1, 1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WorkingBitmap src = Noise(c.width, c.height, 14);
        RunSettings settings;
        settings.divisor = c.divisor;
        ProcessingRun run;
        run.SetEngine(GetParam().engine);
        ScriptedObserver observer;
        observer.onPoll = [&](int poll) {
            if (poll == c.throwAtPoll) {
                throw ObserverFault();
            }
        };
        std::atomic<int> ended{0};
        run.SetThreadStarter(
            HeldStarter([&](int n) { return observer.polls.load() >= c.releaseAtPoll[n]; }, ended));
        WorkingBitmap dst;
        EXPECT_THROW(run.ProcessBitmap(dst, src, settings, observer), ObserverFault);
        EXPECT_EQ(ended.load(), c.workers) << "a worker outlived the run";
        ASSERT_EQ(dst.Width(), c.width);
        ASSERT_EQ(dst.Height(), c.height);
        // Rows are claimed in order and finished once claimed: processed rows, then the copy.
        const WorkingBitmap full = Reference(src, settings, GetParam().engine);
        const auto rowOf = [&](const WorkingBitmap& b, int y) {
            return std::equal(dst.RowWords(y), dst.RowWords(y) + c.width, b.RowWords(y));
        };
        int processed = 0;
        while (c.workers > 0 && processed < c.height && rowOf(full, processed)) {
            ++processed;
        }
        EXPECT_GE(processed, observer.lastClaimed);
        for (int y = processed; y < c.height; ++y) {
            ASSERT_TRUE(rowOf(src, y)) << "row " << y << " is neither processed nor the copy";
        }
    }
}

// A dst of the right size keeps its pixels instead of starting as a copy of the input: after a
// cancel none of the older result may show, in the rows processed or in those left.
TEST_P(ProcessingRunTest, CancelOverAnOlderResultOfTheSameSizeLeavesNoneOfIt) {
    const WorkingBitmap src = Noise(300, 200, 17);
    for (const int cancelAfter : {0, 3}) {
        ProcessingRun run;
        run.SetEngine(GetParam().engine);
        CountingObserver observer(cancelAfter);
        std::atomic<bool> release{cancelAfter > 0};
        run.SetThreadStarter([&](std::function<void()> proc) {
            return std::thread([&observer, &release, proc = std::move(proc)] {
                while (!release.load() && std::atomic_ref<int>(observer.polls).load() < 2) {
                    std::this_thread::yield();
                }
                proc();
            });
        });
        WorkingBitmap dst = Noise(300, 200, 18);
        const std::uint32_t* pixels = dst.Data();
        const RunOutcome out = run.ProcessBitmap(dst, src, RunSettings{}, observer);
        EXPECT_EQ(dst.Data(), pixels) << "a dst of the right size is written in place";
        const WorkingBitmap full = Reference(src, RunSettings{}, GetParam().engine);
        for (int y = 0; y < src.Height(); ++y) {
            const WorkingBitmap& want = y < out.rowsClaimed ? full : src;
            ASSERT_TRUE(
                std::equal(dst.RowWords(y), dst.RowWords(y) + src.Width(), want.RowWords(y)))
                << "row " << y << ", claimed " << out.rowsClaimed << ", cancel after "
                << cancelAfter;
        }
    }
}

// A window may start a run from inside another run's Poll. The outer run's workers are held
// until the inner run has ended, so they work only after it, on state it must not have touched.
TEST_P(ProcessingRunTest, RunStartedInsidePollKeepsItsOwnState) {
    const WorkingBitmap outerSrc = Noise(80, 60, 15), innerSrc = Noise(45, 70, 16);
    RunSettings outerSettings, innerSettings;
    outerSettings.divisor = 8;   // r = 10
    innerSettings.divisor = 35;  // r = 2
    innerSettings.params.hdrStrength = 5;
    ProcessingRun run;
    run.SetEngine(GetParam().engine);
    std::atomic<bool> innerDone{false};
    std::atomic<int> ended{0};
    run.SetThreadStarter(HeldStarter(
        [&](int n) { return n >= ProcessingRun::kWorkers || innerDone.load(); }, ended));
    WorkingBitmap innerDst;
    RunOutcome inner;
    ScriptedObserver outerObserver;
    outerObserver.onPoll = [&](int poll) {
        if (poll == 1) {
            CountingObserver innerObserver;
            inner = run.ProcessBitmap(innerDst, innerSrc, innerSettings, innerObserver);
            innerDone.store(true);
        }
    };
    WorkingBitmap outerDst;
    const RunOutcome outer = run.ProcessBitmap(outerDst, outerSrc, outerSettings, outerObserver);
    ASSERT_TRUE(innerDone.load()) << "the outer run never polled";
    EXPECT_EQ(outerDst, Reference(outerSrc, outerSettings, GetParam().engine));
    EXPECT_EQ(innerDst, Reference(innerSrc, innerSettings, GetParam().engine));
    EXPECT_EQ(std::tie(outer.radius, outer.rowCount, outer.rowsClaimed), std::tuple(10, 60, 60));
    EXPECT_EQ(std::tie(inner.radius, inner.rowCount, inner.rowsClaimed), std::tuple(2, 70, 70));
}

// The run's starter also starts the scaling's thread: one seam for every fan-out of a run.
TEST_P(ProcessingRunTest, ThreadsThatCannotStartChangeNothing) {
    const WorkingBitmap src = Noise(64, 48, 17);
    RunSettings settings;
    settings.divisor = 10;
    const WorkingBitmap expected = Reference(ScaleBitmap(src, 96, 72), settings, GetParam().engine);
    // Start 0 is the scaling's helper, 1 and 2 the run's workers.
    for (const auto& failures : StartFailureCases(2)) {
        ProcessingRun run;
        run.SetEngine(GetParam().engine);
        CountingStarter starts(failures.fails);
        run.SetThreadStarter(starts.Starter());
        CountingObserver observer;
        WorkingBitmap dst;
        run.MakeProcessedImage(src, 96, Rect{}, settings, dst, observer);
        EXPECT_EQ(dst, expected) << failures.name;
        EXPECT_EQ(starts.calls.load(), 3) << failures.name;
    }
}

// Values outside the ranges the exactness rests on are refused at every door, naming the value;
// the edges still run, fast and literal alike.
TEST(ProcessingRun, SettingsOutsideTheirRangesAreRefused) {
    const WorkingBitmap src = Noise(24, 18, 21);
    const auto refused = [](const char* named, const std::function<void()>& call) {
        try {
            call();
        } catch (const std::invalid_argument& e) {
            return std::string(e.what()).find(named) != std::string::npos;
        }
        return false;
    };
    const RunSettings bad[] = {{{-1, 382, 4}, 200}, {{11, 382, 4}, 200}, {{5, -1, 4}, 200},
                               {{5, 766, 4}, 200},  {{5, 382, -1}, 200}, {{5, 382, 59}, 200},
                               {{5, 382, 4}, 0},    {{5, 382, 4}, -7}};
    const char* named[] = {"hdrStrength -1", "hdrStrength 11", "borderLevel -1", "borderLevel 766",
                           "detailGain -1",  "detailGain 59",  "divisor 0",      "divisor -7"};
    for (int i = 0; i < 8; ++i) {
        const RunSettings& s = bad[i];
        ProcessingRun run;
        CountingObserver observer;
        WorkingBitmap dst = src;
        const auto kernel = BuildKernel(2);
        EXPECT_TRUE(refused(named[i], [&] { run.ProcessBitmap(dst, src, s, observer); }));
        EXPECT_TRUE(
            refused(named[i], [&] { run.MakeProcessedImage(src, 30, {}, s, dst, observer); }));
        EXPECT_EQ(dst, src) << named[i];
        if (s.divisor > 0) {
            EXPECT_TRUE(refused(named[i], [&] { AdaptBitmapFast(src, dst, 2, s.params); }));
            EXPECT_TRUE(refused(named[i], [&] { FastAdaptation(src, 2, s.params); }));
            EXPECT_TRUE(refused(named[i], [&] {
                AdaptPixel(2, 0, 0, {&src, kernel, 2, s.params});
            }));
            EXPECT_TRUE(refused(named[i], [&] {
                AdaptBitmapLiteral(src, dst, 2, s.params, AdaptVariant::Normal);
            }));
        }
    }
    EXPECT_TRUE(refused("radius", [&] {
        WorkingBitmap dst;
        AdaptBitmapLiteral(src, dst, 0, ToneParams{}, AdaptVariant::Normal);
    }));
    for (const RunSettings& edge : {RunSettings{{0, 0, 0, true}, 1},
                                    {{10, 765, 58, false}, 1},
                                    {{10, 0, 58, true}, 7},
                                    {{0, 765, 0, false}, 7}}) {
        EXPECT_EQ(Reference(src, edge, RunEngine::Fast), Reference(src, edge, RunEngine::Literal))
            << edge.params.hdrStrength << " " << edge.params.borderLevel << " D=" << edge.divisor;
    }
}

// A target past the decoder's limit is refused before anything is allocated or started.
TEST(ProcessingRun, TargetTooLargeIsRefusedAtTheDoor) {
    const WorkingBitmap src = Noise(30, 20, 22);
    for (const int n : {1'000'000, 20'067}) {  // 20067 x 13378 is the first past 2^28
        ProcessingRun run;
        CountingStarter starts([](int) { return false; });
        run.SetThreadStarter(starts.Starter());
        CountingObserver observer;
        WorkingBitmap dst = src;
        try {
            run.MakeProcessedImage(src, n, Rect{}, RunSettings{}, dst, observer);
            ADD_FAILURE() << n;
        } catch (const std::runtime_error& e) {
            const Size size = RunTargetSize(30, 20, n, {});
            EXPECT_EQ(e.what(), "not enough memory for a " + std::to_string(size.width) + " x " +
                                    std::to_string(size.height) + " image");
        }
        EXPECT_EQ(dst, src);
        EXPECT_EQ(starts.calls.load(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines,
                         ProcessingRunTest,
                         ::testing::Values(EngineCase{RunEngine::Literal, "Literal"},
                                           EngineCase{RunEngine::Fast, "Fast"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zelqor
