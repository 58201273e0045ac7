#include "speechd/module_protocol.h"

#include <algorithm>
#include <array>

namespace vocalith::speechd {

namespace {

struct CommandName {
    std::string_view name;
    Command command;
    const char* opening;  // the answer that opens a block, or null
};

constexpr std::array kCommands{
    CommandName{"INIT", Command::Init, nullptr},
    CommandName{"AUDIO", Command::Audio, "207 OK RECEIVING AUDIO SETTINGS"},
    CommandName{"LOGLEVEL", Command::LogLevel, "207 OK RECEIVING LOGLEVEL SETTINGS"},
    CommandName{"SET", Command::Set, "203 OK RECEIVING SETTINGS"},
    CommandName{"SPEAK", Command::Speak, "202 OK RECEIVING MESSAGE"},
    CommandName{"CHAR", Command::Char, "202 OK RECEIVING MESSAGE"},
    CommandName{"KEY", Command::Key, "202 OK RECEIVING MESSAGE"},
    CommandName{"SOUND_ICON", Command::SoundIcon, "202 OK RECEIVING MESSAGE"},
    CommandName{"STOP", Command::Stop, nullptr},
    CommandName{"PAUSE", Command::Pause, nullptr},
    CommandName{"LIST VOICES", Command::ListVoices, nullptr},
    CommandName{"QUIT", Command::Quit, nullptr},
};

bool IsSettingsBlock(Command c) {
    return c == Command::Set || c == Command::Audio || c == Command::LogLevel;
}

}  // namespace

bool ModuleProtocol::Line(std::string_view line, std::string& reply, Request& request) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (inBlock_) {
        if (line == ".") {
            inBlock_ = false;
            request = std::move(pending_);
            pending_ = Request{};
            return true;
        }
        if (IsSettingsBlock(pending_.command)) {
            const size_t eq = line.find('=');
            if (eq != std::string_view::npos && pending_.settings.size() < SETTINGS_LIMIT &&
                line.size() <= MESSAGE_LIMIT - blockBytes_) {
                blockBytes_ += line.size();
                pending_.settings.emplace_back(line.substr(0, eq), line.substr(eq + 1));
            }
            return false;
        }
        if (line == "..") line = ".";
        std::string& text = pending_.text;
        if (blockLines_++ > 0) text += '\n';
        text.append(line.substr(0, MESSAGE_LIMIT - std::min(MESSAGE_LIMIT, text.size())));
        if (text.size() > MESSAGE_LIMIT) text.resize(MESSAGE_LIMIT);
        return false;
    }
    for (const CommandName& c : kCommands) {
        if (line != c.name) continue;
        if (c.opening != nullptr) {
            inBlock_ = true;
            blockLines_ = 0;
            blockBytes_ = 0;
            pending_ = Request{};
            pending_.command = c.command;
            reply += c.opening;
            reply += '\n';
            return false;
        }
        request = Request{};
        request.command = c.command;
        return true;
    }
    request = Request{};
    if (line.substr(0, 6) == "DEBUG " || line == "DEBUG") {
        request.command = Command::Debug;
        request.text = line.substr(std::min<size_t>(6, line.size()));
        return true;
    }
    request.command = Command::Unknown;
    request.text = line.substr(0, MESSAGE_LIMIT);
    return true;
}

void LineSplitter::Append(std::string_view bytes) {
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    buffer_.append(bytes);
}

bool LineSplitter::Next(std::string& line) {
    for (;;) {
        const size_t end = buffer_.find('\n', start_);
        if (end == std::string::npos) {
            if (buffer_.size() - start_ > MESSAGE_LIMIT) {
                // An overlong line: keep its first MESSAGE_LIMIT bytes as the
                // line and drop the rest up to its LF.
                if (!dropping_) {
                    line.assign(buffer_, start_, MESSAGE_LIMIT);
                    dropping_ = true;
                    buffer_.clear();
                    start_ = 0;
                    return true;
                }
                buffer_.clear();
                start_ = 0;
            }
            if (start_ > 0) {
                buffer_.erase(0, start_);
                start_ = 0;
            }
            return false;
        }
        const size_t begin = start_;
        start_ = end + 1;
        if (dropping_) {
            dropping_ = false;
            continue;
        }
        line.assign(buffer_, begin, end - begin);
        return true;
    }
}

}  // namespace vocalith::speechd
