// The oracle shared by the fuzz targets: a broken promise of the code under test stops the run.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace zelqor::fuzz {

// A crash is what libFuzzer records and minimises, so a property that does not hold must end in
// one, with the broken promise named for whoever reads the report.
inline void Check(bool holds, const char* promise) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", promise);
        std::abort();
    }
}

}  // namespace zelqor::fuzz
