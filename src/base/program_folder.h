#pragma once
// The program folder and the data folders. The program folder is the
// executable's folder; a session keeps the one it uses (tests give another). Data (the voices and
// sfx folders) sits beside the program when a voices folder is there, as in the build folder or a
// portable copy; an installed program instead reads the user's data folder, then the shared one
// under PREFIX/share.
#include <filesystem>
#include <vector>

namespace vocalith::base {

// The folder of the running executable: /proc/self/exe cut at its last '/',
// or "." when that link cannot be read. Read afresh on each call.
std::filesystem::path ExecutableFolder();

// True when `programFolder` holds an entry named "voices" in any letter case
// (normally the voices folder): the program then keeps all its data beside
// itself. Any kind of entry counts, so a broken portable copy reports its
// own voices folder rather than quietly using another.
bool DataBesideProgram(const std::filesystem::path& programFolder);

// The user's home folder: $HOME, else the password database's entry for this
// user; empty when neither is known.
std::filesystem::path HomeFolder();

// The user's data folder: $XDG_DATA_HOME/vocalith when that variable holds an
// absolute path, else $HOME/.local/share/vocalith (the home folder from the
// password database when HOME is unset). Read afresh on each call.
std::filesystem::path UserDataFolder();

// The shared data folder of a program installed in PREFIX/bin:
// PREFIX/share/vocalith.
std::filesystem::path SharedDataFolder(const std::filesystem::path& programFolder);

// The folders holding the voices and sfx folders, in search order: the
// program folder alone when DataBesideProgram, else UserDataFolder() then
// SharedDataFolder(). The first one is where the program writes.
std::vector<std::filesystem::path> DataFolders(const std::filesystem::path& programFolder);

// `relative` (e.g. "sfx/arrow.wav") in the first data folder that has it;
// in the first data folder when none has it.
std::filesystem::path FindDataFile(const std::filesystem::path& programFolder,
                                   const std::filesystem::path& relative);

}  // namespace vocalith::base
