// The live thumbnail's work: when to start, the reduced source, the run on a thread of its own.
#include "LiveThumbnail.h"

#include <atomic>
#include <exception>
#include <thread>
#include <utility>

#include "ProcessingRun.h"
#include "ScaleBitmap.h"
#include "WorkerThreads.h"

namespace zelqor {

// One piece of work on its own thread. The window's thread hands it everything it needs and takes
// its results only after joining the thread, so the two share nothing but the cancel flag.
struct LiveThumbnail::Job {
    std::uint64_t id = 0;
    Key key;
    const WorkingBitmap* source = nullptr;  // read only when reduce is set
    bool reduce = false;
    WorkingBitmap reduced;  // made here when reduce is set, else handed over
    bool reducedDone = false;
    WorkingBitmap picture;
    bool pictureDone = false;
    std::exception_ptr error;
    std::atomic<bool> cancel{false};
    std::thread thread;

    // Cancels and waits; what the job made is dropped with it.
    ~Job() {
        cancel.store(true);
        if (thread.joinable()) {
            thread.join();
        }
    }
};

namespace {

class CancelObserver : public RunObserver {
  public:
    explicit CancelObserver(const std::atomic<bool>& cancel) : cancel_(cancel) {}
    // A thumbnail is never large enough for the large-size notice; no box would be wanted anyway.
    void LargeSizeNotice() override {}
    bool Poll(int, int) override { return cancel_.load(); }

  private:
    const std::atomic<bool>& cancel_;
};

}  // namespace

bool LiveThumbnail::Key::operator==(const Key& o) const {
    const ToneParams& a = settings.params;
    const ToneParams& b = o.settings.params;
    return SameReduction(o) && settings.divisor == o.settings.divisor &&
           a.hdrStrength == b.hdrStrength && a.borderLevel == b.borderLevel &&
           a.detailGain == b.detailGain && a.luminance == b.luminance;
}

LiveThumbnail::LiveThumbnail(Document& doc, const OptionPositions& options, ThumbnailHost& host)
    : doc_(doc), options_(options), host_(host) {
    sourceListener_ = doc_.AddBeforeSourceChange([this] { LetGoOfSource(); });
}

LiveThumbnail::~LiveThumbnail() {
    doc_.RemoveBeforeSourceChange(sourceListener_);
    job_.reset();
}

void LiveThumbnail::SetArea(int width, int height) {
    if (width != areaWidth_ || height != areaHeight_) {
        areaWidth_ = width;
        areaHeight_ = height;
        Refresh();
    }
}

void LiveThumbnail::Refresh() {
    if (job_ && !(job_->key == Wanted())) {
        // Superseded: its picture would never be shown, so it stops after the row in hand. A
        // reduction already under way is finished and kept, as the next job can use it.
        job_->cancel.store(true);
    }
    if (!startPosted_) {
        startPosted_ = true;
        host_.PostToWindowThread([this] { Start(); });
    }
}

LiveThumbnail::Key LiveThumbnail::Wanted() const {
    Key key;
    const WorkingBitmap& src = doc_.BitmapSrc();
    key.generation = doc_.SrcGeneration();
    // The size a preview run fitted into the thumbnail's panel would process.
    const Size size =
        RunTargetSize(src.Width(), src.Height(), 0, Rect{0, 0, areaWidth_, areaHeight_});
    if (src.HoldsImage()) {
        key.width = size.width;
        key.height = size.height;
    }
    key.settings = ValuesAt(options_).run;
    return key;
}

void LiveThumbnail::Start() {
    startPosted_ = false;
    if (job_ || doc_.Locked()) {
        return;  // the job's end, or the run's, asks again
    }
    const Key want = Wanted();
    if (want.width <= 0 || want.height <= 0) {
        // No source, or no room: nothing is shown, and nothing of the old source is kept.
        reduced_ = WorkingBitmap{};
        reducedValid_ = false;
        if (pictureValid_ || picture_.HoldsImage()) {
            Show(WorkingBitmap{}, want);
        }
        return;
    }
    if (pictureValid_ && pictureKey_ == want) {
        return;
    }
    auto job = std::make_unique<Job>();
    job->id = ++lastJobId_;
    job->key = want;
    job->reduce = !(reducedValid_ && reducedKey_.SameReduction(want));
    if (job->reduce) {
        reduced_ = WorkingBitmap{};  // the old reduction goes before the new one is made
        job->source = &doc_.BitmapSrc();
    } else {
        job->reduced = std::move(reduced_);
        job->reducedDone = true;
    }
    reducedValid_ = false;
    Job& j = *job;
    job_ = std::move(job);
    try {
        j.thread = StartStdThread([this, &j] { Work(j); });
    } catch (...) {
        // No thread to be had: the work is done here, late rather than never.
        Work(j);
    }
}

void LiveThumbnail::Work(Job& job) {
    try {
        if (job.reduce) {
            // The run's own scaler with the run's workers, so the picture is the one a preview
            // run at this size would process.
            job.reduced =
                ScaleBitmap(*job.source, job.key.width, job.key.height, ProcessingRun::kWorkers);
            job.reducedDone = true;
        }
        if (!job.cancel.load()) {
            CancelObserver observer(job.cancel);
            ProcessingRun run;
            // The radius comes from the reduced copy's long side, as a preview run takes it from
            // its scaled copy.
            const RunOutcome outcome =
                run.ProcessBitmap(job.picture, job.reduced, job.key.settings, observer);
            job.pictureDone = !outcome.cancelled;
        }
    } catch (...) {
        job.error = std::current_exception();
    }
    const std::uint64_t id = job.id;
    try {
        host_.PostToWindowThread([this, id] { Finished(id); });
    } catch (...) {
        // Out of memory for the message itself: the next Refresh finds the job still pending,
        // which is the lesser harm than ending the program from a helper thread.
    }
}

void LiveThumbnail::Finished(std::uint64_t jobId) {
    if (!job_ || job_->id != jobId) {
        return;  // dropped when the source changed
    }
    if (job_->thread.joinable()) {
        job_->thread.join();
    }
    const std::unique_ptr<Job> job = std::move(job_);
    if (job->reducedDone) {
        reduced_ = std::move(job->reduced);
        reducedKey_ = job->key;
        reducedValid_ = true;
    }
    if (job->error) {
        Show(WorkingBitmap{}, Key{});
        std::rethrow_exception(job->error);
    }
    if (job->pictureDone && job->key == Wanted()) {
        Show(std::move(job->picture), job->key);
    } else {
        Start();  // the values moved on while it ran
    }
}

void LiveThumbnail::LetGoOfSource() {
    job_.reset();
    reduced_ = WorkingBitmap{};
    reducedValid_ = false;
    // Posted, so the work starts once the new source is in place.
    Refresh();
}

void LiveThumbnail::Show(WorkingBitmap picture, const Key& key) {
    picture_ = std::move(picture);
    pictureKey_ = key;
    pictureValid_ = picture_.HoldsImage();
    ++pictureGeneration_;
    host_.ThumbnailChanged();
}

void LiveThumbnail::Paint(WorkingBitmap& buffer,
                          const Rect& update,
                          const Rect& client,
                          StyleCode code,
                          Rgb tint,
                          const SharedTransform& colour) {
    painter_.Paint(buffer, update, client, picture_, pictureGeneration_, code, tint, colour);
}

}  // namespace zelqor
