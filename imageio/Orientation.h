// Turning a picture stored in a camera's sensor order upright, as its Exif Orientation asks.
#pragma once

#include "WorkingBitmap.h"

namespace zelqor {

// Exif Orientation values: 1 stored upright; 2 mirrored; 3 turned half round; 4 flipped;
// 5 transposed; 6 to be turned a quarter clockwise; 7 transversed; 8 a quarter anticlockwise.
inline constexpr int kOrientationUpright = 1;

// True for the orientations whose upright picture has width and height swapped (5 to 8).
constexpr bool OrientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The picture as it is meant to be seen. Values outside 2 to 8 give it back unchanged; the
// mirrored and flipped ones (2 to 4) are turned in place, the others need a second bitmap.
WorkingBitmap TurnUpright(WorkingBitmap stored, int orientation);

}  // namespace zelqor
