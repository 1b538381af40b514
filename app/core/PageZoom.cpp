// The image pages' zoom: input to the shared view, and what the status bar says of it.
#include "PageZoom.h"

#include "CaptionTable.h"

namespace zelqor {

void PageZoom::Execute(ZoomCommand command) {
    FollowSource();
    if (!CurrentPageShowsAPicture()) {
        return;
    }
    const ViewFrame frame = Frame(pages_.PanelClient());
    switch (command) {
        case ZoomCommand::Fit:
            Changed(zoom_.Fit());
            break;
        case ZoomCommand::ActualPixels:
            Changed(zoom_.ZoomTo(kActualPixelsStep, frame));
            break;
        case ZoomCommand::ZoomIn:
            Changed(zoom_.StepBy(1, frame));
            break;
        case ZoomCommand::ZoomOut:
            Changed(zoom_.StepBy(-1, frame));
            break;
    }
}

void PageZoom::Wheel(int angleDelta, PointD pagePoint) {
    FollowSource();
    if (!CurrentPageShowsAPicture()) {
        return;
    }
    if (const int steps = wheel_.Add(angleDelta); steps != 0) {
        Changed(zoom_.StepAbout(steps, pagePoint, Frame(pages_.PanelClient())));
    }
}

void PageZoom::MiddleClick(PointD pagePoint) {
    FollowSource();
    if (CurrentPageShowsAPicture()) {
        Changed(zoom_.ToggleActualAbout(pagePoint, Frame(pages_.PanelClient())));
    }
}

void PageZoom::Drag(double dx, double dy) {
    FollowSource();
    if (CurrentPageShowsAPicture()) {
        Changed(zoom_.PanBy(dx, dy, Frame(pages_.PanelClient())));
    }
}

bool PageZoom::CanPan() {
    FollowSource();
    return CurrentPageShowsAPicture() && zoom_.CanPan(Frame(pages_.PanelClient()));
}

PicturePlacement PageZoom::Place(Page page, const Rect& client) {
    FollowSource();
    const WorkingBitmap* picture = Picture(page);
    if (picture == nullptr) {
        return {};
    }
    return zoom_.Place(Size{picture->Width(), picture->Height()}, Frame(client));
}

void PageZoom::Refresh() {
    FollowSource();
    std::string text;
    if (CurrentPageShowsAPicture()) {
        const WorkingBitmap& picture = *Picture(pages_.CurrentPage());
        const ViewFrame frame = Frame(pages_.PanelClient());
        text = PercentText(zoom_.Percent(Size{picture.Width(), picture.Height()}, frame));
        if (zoom_.AtFit()) {
            text = kZoomFitMark.In(services_.IsJapaneseLocale()) + text;
        }
    }
    const bool canPan = CanPan();
    if (!shownOnce_ || text != shownText_ || canPan != shownCanPan_) {
        shownOnce_ = true;
        shownText_ = text;
        shownCanPan_ = canPan;
        view_.ShowZoom(text, canPan);
    }
}

void PageZoom::FollowSource() {
    if (doc_.SrcGeneration() != sourceGeneration_) {
        sourceGeneration_ = doc_.SrcGeneration();
        zoom_.Fit();
        wheel_ = WheelSteps{};
    }
}

const WorkingBitmap* PageZoom::Picture(Page page) const {
    switch (page) {
        case Page::Source:
            return &doc_.BitmapSrc();
        case Page::Processed:
            return &doc_.BitmapDst();
        case Page::Options:
            break;
    }
    return nullptr;
}

ViewFrame PageZoom::Frame(const Rect& client) const {
    // The scene is the source; a result without one (never made so, but cheap to allow) is its
    // own scene.
    const WorkingBitmap& scene =
        doc_.BitmapSrc().HoldsImage() ? doc_.BitmapSrc() : doc_.BitmapDst();
    return ViewFrame{Size{scene.Width(), scene.Height()}, Size{client.Width(), client.Height()}};
}

bool PageZoom::CurrentPageShowsAPicture() const {
    const WorkingBitmap* picture = Picture(pages_.CurrentPage());
    return picture != nullptr && picture->HoldsImage();
}

void PageZoom::Changed(bool changed) {
    if (changed) {
        pages_.Repaint(pages_.CurrentPage());
    }
    Refresh();
}

}  // namespace zelqor
