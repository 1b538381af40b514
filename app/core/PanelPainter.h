// Painting of an image panel: the image fitted into the page, the visible part in a view style.
#pragma once

#include <cstdint>

#include "DisplayColour.h"
#include "Rect.h"
#include "ViewStyles.h"
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

// The same, keeping the fitted unstyled copy between repaints, so that a repaint only copies and
// restyles the visible part. The copy is made again when the image's generation or the fitted
// size changes. A picture shown through a colour transform keeps a second copy, styled and
// converted whole, made again when the style, the tint or the transform changes too: converting
// costs several times a style, so it is done once and not at every repaint.
class PanelPainter {
  public:
    void Paint(WorkingBitmap& buffer,
               const Rect& update,
               const Rect& client,
               const WorkingBitmap& image,
               std::uint64_t imageGeneration,
               StyleCode code,
               Rgb tint,
               const SharedTransform& colour = nullptr);
    // Frees the cached copy.
    void Forget();

  private:
    // What the cached copy was made from; the image's own size is part of it so that a caller
    // who forgets to bump the generation after a resize still gets a correct picture.
    struct Key {
        std::uint64_t generation = 0;
        int imageWidth = 0;
        int imageHeight = 0;
        int fitWidth = 0;
        int fitHeight = 0;
        bool operator==(const Key&) const = default;
    };

    // What the converted copy was made from, besides the fitted copy's key.
    struct ShownKey {
        Key fitted;
        StyleCode code;
        int tintR = 0;
        int tintG = 0;
        int tintB = 0;
        SharedTransform colour;  // held, so that its address cannot come back as another's
        bool operator==(const ShownKey&) const = default;
    };

    // The fitted image for key, rebuilt only when key differs from the cached one.
    const WorkingBitmap& Fitted(const WorkingBitmap& image, const Key& key);
    // The fitted image styled and converted, rebuilt only when what it is made from changes.
    const WorkingBitmap& Shown(const WorkingBitmap& image, const ShownKey& key);

    WorkingBitmap fitted_;
    Key key_;
    bool valid_ = false;
    WorkingBitmap shown_;
    ShownKey shownKey_;
    bool shownValid_ = false;
};

}  // namespace zelqor
