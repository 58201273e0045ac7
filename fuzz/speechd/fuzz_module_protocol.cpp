// The module's input from speech-dispatcher: bytes split into lines, framed
// into requests, and each message's text through the SSML reader and the
// text preparation, as the module would take them. The audio escaping must
// give back what it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "speechd/audio_event.h"
#include "speechd/module_protocol.h"
#include "speechd/speech_text.h"
#include "speechd/ssml_text.h"

using namespace vocalith::speechd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first byte picks the text settings, so every mode is reached.
    const uint8_t pick = size > 0 ? data[0] : 0;
    TextSettings settings;
    settings.punctuation = static_cast<PunctuationMode>(pick & 3);
    settings.someMarks = DEFAULT_SOME_MARKS;
    settings.mostMarks = DEFAULT_MOST_MARKS;
    settings.spelling = (pick & 4) != 0;
    settings.capitals = (pick & 8) != 0;

    LineSplitter lines;
    ModuleProtocol protocol;
    // Split the bytes into two arrivals to exercise lines cut between reads.
    const size_t cut = size / 2;
    for (std::string_view part : {bytes.substr(0, cut), bytes.substr(cut)}) {
        lines.Append(part);
        std::string line;
        while (lines.Next(line)) {
            std::string reply;
            Request request;
            if (!protocol.Line(line, reply, request)) continue;
            switch (request.command) {
                case Command::Speak: {
                    const SpokenText spoken = ParseSsml(request.text);
                    size_t from = 0;
                    for (const IndexMark& mark : spoken.marks) {
                        if (mark.offset < from || mark.offset > spoken.text.size()) std::abort();
                        from = mark.offset;
                    }
                    const std::string english = SpeechText(spoken.text, settings);
                    if (english.find('\0') != std::string::npos) std::abort();
                    break;
                }
                case Command::Char:
                    CharText(request.text, settings);
                    break;
                case Command::Key:
                    KeyText(request.text, settings);
                    break;
                default:
                    break;
            }
        }
    }
    if (UnescapeAudioBytes(EscapeAudioBytes(bytes)) != bytes) std::abort();
    if (EscapeAudioBytes(bytes).find('\n') != std::string::npos) std::abort();
    return 0;
}
