// Fitting a window's frame to the screens.
#include "WindowGeometry.h"

#include <algorithm>

namespace zelqor {
namespace {

long long OverlapArea(const Rect& a, const Rect& b) {
    const long long w = std::min(a.right, b.right) - std::max(a.left, b.left);
    const long long h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// `frame` shrunk to `screen` and moved inside it, as little as it takes.
Rect Inside(const Rect& frame, const Rect& screen) {
    const int width = std::min(frame.Width(), screen.Width());
    const int height = std::min(frame.Height(), screen.Height());
    const int left = std::clamp(frame.left, screen.left, screen.right - width);
    const int top = std::clamp(frame.top, screen.top, screen.bottom - height);
    return Rect{left, top, left + width, top + height};
}

}  // namespace

Rect FitOnScreens(const Rect& frame, const std::vector<Rect>& screens) {
    if (screens.empty()) {
        return frame;
    }
    const Rect* best = &screens.front();
    long long bestArea = 0;
    for (const Rect& screen : screens) {
        const long long area = OverlapArea(frame, screen);
        if (area > bestArea) {
            best = &screen;
            bestArea = area;
        }
    }
    return Inside(frame, *best);
}

Rect CentredOn(int width, int height, const Rect& screen) {
    const int left = screen.left + (screen.Width() - width) / 2;
    const int top = screen.top + (screen.Height() - height) / 2;
    return Inside(Rect{left, top, left + width, top + height}, screen);
}

}  // namespace zelqor
