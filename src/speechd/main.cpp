// sd_vocalith: the speech-dispatcher output module. speech-dispatcher starts
// it as `sd_vocalith CONFIGFILE` and talks to it over standard input and
// output (module_protocol.h); diagnostics go to standard error, which the
// server writes to the module's log. No configuration is needed, so the
// file is not read.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/program_folder.h"
#include "speechd/module_input.h"
#include "speechd/module_session.h"

namespace {

using vocalith::speechd::Command;
using vocalith::speechd::ModuleInput;
using vocalith::speechd::ModuleSession;

void WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) std::_Exit(1);  // the server is gone
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

// The program folder whose data the module reads: installed as
// PREFIX/lib/speech-dispatcher-modules/sd_vocalith, it reads the data of
// the programs in PREFIX/bin; in the build folder, the voices beside it.
std::filesystem::path ModuleProgramFolder() {
    const std::filesystem::path here = vocalith::base::ExecutableFolder();
    if (vocalith::base::DataBesideProgram(here)) return here;
    return here.parent_path().parent_path() / "bin";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(
            "usage: sd_vocalith [CONFIGFILE]\n"
            "\n"
            "The speech-dispatcher output module of Vocalith: speech-dispatcher starts\n"
            "it and speaks through it (spd-say -o vocalith \"Hello.\"). It reads the\n"
            "protocol of speech-dispatcher's output modules on standard input.\n",
            stdout);
        return 0;
    }
    signal(SIGPIPE, SIG_IGN);
    ModuleInput input(STDIN_FILENO);
    ModuleSession session(ModuleProgramFolder(), WriteAll, [&input](int waitMs) {
        if (const Command c = input.TakeStop(); c != Command::Unknown) return c;
        input.Read(waitMs);
        return input.TakeStop();
    });
    RunModule(input, session, WriteAll);
    return 0;
}
