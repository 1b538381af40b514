// Fuzz target: decoding an untrusted JPEG XL file from memory.
#include <cstddef>
#include <cstdint>

#include "DecodedChecks.h"
#include "JxlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelqor::fuzz::CheckDecoded(
        [&] { return zelqor::DecodeJxl(data, size, zelqor::fuzz::kFuzzMaxPixels); });
    return 0;
}
