// The subcommands' option parser and usage lines.
#include "cli/command_line.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <iostream>
#include <string>

#include "cli/cli_common.h"

namespace vocalith::cli {

bool OptionParser::Next(ParsedArg& arg) {
    while (next_ < argc_) {
        const std::string_view word = argv_[next_++];
        arg = ParsedArg{};
        if (optionsEnded_ || word.size() < 2 || word[0] != '-') {
            arg.text = word;
            return true;
        }
        if (word == "--") {
            optionsEnded_ = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            arg.kind = ArgKind::Help;
            return true;
        }
        const size_t eq = word.find('=');
        const std::string_view key = word.substr(0, eq);
        arg.kind = ArgKind::UnknownOption;
        arg.text = word;
        for (size_t i = 0; i < options_.size(); ++i) {
            if (options_[i].name != key) continue;
            if (!options_[i].takesValue) {
                if (eq == std::string_view::npos) arg = {ArgKind::Option, static_cast<int>(i), {}};
            } else if (eq != std::string_view::npos) {
                arg = {ArgKind::Option, static_cast<int>(i), word.substr(eq + 1)};
            } else if (next_ < argc_) {
                // The next argument is the value, even when it starts with '-'.
                arg = {ArgKind::Option, static_cast<int>(i), argv_[next_++]};
            } else {
                arg = {ArgKind::MissingValue, static_cast<int>(i), options_[i].name};
            }
            break;
        }
        return true;
    }
    return false;
}

namespace {

// `text` without its sign; false when what follows a sign is not a digit or
// a point (so "+-5" and "-+5" are refused).
bool Unsigned(std::string_view& text, bool& negative) {
    negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    return !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.');
}

}  // namespace

bool ParseLevel(std::string_view text, int32_t min, int32_t max, int32_t& value) {
    bool negative = false;
    if (!Unsigned(text, negative)) return false;
    uint32_t v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    const int64_t signedValue = negative ? -int64_t{v} : int64_t{v};
    if (signedValue < min || signedValue > max) return false;
    value = static_cast<int32_t>(signedValue);
    return true;
}

bool ParseDecibels(std::string_view text, double max, double& value) {
    bool negative = false;
    if (!Unsigned(text, negative)) return false;
    double v = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return false;
    if (negative) v = -v;
    if (v > max) return false;
    value = v;
    return true;
}

std::string UsageLines(std::string_view name, std::string_view synopsis, bool first) {
    const std::string lead = std::string(first ? "usage: " : "       ") + "vocalith-tts ";
    const std::string indent(lead.size() + name.size() + 1, ' ');
    std::string text = lead + std::string(name) + ' ';
    for (const char c : synopsis) {
        text += c;
        if (c == '\n') text += indent;
    }
    return text + '\n';
}

std::string ArgumentError(const ParsedArg& arg) {
    const std::string text(arg.text);
    if (arg.kind == ArgKind::MissingValue) return "option " + text + " needs a value";
    return "unknown option '" + text + "'";
}

int Fail(int status, std::string_view message) {
    std::cerr << "vocalith-tts: " << message << '\n';
    return status;
}

int UsageError(std::string_view command, std::string_view message) {
    const std::string lead = command.empty() ? std::string() : std::string(command) + ": ";
    const std::string help = command.empty() ? std::string() : std::string(command) + " ";
    return Fail(EXIT_USAGE,
                lead + std::string(message) + "; try 'vocalith-tts " + help + "--help'");
}

}  // namespace vocalith::cli
