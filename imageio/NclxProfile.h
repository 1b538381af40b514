// ICC profiles for colour descriptions given as code points (HEIF's and AVIF's nclx, CICP).
#pragma once

#include <cstdint>
#include <vector>

namespace zelqor {

// The chromaticities of the red, green and blue primaries and the white point (CIE x, y).
struct Chromaticities {
    double redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY;
};

// An RGB matrix/curve profile equivalent to primaries `primaries` and transfer
// characteristics `transfer` (the ITU-T H.273 code points); empty for a transfer this program
// does not describe as a curve (PQ, HLG and the like).
std::vector<std::uint8_t> IccProfileFromNclx(const Chromaticities& primaries, int transfer);

// True for the transfers of HDR pictures: PQ (16) and HLG (18).
constexpr bool IsHdrTransfer(int transfer) {
    return transfer == 16 || transfer == 18;
}

}  // namespace zelqor
