// Fuzz target: decoding an untrusted TIFF file from memory.
#include <cstddef>
#include <cstdint>

#include "DecodedChecks.h"
#include "TiffReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelqor::fuzz::CheckDecoded(
        [&] { return zelqor::DecodeTiff(data, size, zelqor::fuzz::kFuzzMaxPixels); });
    return 0;
}
