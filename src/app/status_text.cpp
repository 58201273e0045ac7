#include "app/status_text.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace vocalith::app {

namespace {

// The system's texts for the errors users meet with files, in a few words.
constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kShortErrors{{
    {"No such file or directory", "no such file"},
    {"Permission denied", "permission denied"},
    {"Too many levels of symbolic links", "a link loop"},
    {"Not a directory", "a part of the path is not a folder"},
    {"Is a directory", "it is a folder"},
    {"No space left on device", "the disk is full"},
    {"Disk quota exceeded", "the disk quota is used up"},
    {"Read-only file system", "the disk is read-only"},
    {"File name too long", "the name is too long"},
    {"File exists", "a file is in the way"},
}};

void EraseAll(std::string& text, const std::string& part) {
    if (part.empty()) return;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at)) {
        text.erase(at, part.size());
    }
}

}  // namespace

std::string ShownFileName(const std::filesystem::path& path) {
    const std::filesystem::path folder = path.parent_path().filename();
    return folder.empty() ? path.filename().string() : (folder / path.filename()).string();
}

std::string ShortReason(const std::string& reason, const std::filesystem::path& path) {
    std::string text = reason;
    // Paths say nothing the status line does not already say: the file's own
    // path and its folder's (which may hold spaces) first, then any other
    // word that is an absolute path (a temporary file beside it).
    EraseAll(text, path.string());
    EraseAll(text, path.parent_path().string());
    EraseAll(text, ShownFileName(path));
    std::string kept;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(at, end - at);
        if (!word.empty() && word[0] == '/') word = word.back() == ':' ? ":" : "";
        if (!word.empty()) {
            if (!kept.empty() && word != ":") kept += ' ';
            kept += word;
        }
        at = end + 1;
    }
    if (kept.rfind(':', 0) == 0) kept.erase(0, 1);
    if (!kept.empty() && kept[0] == ' ') kept.erase(0, 1);

    std::string head;
    std::string tail = kept;
    if (const size_t colon = kept.rfind(": "); colon != std::string::npos) {
        head = kept.substr(0, colon);
        tail = kept.substr(colon + 2);
    }
    for (const auto& [system, shortText] : kShortErrors) {
        if (tail == system) tail = shortText;
    }
    // Opening, reading or writing the file is what "Could not load" already says.
    static constexpr std::array<std::string_view, 5> kOwnActions{"", "cannot open", "cannot read",
                                                                 "cannot create", "cannot write"};
    std::string out = tail;
    if (std::find(kOwnActions.begin(), kOwnActions.end(), head) == kOwnActions.end()) {
        out = head + ": " + tail;
    }
    if (out.rfind("is ", 0) == 0) out = "it " + out;
    return out.empty() ? reason : out;
}

}  // namespace vocalith::app
