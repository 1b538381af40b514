// Runs the batch tool's options over its input files.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "CliOptions.h"

namespace zelqor::cli {

// The whole tool on its arguments (without the program name): parses them, prints help or the
// version, or runs the batch over the files and the folders' pictures. Returns the exit status:
// 0 all written (or kept by --no-clobber), 1 some file failed, 2 a bad option or several inputs
// without an output folder. Nothing escapes: a failure outside any one file (a stream that
// throws, memory, an `out` that takes no more) is one line on `err` and status 1. The progress
// bar is drawn when `errIsTerminal` and not --quiet; `japaneseMessages` words the failures in
// Japanese, else in English.
int RunTool(const std::vector<std::string>& args,
            std::ostream& out,
            std::ostream& err,
            bool errIsTerminal,
            const char* version,
            bool japaneseMessages = false);

// The inputs with each folder replaced by its pictures (those the loader takes by their
// extension, not in subfolders, not the tool's own "*_hdr" results), in name order; a folder
// that cannot be listed or holds no picture gives a failure text instead.
struct ExpandedInputs {
    std::vector<std::string> files;
    std::vector<std::string> failures;  // "FOLDER: reason"
};
ExpandedInputs ExpandFolders(const std::vector<std::string>& inputs);

// Writes "zelqorhdr-cli: TEXT" as one line on `err`, whatever state the stream is in, and
// never throws.
void ReportEscapedFailure(std::ostream& err, const char* text);

inline constexpr const char* kUnexpectedFailureText = "unexpected failure";

// Processes every input file in turn, going on after a failed one. Reports each file's result
// (or its skip under --no-clobber) on `out` and each failure as one line on `err`. Returns 0 when
// every file was written, 1 when any failed. `progress` draws a bar on `err` while a run works.
int RunBatch(const CliOptions& options, std::ostream& out, std::ostream& err, bool progress);

// Where the result of `input` goes, or an error text.
struct OutputPlan {
    std::string path;
    std::string error;
};
OutputPlan PlanOutput(const CliOptions& options, const std::string& input);

}  // namespace zelqor::cli
