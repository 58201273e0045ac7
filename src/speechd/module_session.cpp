#include "speechd/module_session.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "base/ascii_case.h"
#include "speechd/audio_event.h"
#include "speechd/ssml_text.h"
#include "translate/translate.h"
#include "voice/phon_table.h"
#include "voice/phonetic_render.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "wave/pcm_format.h"

namespace vocalith::speechd {

namespace {

constexpr std::string_view DEFAULT_VOICE = "Voxa";
// The text rendered and sent at a time: a few seconds of speech, ready in
// well under a millisecond of rendering.
constexpr size_t STRETCH_BYTES = 64;
constexpr double LEAD_SECONDS = 1.5;

bool ParseInt(std::string_view text, int32_t& value) {
    int32_t v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    value = v;
    return true;
}

PunctuationMode ModeOf(std::string_view name, PunctuationMode otherwise) {
    if (name == "none") return PunctuationMode::None;
    if (name == "some") return PunctuationMode::Some;
    if (name == "most") return PunctuationMode::Most;
    if (name == "all") return PunctuationMode::All;
    return otherwise;
}

// `text` fit for one line of an event: line breaks become blanks.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

void Log(const std::string& line) {
    std::fprintf(stderr, "sd_vocalith: %s\n", line.c_str());
}

}  // namespace

int32_t PitchOfVoiceType(std::string_view type) {
    // Semitones: male voices at and below the recording, female and child
    // voices a fourth to a sixth above it.
    static constexpr std::array<std::pair<std::string_view, int>, 8> kTypes{{
        {"male1", 0},
        {"male2", -2},
        {"male3", -4},
        {"female1", 5},
        {"female2", 6},
        {"female3", 7},
        {"child_male", 8},
        {"child_female", 9},
    }};
    for (const auto& [name, semitones] : kTypes) {
        if (base::EqualNoCase(type, name))
            return static_cast<int32_t>(std::lround(semitones * 100.0 / 12));
    }
    return 0;
}

double DecibelsOfVolume(int32_t volume) {
    if (volume <= -100) return -1000.0;
    if (volume >= 100) return 0.0;
    return 20.0 * std::log10((volume + 100) / 200.0);
}

ModuleSession::ModuleSession(std::filesystem::path programFolder, Send send,
                             StopCheck stopRequested)
    : programFolder_(std::move(programFolder)),
      send_(std::move(send)),
      stopRequested_(std::move(stopRequested)),
      table_(std::make_unique<voice::PhonTable>()) {
    text_.someMarks = DEFAULT_SOME_MARKS;
    text_.mostMarks = DEFAULT_MOST_MARKS;
}

ModuleSession::~ModuleSession() = default;

bool ModuleSession::Handle(const Request& request) {
    switch (request.command) {
        case Command::Init:
            Init();
            break;
        case Command::Audio: {
            std::string method;
            for (const auto& [name, value] : request.settings) {
                if (name == "audio_output_method") method = value;
            }
            // The server plays what the module hands it; a module that played
            // on its own would need an output of its own opened per message.
            if (method.find("server") != std::string::npos) {
                send_("203 OK AUDIO INITIALIZED\n");
            } else {
                Log("audio output method '" + method + "' is not supported; use 'server'");
                send_(
                    "300-Only the server audio output method is supported\n"
                    "300 UNKNOWN ERROR\n");
            }
            break;
        }
        case Command::LogLevel:
            send_("203 OK LOGLEVEL SET\n");
            break;
        case Command::Set:
            ApplySettings(request);
            send_("203 OK SETTINGS RECEIVED\n");
            break;
        case Command::Speak:
        case Command::Char:
        case Command::Key:
            Speak(request);
            break;
        case Command::SoundIcon:
            // The server has the icons: it is asked to play this one.
            send_("200 OK SPEAKING\n701 BEGIN\n706-" + OneLine(request.text) +
                  "\n706 ICON\n702 END\n");
            break;
        case Command::ListVoices: {
            std::string list;
            for (const std::string& name : voice::ListVoiceNames(programFolder_)) {
                list += "200-" + name + "\ten\tnone\n";
            }
            send_(list + "200 OK VOICE LIST SENT\n");
            break;
        }
        case Command::Stop:
        case Command::Pause:
            // Between messages there is nothing to stop: every message has
            // ended (END or STOP) before its SPEAK was answered in full.
            break;
        case Command::Debug:
            send_("200 OK DEBUGGING\n");
            break;
        case Command::Quit:
            send_("210 OK QUIT\n");
            return false;
        case Command::Unknown:
            send_("300 ERR UNKNOWN COMMAND\n");
            break;
    }
    return true;
}

void ModuleSession::Init() {
    if (voice::ListVoiceNames(programFolder_).empty()) {
        send_("399-Vocalith: no voice found in " +
              voice::VoicesFolders(programFolder_).front().string() +
              "\n399 ERR CANT INIT MODULE\n");
        return;
    }
    // Loaded now, the voice does not delay the first message.
    LoadChosenVoice();
    send_("299-Vocalith: Initialized successfully.\n299 OK LOADED SUCCESSFULLY\n");
}

void ModuleSession::ApplySettings(const Request& request) {
    for (const auto& [name, value] : request.settings) {
        int32_t number = 0;
        if (name == "rate" && ParseInt(value, number)) {
            prosody_.rate = std::clamp(number, wave::RATE_MIN, wave::RATE_MAX);
        } else if (name == "pitch" && ParseInt(value, number)) {
            pitch_ = std::clamp(number, wave::PITCH_MIN, wave::PITCH_MAX);
        } else if (name == "volume" && ParseInt(value, number)) {
            prosody_.volumeDb = DecibelsOfVolume(number);
        } else if (name == "punctuation_mode") {
            text_.punctuation = ModeOf(value, text_.punctuation);
        } else if (name == "punctuation_some") {
            text_.someMarks = value == "NULL" ? std::string(DEFAULT_SOME_MARKS) : value;
        } else if (name == "punctuation_most") {
            text_.mostMarks = value == "NULL" ? std::string(DEFAULT_MOST_MARKS) : value;
        } else if (name == "spelling_mode") {
            text_.spelling = value == "on";
        } else if (name == "cap_let_recogn") {
            text_.capitals = value == "spell" || value == "icon";
        } else if (name == "voice") {
            voiceTypePitch_ = PitchOfVoiceType(value);
        } else if (name == "synthesis_voice") {
            voiceWanted_ = value == "NULL" ? std::string() : value;
        }
        // language: the rules read English only; pitch_range: the voice's
        // clips carry their own intonation.
    }
    prosody_.pitch = std::clamp(pitch_ + voiceTypePitch_, wave::PITCH_MIN, wave::PITCH_MAX);
}

// Loads the wanted voice, else Voxa, else the first voice there is; the table
// is kept while the choice stays the same.
bool ModuleSession::LoadChosenVoice() {
    const std::vector<std::string> names = voice::ListVoiceNames(programFolder_);
    std::string chosen;
    for (std::string_view want : {std::string_view(voiceWanted_), DEFAULT_VOICE}) {
        if (!chosen.empty() || want.empty()) continue;
        for (const std::string& name : names) {
            if (base::EqualNoCase(name, want)) chosen = name;
        }
    }
    if (chosen.empty() && !names.empty()) chosen = names.front();
    if (chosen.empty()) return false;
    if (chosen == voiceLoaded_) return true;
    const voice::VoiceResult loaded =
        voice::LoadVoice(voice::LoadVoicePath(programFolder_, chosen), *table_);
    if (!loaded) {
        Log("cannot load voice " + chosen + ": " + loaded.reason);
        voiceLoaded_.clear();
        return false;
    }
    voiceLoaded_ = chosen;
    return true;
}

// The speech of `english`, without the start delay, with rate, pitch and
// volume applied.
std::vector<int16_t> ModuleSession::Render(const std::string& english) const {
    std::vector<char> phonetic(static_cast<size_t>(translate::UncutCapacity(english.size())));
    const int32_t length = translate::TranslateText(english.c_str(), phonetic.data(),
                                                    static_cast<int32_t>(phonetic.size()));
    phonetic.resize(static_cast<size_t>(std::max(length, 0)));
    phonetic.push_back('\0');
    std::vector<int16_t> speech =
        voice::RenderPhoneticToSamples(phonetic.data(), *table_, prosody_);
    // The start delay is the window's; a screen reader wants the sound at once.
    speech.erase(speech.begin(),
                 speech.begin() + std::min<ptrdiff_t>(voice::START_DELAY_SAMPLES,
                                                      static_cast<ptrdiff_t>(speech.size())));
    return speech;
}

// Waits until the audio sent lies at most LEAD_SECONDS ahead of the time
// since BEGIN, or a STOP or PAUSE arrives; answers which, or Unknown.
Command ModuleSession::AwaitRoom(double sentSeconds, double sinceBegin) const {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
        const double ahead = sentSeconds - sinceBegin - waited.count() - LEAD_SECONDS;
        const int waitMs = ahead > 0 ? static_cast<int>(std::ceil(ahead * 1000)) : 0;
        const Command c = stopRequested_ ? stopRequested_(waitMs) : Command::Unknown;
        if (c != Command::Unknown || waitMs == 0) return c;
    }
}

void ModuleSession::Speak(const Request& request) {
    if (!LoadChosenVoice()) {
        send_("401 ERROR CANT SPEAK\n");
        return;
    }
    send_("200 OK SPEAKING\n");
    // The pieces of the message: text up to each mark, then the mark.
    struct Piece {
        std::string english;
        const std::string* mark;
    };
    std::vector<Piece> pieces;
    SpokenText spoken;
    if (request.command == Command::Speak) {
        spoken = ParseSsml(request.text);
        size_t from = 0;
        for (const IndexMark& mark : spoken.marks) {
            pieces.push_back(
                {SpeechText(std::string_view(spoken.text).substr(from, mark.offset - from), text_),
                 &mark.name});
            from = mark.offset;
        }
        pieces.push_back({SpeechText(std::string_view(spoken.text).substr(from), text_), nullptr});
    } else if (request.command == Command::Char) {
        pieces.push_back({CharText(request.text, text_), nullptr});
    } else {
        pieces.push_back({KeyText(request.text, text_), nullptr});
    }

    send_("701 BEGIN\n");
    // A long piece is rendered and sent a stretch at a time, so its first
    // sound need not wait for the whole of it. The translator starts afresh
    // at a blank, so stretches cut there sound as the whole would.
    Command pause = Command::Unknown;  // a PAUSE waits for the next mark
    const auto begun = std::chrono::steady_clock::now();
    double sent = 0;  // seconds of audio sent
    for (const Piece& piece : pieces) {
        for (size_t from = 0; from < piece.english.size() || from == 0;) {
            const std::chrono::duration<double> since = std::chrono::steady_clock::now() - begun;
            const Command interruption = AwaitRoom(sent, since.count());
            if (interruption == Command::Pause) pause = interruption;
            // At the start of a piece the message stands right after a mark.
            if (interruption == Command::Stop || (pause == Command::Pause && from == 0)) {
                send_(interruption == Command::Stop ? "703 STOP\n" : "704 PAUSE\n");
                return;
            }
            size_t end = std::min(piece.english.size(), from + STRETCH_BYTES);
            if (end < piece.english.size()) {
                const size_t blank = piece.english.find_last_of(" \n", end - 1);
                if (blank != std::string::npos && blank > from) end = blank + 1;
            }
            const std::vector<int16_t> speech = Render(piece.english.substr(from, end - from));
            if (!speech.empty()) send_(AudioEvent(speech));
            sent += static_cast<double>(speech.size()) / wave::SYSTEM_SAMPLE_RATE;
            if (end == from) break;
            from = end;
        }
        if (piece.mark != nullptr) send_("700-" + OneLine(*piece.mark) + "\n700 INDEX MARK\n");
        if (pause == Command::Pause) {
            send_("704 PAUSE\n");
            return;
        }
    }
    send_("702 END\n");
}

}  // namespace vocalith::speechd
