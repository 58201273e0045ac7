// vocalith-tts: translate English to phonetic strings and speak them.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "base/user_errors.h"
#include "base/version.h"
#include "cli/cli_common.h"
#include "cli/command_line.h"

using namespace vocalith::cli;

int main(int argc, char** argv) {
    // A file size limit makes a write fail with an error the program reports
    // (and the old file is kept) instead of killing it half way.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        if (argc < 2) {
            std::fputs(ProgramUsage().c_str(), vocalith::base::UserErrors());
            return EXIT_USAGE;
        }
        const std::string command = argv[1];
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(ProgramUsage().c_str(), stdout);
            return EXIT_OK;
        }
        if (command == "--version") {
            std::printf("vocalith-tts %s\n", vocalith::base::kVersion);
            return EXIT_OK;
        }
        for (const Subcommand* c : Subcommands()) {
            if (command == c->name) return c->run(argc - 1, argv + 1);
        }
        return Fail(EXIT_USAGE, "unknown command '" + command + "' (try --help)");
    } catch (const std::exception& e) {
        return Fail(EXIT_FAILURE_, e.what());
    }
}
