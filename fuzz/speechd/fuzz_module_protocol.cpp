// The module's input from speech-dispatcher: bytes split into lines, framed
// into requests, and each message's text through the SSML reader (entities,
// attributes, breaks, say-as, prosody) and the text preparation, as the
// module would take them. The audio escaping must give back what it was
// given. The same bytes name a voice file in a voices folder: LIST VOICES
// must still answer with whole lines of its own.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "speechd/audio_event.h"
#include "speechd/module_protocol.h"
#include "speechd/module_session.h"
#include "speechd/speech_text.h"
#include "speechd/ssml_text.h"
#include "voice/phon_table.h"
#include "voice/voice_file.h"

using namespace vocalith::speechd;

namespace {

// A good voice file named by the bytes (up to the first '/' or NUL, as a
// file name can hold no more), beside a broken Voxa; the reply to LIST VOICES must
// be one line per voice, each "200-" and a name with no control character,
// then the final line.
void ListVoicesNamedBy(std::string_view bytes) {
    // A folder of this process's own, removed when it ends.
    struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("vocalith-fuzz-voices-" + std::to_string(::getpid()));
        Folder() {
            std::filesystem::create_directories(path / "voices");
            std::ofstream(path / "voices" / "Voxa.voc") << "not a voice";
        }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder voices;
    const std::filesystem::path& folder = voices.path;
    std::string name(
        bytes.substr(0, std::min(bytes.find_first_of(std::string_view("/\0", 2)), size_t{200})));
    if (name.empty() || name == "." || name == "..") return;
    const auto file = folder / "voices" / (name + ".voc");
    std::error_code ec;
    static const std::vector<uint8_t> voice = [] {
        auto table = std::make_unique<vocalith::voice::PhonTable>();
        for (auto& slot : table->slots) slot.count = 1;
        return vocalith::voice::EncodeVoice(*table);
    }();
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(voice.data()),
               static_cast<std::streamsize>(voice.size()));
    std::string reply;
    ModuleSession session(
        folder, [&reply](std::string_view b) { reply += b; }, [](int) { return Command::Unknown; });
    Request list;
    list.command = Command::ListVoices;
    session.Handle(list);
    std::filesystem::remove(file, ec);
    const std::string last = "200 OK VOICE LIST SENT\n";
    if (reply.size() < last.size() ||
        reply.compare(reply.size() - last.size(), last.size(), last) != 0) {
        std::abort();
    }
    for (size_t at = 0; at + last.size() < reply.size();) {
        const size_t end = reply.find('\n', at);
        if (reply.compare(at, 4, "200-") != 0) std::abort();
        for (size_t i = at; i < end; ++i) {
            const auto b = static_cast<unsigned char>(reply[i]);
            if ((b < 0x20 && reply[i] != '\t') || b == 0x7F) std::abort();
        }
        at = end + 1;
    }
    if (SafeVoiceName(name) && OneLine(name) != name) std::abort();
}

}  // namespace

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
                    from = 0;
                    for (const Break& b : spoken.breaks) {
                        if (b.offset < from || b.offset > spoken.text.size()) std::abort();
                        if (b.ms < 0 || b.ms > BREAK_LIMIT_MS) std::abort();
                        from = b.offset;
                    }
                    for (const Stretch& st : spoken.stretches) {
                        if (st.begin > st.end || st.end > spoken.text.size()) std::abort();
                    }
                    for (const TextPause& p : PausesOf(spoken.text, settings)) {
                        if (p.offset > spoken.text.size()) std::abort();
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
    ListVoicesNamedBy(bytes.substr(std::min<size_t>(size, 1)));
    if (EscapeAudioBytes(bytes).find('\n') != std::string::npos) std::abort();
    return 0;
}
