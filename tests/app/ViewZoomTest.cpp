// The shared view of the image pages: fit, zoom steps, the mapping both ways, clamping, and
// pictures of another size than the scene.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ViewZoom.h"

namespace zelqor {
namespace {

constexpr Size kPage{1000, 800};
const ViewFrame kPhoto{{6000, 4000}, kPage};
const ViewFrame kTiny{{1, 1}, kPage};
const ViewFrame kStrip{{30000, 200}, kPage};
const ViewFrame kFrames[] = {kPhoto, kTiny, kStrip, {{640, 480}, kPage}, {{997, 3001}, kPage}};

std::string Name(const ViewFrame& f) {
    return std::to_string(f.scene.width) + "x" + std::to_string(f.scene.height);
}

ViewZoom At(int step, const ViewFrame& frame) {
    ViewZoom zoom;
    EXPECT_TRUE(zoom.ZoomTo(step, frame));
    return zoom;
}

TEST(ViewZoom, FitIsTodaysRectangleForEveryPicture) {
    for (const ViewFrame& f : kFrames) {
        const ViewZoom zoom;
        const Rect page{0, 0, f.page.width, f.page.height};
        EXPECT_EQ(zoom.SceneRect(f), FitRect(page, f.scene.width, f.scene.height)) << Name(f);
        // A result of another size keeps its own fit, as the page drew it before.
        for (const Size picture : {f.scene, Size{509, 382}, Size{1200, 3}}) {
            const PicturePlacement place = zoom.Place(picture, f);
            EXPECT_EQ(place.shown, FitRect(page, picture.width, picture.height));
            EXPECT_FALSE(place.crisp);
        }
    }
    EXPECT_EQ(ViewZoom().Place(Size{0, 0}, kPhoto).shown, Rect{});
}

// At every step the scene fills its zoomed size on whole device pixels, centred when it fits,
// without a gap at the edges when it does not, and the two mappings undo each other.
TEST(ViewZoom, EveryStepMapsBothWaysAndKeepsTheEdges) {
    for (const ViewFrame& f : kFrames) {
        for (int step = 0; step < static_cast<int>(kZoomSteps.size()); ++step) {
            SCOPED_TRACE(Name(f) + " step " + std::to_string(step));
            const ViewZoom zoom = At(step, f);
            const Rect r = zoom.SceneRect(f);
            const ZoomFactor z = kZoomSteps[step];
            EXPECT_EQ(r.Width(), std::max(1L, std::lround(double(f.scene.width) * z.num / z.den)));
            EXPECT_EQ(r.Height(),
                      std::max(1L, std::lround(double(f.scene.height) * z.num / z.den)));
            if (r.Width() <= f.page.width) {
                EXPECT_EQ(r.left, (f.page.width - r.Width()) / 2);
            } else {
                EXPECT_LE(r.left, 0);
                EXPECT_GE(r.right, f.page.width);
            }
            if (r.Height() <= f.page.height) {
                EXPECT_EQ(r.top, (f.page.height - r.Height()) / 2);
            } else {
                EXPECT_LE(r.top, 0);
                EXPECT_GE(r.bottom, f.page.height);
            }
            for (const PointD s : {PointD{0, 0}, PointD{f.scene.width / 3.0, f.scene.height / 7.0},
                                   PointD{double(f.scene.width), double(f.scene.height)}}) {
                const PointD back = zoom.PageToScene(zoom.SceneToPage(s, f), f);
                EXPECT_NEAR(back.x, s.x, 1e-6 * f.scene.width);
                EXPECT_NEAR(back.y, s.y, 1e-6 * f.scene.height);
            }
            const PointD corner = zoom.SceneToPage(PointD{0, 0}, f);
            EXPECT_EQ(corner.x, r.left);
            EXPECT_EQ(corner.y, r.top);
        }
    }
}

// The scene point under the pointer stays under it, to within the half pixel that keeps the
// picture on the device grid, unless an edge of the picture holds the view back.
TEST(ViewZoom, PointUnderThePointerStaysPut) {
    struct Case {
        const char* name;
        int fromStep;  // -1: fit
        int steps;
        PointD pointer;
    } cases[] = {
        {"fit, in, middle", -1, 1, {500, 400}},
        {"fit, in, off centre", -1, 1, {310, 555}},
        {"100 %, in", kActualPixelsStep, 1, {123, 456}},
        {"100 %, in three", kActualPixelsStep, 3, {700, 250}},
        {"400 %, out", kActualPixelsStep + 3, -1, {640, 410}},
        {"1/3, in to 2/3", 5, 2, {333, 333}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ViewZoom zoom;
        if (c.fromStep >= 0) {
            zoom = At(c.fromStep, kPhoto);
            // Somewhere inside, so that no edge interferes.
            zoom.PanBy(-150, 90, kPhoto);
        }
        const PointD scene = zoom.PageToScene(c.pointer, kPhoto);
        ASSERT_TRUE(zoom.StepAbout(c.steps, c.pointer, kPhoto));
        const PointD after = zoom.SceneToPage(scene, kPhoto);
        EXPECT_NEAR(after.x, c.pointer.x, 0.5);
        EXPECT_NEAR(after.y, c.pointer.y, 0.5);
    }
    // Near an edge the picture stays flush with the page instead.
    ViewZoom zoom;
    ASSERT_TRUE(zoom.StepAbout(3, PointD{0, 3}, kPhoto));
    EXPECT_EQ(zoom.SceneRect(kPhoto).left, 0);
    EXPECT_EQ(zoom.SceneRect(kPhoto).top, 0);
}

TEST(ViewZoom, PanStopsAtTheEdgesAndASmallPictureStaysCentred) {
    ViewZoom zoom = At(kActualPixelsStep, kPhoto);
    EXPECT_TRUE(zoom.CanPan(kPhoto));
    EXPECT_TRUE(zoom.PanBy(1e7, 1e7, kPhoto));
    EXPECT_EQ(zoom.SceneRect(kPhoto), (Rect{0, 0, 6000, 4000}));
    EXPECT_FALSE(zoom.PanBy(5, 5, kPhoto)) << "already at the edge";
    // Back from the edge at once: the centre was held, not left beyond it.
    EXPECT_TRUE(zoom.PanBy(-10, 0, kPhoto));
    EXPECT_EQ(zoom.SceneRect(kPhoto).left, -10);
    EXPECT_TRUE(zoom.PanBy(-1e7, -1e7, kPhoto));
    EXPECT_EQ(zoom.SceneRect(kPhoto), (Rect{-5000, -3200, 1000, 800}));

    // 30000 x 200 at 6.25 %: wider than the page, lower than it; only across does it move.
    ViewZoom strip = At(0, kStrip);
    const Rect before = strip.SceneRect(kStrip);
    EXPECT_EQ(before.Height(), 13);
    EXPECT_EQ(before.top, (800 - 13) / 2);
    EXPECT_TRUE(strip.PanBy(300, 300, kStrip));
    EXPECT_EQ(strip.SceneRect(kStrip).left, before.left + 300);
    EXPECT_EQ(strip.SceneRect(kStrip).top, before.top);

    ViewZoom tiny = At(static_cast<int>(kZoomSteps.size()) - 1, kTiny);
    EXPECT_EQ(tiny.SceneRect(kTiny), (Rect{492, 392, 508, 408}));
    EXPECT_FALSE(tiny.CanPan(kTiny));
    EXPECT_FALSE(tiny.PanBy(100, 100, kTiny));
    EXPECT_FALSE(ViewZoom().CanPan(kPhoto)) << "fit";
}

// Steps from fit go to the nearest step past the fit's zoom; past either end nothing changes.
TEST(ViewZoom, StepsFromFitAndAtBothEnds) {
    struct Case {
        const char* name;
        ViewFrame frame;
        int fromStep;  // -1: fit
        int steps;
        int wantStep;  // -1: still fit
        bool changed;
    } cases[] = {
        {"photo fit 16.7 %, in", kPhoto, -1, 1, 4, true},
        {"photo fit 16.7 %, out", kPhoto, -1, -1, 2, true},
        {"photo fit, two in", kPhoto, -1, 2, 5, true},
        {"strip fit 3.3 %, in", kStrip, -1, 1, 0, true},
        {"strip fit 3.3 %, out", kStrip, -1, -1, -1, false},
        {"1 x 1 fit 80000 %, in", kTiny, -1, 1, -1, false},
        {"1 x 1 fit, out", kTiny, -1, -1, 13, true},
        {"1600 %, in", kPhoto, 13, 1, 13, false},
        {"6.25 %, out", kPhoto, 0, -1, 0, false},
        {"1600 %, out five", kPhoto, 13, -5, 8, true},
        {"8.33 %, out five", kPhoto, 1, -5, 0, true},
        {"fit on a step: 1200 x 800 in 600 x 400", {{1200, 800}, {600, 400}}, -1, 1, 7, true},
        {"empty scene", {{0, 0}, kPage}, -1, 1, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ViewZoom zoom = c.fromStep >= 0 ? At(c.fromStep, c.frame) : ViewZoom();
        EXPECT_EQ(zoom.StepBy(c.steps, c.frame), c.changed);
        EXPECT_EQ(zoom.Step(), c.wantStep);
    }
}

TEST(ViewZoom, ActualPixelsAndTheMiddleClickToggle) {
    // From fit about the picture's centre, otherwise about the current centre.
    ViewZoom zoom;
    ASSERT_TRUE(zoom.ZoomTo(kActualPixelsStep, kPhoto));
    EXPECT_EQ(zoom.SceneRect(kPhoto), (Rect{-2500, -1600, 3500, 2400}));
    ASSERT_TRUE(zoom.ZoomTo(kActualPixelsStep + 1, kPhoto));
    zoom.PanBy(400, 0, kPhoto);
    const PointD centre = zoom.Centre();
    ASSERT_TRUE(zoom.ZoomTo(kActualPixelsStep, kPhoto));
    EXPECT_DOUBLE_EQ(zoom.Centre().x, centre.x);
    EXPECT_FALSE(zoom.ZoomTo(kActualPixelsStep, kPhoto)) << "already there";

    ViewZoom toggled;
    const PointD pointer{250, 600};
    const PointD scene = toggled.PageToScene(pointer, kPhoto);
    ASSERT_TRUE(toggled.ToggleActualAbout(pointer, kPhoto));
    EXPECT_EQ(toggled.Step(), kActualPixelsStep);
    EXPECT_NEAR(toggled.SceneToPage(scene, kPhoto).x, pointer.x, 0.5);
    EXPECT_NEAR(toggled.SceneToPage(scene, kPhoto).y, pointer.y, 0.5);
    ASSERT_TRUE(toggled.ToggleActualAbout(pointer, kPhoto));
    EXPECT_TRUE(toggled.AtFit());
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
            SCOPED_TRACE(std::to_string(step) + ": " + std::to_string(picture.width));
            const PicturePlacement place = zoom.Place(picture, kPhoto);
            EXPECT_EQ(place.shown, scene);
            EXPECT_EQ(place.crisp, scene.Width() >= picture.width);
            EXPECT_NEAR(zoom.Percent(picture, kPhoto), 100.0 * scene.Width() / picture.width, 1e-9);
        }
    }
    // A 2112-pixel result shown at the source's 100 %.
    EXPECT_EQ(PercentText(At(kActualPixelsStep, kPhoto).Percent(Size{2112, 1408}, kPhoto)), "284%");
}

TEST(WheelSteps, NotchesAndTouchpadFractions) {
    struct Case {
        const char* name;
        std::vector<int> deltas;
        std::vector<int> steps;
    } cases[] = {
        {"notches", {120, 120, -120}, {1, 1, -1}},
        {"a fast spin", {360}, {3}},
        {"touchpad", {30, 30, 30, 30, 30}, {0, 0, 0, 1, 0}},
        {"direction change drops the rest", {90, -30, -90}, {0, 0, -1}},
        {"nothing", {0}, {0}},
    };
    for (const Case& c : cases) {
        WheelSteps wheel;
        std::vector<int> got;
        for (int d : c.deltas) {
            got.push_back(wheel.Add(d));
        }
        EXPECT_EQ(got, c.steps) << c.name;
    }
}

TEST(PercentText, ThreeFiguresAtMost) {
    struct Case {
        double percent;
        const char* text;
    } cases[] = {{6.25, "6.25%"},   {100.0 / 12, "8.33%"}, {12.5, "12.5%"}, {100.0 / 6, "16.7%"},
                 {25, "25%"},       {100.0 / 3, "33.3%"},  {50, "50%"},     {200.0 / 3, "66.7%"},
                 {99.96, "100%"},   {100, "100%"},         {283.9, "284%"}, {1600, "1600%"},
                 {3.3333, "3.33%"}, {9.999, "10%"},        {0.0001, "0%"}};
    for (const Case& c : cases) {
        EXPECT_EQ(PercentText(c.percent), c.text) << c.percent;
    }
}

}  // namespace
}  // namespace zelqor
