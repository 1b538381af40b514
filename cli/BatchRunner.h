// Runs the batch tool's options over its input files.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "CliOptions.h"

namespace zelqor::cli {

// The whole tool on its arguments (without the program name): parses them, prints help or the
// version, or runs the batch. Returns the exit status: 0 all written, 1 some file failed, 2 a
// bad option. Nothing escapes: a failure outside any one file (a stream that throws, memory)
// is one line on `err` and status 1. The progress bar is drawn when `errIsTerminal` and not
// --quiet.
int RunTool(const std::vector<std::string>& args,
            std::ostream& out,
            std::ostream& err,
            bool errIsTerminal,
            const char* version);

// Writes "zelqorhdr-cli: TEXT" as one line on `err`, whatever state the stream is in, and
// never throws.
void ReportEscapedFailure(std::ostream& err, const char* text);

inline constexpr const char* kUnexpectedFailureText = "unexpected failure";

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
