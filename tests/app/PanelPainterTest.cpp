// Panel painting against a pixel-by-pixel model, with and without the fitted-image cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "ColourReference.h"
#include "PanelPainter.h"
#include "ScaleBitmap.h"

namespace zelqor {
namespace {

constexpr std::uint32_t kBackground = MakePixel(200, 100, 50, 0x7F);
constexpr Rgb kTint{228, 128, 28};

WorkingBitmap Noise(int w, int h, unsigned seed) {
    WorkingBitmap b(w, h);
    std::mt19937 rng(seed);
    for (int i = 0; i < w * h; ++i) {
        b.Data()[i] = static_cast<std::uint32_t>(rng());
    }
    return b;
}

WorkingBitmap Blank(const Rect& update) {
    WorkingBitmap b(update.Width(), update.Height());
    std::fill(b.Data(), b.Data() + b.Width() * b.Height(), kBackground);
    return b;
}

// Each buffer pixel on its own: the fitted image's pixel under the style, then converted when
// there is a colour transform, or the background.
WorkingBitmap Model(const Rect& update,
                    const Rect& client,
                    const WorkingBitmap& image,
                    int code,
                    const ColourTransform* colour = nullptr) {
    WorkingBitmap out = Blank(update);
    const Rect fit = FitRect(client, image);
    const WorkingBitmap fitted = ScaleBitmap(image, fit.Width(), fit.Height());
    for (int y = update.top; y < update.bottom; ++y) {
        for (int x = update.left; x < update.right; ++x) {
            if (x >= fit.left && x < fit.right && y >= fit.top && y < fit.bottom) {
                WorkingBitmap one(1, 1);
                one.SetPixel(0, 0, fitted.Pixel(x - fit.left, y - fit.top));
                MakeViewBitmapAll(&one, code, kTint);
                if (colour != nullptr) {
                    colour->ApplyAll(one);
                }
                out.SetPixel(x - update.left, y - update.top, one.Pixel(0, 0));
            }
        }
    }
    return out;
}

struct Shape {
    const char* name;
    Rect client, update;
    int imageW, imageH;
};

const Shape kShapes[] = {
    {"wide image, full page", {0, 0, 40, 30}, {0, 0, 40, 30}, 90, 50},
    {"tall image, full page", {0, 0, 40, 30}, {0, 0, 40, 30}, 50, 90},
    {"update partly outside the fit", {0, 0, 40, 30}, {5, 0, 25, 12}, 90, 50},
    {"update in the background only", {0, 0, 40, 30}, {0, 0, 40, 4}, 90, 50},
    {"update past the page", {0, 0, 40, 30}, {-3, 20, 45, 34}, 90, 50},
    {"empty image", {0, 0, 40, 30}, {0, 0, 40, 30}, 0, 0},
    {"image smaller than the page", {0, 0, 40, 30}, {3, 2, 37, 29}, 7, 9},
    {"page's aspect exactly", {0, 0, 40, 30}, {0, 0, 40, 30}, 80, 60},
    {"fit equals the image", {0, 0, 40, 30}, {0, 0, 40, 30}, 40, 20},
    {"shrunk by one pixel", {0, 0, 40, 30}, {0, 0, 40, 30}, 41, 31},
    {"many source pixels an output", {0, 0, 40, 30}, {0, 0, 40, 30}, 997, 613},
    {"source too narrow to pair", {0, 0, 40, 30}, {0, 0, 40, 30}, 3, 100},
    {"fit tall enough to split", {0, 0, 100, 80}, {0, 0, 100, 80}, 331, 157},
};
const int kCodes[] = {kViewDefault, kViewVivid + 3, kViewSepia + 2, kViewColorish};

// A picture tagged Adobe RGB, shown on an sRGB screen.
SharedTransform AdobeToSrgb() {
    static const SharedTransform t =
        DisplayColour().ToDisplay(test::ColordProfile("AdobeRGB1998.icc"));
    return t;
}

TEST(PanelPainter, CachedAndUncachedMatchTheModel) {
    for (const Shape& s : kShapes) {
        const WorkingBitmap image = Noise(s.imageW, s.imageH, 7);
        PanelPainter painter;  // one for every style and colour, as a page has
        for (const SharedTransform& colour : {SharedTransform{}, AdobeToSrgb()}) {
            for (int code : kCodes) {
                SCOPED_TRACE(std::string(s.name) + ", code " + std::to_string(code) +
                             (colour ? ", tagged" : ""));
                const WorkingBitmap want = Model(s.update, s.client, image, code, colour.get());
                WorkingBitmap plain = Blank(s.update), cached = Blank(s.update);
                PaintFittedImage(plain, s.update, s.client, image, code, kTint, colour);
                painter.Paint(cached, s.update, s.client, image, 1, code, kTint, colour);
                EXPECT_EQ(plain, want);
                EXPECT_EQ(cached, want);
            }
        }
    }
}

TEST(PanelPainter, StyleLeavesTheBackgroundAlone) {
    const Rect client{0, 0, 40, 30};
    const WorkingBitmap image = Noise(50, 90, 3);
    const Rect fit = FitRect(client, image);
    ASSERT_GT(fit.left, 0);  // a pillarboxed page, so there is background to check
    WorkingBitmap buffer = Blank(client);
    PanelPainter().Paint(buffer, client, client, image, 1, kViewSepia + 2, kTint);
    int background = 0;
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) {
            background += buffer.Pixel(x, y) == kBackground;
        }
    }
    EXPECT_EQ(background, client.Width() * client.Height() - fit.Width() * fit.Height());
}

TEST(PanelPainter, PartialRepaintIsTheSameRegionOfAFullOne) {
    const Rect client{0, 0, 40, 30};
    const WorkingBitmap image = Noise(90, 50, 5);
    WorkingBitmap full = Blank(client);
    PaintFittedImage(full, client, client, image, kViewVivid + 3, kTint);
    for (const Rect& update : {Rect{0, 0, 1, 1}, Rect{13, 9, 31, 20}, Rect{39, 29, 40, 30}}) {
        WorkingBitmap part = Blank(update);
        PanelPainter().Paint(part, update, client, image, 1, kViewVivid + 3, kTint);
        for (int y = 0; y < part.Height(); ++y) {
            for (int x = 0; x < part.Width(); ++x) {
                ASSERT_EQ(part.Pixel(x, y), full.Pixel(x + update.left, y + update.top))
                    << update.left << "," << update.top << " + " << x << "," << y;
            }
        }
    }
}

TEST(PanelPainter, CopyIsRebuiltOnlyWhenGenerationOrFitChanges) {
    const Rect client{0, 0, 40, 30};
    const WorkingBitmap first = Noise(90, 50, 11), second = Noise(90, 50, 12);
    struct Case {
        const char* name;
        std::uint64_t generation;
        Rect client;
        bool forget;
        bool showsSecond;
    } cases[] = {
        {"same generation and page: reused", 1, client, false, false},
        {"new generation", 2, client, false, true},
        {"page resized, fit resized", 1, {0, 0, 60, 50}, false, true},
        {"page taller, fit the same: reused", 1, {0, 0, 40, 50}, false, false},
        {"forgotten", 1, client, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PanelPainter painter;
        WorkingBitmap buffer = Blank(client);
        WorkingBitmap image = first;
        painter.Paint(buffer, client, client, image, 1, kViewDefault, kTint);
        image = second;  // pixels changed in place, as a run would
        if (c.forget) {
            painter.Forget();
        }
        buffer = Blank(c.client);
        painter.Paint(buffer, c.client, c.client, image, c.generation, kViewDefault, kTint);
        EXPECT_EQ(buffer, Model(c.client, c.client, c.showsSecond ? second : first, 0));
    }
}

TEST(PanelPainter, FitOfTheImagesOwnSizeDrawsTheImageItself) {
    const Rect client{0, 0, 40, 30};
    WorkingBitmap image = Noise(40, 20, 21);
    PanelPainter painter;
    WorkingBitmap buffer = Blank(client);
    painter.Paint(buffer, client, client, image, 1, kViewDefault, kTint);
    image = Noise(40, 20, 22);
    buffer = Blank(client);
    painter.Paint(buffer, client, client, image, 1, kViewDefault, kTint);
    EXPECT_EQ(buffer, Model(client, client, image, 0));
}

// Each buffer pixel on its own for a placed picture: the run's reduction of the whole picture to
// the shown size, or the picture pixel a device pixel falls in when crisp; styled.
WorkingBitmap PlacedModel(const Rect& update,
                          const PicturePlacement& place,
                          const WorkingBitmap& image,
                          int code,
                          const ColourTransform* colour = nullptr) {
    WorkingBitmap out = Blank(update);
    const Rect& s = place.shown;
    const WorkingBitmap scaled =
        place.crisp ? WorkingBitmap{} : ScaleBitmap(image, s.Width(), s.Height());
    for (int y = std::max(update.top, s.top); y < std::min(update.bottom, s.bottom); ++y) {
        for (int x = std::max(update.left, s.left); x < std::min(update.right, s.right); ++x) {
            WorkingBitmap one(1, 1);
            one.SetPixel(0, 0,
                         place.crisp ? image.Pixel((x - s.left) * image.Width() / s.Width(),
                                                   (y - s.top) * image.Height() / s.Height())
                                     : scaled.Pixel(x - s.left, y - s.top));
            MakeViewBitmapAll(&one, code, kTint);
            if (colour != nullptr) {
                colour->ApplyAll(one);
            }
            out.SetPixel(x - update.left, y - update.top, one.Pixel(0, 0));
        }
    }
    return out;
}

TEST(PanelPainter, ZoomedPicturesMatchTheModel) {
    const Rect client{0, 0, 300, 200};
    struct Case {
        const char* name;
        int imageW, imageH;
        PicturePlacement place;
        Rect update;
    } cases[] = {
        {"reduced, running off every side", 1500, 700, {{-100, -50, 650, 300}, false}, client},
        {"reduced, a strip repainted", 1500, 700, {{-100, -50, 650, 300}, false}, {5, 3, 17, 199}},
        {"reduced, smaller than the page", 1500, 700, {{30, 20, 217, 107}, false}, client},
        {"enlarged 3x, crisp", 200, 150, {{-70, -40, 530, 410}, true}, client},
        {"enlarged by a fraction, crisp", 210, 130, {{-3, -2, 500, 377}, true}, {7, 9, 300, 100}},
        {"one pixel, 16x", 1, 1, {{142, 92, 158, 108}, true}, client},
        {"own size at an offset", 600, 500, {{-100, -70, 500, 430}, false}, client},
        {"update outside the picture", 600, 500, {{150, 120, 750, 620}, false}, {0, 0, 20, 20}},
    };
    for (const Case& c : cases) {
        const WorkingBitmap image = Noise(c.imageW, c.imageH, 31);
        PanelPainter painter;
        for (const SharedTransform& colour : {SharedTransform{}, AdobeToSrgb()}) {
            for (int code : {static_cast<int>(kViewDefault), kViewSepia + 2}) {
                SCOPED_TRACE(std::string(c.name) + ", code " + std::to_string(code) +
                             (colour ? ", tagged" : ""));
                WorkingBitmap buffer = Blank(c.update);
                painter.Paint(buffer, c.update, client, c.place, image, 1, code, kTint, colour);
                EXPECT_EQ(buffer, PlacedModel(c.update, c.place, image, code, colour.get()));
            }
        }
    }
}

// Panning a reduction reuses what it made and lets go of what is far off the page: pixels
// changed in place under the same generation still show the picture as it was made near the
// page, and as it is now once that part went out of reach and came back.
TEST(PanelPainter, PanReusesNearTilesAndHoldsOnlyThem) {
    const Rect client{0, 0, 200, 150};
    WorkingBitmap image = Noise(3000, 2000, 41);
    const WorkingBitmap before = image;
    const int w = 1500, h = 1000;
    const auto at = [&](int left, int top) {
        return PicturePlacement{{left, top, left + w, top + h}, false};
    };
    PanelPainter painter;
    WorkingBitmap buffer = Blank(client);
    constexpr int t = PanelPainter::kTileSize;
    // Tiles the page touches, and the kept margin around them.
    const std::size_t bound = (200 / t + 2 + 4) * (150 / t + 2 + 4);
    for (int left = 0; left > -(w - 200); left -= 37) {
        painter.Paint(buffer, client, client, at(left, -300), image, 1, kViewDefault, kTint);
        ASSERT_LE(painter.TilesHeld(), bound) << left;
    }
    ASSERT_LT(bound, static_cast<std::size_t>((w / t + 1) * (h / t + 1)));

    painter.Paint(buffer, client, client, at(-40, -30), image, 1, kViewDefault, kTint);
    image = Noise(3000, 2000, 42);
    painter.Paint(buffer, client, client, at(-50, -40), image, 1, kViewDefault, kTint);
    EXPECT_EQ(buffer, PlacedModel(client, at(-50, -40), before, 0)) << "near: reused";
    painter.Paint(buffer, client, client, at(-1300, -850), image, 1, kViewDefault, kTint);
    painter.Paint(buffer, client, client, at(-50, -40), image, 1, kViewDefault, kTint);
    EXPECT_EQ(buffer, PlacedModel(client, at(-50, -40), image, 0)) << "far and back: made anew";
}

}  // namespace
}  // namespace zelqor
