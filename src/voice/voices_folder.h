#pragma once
// The voices folders: listing them for the voice box, checking voice names
// and turning a voice name into the path of its file. Beside the program
// there is one voices folder; an installed program has the user's and the
// shared one (see base/program_folder.h), where a user's voice hides a shared
// voice of the same name and Save writes to the user's. Folder and file names
// are matched without regard to ASCII letter case, so "voxa" finds
// voices/Voxa.voc and a folder named "Voices" serves as the voices folder.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vocalith::voice {

// The longest voice-file path accepted, in bytes; longer paths are refused by
// the callers (the dialog shows a message) rather than cut.
inline constexpr size_t VOICE_PATH_LIMIT = 999;

// Lists the entries of `folder` (of every kind) whose names match `pattern`
// ('*' any run, '?' any one character, ASCII case ignored), in directory
// order. Stops once capacity - 1 names are stored (the first match is always
// stored when capacity >= 1); capacity <= 0 or a missing folder gives none.
std::vector<std::string> ListFolder(const std::filesystem::path& folder, std::string_view pattern,
                                    int capacity);

// The voice names shown in the voice box, each file name cut at its last '.':
// "*.voc" in the voices folder beside the program, or, installed, the user's
// and the shared voices merged (a shared name hidden by a user's name equal
// but for ASCII case); sorted without regard to case, then cut to the box's
// 998, so which voices appear never depends on the folder's listing order.
std::vector<std::string> ListVoiceNames(const std::filesystem::path& programFolder);

// The voices folder of a data folder: "voices" if it is a folder, else the
// first folder (by name) whose name is "voices" in any letter case, else
// folder/"voices" (which does not exist yet).
std::filesystem::path VoicesFolder(const std::filesystem::path& folder);

// The voices folders to search, in order: VoicesFolder of each of
// base::DataFolders(programFolder).
std::vector<std::filesystem::path> VoicesFolders(const std::filesystem::path& programFolder);

// The voices folder Save writes to: the first of VoicesFolders.
std::filesystem::path SaveVoicesFolder(const std::filesystem::path& programFolder);

enum class VoiceNameCheck {
    Ok,        // usable as a file name inside the voices folder
    TooShort,  // fewer than 2 characters: callers refuse it without a message
    Refused,   // could name something outside the voices folder; see reason
};

// Checks a voice name typed by the user; for Refused, `reason` (if given)
// receives a sentence to show, e.g. "A voice name cannot contain '/'.".
VoiceNameCheck CheckVoiceName(std::string_view name, std::string* reason = nullptr);

// The path of voices/NAME.voc in one data folder: an existing voices folder
// and an existing file whose names differ only in letter case are used as
// found; otherwise VoicesFolder(folder) / (name + ".voc").
std::filesystem::path VoiceFilePath(const std::filesystem::path& folder, std::string_view name);

// The file Load reads for voice `name`: NAME.voc in the first of
// VoicesFolders that has it, else SaveVoicePath.
std::filesystem::path LoadVoicePath(const std::filesystem::path& programFolder,
                                    std::string_view name);

// The file Save writes for voice `name`: NAME.voc in SaveVoicesFolder.
std::filesystem::path SaveVoicePath(const std::filesystem::path& programFolder,
                                    std::string_view name);

// True when `path` is longer than VOICE_PATH_LIMIT bytes.
bool VoicePathTooLong(const std::filesystem::path& path);

}  // namespace vocalith::voice
