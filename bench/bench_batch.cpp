// The batch tool end to end on photo-sized files, each one-shot case in a fresh process.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BatchRunner.h"
#include "BenchImages.h"
#include "ImageFile.h"
#include "ImageWriters.h"
#include "LibjpegFile.h"
#include "ScaleBitmap.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;

// The files are made once at start-up, by code that never touches the engine, so that every
// forked child starts with the engine as cold as a new process of the tool.
struct Files {
    fs::path dir;
    fs::path jpeg;                 // 14.7 MP, progressive, 4:4:4, as a phone's HDR shot
    fs::path camera;               // 14.7 MP, baseline 4:2:2 q90, scaled from a camera photo
    fs::path bmp;                  // the same picture as a 24-bit bitmap
    std::vector<fs::path> folder;  // 12 to 24 MP, baseline 4:2:0, as a camera writes them
};

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

const Files& TheFiles() {
    static const Files files = [] {
        Files f;
        f.dir = fs::temp_directory_path() / ("zelqor-bench-batch-" + std::to_string(::getpid()));
        fs::create_directories(f.dir / "out");
        const WorkingBitmap photo = bench::PhotoLike(5120, 2880, 7);
        f.jpeg = f.dir / "photo.jpg";
        bench::WriteLibjpegFile(photo, f.jpeg, 92, 1, 1, true);
        // The largest camera photo of the test data, stretched to the same size.
        const LoadedImage shot =
            LoadImageFile(std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/exiv2-bug2565.jpg");
        f.camera = f.dir / "camera.jpg";
        bench::WriteLibjpegFile(ScaleBitmap(shot.bitmap, 5120, 2880), f.camera, 90, 2, 1, false);
        f.bmp = f.dir / "photo.bmp";
        WriteBytes(f.bmp, EncodeBmp(photo));
        const int sizes[][2] = {{4000, 3000}, {4608, 3456}, {5472, 3648}, {6000, 4000}};
        for (int i = 0; i < 6; ++i) {
            const WorkingBitmap picture =
                bench::PhotoLike(sizes[i % 4][0], sizes[i % 4][1], 20 + i);
            f.folder.push_back(f.dir / ("folder" + std::to_string(i) + ".jpg"));
            // The product's own encoder writes baseline 4:2:0, as cameras do.
            WriteBytes(f.folder.back(), BuildJpegFile(picture, 92, {}, ExifTreatment::None));
        }
        return f;
    }();
    return files;
}

// The tool's batch on `args` in a child process; the parent waits and returns the seconds the
// child's runs reported for themselves ("… 0.21 sec (…)"), summed. `oneStream` false forces the
// staged path; `peakKb` receives the child's peak resident memory.
double RunInChild(const std::vector<std::string>& args,
                  bool oneStream = true,
                  long* peakKb = nullptr) {
    std::fflush(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        cli::ParseResult parsed = cli::ParseCommandLine(args);
        parsed.options.oneStream = oneStream;
        std::ostringstream out, err;
        const int status = parsed.error ? 2 : cli::RunBatch(parsed.options, out, err, false);
        const std::string text = out.str();
        [[maybe_unused]] const auto written = ::write(pipeFds[1], text.data(), text.size());
        ::_exit(status);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    if (peakKb) {
        *peakKb = usage.ru_maxrss;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "batch failed: status %d\n", status);
    }
    double seconds = 0;
    for (std::size_t at = text.find(" sec ("); at != std::string::npos;
         at = text.find(" sec (", at + 1)) {
        const std::size_t start = text.rfind(' ', at - 1) + 1;
        seconds += std::strtod(text.c_str() + start, nullptr);
    }
    return seconds;
}

// The time the runs reported, per iteration, beside the wall time of the whole child.
void CountRunTime(benchmark::State& state, double runSeconds) {
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["run_ms"] = runSeconds * 1000.0 / iterations;
}

// libjpeg's own tools on the same file, decode piped into encode at the tool's default
// quality: the floor a JPEG-to-JPEG tool can reach.
void BM_DjpegPipeCjpeg(benchmark::State& state) {
    const Files& f = TheFiles();
    if (std::system("command -v djpeg >/dev/null && command -v cjpeg >/dev/null") != 0) {
        state.SkipWithError("djpeg and cjpeg are not installed (libjpeg-turbo-progs)");
        return;
    }
    const std::string command = "djpeg '" + f.jpeg.string() + "' | cjpeg -quality 73 > '" +
                                (f.dir / "out" / "djpeg.jpg").string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("djpeg | cjpeg failed");
            return;
        }
    }
}
BENCHMARK(BM_DjpegPipeCjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

// The streamed and the staged path of the tool and the codec pair on one file, full size to
// JPEG at quality 73, interleaved in each iteration (the order turns round) so that a machine
// that gets busier part-way weighs on all three alike. Wall times of whole processes; medians.
// A progressive file streams from its last scan on (JpegDecodesInRows): the decode of its scans
// cannot overlap the run, only its output pass can.
void BM_SideBySide(benchmark::State& state) {
    const Files& f = TheFiles();
    const fs::path& input = state.range(0) == 0 ? f.camera : f.jpeg;
    if (std::system("command -v djpeg >/dev/null && command -v cjpeg >/dev/null") != 0) {
        state.SkipWithError("djpeg and cjpeg are not installed (libjpeg-turbo-progs)");
        return;
    }
    const std::string out = (f.dir / "out" / "side.jpg").string();
    const std::string codec = "djpeg '" + input.string() + "' | cjpeg -quality 73 > '" +
                              (f.dir / "out" / "codec.jpg").string() + "'";
    std::vector<double> seconds[3];
    std::vector<double> peakMb[2];
    int round = 0;
    for (auto _ : state) {
        for (int k = 0; k < 3; ++k) {
            const int which = (k + round) % 3;
            long peak = 0;
            const auto start = std::chrono::steady_clock::now();
            if (which == 2) {
                if (std::system(codec.c_str()) != 0) {
                    state.SkipWithError("djpeg | cjpeg failed");
                    return;
                }
            } else {
                RunInChild({"-q", "-o", out, input.string()}, which == 0, &peak);
                peakMb[which].push_back(static_cast<double>(peak) / 1024.0);
            }
            seconds[which].push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        ++round;
    }
    const double codecS = Median(seconds[2]);
    state.counters["streamed_ms"] = Median(seconds[0]) * 1000.0;
    state.counters["staged_ms"] = Median(seconds[1]) * 1000.0;
    state.counters["codec_ms"] = codecS * 1000.0;
    state.counters["streamed_x"] = Median(seconds[0]) / codecS;
    state.counters["staged_x"] = Median(seconds[1]) / codecS;
    state.counters["streamed_MB"] = Median(peakMb[0]);
    state.counters["staged_MB"] = Median(peakMb[1]);
}
BENCHMARK(BM_SideBySide)
    ->ArgName("progressive")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(9);

// One child per iteration: its start and its exit count, as the tool's own do.
void BM_OneShotJpegToJpeg(benchmark::State& state) {
    const Files& f = TheFiles();
    double run = 0;
    for (auto _ : state) {
        run += RunInChild({"-q", "-o", (f.dir / "out" / "photo.jpg").string(), f.jpeg.string()});
    }
    CountRunTime(state, run);
}
BENCHMARK(BM_OneShotJpegToJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_OneShotBmpToBmp(benchmark::State& state) {
    const Files& f = TheFiles();
    double run = 0;
    for (auto _ : state) {
        run += RunInChild({"-q", "--format", "bmp", "-o", (f.dir / "out" / "photo.bmp").string(),
                           f.bmp.string()});
    }
    CountRunTime(state, run);
}
BENCHMARK(BM_OneShotBmpToBmp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_OneShotJpegToSize1200(benchmark::State& state) {
    const Files& f = TheFiles();
    for (auto _ : state) {
        RunInChild({"-q", "--size", "1200", "-o", (f.dir / "out" / "small.jpg").string(),
                    f.jpeg.string()});
    }
}
BENCHMARK(BM_OneShotJpegToSize1200)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The folder in one call (files overlap) against one process per file.
void BM_Folder(benchmark::State& state) {
    const Files& f = TheFiles();
    const bool together = state.range(0) != 0;
    const bool oneStream = state.range(1) != 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (together) {
            std::vector<std::string> args = {"-q", "-o", (f.dir / "out").string()};
            for (const fs::path& p : f.folder) {
                args.push_back(p.string());
            }
            RunInChild(args, oneStream);
        } else {
            for (const fs::path& p : f.folder) {
                RunInChild({"-q", "-o", (f.dir / "out").string(), p.string()}, oneStream);
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["photos_per_min"] =
        static_cast<double>(state.iterations()) * f.folder.size() * 60.0 / seconds;
}
BENCHMARK(BM_Folder)
    ->ArgNames({"together", "streamed"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace
}  // namespace zelqor

int main(int argc, char** argv) {
    zelqor::TheFiles();
    // The pictures that made the files were freed, but the heap keeps their pages: every child
    // would start with them resident and fill some of its own allocations from them unseen.
    malloc_trim(0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(zelqor::TheFiles().dir, ec);
    return 0;
}
