#include "app/status_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

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

std::string ShortName(const std::string& name, size_t max) {
    // The start of each character, so that a cut never splits one.
    std::vector<size_t> starts;
    for (size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    if (starts.size() <= max || max < 3) return name;
    const size_t head = (max - 1) / 2;  // characters kept before the "…"
    const size_t tail = max - 1 - head;
    return name.substr(0, starts[head]) + "\u2026" + name.substr(starts[starts.size() - tail]);
}

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

namespace {

// The default device, or the named one.
std::string Device(const std::string& name, const char* what, bool brief) {
    if (name.empty()) return std::string("the default ") + what;
    return std::string(what) + " '" + (brief ? ShortName(name) : name) + "'";
}

}  // namespace

StatusNote NothingSelected(const std::string& action) {
    const std::string head = "Nothing was " + action + ": nothing is selected in the Work Buffer";
    return {head + " (set the selection with the left and right mouse buttons).", head + "."};
}

StatusNote NoSpeechHint(double peakDbfs, double gateDbfs) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "No speech heard yet: the microphone peaks at %.0f dBFS; speech must reach %.0f "
                  "dBFS. Speak louder or closer, or push REC to stop.",
                  peakDbfs, gateDbfs);
    char brief[120];
    std::snprintf(brief, sizeof brief,
                  "No speech yet: the microphone peaks at %.0f dBFS, speech must reach %.0f dBFS.",
                  peakDbfs, gateDbfs);
    return {text, brief};
}

StatusNote SelectionToPhonCut(int copied, int selected) {
    const std::string counts =
        std::to_string(copied) + " of the " + std::to_string(selected) + " selected";
    return {std::string(kSelectionToPhonText) + "  (Only the first " + counts + " samples fit.)",
            {},
            "A PHON holds at most " + std::to_string(copied) + " samples: only the first " +
                counts + " were copied."};
}

StatusNote VoiceNameRefused(const std::string& name, const std::string& reason) {
    return {"The voice name \"" + name + "\" cannot be used: " + reason,
            "The voice name \"" + ShortName(name) + "\" cannot be used."};
}

StatusNote VoicePathTooLong(const std::filesystem::path& file, bool besideProgram) {
    const std::string tail = std::string(": the path of the ") +
                             (besideProgram ? "program folder" : "voices folder") +
                             " is too long for a voice file.";
    const std::filesystem::path folder = file.parent_path().filename();
    return {"Cannot use " + ShownFileName(file) + tail,
            "Cannot use " + (folder / ShortName(file.filename().string())).string() + tail,
            file.string()};
}

StatusNote VoiceFileFailed(const std::string& what, const std::filesystem::path& file,
                           const std::string& reason) {
    const std::filesystem::path folder = file.parent_path().filename();
    return {
        "Could not " + what + " " + ShownFileName(file) + ": " + ShortReason(reason, file),
        "Could not " + what + " " + (folder / ShortName(file.filename().string())).string() + ".",
        reason};
}

StatusNote ImportFailed(const std::string& file, const std::string& reason) {
    return {"Could not import " + file + ": " + reason,
            "Could not import " + ShortName(file) + "."};
}

StatusNote NothingImported(const std::string& file) {
    const auto text = [](const std::string& name) {
        return "Nothing was imported: " + name + " holds no sound.";
    };
    return {text(file), text(ShortName(file))};
}

StatusNote Imported(const std::string& file, const std::string& keptDuration) {
    std::string text = "Imported " + file + " into the work buffer.";
    std::string brief = "Imported " + ShortName(file) + " into the work buffer.";
    if (!keptDuration.empty()) {
        text += "  It was longer than the buffer: only its first " + keptDuration + " were kept.";
        brief = "Imported the first " + keptDuration + " of " + ShortName(file) + ".";
    }
    return {text + "  Use >> to copy a selection to the current PHON.", brief};
}

StatusNote SelectionExported(const std::string& file) {
    return {"Selection exported to " + file + ".",
            "Selection exported to " + ShortName(file) + "."};
}

StatusNote VoiceExported(int files, const std::string& folder) {
    const std::string head = "Voice exported as " + std::to_string(files) + " WAV files into ";
    return {head + folder + ".", head + ShortName(folder) + "."};
}

StatusNote ExportFailed(const std::string& what, const std::string& reason) {
    return {"Could not export " + what + ": " + reason, "Could not export " + what + "."};
}

StatusNote SoundLost(const std::string& reason) {
    const std::string tail = " Trying again every few seconds.";
    return {"Sound output lost: " + reason + "." + tail, "Sound output lost." + tail};
}

StatusNote DevicesGone(const std::string& input, const std::string& output) {
    if (!input.empty() && !output.empty()) {
        return {"The audio devices '" + input + "' and '" + output +
                    "' chosen earlier are not there; using the defaults instead.",
                "The audio devices chosen earlier are not there; using the defaults instead."};
    }
    const std::string& gone = input.empty() ? output : input;
    return {
        "The audio device '" + gone + "' chosen earlier is not there; using the default instead.",
        "The audio device chosen earlier is not there; using the default instead."};
}

StatusNote OutputFailed(const std::string& output, const std::string& reason) {
    const std::string tail = " Trying again every few seconds.";
    return {"Could not open " + Device(output, "speakers", false) + ": " + reason + "." + tail,
            "Could not open " + Device(output, "speakers", true) + "." + tail};
}

StatusNote InputFailed(const std::string& input, const std::string& output) {
    return {"Now playing through " + Device(output, "speakers", false) + ", but " +
                Device(input, "microphone", false) + " did not open.",
            "Now playing, but " + Device(input, "microphone", true) + " did not open."};
}

StatusNote NowUsing(const std::string& input, const std::string& output) {
    return {"Now recording from " + Device(input, "microphone", false) + " and playing through " +
                Device(output, "speakers", false) + ".",
            "Now recording from the chosen microphone and playing through the chosen speakers."};
}

}  // namespace vocalith::app
