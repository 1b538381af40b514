// Display conversion against LittleCMS called directly, the identity shortcut, the cache of
// transforms and profiles that cannot be used.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "DisplayColour.h"

namespace zelqor {
namespace {

const std::filesystem::path kColord = "/usr/share/color/icc/colord";

IccBytes ReadProfile(const char* name) {
    std::ifstream in(kColord / name, std::ios::binary);
    return IccBytes(std::istreambuf_iterator<char>(in), {});
}

IccBytes SavedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    IccBytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// One pixel from one profile to another (empty: LittleCMS's own sRGB), with nothing of ours.
std::uint32_t Reference(const IccBytes& from, const IccBytes& to, std::uint32_t pixel) {
    const auto open = [](const IccBytes& p) {
        return p.empty() ? cmsCreate_sRGBProfile()
                         : cmsOpenProfileFromMem(p.data(), static_cast<cmsUInt32Number>(p.size()));
    };
    cmsHPROFILE a = open(from);
    cmsHPROFILE b = open(to);
    cmsHTRANSFORM t = cmsCreateTransform(a, TYPE_RGB_8, b, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                                         cmsFLAGS_BLACKPOINTCOMPENSATION);
    const std::uint8_t in[3] = {static_cast<std::uint8_t>(PixelR(pixel)),
                                static_cast<std::uint8_t>(PixelG(pixel)),
                                static_cast<std::uint8_t>(PixelB(pixel))};
    std::uint8_t out[3] = {};
    cmsDoTransform(t, in, out, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(a);
    cmsCloseProfile(b);
    return MakePixel(out[0], out[1], out[2], PixelX(pixel));
}

WorkingBitmap Patch(std::uint32_t pixel, int w = 7, int h = 5) {
    WorkingBitmap b(w, h);
    std::fill(b.Data(), b.Data() + w * h, pixel);
    return b;
}

const std::uint32_t kColours[] = {MakePixel(200, 100, 50, 0x12), MakePixel(30, 220, 90, 0xFF),
                                  MakePixel(0, 0, 255, 0), MakePixel(128, 128, 128, 0xA5),
                                  MakePixel(255, 255, 255, 0xFF)};

TEST(DisplayColour, AdobeRgbPatchShowsItsSrgbConversion) {
    const IccBytes adobe = ReadProfile("AdobeRGB1998.icc");
    ASSERT_FALSE(adobe.empty()) << "colord-data provides the reference profile";
    DisplayColour colour;
    const SharedTransform toScreen = colour.ToDisplay(adobe);
    ASSERT_TRUE(toScreen);
    int moved = 0;
    for (const std::uint32_t c : kColours) {
        SCOPED_TRACE(c);
        WorkingBitmap patch = Patch(c);
        toScreen->ApplyAll(patch);
        const std::uint32_t want = Reference(adobe, {}, c);  // fourth byte kept
        EXPECT_EQ(patch, Patch(want));
        moved += want != c;
    }
    EXPECT_GE(moved, 3);  // the profiles differ, so the check above can tell conversion apart
    // The clipboard's conversion is the same pair on an sRGB display: one transform for both.
    EXPECT_EQ(colour.ToSrgb(adobe), toScreen);
    EXPECT_EQ(colour.ToDisplay(adobe), toScreen);
    EXPECT_EQ(colour.TransformsBuilt(), 1);
}

TEST(DisplayColour, OnAnSrgbDisplayUntaggedAndSrgbPicturesAreNotConverted) {
    DisplayColour colour;
    EXPECT_FALSE(colour.ToDisplay({}));
    EXPECT_EQ(colour.TransformsBuilt(), 0);  // no LittleCMS at all for an untagged picture
    for (const IccBytes& srgb : {ReadProfile("sRGB.icc"), SavedProfile(cmsCreate_sRGBProfile())}) {
        ASSERT_FALSE(srgb.empty());
        EXPECT_FALSE(colour.ToDisplay(srgb));
        EXPECT_FALSE(colour.ToSrgb(srgb));
    }
    EXPECT_FALSE(colour.UnusableProfileNotice(ReadProfile("sRGB.icc")));
    // A curve close to sRGB's is still another picture: Rec. 709's shadows differ.
    EXPECT_TRUE(colour.ToDisplay(ReadProfile("Rec709.icc")));
}

TEST(DisplayColour, WithADisplayProfileUntaggedCountsAsSrgb) {
    const IccBytes adobe = ReadProfile("AdobeRGB1998.icc");
    const IccBytes wide = ReadProfile("WideGamutRGB.icc");
    DisplayColour colour;
    EXPECT_TRUE(colour.SetDisplayProfile(wide));
    EXPECT_FALSE(colour.SetDisplayProfile(wide));
    const SharedTransform untagged = colour.ToDisplay({});
    const SharedTransform srgbTagged = colour.ToDisplay(ReadProfile("sRGB.icc"));
    const SharedTransform tagged = colour.ToDisplay(adobe);
    ASSERT_TRUE(untagged && srgbTagged && tagged);
    for (const std::uint32_t c : kColours) {
        WorkingBitmap a = Patch(c), b = Patch(c), t = Patch(c);
        untagged->ApplyAll(a);
        srgbTagged->ApplyAll(b);
        tagged->ApplyAll(t);
        EXPECT_EQ(a, Patch(Reference({}, wide, c)));
        EXPECT_EQ(t, Patch(Reference(adobe, wide, c)));
        for (int i = 0; i < 3; ++i) {  // colord's sRGB and LittleCMS's agree to a step
            EXPECT_NEAR((a.Pixel(0, 0) >> 8 * i) & 0xFF, (b.Pixel(0, 0) >> 8 * i) & 0xFF, 1);
        }
    }
    // The clipboard still gets sRGB, whatever the screen.
    EXPECT_FALSE(colour.ToSrgb({}));
    // A display that sRGB describes, or a profile that cannot describe one, is sRGB.
    EXPECT_TRUE(colour.SetDisplayProfile(ReadProfile("sRGB.icc")));
    EXPECT_TRUE(colour.DisplayProfile().empty());
    EXPECT_FALSE(colour.ToDisplay({}));
    EXPECT_FALSE(colour.SetDisplayProfile(IccBytes(200, 0x55)));
}

TEST(DisplayColour, ConvertsOnlyTheAreaInsideTheBitmap) {
    const SharedTransform t = DisplayColour().ToDisplay(ReadProfile("AdobeRGB1998.icc"));
    ASSERT_TRUE(t);
    const std::uint32_t c = kColours[0];
    WorkingBitmap b = Patch(c, 6, 4);
    t->Apply(b, Rect{-3, 2, 4, 9});
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(b.Pixel(x, y),
                      y >= 2 && x < 4 ? Reference(ReadProfile("AdobeRGB1998.icc"), {}, c) : c)
                << x << "," << y;
        }
    }
}

TEST(DisplayColour, BrokenProfilesCountAsAbsentWithANotice) {
    const IccBytes adobe = ReadProfile("AdobeRGB1998.icc");
    IccBytes lab = SavedProfile(cmsCreateLab4Profile(nullptr));
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    IccBytes grey = SavedProfile(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
    cmsFreeToneCurve(gamma);
    IccBytes truncated(adobe.begin(), adobe.begin() + 200);
    struct Case {
        const char* name;
        IccBytes profile;
        bool notice;
        bool absent;  // shown as an untagged picture would be
    } cases[] = {
        {"not a profile", IccBytes(500, 0x41), true, true},
        {"cut short", truncated, true, true},
        {"Lab data", lab, true, true},
        {"a grey file's own", grey, false, true},
        {"Adobe RGB", adobe, false, false},
    };
    const IccBytes display = ReadProfile("WideGamutRGB.icc");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayColour colour;
        EXPECT_EQ(colour.UnusableProfileNotice(c.profile).value_or(""),
                  c.notice ? kUnusableProfileNotice : "");
        EXPECT_EQ(colour.ToDisplay(c.profile) == nullptr, c.absent);  // on sRGB: as it is
        colour.SetDisplayProfile(display);
        EXPECT_EQ(colour.ToDisplay(c.profile) == colour.ToDisplay({}), c.absent);
    }
}

}  // namespace
}  // namespace zelqor
