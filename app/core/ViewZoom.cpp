// Zoom steps, the shared centre and the mapping between scene and page.
#include "ViewZoom.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zelqor {
namespace {

// The zoomed length of a scene side, never below one pixel so that a tiny picture stays visible.
int Zoomed(int length, const ZoomFactor& f) {
    const std::int64_t n = (static_cast<std::int64_t>(length) * f.num + f.den / 2) / f.den;
    return static_cast<int>(std::max<std::int64_t>(n, 1));
}

// Where the zoomed scene starts on one axis of the page: centred when it fits, else placed by
// the centre and held so that no gap opens at either edge. Whole pixels keep enlarged source
// pixels square and aligned to the device grid.
int Start(int pageLength, int sceneLength, int zoomedLength, double centre) {
    if (zoomedLength <= pageLength) {
        return (pageLength - zoomedLength) / 2;
    }
    const double scale = static_cast<double>(zoomedLength) / sceneLength;
    const double start = std::floor(pageLength / 2.0 - centre * scale + 0.5);
    return static_cast<int>(std::clamp(start, static_cast<double>(pageLength - zoomedLength), 0.0));
}

double ClampCentre(double centre, int pageLength, int sceneLength, int zoomedLength) {
    if (zoomedLength <= pageLength) {
        return sceneLength / 2.0;
    }
    const double half = pageLength / 2.0 * sceneLength / zoomedLength;
    return std::clamp(centre, half, sceneLength - half);
}

bool Empty(const ViewFrame& f) {
    return f.scene.width <= 0 || f.scene.height <= 0 || f.page.width <= 0 || f.page.height <= 0;
}

Rect Page(const ViewFrame& f) {
    return Rect{0, 0, f.page.width, f.page.height};
}

}  // namespace

bool ViewZoom::Fit() {
    const bool changed = !AtFit();
    step_ = -1;
    return changed;
}

bool ViewZoom::ZoomTo(int step, const ViewFrame& frame) {
    if (Empty(frame) || step < 0 || step >= static_cast<int>(kZoomSteps.size())) {
        return false;
    }
    const int before = step_;
    const PointD centre = centre_;
    if (AtFit()) {
        centre_ = PointD{frame.scene.width / 2.0, frame.scene.height / 2.0};
    }
    step_ = step;
    Clamp(frame);
    return step_ != before || centre_.x != centre.x || centre_.y != centre.y;
}

bool ViewZoom::StepBy(int steps, const ViewFrame& frame) {
    // The page's centre shows the view's centre, or the scene's while the picture is centred.
    return StepAbout(steps, PointD{frame.page.width / 2.0, frame.page.height / 2.0}, frame);
}

bool ViewZoom::StepAbout(int steps, PointD pagePoint, const ViewFrame& frame) {
    if (Empty(frame) || steps == 0) {
        return false;
    }
    const int last = static_cast<int>(kZoomSteps.size()) - 1;
    int target = 0;
    if (AtFit()) {
        // The fit's own zoom sits between two steps (or on one); the first step goes past it.
        const double fit = static_cast<double>(SceneRect(frame).Width()) / frame.scene.width;
        constexpr double kSame = 1e-9;
        int above = 0;
        while (above <= last && kZoomSteps[above].Value() <= fit * (1 + kSame)) {
            ++above;
        }
        int below = last;
        while (below >= 0 && kZoomSteps[below].Value() >= fit * (1 - kSame)) {
            --below;
        }
        target = steps > 0 ? above + steps - 1 : below + steps + 1;
        if ((steps > 0 && above > last) || (steps < 0 && below < 0)) {
            return false;
        }
    } else {
        target = step_ + steps;
    }
    target = std::clamp(target, 0, last);
    if (target == step_) {
        return false;
    }
    ZoomAbout(target, PageToScene(pagePoint, frame), pagePoint, frame);
    return true;
}

bool ViewZoom::ToggleActualAbout(PointD pagePoint, const ViewFrame& frame) {
    if (Empty(frame)) {
        return false;
    }
    if (!AtFit()) {
        return Fit();
    }
    ZoomAbout(kActualPixelsStep, PageToScene(pagePoint, frame), pagePoint, frame);
    return true;
}

bool ViewZoom::PanBy(double dx, double dy, const ViewFrame& frame) {
    if (Empty(frame) || AtFit()) {
        return false;
    }
    const Rect before = SceneRect(frame);
    centre_.x -= dx * frame.scene.width / before.Width();
    centre_.y -= dy * frame.scene.height / before.Height();
    Clamp(frame);
    return !(SceneRect(frame) == before);
}

bool ViewZoom::CanPan(const ViewFrame& frame) const {
    if (Empty(frame) || AtFit()) {
        return false;
    }
    const Rect scene = SceneRect(frame);
    return scene.Width() > frame.page.width || scene.Height() > frame.page.height;
}

Rect ViewZoom::SceneRect(const ViewFrame& frame) const {
    if (Empty(frame)) {
        return Rect{};
    }
    if (AtFit()) {
        return FitRect(Page(frame), frame.scene.width, frame.scene.height);
    }
    const ZoomFactor& f = kZoomSteps[step_];
    const int w = Zoomed(frame.scene.width, f);
    const int h = Zoomed(frame.scene.height, f);
    const int left = Start(frame.page.width, frame.scene.width, w, centre_.x);
    const int top = Start(frame.page.height, frame.scene.height, h, centre_.y);
    return Rect{left, top, left + w, top + h};
}

PicturePlacement ViewZoom::Place(Size picture, const ViewFrame& frame) const {
    if (picture.width <= 0 || picture.height <= 0 || frame.page.width <= 0 ||
        frame.page.height <= 0) {
        return {};
    }
    if (AtFit() || Empty(frame)) {
        // Each page keeps the fit it always had, in the picture's own aspect.
        return {FitRect(Page(frame), picture.width, picture.height), false};
    }
    const Rect shown = SceneRect(frame);
    return {shown, shown.Width() >= picture.width && shown.Height() >= picture.height};
}

PointD ViewZoom::PageToScene(PointD p, const ViewFrame& frame) const {
    const Rect r = SceneRect(frame);
    if (r.Width() <= 0 || r.Height() <= 0) {
        return {};
    }
    return PointD{(p.x - r.left) * frame.scene.width / r.Width(),
                  (p.y - r.top) * frame.scene.height / r.Height()};
}

PointD ViewZoom::SceneToPage(PointD s, const ViewFrame& frame) const {
    const Rect r = SceneRect(frame);
    if (r.Width() <= 0 || r.Height() <= 0) {
        return {};
    }
    return PointD{r.left + s.x * r.Width() / frame.scene.width,
                  r.top + s.y * r.Height() / frame.scene.height};
}

double ViewZoom::Percent(Size picture, const ViewFrame& frame) const {
    const Rect shown = Place(picture, frame).shown;
    if (shown.Width() <= 0) {
        return 0;
    }
    return shown.Width() * 100.0 / picture.width;
}

void ViewZoom::ZoomAbout(int step, PointD s, PointD p, const ViewFrame& frame) {
    step_ = step;
    const ZoomFactor& f = kZoomSteps[step];
    centre_.x =
        s.x - (p.x - frame.page.width / 2.0) * frame.scene.width / Zoomed(frame.scene.width, f);
    centre_.y =
        s.y - (p.y - frame.page.height / 2.0) * frame.scene.height / Zoomed(frame.scene.height, f);
    Clamp(frame);
}

void ViewZoom::Clamp(const ViewFrame& frame) {
    if (AtFit() || Empty(frame)) {
        return;
    }
    const ZoomFactor& f = kZoomSteps[step_];
    centre_.x =
        ClampCentre(centre_.x, frame.page.width, frame.scene.width, Zoomed(frame.scene.width, f));
    centre_.y = ClampCentre(centre_.y, frame.page.height, frame.scene.height,
                            Zoomed(frame.scene.height, f));
}

int WheelSteps::Add(int angleDelta) {
    if ((angleDelta > 0 && rest_ < 0) || (angleDelta < 0 && rest_ > 0)) {
        rest_ = 0;
    }
    constexpr int kNotch = 120;
    rest_ += angleDelta;
    const int steps = rest_ / kNotch;
    rest_ -= steps * kNotch;
    return steps;
}

std::string PercentText(double percent) {
    // By hand rather than printf, whose decimal mark follows the desktop's locale.
    const int decimals = percent >= 99.95 ? 0 : percent >= 9.995 ? 1 : 2;
    const int unit = decimals == 0 ? 1 : decimals == 1 ? 10 : 100;
    const long long scaled = std::llround(std::max(percent, 0.0) * unit);
    std::string s = std::to_string(scaled / unit);
    std::string fraction = decimals == 0 ? "" : std::to_string(scaled % unit);
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (!fraction.empty()) {
        s += "." + fraction;
    }
    return s + "%";
}

}  // namespace zelqor
