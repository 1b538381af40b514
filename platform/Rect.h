// Integer rectangle shared by the engine and the view.
#pragma once

namespace zelqor {

// Left, top, right, bottom. Which bounds are inclusive is said by the function that makes one.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

}  // namespace zelqor
