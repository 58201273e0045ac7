#pragma once
// Shared pieces of the vocalith-tts subcommands.
#include <string_view>

namespace vocalith::cli {

// Exit statuses: 0 success, 1 failure, 2 usage error.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILURE_ = 1;
inline constexpr int EXIT_USAGE = 2;

// Prints "vocalith-tts: MESSAGE" as one line on standard error and returns `status`.
int Fail(int status, std::string_view message);

// Subcommands (rows of the table in main.cpp): each one's run function,
// argv[0] being its name, and its synopsis, the arguments after its name.
int RunTranslate(int argc, char** argv);
extern const char kTranslateSynopsis[];
int RunSay(int argc, char** argv);
extern const char kSaySynopsis[];

}  // namespace vocalith::cli
