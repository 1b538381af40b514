// Changes to the window's images, refused while a run reads them.
#include "Document.h"

#include <atomic>
#include <stdexcept>

#include "IccProfile.h"

namespace zelqor {

std::uint64_t Document::NextGeneration() {
    // Shared by every document, so two panels never mistake one image for another.
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

void Document::RefuseWhileLocked() const {
    if (Locked()) {
        throw std::logic_error("the images cannot change while a run is in progress");
    }
}

void Document::SetSource(WorkingBitmap source) {
    RefuseWhileLocked();
    // A copy: a listener may add or remove listeners while it is told.
    const auto listeners = beforeSourceChange_;
    for (const auto& [id, listener] : listeners) {
        listener();
    }
    bitmapSrc_ = std::move(source);
    srcGeneration_ = NextGeneration();
}

Document::ListenerId Document::AddBeforeSourceChange(std::function<void()> listener) {
    beforeSourceChange_.emplace_back(++lastListener_, std::move(listener));
    return lastListener_;
}

void Document::RemoveBeforeSourceChange(ListenerId id) {
    std::erase_if(beforeSourceChange_, [id](const auto& entry) { return entry.first == id; });
}

void Document::SetResult(WorkingBitmap result) {
    RefuseWhileLocked();
    bitmapDst_ = std::move(result);
    dstGeneration_ = NextGeneration();
}

void Document::ClearResult() {
    SetResult(WorkingBitmap{});
}

void Document::SetExif(MetadataBlock metadata) {
    RefuseWhileLocked();
    metadata_ = std::move(metadata);
    colourProfile_ = AssembleIccProfile(metadata_.icc);
}

void Document::ClearExif() {
    SetExif({});
}

}  // namespace zelqor
