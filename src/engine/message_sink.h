#pragma once
// Where the sound window sends the few messages it shows the user (a text and
// a caption with a single OK button). The window never waits on it for long;
// tests pass a recorder, the program a box of its own.
#include <string_view>

namespace vocalith::engine {

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
};

// Writes "caption: text" as one line to the standard error stream.
class StderrMessageSink final : public MessageSink {
  public:
    void ShowMessage(std::string_view text, std::string_view caption) override;
};

}  // namespace vocalith::engine
