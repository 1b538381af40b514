// Fuzz target: decoding an untrusted HEIF and AVIF file from memory.
#include <cstddef>
#include <cstdint>

#include "DecodedChecks.h"
#include "HeifReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelqor::fuzz::CheckDecoded(
        [&] { return zelqor::DecodeHeif(data, size, zelqor::fuzz::kFuzzMaxPixels); });
    return 0;
}
