// vocalith-tts: translate English to phonetic strings and speak them.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "base/atomic_file.h"
#include "base/user_errors.h"
#include "base/version.h"
#include "cli/cli_common.h"
#include "cli/command_line.h"

using namespace vocalith::cli;

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
        for (const Subcommand* c : Subcommands()) {
            if (command == c->name) return c->run(argc - 1, argv + 1);
        }
        if (command.size() > 1 && command[0] == '-') {
            return UsageError("", "unknown option '" + command + "'");
        }
        return UsageError("", "unknown command '" + command + "' (" + CommandNames() + ")");
    } catch (const std::exception& e) {
        return Fail(EXIT_FAILURE_, e.what());
    }
}
