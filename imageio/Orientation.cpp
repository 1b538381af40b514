// The eight Exif orientations as pixel moves from the stored picture to the upright one.
#include "Orientation.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace zelqor {

namespace {

void mirrorRows(WorkingBitmap& b) {
    for (int y = 0; y < b.Height(); ++y) {
        std::uint32_t* row = b.RowWords(y);
        std::reverse(row, row + b.Width());
    }
}

void flipRows(WorkingBitmap& b) {
    for (int top = 0, bottom = b.Height() - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(b.RowWords(top), b.RowWords(top) + b.Width(), b.RowWords(bottom));
}

// The sides swap: upright pixel (x, y) comes from stored pixel (sx, sy), where a column of the
// stored picture becomes a row. `fromRight` reads stored columns right to left, `fromBottom`
// reads stored rows bottom to top.
WorkingBitmap transposed(const WorkingBitmap& stored, bool fromRight, bool fromBottom) {
    const int w = stored.Height();
    const int h = stored.Width();
    WorkingBitmap upright(w, h);
    // In tiles, so the stored rows a tile reads stay in cache while its columns are taken.
    constexpr int kTile = 64;
    for (int y0 = 0; y0 < h; y0 += kTile) {
        for (int x0 = 0; x0 < w; x0 += kTile) {
            for (int y = y0; y < std::min(h, y0 + kTile); ++y) {
                const int sx = fromRight ? h - 1 - y : y;
                std::uint32_t* out = upright.RowWords(y);
                for (int x = x0; x < std::min(w, x0 + kTile); ++x) {
                    const int sy = fromBottom ? w - 1 - x : x;
                    out[x] = stored.RowWords(sy)[sx];
                }
            }
        }
    }
    return upright;
}

}  // namespace

WorkingBitmap TurnUpright(WorkingBitmap stored, int orientation) {
    switch (orientation) {
        case 2:
            mirrorRows(stored);
            return stored;
        case 3:
            mirrorRows(stored);
            flipRows(stored);
            return stored;
        case 4:
            flipRows(stored);
            return stored;
        case 5:
            return transposed(stored, false, false);
        case 6:
            return transposed(stored, false, true);
        case 7:
            return transposed(stored, true, true);
        case 8:
            return transposed(stored, true, false);
        default:
            return stored;
    }
}

}  // namespace zelqor
