// Fuzz target: decoding an untrusted HEIF and AVIF file from memory, and our own walk over its
// boxes for the primary grid, which runs only on files libheif has read first.
#include <cstddef>
#include <cstdint>

#include "DecodedChecks.h"
#include "HeifGrid.h"
#include "HeifReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto grid = zelqor::PrimaryGridLayout({data, size}))
        zelqor::fuzz::Check(grid->rows >= 1 && grid->columns >= 1, "a grid has a tile at least");
    zelqor::fuzz::CheckDecoded(
        [&] { return zelqor::DecodeHeif(data, size, zelqor::fuzz::kFuzzMaxPixels); });
    return 0;
}
