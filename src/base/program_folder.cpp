#include "base/program_folder.h"

#include <optional>
#include <string>
#include <system_error>

namespace vocalith::base {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path>& Setting() {
    static std::optional<fs::path> folder;
    return folder;
}

}  // namespace

fs::path ExecutableFolder() {
    std::error_code ec;
    const std::string exe = fs::read_symlink("/proc/self/exe", ec).string();
    const size_t slash = exe.rfind('/');
    if (ec || slash == std::string::npos) return ".";
    return exe.substr(0, slash == 0 ? 1 : slash);
}

fs::path ProgramFolder() {
    std::optional<fs::path>& folder = Setting();
    if (!folder) folder = ExecutableFolder();
    return *folder;
}

void SetProgramFolder(const fs::path& folder) {
    Setting() = folder;
}

}  // namespace vocalith::base
