// Entry point of the batch tool zelqorhdr-cli.
#include <unistd.h>

#include <iostream>

#include "BatchRunner.h"

int main(int argc, char** argv) {
    using namespace zelqor::cli;
    const ParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.error) {
        std::cerr << "zelqorhdr-cli: " << *parsed.error << "\n";
        return 2;
    }
    const CliOptions& o = parsed.options;
    if (o.help) {
        std::cout << kUsageText;
        return 0;
    }
    if (o.version) {
        std::cout << "zelqorhdr-cli " ZELQOR_VERSION "\n";
        return 0;
    }
    return RunBatch(o, std::cout, std::cerr, !o.quiet && isatty(STDERR_FILENO));
}
