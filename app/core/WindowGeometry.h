// Where a window goes on the screens present: its remembered or designed frame made to fit.
#pragma once

#include <vector>

#include "Rect.h"

namespace zelqor {

// Rectangles here are frames (the window with its title bar and borders) in the desktop's
// coordinates, right and bottom exclusive; `screens` are the screens' available areas (without
// panels and docks), the primary one first.

// `frame` on the screen it overlaps most, or on the primary one when it overlaps none (a
// monitor that has gone since), no larger than that screen's available area and moved inside
// it, so that its title bar and its bottom edge can be reached. Unchanged without screens.
Rect FitOnScreens(const Rect& frame, const std::vector<Rect>& screens);

// A frame of the given size centred on `screen`, shrunk to it where it is larger.
Rect CentredOn(int width, int height, const Rect& screen);

}  // namespace zelqor
