// LittleCMS transforms from pictures' profiles to the display's, the cache that keeps them, and
// the test that spares a conversion which would change nothing.
#include "DisplayColour.h"

#include <lcms2.h>

#include <algorithm>
#include <cstdlib>

#include "IccProfile.h"

namespace zelqor {
namespace {

// Relative colorimetric keeps every colour the display can show exactly as the picture means
// it, which is what the user judges the tone mapping by; perceptual would pull in-gamut colours
// too wherever a profile carries perceptual tables, and the matrix profiles of cameras and
// phones (Adobe RGB, Display P3) carry none, so it would only differ on some displays. Black
// point compensation keeps the shadows apart on a display profile whose black is not zero.
constexpr cmsUInt32Number kIntent = INTENT_RELATIVE_COLORIMETRIC;
// No one-pixel cache inside the transform: painters and workers may share one transform.
constexpr cmsUInt32Number kFlags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;
// A painter keeps the transform it uses alive; the cache only saves building it again.
constexpr std::size_t kCachedPairs = 8;

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(static_cast<cmsHPROFILE>(p)); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

// Every profile a transform is built from is opened here, after the check of its size and
// pipeline that every transform of the program passes first. Empty bytes stand for sRGB.
Profile OpenProfile(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return Profile(cmsCreate_sRGBProfile());
    }
    if (JudgeIccProfileCost(bytes) != IccProfileCost::Bounded) {
        return Profile();
    }
    return Profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

// The one place the program builds a display transform: RGB to RGB, both in our byte order,
// the fourth byte left as it is.
SharedTransform BuildTransform(std::span<const std::uint8_t> from,
                               std::span<const std::uint8_t> to) {
    const Profile source = OpenProfile(from);
    const Profile target = OpenProfile(to);
    if (!source || !target || cmsGetColorSpace(source.get()) != cmsSigRgbData ||
        cmsGetColorSpace(target.get()) != cmsSigRgbData) {
        return nullptr;
    }
    cmsHTRANSFORM handle =
        cmsCreateTransform(source.get(), TYPE_BGRA_8, target.get(), TYPE_BGRA_8, kIntent, kFlags);
    return handle == nullptr ? nullptr : std::make_shared<const ColourTransform>(handle);
}

// True when `transform` moves no colour by more than one step in any channel: the grey ramp,
// a grid through the cube and its corners. Such a pair (an sRGB-tagged picture on an sRGB
// display, a picture in the display's own space) is shown unconverted, bit for bit as an
// untagged picture would be, which also spares its cost.
bool ChangesNothing(const ColourTransform& transform) {
    constexpr int kGrid = 18;  // 0, 15, ..., 255
    WorkingBitmap probe(256 + kGrid * kGrid * kGrid, 1);
    std::uint32_t* p = probe.RowWords(0);
    for (int v = 0; v < 256; ++v) {
        *p++ = MakePixel(v, v, v);
    }
    for (int r = 0; r < kGrid; ++r) {
        for (int g = 0; g < kGrid; ++g) {
            for (int b = 0; b < kGrid; ++b) {
                *p++ = MakePixel(r * 15, g * 15, b * 15);
            }
        }
    }
    const WorkingBitmap before = probe;
    transform.ApplyAll(probe);
    for (int x = 0; x < probe.Width(); ++x) {
        const std::uint32_t a = before.Pixel(x, 0);
        const std::uint32_t b = probe.Pixel(x, 0);
        if (std::abs(PixelR(a) - PixelR(b)) > 1 || std::abs(PixelG(a) - PixelG(b)) > 1 ||
            std::abs(PixelB(a) - PixelB(b)) > 1) {
            return false;
        }
    }
    return true;
}

bool IsFileColourSpace(std::span<const std::uint8_t> profile) {
    const IccColourSpace space = ColourSpaceOf(profile);
    return space == IccColourSpace::Grey || space == IccColourSpace::Cmyk;
}

}  // namespace

ColourTransform::~ColourTransform() {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(handle_));
}

void ColourTransform::Apply(WorkingBitmap& bitmap, const Rect& area) const {
    const int left = std::max(area.left, 0);
    const int top = std::max(area.top, 0);
    const int right = std::min(area.right, bitmap.Width());
    const int bottom = std::min(area.bottom, bitmap.Height());
    if (right <= left) {
        return;
    }
    // Row by row: a bitmap's rows need not lie back to back (ring bitmaps), and in-place
    // conversion is what LittleCMS allows for formats of one size.
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* row = bitmap.RowWords(y) + left;
        cmsDoTransform(static_cast<cmsHTRANSFORM>(handle_), row, row,
                       static_cast<cmsUInt32Number>(right - left));
    }
}

void ColourTransform::ApplyAll(WorkingBitmap& bitmap) const {
    Apply(bitmap, Rect{0, 0, bitmap.Width(), bitmap.Height()});
}

bool DisplayColour::SetDisplayProfile(IccBytes profile) {
    // A display that sRGB already describes is taken as sRGB, so that untagged pictures skip the
    // conversion entirely; one that cannot be a target is taken as sRGB too. The look-up keeps
    // the untagged pictures' transform for when the display is used.
    if (!profile.empty() && !Lookup({}, profile)) {
        profile.clear();
    }
    if (profile == display_) {
        return false;
    }
    display_ = std::move(profile);
    return true;
}

SharedTransform DisplayColour::ToDisplay(std::span<const std::uint8_t> profile) {
    return Lookup(profile, display_);
}

SharedTransform DisplayColour::ToSrgb(std::span<const std::uint8_t> profile) {
    return Lookup(profile, IccBytes{});
}

std::optional<std::string> DisplayColour::UnusableProfileNotice(
    std::span<const std::uint8_t> profile) {
    if (profile.empty() || IsFileColourSpace(profile)) {
        return std::nullopt;
    }
    Lookup(profile, IccBytes{});
    const auto it = std::find_if(cache_.begin(), cache_.end(), [&](const Entry& e) {
        return e.target.empty() && std::ranges::equal(e.picture, profile);
    });
    if (it != cache_.end() && it->usable) {
        return std::nullopt;
    }
    const IccProfileCost cost = JudgeIccProfileCost(profile);
    return std::string(cost == IccProfileCost::TooLarge || cost == IccProfileCost::TooManyStages
                           ? kProfileSetAsideNotice
                           : kUnusableProfileNotice);
}

SharedTransform DisplayColour::Lookup(std::span<const std::uint8_t> picture,
                                      const IccBytes& target) {
    if (picture.empty() && target.empty()) {
        return nullptr;  // untagged on sRGB: not even a cache look-up
    }
    for (const Entry& e : cache_) {
        if (e.target == target && std::ranges::equal(e.picture, picture)) {
            return e.transform;
        }
    }
    Entry entry{IccBytes(picture.begin(), picture.end()), target, nullptr, true};
    SharedTransform transform;
    if (!IsFileColourSpace(picture)) {
        transform = BuildTransform(picture, target);
        ++built_;
    }
    if (!transform && !picture.empty()) {
        // Unusable, or a grey or CMYK file's own: the picture counts as untagged.
        entry.usable = false;
        transform = Lookup({}, target);
    } else if (transform && ChangesNothing(*transform)) {
        transform = nullptr;
    }
    entry.transform = transform;
    if (cache_.size() >= kCachedPairs) {
        cache_.erase(cache_.begin());
    }
    cache_.push_back(std::move(entry));
    return transform;
}

}  // namespace zelqor
