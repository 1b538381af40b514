// The zoom and centre that both image pages share, and where a page's picture lands on the page.
#pragma once

#include <array>
#include <string>

#include "Rect.h"
#include "ScaleBitmap.h"

namespace zelqor {

// Device pixels per source pixel, as a fraction so that 1/3 and 2/3 stay exact.
struct ZoomFactor {
    int num = 1;
    int den = 1;
    double Value() const { return static_cast<double>(num) / den; }
};

// 6.25 % up to 1600 %.
inline constexpr std::array<ZoomFactor, 14> kZoomSteps = {{{1, 16},
                                                           {1, 12},
                                                           {1, 8},
                                                           {1, 6},
                                                           {1, 4},
                                                           {1, 3},
                                                           {1, 2},
                                                           {2, 3},
                                                           {1, 1},
                                                           {2, 1},
                                                           {3, 1},
                                                           {4, 1},
                                                           {8, 1},
                                                           {16, 1}}};
inline constexpr int kActualPixelsStep = 8;

struct PointD {
    double x = 0;
    double y = 0;
};

// The scene is the source image, in its own pixels; the page is the panel, in device pixels.
struct ViewFrame {
    Size scene;
    Size page;
};

// Where a picture is drawn: stretched into shown (page device pixels; at a zoom it may reach far
// past the page), either smoothly or with its pixels repeated as crisp squares.
struct PicturePlacement {
    Rect shown;
    bool crisp = false;
};

class ViewZoom {
  public:
    bool AtFit() const { return step_ < 0; }
    // An index into kZoomSteps, -1 at fit.
    int Step() const { return step_; }
    // In scene pixels; kept inside the range that leaves no gap at the picture's edges.
    PointD Centre() const { return centre_; }

    // Each of these returns true when what the pages show has changed; a step past either end
    // of the steps, or anything on an empty scene, changes nothing.
    bool Fit();
    // From fit about the scene's centre, otherwise about the current centre.
    bool ZoomTo(int step, const ViewFrame& frame);
    // steps > 0 zooms in. From fit, the first step is the nearest one past the fit's zoom.
    bool StepBy(int steps, const ViewFrame& frame);
    // The same, keeping the scene point under pagePoint where it is.
    bool StepAbout(int steps, PointD pagePoint, const ViewFrame& frame);
    // Fit to 100 % about pagePoint; any zoom back to fit.
    bool ToggleActualAbout(PointD pagePoint, const ViewFrame& frame);
    // Moves the picture by (dx, dy) device pixels, as far as its edges allow.
    bool PanBy(double dx, double dy, const ViewFrame& frame);
    // The picture is larger than the page in at least one direction.
    bool CanPan(const ViewFrame& frame) const;

    // The scene's rectangle on the page: today's fit, or the zoomed scene placed by the centre,
    // on whole device pixels so that enlarged pixels stay square.
    Rect SceneRect(const ViewFrame& frame) const;
    // A picture of the scene at any size (the source, a preview, a fixed long side): at a zoom it
    // covers the same page rectangle as the scene; at fit it keeps its own fit.
    PicturePlacement Place(Size picture, const ViewFrame& frame) const;
    PointD PageToScene(PointD pagePoint, const ViewFrame& frame) const;
    PointD SceneToPage(PointD scenePoint, const ViewFrame& frame) const;
    // The picture's zoom in its own pixels, in percent; 0 when nothing is shown.
    double Percent(Size picture, const ViewFrame& frame) const;

  private:
    void ZoomAbout(int step, PointD scenePoint, PointD pagePoint, const ViewFrame& frame);
    void Clamp(const ViewFrame& frame);

    int step_ = -1;
    PointD centre_;
};

// Turns wheel deltas (120 a notch) into whole steps; a touchpad's small deltas add up, and a
// change of direction starts afresh.
class WheelSteps {
  public:
    int Add(int angleDelta);

  private:
    int rest_ = 0;
};

// "100%", "284%", "16.7%", "6.25%": three significant digits at most, no trailing zeros.
std::string PercentText(double percent);

}  // namespace zelqor
