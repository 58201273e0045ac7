// vocalith-tts: translate English to phonetic strings and speak them.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "base/atomic_file.h"
#include "base/user_errors.h"
#include "base/version.h"
#include "cli/cli_common.h"
#include "cli/command_line.h"

namespace {

using namespace vocalith::cli;

struct Subcommand {
    std::string_view name;
    std::string_view summary;  // for --help; may run over several lines
    const char* synopsis;      // the arguments after the name, as its own --help shows them
    int (*run)(int argc, char** argv);  // argv[0] is the name
};

// The subcommands, in the order --help lists them. To add one, write its run
// function and synopsis in a file of its own, declare them in cli_common.h
// and add its row here.
const Subcommand kSubcommands[] = {
    {"translate",
     "writes the phonetic string of TEXT (or of standard input) to\n"
     "standard output, byte for byte, with nothing added.",
     kTranslateSynopsis, RunTranslate},
    {"say", "speaks TEXT with the voice Voxa, or renders it to a WAV file.", kSaySynopsis, RunSay},
    {"voice",
     "shows a voice's clips, writes them as WAV files, builds a voice\n"
     "from WAV files or replaces one clip.",
     kVoiceSynopsis, RunVoice},
    {"devices", "lists the input and output devices.", kDevicesSynopsis, RunDevices},
};

// The usage lines of every subcommand, then each name with its summary.
std::string ProgramUsage() {
    std::string text;
    size_t width = 0;
    for (const Subcommand& c : kSubcommands) {
        text += UsageLines(c.name, c.synopsis, text.empty());
        width = std::max(width, c.name.size() + 2);
    }
    text += "       vocalith-tts --help | --version | COMMAND --help\n\n";
    for (const Subcommand& c : kSubcommands) {
        text += std::string(c.name) + std::string(width - c.name.size(), ' ');
        for (const char ch : c.summary) {
            text += ch;
            if (ch == '\n') text += std::string(width, ' ');
        }
        text += '\n';
    }
    return text;
}

// "translate, say, voice or devices".
std::string CommandNames() {
    std::string names;
    for (size_t i = 0; i < std::size(kSubcommands); ++i) {
        if (i > 0) names += i + 1 == std::size(kSubcommands) ? " or " : ", ";
        names += kSubcommands[i].name;
    }
    return names;
}

}  // namespace

int main(int argc, char** argv) {
    // A file size limit makes a write fail with an error the program reports
    // (and the old file is kept) instead of killing it half way.
    std::signal(SIGXFSZ, SIG_IGN);
    // An interrupted write (say --wav, a voice saved) leaves no temporary file.
    vocalith::base::RemoveTempFilesOnSignals();
    try {
        if (argc < 2) return UsageError("", "no command given (" + CommandNames() + ")");
        const std::string command = argv[1];
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(ProgramUsage().c_str(), stdout);
            return EXIT_OK;
        }
        if (command == "--version" && argc > 2) {
            return UsageError(
                "", "--version takes no arguments, but was given '" + std::string(argv[2]) + "'");
        }
        if (command == "--version") {
            std::printf("vocalith-tts %s\n", vocalith::base::kVersion);
            return EXIT_OK;
        }
        for (const Subcommand& c : kSubcommands) {
            if (command == c.name) return c.run(argc - 1, argv + 1);
        }
        if (command.size() > 1 && command[0] == '-') {
            return UsageError("", "unknown option '" + command + "'");
        }
        return UsageError("", "unknown command '" + command + "' (" + CommandNames() + ")");
    } catch (const std::exception& e) {
        return Fail(EXIT_FAILURE_, e.what());
    }
}
