// JPEG decoding and encoding a row at a time, for a pipeline that works on rows as they come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "WorkingBitmap.h"

namespace zelqor {

class RowGate;
struct JpegDecodeNotes;

// How the decoder hands out the rows of a file, with the pixels a whole decode (DecodeJpeg)
// gives: grey, YCbCr and RGB files as it reads them when they are in one scan, and after the
// last scan when they are in several (progressive ones), which keeps the whole picture's
// coefficients meanwhile. Not for other colour spaces (CMYK, YCCK) or a header that does not read.
enum class JpegRowOrder { NotInRows, AsRead, AfterLastScan };
JpegRowOrder JpegDecodesInRows(const std::uint8_t* data, std::size_t size);

// DecodeJpeg at full size into `bitmap`, which must already have the picture's size (nothing is
// allocated here, as other threads read its published rows meanwhile). Each row is published on
// `published` once it is final, rows a truncated file never gave are black as in DecodeJpeg,
// and a gate that somebody else closes ends the decode early. The gate is closed on every way
// out; a library error throws as DecodeJpeg does, after it is closed. `notes`, when given,
// receives what the user should hear of, as DecodeJpeg's. A ring bitmap (ResizeRing) writes row y
// only once `released` has passed y - RowsHeld(): its readers have let that slot go.
void DecodeJpegInRows(const std::uint8_t* data,
                      std::size_t size,
                      WorkingBitmap& bitmap,
                      RowGate& published,
                      JpegDecodeNotes* notes = nullptr,
                      RowGate* released = nullptr);

// Hands the encoder its rows in order, on the encoder's thread.
class JpegRowFeed {
  public:
    virtual ~JpegRowFeed() = default;
    // Row y of the picture, blocking until it is ready; null ends the encode. Must not throw:
    // it is called between the library's calls.
    virtual const std::uint8_t* Row(int y) noexcept = 0;
};

// EncodeJpeg of a width x height picture whose rows come from `feed` (its bytes are the same
// as EncodeJpeg's of those rows). Empty when the feed ended the encode.
std::vector<std::uint8_t> EncodeJpegInRows(int width, int height, int quality, JpegRowFeed& feed);

}  // namespace zelqor
