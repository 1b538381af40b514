// JPEG decoding to and encoding from WorkingBitmap through libjpeg.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ImageLimits.h"
#include "WorkingBitmap.h"

namespace zelqor {

// Images above these sizes are refused before any pixel memory is taken, so a forged header
// cannot make the decoder allocate without bound.
inline constexpr std::uint64_t kMaxDecodedPixels = kMaxImagePixels;
inline constexpr unsigned kMaxJpegDimension = 65500;

// Decodes a whole JPEG file held in memory at full size. Pixels are B, G, R, 0xFF (the fourth
// byte is set opaque so the bitmap can be shown as is). Greyscale files go through libjpeg's
// one-pass quantiser (236 levels, error diffusion). Library errors throw "JPEG エラー #%d"
// with the library's message text as the reason;
// warnings (corrupt data included) do not stop it: the picture decodes as far as it can (grey
// where data is missing), and the overload below tells of them. A file read in several scans
// (progressive ones) is refused when it declares far more blocks than its bytes could fill, or when
// its scans together would walk the picture's blocks dozens of times over.
WorkingBitmap DecodeJpeg(const std::uint8_t* data, std::size_t size);
inline WorkingBitmap DecodeJpeg(const std::vector<std::uint8_t>& bytes) {
    return DecodeJpeg(bytes.data(), bytes.size());
}

struct JpegDecodeOptions {
    // The least size the picture is wanted at, 0 for its own. When both are given, the library
    // decodes at the smallest of 1/8, 1/4 and 1/2 of the full size that still covers them on
    // both sides (each side rounded up), which skips most of the transform work; the picture
    // then differs a little from a full decode reduced by area.
    int atLeastWidth = 0;
    int atLeastHeight = 0;
    // A glance at the picture (the open dialog's preview), for the stream decode: a file of
    // several scans stops at the scan after which no later one can change a pixel at the scale
    // chosen, and a file in one scan with restart markers decodes its halves on two threads.
    // The pixels are those of the whole decode; damage in data never read goes unseen.
    bool glance = false;
};

// What a decode that succeeded has to tell the user.
struct JpegDecodeNotes {
    bool endedEarly = false;  // the data ran out before the picture did: the rest is grey
    // The library's words for the first other sign of corrupt picture data (a bad code, a marker
    // where data was due, stray bytes); empty when there was none. The picture decoded as far
    // as it could, the library's grey where data was lost.
    std::string damage;
    // The file's colour profile was beyond what real profiles cost and was not used
    // (IccProfileCost); the colours were converted as without one.
    bool profileSetAside = false;
};

// DecodeJpeg with options, into the pixels of `reuse` when it already has the size that comes
// out (nothing is allocated then), else into a new bitmap; `notes`, when given, receives what
// the user should hear of.
WorkingBitmap DecodeJpeg(const std::uint8_t* data,
                         std::size_t size,
                         const JpegDecodeOptions& options,
                         WorkingBitmap reuse,
                         JpegDecodeNotes* notes = nullptr);

class Stream;
// The same decode reading `source` from its position a piece at a time, never holding the file
// whole (the open dialog's preview of a large photo at a reduced scale).
WorkingBitmap DecodeJpeg(Stream& source,
                         const JpegDecodeOptions& options,
                         JpegDecodeNotes* notes = nullptr);

struct JpegSize {
    int width = 0;
    int height = 0;
};
// Reads only the header: the picture's size, or "JPEG エラー #%d" for a file whose header is
// broken, whose size is beyond the limits above, or that is read in several scans and declares
// far more blocks than its bytes could fill.
JpegSize ReadJpegSize(const std::uint8_t* data, std::size_t size);
// The same from the first `size` bytes of a file of `fileSize` bytes (its header and metadata).
JpegSize ReadJpegSize(const std::uint8_t* data, std::size_t size, std::uint64_t fileSize);
// Throws the library's "not a JPEG file" error (code and words) unless `data` starts with SOI;
// a file's first bytes are enough to refuse it before it is read whole.
void CheckJpegStart(const std::uint8_t* data, std::size_t size);

// Encodes as a baseline colour JPEG with libjpeg's defaults, the given quality (1..100,
// clamped) and the library's JFIF header. An empty bitmap throws "JPEG エラー #%d".
std::vector<std::uint8_t> EncodeJpeg(const WorkingBitmap& bitmap, int quality);

}  // namespace zelqor
