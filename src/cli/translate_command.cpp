// vocalith-tts translate [--capacity N] [--lines] [TEXT ...]
//
// Writes the phonetic string of TEXT (the arguments joined by single blanks)
// or, with no TEXT, of all of standard input, byte for byte, with nothing
// added. A NUL byte on standard input ends the text, as it ends a C string.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/user_errors.h"
#include "cli/cli_common.h"
#include "cli/command_line.h"
#include "translate/translate.h"

namespace vocalith::cli {

namespace {

const char kTranslateSynopsis[] = "[--capacity N] [--lines] [TEXT ...]";

}  // namespace

int RunTranslateOn(int argc, char** argv, std::FILE* in, std::FILE* out);

namespace {

const char kTranslateHelp[] =
    "\n"
    "Writes the phonetic string of TEXT (the arguments joined by single blanks)\n"
    "or, with no TEXT, of all of standard input to standard output, byte for\n"
    "byte, with nothing added.\n"
    "\n"
    "  --capacity N  output capacity passed to the translator: at most N - 2\n"
    "                characters are written (default: never cut)\n"
    "  --lines       translate each input line on its own and end each result\n"
    "                with a newline\n"
    "  --            end of options; what follows is TEXT\n"
    "  --help        show this help\n";

enum TranslateOption { OPTION_CAPACITY, OPTION_LINES };  // indexes into kTranslateOptions
constexpr CommandOption kTranslateOptions[] = {{"--capacity", true}, {"--lines", false}};

std::optional<int32_t> ParseCapacity(std::string_view s) {
    if (s.empty()) return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        value = value * 10 + (s[i] - '0');
        if (value > int64_t{1} << 32) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

// Output buffer reused across pieces; grown, never shrunk, never zero-filled.
class OutputBuffer {
  public:
    char* Get(int64_t size) {
        if (size > size_) {
            data_.reset(new char[static_cast<size_t>(size)]);
            size_ = size;
        }
        return data_.get();
    }

  private:
    std::unique_ptr<char[]> data_;
    int64_t size_ = 0;
};

// Translates the NUL-terminated `text` of `length` bytes and writes the result
// to `out`. Returns false when the text is too long for an uncut translation.
bool TranslateText(translate::Translator& translator, const char* text, size_t length,
                   std::optional<int32_t> capacity, OutputBuffer& buffer, std::FILE* out) {
    const int64_t bound = translate::UncutCapacity(length);
    int32_t cap;
    int64_t allocation;
    if (capacity) {
        cap = *capacity;
        // The translator writes at most capacity - 1 bytes, and never more than
        // the uncut output and its NUL, so a huge capacity needs no huge buffer.
        allocation = std::max<int64_t>(1, std::min<int64_t>(cap, bound));
    } else {
        if (bound > std::numeric_limits<int32_t>::max()) return false;
        cap = static_cast<int32_t>(bound);
        allocation = bound;
    }
    char* result = buffer.Get(allocation);
    const int32_t written = translator.TranslateText(text, result, cap);
    if (written > 0) std::fwrite(result, 1, static_cast<size_t>(written), out);
    return true;
}

std::string TooLong(size_t length) {
    return "a text of " + std::to_string(length) +
           " bytes is too long to translate uncut (at most " +
           std::to_string(translate::MAX_UNCUT_LENGTH) + " bytes per line)";
}

}  // namespace

int RunTranslateOn(int argc, char** argv, std::FILE* in, std::FILE* out) {
    std::optional<int32_t> capacity;
    bool lines = false;
    bool haveText = false;
    std::string text;
    OptionParser args(argc, argv, kTranslateOptions);
    for (ParsedArg arg; args.Next(arg);) {
        switch (arg.kind) {
            case ArgKind::Operand:
                if (haveText) text += ' ';
                text += arg.text;
                haveText = true;
                break;
            case ArgKind::Help:
                std::fputs(UsageLines("translate", kTranslateSynopsis, true).c_str(), out);
                std::fputs(kTranslateHelp, out);
                return EXIT_OK;
            case ArgKind::UnknownOption:
                return UsageError(
                    "translate", ArgumentError(arg) + " (put -- before TEXT that starts with '-')");
            case ArgKind::MissingValue:
                return UsageError("translate", ArgumentError(arg));
            case ArgKind::Option:
                if (arg.option == OPTION_LINES) {
                    lines = true;
                    break;
                }
                capacity = ParseCapacity(arg.text);
                if (!capacity) {
                    return UsageError("translate", "invalid --capacity '" + std::string(arg.text) +
                                                       "': expected an integer from -2147483648 "
                                                       "to 2147483647");
                }
                break;
        }
    }

    if (!haveText) {
        char chunk[1 << 16];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) text.append(chunk, n);
        if (std::ferror(in)) return Fail(EXIT_FAILURE_, "cannot read standard input");
    }
    // A NUL ends the text, as it would for a C string.
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);

    OutputBuffer buffer;
    // One translator for every line, so words seen on one line are known on
    // the next.
    translate::Translator translator(base::WriteUserErrors);
    if (!lines && capacity) {
        // One translation of the whole text under the given capacity.
        TranslateText(translator, text.c_str(), text.size(), capacity, buffer, out);
    } else {
        // Line by line. Without --lines this gives exactly the translation of
        // the whole text, because the translator never looks past a newline
        // and speaks each newline as itself; it keeps the buffer small.
        size_t start = 0;
        while (start < text.size() || (!lines && start == text.size())) {
            size_t end = text.find('\n', start);
            const bool last = end == std::string::npos;
            if (last) end = text.size();
            text[end] = '\0';  // std::string keeps a writable NUL at size()
            if (!TranslateText(translator, text.data() + start, end - start, capacity, buffer,
                               out)) {
                return Fail(EXIT_FAILURE_, TooLong(end - start));
            }
            if (lines || !last) std::fputc('\n', out);
            if (last) break;
            start = end + 1;
        }
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        return Fail(EXIT_FAILURE_, "cannot write to standard output");
    }
    return EXIT_OK;
}

int RunTranslate(int argc, char** argv) {
    return RunTranslateOn(argc, argv, stdin, stdout);
}

const Subcommand kTranslateCommand = {
    "translate",
    "writes the phonetic string of TEXT (or of standard input) to\n"
    "standard output, byte for byte, with nothing added.",
    kTranslateSynopsis, kTranslateOptions, RunTranslate};

}  // namespace vocalith::cli
