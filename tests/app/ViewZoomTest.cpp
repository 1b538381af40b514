// The shared view of the image pages: fit, zoom steps, the mapping both ways, clamping, and
// pictures of another size than the scene.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ViewZoom.h"

namespace zelqor {
namespace {

constexpr Size kPage{1000, 800};
const ViewFrame kPhoto{{6000, 4000}, kPage};
const ViewFrame kTiny{{1, 1}, kPage};
const ViewFrame kStrip{{30000, 200}, kPage};
const ViewFrame kFrames[] = {kPhoto, kTiny, kStrip, {{640, 480}, kPage}, {{997, 3001}, kPage}};

ViewZoom At(int step, const ViewFrame& frame) {
    ViewZoom zoom;
    EXPECT_TRUE(zoom.ZoomTo(step, frame));
    return zoom;
}

// At fit every picture, the scene or a result of another size, keeps the rectangle it always
// had; at every step the scene fills its zoomed size, centred where it fits and flush with the
// page where it does not, and the two mappings undo each other.
TEST(ViewZoom, FitAndEveryStepMapBothWaysAndKeepTheEdges) {
    const Rect page{0, 0, kPage.width, kPage.height};
    for (const ViewFrame& f : kFrames) {
        for (const Size picture : {f.scene, Size{509, 382}, Size{1200, 3}}) {
            EXPECT_EQ(ViewZoom().Place(picture, f).shown,
                      FitRect(page, picture.width, picture.height));
        }
        for (int step = 0; step < static_cast<int>(kZoomSteps.size()); ++step) {
            SCOPED_TRACE(std::to_string(f.scene.width) + " step " + std::to_string(step));
            const ViewZoom zoom = At(step, f);
            const Rect r = zoom.SceneRect(f);
            const ZoomFactor z = kZoomSteps[step];
            const auto axis = [&](int start, int length, int scene, int pageLength) {
                EXPECT_EQ(length, std::max(1L, std::lround(double(scene) * z.num / z.den)));
                if (length <= pageLength) {
                    EXPECT_EQ(start, (pageLength - length) / 2);
                } else {
                    EXPECT_LE(start, 0);
                    EXPECT_GE(start + length, pageLength);
                }
            };
            axis(r.left, r.Width(), f.scene.width, kPage.width);
            axis(r.top, r.Height(), f.scene.height, kPage.height);
            const PointD s{f.scene.width / 3.0, f.scene.height / 7.0};
            const PointD back = zoom.PageToScene(zoom.SceneToPage(s, f), f);
            EXPECT_NEAR(back.x, s.x, 1e-9 * f.scene.width);
            EXPECT_NEAR(back.y, s.y, 1e-9 * f.scene.height);
        }
    }
}

// The scene point under the pointer stays under it, to within the half pixel that keeps the
// picture on the device grid, where no edge of the picture holds the view back.
TEST(ViewZoom, PointUnderThePointerStaysPut) {
    struct Case {
        int fromStep;  // -1: fit
        int steps;
        PointD pointer;
    } cases[] = {{-1, 1, {500, 400}},  {-1, 1, {310, 555}}, {8, 3, {700, 250}},
                 {11, -1, {640, 410}}, {5, 2, {333, 333}},  {-1, 13, {1, 700}}};
    for (const Case& c : cases) {
        ViewZoom zoom = c.fromStep >= 0 ? At(c.fromStep, kPhoto) : ViewZoom();
        zoom.PanBy(-150, 90, kPhoto);  // somewhere inside, so that no edge interferes
        const PointD scene = zoom.PageToScene(c.pointer, kPhoto);
        ASSERT_TRUE(zoom.StepAbout(c.steps, c.pointer, kPhoto));
        EXPECT_NEAR(zoom.SceneToPage(scene, kPhoto).x, c.pointer.x, 0.5) << c.fromStep;
        EXPECT_NEAR(zoom.SceneToPage(scene, kPhoto).y, c.pointer.y, 0.5) << c.fromStep;
    }
}

TEST(ViewZoom, PanStopsAtTheEdgesAndASmallPictureStaysCentred) {
    ViewZoom zoom = At(kActualPixelsStep, kPhoto);  // from fit: about the picture's centre
    EXPECT_EQ(zoom.SceneRect(kPhoto), (Rect{-2500, -1600, 3500, 2400}));
    EXPECT_TRUE(zoom.PanBy(1e7, 1e7, kPhoto));
    EXPECT_EQ(zoom.SceneRect(kPhoto), (Rect{0, 0, 6000, 4000}));
    EXPECT_FALSE(zoom.PanBy(5, 5, kPhoto)) << "already at the edge";
    EXPECT_TRUE(zoom.PanBy(-10, 0, kPhoto)) << "the centre was held, not left beyond the edge";
    EXPECT_EQ(zoom.SceneRect(kPhoto).left, -10);
    EXPECT_TRUE(zoom.PanBy(-1e7, -1e7, kPhoto));
    EXPECT_EQ(zoom.SceneRect(kPhoto), (Rect{-5000, -3200, 1000, 800}));
    ASSERT_TRUE(zoom.ZoomTo(kActualPixelsStep + 1, kPhoto));  // about the current centre
    EXPECT_EQ(zoom.SceneRect(kPhoto), (Rect{-10500, -6800, 1500, 1200}));

    ViewZoom tiny = At(static_cast<int>(kZoomSteps.size()) - 1, kTiny);
    EXPECT_EQ(tiny.SceneRect(kTiny), (Rect{492, 392, 508, 408}));
    EXPECT_FALSE(tiny.CanPan(kTiny) || tiny.PanBy(100, 100, kTiny));
    EXPECT_FALSE(ViewZoom().CanPan(kPhoto)) << "fit";
}

// Steps from fit go to the nearest step past the fit's zoom; past either end nothing changes.
// The middle-click toggle goes from fit to 100 % and from any zoom back to fit.
TEST(ViewZoom, StepsFromFitAndAtBothEnds) {
    struct Case {
        const char* name;
        ViewFrame frame;
        int fromStep;  // -1: fit
        int steps;     // 0: the toggle
        int wantStep;  // -1: fit
        bool changed;
    } cases[] = {
        {"photo fit 16.7 %, in", kPhoto, -1, 1, 4, true},
        {"photo fit 16.7 %, out", kPhoto, -1, -1, 2, true},
        {"photo fit 16.7 %, two in", kPhoto, -1, 2, 5, true},
        {"strip fit 3.3 %, in", kStrip, -1, 1, 0, true},
        {"strip fit 3.3 %, out", kStrip, -1, -1, -1, false},
        {"1 x 1 fit 80000 %, in", kTiny, -1, 1, -1, false},
        {"1 x 1 fit, out", kTiny, -1, -1, 13, true},
        {"1600 %, in", kPhoto, 13, 1, 13, false},
        {"8.33 %, out five", kPhoto, 1, -5, 0, true},
        {"fit on a step: 1200 x 800 in 600 x 400", {{1200, 800}, {600, 400}}, -1, 1, 7, true},
        {"empty scene", {{0, 0}, kPage}, -1, 1, -1, false},
        {"toggle from fit", kPhoto, -1, 0, kActualPixelsStep, true},
        {"toggle from 400 %", kPhoto, 11, 0, -1, true},
    };
    for (const Case& c : cases) {
        ViewZoom zoom = c.fromStep >= 0 ? At(c.fromStep, c.frame) : ViewZoom();
        const bool changed = c.steps == 0 ? zoom.ToggleActualAbout(PointD{250, 600}, c.frame)
                                          : zoom.StepBy(c.steps, c.frame);
        EXPECT_EQ(changed, c.changed) << c.name;
        EXPECT_EQ(zoom.Step(), c.wantStep) << c.name;
    }
}

// A preview or a fixed long side covers the very rectangle the source covers at every zoom, so
// switching pages shows the same spot at the same size; enlarged, its pixels are crisp.
TEST(ViewZoom, ResultsOfAnotherSizeCoverTheSceneRectangle) {
    const Size pictures[] = {{6000, 4000}, {1000, 667}, {1200, 800}, {2112, 1408}, {509, 339}};
    for (int step : {0, 3, 4, 7, kActualPixelsStep, 11, 13}) {
        ViewZoom zoom = At(step, kPhoto);
        zoom.PanBy(-1234, 567, kPhoto);
        const Rect scene = zoom.SceneRect(kPhoto);
        for (const Size picture : pictures) {
            const PicturePlacement place = zoom.Place(picture, kPhoto);
            EXPECT_EQ(place.shown, scene) << step << ": " << picture.width;
            EXPECT_EQ(place.crisp, scene.Width() >= picture.width) << step << ": " << picture.width;
        }
    }
    // A 2112-pixel result shown at the source's 100 %; the field's other texts.
    EXPECT_EQ(PercentText(At(kActualPixelsStep, kPhoto).Percent(Size{2112, 1408}, kPhoto)), "284%");
    EXPECT_EQ(PercentText(At(1, kPhoto).Percent(kPhoto.scene, kPhoto)), "8.33%");
    EXPECT_EQ(PercentText(ViewZoom().Percent(kPhoto.scene, kPhoto)), "16.7%");
    EXPECT_EQ(PercentText(9.999) + PercentText(99.96), "10%100%");
}

}  // namespace
}  // namespace zelqor
