#include "voice/voices_folder.h"

#include <optional>
#include <system_error>

#include "base/ascii_case.h"

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

fs::path VoicesFolder(const fs::path& programFolder) {
    std::error_code ec;
    const fs::path plain = programFolder / "voices";
    if (fs::is_directory(plain, ec)) return plain;
    auto found = FindNoCase(programFolder, "voices", [](const fs::directory_entry& e) {
        std::error_code dec;
        return e.is_directory(dec);
    });
    return found ? *found : plain;
}

std::vector<std::string> ListVoiceNames(const fs::path& programFolder) {
    std::vector<std::string> names = ListFolder(VoicesFolder(programFolder), "*.voc", 999);
    for (std::string& name : names) {
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos) name.resize(dot);
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

fs::path VoiceFilePath(const fs::path& programFolder, std::string_view name) {
    const fs::path folder = VoicesFolder(programFolder);
    const std::string file = std::string(name) + ".voc";
    std::error_code ec;
    const fs::path plain = folder / file;
    if (fs::exists(plain, ec)) return plain;
    auto found = FindNoCase(folder, file, [](const fs::directory_entry&) { return true; });
    return found ? *found : plain;
}

bool VoicePathTooLong(const fs::path& path) {
    return path.native().size() > VOICE_PATH_LIMIT;
}

}  // namespace vocalith::voice
