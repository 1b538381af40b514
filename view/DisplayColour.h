// Pictures shown through their colour profile: conversions from a picture's ICC profile to the
// display's, made once per pair of profiles and kept.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Rect.h"
#include "WorkingBitmap.h"

namespace zelqor {

using IccBytes = std::vector<std::uint8_t>;

// One LittleCMS transform between two RGB profiles, for our blue, green, red, fourth pixels.
class ColourTransform {
  public:
    // Takes ownership of a cmsHTRANSFORM (kept opaque so users need no lcms headers).
    explicit ColourTransform(void* handle) : handle_(handle) {}
    ~ColourTransform();
    ColourTransform(const ColourTransform&) = delete;
    ColourTransform& operator=(const ColourTransform&) = delete;

    // Converts the pixels of `area` (clamped to the bitmap) in place; the fourth byte stays.
    // Safe to call from several threads at once.
    void Apply(WorkingBitmap& bitmap, const Rect& area) const;
    void ApplyAll(WorkingBitmap& bitmap) const;

  private:
    void* handle_;
};

// Null stands for "the numbers are shown as they are": no conversion at all.
using SharedTransform = std::shared_ptr<const ColourTransform>;

// The status-bar notice of a picture whose profile is not used for the display.
inline constexpr const char* kUnusableProfileNotice =
    "its colour profile cannot be used; the colours are shown as sRGB";

// The display's profile and the conversions into it. Lives on the window's thread.
class DisplayColour {
  public:
    // The profile the screen is described by; empty for sRGB. One that cannot serve as an RGB
    // display profile counts as sRGB. True when this changes what pictures are shown as, so the
    // painters must convert afresh.
    bool SetDisplayProfile(IccBytes profile);
    // Empty while the display counts as sRGB.
    const IccBytes& DisplayProfile() const { return display_; }

    // What shows a picture tagged with `profile` (empty: untagged, counted as sRGB) on the
    // display; null when its numbers already are the display's, which is always so for an
    // untagged picture on an sRGB display, and for an unusable profile there.
    SharedTransform ToDisplay(std::span<const std::uint8_t> profile);
    // The same into sRGB whatever the display: for pixels that leave the program without a
    // profile (the clipboard), so that other programs show what this one shows.
    SharedTransform ToSrgb(std::span<const std::uint8_t> profile);

    // Why `profile` is not used to show an RGB picture: nullopt when it is usable or empty (an
    // untagged picture counts as sRGB), the notice when LittleCMS cannot open it or make a
    // transform of it, or it describes neither RGB nor what grey and CMYK files carry. Grey and
    // CMYK profiles pass without a notice: the load has already made such files' pixels RGB
    // (CMYK ones through that very profile), so they are shown, and saved, as sRGB. Such a
    // profile counts as absent for every conversion.
    std::optional<std::string> UnusableProfileNotice(std::span<const std::uint8_t> profile);

    // How many transforms have been built so far (a cached pair is not built again).
    int TransformsBuilt() const { return built_; }

  private:
    SharedTransform Lookup(std::span<const std::uint8_t> picture, const IccBytes& target);

    struct Entry {
        IccBytes picture;
        IccBytes target;
        SharedTransform transform;
        bool usable = true;  // false: the picture counted as untagged
    };
    IccBytes display_;
    std::vector<Entry> cache_;
    int built_ = 0;
};

}  // namespace zelqor
