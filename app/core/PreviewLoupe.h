// The options page's loupe: a click on the preview shows the full-size result at one pixel per
// device pixel around the clicked spot, made on the whole source's geometry off the window's
// thread, following the sliders as the thumbnail does.
#pragma once

#include <cstdint>
#include <memory>

#include "Document.h"
#include "LiveThumbnail.h"
#include "ParameterTable.h"

namespace zelqor {

// A point of the preview's panel in its device pixels.
struct PanelPoint {
    int x = 0;
    int y = 0;
};

// Everything but the worker's own body runs on the window's thread. Like the thumbnail it only
// reads the document and the positions; its picture is its own.
class PreviewLoupe {
  public:
    // Further than this (in device pixels, on either axis) from where it was pressed, the button
    // drags rather than clicks.
    static constexpr int kClickSlop = 4;

    PreviewLoupe(Document& doc, const OptionPositions& options, ThumbnailHost& host);
    // Waits for the work in flight.
    ~PreviewLoupe();
    PreviewLoupe(const PreviewLoupe&) = delete;
    PreviewLoupe& operator=(const PreviewLoupe&) = delete;

    // The panel's client size in device pixels: the loupe shows that much of the source.
    void SetArea(int width, int height);

    // The left button on the panel. A press and release close together make a click; it takes
    // effect in ClickSettled, once the caller knows it is not the first half of a double-click.
    void Pressed(PanelPoint at);
    void Moved(PanelPoint at);
    // True when a click waits for ClickSettled.
    bool Released(PanelPoint at);
    // The second press of a double-click: the pending click is dropped, and the double-click keeps
    // its own meaning (the preview run).
    void DoubleClicked();
    // A click on the thumbnail opens the loupe on the source's point under it; a click on the
    // loupe closes it.
    void ClickSettled();
    // Closes the loupe; false when it was not open.
    bool Escape();

    bool Active() const { return active_; }
    bool Dragging() const { return dragging_; }
    // The source rectangle the loupe shows; empty when it is closed or there is no source.
    Rect Region() const;

    // Something the picture depends on may have changed; as LiveThumbnail::Refresh.
    void Refresh();
    bool Idle() const { return !job_ && !startPosted_; }
    // True when the loupe is open and has a picture of the current source to show; otherwise the
    // panel shows the thumbnail.
    bool Showing() const;
    const WorkingBitmap& Picture() const { return picture_; }
    // The source rectangle Picture() holds.
    Rect PictureRegion() const { return pictureKey_.region; }
    // One repaint, as LiveThumbnail::Paint: the region is centred in client, styled and then
    // converted for the screen; while the spot moves, the last picture is drawn where its pixels
    // now lie.
    void Paint(WorkingBitmap& buffer,
               const Rect& update,
               const Rect& client,
               StyleCode code,
               Rgb tint,
               const SharedTransform& colour = nullptr) const;

  private:
    struct Key {
        std::uint64_t generation = 0;
        Rect region;
        RunSettings settings;
        bool operator==(const Key& o) const;
    };
    struct Job;

    // The source point shown under a panel point of the fitted thumbnail.
    PanelPoint SceneUnder(PanelPoint at) const;
    Rect RegionAround(int x, int y) const;
    Key Wanted() const;
    void Start();
    void Work(Job& job);
    void Finished(std::uint64_t jobId);
    void Close();
    void LetGoOfSource();

    Document& doc_;
    const OptionPositions& options_;
    ThumbnailHost& host_;
    Document::ListenerId sourceListener_ = 0;
    int areaWidth_ = 0;
    int areaHeight_ = 0;

    bool active_ = false;
    int centreX_ = 0;  // source pixels
    int centreY_ = 0;

    bool pressed_ = false;
    bool dragging_ = false;
    bool clickPending_ = false;
    PanelPoint pressedAt_;
    PanelPoint clickAt_;
    int dragCentreX_ = 0;
    int dragCentreY_ = 0;

    bool startPosted_ = false;
    WorkingBitmap picture_;
    Key pictureKey_;
    bool pictureValid_ = false;
    std::unique_ptr<Job> job_;
    std::uint64_t lastJobId_ = 0;
};

}  // namespace zelqor
