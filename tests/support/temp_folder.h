#pragma once
// TempFolder: a fresh, empty folder of a test's own under the system's
// temporary folder, removed with everything in it when the object goes.
// The name is unique across processes, so tests running side by side never
// share one.
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace vocalith::testsupport {

class TempFolder {
  public:
    // Creates TMPDIR/<prefix>-XXXXXX; throws std::system_error when it cannot.
    explicit TempFolder(std::string_view prefix = "vocalith") {
        std::string name =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (::mkdtemp(name.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + name);
        }
        path_ = name;
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

  private:
    std::filesystem::path path_;
};

}  // namespace vocalith::testsupport
