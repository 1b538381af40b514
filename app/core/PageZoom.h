// The zoom keys, wheel, clicks and drags of the two image pages, on the one view they share.
#pragma once

#include <cstdint>
#include <string>

#include "Document.h"
#include "PlatformServices.h"
#include "RunController.h"
#include "ViewZoom.h"

namespace zelqor {

enum class ZoomCommand { Fit, ActualPixels, ZoomIn, ZoomOut };

// What the window shows of the zoom.
class ZoomView {
  public:
    virtual ~ZoomView() = default;
    // The status bar's zoom field, and whether a drag would move the picture (the hand cursor).
    virtual void ShowZoom(const std::string& text, bool canPan) = 0;
};

class PageZoom {
  public:
    PageZoom(const Document& doc, RunWindow& pages, PlatformServices& services, ZoomView& view)
        : doc_(doc),
          pages_(pages),
          services_(services),
          view_(view),
          sourceGeneration_(doc.SrcGeneration()) {}

    // Each acts on the current page only when it shows a picture; page points are in the
    // panel's device pixels.
    void Execute(ZoomCommand command);
    void Wheel(int angleDelta, PointD pagePoint);
    void MiddleClick(PointD pagePoint);
    void Drag(double dx, double dy);
    // The current page's picture is larger than the page, so a drag would move it.
    bool CanPan();

    // Where a page's picture goes in a panel whose client rectangle is client.
    PicturePlacement Place(Page page, const Rect& client);
    // The zoom field and cursor for the current page: after a page change, a resize, a new
    // picture. Tells the view only what changed.
    void Refresh();

    // As the pages show it now: a new source has already brought it back to fit.
    const ViewZoom& State() {
        FollowSource();
        return zoom_;
    }

  private:
    // Every new source, paste or drop starts at fit.
    void FollowSource();
    // The page's picture; null for the options page.
    const WorkingBitmap* Picture(Page page) const;
    ViewFrame Frame(const Rect& client) const;
    bool CurrentPageShowsAPicture() const;
    void Changed(bool changed);

    const Document& doc_;
    RunWindow& pages_;
    PlatformServices& services_;
    ZoomView& view_;
    ViewZoom zoom_;
    WheelSteps wheel_;
    std::uint64_t sourceGeneration_;
    std::string shownText_;
    bool shownCanPan_ = false;
    bool shownOnce_ = false;
};

}  // namespace zelqor
