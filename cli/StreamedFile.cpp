// The streamed batch file: a decoder thread, the run's two workers and an encoder thread, with
// rows handed on through counters.
#include "StreamedFile.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include "JpegRowStream.h"
#include "RowGate.h"
#include "StreamedRun.h"
#include "ViewStyles.h"
#include "WorkerThreads.h"

namespace zelqor::cli {
namespace {

// The encoder's rows: each in the view style, taken once the run has finished it. No worker
// touches a finished row again, so the style may change it in place.
class StyledRows final : public JpegRowFeed {
  public:
    StyledRows(WorkingBitmap& result, RowGate& finished, StyleCode style, Rgb tint)
        : result_(result), finished_(finished), style_(style), tint_(tint) {}

    const std::uint8_t* Row(int y) noexcept override {
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
    return JpegDecodesInRows(file.bytes.data(), file.bytes.size());
}

StreamedResult RunStreamedFile(const CliOptions& o,
                               PictureFile file,
                               WorkingBitmap& source,
                               WorkingBitmap& result,
                               RunObserver& observer) {
    // Sized before any thread starts, because the run reads the size while rows arrive. New
    // pages come in as the decoder and the workers first write them, beside the other work,
    // rather than all at once before it.
    const int width = file.width;
    const int height = file.height;
    if (source.Width() != width || source.Height() != height) {
        source.ResizeUnpopulated(width, height);
    }
    if (result.Width() != width || result.Height() != height) {
        result.ResizeUnpopulated(width, height);
    }
    RowGate decoded;
    RowGate finished;
    std::exception_ptr decodeError;
    std::exception_ptr runError;
    std::exception_ptr encodeError;
    StreamedResult streamed;
    const bool encode = o.format == OutputFormat::Jpeg;
    StyledRows feed(result, finished, o.styleCode, o.tint);

    const auto decodeRows = [&] {
        try {
            DecodeJpegInRows(file.bytes.data(), file.bytes.size(), source, decoded,
                             &streamed.endedEarly);
        } catch (...) {
            decodeError = std::current_exception();
        }
        // Its pages go back while the run and the encoder still work: the stream holds the
        // file, both bitmaps and the growing output at once, which the staged path never does.
        file.bytes = {};
    };
    const auto encodeRows = [&] {
        try {
            streamed.encoded = EncodeJpegInRows(width, height, o.values.jpegQuality, feed);
        } catch (...) {
            encodeError = std::current_exception();
        }
    };
    {
        WorkerThreads helpers;
        helpers.SetOnAbandon([&] {
            decoded.Close();
            finished.Close();
        });
        helpers.Start(encode ? 2 : 1, [&](int i) {
            if (i == 0) {
                decodeRows();
            } else {
                encodeRows();
            }
        });
        // Without a thread of its own a step runs here in turn: the whole decode before the
        // run, the whole encode after it.
        if (!helpers.Started(0)) {
            decodeRows();
        }
        try {
            streamed.outcome =
                RunStreamed(source, decoded, result, finished, o.values.run, observer);
        } catch (...) {
            runError = std::current_exception();
        }
        if (encode && !helpers.Started(1)) {
            encodeRows();
        }
        helpers.JoinAll();
    }
    // A decoder that failed stopped the run, and a stopped run stopped the encoder: the first
    // cause is the one to report.
    for (const std::exception_ptr& error : {decodeError, runError, encodeError}) {
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

}  // namespace zelqor::cli
