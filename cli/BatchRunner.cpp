// The batch loop: load, run, style, encode and write each input.
#include "BatchRunner.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "ImageFile.h"
#include "ImageIoError.h"
#include "ImageLimits.h"
#include "MessageLanguage.h"
#include "PictureFormats.h"
#include "RunTexts.h"
#include "ScaleBitmap.h"
#include "StreamedFile.h"

namespace zelqor::cli {
namespace fs = std::filesystem;

namespace {

class ProgressBar : public RunObserver {
  public:
    // `notice` takes the large-size notice, a line that must keep its place among the files'
    // lines.
    ProgressBar(std::ostream& err, bool draw, std::function<void(std::string)> notice)
        : err_(err), draw_(draw), notice_(std::move(notice)) {}
    ~ProgressBar() override { Clear(); }

    void LargeSizeNotice() override {
        if (draw_) {
            notice_("Large-size calculation mode (slower calculation)\n");
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
    std::function<void(std::string)> notice_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Every format goes straight into the file through its row's writer, with what the Exif
// choice keeps; a JPEG is built whole first, as its metadata is put in behind the encoder's own
// header.
void Encode(const CliOptions& o,
            const WorkingBitmap& bitmap,
            const MetadataBlock& metadata,
            Stream& out) {
    FormatById(o.format).write(out, bitmap, o.values.jpegQuality, metadata, o.values.exif);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

// One line of a file's report, in the order the file met it.
struct ReportLine {
    bool toErr;
    std::string text;
};

// A file on its way through the batch: its plan, its pixels at each step and its report.
struct BatchItem {
    std::string input;
    OutputPlan plan;
    std::string key;        // the result's canonical path, which no two results of a batch share
    bool japanese = false;  // the language of its report
    bool failed = false;
    bool skipped = false;  // its result exists and --no-clobber keeps it
    bool written = false;
    std::vector<ReportLine> lines;
    std::size_t linesPrinted = 0;
    WorkingBitmap source;
    decltype(LoadedImage::exifSegmentBuffer) metadata;
    Size target;
    WorkingBitmap result;
    RunOutcome outcome;
    // A file on the streamed path keeps its bytes until its run decodes them; a JPEG result
    // comes out of that run encoded.
    bool streamed = false;
    PictureFile file;
    std::vector<std::uint8_t> encoded;

    // One line, whatever went wrong: scripts count a failure per line.
    void Fail(const std::string& message) {
        lines.push_back(
            {true, "zelqorhdr-cli: " + input + ": " + InMessageLanguage(message, japanese) + "\n"});
        failed = true;
    }
    // Our text first, then the decoder's own reason (if any).
    void Fail(const ImageIoError& e) {
        Fail(e.Reason().empty() ? e.Text()
                                : InMessageLanguage(e.Text(), japanese) + ": " + e.Reason());
    }
    void Warn(const std::string& message) {
        lines.push_back({true, "zelqorhdr-cli: " + input +
                                   ": warning: " + InMessageLanguage(message, japanese) + "\n"});
    }
    // Nothing more is done for a file that failed or is skipped.
    bool Done() const { return failed || skipped; }
};

// Runs one step of a file; whatever it throws fails that file alone.
template <typename Step>
void Guarded(BatchItem& item, Step step) {
    try {
        step();
    } catch (const ImageIoError& e) {
        item.Fail(e);
    } catch (const std::bad_alloc&) {
        item.Fail("not enough memory for this image");
    } catch (const std::exception& e) {
        item.Fail(e.what());
    } catch (...) {
        item.Fail(kUnexpectedFailureText);
    }
}

// Where the result goes, unless it cannot or this batch already wrote there.
void Plan(const CliOptions& o, const std::set<std::string>& written, BatchItem& item) {
    Guarded(item, [&] {
        item.plan = PlanOutput(o, item.input);
        if (!item.plan.error.empty()) {
            item.Fail(item.plan.error);
            return;
        }
        // A name the file system refuses (too long, a symbolic-link loop) fails here first;
        // it is this file's failure, not the batch's.
        std::error_code ec;
        item.key = fs::weakly_canonical(item.plan.path, ec).string();
        if (ec) {
            item.Fail(FileCreateErrorText(item.plan.path, ec.message()));
        } else if (written.count(item.key)) {
            item.Fail("a result of this batch was already written to " + item.plan.path);
        } else if (o.noClobber && fs::exists(fs::symlink_status(item.plan.path, ec))) {
            item.skipped = true;
            item.lines.push_back(
                {false, item.input + ": skipped, " + item.plan.path + " exists (--no-clobber)\n"});
        }
    });
}

// A new item for `input`, planned.
std::unique_ptr<BatchItem> PlannedItem(const CliOptions& o,
                                       const std::set<std::string>& written,
                                       const std::string& input) {
    auto item = std::make_unique<BatchItem>();
    item->input = input;
    item->japanese = o.japaneseMessages;
    Plan(o, written, *item);
    return item;
}

// Reads and decodes the file. A result smaller than the picture lets a JPEG decode at a
// reduced scale that still covers it; `reuse` are pixels the decode may fill.
void Load(const CliOptions& o, BatchItem& item, WorkingBitmap reuse) {
    if (item.Done()) {
        return;
    }
    Guarded(item, [&] {
        PictureFile file =
            ReadPictureFile(item.input, o.keepOrientation ? OrientationHandling::AsStored
                                                          : OrientationHandling::Upright);
        const int n = o.size > 0 ? o.size : std::max(file.width, file.height);
        item.target = RunTargetSize(file.width, file.height, n, Rect{});
        const auto collectExif = [&] {
            std::optional<std::string> exifError;
            item.metadata = CollectMetadata(file, exifError);
            // The formats read whole say themselves whether their pixels were turned.
            if (file.jpeg)
                item.metadata.storedOrientation = o.keepOrientation;
            if (exifError) {
                item.lines.push_back({true, "zelqorhdr-cli: " + item.input + ": " +
                                                InMessageLanguage(*exifError, item.japanese) +
                                                " (Exif kept as far as it could be read)\n"});
            }
            for (const std::string& notice : file.notices)
                item.Warn(notice);
        };
        if (UsesStreamedPath(o, file)) {
            // Decoded by the run itself into a ring of rows: pixels kept for reuse would only
            // sit beside it.
            item.streamed = true;
            collectExif();
            item.file = std::move(file);
            return;
        }
        DecodeRequest request;
        if (item.target.width < file.width && item.target.height < file.height) {
            request.atLeastWidth = item.target.width;
            request.atLeastHeight = item.target.height;
        }
        request.reuse = std::move(reuse);
        item.source = DecodePicture(file, std::move(request));
        collectExif();
    });
}

// Styles, encodes and writes the result.
// A step on a thread of its own, or in line when no thread can be had. What the step throws
// past its file's guard (memory for a report line) reaches the caller at Wait.
class Background {
  public:
    Background() = default;
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    ~Background() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    void Start(std::function<void()> step) {
        step_ = std::move(step);
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            Run();
        }
    }

    void Wait() {
        if (thread_.joinable()) {
            thread_.join();
        }
        if (error_) {
            std::rethrow_exception(std::exchange(error_, nullptr));
        }
    }

  private:
    void Run() {
        try {
            step_();
        } catch (...) {
            error_ = std::current_exception();
        }
        step_ = nullptr;
    }

    std::function<void()> step_;
    std::thread thread_;
    std::exception_ptr error_;
};

// `last`: no later run takes the result's pixels, so they go back while the file is synced and
// renamed rather than after.
void Write(const CliOptions& o, BatchItem& item, bool last) {
    if (item.Done()) {
        return;
    }
    Guarded(item, [&] {
        Background release;
        if (!item.encoded.empty()) {
            // Encoded, in its view style, by the stream that ran it.
            const std::vector<std::uint8_t> bytes =
                AddJpegMetadata(std::move(item.encoded), item.outcome.width, item.outcome.height,
                                item.metadata, o.values.exif);
            item.encoded = {};
            if (last) {
                release.Start([held = std::move(item.result)]() mutable { held.Clear(); });
            }
            WriteFileAtomically(item.plan.path, bytes);
        } else {
            if (o.styleCode != StyleCode{}) {
                MakeViewBitmapAll(&item.result, o.styleCode, o.tint);
            }
            WriteFileAtomically(item.plan.path, [&](Stream& out) {
                Encode(o, item.result, item.metadata, out);
                if (last) {
                    release.Start([held = std::move(item.result)]() mutable { held.Clear(); });
                }
            });
        }
        item.written = true;
        item.lines.push_back({false, item.input + " -> " + item.plan.path + ": " +
                                         RunEndText(item.outcome.elapsedMs, item.outcome.width,
                                                    item.outcome.height) +
                                         ", radius " + std::to_string(item.outcome.radius) + "\n"});
    });
}

// Prints the files' lines in input order however far ahead a step runs: a file's lines wait
// until every earlier file has printed all of its own.
class Transcript {
  public:
    Transcript(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    // Prints the item's lines not yet printed, when its turn has come.
    void Offer(BatchItem& item, int index) {
        if (index != next_) {
            return;
        }
        for (; item.linesPrinted < item.lines.size(); ++item.linesPrinted) {
            const ReportLine& line = item.lines[item.linesPrinted];
            (line.toErr ? err_ : out_) << line.text;
        }
    }

    // The item is done: its last lines go out and the next file's turn comes.
    void Finish(BatchItem& item, int index) {
        Offer(item, index);
        failures_ += item.failed ? 1 : 0;
        ++next_;
    }

    int Failures() const { return failures_; }

  private:
    std::ostream& out_;
    std::ostream& err_;
    int next_ = 0;
    int failures_ = 0;
};

// True for a name the tool gives its own results ("photo_hdr.jpg"): a folder run twice must not
// take the first run's results for new photos.
bool IsOwnResultName(const fs::path& file) {
    const std::string stem = file.stem().string();
    constexpr std::string_view kSuffix = "_hdr";
    return stem.size() > kSuffix.size() &&
           stem.compare(stem.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0;
}

}  // namespace

ExpandedInputs ExpandFolders(const std::vector<std::string>& inputs) {
    ExpandedInputs expanded;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            expanded.files.push_back(input);
            continue;
        }
        std::vector<fs::path> pictures;
        for (fs::directory_iterator it(input, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError) && HasPictureExtension(it->path().string()) &&
                !IsOwnResultName(it->path())) {
                pictures.push_back(it->path());
            }
        }
        if (ec) {
            expanded.failures.push_back(input + ": " + ec.message());
            continue;
        }
        if (pictures.empty()) {
            expanded.failures.push_back(input + ": no pictures in this folder");
            continue;
        }
        std::sort(pictures.begin(), pictures.end());
        for (const fs::path& picture : pictures) {
            expanded.files.push_back(picture.string());
        }
    }
    return expanded;
}

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
            const char* version,
            bool japaneseMessages) {
    try {
        const ParseResult parsed = ParseCommandLine(args);
        if (parsed.error) {
            err << "zelqorhdr-cli: " << *parsed.error << "\n";
            return 2;
        }
        CliOptions o = parsed.options;
        // Whatever was reported, a standard output that took none of it is a failure.
        const auto wroteOut = [&](int status) {
            out.flush();
            if (!out) {
                ReportEscapedFailure(err, "write error on standard output");
                return std::max(status, 1);
            }
            return status;
        };
        if (o.help) {
            out << UsageText();
            return wroteOut(0);
        }
        if (o.version) {
            out << "zelqorhdr-cli " << version << "\n";
            return wroteOut(0);
        }
        o.japaneseMessages = japaneseMessages;
        const ExpandedInputs expanded = ExpandFolders(o.inputs);
        o.inputs = expanded.files;
        // Several results need a folder to go in; without one every file would fail alike, so
        // it is a usage error before any picture is read.
        std::error_code ec;
        if (o.inputs.size() > 1 && !o.output.empty() && !fs::is_directory(o.output, ec)) {
            err << "zelqorhdr-cli: with several inputs, --output must be an existing folder: "
                << o.output << "\n";
            return 2;
        }
        for (const std::string& failure : expanded.failures) {
            err << "zelqorhdr-cli: " << failure << "\n";
        }
        const int status = RunBatch(o, out, err, !o.quiet && errIsTerminal);
        return wroteOut(expanded.failures.empty() ? status : 1);
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
    // With several files both cores stay busy: the next file decodes and the previous one is
    // encoded and written while the engine runs on this one. At most three files are held
    // (loading, running, writing), and the lines come out in input order as before.
    Transcript transcript(out, err);
    std::set<std::string> written;
    ProcessingRun run;
    const int count = static_cast<int>(o.inputs.size());
    auto current = std::make_unique<BatchItem>();
    std::unique_ptr<BatchItem> writing;
    Background writer;
    WorkingBitmap spareSource;  // pixels of a run that ended, for the next decode
    WorkingBitmap spareResult;  // pixels of a file written, for the next run

    // Waits for the file being written and prints its report.
    const auto collect = [&](int index) {
        writer.Wait();
        if (!writing) {
            return;
        }
        if (writing->written) {
            written.insert(writing->key);
        }
        transcript.Finish(*writing, index);
        spareResult = std::move(writing->result);
        writing.reset();
    };

    if (count > 0) {
        current = PlannedItem(o, written, o.inputs[0]);
        Load(o, *current, WorkingBitmap{});
    }
    for (int i = 0; i < count; ++i) {
        transcript.Offer(*current, i);
        // The next file loads meanwhile, unless its result or its input is one an earlier file
        // has still to write: whether that write succeeds decides about the next file.
        auto next = std::make_unique<BatchItem>();
        Background loader;
        bool loading = false;
        if (i + 1 < count) {
            next = PlannedItem(o, written, o.inputs[i + 1]);
            std::error_code ec;
            const std::string nextInput = fs::weakly_canonical(next->input, ec).string();
            const auto clashes = [&](const BatchItem* other) {
                return other && !other->key.empty() &&
                       (other->key == next->key || other->key == nextInput);
            };
            if (next->Done() || !(clashes(current.get()) || clashes(writing.get()))) {
                loading = true;
                loader.Start([&o, &next, reuse = std::move(spareSource)]() mutable {
                    Load(o, *next, std::move(reuse));
                });
            }
        }

        if (!current->Done()) {
            Guarded(*current, [&] {
                const Size target = current->target;
                // An enlargement is held three times over (copy, result, encoder); keep it to
                // what a decoded photo may be.
                if (!ImageSizeAcceptable(target.width, target.height)) {
                    current->Fail("a result of " + std::to_string(target.width) + " x " +
                                  std::to_string(target.height) + " pixels is too large");
                    return;
                }
                // A side rounded to nothing (a long strip made small) leaves nothing to run.
                if (target.width <= 0 || target.height <= 0) {
                    current->Fail("the result would have no pixels");
                    return;
                }
                current->result = std::move(spareResult);
                ProgressBar bar(err, progress, [&](std::string line) {
                    current->lines.push_back({true, std::move(line)});
                    transcript.Offer(*current, i);
                });
                if (current->streamed) {
                    StreamedResult streamed =
                        RunStreamedFile(o, std::move(current->file), current->result, bar);
                    current->outcome = streamed.outcome;
                    current->encoded = std::move(streamed.encoded);
                    for (const std::string& notice : DecodeNotices(streamed.notes)) {
                        current->Warn(notice);
                    }
                    return;
                }
                if (EncodesBesideRun(o, current->source, target)) {
                    StreamedResult streamed = RunBesideEncoder(o, current->source, bar);
                    current->outcome = streamed.outcome;
                    current->encoded = std::move(streamed.encoded);
                    return;
                }
                // A reduced decode may round a side differently from the full one: scale to the
                // target of the full size, as the run itself would from a full decode.
                WorkingBitmap scaled;
                const bool scale = current->source.Width() != target.width ||
                                   current->source.Height() != target.height;
                if (scale) {
                    scaled = ScaleBitmap(current->source, target.width, target.height,
                                         ProcessingRun::kWorkers);
                }
                current->outcome = run.MakeProcessedImage(
                    scale ? scaled : current->source, std::max(target.width, target.height), Rect{},
                    o.values.run, current->result, bar);
                if (!current->result.HoldsImage()) {
                    current->Fail("the result would have no pixels");
                }
            });
            spareSource = std::move(current->source);
        }

        collect(i - 1);
        writing = std::move(current);
        writer.Start([&o, item = writing.get(), last = i + 1 == count] { Write(o, *item, last); });
        if (i + 1 == count) {
            // Nothing decodes into it any more: its pages go back while the result is written,
            // not after.
            spareSource.Clear();
        }
        loader.Wait();
        if (i + 1 < count && !loading) {
            collect(i);
            next = PlannedItem(o, written, o.inputs[i + 1]);
            Load(o, *next, std::move(spareSource));
        }
        current = std::move(next);
    }
    collect(count - 1);
    return transcript.Failures() == 0 ? 0 : 1;
}

}  // namespace zelqor::cli
