// The table of vocalith-tts's subcommands and the program's usage built
// from it.
#include <algorithm>
#include <iterator>
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

std::string ProgramUsage() {
    std::string text;
    size_t width = 0;
    for (const Subcommand* c : kSubcommands) {
        text += UsageLines(c->name, c->synopsis, text.empty());
        width = std::max(width, c->name.size() + 2);
    }
    text +=
        "       vocalith-tts --help | --version | COMMAND --help\n"
        "--audio BACKEND may also come before COMMAND, for every command.\n\n";
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

std::string CommandNames() {
    std::string names;
    for (size_t i = 0; i < std::size(kSubcommands); ++i) {
        if (i > 0) names += i + 1 == std::size(kSubcommands) ? " or " : ", ";
        names += kSubcommands[i]->name;
    }
    return names;
}

}  // namespace vocalith::cli
