#pragma once
// The framing of speech-dispatcher's output-module protocol: lines from the
// server (LF-terminated) become requests. A command line either stands alone
// (INIT, LIST VOICES, STOP, PAUSE, QUIT, ...) or opens a block of lines that
// a line holding a single '.' closes: the text of SPEAK, CHAR, KEY and
// SOUND_ICON, or the name=value lines of SET, AUDIO and LOGLEVEL. A text line
// holding ".." stands for a line holding "." (the server doubles it).
//
// The framing answers the opening of a block itself ("202 OK RECEIVING
// MESSAGE" and the like); the answer to a completed request is the
// session's (module_session.h), as it depends on what the module makes of it.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vocalith::speechd {

enum class Command {
    Init,
    Audio,      // settings: how audio reaches the speakers
    LogLevel,   // settings: log_level
    Set,        // settings: speech parameters
    Speak,      // text: SSML
    Char,       // text: one character
    Key,        // text: a key name
    SoundIcon,  // text: an icon name
    Stop,
    Pause,
    ListVoices,
    Debug,  // the rest of the line in text
    Quit,
    Unknown,  // the whole line in text
};

struct Request {
    Command command = Command::Unknown;
    std::string text;  // the block's lines joined by '\n' (no final '\n')
    std::vector<std::pair<std::string, std::string>> settings;  // name=value lines, in order
};

// A message is cut at this many bytes; the rest of its block is read and
// dropped, so a runaway sender cannot exhaust the module's memory. A block of
// settings keeps at most SETTINGS_LIMIT name=value lines and MESSAGE_LIMIT
// bytes of them in all (the server sends a few dozen); the rest is dropped
// the same way.
inline constexpr size_t MESSAGE_LIMIT = 8 << 20;
inline constexpr size_t SETTINGS_LIMIT = 1024;

class ModuleProtocol {
  public:
    // Takes one line without its LF (a CR before it is dropped). Appends to
    // `reply` what must be answered at once; returns true when `request`
    // holds a completed request.
    bool Line(std::string_view line, std::string& reply, Request& request);

    // True while the lines of a block are being read.
    bool InBlock() const { return inBlock_; }

  private:
    bool inBlock_ = false;
    size_t blockLines_ = 0;  // text lines of the open block so far
    size_t blockBytes_ = 0;  // bytes of the settings kept so far
    Request pending_;
};

// Splits a stream of bytes into lines: Append the bytes as they arrive, then
// take lines with Next until it answers false. A line longer than
// MESSAGE_LIMIT is cut there; its rest is dropped.
class LineSplitter {
  public:
    void Append(std::string_view bytes);
    bool Next(std::string& line);

  private:
    std::string buffer_;
    size_t start_ = 0;
    bool dropping_ = false;  // inside the dropped rest of an overlong line
};

}  // namespace vocalith::speechd
