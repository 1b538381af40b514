// The images and metadata the window owns, with a generation per image so views can cache.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "ImageFile.h"
#include "WorkingBitmap.h"

namespace zelqor {

class Document {
  public:
    const WorkingBitmap& BitmapSrc() const { return bitmapSrc_; }
    const WorkingBitmap& BitmapDst() const { return bitmapDst_; }
    // The source's APP1 payloads back to back.
    const std::vector<std::uint8_t>& ExifSegmentBuffer() const { return metadata_.app1.bytes; }
    // Those payloads with where each starts, and the source's ICC profile: what a save carries.
    const MetadataBlock& Metadata() const { return metadata_; }
    // The ICC profile those chunks make, whole; empty for an untagged picture. Both images are
    // in its colours: a run keeps the source's.
    const std::vector<std::uint8_t>& ColourProfile() const { return colourProfile_; }

    // Bumped whenever the pixels of the image change; never repeats within a run of the program.
    std::uint64_t SrcGeneration() const { return srcGeneration_; }
    std::uint64_t DstGeneration() const { return dstGeneration_; }

    // While a run reads the source, nothing may replace or free the images.
    bool Locked() const { return lockCount_ > 0; }

    // Each of these throws std::logic_error while a run is in progress.
    void SetSource(WorkingBitmap source);
    // Each listener is called, in the order they were added, before the source's pixels are
    // replaced, so that the readers outside a run (the options page's thumbnail and loupe, which
    // read the source on threads of their own) can finish with them first.
    using ListenerId = std::uint64_t;
    ListenerId AddBeforeSourceChange(std::function<void()> listener);
    void RemoveBeforeSourceChange(ListenerId id);
    void SetResult(WorkingBitmap result);
    void ClearResult();
    void SetExif(MetadataBlock metadata);
    void ClearExif();

    // Held by a run for its whole length.
    class Lock {
      public:
        explicit Lock(Document& doc) : doc_(doc) { ++doc_.lockCount_; }
        ~Lock() { --doc_.lockCount_; }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        Document& doc_;
    };

  private:
    void RefuseWhileLocked() const;
    static std::uint64_t NextGeneration();

    WorkingBitmap bitmapSrc_;
    WorkingBitmap bitmapDst_;
    MetadataBlock metadata_;
    std::vector<std::uint8_t> colourProfile_;
    std::vector<std::pair<ListenerId, std::function<void()>>> beforeSourceChange_;
    ListenerId lastListener_ = 0;
    std::uint64_t srcGeneration_ = NextGeneration();
    std::uint64_t dstGeneration_ = NextGeneration();
    int lockCount_ = 0;
};

}  // namespace zelqor
