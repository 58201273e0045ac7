#pragma once
// Failure texts short enough for the one-line status field: a file is named
// by its folder and its own name, and the system's wording of common errors
// is shortened. The full reason goes to the status field's tooltip.
#include <filesystem>
#include <string>

namespace vocalith::app {

// "voices/Name.voc" for /any/where/voices/Name.voc.
std::string ShownFileName(const std::filesystem::path& path);

// The last clause of `reason` without the file's path, in a few words:
// "cannot open /x/voices/A.voc: No such file or directory" gives
// "no such file".
std::string ShortReason(const std::string& reason, const std::filesystem::path& path);

}  // namespace vocalith::app
