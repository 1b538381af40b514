// Painting of an image panel: the image fitted or zoomed into the page, the visible part in a
// view style.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "DisplayColour.h"
#include "Rect.h"
#include "ViewStyles.h"
#include "ViewZoom.h"
#include "WorkingBitmap.h"

namespace zelqor {

// One repaint without any cache: buffer holds the update rectangle of a panel whose client
// rectangle is client (origin 0, 0), filled with background; the image is fitted into client,
// centred, and the part of it inside update is drawn and recoloured with code and tint.
// All rectangles are in the panel's device pixels; buffer pixel (0, 0) is update's top-left.
// With a colour transform the styled pixels are then converted for the screen.
void PaintFittedImage(WorkingBitmap& buffer,
                      const Rect& update,
                      const Rect& client,
                      const WorkingBitmap& image,
                      StyleCode code,
                      Rgb tint,
                      const SharedTransform& colour = nullptr);

// The same, keeping the scaled unstyled picture between repaints, so that a repaint only copies
// and restyles the visible part. The scaled picture is kept in tiles, made as they first come
// into view and let go once they are well off the page, so that a large zoom never holds the
// whole of it; all of it is let go when the image's generation or the scaled size changes.
//
// A picture shown through a colour transform is styled and converted as each tile is made, and
// its tiles are let go when the style, the tint or the transform changes too: a conversion costs
// far more than a copy, so a repaint must not convert. At its own size or enlarged crisp such a
// picture is kept in tiles of itself, styled and converted, for the same reason.
class PanelPainter {
  public:
    // The image fitted into client.
    void Paint(WorkingBitmap& buffer,
               const Rect& update,
               const Rect& client,
               const WorkingBitmap& image,
               std::uint64_t imageGeneration,
               StyleCode code,
               Rgb tint,
               const SharedTransform& colour = nullptr);
    // The image stretched into place.shown: area-averaged where it shrinks (the run's own
    // scaler), its pixels as squares where place.crisp says so, itself at its own size.
    void Paint(WorkingBitmap& buffer,
               const Rect& update,
               const Rect& client,
               const PicturePlacement& place,
               const WorkingBitmap& image,
               std::uint64_t imageGeneration,
               StyleCode code,
               Rgb tint,
               const SharedTransform& colour = nullptr);
    // Frees the scaled picture.
    void Forget();

    // How many tiles of the scaled picture are held; for the tests of what a pan keeps.
    std::size_t TilesHeld() const { return tiles_.size(); }
    static constexpr int kTileSize = 128;

  private:
    // What the scaled picture was made from; the image's own size is part of it so that a
    // caller who forgets to bump the generation after a resize still gets a correct picture.
    struct Key {
        std::uint64_t generation = 0;
        int imageWidth = 0;
        int imageHeight = 0;
        int scaledWidth = 0;
        int scaledHeight = 0;
        // Only for a picture shown through a transform, whose tiles hold it styled and
        // converted; the transform is held so that its address cannot come back as another's.
        StyleCode code;
        int tintR = 0;
        int tintG = 0;
        int tintB = 0;
        SharedTransform colour;
        bool operator==(const Key&) const = default;
    };

    // Copies the scaled picture's part under visible into the buffer, making missing tiles.
    void DrawScaled(WorkingBitmap& buffer,
                    const Rect& update,
                    const Rect& client,
                    const Rect& visible,
                    const Rect& shown,
                    const WorkingBitmap& image,
                    const Key& key);
    // The same for a picture enlarged crisp from tiles of itself at its own size.
    void DrawCrispTiles(WorkingBitmap& buffer,
                        const Rect& update,
                        const Rect& client,
                        const Rect& visible,
                        const Rect& shown,
                        const WorkingBitmap& image,
                        const Key& key);
    // Makes the tiles that cover `need` (scaled picture's coordinates) and are missing, and lets
    // go of those neither needed nor near `onPage`.
    void KeepTiles(const Rect& need,
                   const Rect& onPage,
                   const WorkingBitmap& image,
                   const Key& key);

    std::unordered_map<std::uint64_t, WorkingBitmap> tiles_;
    Key key_;
    bool valid_ = false;
};

}  // namespace zelqor
