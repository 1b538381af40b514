// Colour conversion done with LittleCMS directly, for checking ours, and colord's reference
// profiles (Debian's colord-data).
#pragma once

#include <lcms2.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "WorkingBitmap.h"

namespace zelqor::test {

inline std::vector<std::uint8_t> ColordProfile(const char* name) {
    std::ifstream in(std::filesystem::path("/usr/share/color/icc/colord") / name, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// `b` from profile `from` to profile `to` (empty: LittleCMS's own sRGB), relative colorimetric
// with black point compensation, the fourth byte kept.
inline WorkingBitmap LcmsConverted(WorkingBitmap b,
                                   const std::vector<std::uint8_t>& from,
                                   const std::vector<std::uint8_t>& to) {
    const auto open = [](const std::vector<std::uint8_t>& p) {
        return p.empty() ? cmsCreate_sRGBProfile()
                         : cmsOpenProfileFromMem(p.data(), static_cast<cmsUInt32Number>(p.size()));
    };
    cmsHPROFILE a = open(from);
    cmsHPROFILE c = open(to);
    cmsHTRANSFORM t =
        cmsCreateTransform(a, TYPE_BGRA_8, c, TYPE_BGRA_8, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_BLACKPOINTCOMPENSATION);
    for (int y = 0; y < b.Height(); ++y) {
        cmsDoTransform(t, b.Row(y), b.Row(y), static_cast<cmsUInt32Number>(b.Width()));
    }
    cmsDeleteTransform(t);
    cmsCloseProfile(a);
    cmsCloseProfile(c);
    return b;
}

}  // namespace zelqor::test
