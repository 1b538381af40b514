// The layout of a HEIF file's primary grid, read from its boxes before any decoder runs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace zelqor {

struct HeifGridLayout {
    std::uint32_t rows = 0;
    std::uint32_t columns = 0;
    std::uint32_t canvasWidth = 0;  // the grid's output size
    std::uint32_t canvasHeight = 0;
    std::uint32_t tileWidth = 0;  // its first tile's declared size ("ispe"), which places them all
    std::uint32_t tileHeight = 0;
};

// The primary image's grid, when the primary image is one and its descriptor, its first tile
// and that tile's size can all be read; nothing otherwise (libheif then judges the file).
// libheif fills a canvas its tiles do not reach with black and says nothing.
std::optional<HeifGridLayout> PrimaryGridLayout(std::span<const std::uint8_t> file);

}  // namespace zelqor
