// One file decoded, run and encoded as one stream, and the choice of the files that go so.
#pragma once

#include <cstdint>
#include <vector>

#include "CliOptions.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "ProcessingRun.h"

namespace zelqor::cli {

// Whether `file` goes through the batch as one stream rather than in stages (decode, run,
// encode). Only where the streamed result is the staged one byte for byte and its memory no
// more than the staged path's: a JPEG whose rows the decoder hands out one by one
// (JpegDecodesInRows), processed at its own size, and not to be turned upright.
bool UsesStreamedPath(const CliOptions& o, const PictureFile& file);

struct StreamedResult {
    RunOutcome outcome;
    std::vector<std::uint8_t> encoded;  // the encoder's own file for JPEG output; else empty
    JpegDecodeNotes notes;              // what the decode has to tell the user
};

// Decodes the JPEG `file` (its bytes go once decoded), runs the engine while rows arrive, and
// for JPEG output encodes the result's rows in the view style as they are finished; PNG and BMP
// are left to be written from `result`, which is then the whole unstyled result (for JPEG it is
// left alone). Source and JPEG result pass through rings of rows, never held whole. Throws the
// decoder's error first, then the run's, then the encoder's; every thread has ended by then.
StreamedResult RunStreamedFile(const CliOptions& o,
                               PictureFile file,
                               WorkingBitmap& result,
                               RunObserver& observer);

// Whether a picture decoded whole (any format but the streamed JPEGs) is run with the encoder
// beside the run: JPEG output at the source's own size, where the result's rows go into the
// encoder through a ring as they are finished instead of being held whole, and the encode ends
// with the run rather than after it. The bytes are the staged path's.
bool EncodesBesideRun(const CliOptions& o, const WorkingBitmap& source, Size target);

// The run of `source` (whole) with the JPEG encoder beside it; the result is `encoded`, in the
// view style. Throws the run's error first, then the encoder's; every thread has ended by then.
StreamedResult RunBesideEncoder(const CliOptions& o,
                                const WorkingBitmap& source,
                                RunObserver& observer);

}  // namespace zelqor::cli
