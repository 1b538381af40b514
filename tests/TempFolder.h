// A fresh folder under the system's temporary folder for one test, removed with everything in it
// when the test ends. The process id and a counter keep parallel test processes apart.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <iterator>
#include <string>

namespace zelqor {

class TempFolder {
  public:
    TempFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("zelqor-test-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }
    std::size_t FileCount() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(path_), {}));
    }

  private:
    static inline int next_ = 0;
    std::filesystem::path path_;
};

}  // namespace zelqor
