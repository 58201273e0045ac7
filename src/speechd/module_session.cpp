#include "speechd/module_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
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
// The text rendered at a time: a few seconds of speech, ready in about a
// millisecond. A word longer than that is taken whole up to WORD_BYTES, so
// that a number or a hash is read as it stands, not cut in two.
constexpr size_t STRETCH_BYTES = 64;
constexpr size_t WORD_BYTES = 256;
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

void Log(const std::string& line) {
    std::fprintf(stderr, "sd_vocalith: %s\n", OneLine(line).c_str());
}

bool IsBlank(char c) {
    return c == ' ' || c == '\n';
}

// Where the stretch of `text` that starts at `from` ends: after the last
// blank within STRETCH_BYTES, else after the word that starts it (at most
// WORD_BYTES). Looks at no more than WORD_BYTES, so a text of any length is
// cut in linear time.
size_t StretchEnd(const std::string& text, size_t from) {
    const size_t limit = std::min(text.size(), from + STRETCH_BYTES);
    if (limit == text.size()) return limit;
    for (size_t i = limit; i > from + 1; --i) {
        if (IsBlank(text[i - 1])) return i;
    }
    const size_t word = std::min(text.size(), from + WORD_BYTES);
    for (size_t i = limit; i < word; ++i) {
        if (IsBlank(text[i])) return i + 1;
    }
    return word;
}

// Hands a rendering on to `emit` in blocks of EVENT_SAMPLES, without the
// start delay each rendering begins with (the window's, not a screen
// reader's); `emit` answers false to stop the rendering.
class EventSink final : public voice::SampleSink {
  public:
    using Emit = std::function<bool(std::span<const int16_t>)>;
    explicit EventSink(Emit emit) : emit_(std::move(emit)) {}

    // A new rendering begins: its start delay is dropped.
    void Restart() { skip_ = voice::START_DELAY_SAMPLES; }

    base::Result Write(std::span<const int16_t> samples) override {
        const size_t skip = std::min(skip_, samples.size());
        skip_ -= skip;
        pending_.insert(pending_.end(), samples.begin() + static_cast<ptrdiff_t>(skip),
                        samples.end());
        size_t at = 0;
        for (; pending_.size() - at >= EVENT_SAMPLES; at += EVENT_SAMPLES) {
            if (!emit_(std::span(pending_).subspan(at, EVENT_SAMPLES))) {
                pending_.clear();
                return base::Result::Fail("stopped");
            }
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(at));
        return {};
    }

    // `count` samples of silence, after what was written.
    void Silence(size_t count) {
        const size_t skip = std::exchange(skip_, 0);
        Write(std::vector<int16_t>(count, 0));
        skip_ = skip;
    }

    // Sends what is held; false when stopped.
    bool Flush() {
        const bool go = pending_.empty() || emit_(pending_);
        pending_.clear();
        return go;
    }

  private:
    Emit emit_;
    size_t skip_ = voice::START_DELAY_SAMPLES;
    std::vector<int16_t> pending_;
};

}  // namespace

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return text;
}

bool SafeVoiceName(std::string_view name) {
    if (name.empty()) return false;
    int digits = 0;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return false;
        if ((c == ' ' || c == '-') && digits >= 3) return false;
        digits = c >= '0' && c <= '9' ? digits + 1 : 0;
    }
    return true;
}

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
      table_(std::make_unique<voice::PhonTable>()),
      scratch_(std::make_unique<voice::PhonTable>()) {
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
            for (const VoiceFile& v : UsableVoices()) list += "200-" + v.name + "\ten\tnone\n";
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
    if (UsableVoices().empty()) {
        std::string folders;
        for (const std::filesystem::path& f : voice::VoicesFolders(programFolder_)) {
            folders += (folders.empty() ? "" : " or ") + f.string();
        }
        send_("399-Vocalith: no voice that loads in " + OneLine(folders) +
              "\n399 ERR CANT INIT MODULE\n");
        return;
    }
    // Loaded now, the voice does not delay the first message.
    LoadChosenVoice();
    send_("299-Vocalith: Initialized successfully.\n299 OK LOADED SUCCESSFULLY\n");
}

bool ModuleSession::FileStamp::operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
}

void ModuleSession::LogOnce(const std::string& key, const std::string& line) {
    std::string& last = logged_[key];
    if (last == line) return;
    last = line;
    Log(line);
}

// True when the file at `path` (as `stamp` finds it) loads; a file is read
// again only when it has changed.
bool ModuleSession::Loads(const std::filesystem::path& path, const FileStamp& stamp) {
    auto found = checked_.find(path);
    if (found != checked_.end() && found->second.stamp == stamp) return found->second.loads;
    const voice::VoiceResult r = voice::LoadVoice(path, *scratch_);
    if (!r) LogOnce(path.string(), "voice file " + path.string() + " does not load: " + r.reason);
    checked_[path] = {stamp, r.ok()};
    return r.ok();
}

// Every voice the module can speak with, sorted by name without regard to
// case: the first file of each name, in the order of the folders, that can
// be named on a line and loads.
std::vector<ModuleSession::VoiceFile> ModuleSession::UsableVoices() {
    std::vector<VoiceFile> voices;
    for (const std::filesystem::path& folder : voice::VoicesFolders(programFolder_)) {
        std::vector<std::string> files =
            voice::ListFolder(folder, "*.voc", std::numeric_limits<int>::max());
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) {
            const std::string name = file.substr(0, file.rfind('.'));
            const std::filesystem::path path = folder / file;
            const bool taken = std::any_of(voices.begin(), voices.end(), [&](const VoiceFile& v) {
                return base::EqualNoCase(v.name, name);
            });
            if (taken) continue;
            if (!SafeVoiceName(name)) {
                LogOnce(path.string(), "voice file " + path.string() +
                                           " left out: its name cannot be sent on a line");
                continue;
            }
            struct stat st {};
            if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            const FileStamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
            if (Loads(path, stamp)) voices.push_back({name, path});
        }
    }
    std::sort(voices.begin(), voices.end(), [](const VoiceFile& a, const VoiceFile& b) {
        const auto less = [](char x, char y) { return base::LowerAscii(x) < base::LowerAscii(y); };
        if (base::EqualNoCase(a.name, b.name)) return a.name < b.name;
        return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(),
                                            b.name.end(), less);
    });
    return voices;
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
// is kept while the choice and its file stay the same.
bool ModuleSession::LoadChosenVoice() {
    const std::vector<VoiceFile> voices = UsableVoices();
    const VoiceFile* chosen = nullptr;
    for (std::string_view want : {std::string_view(voiceWanted_), DEFAULT_VOICE}) {
        for (const VoiceFile& v : voices) {
            if (chosen == nullptr && !want.empty() && base::EqualNoCase(v.name, want)) chosen = &v;
        }
    }
    if (chosen == nullptr && !voices.empty()) chosen = &voices.front();
    if (chosen == nullptr) {
        LogOnce("voice", "no voice loads: messages are silent");
        return false;
    }
    if (!voiceWanted_.empty() && !base::EqualNoCase(chosen->name, voiceWanted_)) {
        LogOnce("voice", "voice " + voiceWanted_ + " cannot be used; speaking with " +
                             chosen->name + " (" + chosen->path.string() + ")");
    } else {
        LogOnce("voice", "speaking with " + chosen->name + " (" + chosen->path.string() + ")");
    }
    struct stat st {};
    if (stat(chosen->path.c_str(), &st) != 0) return false;
    const FileStamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    if (chosen->path == voiceLoaded_ && stamp == loadedStamp_) return true;
    const voice::VoiceResult loaded = voice::LoadVoice(chosen->path, *table_);
    if (!loaded) {
        Log("cannot load voice " + chosen->path.string() + ": " + loaded.reason);
        voiceLoaded_.clear();
        checked_.erase(chosen->path);
        return false;
    }
    voiceLoaded_ = chosen->path;
    loadedStamp_ = stamp;
    return true;
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
    send_("200 OK SPEAKING\n701 BEGIN\n");
    // Whatever fails, the message ends, so that no client waits for it.
    try {
        if (LoadChosenVoice()) {
            SpeakPieces(request);
            return;
        }
    } catch (const std::exception& e) {
        Log(std::string("a message failed: ") + e.what());
    }
    send_("702 END\n");
}

// The pieces of a SPEAK message: its text cut at every mark, break, pause
// and change of how it is said, each piece with its settings and what
// follows it (a silence, a mark).
std::vector<ModuleSession::Piece> ModuleSession::PiecesOf(const std::string& ssml) const {
    const SpokenText spoken = ParseSsml(ssml);
    const std::string_view text = spoken.text;
    // Where stretches begin and end: (offset, index + 1 to open, -(index + 1)
    // to close), swept in order alongside the cuts.
    std::vector<std::pair<size_t, ptrdiff_t>> edges;
    std::vector<size_t> cuts = {0, text.size()};
    for (size_t k = 0; k < spoken.stretches.size(); ++k) {
        const Stretch& st = spoken.stretches[k];
        if (st.begin >= st.end) continue;
        edges.emplace_back(st.begin, static_cast<ptrdiff_t>(k + 1));
        edges.emplace_back(st.end, -static_cast<ptrdiff_t>(k + 1));
        cuts.push_back(st.begin);
        cuts.push_back(st.end);
    }
    for (const IndexMark& m : spoken.marks) cuts.push_back(m.offset);
    for (const Break& b : spoken.breaks) cuts.push_back(b.offset);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::sort(edges.begin(), edges.end());

    std::vector<Piece> pieces;
    size_t edge = 0, mark = 0, brk = 0;
    int spelling = 0, rate = 0, pitch = 0;
    double volumeDb = 0;
    for (size_t c = 0; c < cuts.size(); ++c) {
        const size_t at = cuts[c];
        // What is said at `at`: marks, then breaks, then the stretches that
        // end and begin there.
        for (; mark < spoken.marks.size() && spoken.marks[mark].offset == at; ++mark) {
            pieces.push_back({{}, prosody_, 0, true, spoken.marks[mark].name});
        }
        for (; brk < spoken.breaks.size() && spoken.breaks[brk].offset == at; ++brk) {
            pieces.push_back({{}, prosody_, spoken.breaks[brk].ms, false, {}});
        }
        for (; edge < edges.size() && edges[edge].first == at; ++edge) {
            const ptrdiff_t k = edges[edge].second;
            const Stretch& st = spoken.stretches[static_cast<size_t>(std::abs(k) - 1)];
            const int sign = k > 0 ? 1 : -1;
            spelling += st.spell ? sign : 0;
            rate += sign * st.rate;
            pitch += sign * st.pitch;
            volumeDb += sign * st.volumeDb;
        }
        if (c + 1 == cuts.size()) break;
        const std::string_view region = text.substr(at, cuts[c + 1] - at);
        TextSettings settings = text_;
        settings.spelling = settings.spelling || spelling > 0;
        wave::ProsodySettings said = prosody_;
        said.rate = std::clamp(said.rate + rate, wave::RATE_MIN, wave::RATE_MAX);
        said.pitch = std::clamp(said.pitch + pitch, wave::PITCH_MIN, wave::PITCH_MAX);
        said.volumeDb = std::min(said.volumeDb + volumeDb, wave::VOLUME_MAX_DB);
        size_t from = 0;
        for (const TextPause& p : PausesOf(region, settings)) {
            pieces.push_back({SpeechText(region.substr(from, p.offset - from), settings),
                              said,
                              p.ms,
                              false,
                              {}});
            from = p.offset;
        }
        pieces.push_back({SpeechText(region.substr(from), settings), said, 0, false, {}});
    }
    return pieces;
}

// Sends the events of a message after its BEGIN, up to its END, STOP or
// PAUSE.
void ModuleSession::SpeakPieces(const Request& request) {
    std::vector<Piece> pieces;
    if (request.command == Command::Speak) {
        pieces = PiecesOf(request.text);
    } else if (request.command == Command::Char) {
        pieces.push_back({CharText(request.text, text_), prosody_, 0, false, {}});
    } else {
        pieces.push_back({KeyText(request.text, text_), prosody_, 0, false, {}});
    }
    // pieces[i..] hold something to say.
    std::vector<bool> soundFrom(pieces.size() + 1, false);
    for (size_t i = pieces.size(); i-- > 0;) {
        soundFrom[i] = soundFrom[i + 1] || pieces[i].silenceMs > 0 ||
                       pieces[i].english.find_first_not_of(" \n") != std::string::npos;
    }

    const auto begun = std::chrono::steady_clock::now();
    const auto since = [&begun] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    };
    double sent = 0;                   // seconds of audio sent
    Command pause = Command::Unknown;  // a PAUSE waits for the next mark
    bool stopped = false;
    EventSink events([&](std::span<const int16_t> block) {
        const Command c = AwaitRoom(sent, since());
        if (c == Command::Stop) {
            stopped = true;
            return false;
        }
        if (c == Command::Pause) pause = c;
        send_(AudioEvent(block));
        sent += static_cast<double>(block.size()) / wave::SYSTEM_SAMPLE_RATE;
        return true;
    });
    for (size_t i = 0; i < pieces.size() && !stopped; ++i) {
        if (pieces[i].english.empty() && pieces[i].silenceMs == 0) {
            // A mark alone: reported as soon as what comes before it.
            if (pieces[i].marked)
                send_("700-" + OneLine(pieces[i].markName) + "\n700 INDEX MARK\n");
            continue;
        }
        const Command c = AwaitRoom(sent, since());
        if (c == Command::Stop) {
            stopped = true;
            break;
        }
        if (c == Command::Pause) pause = c;
        // A PAUSE takes effect right after a mark, where the server resumes.
        if (pause == Command::Pause && soundFrom[i] && (i == 0 || pieces[i - 1].marked)) {
            send_("704 PAUSE\n");
            return;
        }
        // A long piece is rendered a stretch at a time. The translator
        // starts afresh at a blank, so stretches cut there sound as the
        // whole would.
        const std::string& english = pieces[i].english;
        for (size_t from = 0; from < english.size() && !stopped;) {
            const size_t end = StretchEnd(english, from);
            const std::string text = english.substr(from, end - from);
            from = end;
            std::vector<char> phonetic(static_cast<size_t>(translate::UncutCapacity(text.size())));
            const int32_t length = translate::TranslateText(text.c_str(), phonetic.data(),
                                                            static_cast<int32_t>(phonetic.size()));
            events.Restart();
            voice::ProsodySink prosody(pieces[i].prosody, events);
            voice::PhoneticRenderer renderer(*table_, prosody);
            if (!renderer.Feed({phonetic.data(), static_cast<size_t>(std::max(length, 0))}) ||
                !renderer.Finish() || !prosody.Finish()) {
                break;
            }
        }
        if (!stopped && pieces[i].silenceMs > 0) {
            events.Silence(static_cast<size_t>(pieces[i].silenceMs) * wave::SYSTEM_SAMPLE_RATE /
                           1000);
        }
        if (stopped || !events.Flush()) break;
        if (pieces[i].marked) send_("700-" + OneLine(pieces[i].markName) + "\n700 INDEX MARK\n");
    }
    send_(stopped ? "703 STOP\n" : "702 END\n");
}

}  // namespace vocalith::speechd
