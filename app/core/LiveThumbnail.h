// The options page's live thumbnail: the source reduced once to the thumbnail's size, processed
// with the sliders' current values off the window's thread, coalesced, held back during a run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Document.h"
#include "PanelPainter.h"
#include "ParameterTable.h"

namespace zelqor {

// What the thumbnail needs of the window.
class ThumbnailHost {
  public:
    virtual ~ThumbnailHost() = default;
    // Runs task on the window's thread after the event in hand; called from any thread. What the
    // task throws is the window's to report.
    virtual void PostToWindowThread(std::function<void()> task) = 0;
    // A new picture (or none) is ready: the thumbnail's panel repaints.
    virtual void ThumbnailChanged() = 0;
};

// Everything but the worker's own body runs on the window's thread. The thumbnail never writes
// the document: it reads the source (taking a reduced copy once per source and size) and the
// positions, and keeps its picture to itself.
class LiveThumbnail {
  public:
    LiveThumbnail(Document& doc, const OptionPositions& options, ThumbnailHost& host);
    // Waits for the work in flight.
    ~LiveThumbnail();
    LiveThumbnail(const LiveThumbnail&) = delete;
    LiveThumbnail& operator=(const LiveThumbnail&) = delete;

    // The panel the thumbnail is fitted into, in device pixels.
    void SetArea(int width, int height);
    // Something the picture depends on may have changed (a slider, the check box, the end of a
    // run). Changes until the window's thread is next free count as one; a picture whose values
    // are no longer the current ones is never shown.
    void Refresh();

    // True when no work is posted or running: what there is to show is shown.
    bool Idle() const { return !job_ && !startPosted_; }
    // The processed thumbnail, unstyled; empty without a source.
    const WorkingBitmap& Picture() const { return picture_; }
    // One repaint of the panel: buffer holds update (panel device pixels, filled with the
    // background); the picture is centred in client and shown in the style, and through the
    // source's colour transform, as the processed page would show it.
    void Paint(WorkingBitmap& buffer,
               const Rect& update,
               const Rect& client,
               StyleCode code,
               Rgb tint,
               const SharedTransform& colour = nullptr);

  private:
    // What a picture is made from: the source (by its generation) reduced to a size, and the
    // values of the run.
    struct Key {
        std::uint64_t generation = 0;
        int width = 0;
        int height = 0;
        RunSettings settings;

        bool SameReduction(const Key& o) const {
            return generation == o.generation && width == o.width && height == o.height;
        }
        bool operator==(const Key& o) const;
    };
    struct Job;

    Key Wanted() const;
    void Start();
    void Work(Job& job);
    void Finished(std::uint64_t jobId);
    // Before the document replaces the source: the work reading it stops and is dropped.
    void LetGoOfSource();
    void Show(WorkingBitmap picture, const Key& key);

    Document& doc_;
    const OptionPositions& options_;
    ThumbnailHost& host_;
    Document::ListenerId sourceListener_ = 0;
    int areaWidth_ = 0;
    int areaHeight_ = 0;
    bool startPosted_ = false;

    // The reduced source: with the worker while a job runs, here in between.
    WorkingBitmap reduced_;
    Key reducedKey_;
    bool reducedValid_ = false;

    WorkingBitmap picture_;
    Key pictureKey_;
    bool pictureValid_ = false;
    std::uint64_t pictureGeneration_ = 0;
    PanelPainter painter_;

    std::unique_ptr<Job> job_;
    std::uint64_t lastJobId_ = 0;
};

}  // namespace zelqor
