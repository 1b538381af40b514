// Fuzz target: decoding an untrusted WebP file from memory.
#include <cstddef>
#include <cstdint>

#include "DecodedChecks.h"
#include "WebpReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelqor::fuzz::CheckDecoded(
        [&] { return zelqor::DecodeWebp(data, size, zelqor::fuzz::kFuzzMaxPixels); });
    return 0;
}
