// Fuzz target: decoding an untrusted JPEG XL file from memory, upright and as stored.
#include <cstddef>
#include <cstdint>

#include "DecodedChecks.h"
#include "JxlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const auto handling :
         {zelqor::OrientationHandling::Upright, zelqor::OrientationHandling::AsStored}) {
        zelqor::fuzz::CheckDecoded(
            [&] { return zelqor::DecodeJxl(data, size, zelqor::fuzz::kFuzzMaxPixels, handling); });
    }
    return 0;
}
