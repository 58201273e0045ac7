#include "base/program_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>

#include "base/ascii_case.h"

namespace vocalith::base {

namespace fs = std::filesystem;

fs::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

fs::path ExecutableFolder() {
    std::error_code ec;
    const std::string exe = fs::read_symlink("/proc/self/exe", ec).string();
    const size_t slash = exe.rfind('/');
    if (ec || slash == std::string::npos) return ".";
    return exe.substr(0, slash == 0 ? 1 : slash);
}

bool DataBesideProgram(const fs::path& programFolder) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(programFolder / "voices", ec))) return true;
    fs::directory_iterator it(programFolder, ec);
    if (ec) return false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (EqualNoCase(it->path().filename().string(), "voices")) return true;
    }
    return false;
}

fs::path UserDataFolder() {
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory
    // rules ask.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return fs::path(xdg) / "vocalith";
    return HomeFolder() / ".local" / "share" / "vocalith";
}

fs::path SharedDataFolder(const fs::path& programFolder) {
    return (programFolder / "..").lexically_normal() / "share" / "vocalith";
}

std::vector<fs::path> DataFolders(const fs::path& programFolder) {
    if (DataBesideProgram(programFolder)) return {programFolder};
    return {UserDataFolder(), SharedDataFolder(programFolder)};
}

fs::path FindDataFile(const fs::path& programFolder, const fs::path& relative) {
    const std::vector<fs::path> folders = DataFolders(programFolder);
    for (const fs::path& folder : folders) {
        std::error_code ec;
        if (fs::exists(folder / relative, ec)) return folder / relative;
    }
    return folders.front() / relative;
}

}  // namespace vocalith::base
