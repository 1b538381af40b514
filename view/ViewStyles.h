// View colour styles: recolour pixels in place into their look under a style code.
#pragma once

#include <array>

#include "Rect.h"
#include "WorkingBitmap.h"

namespace zelqor {

// Base style codes; the levelled styles add a level 0..4.
enum ViewStyleCode : int {
    kViewDefault = 0,
    kViewColorish = 1,
    kViewYellowish = 5,
    kViewBluish = 6,
    kViewMonochrome = 10000,
    kViewVivid = 20000,
    kViewMattari = 30000,
    kViewMiyabi = 40000,
    kViewSepia = 50000,
    kViewUguisu = 60000,
};

inline constexpr int kViewGroupSize = 10000;
inline constexpr int kViewLevels = 5;

inline constexpr std::array<int, kViewLevels> kVividLevelTable = {1, 2, 3, 5, 8};
inline constexpr std::array<int, kViewLevels> kMattariLevelTable = {5, 8, 13, 20, 32};
inline constexpr std::array<int, kViewLevels> kSepiaLevelTable = {1, 2, 3, 6, 13};

// A view style and its level. The View actions carry it in their tag as one integer, the base
// code plus the level; tags below kViewGroupSize name a style without levels.
struct StyleCode {
    int base = kViewDefault;
    int level = 0;

    StyleCode() = default;
    constexpr StyleCode(int base, int level) : base(base), level(level) {}
    // From a tag; implicit because a tag is the code's integer spelling.
    constexpr StyleCode(int tag)  // NOLINT(google-explicit-constructor)
        : base(tag < kViewGroupSize ? tag : tag / kViewGroupSize * kViewGroupSize),
          level(tag < kViewGroupSize ? 0 : tag % kViewGroupSize) {}
    constexpr int Tag() const { return base + level; }
    constexpr bool operator==(const StyleCode&) const = default;
};

// The level dialog shows a strength 0..4 with the strongest look at 4; these read the style table
// to turn a strength into a level.
bool StyleLevelIsInverted(int baseCode);
int LevelFromStrength(int baseCode, int strength);

// A tint colour already resolved to plain red, green and blue.
struct Rgb {
    int r = 128;
    int g = 128;
    int b = 128;
};

// Recolours the pixels inside rect (right and bottom exclusive, clamped to the bitmap).
void MakeViewBitmap(WorkingBitmap* bitmap, Rect rect, StyleCode code, Rgb tint);
void MakeViewBitmapAll(WorkingBitmap* bitmap, StyleCode code, Rgb tint);

}  // namespace zelqor
