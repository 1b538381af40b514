// The open dialog's picture preview of a 24-megapixel JPEG: file read, then the camera's Exif
// thumbnail when there is one, else a reduced-scale (1/8) decode, and the area shrink into the
// preview's box. The dialog asks for it at each click on a file, on the
// user-interface thread, so it has to stay well under the 50 ms a click may take. Beside the
// product's own baseline files: a camera's (restart markers) and a progressive one.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <jpeglib.h>

#include "BenchImages.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "LibjpegFile.h"
#include "PreviewThumbnail.h"
#include "ScaleBitmap.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;

// An Exif block whose second directory holds `thumbnail` as a camera writes it.
std::vector<std::uint8_t> ExifWithThumbnail(const std::vector<std::uint8_t>& thumbnail) {
    std::vector<std::uint8_t> b = {
        'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0,
        8,   0,   0,   0,   0, 0, 14,  0,   0,  0};  // IFD0: no entries, IFD1 at 14
    const auto u16 = [&b](unsigned v) {
        b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    const auto u32 = [&](unsigned v) { u16(v & 0xFFFF), u16(v >> 16); };
    u16(2);
    u16(0x0201), u16(4), u32(1), u32(44);
    u16(0x0202), u16(4), u32(1), u32(static_cast<unsigned>(thumbnail.size()));
    u32(0);
    b.insert(b.end(), thumbnail.begin(), thumbnail.end());
    return b;
}

// A photo-like 6000 x 4000 picture with fine noise (more entropy than most camera files, so the
// figure errs on the slow side), at a camera's usual quality; with a camera's 160 x 107 Exif
// thumbnail or without one.
const std::string& Photo24MPFile(bool cameraThumbnail) {
    static const WorkingBitmap photo = bench::PhotoLike(6000, 4000);
    const auto write = [](const char* name, bool thumb) {
        MetadataBlock metadata;
        if (thumb) {
            metadata.app1.Append(ExifWithThumbnail(EncodeJpeg(ScaleBitmap(photo, 160, 107), 90)));
        }
        const std::vector<std::uint8_t> bytes =
            BuildJpegFile(photo, 92, metadata, ExifTreatment::Copy);
        const fs::path file = fs::temp_directory_path() / name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        std::printf("%s: %.1f MB\n", name, static_cast<double>(bytes.size()) / 1e6);
        return file.string();
    };
    static const std::string plain = write("zelqor-bench-preview-24mp.jpg", false);
    static const std::string withThumb = write("zelqor-bench-preview-24mp-thumb.jpg", true);
    return cameraThumbnail ? withThumb : plain;
}

// The same photo through libjpeg's own encoder in the layouts ours never writes: a restart
// marker every `restartMcus` block groups as cameras write them, or libjpeg's progressive script.
const std::string& Photo24MPKind(int kind) {
    const auto write = [](const char* name, int restartMcus, bool progressive) {
        static const WorkingBitmap photo = bench::PhotoLike(6000, 4000);
        const fs::path path = fs::temp_directory_path() / name;
        bench::WriteLibjpegFile(photo, path, 92, 2, 2, progressive,
                                static_cast<unsigned>(restartMcus));
        std::printf("%s: %.1f MB\n", name, static_cast<double>(fs::file_size(path)) / 1e6);
        return path.string();
    };
    static const std::string restarts = write("zelqor-bench-preview-24mp-dri.jpg", 4, false);
    static const std::string progressive = write("zelqor-bench-preview-24mp-prog.jpg", 0, true);
    return kind == 1 ? restarts : progressive;
}

// The preview's box is the widget's thumbnail area (PicturePreview): 156 inside its frame.
void BM_PreviewThumbnail24MP(benchmark::State& state) {
    const bool cameraThumbnail = state.range(0) != 0;
    const std::string& path = Photo24MPFile(cameraThumbnail);
    for (auto _ : state) {
        auto thumb = MakePreviewThumbnail(path, 156, 156);
        benchmark::DoNotOptimize(thumb);
    }
}
BENCHMARK(BM_PreviewThumbnail24MP)
    ->ArgName("exifThumbnail")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_PreviewKind24MP(benchmark::State& state) {
    const std::string& path = Photo24MPKind(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto thumb = MakePreviewThumbnail(path, 156, 156);
        benchmark::DoNotOptimize(thumb);
    }
}
// The CPU figure is the whole process's: a file with restart markers decodes on two threads.
BENCHMARK(BM_PreviewKind24MP)
    ->ArgName("restartsOrProgressive")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
}  // namespace zelqor

BENCHMARK_MAIN();
