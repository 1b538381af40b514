// Display conversion against LittleCMS called directly, the identity shortcut, the cache of
// transforms and profiles that cannot be used.
#include <gtest/gtest.h>

#include "ColourReference.h"
#include "DisplayColour.h"
#include "IccProfile.h"

namespace zelqor {
namespace {

using test::ColordProfile;
using test::LcmsConverted;

IccBytes Saved(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    IccBytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Flat patches across the gamut, one a row, with fourth bytes that must survive.
WorkingBitmap Through(const SharedTransform& t) {
    const std::uint32_t colours[] = {MakePixel(200, 100, 50, 0x12),  MakePixel(30, 220, 90, 0xFF),
                                     MakePixel(0, 0, 255, 0),        MakePixel(128, 128, 128, 0xA5),
                                     MakePixel(255, 255, 255, 0xFF), MakePixel(0, 0, 0, 7)};
    WorkingBitmap b(5, 6);
    for (int y = 0; y < 6; ++y) {
        std::fill(b.RowWords(y), b.RowWords(y) + 5, colours[y]);
    }
    if (t) {
        t->ApplyAll(b);
    }
    return b;
}

TEST(DisplayColour, UntaggedCountsAsSrgbAndSrgbOnSrgbIsNotConverted) {
    DisplayColour colour;
    EXPECT_FALSE(colour.ToDisplay({}));
    EXPECT_EQ(colour.TransformsBuilt(), 0);  // no LittleCMS at all for an untagged picture
    for (const IccBytes& srgb : {ColordProfile("sRGB.icc"), Saved(cmsCreate_sRGBProfile())}) {
        EXPECT_FALSE(colour.ToDisplay(srgb));
    }
    const IccBytes adobe = ColordProfile("AdobeRGB1998.icc");
    const SharedTransform fromAdobe = colour.ToDisplay(adobe);
    EXPECT_EQ(Through(fromAdobe), LcmsConverted(Through({}), adobe, {}));
    EXPECT_EQ(colour.ToSrgb(adobe), fromAdobe);  // made once for the screen and the clipboard
    EXPECT_EQ(colour.TransformsBuilt(), 3);

    const IccBytes wide = ColordProfile("WideGamutRGB.icc");
    EXPECT_TRUE(colour.SetDisplayProfile(wide));
    EXPECT_FALSE(colour.SetDisplayProfile(wide));
    EXPECT_EQ(Through(colour.ToDisplay({})), LcmsConverted(Through({}), {}, wide));
    EXPECT_FALSE(colour.ToSrgb({}));  // the clipboard gets sRGB whatever the screen
    // A display that sRGB describes, or a profile that cannot describe one, is sRGB.
    EXPECT_TRUE(colour.SetDisplayProfile(ColordProfile("sRGB.icc")));
    EXPECT_TRUE(colour.DisplayProfile().empty());
    EXPECT_FALSE(colour.SetDisplayProfile(IccBytes(200, 0x55)));
}

TEST(DisplayColour, BrokenProfilesCountAsAbsentWithANotice) {
    const IccBytes adobe = ColordProfile("AdobeRGB1998.icc");
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    const IccBytes grey = Saved(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
    cmsFreeToneCurve(gamma);
    // Real profiles hold well under a megabyte; one padded past the most any holds is set aside
    // before LittleCMS builds anything from it, though it would open.
    IccBytes padded = adobe;
    padded.resize(kMostIccProfileBytes + 1);
    struct Case {
        const char* name;
        IccBytes profile;
        const char* notice;
        bool absent;  // shown as an untagged picture would be
    } cases[] = {
        {"not a profile", IccBytes(500, 0x41), kUnusableProfileNotice, true},
        {"cut short", IccBytes(adobe.begin(), adobe.begin() + 200), kUnusableProfileNotice, true},
        {"Lab data", Saved(cmsCreateLab4Profile(nullptr)), kUnusableProfileNotice, true},
        {"far too large", padded, kProfileSetAsideNotice, true},
        {"a grey file's own", grey, "", true},
        {"Adobe RGB", adobe, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayColour colour;
        EXPECT_EQ(colour.UnusableProfileNotice(c.profile).value_or(""), c.notice);
        EXPECT_EQ(colour.ToDisplay(c.profile) == nullptr, c.absent);
        colour.SetDisplayProfile(ColordProfile("WideGamutRGB.icc"));
        EXPECT_EQ(colour.ToDisplay(c.profile) == colour.ToDisplay({}), c.absent);
    }
}

}  // namespace
}  // namespace zelqor
