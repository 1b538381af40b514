// The streamed batch file: a decoder thread, the run's two workers and an encoder thread, with
// rows handed on through counters.
#include "StreamedFile.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "JpegRowStream.h"
#include "RowGate.h"
#include "StreamedRun.h"
#include "ViewStyles.h"
#include "WorkerThreads.h"

namespace zelqor::cli {
namespace {

// Rows of the result between the run and the encoder: the encoder takes them a few at a time,
// and a slot is free again as soon as the library has copied its row in.
constexpr int kResultRingRows = 128;

// The encoder's rows: each in the view style, taken once the run has finished it. No worker
// touches a finished row again, so the style may change it in place.
class StyledRows final : public JpegRowFeed {
  public:
    StyledRows(WorkingBitmap& result, RowGate& finished, RowGate& taken, StyleCode style, Rgb tint)
        : result_(result), finished_(finished), taken_(taken), style_(style), tint_(tint) {}

    const std::uint8_t* Row(int y) noexcept override {
        // Asked for row y, the library holds copies of every row above it.
        taken_.Publish(y);
        if (finished_.WaitFor(y + 1) <= y) {
            return nullptr;
        }
        if (style_ != StyleCode{}) {
            MakeViewBitmap(&result_, Rect{0, y, result_.Width(), y + 1}, style_, tint_);
        }
        return result_.Row(y);
    }

  private:
    WorkingBitmap& result_;
    RowGate& finished_;
    RowGate& taken_;
    const StyleCode style_;
    const Rgb tint_;
};

}  // namespace

bool UsesStreamedPath(const CliOptions& o, const PictureFile& file) {
    // A JPEG turned upright by its Exif needs the whole picture before its first row.
    if (!o.oneStream || !file.jpeg || file.orientation != 1) {
        return false;
    }
    // A reduction needs the whole picture, and its reduced decode differs from the full one.
    const int n = o.size > 0 ? o.size : std::max(file.width, file.height);
    const Size target = RunTargetSize(file.width, file.height, n, Rect{});
    if (target.width != file.width || target.height != file.height) {
        return false;
    }
    switch (JpegDecodesInRows(file.bytes.data(), file.bytes.size())) {
        case JpegRowOrder::AsRead:
            return true;
        case JpegRowOrder::AfterLastScan: {
            // The coefficients of every scan are held until the first row comes, in either
            // path. Beside them the staged decode holds the whole picture; the stream its ring
            // of source rows and the run's scratch, and for PNG or BMP the whole result too.
            const StreamedRunPlan plan = PlanStreamedRun(file.width, file.height, o.values.run);
            const auto rowBytes = static_cast<std::size_t>(file.width) * 4;
            return o.format == OutputFormat::Jpeg &&
                   static_cast<std::size_t>(plan.sourceRows) * rowBytes + plan.scratchBytes <
                       static_cast<std::size_t>(file.height) * rowBytes;
        }
        case JpegRowOrder::NotInRows:
            break;
    }
    return false;
}

namespace {

// The run between a source that `decodeRows` fills on a thread of its own (or that is whole and
// published already, when it is empty) and, for JPEG output, an encoder taking the result's rows
// through a ring. `decodeWhole` is the decode run in line before the run when no thread can be
// had for it.
StreamedResult RunBesideCodecs(const CliOptions& o,
                               const WorkingBitmap& source,
                               RowGate& decoded,
                               RowGate& released,
                               const std::function<void()>& decodeRows,
                               const std::function<void()>& decodeWhole,
                               StreamedResult streamed,
                               WorkingBitmap& result,
                               RunObserver& observer) {
    const int width = source.Width();
    const int height = source.Height();
    const bool encode = o.format == OutputFormat::Jpeg;
    WorkingBitmap resultRing;
    if (encode) {
        resultRing.ResizeRing(width, height, kResultRingRows);
    } else if (result.Width() != width || result.Height() != height) {
        result.ResizeUnpopulated(width, height);
    }
    WorkingBitmap& runResult = encode ? resultRing : result;
    RowGate finished, taken;
    std::exception_ptr runError;
    std::exception_ptr encodeError;
    StyledRows feed(runResult, finished, taken, o.styleCode, o.tint);

    const auto encodeRows = [&] {
        try {
            streamed.encoded = EncodeJpegInRows(width, height, o.values.jpegQuality, feed);
        } catch (...) {
            encodeError = std::current_exception();
        }
        // Workers waiting for a slot of the result must not wait for an encoder that is gone.
        taken.Close();
    };
    // The steps beside the run, each on a thread of its own where one can be had.
    std::vector<std::function<void()>> steps;
    if (decodeRows) {
        steps.push_back(decodeRows);
    }
    const auto encoderStep = static_cast<int>(steps.size());
    if (encode) {
        steps.push_back(encodeRows);
    }
    {
        WorkerThreads helpers;
        helpers.SetOnAbandon([&] {
            for (RowGate* gate : {&decoded, &released, &finished, &taken}) {
                gate->Close();
            }
        });
        helpers.Start(static_cast<int>(steps.size()), [&](int i) { steps[i](); });
        // Without a thread of its own a step runs here in turn: the whole decode before the
        // run, the whole encode after it. Its side of the run then needs every row at once, as
        // a ring's rows would wait for a step that has not begun.
        if (decodeRows && !helpers.Started(0)) {
            decodeWhole();
        }
        const bool encoderStarted = encode && helpers.Started(encoderStep);
        if (encode && !encoderStarted) {
            resultRing.ResizeUnpopulated(width, height);
        }
        try {
            streamed.outcome = RunStreamed(source, decoded, runResult, finished, o.values.run,
                                           observer, StartStdThread, RingGates{&released, &taken});
        } catch (...) {
            runError = std::current_exception();
        }
        if (encode && !encoderStarted) {
            encodeRows();
        }
        helpers.JoinAll();
    }
    // A decoder that failed stopped the run, and a stopped run stopped the encoder: the first
    // cause is the one to report (the decoder's is the caller's to throw).
    for (const std::exception_ptr& error : {runError, encodeError}) {
        if (error) {
            std::rethrow_exception(error);
        }
    }
    if (streamed.outcome.rowsClaimed != streamed.outcome.rowCount ||
        (encode && streamed.encoded.empty())) {
        throw std::runtime_error("Canceled");
    }
    return streamed;
}

}  // namespace

StreamedResult RunStreamedFile(const CliOptions& o,
                               PictureFile file,
                               WorkingBitmap& result,
                               RunObserver& observer) {
    // Sized before any thread starts, because the run reads the size while rows arrive. New
    // pages come in as the decoder and the workers first write them, beside the other work,
    // rather than all at once before it. The source passes through a ring of the rows the run
    // still reads, and so does the result on its way into the encoder.
    const int width = file.width;
    const int height = file.height;
    WorkingBitmap source;
    source.ResizeRing(width, height, PlanStreamedRun(width, height, o.values.run).sourceRows);
    RowGate decoded, released;
    std::exception_ptr decodeError;
    JpegDecodeNotes notes;
    const auto decodeRows = [&] {
        try {
            DecodeJpegInRows(file.bytes.data(), file.bytes.size(), source, decoded, &notes,
                             &released);
        } catch (...) {
            decodeError = std::current_exception();
        }
        // Its pages go back while the run and the encoder still work beside the growing output.
        file.bytes = {};
    };
    const auto decodeWhole = [&] {
        source.ResizeUnpopulated(width, height);
        decodeRows();
    };
    std::optional<StreamedResult> streamed;
    std::exception_ptr laterError;
    try {
        streamed = RunBesideCodecs(o, source, decoded, released, decodeRows, decodeWhole, {},
                                   result, observer);
    } catch (...) {
        laterError = std::current_exception();
    }
    if (decodeError) {
        std::rethrow_exception(decodeError);
    }
    if (laterError) {
        std::rethrow_exception(laterError);
    }
    streamed->notes = notes;
    return std::move(*streamed);
}

bool EncodesBesideRun(const CliOptions& o, const WorkingBitmap& source, Size target) {
    return o.oneStream && o.format == OutputFormat::Jpeg && source.HoldsImage() &&
           source.Width() == target.width && source.Height() == target.height;
}

StreamedResult RunBesideEncoder(const CliOptions& o,
                                const WorkingBitmap& source,
                                RunObserver& observer) {
    RowGate decoded, released;
    decoded.Publish(source.Height());
    WorkingBitmap unused;
    return RunBesideCodecs(o, source, decoded, released, {}, {}, {}, unused, observer);
}

}  // namespace zelqor::cli
