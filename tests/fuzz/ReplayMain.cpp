// Replays saved fuzz inputs through one target without libFuzzer, so every build's ctest runs them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsUnder(const fs::path& root) {
    std::vector<fs::path> files;
    std::error_code ec;
    if (fs::is_regular_file(root, ec)) {
        files.push_back(root);
        return files;
    }
    // A target without saved crashes has no folder yet; the seeds still give it work.
    if (!fs::is_directory(root, ec))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
        if (entry.is_regular_file(ec))
            files.push_back(entry.path());
    }
    // A fixed order makes a failure point at the same file on every machine.
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& file : InputsUnder(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            // Printed before the run so that a crash names its input.
            std::fprintf(stderr, "replay %s\n", file.c_str());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    // Nothing found means a wrong path, and a replay of nothing would pass unseen.
    return replayed > 0 ? 0 : 1;
}
