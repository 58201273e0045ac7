#pragma once
// The command line shared by the vocalith-tts subcommands: the one-line
// error reports (cli_common.h), one option parser
// (options with and without a value, "--opt=VALUE" and "--opt VALUE", "--"
// ending the options, --help and -h) and the usage lines the subcommands and
// the program's --help print.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vocalith::cli {

// One option a subcommand accepts.
struct CommandOption {
    std::string_view name;  // "--capacity"
    bool takesValue;
};

// The options that choose a sound device: an index or a part of a name.
inline constexpr CommandOption kInputDeviceOption{"--input-device", true};
inline constexpr CommandOption kOutputDeviceOption{"--output-device", true};

// What an argument turned out to be.
enum class ArgKind {
    Operand,        // TEXT: no option, a lone "-", or anything after "--"
    Option,         // one of the subcommand's options
    Help,           // --help or -h
    UnknownOption,  // not one of the options, or a value given to one that takes none
    MissingValue,   // an option that takes a value came last, without one
};

struct ParsedArg {
    ArgKind kind = ArgKind::Operand;
    int option = -1;        // Option, MissingValue: index into the option list
    std::string_view text;  // Operand: the word; Option: its value; UnknownOption:
                            // the whole argument; MissingValue: the option's name
};

// Reads a subcommand's arguments in order, one at a time, so that the first
// problem on the line is the one reported.
class OptionParser {
  public:
    // argv[0] is the subcommand's name; `options` outlives the parser.
    OptionParser(int argc, char** argv, std::span<const CommandOption> options)
        : argc_(argc), argv_(argv), options_(options) {}

    // The next argument; false once every argument is read.
    bool Next(ParsedArg& arg);

  private:
    int argc_;
    char** argv_;
    std::span<const CommandOption> options_;
    int next_ = 1;
    bool optionsEnded_ = false;
};

// "usage: vocalith-tts NAME SYNOPSIS\n" (`first`) or the same line under it
// ("       vocalith-tts ..."); a synopsis of several lines continues under
// its first word after NAME.
std::string UsageLines(std::string_view name, std::string_view synopsis, bool first);

// A whole number from `min` to `max` in plain decimal, a sign allowed
// ("5", "-20", "+7"); false for anything else (" 5", "5 ", "0x10", "+-5",
// "1e1", "").
bool ParseLevel(std::string_view text, int32_t min, int32_t max, int32_t& value);

// A decimal number up to `max` written as ParseLevel takes it, with an
// optional fraction ("-6", "+2.5", ".5"); false for anything else (blanks,
// hexadecimal, exponents, infinities, NaN).
bool ParseDecibels(std::string_view text, double max, double& value);

// The mistake an UnknownOption or a MissingValue is: "unknown option '-x'",
// "option --voice needs a value".
std::string ArgumentError(const ParsedArg& arg);

}  // namespace vocalith::cli
