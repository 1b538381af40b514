// Runs the batch tool's options over its input files.
#pragma once

#include <ostream>
#include <string>

#include "CliOptions.h"

namespace zelqor::cli {

// Processes every input in turn, going on after a failed one. Reports each file's result on
// `out` and each failure as one line on `err`. Returns 0 when every file was written, 1 when
// any failed. `progress` draws a bar on `err` while a run works.
int RunBatch(const CliOptions& options, std::ostream& out, std::ostream& err, bool progress);

// Where the result of `input` goes, or an error text.
struct OutputPlan {
    std::string path;
    std::string error;
};
OutputPlan PlanOutput(const CliOptions& options, const std::string& input);

}  // namespace zelqor::cli
