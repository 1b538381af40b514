// Encoding WebP files, lossy or lossless, with their metadata chunks.
#pragma once

#include "DecodedPicture.h"
#include "Stream.h"
#include "WorkingBitmap.h"

namespace zelqor {

// `bitmap` (the fourth byte ignored) as WebP: lossy at `quality` 1..99 (clamped from 1),
// lossless at 100. Exif (TIFF bytes), XMP and the ICC profile go into EXIF, XMP and ICCP
// chunks of the extended layout. An empty bitmap, a side over WebP's 16,383 or an encoder
// failure throws the stream write error, as does a short write to `out`.
void WriteWebp(const WorkingBitmap& bitmap,
               int quality,
               const MetadataPieces& metadata,
               Stream& out);

}  // namespace zelqor
