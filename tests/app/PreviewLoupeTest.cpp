// The options page's loupe without widgets: its gestures, its region and its pixels against a
// real full-size run.
#include <gtest/gtest.h>

#include "../engine/TestImages.h"
#include "PreviewLoupe.h"
#include "QueueHost.h"

namespace zelqor {
namespace {

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
    WorkingBitmap FullSizeRun(const Rect& r) const {
        struct : RunObserver {
            bool Poll(int, int) override { return false; }
        } quiet;
        const WorkingBitmap& src = doc.BitmapSrc();
        WorkingBitmap out;
        ProcessingRun().MakeProcessedImage(src, std::max(src.Width(), src.Height()), Rect{},
                                           ValuesAt(options).run, out, quiet);
        return test_images::Crop(out, r.left, r.top, r.Width(), r.Height());
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
        Rect region;  // the clicked source pixel in the middle, unless that leaves the source
    };
    const Spot spots[] = {
        {{60, 45}, {141, 106, 261, 196}},  {{0, 0}, {0, 0, 120, 90}},
        {{119, 0}, {280, 0, 400, 90}},     {{0, 89}, {0, 210, 120, 300}},
        {{119, 89}, {280, 210, 400, 300}}, {{60, 2}, {141, 0, 261, 90}},
        {{60, 88}, {141, 210, 261, 300}},  {{1, 45}, {0, 106, 120, 196}},
        {{118, 45}, {280, 106, 400, 196}},
    };
    const StyleCode sepia(kViewSepia, 2);
    // Radius 1 and 8 on the direct path; 5, and 80 on the transform path, ten times the size.
    for (const int scale : {1, 10}) {
        doc.SetSource(test_images::Noise(400 * scale, 300 * scale, 11));
        for (const int calcSize : {10, 0}) {
            options[ParamId::CalcSize] = calcSize;
            const WorkingBitmap full = FullSizeRun(Rect{0, 0, 400 * scale, 300 * scale});
            for (const Spot& spot : spots) {
                Click(spot.click);
                Settle();
                ASSERT_TRUE(loupe.Showing());
                const Rect r = loupe.Region();
                if (scale == 1) {
                    EXPECT_EQ(r, spot.region) << spot.click.x << "," << spot.click.y;
                }
                WorkingBitmap expected = test_images::Crop(full, r.left, r.top, 120, 90);
                EXPECT_EQ(loupe.Picture(), expected) << scale << " " << calcSize;
                WorkingBitmap buffer(120, 90);
                loupe.Paint(buffer, kArea, kArea, sepia, Rgb{});
                MakeViewBitmapAll(&expected, sepia, Rgb{});
                EXPECT_EQ(buffer, expected);
                Click(spot.click);  // back to the thumbnail
                EXPECT_FALSE(loupe.Active());
            }
        }
    }
}

TEST_F(PreviewLoupeTest, ADragMovesTheSpotADoubleClickOrADragIsNoClickAndEscCloses) {
    doc.SetSource(test_images::Noise(400, 300, 21));
    loupe.Pressed({60, 45});  // a double-click: the second press drops the waiting click
    EXPECT_TRUE(loupe.Released({60, 45}));
    loupe.DoubleClicked();
    EXPECT_FALSE(loupe.Released({60, 45}));
    loupe.ClickSettled();
    loupe.Pressed({60, 45});  // a drag on the thumbnail
    loupe.Moved({60 + PreviewLoupe::kClickSlop + 1, 45});
    EXPECT_FALSE(loupe.Released({70, 45}));
    EXPECT_FALSE(loupe.Active());
    EXPECT_FALSE(loupe.Escape());

    Click({60, 45});
    // The picture moves with the hand: a drag right and up shows what lies left and below.
    loupe.Pressed({50, 50});
    loupe.Moved({52, 49});  // within the slop: still a click
    EXPECT_EQ(loupe.Region(), (Rect{141, 106, 261, 196}));
    loupe.Moved({80, 30});
    EXPECT_EQ(loupe.Region(), (Rect{111, 126, 231, 216}));
    loupe.Moved({50 + 500, 50});  // far past the left edge: it stops there
    EXPECT_EQ(loupe.Region(), (Rect{0, 106, 120, 196}));
    loupe.Moved({50 + 100, 50});  // the grabbed point is under the hand again once in reach
    EXPECT_EQ(loupe.Region(), (Rect{41, 106, 161, 196}));
    EXPECT_FALSE(loupe.Released({50 + 100, 50}));
    Settle();
    const WorkingBitmap picture = loupe.Picture();
    EXPECT_EQ(picture, FullSizeRun(loupe.Region()));
    // While the next picture is made, the last one is drawn where its pixels now lie.
    loupe.Pressed({10, 10});
    loupe.Moved({0, 10});
    EXPECT_EQ(loupe.Region().left, 51);
    WorkingBitmap buffer(120, 90);
    loupe.Paint(buffer, kArea, kArea, StyleCode(kViewDefault), Rgb{});
    EXPECT_EQ(buffer.Pixel(0, 5), picture.Pixel(10, 5));
    EXPECT_EQ(buffer.Pixel(110, 5), 0u);
    loupe.Released({0, 10});

    EXPECT_TRUE(loupe.Escape());
    EXPECT_FALSE(loupe.Showing());
    buffer = WorkingBitmap(120, 90);
    loupe.Paint(buffer, kArea, kArea, StyleCode(kViewDefault), Rgb{});
    EXPECT_EQ(buffer, WorkingBitmap(120, 90)) << "closed: the thumbnail is painted instead";
}

TEST_F(PreviewLoupeTest, FollowsTheSlidersOnceABurstHeldBackInARunAndLeavesTheDocumentAlone) {
    doc.SetSource(test_images::Noise(400, 300, 31));
    doc.SetResult(test_images::Uniform(10, 10, MakePixel(1, 2, 3)));
    const std::uint64_t generations[] = {doc.SrcGeneration(), doc.DstGeneration()};
    Click({30, 30});
    Settle();
    host.changes = 0;
    for (int position = 0; position <= 10; position += 2) {
        options[ParamId::StdBrightness] = position;
        options[ParamId::CalcSize] = 10 - position;
        loupe.Refresh();
    }
    Settle();
    EXPECT_EQ(host.changes, 1);
    EXPECT_EQ(loupe.Picture(), FullSizeRun(loupe.Region()));
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
    EXPECT_EQ(loupe.Picture(), FullSizeRun(loupe.Region()));
    EXPECT_EQ(doc.BitmapDst(), test_images::Uniform(10, 10, MakePixel(1, 2, 3)));
    EXPECT_EQ(doc.SrcGeneration(), generations[0]);
    EXPECT_EQ(doc.DstGeneration(), generations[1]);
}

TEST_F(PreviewLoupeTest, ANewSourceReturnsToTheThumbnailAndASmallSourceIsCentredWhole) {
    { PreviewLoupe gone(doc, options, host); }  // a listener that is gone is not told
    doc.SetSource(test_images::Noise(1200, 900, 41));
    Click({60, 45});
    host.RunOne();  // the loupe's work is under way
    doc.SetSource(test_images::Noise(80, 50, 42));
    EXPECT_FALSE(loupe.Active());
    Settle();
    EXPECT_EQ(thumb.Picture().Height(), 75) << "the thumbnail heard of the new source too";

    Click({60, 45});  // smaller than the panel: the whole source, centred
    Settle();
    EXPECT_EQ(loupe.Region(), (Rect{0, 0, 80, 50}));
    const WorkingBitmap expected = FullSizeRun(Rect{0, 0, 80, 50});
    // A repaint of part of the panel: buffer pixel (0, 0) is the update's corner.
    WorkingBitmap part(91, 61);
    loupe.Paint(part, Rect{10, 10, 101, 71}, kArea, StyleCode(kViewDefault), Rgb{});
    EXPECT_EQ(part.Pixel(9, 10), 0u);
    EXPECT_EQ(part.Pixel(10, 10), expected.Pixel(0, 0));
    EXPECT_EQ(part.Pixel(89, 59), expected.Pixel(79, 49));
    EXPECT_EQ(part.Pixel(90, 59), 0u);
    EXPECT_EQ(part.Pixel(89, 60), 0u);

    doc.SetSource(WorkingBitmap{});
    loupe.Pressed({60, 45});
    loupe.Released({60, 45});
    loupe.ClickSettled();
    EXPECT_FALSE(loupe.Active()) << "nothing to look at";
}

}  // namespace
}  // namespace zelqor
