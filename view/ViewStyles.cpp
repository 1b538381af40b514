// Integer recolouring for each view style; the style is chosen once per call, not per pixel.
#include "ViewStyles.h"

#include <algorithm>
#include <cstdint>

namespace zelqor {
namespace {

struct Channels {
    int r, g, b;
};

int LevelEntry(const std::array<int, kViewLevels>& table, int level) {
    // Levels outside 0..4 read the strongest entry; negative ones cannot come from a style code.
    return (level >= 0 && level < kViewLevels) ? table[level] : table[kViewLevels - 1];
}

Channels Desaturate(Channels c, int w) {
    const int div = w + 2;
    return {(w * c.r + c.g + c.b) / div, (c.r + w * c.g + c.b) / div, (c.r + c.g + w * c.b) / div};
}

template <int K, int O>
int Lift(int x) {
    return ((255 - O) * K * x) / ((K - 1) * 255 + x) + O;
}

int Lower(int x) {
    return (247 * x) / (510 - x);
}

int Mean(Channels c) {
    return (c.r + c.g + c.b) / 3;
}

int VividChannel(int c, int m, int k) {
    const int d = c - m;
    if (d > 0) {
        return (256 * (c + k * d)) / (256 + k * d);
    }
    if (d < 0) {
        return (256 * c) / (256 + k * -d);
    }
    return c;
}

int MattariDown(int c, int d, int m, int k) {
    const int t = (k * -d * (255 - m)) / 255;
    return (256 * c) / (256 + t);
}

int MattariChannel(int c, int m, int k) {
    const int d = c - m;
    if (d > 0) {
        const int t = (k * d * m) / 255;
        return (256 * (c + t)) / (256 + t);
    }
    if (d < 0) {
        return MattariDown(c, d, m, k);
    }
    return c;
}

int MiyabiChannel(int c, int m, int k) {
    const int d = c - m;
    return d < 0 ? MattariDown(c, d, m, k) : c;
}

int ColorishChannel(int c, int a, int divisor) {
    int p;
    int q;
    if (a > 0) {
        p = c + (c * a) / divisor;
        q = 255 - c;
    } else {
        p = c;
        q = (255 - c) + (-a * (255 - c)) / divisor;
    }
    return (255 * p) / (p + q);
}

template <typename Fn>
void ForEachPixel(WorkingBitmap& bmp, Rect rc, Fn&& fn) {
    for (int y = rc.top; y < rc.bottom; ++y) {
        std::uint8_t* p = bmp.Row(y) + static_cast<std::size_t>(rc.left) * 4;
        for (int x = rc.left; x < rc.right; ++x, p += 4) {
            const Channels out = fn(Channels{p[2], p[1], p[0]});
            p[0] = static_cast<std::uint8_t>(out.b);
            p[1] = static_cast<std::uint8_t>(out.g);
            p[2] = static_cast<std::uint8_t>(out.r);
        }
    }
}

}  // namespace

void MakeViewBitmap(WorkingBitmap* bitmap, Rect rc, StyleCode code, Rgb tint) {
    if (bitmap == nullptr) {
        return;
    }
    rc.left = std::max(rc.left, 0);
    rc.top = std::max(rc.top, 0);
    rc.right = std::min(rc.right, bitmap->Width());
    rc.bottom = std::min(rc.bottom, bitmap->Height());
    if (rc.right <= rc.left || rc.bottom <= rc.top) {
        return;
    }
    WorkingBitmap& bmp = *bitmap;
    const int group = code.base / kViewGroupSize;
    // The styles without levels are told apart by their small base codes.
    const int level = group == 0 ? code.base : code.level;

    switch (group) {
        case 0:
            switch (level) {
                case kViewColorish: {
                    const int aR = tint.r - 128, aG = tint.g - 128, aB = tint.b - 128;
                    ForEachPixel(bmp, rc, [=](Channels c) {
                        return Channels{ColorishChannel(c.r, aR, 100),
                                        ColorishChannel(c.g, aG, 100),
                                        ColorishChannel(c.b, aB, 128)};
                    });
                    break;
                }
                case kViewYellowish:
                    ForEachPixel(bmp, rc, [](Channels c) {
                        const Channels d = Desaturate(c, 3);
                        return Channels{Lift<3, 8>(d.r), Lift<3, 8>(d.g), Lower(d.b)};
                    });
                    break;
                case kViewBluish:
                    ForEachPixel(bmp, rc, [](Channels c) {
                        const Channels d = Desaturate(c, 3);
                        return Channels{Lower(d.r), d.g, Lift<2, 8>(d.b)};
                    });
                    break;
                default:
                    break;
            }
            break;
        case kViewMonochrome / kViewGroupSize: {
            // Monochrome takes the level itself as the weight of the pixel's own colour.
            const int l = std::clamp(level, 0, kViewLevels - 1);
            ForEachPixel(bmp, rc, [l](Channels c) {
                const int y = (13 * c.r + 25 * c.g + 5 * c.b + 42) / 43;
                auto mix = [&](int v) { return ((5 - l) * y + l * v + 4) / 5; };
                return Channels{mix(c.r), mix(c.g), mix(c.b)};
            });
            break;
        }
        case kViewVivid / kViewGroupSize: {
            const int k = LevelEntry(kVividLevelTable, level);
            ForEachPixel(bmp, rc, [k](Channels c) {
                const int m = Mean(c);
                return Channels{VividChannel(c.r, m, k), VividChannel(c.g, m, k),
                                VividChannel(c.b, m, k)};
            });
            break;
        }
        case kViewMattari / kViewGroupSize: {
            const int k = LevelEntry(kMattariLevelTable, level);
            ForEachPixel(bmp, rc, [k](Channels c) {
                const int m = Mean(c);
                return Channels{MattariChannel(c.r, m, k), MattariChannel(c.g, m, k),
                                MattariChannel(c.b, m, k)};
            });
            break;
        }
        case kViewMiyabi / kViewGroupSize: {
            const int k = LevelEntry(kMattariLevelTable, level);
            ForEachPixel(bmp, rc, [k](Channels c) {
                const int m = Mean(c);
                return Channels{MiyabiChannel(c.r, m, k), MiyabiChannel(c.g, m, k),
                                MiyabiChannel(c.b, m, k)};
            });
            break;
        }
        case kViewSepia / kViewGroupSize: {
            const int w = LevelEntry(kSepiaLevelTable, level);
            ForEachPixel(bmp, rc, [w](Channels c) {
                const Channels d = Desaturate(c, w);
                return Channels{Lift<4, 8>(d.r), d.g, Lower(d.b)};
            });
            break;
        }
        case kViewUguisu / kViewGroupSize: {
            const int w = LevelEntry(kSepiaLevelTable, level);
            ForEachPixel(bmp, rc, [w](Channels c) {
                const Channels d = Desaturate(c, w);
                return Channels{Lift<28, 2>(d.r), Lift<4, 8>(d.g), Lower(d.b)};
            });
            break;
        }
        default:
            break;
    }
}

void MakeViewBitmapAll(WorkingBitmap* bitmap, StyleCode code, Rgb tint) {
    if (bitmap == nullptr) {
        return;
    }
    MakeViewBitmap(bitmap, Rect{0, 0, bitmap->Width(), bitmap->Height()}, code, tint);
}

}  // namespace zelqor
