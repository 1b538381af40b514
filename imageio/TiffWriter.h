// Encoding TIFF files: 8-bit RGB, lossless, with the Exif directory, XMP and ICC profile.
#pragma once

#include "DecodedPicture.h"
#include "Stream.h"
#include "WorkingBitmap.h"

namespace zelqor {

// `bitmap` (the fourth byte dropped) as an 8-bit RGB TIFF in Deflate-compressed strips with
// the horizontal predictor. The Exif block gives IFD0 its descriptive texts (make, model,
// date, ...) and its Exif and GPS directories, copied whole; the file takes the block's byte
// order so nothing in them needs turning round. XMP goes into tag 700, the profile into 34675.
// An empty bitmap, a libtiff failure or a short write to `out` throws the stream write error.
void WriteTiff(const WorkingBitmap& bitmap, const MetadataPieces& metadata, Stream& out);

}  // namespace zelqor
