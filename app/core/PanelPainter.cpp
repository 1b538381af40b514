// Fitting or zooming an image into a panel's page and drawing the visible part, converted for
// the screen when the picture has a colour transform.
#include "PanelPainter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ScaleBitmap.h"
#include "WorkerThreads.h"

namespace zelqor {
namespace {

// Tiles further than this many tile sizes off the page are let go: a pan back and forth stays
// cheap, a long pan does not pile up the picture.
constexpr int kKeptMargin = 2;

Rect Intersect(const Rect& a, const Rect& b) {
    const Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) {
        return Rect{};
    }
    return r;
}

Rect Moved(const Rect& r, int dx, int dy) {
    return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

std::uint64_t TileId(int tx, int ty) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(ty)) << 32 |
           static_cast<std::uint32_t>(tx);
}

// The tile columns or rows [first, last] that cover [from, to) of the scaled picture.
struct TileSpan {
    int first = 0;
    int last = -1;
};

TileSpan Tiles(int from, int to) {
    constexpr int t = PanelPainter::kTileSize;
    return to <= from ? TileSpan{} : TileSpan{from / t, (to - 1) / t};
}

// The picture at its own size: rows copied as they are.
void DrawSameSize(WorkingBitmap& buffer,
                  const Rect& update,
                  const Rect& visible,
                  const Rect& shown,
                  const WorkingBitmap& image) {
    const std::size_t rowBytes = static_cast<std::size_t>(visible.Width()) * 4;
    for (int y = visible.top; y < visible.bottom; ++y) {
        std::memcpy(buffer.RowWords(y - update.top) + (visible.left - update.left),
                    image.RowWords(y - shown.top) + (visible.left - shown.left), rowBytes);
    }
}

// Each device pixel takes the picture pixel it falls in, so enlarged pixels are sharp squares
// (of whole device pixels, since shown starts on a whole pixel). Rows that fall in the same
// picture row are copied from the one above.
void DrawCrisp(WorkingBitmap& buffer,
               const Rect& update,
               const Rect& visible,
               const Rect& shown,
               const WorkingBitmap& image) {
    std::vector<int> columns(static_cast<std::size_t>(visible.Width()));
    for (int x = visible.left; x < visible.right; ++x) {
        columns[x - visible.left] = static_cast<int>(static_cast<std::int64_t>(x - shown.left) *
                                                     image.Width() / shown.Width());
    }
    const std::size_t rowBytes = columns.size() * 4;
    int previous = -1;
    for (int y = visible.top; y < visible.bottom; ++y) {
        const int sy = static_cast<int>(static_cast<std::int64_t>(y - shown.top) * image.Height() /
                                        shown.Height());
        std::uint32_t* dst = buffer.RowWords(y - update.top) + (visible.left - update.left);
        if (sy == previous) {
            std::memcpy(dst, buffer.RowWords(y - 1 - update.top) + (visible.left - update.left),
                        rowBytes);
            continue;
        }
        const std::uint32_t* src = image.RowWords(sy);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            dst[i] = src[columns[i]];
        }
        previous = sy;
    }
}

// What the screen gets from the drawn pixels: the view style, on the visible image pixels only,
// so the background keeps its colour and rows outside the update are never touched. A picture
// shown through a colour transform has its style and its conversion done in its tiles instead
// (MakeTile), so that no repaint converts.
void Present(WorkingBitmap& buffer,
             const Rect& update,
             const Rect& visible,
             StyleCode code,
             Rgb tint) {
    MakeViewBitmap(&buffer, Moved(visible, -update.left, -update.top), code, tint);
}

// One tile of the picture as key scales it: the run's reduction of the part at (tx, ty), or the
// picture's own pixels when it is kept at its own size; styled and converted when the key says
// the picture is shown through a transform.
WorkingBitmap MakeTile(const WorkingBitmap& image,
                       int sw,
                       int sh,
                       int tx,
                       int ty,
                       StyleCode code,
                       Rgb tint,
                       const ColourTransform* colour) {
    constexpr int t = PanelPainter::kTileSize;
    const Rect area{tx * t, ty * t, std::min((tx + 1) * t, sw), std::min((ty + 1) * t, sh)};
    WorkingBitmap tile;
    if (sw == image.Width() && sh == image.Height()) {
        tile = WorkingBitmap(area.Width(), area.Height());
        for (int y = area.top; y < area.bottom; ++y) {
            std::memcpy(tile.RowWords(y - area.top), image.RowWords(y) + area.left,
                        static_cast<std::size_t>(area.Width()) * 4);
        }
    } else {
        tile = ScaleBitmapRegion(image, sw, sh, Rect{tx * t, ty * t, (tx + 1) * t, (ty + 1) * t});
    }
    if (colour != nullptr) {
        // The style reads the picture's own numbers; only its result is the screen's.
        MakeViewBitmapAll(&tile, code, tint);
        colour->ApplyAll(tile);
    }
    return tile;
}

}  // namespace

void PaintFittedImage(WorkingBitmap& buffer,
                      const Rect& update,
                      const Rect& client,
                      const WorkingBitmap& image,
                      StyleCode code,
                      Rgb tint,
                      const SharedTransform& colour) {
    // A painter whose cache lives for this one repaint.
    PanelPainter().Paint(buffer, update, client, image, 0, code, tint, colour);
}

void PanelPainter::Paint(WorkingBitmap& buffer,
                         const Rect& update,
                         const Rect& client,
                         const WorkingBitmap& image,
                         std::uint64_t imageGeneration,
                         StyleCode code,
                         Rgb tint,
                         const SharedTransform& colour) {
    Paint(buffer, update, client, PicturePlacement{FitRect(client, image), false}, image,
          imageGeneration, code, tint, colour);
}

void PanelPainter::Paint(WorkingBitmap& buffer,
                         const Rect& update,
                         const Rect& client,
                         const PicturePlacement& place,
                         const WorkingBitmap& image,
                         std::uint64_t imageGeneration,
                         StyleCode code,
                         Rgb tint,
                         const SharedTransform& colour) {
    const Rect& shown = place.shown;
    if (shown.Width() <= 0 || shown.Height() <= 0 || !image.HoldsImage()) {
        return;
    }
    // The buffer may be smaller than update; whatever it cannot hold is clipped.
    const Rect bufferArea{update.left, update.top, update.left + buffer.Width(),
                          update.top + buffer.Height()};
    const Rect visible = Intersect(Intersect(shown, update), bufferArea);
    if (visible.Width() <= 0) {
        return;
    }
    const bool ownSize = shown.Width() == image.Width() && shown.Height() == image.Height();
    if (colour) {
        const bool fromOwnSize = ownSize || place.crisp;
        const Key key{imageGeneration,
                      image.Width(),
                      image.Height(),
                      fromOwnSize ? image.Width() : shown.Width(),
                      fromOwnSize ? image.Height() : shown.Height(),
                      code,
                      tint.r,
                      tint.g,
                      tint.b,
                      colour};
        if (place.crisp && !ownSize) {
            DrawCrispTiles(buffer, update, client, visible, shown, image, key);
        } else {
            DrawScaled(buffer, update, client, visible, shown, image, key);
        }
        return;  // styled and converted in the tiles
    }
    if (ownSize) {
        // A same-size stretch is an exact copy, so a scaled copy would only cost memory and time.
        DrawSameSize(buffer, update, visible, shown, image);
    } else if (place.crisp) {
        DrawCrisp(buffer, update, visible, shown, image);
    } else {
        DrawScaled(buffer, update, client, visible, shown, image,
                   Key{imageGeneration, image.Width(), image.Height(), shown.Width(),
                       shown.Height(), StyleCode{}, 0, 0, 0, nullptr});
    }
    Present(buffer, update, visible, code, tint);
}

void PanelPainter::KeepTiles(const Rect& need,
                             const Rect& onPage,
                             const WorkingBitmap& image,
                             const Key& key) {
    if (!valid_ || !(key_ == key)) {
        tiles_.clear();  // the old picture goes before the new one is made
        key_ = key;
        valid_ = true;
    }
    const TileSpan nx = Tiles(need.left, need.right);
    const TileSpan ny = Tiles(need.top, need.bottom);
    const TileSpan px = Tiles(onPage.left, onPage.right);
    const TileSpan py = Tiles(onPage.top, onPage.bottom);
    std::erase_if(tiles_, [&](const auto& entry) {
        const int tx = static_cast<int>(entry.first & 0xFFFFFFFFu);
        const int ty = static_cast<int>(entry.first >> 32);
        const bool needed = tx >= nx.first && tx <= nx.last && ty >= ny.first && ty <= ny.last;
        const bool near = tx >= px.first - kKeptMargin && tx <= px.last + kKeptMargin &&
                          ty >= py.first - kKeptMargin && ty <= py.last + kKeptMargin;
        return !needed && !near;
    });

    std::vector<std::pair<int, int>> missing;
    for (int ty = ny.first; ty <= ny.last; ++ty) {
        for (int tx = nx.first; tx <= nx.last; ++tx) {
            if (!tiles_.contains(TileId(tx, ty))) {
                missing.emplace_back(tx, ty);
            }
        }
    }
    if (missing.empty()) {
        return;
    }
    // Each worker makes whole tiles of its own; a tile's bytes depend only on its place in the
    // scaled picture, so the split does not show.
    std::vector<WorkingBitmap> made(missing.size());
    const int workers = missing.size() > 1 ? 2 : 1;
    const Rgb tint{key.tintR, key.tintG, key.tintB};
    RunWorkers(workers, [&](int w) {
        for (std::size_t i = w; i < missing.size(); i += workers) {
            const auto [tx, ty] = missing[i];
            made[i] = MakeTile(image, key.scaledWidth, key.scaledHeight, tx, ty, key.code, tint,
                               key.colour.get());
        }
    });
    for (std::size_t i = 0; i < missing.size(); ++i) {
        tiles_[TileId(missing[i].first, missing[i].second)] = std::move(made[i]);
    }
}

void PanelPainter::DrawScaled(WorkingBitmap& buffer,
                              const Rect& update,
                              const Rect& client,
                              const Rect& visible,
                              const Rect& shown,
                              const WorkingBitmap& image,
                              const Key& key) {
    // In the scaled picture's coordinates: what this repaint draws, and what the page shows.
    const Rect need = Moved(visible, -shown.left, -shown.top);
    KeepTiles(need, Moved(Intersect(shown, client), -shown.left, -shown.top), image, key);
    const TileSpan nx = Tiles(need.left, need.right);
    const TileSpan ny = Tiles(need.top, need.bottom);
    constexpr int t = kTileSize;
    for (int ty = ny.first; ty <= ny.last; ++ty) {
        for (int tx = nx.first; tx <= nx.last; ++tx) {
            const WorkingBitmap& tile = tiles_.at(TileId(tx, ty));
            const Rect part = Intersect(
                need, Rect{tx * t, ty * t, tx * t + tile.Width(), ty * t + tile.Height()});
            const std::size_t rowBytes = static_cast<std::size_t>(part.Width()) * 4;
            for (int y = part.top; y < part.bottom; ++y) {
                std::memcpy(buffer.RowWords(y + shown.top - update.top) +
                                (part.left + shown.left - update.left),
                            tile.RowWords(y - ty * t) + (part.left - tx * t), rowBytes);
            }
        }
    }
}

void PanelPainter::DrawCrispTiles(WorkingBitmap& buffer,
                                  const Rect& update,
                                  const Rect& client,
                                  const Rect& visible,
                                  const Rect& shown,
                                  const WorkingBitmap& image,
                                  const Key& key) {
    // The picture pixel each device pixel falls in, as DrawCrisp takes it.
    const auto sourceX = [&](int x) {
        return static_cast<int>(static_cast<std::int64_t>(x - shown.left) * image.Width() /
                                shown.Width());
    };
    const auto sourceY = [&](int y) {
        return static_cast<int>(static_cast<std::int64_t>(y - shown.top) * image.Height() /
                                shown.Height());
    };
    const auto covering = [&](const Rect& r) {
        return r.Width() <= 0 ? Rect{}
                              : Rect{sourceX(r.left), sourceY(r.top), sourceX(r.right - 1) + 1,
                                     sourceY(r.bottom - 1) + 1};
    };
    const Rect need = covering(visible);
    KeepTiles(need, covering(Intersect(shown, client)), image, key);
    constexpr int t = kTileSize;
    const int firstTile = need.left / t;
    std::vector<int> tileOf(static_cast<std::size_t>(visible.Width()));
    std::vector<int> offset(tileOf.size());
    for (int x = visible.left; x < visible.right; ++x) {
        const int sx = sourceX(x);
        tileOf[x - visible.left] = sx / t - firstTile;
        offset[x - visible.left] = sx % t;
    }
    std::vector<const std::uint32_t*> rows(static_cast<std::size_t>((need.right - 1) / t) -
                                           firstTile + 1);
    const std::size_t rowBytes = tileOf.size() * 4;
    int previous = -1;
    for (int y = visible.top; y < visible.bottom; ++y) {
        const int sy = sourceY(y);
        std::uint32_t* dst = buffer.RowWords(y - update.top) + (visible.left - update.left);
        if (sy == previous) {
            std::memcpy(dst, buffer.RowWords(y - 1 - update.top) + (visible.left - update.left),
                        rowBytes);
            continue;
        }
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i] = tiles_.at(TileId(firstTile + static_cast<int>(i), sy / t)).RowWords(sy % t);
        }
        for (std::size_t i = 0; i < tileOf.size(); ++i) {
            dst[i] = rows[tileOf[i]][offset[i]];
        }
        previous = sy;
    }
}

void PanelPainter::Forget() {
    tiles_.clear();
    key_ = Key{};
    valid_ = false;
}

}  // namespace zelqor
