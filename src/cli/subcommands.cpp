// The table of vocalith-tts's subcommands and what the program shares
// between them.
#include <algorithm>
#include <iostream>
#include <string>

#include "cli/cli_common.h"
#include "cli/command_line.h"

namespace vocalith::cli {

namespace {

// To add a subcommand, write it in a file of its own with its row (a
// Subcommand), declare the row in cli_common.h and list it here; then name it
// in the bash completion and the manual page, which a test holds to this
// table.
const Subcommand* const kSubcommands[] = {&kTranslateCommand, &kSayCommand, &kVoiceCommand,
                                          &kDevicesCommand};

}  // namespace

std::span<const Subcommand* const> Subcommands() {
    return kSubcommands;
}

int Fail(int status, std::string_view message) {
    std::cerr << "vocalith-tts: " << message << '\n';
    return status;
}

std::string ProgramUsage() {
    std::string text;
    size_t width = 0;
    for (const Subcommand* c : kSubcommands) {
        text += UsageLines(c->name, c->synopsis, text.empty());
        width = std::max(width, c->name.size() + 2);
    }
    text += "       vocalith-tts --help | --version | COMMAND --help\n\n";
    for (const Subcommand* c : kSubcommands) {
        text += std::string(c->name) + std::string(width - c->name.size(), ' ');
        for (const char ch : c->summary) {
            text += ch;
            if (ch == '\n') text += std::string(width, ' ');
        }
        text += '\n';
    }
    return text;
}

}  // namespace vocalith::cli
