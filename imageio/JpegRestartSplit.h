// Where a one-scan JPEG with restart markers can be cut into two halves that decode apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zelqor {

// A cut at a restart marker that begins a row of blocks: everything before `cut` with the
// header's height set to `topHeight` is a file of its own, and so is the header with the height
// `height - topHeight` followed by the bytes after the marker. The marker chosen is RST7, so
// the second half's markers count from RST0 as a fresh file's do, and a restart starts the DC
// prediction afresh, so neither half needs anything of the other.
struct JpegRestartSplit {
    std::size_t heightField = 0;  // offset of the frame header's two height bytes
    std::size_t scanData = 0;     // first byte after the scan header
    std::size_t cut = 0;          // offset of the 0xFF of the marker cut at
    int topHeight = 0;            // pixel rows before the cut, a whole number of block rows
    int height = 0;
    std::uint64_t restartsBefore = 0;  // markers up to and with the one cut at
};

// The cut a file's header asks for, before the markers are sought: `cut` is still 0 and
// `restartsBefore` says which marker to look for. Only the header has to be within `size`.
std::optional<JpegRestartSplit> PlanRestartSplit(const std::uint8_t* data, std::size_t size);

// The cut nearest the middle for a file in one interleaved Huffman-coded scan of three
// components, 8 bits a sample, with a restart interval; nothing for any other file, for one
// whose header or markers up to the cut are not as such a file's must be, and for a cut that
// would leave one half with less than a quarter of the rows. Only the bytes up to the cut are
// looked at; whether the rest is sound is for the decode of the second half to find.
std::optional<JpegRestartSplit> FindRestartSplit(const std::uint8_t* data, std::size_t size);

}  // namespace zelqor
