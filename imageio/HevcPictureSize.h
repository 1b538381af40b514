// The picture sizes HEVC parameter sets declare, read before any decoder takes memory for them.
#pragma once

#include <cstdint>
#include <span>

namespace zelqor {

struct CodedSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// The largest picture (by pixel count) any sequence parameter set in the file's HEVC
// configuration boxes ("hvcC") declares: the primary image's, its grid tiles', its alpha and
// depth planes', its thumbnails'. A HEIF item's declared size ("ispe") may say less than its
// coded stream, and the decoder allocates for the stream. Zero when there is none to read.
CodedSize LargestHevcPicture(std::span<const std::uint8_t> file);

}  // namespace zelqor
