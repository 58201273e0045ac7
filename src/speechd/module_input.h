#pragma once
// The module's standard input as the server writes it: bytes read as they
// come, framed into requests (module_protocol.h), and the loop that hands
// them to a session. A STOP or PAUSE can be taken out of turn while a
// message is spoken. The end of input (the server is gone) counts as a STOP
// of whatever is spoken, then a QUIT: the module ends rather than wait on an
// input that will never come.
#include <deque>
#include <string>

#include "speechd/module_protocol.h"
#include "speechd/module_session.h"

namespace vocalith::speechd {

class ModuleInput {
  public:
    explicit ModuleInput(int fd) : fd_(fd) {}

    // What arrived, in order: the answer that opens a block (sent when its
    // turn comes, so answers never overtake each other) or a completed
    // request.
    struct Item {
        std::string reply;
        bool complete = false;
        Request request;
    };

    // Reads what is there, waiting up to `timeoutMs` (-1: until something
    // comes or the input ends); false once the input has ended.
    bool Read(int timeoutMs);
    bool Ended() const { return ended_; }

    // Takes a STOP or PAUSE that has arrived and answers which; other
    // requests wait their turn. After the end of input: Stop.
    Command TakeStop();

    std::deque<Item>& Items() { return items_; }

  private:
    int fd_;
    bool ended_ = false;
    LineSplitter lines_;
    ModuleProtocol protocol_;
    std::deque<Item> items_;
};

// Answers the requests read from `fd` with `session` (whose stop check should
// be input.TakeStop after a Read) until QUIT or the end of input; `send`
// writes the opening answers of blocks.
void RunModule(ModuleInput& input, ModuleSession& session, const ModuleSession::Send& send);

}  // namespace vocalith::speechd
