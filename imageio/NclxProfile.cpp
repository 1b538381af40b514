// Building an RGB ICC profile from colour code points with LittleCMS.
#include "NclxProfile.h"

#include <lcms2.h>

#include <optional>

namespace zelqor {

namespace {

// LittleCMS's parametric curve type 4: Y = (aX + b)^g for X >= d, Y = cX below.
struct Curve {
    int type;
    double params[5];
};

std::optional<Curve> curveOf(int transfer) {
    switch (transfer) {
        case 1:   // BT.709
        case 6:   // BT.601
        case 14:  // BT.2020 10-bit
        case 15:  // BT.2020 12-bit
            return Curve{4, {1.0 / 0.45, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5, 0.081}};
        case 2:   // unspecified: the web's default
        case 13:  // sRGB
            return Curve{4, {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045}};
        case 4:  // gamma 2.2
            return Curve{1, {2.2}};
        case 5:  // gamma 2.8
            return Curve{1, {2.8}};
        case 8:  // linear
            return Curve{1, {1.0}};
        default:
            return std::nullopt;
    }
}

}  // namespace

std::vector<std::uint8_t> IccProfileFromNclx(const Chromaticities& p, int transfer) {
    const auto curve = curveOf(transfer);
    if (!curve)
        return {};
    const cmsCIExyY white{p.whiteX, p.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries{
        {p.redX, p.redY, 1.0}, {p.greenX, p.greenY, 1.0}, {p.blueX, p.blueY, 1.0}};
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, curve->type, curve->params);
    if (tone == nullptr)
        return {};
    cmsToneCurve* curves[3] = {tone, tone, tone};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(tone);
    if (profile == nullptr)
        return {};
    std::vector<std::uint8_t> bytes;
    if (cmsMLU* description = cmsMLUalloc(nullptr, 1)) {
        cmsMLUsetASCII(description, "en", "US", "RGB from nclx colour description");
        cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
        cmsMLUfree(description);
    }
    cmsUInt32Number size = 0;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace zelqor
