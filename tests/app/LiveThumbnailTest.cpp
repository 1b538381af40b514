// The options page's live thumbnail without widgets: a queue stands for the window's thread.
#include <gtest/gtest.h>

#include "../engine/TestImages.h"
#include "LiveThumbnail.h"
#include "QueueHost.h"

namespace zelqor {
namespace {

class LiveThumbnailTest : public ::testing::Test {
  protected:
    LiveThumbnailTest() { thumb.SetArea(kArea.right, kArea.bottom); }

    void Settle() {
        while (!thumb.Idle()) {
            host.RunOne();
        }
    }
    // A preview run fitted into the thumbnail's area, with the options' values.
    WorkingBitmap PreviewRun() const {
        struct : RunObserver {
            bool Poll(int, int) override { return false; }
        } quiet;
        WorkingBitmap out;
        ProcessingRun().MakeProcessedImage(doc.BitmapSrc(), 0, kArea, ValuesAt(options).run, out,
                                           quiet);
        return out;
    }

    static constexpr Rect kArea{0, 0, 120, 90};
    Document doc;
    OptionPositions options = StartPositions();
    QueueHost host;
    LiveThumbnail thumb{doc, options, host};
};

TEST_F(LiveThumbnailTest, EqualsAPreviewRunAtItsSizeAndShowsInTheStyle) {
    doc.SetSource(test_images::Noise(300, 200, 5));
    options[ParamId::CalcSize] = 0;  // divisor 50: radius 3 at the thumbnail's size, 6 at full
    options.luminance = false;
    thumb.Refresh();
    Settle();
    const WorkingBitmap expected = PreviewRun();
    EXPECT_EQ(thumb.Picture(), expected);
    const Rgb tint{228, 128, 28};
    for (const StyleCode code :
         {StyleCode(kViewDefault), StyleCode(kViewSepia, 2), StyleCode(kViewColorish)}) {
        WorkingBitmap buffer(120, 90);  // black stands for the face colour
        thumb.Paint(buffer, kArea, kArea, code, tint);
        WorkingBitmap styled = expected;
        MakeViewBitmapAll(&styled, code, tint);
        // 120 x 80, centred: a band of the background, never styled, above and below.
        EXPECT_EQ(buffer.Pixel(0, 4), 0u);
        EXPECT_EQ(buffer.Pixel(60, 5), styled.Pixel(60, 0)) << code.Tag();
        EXPECT_EQ(buffer.Pixel(119, 84), styled.Pixel(119, 79)) << code.Tag();
    }
}

TEST_F(LiveThumbnailTest, OneUpdatePerBurstWithTheLastValuesNoneDuringARunAndOneAfter) {
    doc.SetSource(test_images::Noise(240, 180, 6));
    doc.SetResult(test_images::Uniform(10, 10, MakePixel(1, 2, 3)));
    const std::uint64_t generations[] = {doc.SrcGeneration(), doc.DstGeneration()};
    for (const bool jobDone : {false, true}) {
        host.changes = 0;
        for (int position = 0; position <= 10; position += 2) {
            options[ParamId::StdBrightness] = position;
            options[ParamId::HdrStrength] = jobDone ? 10 - position : position;
            thumb.Refresh();
            if (jobDone && position == 0) {
                host.RunOne();       // the first change's job starts
                host.RunOne(false);  // and ends before the window's thread takes its picture
            }
        }
        Settle();
        EXPECT_EQ(host.changes, 1) << jobDone;
        EXPECT_EQ(thumb.Picture(), PreviewRun()) << jobDone;
    }
    {
        const Document::Lock run(doc);
        options[ParamId::HdrEnhancer] = 0;
        thumb.Refresh();
        Settle();
        EXPECT_EQ(host.changes, 1);
    }
    thumb.Refresh();  // as the window does when the run ends
    Settle();
    EXPECT_EQ(host.changes, 2);
    EXPECT_EQ(thumb.Picture(), PreviewRun());
    EXPECT_EQ(doc.BitmapDst(), test_images::Uniform(10, 10, MakePixel(1, 2, 3)));
    EXPECT_EQ(doc.SrcGeneration(), generations[0]);
    EXPECT_EQ(doc.DstGeneration(), generations[1]);
}

TEST_F(LiveThumbnailTest, FollowsANewSourceEvenMidReductionAndIsEmptyWithoutOne) {
    doc.SetSource(test_images::Noise(1200, 900, 8));
    host.RunOne();  // the reduction of the first source is under way
    doc.SetSource(test_images::Noise(90, 300, 9));
    Settle();
    EXPECT_EQ(thumb.Picture(), PreviewRun());
    doc.SetSource(WorkingBitmap{});
    Settle();
    EXPECT_FALSE(thumb.Picture().HoldsImage());
    WorkingBitmap buffer(120, 90);
    thumb.Paint(buffer, kArea, kArea, StyleCode(kViewSepia, 0), Rgb{});
    EXPECT_EQ(buffer, WorkingBitmap(120, 90)) << "nothing drawn on the background";
}

}  // namespace
}  // namespace zelqor
