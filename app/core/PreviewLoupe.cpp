// The loupe's gestures, its region of the source and its work on a thread of its own.
#include "PreviewLoupe.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <thread>
#include <utility>

#include "ProcessingRun.h"
#include "RegionRun.h"
#include "ScaleBitmap.h"
#include "WorkerThreads.h"

namespace zelqor {

// As the thumbnail's: the window's thread hands over what the work needs and takes the picture
// only after joining the thread; the two share only the cancel flag.
struct PreviewLoupe::Job {
    std::uint64_t id = 0;
    Key key;
    const WorkingBitmap* source = nullptr;
    WorkingBitmap picture;
    bool done = false;
    std::exception_ptr error;
    std::atomic<bool> cancel{false};
    std::thread thread;

    ~Job() {
        cancel.store(true);
        if (thread.joinable()) {
            thread.join();
        }
    }
};

namespace {

bool SameValues(const RunSettings& a, const RunSettings& b) {
    return a.divisor == b.divisor && a.params.hdrStrength == b.params.hdrStrength &&
           a.params.borderLevel == b.params.borderLevel &&
           a.params.detailGain == b.params.detailGain && a.params.luminance == b.params.luminance;
}

Rect Intersect(const Rect& a, const Rect& b) {
    return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

}  // namespace

bool PreviewLoupe::Key::operator==(const Key& o) const {
    return generation == o.generation && region == o.region && SameValues(settings, o.settings);
}

PreviewLoupe::PreviewLoupe(Document& doc, const OptionPositions& options, ThumbnailHost& host)
    : doc_(doc), options_(options), host_(host) {
    sourceListener_ = doc_.AddBeforeSourceChange([this] { LetGoOfSource(); });
}

PreviewLoupe::~PreviewLoupe() {
    doc_.RemoveBeforeSourceChange(sourceListener_);
    job_.reset();
}

void PreviewLoupe::SetArea(int width, int height) {
    if (width != areaWidth_ || height != areaHeight_) {
        areaWidth_ = width;
        areaHeight_ = height;
        Refresh();
    }
}

void PreviewLoupe::Pressed(PanelPoint at) {
    pressed_ = true;
    dragging_ = false;
    pressedAt_ = at;
    dragCentreX_ = centreX_;
    dragCentreY_ = centreY_;
}

void PreviewLoupe::Moved(PanelPoint at) {
    if (!pressed_) {
        return;
    }
    const int dx = at.x - pressedAt_.x;
    const int dy = at.y - pressedAt_.y;
    if (!dragging_ && std::max(std::abs(dx), std::abs(dy)) <= kClickSlop) {
        return;
    }
    dragging_ = true;
    if (!active_) {
        return;  // a drag on the thumbnail is no click, and moves nothing
    }
    // The picture follows the hand: the spot moves against the drag, from where it was at the
    // press, and stops at the source's edges.
    const Rect region = RegionAround(dragCentreX_ - dx, dragCentreY_ - dy);
    centreX_ = region.left + region.Width() / 2;
    centreY_ = region.top + region.Height() / 2;
    Refresh();
    host_.ThumbnailChanged();
}

bool PreviewLoupe::Released(PanelPoint) {
    if (pressed_ && !dragging_) {
        clickPending_ = true;
        clickAt_ = pressedAt_;
    }
    pressed_ = false;
    dragging_ = false;
    return clickPending_;
}

void PreviewLoupe::DoubleClicked() {
    clickPending_ = false;
    pressed_ = false;
    dragging_ = false;
}

void PreviewLoupe::ClickSettled() {
    if (!clickPending_) {
        return;
    }
    clickPending_ = false;
    if (active_) {
        Close();
        return;
    }
    if (!doc_.BitmapSrc().HoldsImage() || areaWidth_ <= 0 || areaHeight_ <= 0) {
        return;
    }
    const PanelPoint scene = SceneUnder(clickAt_);
    active_ = true;
    const Rect region = RegionAround(scene.x, scene.y);
    centreX_ = region.left + region.Width() / 2;
    centreY_ = region.top + region.Height() / 2;
    Refresh();
    host_.ThumbnailChanged();
}

bool PreviewLoupe::Escape() {
    clickPending_ = false;
    if (!active_) {
        return false;
    }
    Close();
    return true;
}

PanelPoint PreviewLoupe::SceneUnder(PanelPoint at) const {
    const WorkingBitmap& src = doc_.BitmapSrc();
    const Rect fit = FitRect(Rect{0, 0, areaWidth_, areaHeight_}, src);
    if (fit.Width() <= 0 || fit.Height() <= 0) {
        return {src.Width() / 2, src.Height() / 2};
    }
    // The source pixel whose area holds the centre of the panel's pixel.
    const auto scene = [](int p, int fitStart, int fitLength, int length) {
        const std::int64_t s = (2 * std::int64_t{p - fitStart} + 1) * length / (2 * fitLength);
        return static_cast<int>(std::clamp<std::int64_t>(s, 0, length - 1));
    };
    return {scene(at.x, fit.left, fit.Width(), src.Width()),
            scene(at.y, fit.top, fit.Height(), src.Height())};
}

Rect PreviewLoupe::RegionAround(int x, int y) const {
    const WorkingBitmap& src = doc_.BitmapSrc();
    const int width = std::min(std::max(areaWidth_, 0), src.Width());
    const int height = std::min(std::max(areaHeight_, 0), src.Height());
    const int left = std::clamp(x - width / 2, 0, src.Width() - width);
    const int top = std::clamp(y - height / 2, 0, src.Height() - height);
    return Rect{left, top, left + width, top + height};
}

Rect PreviewLoupe::Region() const {
    if (!active_ || !doc_.BitmapSrc().HoldsImage()) {
        return {};
    }
    return RegionAround(centreX_, centreY_);
}

PreviewLoupe::Key PreviewLoupe::Wanted() const {
    Key key;
    key.generation = doc_.SrcGeneration();
    key.region = Region();
    key.settings = ValuesAt(options_).run;
    return key;
}

void PreviewLoupe::Refresh() {
    if (!active_) {
        return;
    }
    const Key want = Wanted();
    if (job_ && !(job_->key.generation == want.generation &&
                  SameValues(job_->key.settings, want.settings))) {
        // Its values are no longer wanted. A job only behind a moving spot runs on: its pixels
        // are still right, and while the spot moves it is drawn where they lie.
        job_->cancel.store(true);
    }
    if (!startPosted_) {
        startPosted_ = true;
        host_.PostToWindowThread([this] { Start(); });
    }
}

bool PreviewLoupe::Showing() const {
    return active_ && pictureValid_ && pictureKey_.generation == doc_.SrcGeneration();
}

void PreviewLoupe::Start() {
    startPosted_ = false;
    if (job_ || !active_ || doc_.Locked()) {
        return;  // the job's end, or the run's, asks again
    }
    const Key want = Wanted();
    if (want.region.Width() <= 0 || want.region.Height() <= 0) {
        return;
    }
    if (pictureValid_ && pictureKey_ == want) {
        return;
    }
    auto job = std::make_unique<Job>();
    job->id = ++lastJobId_;
    job->key = want;
    job->source = &doc_.BitmapSrc();
    Job& j = *job;
    job_ = std::move(job);
    try {
        j.thread = StartStdThread([this, &j] { Work(j); });
    } catch (...) {
        Work(j);  // no thread to be had: late rather than never
    }
}

void PreviewLoupe::Work(Job& job) {
    try {
        job.done = ProcessRegion(*job.source, job.key.region, job.key.settings, job.picture,
                                 ProcessingRun::kWorkers, &job.cancel);
    } catch (...) {
        job.error = std::current_exception();
    }
    const std::uint64_t id = job.id;
    try {
        host_.PostToWindowThread([this, id] { Finished(id); });
    } catch (...) {
        // As the thumbnail's: the next Refresh finds the job still pending.
    }
}

void PreviewLoupe::Finished(std::uint64_t jobId) {
    if (!job_ || job_->id != jobId) {
        return;
    }
    if (job_->thread.joinable()) {
        job_->thread.join();
    }
    const std::unique_ptr<Job> job = std::move(job_);
    if (job->error) {
        picture_ = WorkingBitmap{};
        pictureValid_ = false;
        host_.ThumbnailChanged();
        std::rethrow_exception(job->error);
    }
    const Key want = Wanted();
    if (active_ && job->done && job->key.generation == want.generation &&
        SameValues(job->key.settings, want.settings)) {
        picture_ = std::move(job->picture);
        pictureKey_ = job->key;
        pictureValid_ = true;
        host_.ThumbnailChanged();
    }
    if (!(pictureValid_ && pictureKey_ == want)) {
        Start();  // the spot or the values moved on while it ran
    }
}

void PreviewLoupe::Close() {
    active_ = false;
    job_.reset();
    picture_ = WorkingBitmap{};
    pictureValid_ = false;
    host_.ThumbnailChanged();
}

void PreviewLoupe::LetGoOfSource() {
    clickPending_ = false;
    pressed_ = false;
    dragging_ = false;
    if (active_ || job_ || pictureValid_) {
        Close();
    }
}

void PreviewLoupe::Paint(WorkingBitmap& buffer,
                         const Rect& update,
                         const Rect& client,
                         StyleCode code,
                         Rgb tint,
                         const SharedTransform& colour) const {
    if (!Showing()) {
        return;
    }
    const Rect shown = Region();
    const int left = client.left + (client.Width() - shown.Width()) / 2;
    const int top = client.top + (client.Height() - shown.Height()) / 2;
    const Rect& held = pictureKey_.region;
    const int pictureLeft = left + held.left - shown.left;
    const int pictureTop = top + held.top - shown.top;
    const Rect draw =
        Intersect(Intersect(Rect{pictureLeft, pictureTop, pictureLeft + picture_.Width(),
                                 pictureTop + picture_.Height()},
                            Rect{left, top, left + shown.Width(), top + shown.Height()}),
                  Intersect(update, Rect{update.left, update.top, update.left + buffer.Width(),
                                         update.top + buffer.Height()}));
    if (draw.Width() <= 0 || draw.Height() <= 0) {
        return;
    }
    for (int y = draw.top; y < draw.bottom; ++y) {
        const std::uint32_t* from = picture_.RowWords(y - pictureTop) + (draw.left - pictureLeft);
        std::copy(from, from + draw.Width(),
                  buffer.RowWords(y - update.top) + (draw.left - update.left));
    }
    const Rect inBuffer{draw.left - update.left, draw.top - update.top, draw.right - update.left,
                        draw.bottom - update.top};
    MakeViewBitmap(&buffer, inBuffer, code, tint);
    // The loupe is small, so converting what is drawn on each repaint costs less than keeping a
    // converted copy in step with the spot.
    if (colour) {
        colour->Apply(buffer, inBuffer);
    }
}

}  // namespace zelqor
