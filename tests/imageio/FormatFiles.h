// Small pictures of the newer formats made at test time with the formats' own tools.
#pragma once

#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "WorkingBitmap.h"

namespace zelqor {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Runs a shell command quietly; true when it exited with 0.
inline bool RunTool(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}
// The command's standard output.
inline std::string ToolOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// Smooth ramps with a hard edge and, when asked, an alpha ramp across: something for every
// coder to get slightly wrong.
inline std::uint32_t TestPixel(int x, int y, int w, int h, bool alpha) {
    const int r = x * 255 / (w - 1), g = y * 255 / (h - 1), b = x > w / 2 ? 200 : 40;
    const int a = alpha ? 40 + (x + y) * 215 / (w + h - 2) : 255;
    return MakePixel(r, g, b, a);
}

inline WorkingBitmap TestBitmap(int w, int h, bool alpha) {
    WorkingBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, TestPixel(x, y, w, h, alpha));
    return b;
}

// An 8-bit RGB or RGBA PNG of TestPixel through libpng's simplified writer.
inline void WriteTestPng(const std::filesystem::path& path, int w, int h, bool alpha) {
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = TestPixel(x, y, w, h, alpha);
            samples.insert(samples.end(), {std::uint8_t(PixelR(p)), std::uint8_t(PixelG(p)),
                                           std::uint8_t(PixelB(p))});
            if (alpha)
                samples.push_back(std::uint8_t(p >> 24));
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_image_write_to_file(&image, path.c_str(), 0, samples.data(), 0, nullptr);
}

// A 16-bit RGB PNG whose samples are TestPixel's scaled by 257 plus `fraction`, so that a
// reduction to 8 bits must round to come out right.
inline void WriteTestPng16(const std::filesystem::path& path, int w, int h, int fraction) {
    FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, w, h, 16, PNG_COLOR_TYPE_RGB, 0, 0, 0);
    png_write_info(png, info);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 6);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = TestPixel(x, y, w, h, false);
            const int c[3] = {PixelR(p), PixelG(p), PixelB(p)};
            for (int i = 0; i < 3; ++i) {
                const int v = std::min(65535, c[i] * 257 + fraction);
                row[6 * x + 2 * i] = static_cast<std::uint8_t>(v >> 8);
                row[6 * x + 2 * i + 1] = static_cast<std::uint8_t>(v);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// A TIFF as libtiff reads it, through its own RGBA conversion (premultiplied alpha) laid over
// white: the reference for what tiff2rgba wrote.
inline WorkingBitmap ReadTiffReference(const std::filesystem::path& path) {
    WorkingBitmap out;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr)
        return out;
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(w) * h);
    if (TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
        out = WorkingBitmap(static_cast<int>(w), static_cast<int>(h));
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint32_t p = raster[y * w + x];
                const int white = 255 - static_cast<int>(TIFFGetA(p));
                out.SetPixel(static_cast<int>(x), static_cast<int>(y),
                             MakePixel(std::min(255, static_cast<int>(TIFFGetR(p)) + white),
                                       std::min(255, static_cast<int>(TIFFGetG(p)) + white),
                                       std::min(255, static_cast<int>(TIFFGetB(p)) + white), 255));
            }
    }
    TIFFClose(tif);
    return out;
}

// How far two pictures of the same size differ: the largest difference of one channel, and the
// mean difference of the colour channels in tenths; both 999 when their sizes differ.
struct Differences {
    long max = 0, meanTenths = 0;
};
inline Differences ChannelDifferences(const WorkingBitmap& a, const WorkingBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || !a.HoldsImage())
        return {999, 999};
    Differences d;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int shift = 0; shift < 32; shift += 8) {
                const long one = std::abs(static_cast<long>((a.Pixel(x, y) >> shift) & 0xFF) -
                                          static_cast<long>((b.Pixel(x, y) >> shift) & 0xFF));
                d.max = std::max(d.max, one);
                d.meanTenths += shift < 24 ? one : 0;
            }
    d.meanTenths = d.meanTenths * 10 / (3L * a.Width() * a.Height());
    return d;
}

// A LittleCMS profile's bytes; the profile is closed.
inline Bytes SavedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace zelqor
