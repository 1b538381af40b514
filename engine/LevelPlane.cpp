// Centred 16-bit level rows.
#include "LevelPlane.h"

#include <algorithm>

namespace zelqor {

LevelRowLayout::LevelRowLayout(int width_, int reachX)
    : width(width_), pad(RoundUp16(reachX + 16)), stride(pad + RoundUpToBlock(width_) + pad) {}

void FillLevelRow(const std::uint32_t* src,
                  const LevelRowLayout& layout,
                  bool luminance,
                  std::int16_t* paddedRow) {
    std::fill(paddedRow, paddedRow + layout.pad, std::int16_t{0});
    std::int16_t* row = paddedRow + layout.pad;
    const int centre = LevelCentre(luminance);
    for (int x = 0; x < layout.width; ++x) {
        row[x] = static_cast<std::int16_t>(PixelLevel(src[x], luminance) - centre);
    }
    std::fill(row + layout.width, paddedRow + layout.stride, std::int16_t{0});
}

LevelPlane::LevelPlane(const LevelRowLayout& layout, int height)
    : layout_(layout),
      height_(height),
      // Left unset here: the workers' Fill writes every element, in parallel.
      rows_(MakeHugeBuffer<std::int16_t>(static_cast<std::size_t>(layout.stride) * height)),
      zeroRow_(static_cast<std::size_t>(layout.stride), 0) {}

void LevelPlane::Fill(const WorkingBitmap& src, bool luminance, int firstRow, int endRow) {
    for (int y = firstRow; y < endRow; ++y) {
        FillLevelRow(src.RowWords(y), layout_, luminance,
                     rows_.get() + static_cast<std::size_t>(y) * layout_.stride);
    }
}

const std::int16_t* LevelPlane::Row(int y) const {
    if (y < 0 || y >= height_) {
        return zeroRow_.data() + layout_.pad;
    }
    return rows_.get() + static_cast<std::size_t>(y) * layout_.stride + layout_.pad;
}

}  // namespace zelqor
