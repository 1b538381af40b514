// Fuzz target: the look at an untrusted colour profile before any transform is built from it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzCheck.h"
#include "IccProfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> profile(data, size);
    const zelqor::IccProfileCost cost = zelqor::JudgeIccProfileCost(profile);
    zelqor::fuzz::Check(
        cost != zelqor::IccProfileCost::TooLarge || size > zelqor::kMostIccProfileBytes,
        "only a profile past the byte bound is too large");
    zelqor::ColourSpaceOf(profile);
    return 0;
}
