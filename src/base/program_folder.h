#pragma once
// The program folder: where the voices and sfx folders are looked for. By
// default the folder of the running executable; tests and tools set another.
#include <filesystem>

namespace vocalith::base {

// The folder of the running executable: /proc/self/exe cut at its last '/',
// or "." when that link cannot be read. Read afresh on each call.
std::filesystem::path ExecutableFolder();

// ExecutableFolder(), computed once; SetProgramFolder replaces it.
std::filesystem::path ProgramFolder();
void SetProgramFolder(const std::filesystem::path& folder);

}  // namespace vocalith::base
