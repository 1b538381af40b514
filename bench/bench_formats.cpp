// HEIC and AVIF decoding of a 12-megapixel photo, and the batch tool's whole run, beside
// libheif's own heif-convert; the peak memory of a HEIC decode and of the tool's HEIC run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BenchImages.h"
#include "HeifReader.h"
#include "ImageWriters.h"
#include "JpegCodec.h"

namespace {

namespace fs = std::filesystem;
using zelqor::DecodeHeif;

constexpr int kWidth = 4000, kHeight = 3000;

// The photo as heif-enc writes it, made once per run in a temporary folder.
struct Files {
    fs::path dir;
    fs::path heic;
    fs::path avif;
    std::vector<std::uint8_t> heicBytes;
    std::vector<std::uint8_t> avifBytes;
    bool ok = false;

    Files() {
        dir = fs::temp_directory_path() / ("zelqor-bench-formats-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        const fs::path png = dir / "photo.png";
        const auto encoded = zelqor::EncodePng(zelqor::bench::PhotoLike(kWidth, kHeight));
        std::ofstream(png, std::ios::binary)
            .write(reinterpret_cast<const char*>(encoded.data()),
                   static_cast<std::streamsize>(encoded.size()));
        heic = dir / "photo.heic";
        avif = dir / "photo.avif";
        // A camera-like quality; the AV1 encoder at a fast speed, or making the file alone
        // would outlast the benchmark.
        ok = std::system(
                 ("heif-enc -q 80 -o '" + heic.string() + "' '" + png.string() + "' >/dev/null")
                     .c_str()) == 0 &&
             std::system(("heif-enc -A -q 80 -p speed=8 -o '" + avif.string() + "' '" +
                          png.string() + "' >/dev/null")
                             .c_str()) == 0;
        heicBytes = read(heic);
        avifBytes = read(avif);
    }
    ~Files() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    static std::vector<std::uint8_t> read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

Files& files() {
    static Files f;
    return f;
}

void report(benchmark::State& state, std::size_t fileBytes) {
    state.counters["MP"] = kWidth * kHeight / 1e6;
    state.counters["file_KB"] = static_cast<double>(fileBytes) / 1024;
}

void BM_DecodeHeic(benchmark::State& state) {
    Files& f = files();
    if (!f.ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeHeif(f.heicBytes.data(), f.heicBytes.size()));
    report(state, f.heicBytes.size());
}

void BM_DecodeAvif(benchmark::State& state) {
    Files& f = files();
    if (!f.ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeHeif(f.avifBytes.data(), f.avifBytes.size()));
    report(state, f.avifBytes.size());
}

// Our decode and a JPEG of it, as heif-convert does its work, from reading the file on.
void decodeToJpeg(benchmark::State& state, const fs::path& file) {
    for (auto _ : state) {
        const auto bytes = Files::read(file);
        const auto picture = DecodeHeif(bytes.data(), bytes.size());
        const auto jpeg = zelqor::EncodeJpeg(picture.bitmap, 90);
        std::ofstream(files().dir / "ours.jpg", std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()),
                   static_cast<std::streamsize>(jpeg.size()));
    }
}
void BM_OursHeicToJpeg(benchmark::State& state) {
    if (!files().ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    decodeToJpeg(state, files().heic);
}
void BM_OursAvifToJpeg(benchmark::State& state) {
    if (!files().ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    decodeToJpeg(state, files().avif);
}

void heifConvert(benchmark::State& state, const fs::path& file) {
    const std::string command = "heif-convert -q 90 '" + file.string() + "' '" +
                                (files().dir / "theirs.jpg").string() + "' >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            return state.SkipWithError("heif-convert failed");
    }
}
void BM_HeifConvertHeicToJpeg(benchmark::State& state) {
    if (!files().ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    heifConvert(state, files().heic);
}
void BM_HeifConvertAvifToJpeg(benchmark::State& state) {
    if (!files().ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    heifConvert(state, files().avif);
}

// The batch tool's whole run (read, decode, tone mapping at full size, JPEG, safe write) as a
// program of its own, timed as heif-convert is: a process from start to exit.
void batchTool(benchmark::State& state, const fs::path& file) {
    const std::string command = "'" ZELQOR_CLI_PROGRAM "' -q --quality 90 -o '" +
                                (files().dir / "tool.jpg").string() + "' '" + file.string() +
                                "' >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            return state.SkipWithError("zelqorhdr-cli failed");
    }
}
void BM_BatchToolHeicToJpeg(benchmark::State& state) {
    if (!files().ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    batchTool(state, files().heic);
}
void BM_BatchToolAvifToJpeg(benchmark::State& state) {
    if (!files().ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    batchTool(state, files().avif);
}

// The high-water mark of a process's own memory image (VmHWM), in kB; 0 once it is gone.
long residentHighWaterKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            return kb;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

// The peak resident memory of the batch tool's whole HEIC run against the decoded picture (4
// bytes a pixel). The child's rusage would count the benchmark's own pages it shared before
// exec, so its VmHWM is sampled while it runs instead (from its exec on): the mark only grows,
// and the last sample misses at most the final few milliseconds.
void BM_BatchToolHeicPeakMemory(benchmark::State& state) {
    if (!files().ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    const std::string out = (files().dir / "tool.jpg").string();
    const std::string in = files().heic.string();
    double peakMb = 0;
    for (auto _ : state) {
        // Until its exec the child's mark is the benchmark's own: sampling starts once the
        // close-on-exec pipe has closed.
        int execed[2];
        if (::pipe2(execed, O_CLOEXEC) != 0)
            return state.SkipWithError("pipe failed");
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(ZELQOR_CLI_PROGRAM, "zelqorhdr-cli", "-q", "-o", out.c_str(), in.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(execed[1]);
        char ignored;
        while (::read(execed[0], &ignored, 1) > 0) {
        }
        ::close(execed[0]);
        long peakKb = 0;
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            peakKb = std::max(peakKb, residentHighWaterKb(child));
            ::usleep(2000);
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return state.SkipWithError("zelqorhdr-cli failed");
        peakMb = static_cast<double>(peakKb) / 1024;
    }
    const double pictureMb = 4.0 * kWidth * kHeight / (1024 * 1024);
    state.counters["peak_MB"] = peakMb;
    state.counters["x_picture"] = peakMb / pictureMb;
}

// The decode in a child process, which reports how far its resident memory grew; the bitmap
// alone is 4 bytes a pixel.
void BM_HeicDecodePeakMemory(benchmark::State& state) {
    Files& f = files();
    if (!f.ok)
        return state.SkipWithError("heif-enc failed (libheif-examples)");
    double grownMb = 0;
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0)
            return state.SkipWithError("pipe failed");
        const pid_t child = ::fork();
        if (child == 0) {
            rusage before{};
            ::getrusage(RUSAGE_SELF, &before);
            const auto picture = DecodeHeif(f.heicBytes.data(), f.heicBytes.size());
            benchmark::DoNotOptimize(picture.bitmap.Data());
            rusage after{};
            ::getrusage(RUSAGE_SELF, &after);
            const long grownKb = after.ru_maxrss - before.ru_maxrss;
            [[maybe_unused]] const auto n = ::write(fds[1], &grownKb, sizeof grownKb);
            ::_exit(0);
        }
        ::close(fds[1]);
        long grownKb = 0;
        [[maybe_unused]] const auto n = ::read(fds[0], &grownKb, sizeof grownKb);
        ::close(fds[0]);
        ::waitpid(child, nullptr, 0);
        grownMb = static_cast<double>(grownKb) / 1024;
    }
    const double pictureMb = 4.0 * kWidth * kHeight / (1024 * 1024);
    state.counters["peak_growth_MB"] = grownMb;
    state.counters["x_picture"] = grownMb / pictureMb;
}

BENCHMARK(BM_DecodeHeic)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_OursHeicToJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HeifConvertHeicToJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_BatchToolHeicToJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DecodeAvif)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_OursAvifToJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HeifConvertAvifToJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_BatchToolAvifToJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_BatchToolHeicPeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_HeicDecodePeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
