// Fitting an image into a panel's page and drawing the visible part, with or without a cache.
#include "PanelPainter.h"

#include <algorithm>
#include <cstring>

#include "ScaleBitmap.h"

namespace zelqor {
namespace {

Rect Intersect(const Rect& a, const Rect& b) {
    const Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) {
        return Rect{};
    }
    return r;
}

// Copies the part of fitted (placed at fit) that lies inside update and inside the buffer, then
// restyles exactly those pixels: the background around the image keeps its colour whatever the
// style, and rows outside the update are never touched, which is what keeps a cached repaint
// cheap.
void DrawFitted(WorkingBitmap& buffer,
                const Rect& update,
                const Rect& fit,
                const WorkingBitmap& fitted,
                StyleCode code,
                Rgb tint) {
    // The buffer may be smaller than update; whatever it cannot hold is clipped.
    const Rect bufferArea{update.left, update.top, update.left + buffer.Width(),
                          update.top + buffer.Height()};
    const Rect visible = Intersect(Intersect(fit, update), bufferArea);
    if (visible.Width() <= 0) {
        return;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(visible.Width()) * 4;
    for (int y = visible.top; y < visible.bottom; ++y) {
        std::uint32_t* dst = buffer.RowWords(y - update.top) + (visible.left - update.left);
        const std::uint32_t* src = fitted.RowWords(y - fit.top) + (visible.left - fit.left);
        std::memcpy(dst, src, rowBytes);
    }
    const Rect styled{visible.left - update.left, visible.top - update.top,
                      visible.right - update.left, visible.bottom - update.top};
    MakeViewBitmap(&buffer, styled, code, tint);
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
    const Rect fit = FitRect(client, image);
    if (fit.Width() <= 0 || fit.Height() <= 0) {
        return;
    }
    const Key key{imageGeneration, image.Width(), image.Height(), fit.Width(), fit.Height()};
    if (colour) {
        const ShownKey shown{key, code, tint.r, tint.g, tint.b, colour};
        DrawFitted(buffer, update, fit, Shown(image, shown), StyleCode{}, tint);
        return;
    }
    if (shownValid_) {
        shown_ = WorkingBitmap{};  // no longer shown through a transform
        shownValid_ = false;
    }
    if (fit.Width() == image.Width() && fit.Height() == image.Height()) {
        // A same-size stretch is an exact copy, so a cached copy would only cost memory and time.
        DrawFitted(buffer, update, fit, image, code, tint);
        return;
    }
    DrawFitted(buffer, update, fit, Fitted(image, key), code, tint);
}

const WorkingBitmap& PanelPainter::Fitted(const WorkingBitmap& image, const Key& key) {
    if (valid_ && key_ == key) {
        return fitted_;
    }
    fitted_ = WorkingBitmap{};  // the old copy goes before the new one is made
    fitted_ = ScaleBitmap(image, key.fitWidth, key.fitHeight);
    key_ = key;
    valid_ = true;
    return fitted_;
}

const WorkingBitmap& PanelPainter::Shown(const WorkingBitmap& image, const ShownKey& key) {
    if (shownValid_ && shownKey_ == key) {
        return shown_;
    }
    shown_ = WorkingBitmap{};
    const bool sameSize =
        key.fitted.fitWidth == image.Width() && key.fitted.fitHeight == image.Height();
    // The style reads the picture's own numbers; only its result is the screen's.
    shown_ = sameSize ? image : Fitted(image, key.fitted);
    if (key.code != StyleCode{}) {
        MakeViewBitmapAll(&shown_, key.code, Rgb{key.tintR, key.tintG, key.tintB});
    }
    key.colour->ApplyAll(shown_);
    shownKey_ = key;
    shownValid_ = true;
    return shown_;
}

void PanelPainter::Forget() {
    fitted_ = WorkingBitmap{};
    key_ = Key{};
    valid_ = false;
    shown_ = WorkingBitmap{};
    shownKey_ = ShownKey{};
    shownValid_ = false;
}

}  // namespace zelqor
