// LittleCMS transform from a JPEG's CMYK profile to sRGB, and the fallback formula.
#include "CmykConversion.h"

#include <lcms2.h>

#include "IccProfile.h"

namespace zelqor {

namespace {

// The profile and sRGB are only needed while the transform is built.
cmsHTRANSFORM buildTransform(std::span<const std::uint8_t> profile, bool inverted) {
    if (profile.empty())
        return nullptr;
    cmsHPROFILE source =
        cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    if (source == nullptr)
        return nullptr;
    cmsHTRANSFORM transform = nullptr;
    if (cmsGetColorSpace(source) == cmsSigCmykData) {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        if (srgb != nullptr) {
            // Inverted samples are what lcms calls "reversed" (flavour bit).
            transform = cmsCreateTransform(source, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb,
                                           TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
            cmsCloseProfile(srgb);
        }
    }
    cmsCloseProfile(source);
    return transform;
}

}  // namespace

CmykToBgr::CmykToBgr(std::span<const std::uint8_t> profile, bool inverted) : inverted_(inverted) {
    const IccProfileCost cost =
        profile.empty() ? IccProfileCost::Bounded : JudgeIccProfileCost(profile);
    setAside_ = cost == IccProfileCost::TooLarge || cost == IccProfileCost::TooManyStages;
    if (cost == IccProfileCost::Bounded)
        transform_ = buildTransform(profile, inverted);
}

CmykToBgr::~CmykToBgr() {
    if (transform_ != nullptr)
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

void CmykToBgr::ConvertRow(const std::uint8_t* cmyk, std::uint8_t* bgrx, int width) const {
    if (transform_ != nullptr) {
        cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), cmyk, bgrx,
                       static_cast<cmsUInt32Number>(width));
        for (int x = 0; x < width; ++x)
            bgrx[4 * x + 3] = 0xFF;
        return;
    }
    for (int x = 0; x < width; ++x, cmyk += 4, bgrx += 4) {
        // As ink left out: an inverted sample already is, a plain one is turned round.
        const auto left = [this](std::uint8_t v) { return inverted_ ? v : 255 - v; };
        const int k = left(cmyk[3]);
        bgrx[0] = static_cast<std::uint8_t>((left(cmyk[2]) * k + 127) / 255);
        bgrx[1] = static_cast<std::uint8_t>((left(cmyk[1]) * k + 127) / 255);
        bgrx[2] = static_cast<std::uint8_t>((left(cmyk[0]) * k + 127) / 255);
        bgrx[3] = 0xFF;
    }
}

}  // namespace zelqor
