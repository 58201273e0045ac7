#pragma once
// Shared pieces of the vocalith-tts subcommands.
#include <filesystem>
#include <string>
#include <string_view>

namespace vocalith::cli {

// Exit statuses: 0 success, 1 failure, 2 usage error.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILURE_ = 1;
inline constexpr int EXIT_USAGE = 2;

// Prints "vocalith-tts: MESSAGE" as one line on standard error and returns `status`.
int Fail(int status, std::string_view message);

// A mistake on the command line of subcommand `command` (empty: of the
// program): "vocalith-tts: COMMAND: MESSAGE; try 'vocalith-tts COMMAND
// --help'" as one line; returns EXIT_USAGE.
int UsageError(std::string_view command, std::string_view message);

// Subcommands (rows of the table in main.cpp): each one's run function,
// argv[0] being its name, and its synopsis, the arguments after its name.
int RunTranslate(int argc, char** argv);
extern const char kTranslateSynopsis[];
int RunSay(int argc, char** argv);
extern const char kSaySynopsis[];
int RunVoice(int argc, char** argv);
extern const char kVoiceSynopsis[];

enum class VoiceUse { Read, Write };

// The voice file a NAME|FILE argument names. A value containing '/' or
// ending in ".voc" is a file, taken as given; anything else is a voice name,
// checked as the window checks it, whose file is the one the window's Load
// reads (Read: it must exist) or its Save writes (Write). Returns -1 when
// `path` is usable, else an exit status after one error line.
int ResolveVoice(const std::string& voice, VoiceUse use, std::filesystem::path& path);
int RunDevices(int argc, char** argv);
extern const char kDevicesSynopsis[];

}  // namespace vocalith::cli
