// vocalith-tts: translate English to phonetic strings and speak them.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "base/version.h"
#include "cli/cli_common.h"

namespace vocalith::cli {

int Fail(int status, std::string_view message) {
    std::cerr << "vocalith-tts: " << message << '\n';
    return status;
}

}  // namespace vocalith::cli

namespace {

const char kUsage[] =
    "usage: vocalith-tts translate [--capacity N] [--lines] [TEXT ...]\n"
    "       vocalith-tts say [--voice NAME|FILE] [--wav OUT.wav] [--phonetic]\n"
    "                        [--audio BACKEND] [TEXT ...]\n"
    "       vocalith-tts --help | --version | COMMAND --help\n"
    "\n"
    "translate  writes the phonetic string of TEXT (or of standard input) to\n"
    "           standard output, byte for byte, with nothing added.\n"
    "say        speaks TEXT with the voice Voxa, or renders it to a WAV file.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace vocalith::cli;
    try {
        if (argc < 2) {
            std::fputs(kUsage, stderr);
            return EXIT_USAGE;
        }
        const std::string command = argv[1];
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(kUsage, stdout);
            return EXIT_OK;
        }
        if (command == "--version") {
            std::printf("vocalith-tts %s\n", vocalith::base::kVersion);
            return EXIT_OK;
        }
        if (command == "translate") return RunTranslate(argc - 1, argv + 1);
        if (command == "say") return RunSay(argc - 1, argv + 1);
        return Fail(EXIT_USAGE, "unknown command '" + command + "' (try --help)");
    } catch (const std::exception& e) {
        return Fail(EXIT_FAILURE_, e.what());
    }
}
