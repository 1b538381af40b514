// The options page's loupe without widgets: its gestures, its region and its pixels against a
// real full-size run.
#include <gtest/gtest.h>

#include "../engine/TestImages.h"
#include "PreviewLoupe.h"
#include "QueueHost.h"

namespace zelqor {
namespace {

WorkingBitmap Crop(const WorkingBitmap& image, const Rect& r) {
    WorkingBitmap out(r.Width(), r.Height());
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            out.SetPixel(x - r.left, y - r.top, image.Pixel(x, y));
        }
    }
    return out;
}

class PreviewLoupeTest : public ::testing::Test {
  protected:
    PreviewLoupeTest() {
        loupe.SetArea(kArea.right, kArea.bottom);
        thumb.SetArea(kArea.right, kArea.bottom);
    }

    void Settle() {
        while (!loupe.Idle() || !thumb.Idle()) {
            host.RunOne();
        }
    }
    void Click(PanelPoint at) {
        loupe.Pressed(at);
        ASSERT_TRUE(loupe.Released(at));
        loupe.ClickSettled();
    }
    // The region of a full-size run (Ctrl+F) with the options' values.
    WorkingBitmap FullSizeRun(const Rect& region) const {
        struct : RunObserver {
            bool Poll(int, int) override { return false; }
        } quiet;
        const WorkingBitmap& src = doc.BitmapSrc();
        WorkingBitmap out;
        ProcessingRun().MakeProcessedImage(src, std::max(src.Width(), src.Height()), Rect{},
                                           ValuesAt(options).run, out, quiet);
        return Crop(out, region);
    }

    // A 400 x 300 source fits the 120 x 90 panel exactly: one panel pixel is 10/3 source pixels.
    static constexpr Rect kArea{0, 0, 120, 90};
    Document doc;
    OptionPositions options = StartPositions();
    QueueHost host;
    LiveThumbnail thumb{doc, options, host};
    PreviewLoupe loupe{doc, options, host};
};

TEST_F(PreviewLoupeTest, ShowsTheFullSizeRunAroundTheClickedPointInTheStyle) {
    struct Spot {
        PanelPoint click;
        Rect region;
    };
    // The clicked point's source pixel is the region's centre, unless that would leave the source.
    const Spot spots[] = {
        {{60, 45}, {141, 106, 261, 196}},  // centre
        {{0, 0}, {0, 0, 120, 90}},         // corners
        {{119, 0}, {280, 0, 400, 90}},     {{0, 89}, {0, 210, 120, 300}},
        {{119, 89}, {280, 210, 400, 300}}, {{60, 2}, {141, 0, 261, 90}},  // edges
        {{60, 88}, {141, 210, 261, 300}},  {{1, 45}, {0, 106, 120, 196}},
        {{118, 45}, {280, 106, 400, 196}},
    };
    const Rgb tint{228, 128, 28};
    struct Setting {
        int scale;     // the source is 400 x 300 times this
        int calcSize;  // 10: divisor 800; 0: divisor 50
    };
    // Radius 1 and 8 (direct), 5 (direct) and 80 (transform tiles) on a photo ten times the size.
    for (const Setting setting : {Setting{1, 10}, Setting{1, 0}, Setting{10, 10}, Setting{10, 0}}) {
        const int w = 400 * setting.scale;
        const int h = 300 * setting.scale;
        doc.SetSource(test_images::Noise(w, h, 11));
        options[ParamId::CalcSize] = setting.calcSize;
        const WorkingBitmap full = FullSizeRun(Rect{0, 0, w, h});
        for (const Spot& spot : spots) {
            // The same arithmetic as the table, for the larger photo.
            const int x = ((2 * spot.click.x + 1) * w) / 240;
            const int y = ((2 * spot.click.y + 1) * h) / 180;
            const int left = std::clamp(x - 60, 0, w - 120);
            const int top = std::clamp(y - 45, 0, h - 90);
            const Rect region =
                setting.scale == 1 ? spot.region : Rect{left, top, left + 120, top + 90};
            Click(spot.click);
            Settle();
            ASSERT_TRUE(loupe.Showing());
            EXPECT_EQ(loupe.Region(), region) << spot.click.x << "," << spot.click.y;
            const WorkingBitmap expected = Crop(full, region);
            EXPECT_EQ(loupe.Picture(), expected) << setting.scale << " " << setting.calcSize;
            WorkingBitmap buffer(120, 90);
            loupe.Paint(buffer, kArea, kArea, StyleCode(kViewSepia, 2), tint);
            WorkingBitmap styled = expected;
            MakeViewBitmapAll(&styled, StyleCode(kViewSepia, 2), tint);
            EXPECT_EQ(buffer, styled);
            Click(spot.click);  // back to the thumbnail
            EXPECT_FALSE(loupe.Active());
        }
    }
}

TEST_F(PreviewLoupeTest, ADragMovesTheSpotADoubleClickOrADragIsNoClickAndEscCloses) {
    doc.SetSource(test_images::Noise(400, 300, 21));
    // A double-click: the first click waits, the second press drops it.
    loupe.Pressed({60, 45});
    EXPECT_TRUE(loupe.Released({60, 45}));
    loupe.DoubleClicked();
    EXPECT_FALSE(loupe.Released({60, 45}));
    loupe.ClickSettled();
    EXPECT_FALSE(loupe.Active());
    // A drag on the thumbnail moves nothing and is no click.
    loupe.Pressed({60, 45});
    loupe.Moved({60 + PreviewLoupe::kClickSlop + 1, 45});
    EXPECT_FALSE(loupe.Released({70, 45}));
    EXPECT_FALSE(loupe.Escape());

    Click({60, 45});
    ASSERT_TRUE(loupe.Active());
    EXPECT_EQ(loupe.Region(), (Rect{141, 106, 261, 196}));
    // The picture moves with the hand: a drag right and up shows what lies left and below.
    loupe.Pressed({50, 50});
    loupe.Moved({52, 49});  // within the slop: still a click
    EXPECT_EQ(loupe.Region(), (Rect{141, 106, 261, 196}));
    loupe.Moved({80, 30});
    EXPECT_EQ(loupe.Region(), (Rect{111, 126, 231, 216}));
    loupe.Moved({50 + 500, 50});  // far past the left edge: it stops there
    EXPECT_EQ(loupe.Region(), (Rect{0, 106, 120, 196}));
    loupe.Moved({50 + 100, 50});  // the grabbed point stays under the hand once back in reach
    EXPECT_EQ(loupe.Region(), (Rect{41, 106, 161, 196}));
    EXPECT_FALSE(loupe.Released({50 + 100, 50}));
    Settle();
    EXPECT_EQ(loupe.Picture(), FullSizeRun(loupe.Region()));
    EXPECT_EQ(loupe.PictureRegion(), loupe.Region());
    loupe.Pressed({10, 10});
    loupe.Moved({0, 10});
    EXPECT_EQ(loupe.Region().left, 51);
    loupe.Released({0, 10});

    EXPECT_TRUE(loupe.Escape());
    EXPECT_FALSE(loupe.Active());
    EXPECT_FALSE(loupe.Showing());
    WorkingBitmap buffer(120, 90);
    loupe.Paint(buffer, kArea, kArea, StyleCode(kViewDefault), Rgb{});
    EXPECT_EQ(buffer, WorkingBitmap(120, 90)) << "closed: the thumbnail is painted instead";
}

TEST_F(PreviewLoupeTest, FollowsTheSlidersOnceABurstHeldBackInARunAndLeavesTheDocumentAlone) {
    doc.SetSource(test_images::Noise(400, 300, 31));
    doc.SetResult(test_images::Uniform(10, 10, MakePixel(1, 2, 3)));
    const std::uint64_t generations[] = {doc.SrcGeneration(), doc.DstGeneration()};
    Click({30, 30});
    Settle();
    ASSERT_TRUE(loupe.Showing());
    const Rect region = loupe.Region();
    host.changes = 0;
    for (int position = 0; position <= 10; position += 2) {
        options[ParamId::StdBrightness] = position;
        options[ParamId::CalcSize] = 10 - position;
        loupe.Refresh();
    }
    Settle();
    EXPECT_EQ(host.changes, 1);
    EXPECT_EQ(loupe.Picture(), FullSizeRun(region));
    {
        const Document::Lock run(doc);
        options[ParamId::HdrStrength] = 0;
        loupe.Refresh();
        Settle();
        EXPECT_EQ(host.changes, 1);
    }
    loupe.Refresh();  // as the window does when the run ends
    Settle();
    EXPECT_EQ(host.changes, 2);
    EXPECT_EQ(loupe.Picture(), FullSizeRun(region));
    EXPECT_EQ(doc.BitmapDst(), test_images::Uniform(10, 10, MakePixel(1, 2, 3)));
    EXPECT_EQ(doc.SrcGeneration(), generations[0]);
    EXPECT_EQ(doc.DstGeneration(), generations[1]);
}

TEST_F(PreviewLoupeTest, ANewSourceReturnsToTheThumbnailAndASmallSourceIsCentredWhole) {
    {
        // A listener that is gone is not told.
        PreviewLoupe gone(doc, options, host);
    }
    doc.SetSource(test_images::Noise(1200, 900, 41));
    Click({60, 45});
    host.RunOne();  // the loupe's work is under way
    doc.SetSource(test_images::Noise(80, 50, 42));
    EXPECT_FALSE(loupe.Active());
    Settle();
    // Fitted, as a preview run would be: 120 x 75 where the first source gave 120 x 90.
    EXPECT_EQ(thumb.Picture().Height(), 75) << "the thumbnail heard of the new source too";

    // Smaller than the panel: the whole source, centred on the background.
    Click({60, 45});
    Settle();
    ASSERT_TRUE(loupe.Showing());
    EXPECT_EQ(loupe.Region(), (Rect{0, 0, 80, 50}));
    WorkingBitmap buffer(120, 90);
    loupe.Paint(buffer, kArea, kArea, StyleCode(kViewDefault), Rgb{});
    const WorkingBitmap expected = FullSizeRun(Rect{0, 0, 80, 50});
    EXPECT_EQ(buffer.Pixel(19, 20), 0u);
    EXPECT_EQ(buffer.Pixel(20, 20), expected.Pixel(0, 0));
    EXPECT_EQ(buffer.Pixel(99, 69), expected.Pixel(79, 49));
    EXPECT_EQ(buffer.Pixel(100, 69), 0u);
    // A repaint of a part of the panel: buffer pixel (0, 0) is the update's corner.
    WorkingBitmap part(30, 10);
    loupe.Paint(part, Rect{90, 60, 120, 70}, kArea, StyleCode(kViewDefault), Rgb{});
    EXPECT_EQ(part.Pixel(9, 9), expected.Pixel(79, 49));
    EXPECT_EQ(part.Pixel(10, 9), 0u);

    doc.SetSource(WorkingBitmap{});
    loupe.Pressed({60, 45});
    loupe.Released({60, 45});
    loupe.ClickSettled();
    EXPECT_FALSE(loupe.Active()) << "nothing to look at";
}

}  // namespace
}  // namespace zelqor
