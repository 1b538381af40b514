// CMYK pixels (from CMYK and YCCK JPEGs) into our blue, green, red rows.
#pragma once

#include <cstdint>
#include <span>

namespace zelqor {

// Through the file's own ICC profile into sRGB with LittleCMS when it has a usable CMYK one,
// else by the usual formula (each colour times black, both inverted).
class CmykToBgr {
  public:
    // `inverted`: the samples are stored inverted (0 full ink), as files with Adobe's marker
    // store them. A profile that is no usable CMYK profile, or one too costly to use, counts as
    // none.
    CmykToBgr(std::span<const std::uint8_t> profile, bool inverted);
    ~CmykToBgr();
    CmykToBgr(const CmykToBgr&) = delete;
    CmykToBgr& operator=(const CmykToBgr&) = delete;

    bool UsesProfile() const { return transform_ != nullptr; }
    // The profile was judged too costly to build a transform from (JudgeIccProfileCost).
    bool ProfileSetAside() const { return setAside_; }
    // `width` pixels of four samples each into blue, green, red, 0xFF.
    void ConvertRow(const std::uint8_t* cmyk, std::uint8_t* bgrx, int width) const;

  private:
    void* transform_ = nullptr;  // a cmsHTRANSFORM, kept opaque so users need no lcms headers
    bool inverted_;
    bool setAside_ = false;
};

}  // namespace zelqor
