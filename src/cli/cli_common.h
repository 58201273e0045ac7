#pragma once
// Shared pieces of the vocalith-tts subcommands.
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "cli/command_line.h"

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

// A subcommand: a row of the program's table (Subcommands()).
struct Subcommand {
    std::string_view name;
    std::string_view summary;  // for the program's --help; may run over several lines
    const char* synopsis;      // the arguments after the name, as its own --help shows them
    std::span<const CommandOption> options;  // besides --help and -h
    int (*run)(int argc, char** argv);       // argv[0] is the name
};

// Each subcommand's row, defined in the subcommand's own file.
extern const Subcommand kTranslateCommand;
extern const Subcommand kSayCommand;
extern const Subcommand kVoiceCommand;
extern const Subcommand kDevicesCommand;

// The subcommands, in the order the program's --help lists them. The bash
// completion and the manual page list the same names, options and backends
// (tests/cli checks them against this table).
std::span<const Subcommand* const> Subcommands();

// "usage: ..." for every subcommand, then each name with its summary.
std::string ProgramUsage();

// "translate, say, voice or devices".
std::string CommandNames();

enum class VoiceUse { Read, Write };

// The voice file a NAME|FILE argument names. A value containing '/' or
// ending in ".voc" is a file, taken as given; anything else is a voice name,
// checked as the window checks it, whose file is the one the window's Load
// reads (Read: it must exist) or its Save writes (Write). Returns -1 when
// `path` is usable, else an exit status after one error line.
int ResolveVoice(const std::string& voice, VoiceUse use, std::filesystem::path& path);

}  // namespace vocalith::cli
