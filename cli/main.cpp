// Entry point of the batch tool zelqorhdr-cli.
#include <unistd.h>

#include <iostream>

#include "BatchRunner.h"
#include "MessageLanguage.h"
#include "PixelBuffer.h"

int main(int argc, char** argv) {
    using namespace zelqor::cli;
    zelqor::GiveLargeBlocksBackWhenFreed();
    // RunTool catches everything itself; this guards building the argument list.
    try {
        return RunTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                       isatty(STDERR_FILENO) != 0, ZELQOR_VERSION, IsJapaneseLocale());
    } catch (...) {
        ReportEscapedFailure(std::cerr, kUnexpectedFailureText);
    }
    return 1;
}
