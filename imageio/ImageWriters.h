// PNG and BMP encoders for the batch tool.
#pragma once

#include <cstdint>
#include <vector>

#include "MetadataPieces.h"
#include "Stream.h"
#include "WorkingBitmap.h"

namespace zelqor {

// 8-bit RGB PNG through libpng; the fourth byte is dropped. An empty bitmap or a libpng
// failure throws the stream write error.
std::vector<std::uint8_t> EncodePng(const WorkingBitmap& bitmap);
// The same PNG written to `out`. A short write or an exception from `out` stops libpng and
// throws the stream write error once control is back outside the library.
void WritePng(const WorkingBitmap& bitmap, Stream& out);
// The same with metadata: Exif (TIFF bytes) as eXIf, XMP as the iTXt text
// "XML:com.adobe.xmp", the ICC profile as iCCP. A profile libpng finds unfit for an RGB
// picture (broken, grey, CMYK) is left out rather than failing the save.
void WritePng(const WorkingBitmap& bitmap, const MetadataPieces& metadata, Stream& out);

// 24-bit uncompressed bottom-up BMP with a BITMAPINFOHEADER; an empty bitmap or one whose
// file would pass 4 GiB throws the stream write error.
std::vector<std::uint8_t> EncodeBmp(const WorkingBitmap& bitmap);
// The same BMP written to `out` a band of rows at a time; a short write throws the stream
// write error.
void WriteBmp(const WorkingBitmap& bitmap, Stream& out);

}  // namespace zelqor
