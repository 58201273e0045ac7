#include "voice/voices_folder.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>
#include <system_error>

#include "base/ascii_case.h"
#include "base/program_folder.h"

namespace vocalith::voice {

namespace fs = std::filesystem;

namespace {

// Wildcard match with '*' and '?', ASCII case ignored. Iterative with one
// backtrack point, so it is linear-ish and cannot recurse deeply.
bool MatchPattern(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || base::LowerAscii(pattern[p]) ==
                                                                   base::LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The first entry of `folder` (by name) whose name equals `name` without
// regard to case and that satisfies `want`.
template <typename Want>
std::optional<fs::path> FindNoCase(const fs::path& folder, std::string_view name, Want want) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;
    std::optional<fs::path> best;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::path& p = it->path();
        const std::string file = p.filename().string();
        if (!base::EqualNoCase(file, name) || !want(*it)) continue;
        if (!best || file < best->filename().string()) best = p;
    }
    return best;
}

}  // namespace

std::vector<std::string> ListFolder(const fs::path& folder, std::string_view pattern,
                                    int capacity) {
    std::vector<std::string> names;
    if (capacity <= 0) return names;
    const size_t limit = capacity > 1 ? static_cast<size_t>(capacity - 1) : 1;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        if (!MatchPattern(pattern, name)) continue;
        names.push_back(std::move(name));
        if (names.size() >= limit) break;
    }
    return names;
}

fs::path VoicesFolder(const fs::path& folder) {
    std::error_code ec;
    const fs::path plain = folder / "voices";
    if (fs::is_directory(plain, ec)) return plain;
    auto found = FindNoCase(folder, "voices", [](const fs::directory_entry& e) {
        std::error_code dec;
        return e.is_directory(dec);
    });
    return found ? *found : plain;
}

std::vector<fs::path> VoicesFolders(const fs::path& programFolder) {
    std::vector<fs::path> folders = base::DataFolders(programFolder);
    for (fs::path& folder : folders) folder = VoicesFolder(folder);
    return folders;
}

fs::path SaveVoicesFolder(const fs::path& programFolder) {
    return VoicesFolders(programFolder).front();
}

std::vector<std::string> ListVoiceNames(const fs::path& programFolder) {
    constexpr int kCapacity = 999;
    const std::vector<fs::path> folders = VoicesFolders(programFolder);
    std::vector<std::string> names;
    for (const fs::path& folder : folders) {
        // An earlier folder's voice hides a later one's of the same name.
        const size_t earlier = names.size();
        // Every name first: which voices the box can show must not depend
        // on the order the folder happens to list them in.
        for (std::string& name : ListFolder(folder, "*.voc", std::numeric_limits<int>::max())) {
            const size_t dot = name.rfind('.');
            if (dot != std::string::npos) name.resize(dot);
            const auto end = names.begin() + static_cast<std::ptrdiff_t>(earlier);
            const bool hidden = std::any_of(names.begin(), end, [&](const std::string& n) {
                return base::EqualNoCase(n, name);
            });
            if (!hidden) names.push_back(std::move(name));
        }
    }
    {
        // Case-blind order; names equal but for case (one folder may hold
        // both) fall back to byte order, so the order never depends on
        // the listing. Then the box's limit cuts the sorted list.
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            const auto less = [](char x, char y) {
                return base::LowerAscii(x) < base::LowerAscii(y);
            };
            if (base::EqualNoCase(a, b)) return a < b;
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less);
        });
        if (names.size() > kCapacity - 1) names.resize(kCapacity - 1);
    }
    return names;
}

VoiceNameCheck CheckVoiceName(std::string_view name, std::string* reason) {
    auto refuse = [&](std::string why) {
        if (reason) *reason = std::move(why);
        return VoiceNameCheck::Refused;
    };
    if (name.size() < 2) return VoiceNameCheck::TooShort;
    if (name == "..") return refuse("A voice name cannot be \"..\".");
    for (char c : name) {
        if (c == '/') return refuse("A voice name cannot contain '/'.");
        if (c == '\\') return refuse("A voice name cannot contain '\\'.");
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return refuse("A voice name cannot contain control characters.");
    }
    return VoiceNameCheck::Ok;
}

fs::path VoiceFilePath(const fs::path& folder, std::string_view name) {
    const fs::path voices = VoicesFolder(folder);
    const std::string file = std::string(name) + ".voc";
    std::error_code ec;
    const fs::path plain = voices / file;
    if (fs::exists(plain, ec)) return plain;
    auto found = FindNoCase(voices, file, [](const fs::directory_entry&) { return true; });
    return found ? *found : plain;
}

fs::path LoadVoicePath(const fs::path& programFolder, std::string_view name) {
    for (const fs::path& folder : base::DataFolders(programFolder)) {
        const fs::path path = VoiceFilePath(folder, name);
        std::error_code ec;
        if (fs::exists(path, ec)) return path;
    }
    return SaveVoicePath(programFolder, name);
}

fs::path SaveVoicePath(const fs::path& programFolder, std::string_view name) {
    return VoiceFilePath(base::DataFolders(programFolder).front(), name);
}

bool VoicePathTooLong(const fs::path& path) {
    return path.native().size() > VOICE_PATH_LIMIT;
}

}  // namespace vocalith::voice
