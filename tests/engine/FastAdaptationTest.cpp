// The fast adaptation against the literal per-pixel reference, bit for bit, and its pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>

#include "FastAdaptation.h"
#include "FftLevelSum.h"
#include "FftTileSum.h"
#include "Kernel.h"
#include "LevelConvolution.h"
#include "LevelKernel.h"
#include "LocalAdaptation.h"
#include "TestImages.h"
#include "ThreadStarters.h"
#include "ToneStep.h"

namespace zelqor {
namespace {

using test_images::Noise;
using test_images::Uniform;

// Gradients, a hard-edged white block on black, a blown-out sky and sensor-like noise: the
// structures that stress a convolution's rounding more than uniform noise does.
WorkingBitmap PhotoLike(int w, int h, unsigned seed) {
    WorkingBitmap b(w, h);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 6.0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double r = 255.0 * x / std::max(1, w - 1);
            double g = 255.0 * y / std::max(1, h - 1);
            double bl = 128 + 100 * std::sin(x * 0.21) * std::cos(y * 0.17);
            if (y < h / 5) {
                r = g = bl = 255;  // sky
            } else if (x > w / 2 && y > h / 2) {
                r = g = bl = (x / 8 + y / 8) % 2 ? 255 : 0;  // checker of pure white and black
            } else {
                r += noise(rng);
                g += noise(rng);
                bl += noise(rng);
            }
            auto c = [](double v) { return static_cast<int>(std::clamp(v, 0.0, 255.0)); };
            b.SetPixel(x, y, MakePixel(c(r), c(g), c(bl), static_cast<int>(rng() & 0xFF)));
        }
    }
    return b;
}

WorkingBitmap Literal(const WorkingBitmap& src, int r, const ToneParams& p) {
    WorkingBitmap dst;
    AdaptBitmapLiteral(src, dst, r, p,
                       IsLargeSizeMode(r) ? AdaptVariant::Large : AdaptVariant::Normal);
    return dst;
}

// Index of the first pixel that differs, for a readable failure; -1 when equal.
long FirstDifference(const WorkingBitmap& a, const WorkingBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return -2;
    }
    const long n = static_cast<long>(a.Width()) * a.Height();
    for (long i = 0; i < n; ++i) {
        if (a.Data()[i] != b.Data()[i]) {
            return i;
        }
    }
    return -1;
}

struct Variant {
    const char* name;
    FastAdaptationOptions options;
};

const Variant kVariants[] = {
    {"direct avx2", {LevelSumPath::Direct, SimdChoice::Avx2, 0.25}},
    {"direct portable", {LevelSumPath::Direct, SimdChoice::Portable, 0.25}},
    {"fft avx2", {LevelSumPath::Fft, SimdChoice::Avx2, 0.25}},
    {"fft portable", {LevelSumPath::Fft, SimdChoice::Portable, 0.25}},
    // The least tiles the radius allows: many tiles and bands, and every edge case of them.
    {"tiles avx2", {LevelSumPath::FftTiles, SimdChoice::Avx2, 0.25, 2}},
    {"tiles portable", {LevelSumPath::FftTiles, SimdChoice::Portable, 0.25, 2}},
    {"tiles chosen", {LevelSumPath::FftTiles, SimdChoice::Auto, 0.25, 0}},
};

void ExpectAllVariantsExact(const WorkingBitmap& src,
                            int r,
                            const ToneParams& p,
                            const std::string& what) {
    const WorkingBitmap expected = Literal(src, r, p);
    {
        WorkingBitmap auto_;
        AdaptBitmapFast(src, auto_, r, p);
        EXPECT_EQ(FirstDifference(expected, auto_), -1) << what << " default";
    }
    for (const Variant& v : kVariants) {
        WorkingBitmap got;
        AdaptBitmapFast(src, got, r, p, 2, v.options);
        EXPECT_EQ(FirstDifference(expected, got), -1) << what << " " << v.name;
    }
}

TEST(FastAdaptation, MatchesLiteralOverRadiiImagesAndLuminance) {
    struct Case {
        int radius;
        int width;
        int height;
    };
    // Sizes keep the O(W*H*r^2) reference quick; each is still larger than the kernel's reach
    // on at least one side, except where the image is narrower on purpose.
    const Case cases[] = {{1, 150, 100}, {2, 150, 100}, {3, 150, 100}, {7, 150, 100},
                          {20, 120, 90}, {33, 96, 80},  {34, 96, 80},  {40, 96, 72},
                          {83, 64, 48},  {84, 64, 48},  {120, 64, 48}};
    for (const Case& c : cases) {
        for (const bool luminance : {true, false}) {
            ToneParams p;
            p.luminance = luminance;
            const std::string what =
                "r=" + std::to_string(c.radius) + " lum=" + std::to_string(luminance);
            ExpectAllVariantsExact(Noise(c.width, c.height, 7u * c.radius), c.radius, p,
                                   what + " random");
            ExpectAllVariantsExact(PhotoLike(c.width, c.height, c.radius), c.radius, p,
                                   what + " photo");
        }
    }
}

TEST(FastAdaptation, MatchesLiteralOnUniformAndOddShapes) {
    struct Case {
        const char* name;
        WorkingBitmap image;
        std::vector<int> radii;
    };
    const Case cases[] = {
        {"white", Uniform(40, 30, 0xFFFFFFFF), {1, 7, 40, 84}},
        {"black", Uniform(40, 30, 0x00000000), {1, 7, 40, 84}},
        {"5x300", PhotoLike(5, 300, 1), {1, 7, 34, 120}},
        {"300x3", PhotoLike(300, 3, 2), {1, 7, 34, 120}},
        {"1x1", Noise(1, 1, 3), {1, 2, 40, 120}},
        {"1x40", Noise(1, 40, 4), {3, 40}},
        {"33x1", Noise(33, 1, 5), {3, 40}},
        // A radius whose full kernel total passes 2^31; only the corner that reaches pixels is
        // used.
        {"4x3", Noise(4, 3, 6), {700}},
    };
    for (const Case& c : cases) {
        for (const int r : c.radii) {
            for (const bool luminance : {true, false}) {
                ToneParams p;
                p.luminance = luminance;
                ExpectAllVariantsExact(c.image, r, p,
                                       std::string(c.name) + " r=" + std::to_string(r) +
                                           " lum=" + std::to_string(luminance));
            }
        }
    }
}

TEST(FastAdaptation, MatchesLiteralAtExtremeParameters) {
    const ToneParams cases[] = {
        {10, 0, 58, true},    {10, 765, 58, true}, {10, 0, 58, false},
        {10, 765, 58, false}, {0, 382, 0, true},   {1, 1, 3, false},
    };
    const WorkingBitmap photo = PhotoLike(90, 70, 9);
    for (const ToneParams& p : cases) {
        for (const int r : {3, 20, 40}) {
            ExpectAllVariantsExact(
                photo, r, p,
                "k=" + std::to_string(p.hdrStrength) + " b=" + std::to_string(p.borderLevel) +
                    " g=" + std::to_string(p.detailGain) + " r=" + std::to_string(r));
        }
    }
}

TEST(FastAdaptation, IdentitySettingsLeaveEveryPixelAlone) {
    const WorkingBitmap photo = PhotoLike(80, 60, 11);
    for (const int r : {2, 40}) {
        WorkingBitmap got;
        AdaptBitmapFast(photo, got, r, ToneParams{0, 382, 0, true});
        EXPECT_EQ(FirstDifference(photo, got), -1) << r;
    }
}

TEST(FastAdaptation, SameResultForAnyThreadCount) {
    const WorkingBitmap photo = PhotoLike(70, 53, 12);
    for (const int r : {5, 45}) {
        WorkingBitmap one;
        AdaptBitmapFast(photo, one, r, ToneParams{}, 1);
        for (const int threads : {2, 3, 7}) {
            WorkingBitmap many;
            AdaptBitmapFast(photo, many, r, ToneParams{}, threads);
            EXPECT_EQ(FirstDifference(one, many), -1) << r << " " << threads;
        }
    }
}

TEST(FastAdaptation, WorkersThatCannotStartLeaveTheirRowsToTheOthers) {
    const WorkingBitmap photo = PhotoLike(48, 36, 19);
    for (const int r : {4, 30}) {  // direct and FFT
        const WorkingBitmap expected = Literal(photo, r, ToneParams{});
        for (const auto& failures : test_threads::StartFailureCases(1)) {
            test_threads::CountingStarter starts(failures.fails);
            WorkingBitmap got;
            AdaptBitmapFast(photo, got, r, ToneParams{}, 3, FastAdaptationOptions{},
                            starts.Starter());
            EXPECT_EQ(FirstDifference(expected, got), -1) << failures.name << ", r=" << r;
        }
    }
}

// A thread keeps level rows from row to row; rows in any order, and two runs interleaved on one
// thread, must still each see their own image's rows.
TEST(FastAdaptation, RowsInAnyOrderAndInterleavedRunsStayExact) {
    const WorkingBitmap first = PhotoLike(60, 45, 31);
    const WorkingBitmap second = Noise(60, 45, 32);
    for (const LevelSumPath path :
         {LevelSumPath::Direct, LevelSumPath::Fft, LevelSumPath::FftTiles}) {
        const FastAdaptationOptions options{path, SimdChoice::Auto, 0.25, 24};
        const int r = 9;
        FastAdaptation a(first, r, ToneParams{}, options);
        FastAdaptation b(second, r, ToneParams{}, options);
        a.Prepare(0, 1);
        b.Prepare(0, 1);
        std::vector<int> order(first.Height());
        for (int y = 0; y < first.Height(); ++y) {
            order[y] = first.Height() - 1 - y;
        }
        std::shuffle(order.begin() + 10, order.end(), std::mt19937(33));
        WorkingBitmap gotA(60, 45), gotB(60, 45);
        for (const int y : order) {
            a.AdaptRow(y, gotA.RowWords(y));
            b.AdaptRow((y * 7) % 45, gotB.RowWords((y * 7) % 45));
        }
        EXPECT_EQ(FirstDifference(Literal(first, r, ToneParams{}), gotA), -1);
        EXPECT_EQ(FirstDifference(Literal(second, r, ToneParams{}), gotB), -1);
    }
}

TEST(FastAdaptation, UntrustedFftValuesFallBackToExactRows) {
    const WorkingBitmap photo = PhotoLike(70, 50, 13);
    const int r = 35;
    const WorkingBitmap expected = Literal(photo, r, ToneParams{});
    // A negative tolerance distrusts every value, even an exact integer.
    FastAdaptationOptions strict{LevelSumPath::Fft, SimdChoice::Auto, -1.0};
    FastAdaptation adaptation(photo, r, ToneParams{}, strict);
    adaptation.Prepare(0, 1);
    WorkingBitmap got(photo.Width(), photo.Height());
    for (int y = 0; y < photo.Height(); ++y) {
        adaptation.AdaptRow(y, got.RowWords(y));
    }
    EXPECT_EQ(adaptation.FftFallbackRows(), photo.Height());
    EXPECT_EQ(FirstDifference(expected, got), -1);

    // Without a transform (never prepared) every row is summed directly, still exactly.
    FastAdaptation unprepared(photo, r, ToneParams{}, FastAdaptationOptions{LevelSumPath::Fft});
    for (int y = 0; y < photo.Height(); ++y) {
        unprepared.AdaptRow(y, got.RowWords(y));
    }
    EXPECT_EQ(unprepared.FftFallbackRows(), photo.Height());
    EXPECT_EQ(FirstDifference(expected, got), -1);

    // With the normal tolerance nothing falls back.
    FastAdaptation normal(photo, r, ToneParams{}, FastAdaptationOptions{LevelSumPath::Fft});
    normal.Prepare(0, 1);
    for (int y = 0; y < photo.Height(); ++y) {
        normal.AdaptRow(y, got.RowWords(y));
    }
    EXPECT_EQ(normal.FftFallbackRows(), 0);
    EXPECT_EQ(FirstDifference(expected, got), -1);
}

TEST(FastAdaptation, UntrustedTileValuesFallBackToExactRows) {
    const WorkingBitmap photo = PhotoLike(90, 64, 21);
    const int r = 12;
    const WorkingBitmap expected = Literal(photo, r, ToneParams{});
    struct Case {
        double tolerance;
        bool prepared;
        int fallbackRows;
    };
    for (const Case c : {Case{-1.0, true, 64}, Case{0.25, false, 64}, Case{0.25, true, 0}}) {
        FastAdaptation adaptation(photo, r, ToneParams{},
                                  {LevelSumPath::FftTiles, SimdChoice::Auto, c.tolerance, 40});
        if (c.prepared) {
            adaptation.Prepare(0, 1);
        }
        WorkingBitmap got(photo.Width(), photo.Height());
        for (int y = 0; y < photo.Height(); ++y) {
            adaptation.AdaptRow(y, got.RowWords(y));
        }
        EXPECT_EQ(adaptation.FftFallbackRows(), c.fallbackRows) << c.tolerance << c.prepared;
        EXPECT_EQ(FirstDifference(expected, got), -1) << c.tolerance << c.prepared;
    }
}

// Many bands of many tiles shared by more threads than there are bands in flight: the band
// hand-over between threads, checked against the direct path (itself checked against the
// literal one above) on an image too large for the literal path.
TEST(FastAdaptation, TilesSharedByManyThreadsMatchTheDirectSums) {
    const WorkingBitmap photo = PhotoLike(700, 410, 22);
    for (const int r : {18, 47}) {
        WorkingBitmap direct;
        AdaptBitmapFast(photo, direct, r, ToneParams{}, 2, {LevelSumPath::Direct});
        for (const int threads : {1, 2, 5}) {
            for (const int side : {0, 128}) {
                WorkingBitmap tiles;
                AdaptBitmapFast(photo, tiles, r, ToneParams{}, threads,
                                {LevelSumPath::FftTiles, SimdChoice::Auto, 0.25, side});
                EXPECT_EQ(FirstDifference(direct, tiles), -1)
                    << "r=" << r << " threads=" << threads << " side=" << side;
            }
        }
    }
}

TEST(FftTileSum, ShapesAreEvenAndLeaveExactSumsInEveryTile) {
    struct Case {
        int width;
        int height;
        int radius;
    };
    for (const Case c : {Case{5120, 2880, 26}, Case{6000, 4000, 120}, Case{4000, 3000, 18},
                         Case{3000, 40, 30}, Case{40, 3000, 30}, Case{700, 410, 47}}) {
        const LevelKernel kernel(c.radius, c.width, c.height);
        const FftTileShape shape = ChooseFftTiles(kernel, c.width, c.height);
        ASSERT_NE(shape.width, 0) << c.width << "x" << c.height << " r=" << c.radius;
        EXPECT_EQ(shape.width % 2, 0);
        EXPECT_EQ(shape.height % 2, 0);
        EXPECT_GT(shape.width, 2 * kernel.ReachX() + 1);
        EXPECT_GT(shape.height, 2 * kernel.ReachY() + 1);
        // No tile larger than the image needs: one tile covers a short axis whole.
        EXPECT_LE(shape.width - 2 * kernel.ReachX(), std::max(c.width, 2048));
    }
    // A radius whose margins would swallow any tile that stays in cache: one transform instead.
    const LevelKernel huge(600, 6000, 4000);
    EXPECT_EQ(ChooseFftTiles(huge, 6000, 4000), FftTileShape{});
    // An asked-for side is raised to the least the reach allows, and made even.
    const LevelKernel small(20, 300, 5);
    EXPECT_EQ(ChooseFftTiles(small, 300, 5, 2), (FftTileShape{42, 10}));
    EXPECT_EQ(ChooseFftTiles(small, 300, 5, 101), (FftTileShape{102, 102}));
}

TEST(FastAdaptation, ChoosesPathByRadius) {
    const WorkingBitmap photo = PhotoLike(20, 20, 14);
    EXPECT_EQ(FastAdaptation(photo, kFftFromRadius - 1, ToneParams{}).Path(), LevelSumPath::Direct);
    // Tiles where they pay; on an image smaller than any tile, one transform of it all.
    const WorkingBitmap wide(3000, 40);
    EXPECT_EQ(FastAdaptation(wide, kFftFromRadius, ToneParams{}).Path(), LevelSumPath::FftTiles);
    EXPECT_EQ(FastAdaptation(photo, kFftFromRadius, ToneParams{}).Path(), LevelSumPath::Fft);
    EXPECT_FALSE(FastAdaptation(photo, 5, ToneParams{},
                                FastAdaptationOptions{LevelSumPath::Auto, SimdChoice::Portable})
                     .UsesAvx2());
    EXPECT_EQ(FastAdaptation(photo, 5, ToneParams{},
                             FastAdaptationOptions{LevelSumPath::Auto, SimdChoice::Avx2})
                  .UsesAvx2(),
              CpuHasAvx2());
}

TEST(FastAdaptation, EmptyInputsAndBadRadii) {
    const WorkingBitmap empty;
    const WorkingBitmap photo = PhotoLike(10, 10, 15);
    // Must not crash: a run with nothing to do still builds the object and prepares it.
    FastAdaptation zeroRadius(photo, 0, ToneParams{});
    zeroRadius.Prepare(0, 1);
    FastAdaptation noImage(empty, 5, ToneParams{});
    noImage.Prepare(0, 2);
    noImage.Prepare(1, 2);
    EXPECT_EQ(noImage.ScratchBytes(), 0u);

    WorkingBitmap dst(3, 3);
    AdaptBitmapFast(empty, dst, 5, ToneParams{});
    EXPECT_FALSE(dst.HoldsImage());

    const WorkingBitmap large(2201, 2201);
    struct Bad {
        const WorkingBitmap* image;
        int radius;
    };
    for (const Bad& bad : {Bad{&photo, 0}, Bad{&photo, -3}, Bad{&photo, kMaxFastRadius + 1},
                           Bad{&large, 2200}}) {  // a window total past 2^36
        try {
            AdaptBitmapFast(*bad.image, dst, bad.radius, ToneParams{});
            ADD_FAILURE() << "no exception for radius " << bad.radius;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "radius out of range");
        }
    }
}

TEST(FastAdaptation, RefusesToWriteOverItsOwnSource) {
    WorkingBitmap image = PhotoLike(12, 9, 17);
    const WorkingBitmap before = image;
    try {
        AdaptBitmapFast(image, image, 3, ToneParams{});
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "source and destination must differ");
    }
    EXPECT_TRUE(image == before);
}

// On a thin strip only a sliver of a huge kernel reaches any pixel, so its window totals stay
// small and the radius is accepted.
TEST(FastAdaptation, ThinStripWithAHugeRadiusMatchesLiteral) {
    const WorkingBitmap strip = PhotoLike(3000, 2, 16);
    const int r = 3000;
    ExpectAllVariantsExact(strip, r, ToneParams{}, "3000x2 r=3000");
}

TEST(ToneStep, ToneCurveEqualsReferenceOverTheWholeDomain) {
    std::vector<int> v(256 * 1001), s(v.size()), out(v.size());
    for (const bool avx2 : {false, CpuHasAvx2()}) {
        long mismatches = 0;
        // Every strength a pixel can get (|s| <= 3*10*100 + 58*765), in slices of 1001.
        for (int first = -47370; first <= 47370; first += 1001) {
            std::size_t n = 0;
            for (int strength = first; strength < first + 1001 && strength <= 47370; ++strength) {
                for (int value = 0; value <= 255; ++value, ++n) {
                    v[n] = value;
                    s[n] = strength;
                }
            }
            ToneCurveRow(v.data(), s.data(), static_cast<int>(n), avx2, out.data());
            for (std::size_t i = 0; i < n; ++i) {
                mismatches += out[i] != ToneCurve(v[i], s[i]);
            }
        }
        EXPECT_EQ(mismatches, 0) << "avx2=" << avx2;
    }
}

// Every level 0..765 against pixels spread over the whole byte range, through both the portable
// and the AVX2 row (its 8-wide part and its tail), against the reference functions.
TEST(ToneStep, RowEqualsReferenceForEveryLevel) {
    const ToneParams cases[] = {
        {10, 0, 58, true}, {10, 765, 58, false}, {5, 382, 4, true}, {0, 382, 0, false}};
    std::mt19937 rng(21);
    const std::int64_t kOffset = 4208;
    for (const ToneParams& p : cases) {
        const StrengthTable table(p);
        const int width = 766 * 40 + 5;
        std::vector<std::uint32_t> src(width), out(width);
        std::vector<std::int64_t> sums(width), totals(width);
        for (int x = 0; x < width; ++x) {
            const int h = x % 766;
            src[x] = x % 7 == 0 ? (x % 2 ? 0xFFFFFFFFu : 0u) : rng();
            // A window total of a real kernel, and a level sum anywhere within level h.
            totals[x] = 193 + static_cast<std::int64_t>(rng() % 4000000);
            const std::int64_t unit = p.luminance ? 11 * totals[x] : totals[x];
            // Stored relative to an offset times the total, as the sum passes bring them.
            sums[x] = h * unit + static_cast<std::int64_t>(rng() % unit) - kOffset * totals[x];
        }
        for (const bool avx2 : {false, CpuHasAvx2()}) {
            ToneStepRow(src.data(), sums.data(), kOffset, totals.data(), width, table, avx2,
                        out.data());
            long mismatches = 0;
            for (int x = 0; x < width; ++x) {
                const int rgb = PixelR(src[x]) + PixelG(src[x]) + PixelB(src[x]);
                const std::int64_t h = x % 766;
                mismatches += out[x] != ApplyStrength(src[x], AdaptStrength(h, rgb, p));
            }
            EXPECT_EQ(mismatches, 0) << "avx2=" << avx2 << " g=" << p.detailGain;
        }
    }
}

TEST(ToneStep, StrengthTableEqualsAdaptStrength) {
    const ToneParams cases[] = {{5, 382, 4, true}, {10, 0, 58, true}, {10, 765, 58, false},
                                {0, 382, 0, true}, {3, 1, 7, true},   {7, 764, 31, false}};
    for (const ToneParams& p : cases) {
        const StrengthTable table(p);
        long mismatches = 0;
        for (int h = 0; h <= 765; ++h) {
            for (int sum = 0; sum <= 765; ++sum) {
                mismatches += table.Strength(h, sum) != AdaptStrength(h, sum, p);
            }
        }
        EXPECT_EQ(mismatches, 0) << p.borderLevel << " " << p.detailGain;
    }
}

TEST(ToneStep, LevelFromSumEqualsIntegerDivisionAtQuotientBoundaries) {
    // Totals of real windows, from the smallest to the largest radius accepted.
    const std::int64_t totals[] = {7,
                                   58,
                                   193,
                                   4191657,
                                   4344980,
                                   2146010260LL,
                                   KernelTotal(BuildKernel(1500)),
                                   kMaxFastWindowTotal - 1};
    std::mt19937_64 rng(5);
    for (const std::int64_t total : totals) {
        for (const bool luminance : {true, false}) {
            const int top = luminance ? 8415 : 765;
            for (int i = 0; i < 4000; ++i) {
                const std::int64_t q =
                    i < 2000 ? i % (top + 1) : static_cast<std::int64_t>(rng() % (top + 1));
                for (const std::int64_t delta :
                     std::initializer_list<std::int64_t>{-1, 0, 1, total / 2, total - 1}) {
                    const std::int64_t sum =
                        std::clamp<std::int64_t>(q * total + delta, 0, top * total);
                    const std::int64_t expected = luminance ? (sum / total) / 11 : sum / total;
                    ASSERT_EQ(LevelFromSum(sum, total, luminance), expected)
                        << sum << " / " << total;
                }
            }
        }
    }
}

TEST(LevelKernel, QuarterEqualsBuildKernelAndWindowTotalsEqualClippedSums) {
    for (const int r : {1, 2, 3, 10, 33}) {
        const auto full = BuildKernel(r);
        const int n = 2 * r + 1;
        struct Shape {
            int w;
            int h;
        };
        for (const Shape s : {Shape{40, 70}, Shape{5, 9}, Shape{1, 1}, Shape{2, 80}}) {
            const LevelKernel quarter(r, s.w, s.h);
            EXPECT_EQ(quarter.ReachX(), std::min(r, s.w - 1));
            for (int dy = 0; dy <= quarter.ReachY(); ++dy) {
                for (int dx = 0; dx <= quarter.ReachX(); ++dx) {
                    ASSERT_EQ(quarter.At(dx, dy), full[(dy + r) * n + dx + r]) << dx << "," << dy;
                }
            }
            const LevelWindowTotals totals(quarter, s.w, s.h);
            std::vector<std::int64_t> row(s.w), scratch;
            for (int y = 0; y < s.h; ++y) {
                totals.Row(y, row.data(), scratch);
                for (int x = 0; x < s.w; ++x) {
                    std::int64_t expected = 0;
                    for (int yy = std::max(0, y - r); yy <= std::min(s.h - 1, y + r); ++yy) {
                        for (int xx = std::max(0, x - r); xx <= std::min(s.w - 1, x + r); ++xx) {
                            expected += full[(yy - y + r) * n + xx - x + r];
                        }
                    }
                    ASSERT_EQ(row[x], expected) << r << " " << x << "," << y;
                }
            }
        }
    }
}

TEST(FftLevelSum, RoundingFlagsEveryValueTooFarFromAnInteger) {
    const double nan = std::nan("");
    struct Case {
        std::vector<double> values;
        bool trusted;
    };
    const Case cases[] = {
        {{1.0, 2.2, -3.8, 1e14 + 0.125, -0.24, 5.0, 6.0, -7.1}, true},
        {{1.0, 0.26, -3.8, 4.0, 5.0, 6.0, 7.0}, false},  // in the 4-wide part
        {{1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.4}, false},    // in the tail
        {{1.0, 2.0, nan, 4.0, 5.0}, false},
        {{1.0, 2.0, 3.0, 4.0, 5.0, nan}, false},
    };
    for (const Case& c : cases) {
        for (const bool avx2 : {false, CpuHasAvx2()}) {
            std::vector<std::int64_t> out(c.values.size());
            EXPECT_EQ(RoundLevelSums(c.values.data(), static_cast<int>(c.values.size()), 0.25, avx2,
                                     out.data()),
                      c.trusted)
                << "avx2=" << avx2 << " size=" << c.values.size();
            for (std::size_t i = 0; i < c.values.size(); ++i) {
                if (!std::isnan(c.values[i])) {
                    EXPECT_EQ(out[i], std::llround(c.values[i])) << i;
                }
            }
        }
    }
}

// Such values are never converted to an integer (undefined behaviour); their row is summed
// directly instead.
TEST(FftLevelSum, NonFiniteAndHugeValuesAreUntrusted) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const double bad : {std::nan(""), inf, -inf, 1e30, -1e30, 0x1p51, 0x1p63}) {
        for (const int at : {1, 6}) {  // in the 4-wide part, in the tail
            std::vector<double> values = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};
            values[at] = bad;
            for (const bool avx2 : {false, CpuHasAvx2()}) {
                std::vector<std::int64_t> out(values.size());
                EXPECT_FALSE(RoundLevelSums(values.data(), static_cast<int>(values.size()), 0.25,
                                            avx2, out.data()))
                    << bad << " at " << at << " avx2=" << avx2;
                EXPECT_EQ(out[at == 1 ? 6 : 1], at == 1 ? 7 : 2);
            }
        }
    }
}

TEST(FftLevelSum, SmoothSizesAreEvenAndHaveOnlySmallFactors) {
    const std::pair<int, int> cases[] = {{1, 2},       {2, 2},       {7, 8},
                                         {3080, 3200}, {4080, 4096}, {4120, 4320},
                                         {6120, 6144}, {97, 100},    {4026, 4096}};
    for (const auto& [atLeast, expected] : cases) {
        EXPECT_EQ(FftSmoothSize(atLeast), expected) << atLeast;
    }
}

}  // namespace
}  // namespace zelqor
