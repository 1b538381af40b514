// Tests of PNG, CMYK and YCCK input and of which colour profiles a save carries.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>

#include "IccProfile.h"
#include "ImageFile.h"
#include "JpegInspect.h"
#include "OrientedFiles.h"
#include "PngReader.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct PngSpec {
    int width, colourType, bitDepth;
    Bytes row;  // 16-bit samples big-endian
    std::vector<png_color> palette = {};
    Bytes paletteAlpha = {};
};

void append(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

// A one-row PNG; one in colour carries `profile` as its iCCP chunk.
Bytes writePng(const PngSpec& s, const Bytes& profile) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, s.width, 1, s.bitDepth, s.colourType, 0, 0, 0);
    if (!s.palette.empty())
        png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, s.paletteAlpha.data(), 2, nullptr);
    if (s.colourType & PNG_COLOR_MASK_COLOR)
        png_set_iCCP(png, info, "icc", 0, profile.data(), static_cast<png_uint_32>(profile.size()));
    png_write_info(png, info);
    png_write_row(png, s.row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(PngRead, EveryKindComesOutOpaqueWithTransparencyOnWhiteAndItsProfile) {
    const std::uint32_t white = MakePixel(255, 255, 255, 255);
    const std::pair<PngSpec, std::vector<std::uint32_t>> cases[] = {
        {{2, PNG_COLOR_TYPE_GRAY, 8, {0, 200}}, {0xFF000000u, MakePixel(200, 200, 200, 255)}},
        {{2, PNG_COLOR_TYPE_PALETTE, 8, {0, 1}, {{10, 20, 30}, {255, 0, 0}}, {255, 0}},
         {MakePixel(10, 20, 30, 255), white}},
        // 448 / 257 is 1.74: rounded, not cut.
        {{1, PNG_COLOR_TYPE_RGB, 16, {0x01, 0xC0, 0xFF, 0xFF, 0x80, 0x80}},
         {MakePixel(2, 255, 128, 255)}},
        {{2, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 0, 0, 128, 9, 8, 7, 255}},
         {MakePixel(255, 127, 127, 255), MakePixel(9, 8, 7, 255)}},
    };
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(srgb, nullptr, &size);
    Bytes srgbProfile(size);
    cmsSaveProfileToMem(srgb, srgbProfile.data(), &size);
    cmsCloseProfile(srgb);
    for (const auto& [spec, pixels] : cases) {
        SCOPED_TRACE(std::to_string(spec.colourType) + "/" + std::to_string(spec.bitDepth));
        const Bytes file = writePng(spec, srgbProfile);
        Bytes profile;
        const WorkingBitmap b = DecodePng(file.data(), file.size(), profile);
        ASSERT_EQ(b.Width(), spec.width);
        for (int x = 0; x < b.Width(); ++x)
            EXPECT_EQ(b.Pixel(x, 0), pixels[x]) << x;
        EXPECT_EQ(profile, spec.colourType & PNG_COLOR_MASK_COLOR ? srgbProfile : Bytes{});
    }
}

const std::uint32_t kPatches[] = {MakePixel(200, 40, 40), MakePixel(40, 180, 60),
                                  MakePixel(30, 60, 200), MakePixel(0, 0, 0),
                                  MakePixel(255, 255, 255)};

// A CMYK printer profile that maps ink as the plain formula does, but with red and blue traded,
// which only a conversion through the profile can show.
Bytes swappingCmykProfile() {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 17, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        grid,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* toLab) -> cmsInt32Number {
            const double k = 1 - in[3] / 65535.0;
            const double rgb[3] = {(1 - in[2] / 65535.0) * k, (1 - in[1] / 65535.0) * k,
                                   (1 - in[0] / 65535.0) * k};
            cmsCIELab lab;
            cmsDoTransform(static_cast<cmsHTRANSFORM>(toLab), rgb, &lab, 1);
            cmsFloat2LabEncoded(out, &lab);
            return TRUE;
        },
        toLab, 0);
    // The A-to-B form wants curves on both sides of the grid; these do nothing.
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, grid);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile, cmsSigAToB0Tag, lut);
    cmsPipelineFree(lut);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// The patches, 16 x 16 each, as a CMYK or YCCK JPEG stored inverted under Adobe's marker, with
// `profile` embedded when given.
Bytes cmykJpeg(J_COLOR_SPACE space, const Bytes& profile = {}) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = 80, cinfo.image_height = 16, cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, space);
    jpeg_start_compress(&cinfo, TRUE);
    if (!profile.empty())
        jpeg_write_icc_profile(&cinfo, profile.data(), static_cast<unsigned>(profile.size()));
    std::vector<JSAMPLE> row;
    for (int x = 0; x < 80; ++x) {
        const std::uint32_t p = kPatches[x / 16];
        const int k = 255 - std::max({PixelR(p), PixelG(p), PixelB(p)});
        for (int c : {PixelR(p), PixelG(p), PixelB(p)})
            row.push_back(k == 255 ? 255 : 255 - (255 - c - k) * 255 / (255 - k));
        row.push_back(255 - k);
    }
    for (JSAMPROW rows[1] = {row.data()}; cinfo.next_scanline < 16;)
        jpeg_write_scanlines(&cinfo, rows, 1);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

// Without a profile by the formula; with one through it (the swapping profile shows which), the
// profile's grid costing a few levels more. Its CMYK profile never reaches the RGB result.
TEST(ColourProfile, CmykAndYcckLoadNearTheirRgbOriginal) {
    TempFolder folder;
    const Bytes swapping = swappingCmykProfile();
    for (const J_COLOR_SPACE space : {JCS_CMYK, JCS_YCCK}) {
        for (const bool withProfile : {false, true}) {
            oriented::Write(folder / "cmyk.jpg", cmykJpeg(space, withProfile ? swapping : Bytes{}));
            const LoadedImage loaded = LoadImageFile((folder / "cmyk.jpg").string());
            const int tolerance = withProfile ? 16 : 6;
            for (int patch = 0; patch < 5; ++patch) {
                const std::uint32_t got = loaded.bitmap.Pixel(patch * 16 + 8, 8);
                const std::uint32_t p = kPatches[patch];
                const std::uint32_t want =
                    withProfile ? MakePixel(PixelB(p), PixelG(p), PixelR(p)) : p;
                EXPECT_NEAR(PixelR(got), PixelR(want), tolerance) << space << withProfile << patch;
                EXPECT_NEAR(PixelG(got), PixelG(want), tolerance) << space << withProfile << patch;
                EXPECT_NEAR(PixelB(got), PixelB(want), tolerance) << space << withProfile << patch;
            }
            EXPECT_TRUE(iccChunks(BuildJpegFile(loaded.bitmap, 90, loaded.exifSegmentBuffer,
                                                ExifTreatment::Copy))
                            .empty());
        }
    }
}

TEST(ColourProfile, OnlyAnRgbProfileTravelsIntoTheSavedFile) {
    for (const auto& [space, carried] :
         {std::pair{"RGB ", true}, {"GRAY", false}, {"CMYK", false}}) {
        Bytes profile(300, 0);  // a save looks at the header's data colour space alone
        std::copy_n(space, 4, profile.begin() + 16);
        MetadataBlock metadata;
        metadata.icc = IccChunksOf(profile);
        for (const ExifTreatment item : {ExifTreatment::Copy, ExifTreatment::FixSize})
            EXPECT_EQ(iccChunks(BuildJpegFile(WorkingBitmap(8, 8), 90, metadata, item)).size(),
                      carried ? 1u : 0u);
    }
}

}  // namespace
}  // namespace zelqor
