// sd_vocalith: the speech-dispatcher output module. speech-dispatcher starts
// it as `sd_vocalith CONFIGFILE` and talks to it over standard input and
// output (module_protocol.h); diagnostics go to standard error, which the
// server writes to the module's log. No configuration is needed, so the
// file is not read.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/program_folder.h"
#include "speechd/module_protocol.h"
#include "speechd/module_session.h"

namespace {

using vocalith::speechd::Command;
using vocalith::speechd::LineSplitter;
using vocalith::speechd::ModuleProtocol;
using vocalith::speechd::ModuleSession;
using vocalith::speechd::Request;

void WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) std::_Exit(1);  // the server is gone
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

// What arrived on standard input, in order: the answer that opens a block
// (sent when its turn comes, so answers never overtake each other) or a
// completed request.
struct Item {
    std::string reply;
    bool complete = false;
    Request request;
};

class Input {
  public:
    // Reads what is there, waiting up to `timeoutMs` (-1: until something
    // comes); false at end of input.
    bool Read(int timeoutMs) {
        pollfd fd{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&fd, 1, timeoutMs);
        if (ready <= 0) return ready == 0 || errno == EINTR;
        char buffer[65536];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0) return errno == EINTR || errno == EAGAIN;
        if (n == 0) return false;
        lines_.Append({buffer, static_cast<size_t>(n)});
        std::string line;
        while (lines_.Next(line)) {
            Item item;
            item.complete = protocol_.Line(line, item.reply, item.request);
            if (item.complete || !item.reply.empty()) items_.push_back(std::move(item));
        }
        return true;
    }

    // Takes a STOP or PAUSE that has arrived (while a message is spoken) and
    // answers which; other requests wait their turn.
    Command TakeStop() {
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            const Command c = it->request.command;
            if (it->complete && (c == Command::Stop || c == Command::Pause)) {
                items_.erase(it);
                return c;
            }
        }
        return Command::Unknown;
    }

    std::deque<Item>& Items() { return items_; }

  private:
    LineSplitter lines_;
    ModuleProtocol protocol_;
    std::deque<Item> items_;
};

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
    Input input;
    ModuleSession session(ModuleProgramFolder(), WriteAll, [&input](int waitMs) {
        if (const Command c = input.TakeStop(); c != Command::Unknown) return c;
        input.Read(waitMs);
        return input.TakeStop();
    });
    for (;;) {
        while (!input.Items().empty()) {
            const Item item = std::move(input.Items().front());
            input.Items().pop_front();
            if (!item.reply.empty()) WriteAll(item.reply);
            if (item.complete && !session.Handle(item.request)) return 0;
        }
        if (!input.Read(-1)) return 0;
    }
}
