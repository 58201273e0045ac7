// vocalith-tts: translate English to phonetic strings and speak them.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "base/atomic_file.h"
#include "base/user_errors.h"
#include "base/version.h"
#include "cli/cli_common.h"
#include "cli/command_line.h"

using namespace vocalith::cli;

namespace {

// Reads the options that may come before the subcommand: --audio BACKEND
// (or --audio=BACKEND) chooses the backend of every subcommand as
// VOCALITH_AUDIO does, so a subcommand's own --audio still wins. Returns the
// index of the first other argument, or -1 after an error line.
int ReadLeadingOptions(int argc, char** argv) {
    int next = 1;
    while (next < argc) {
        const std::string_view word = argv[next];
        std::string_view value;
        if (word == "--audio") {
            if (next + 1 == argc) {
                UsageError("", "option --audio needs a value");
                return -1;
            }
            value = argv[next + 1];
            next += 2;
        } else if (word.starts_with("--audio=")) {
            value = word.substr(std::string_view("--audio=").size());
            next += 1;
        } else {
            break;
        }
        setenv("VOCALITH_AUDIO", std::string(value).c_str(), 1);
    }
    return next;
}

}  // namespace

int main(int argc, char** argv) {
    // A file size limit makes a write fail with an error the program reports
    // (and the old file is kept) instead of killing it half way.
    std::signal(SIGXFSZ, SIG_IGN);
    // An interrupted write (say --wav, a voice saved) leaves no temporary file.
    vocalith::base::RemoveTempFilesOnSignals();
    try {
        const int first = ReadLeadingOptions(argc, argv);
        if (first < 0) return EXIT_USAGE;
        if (first == argc) return UsageError("", "no command given (" + CommandNames() + ")");
        const std::string command = argv[first];
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(ProgramUsage().c_str(), stdout);
            return EXIT_OK;
        }
        if (command == "--version" && argc > first + 1) {
            return UsageError("", "--version takes no arguments, but was given '" +
                                      std::string(argv[first + 1]) + "'");
        }
        if (command == "--version") {
            std::printf("vocalith-tts %s\n", vocalith::base::kVersion);
            return EXIT_OK;
        }
        for (const Subcommand* c : Subcommands()) {
            if (command == c->name) return c->run(argc - first, argv + first);
        }
        if (command.size() > 1 && command[0] == '-') {
            return UsageError("", "unknown option '" + command + "'");
        }
        return UsageError("", "unknown command '" + command + "' (" + CommandNames() + ")");
    } catch (const std::exception& e) {
        return Fail(EXIT_FAILURE_, e.what());
    }
}
