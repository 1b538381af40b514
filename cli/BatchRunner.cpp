// The batch loop: load, run, style, encode and write each input.
#include "BatchRunner.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <new>
#include <set>

#include "ImageFile.h"
#include "ImageIoError.h"
#include "ImageLimits.h"
#include "ImageWriters.h"
#include "RunTexts.h"

namespace zelqor::cli {
namespace fs = std::filesystem;

namespace {

class ProgressBar : public RunObserver {
  public:
    ProgressBar(std::ostream& err, bool draw) : err_(err), draw_(draw) {}
    ~ProgressBar() override { Clear(); }

    void LargeSizeNotice() override {
        if (draw_) {
            err_ << "Large-size calculation mode (slower calculation)\n";
        }
    }

    bool Poll(int claimed, int count) override {
        const auto now = std::chrono::steady_clock::now();
        if (draw_ && now - lastDraw_ >= std::chrono::milliseconds(100)) {
            constexpr int kWidth = 30;
            const int filled =
                count > 0 ? static_cast<int>(static_cast<long long>(claimed) * kWidth / count) : 0;
            err_ << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] "
                 << ProgressText(claimed, count) << std::flush;
            drawn_ = true;
            lastDraw_ = now;
        }
        return false;
    }

    void Clear() {
        if (drawn_) {
            err_ << "\r" << std::string(72, ' ') << "\r" << std::flush;
            drawn_ = false;
        }
    }

  private:
    std::ostream& err_;
    bool draw_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

std::vector<std::uint8_t> Encode(const CliOptions& o,
                                 const WorkingBitmap& bitmap,
                                 const MetadataBlock& metadata) {
    switch (o.format) {
        case OutputFormat::Png:
            return EncodePng(bitmap);
        case OutputFormat::Bmp:
            return EncodeBmp(bitmap);
        case OutputFormat::Jpeg:
            break;
    }
    return BuildJpegFile(bitmap, o.quality, metadata, o.exifItem);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

OutputPlan PlanOutput(const CliOptions& o, const std::string& input) {
    const fs::path in(input);
    std::string ext = ".";
    ext += FormatExtension(o.format);
    std::error_code ec;
    fs::path target;
    if (o.output.empty()) {
        target = in.parent_path() / (in.stem().string() + "_hdr" + ext);
    } else if (fs::is_directory(o.output, ec)) {
        target = fs::path(o.output) / (in.stem().string() + ext);
    } else if (o.inputs.size() > 1) {
        return {"", "with several inputs, --output must be an existing folder: " + o.output};
    } else {
        target = o.output;
    }
    if (SameFile(target.string(), input)) {
        return {"", "the output " + target.string() + " would overwrite the input"};
    }
    return {target.string(), ""};
}

int RunTool(const std::vector<std::string>& args,
            std::ostream& out,
            std::ostream& err,
            bool errIsTerminal,
            const char* version) {
    try {
        const ParseResult parsed = ParseCommandLine(args);
        if (parsed.error) {
            err << "zelqorhdr-cli: " << *parsed.error << "\n";
            return 2;
        }
        const CliOptions& o = parsed.options;
        if (o.help) {
            out << kUsageText;
            return 0;
        }
        if (o.version) {
            out << "zelqorhdr-cli " << version << "\n";
            return 0;
        }
        return RunBatch(o, out, err, !o.quiet && errIsTerminal);
    } catch (const std::exception& e) {
        ReportEscapedFailure(err, e.what());
    } catch (...) {
        ReportEscapedFailure(err, kUnexpectedFailureText);
    }
    return 1;
}

void ReportEscapedFailure(std::ostream& err, const char* text) {
    try {
        // A stream that threw once may throw again; the exit status still tells.
        err.exceptions(std::ios::goodbit);
        err.clear();
        err << "zelqorhdr-cli: " << text << "\n" << std::flush;
    } catch (...) {
    }
}

int RunBatch(const CliOptions& o, std::ostream& out, std::ostream& err, bool progress) {
    int failures = 0;
    std::set<std::string> written;
    ProcessingRun run;
    for (const std::string& input : o.inputs) {
        auto report = [&](const std::string& message) {
            err << "zelqorhdr-cli: " << input << ": " << message << "\n";
            ++failures;
        };
        try {
            const OutputPlan plan = PlanOutput(o, input);
            if (!plan.error.empty()) {
                report(plan.error);
                continue;
            }
            // A name the file system refuses (too long, a symbolic-link loop) fails here
            // first; it is this file's failure, not the batch's.
            std::error_code ec;
            const std::string key = fs::weakly_canonical(plan.path, ec).string();
            if (ec) {
                report(FileCreateErrorText(plan.path, ec.message()));
                continue;
            }
            if (written.count(key)) {
                report("a result of this batch was already written to " + plan.path);
                continue;
            }
            LoadedImage image = LoadImageFile(input);
            if (image.exifError) {
                err << "zelqorhdr-cli: " << input << ": " << *image.exifError
                    << " (Exif kept as far as it could be read)\n";
            }
            const WorkingBitmap& src = image.bitmap;
            const int n = o.size > 0 ? o.size : std::max(src.Width(), src.Height());
            const Size target = RunTargetSize(src.Width(), src.Height(), n, Rect{});
            // An enlargement is held three times over (copy, result, encoder); keep it to what
            // a decoded photo may be.
            if (!ImageSizeAcceptable(target.width, target.height)) {
                report("a result of " + std::to_string(target.width) + " x " +
                       std::to_string(target.height) + " pixels is too large");
                continue;
            }
            WorkingBitmap dst;
            RunOutcome outcome;
            {
                ProgressBar bar(err, progress);
                outcome = run.MakeProcessedImage(src, n, Rect{}, o.settings, dst, bar);
            }
            if (!dst.HoldsImage()) {
                report("the result would have no pixels");
                continue;
            }
            if (o.styleCode != kViewDefault) {
                MakeViewBitmapAll(&dst, o.styleCode, o.tint);
            }
            WriteFileAtomically(plan.path, Encode(o, dst, image.exifSegmentBuffer));
            written.insert(key);
            out << input << " -> " << plan.path << ": "
                << RunEndText(outcome.elapsedMs, outcome.width, outcome.height) << ", radius "
                << outcome.radius << "\n";
        } catch (const ImageIoError& e) {
            report(e.what());
        } catch (const std::bad_alloc&) {
            report("not enough memory for this image");
        } catch (const std::exception& e) {
            report(e.what());
        } catch (...) {
            report(kUnexpectedFailureText);
        }
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace zelqor::cli
