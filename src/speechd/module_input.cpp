#include "speechd/module_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace vocalith::speechd {

bool ModuleInput::Read(int timeoutMs) {
    if (ended_) return false;
    pollfd fd{fd_, POLLIN, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready < 0) return errno == EINTR;
    if (ready == 0) return true;
    char buffer[65536];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) {
        // Closed, or an error that will not go away: either way nothing more
        // will come, and polling again would answer at once, forever.
        ended_ = true;
        return false;
    }
    lines_.Append({buffer, static_cast<size_t>(n)});
    std::string line;
    while (lines_.Next(line)) {
        Item item;
        item.complete = protocol_.Line(line, item.reply, item.request);
        if (item.complete || !item.reply.empty()) items_.push_back(std::move(item));
    }
    return true;
}

Command ModuleInput::TakeStop() {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        const Command c = it->request.command;
        if (it->complete && (c == Command::Stop || c == Command::Pause)) {
            items_.erase(it);
            return c;
        }
    }
    return ended_ ? Command::Stop : Command::Unknown;
}

void RunModule(ModuleInput& input, ModuleSession& session, const ModuleSession::Send& send) {
    for (;;) {
        while (!input.Items().empty()) {
            const ModuleInput::Item item = std::move(input.Items().front());
            input.Items().pop_front();
            if (!item.reply.empty()) send(item.reply);
            if (item.complete && !session.Handle(item.request)) return;
        }
        if (!input.Read(-1)) {
            // What arrived before the end has been answered; a message
            // spoken then has been stopped. Nothing is left but to quit.
            Request quit;
            quit.command = Command::Quit;
            session.Handle(quit);
            return;
        }
    }
}

}  // namespace vocalith::speechd
