// The ICC profile an X11 colour manager publishes for a screen.
#pragma once

#include <cstdint>
#include <vector>

class QScreen;

namespace zelqor {

// The root window's _ICC_PROFILE property for the first screen, _ICC_PROFILE_n for the n-th
// after it (falling back to the first screen's); empty without X11, without the property, or
// for a property too large to be a profile.
std::vector<std::uint8_t> X11ScreenProfile(const QScreen* screen);

}  // namespace zelqor
