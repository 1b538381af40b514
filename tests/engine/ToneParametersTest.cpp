// The neighbourhood radius and the range checks of the tone values.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ToneParameters.h"

namespace zelqor {
namespace {

TEST(ToneParameters, CalcRadiusCases) {
    struct Case {
        int w, h, divisor, radius;
    } cases[] = {
        {0, 0, 200, 0},      {0, 50, 200, 0},      {1, 1, 50, 1},       {1, 1, 800, 1},
        {1200, 800, 200, 6}, {4000, 3000, 50, 80}, {1000, 500, 200, 5}, {1000, 500, 152, 7},
        {500, 1000, 152, 7}, {4200, 10, 50, 84},   {4150, 10, 50, 83},  {4000, 3000, 200, 20},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CalcRadius(c.w, c.h, c.divisor), c.radius)
            << c.w << "x" << c.h << "/" << c.divisor;
    }
}

}  // namespace
}  // namespace zelqor
