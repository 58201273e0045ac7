#pragma once
// One run of the module as speech-dispatcher drives it: the settings it has
// been given, the voice it speaks with, and the answer and events for each
// request. Speech is rendered offline through the same phonetic playback and
// mixer as `vocalith-tts say --wav` (a whole message takes milliseconds),
// with the channel's 450 ms start delay left out, and handed to the server
// in AUDIO events: the server keeps its audio output open, so the first
// sound follows the message by the server's own output latency.
//
// A message is rendered piece by piece between its index marks: each
// piece's audio is sent, then its mark, so the server reports the mark when
// the audio before it has played. Audio goes in events of at most
// EVENT_SAMPLES (the server reads a whole event before it plays any of it,
// so the first sound never waits for a long word's), and no more than
// LEAD_SECONDS ahead of what the server has played (counted from BEGIN), so
// that a server stopping the message has little to throw away. Before each
// event, the session asks whether a STOP or PAUSE has arrived: a STOP ends
// the message there with the STOP event, a PAUSE at the next mark with the
// PAUSE event, where the server can resume it; with nothing left to say
// after that mark, the message simply ends. Every SPEAK ends with END or
// STOP, whatever fails, so no client waits forever.
//
// Voices: every NAME.voc of the voices folders whose name can be sent on a
// line of the protocol and whose file loads (checked again when the file
// changes on disk); a user's voice that does not load leaves the shared one
// of its name in use. Each refusal is said once in the log.
#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "speechd/module_protocol.h"
#include "speechd/speech_text.h"
#include "wave/prosody.h"

namespace vocalith::voice {
struct PhonTable;
}

namespace vocalith::speechd {

// The voice types speech-dispatcher offers and the pitch each gives the voice
// (in the units of ProsodySettings::pitch, 100 to the octave): a voice
// recorded by one speaker sounds lower or higher, not like another speaker.
int32_t PitchOfVoiceType(std::string_view type);

// speech-dispatcher's volume, -100..100 with 100 its default, as a gain in dB:
// the amplitude falls linearly to silence at -100 (0 is -6 dB).
double DecibelsOfVolume(int32_t volume);

// The most audio sent in one AUDIO event: 100 ms.
inline constexpr size_t EVENT_SAMPLES = 1102;

// True when `name` can stand on a line of a reply: no control character and
// nothing a server could read as a reply code of its own (three digits and
// a blank or '-').
bool SafeVoiceName(std::string_view name);

// `text` fit for one line of a reply or an event: control characters become
// blanks.
std::string OneLine(std::string text);

class ModuleSession {
  public:
    using Send = std::function<void(std::string_view bytes)>;
    // Command::Stop or Command::Pause when one has arrived within `waitMs`
    // milliseconds (0: at once), else Command::Unknown; may answer early.
    using StopCheck = std::function<Command(int waitMs)>;

    // `programFolder` finds the voices (base/program_folder.h); `send` writes
    // to the server; `stopRequested` is asked between pieces of speech.
    ModuleSession(std::filesystem::path programFolder, Send send, StopCheck stopRequested);
    ~ModuleSession();
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    // Answers one request; false once the module should end (QUIT).
    bool Handle(const Request& request);

    // The settings in force, for tests.
    const wave::ProsodySettings& Prosody() const { return prosody_; }
    const TextSettings& Text() const { return text_; }

  private:
    struct FileStamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        timespec modified{};
        bool operator==(const FileStamp& o) const;
    };
    struct VoiceFile {
        std::string name;
        std::filesystem::path path;
    };
    struct Checked {
        FileStamp stamp;
        bool loads = false;
    };

    // A piece of a message: English said with `prosody`, then a silence,
    // then a mark.
    struct Piece {
        std::string english;
        wave::ProsodySettings prosody;
        int32_t silenceMs = 0;
        bool marked = false;
        std::string markName;
    };

    void Init();
    std::vector<Piece> PiecesOf(const std::string& ssml) const;
    std::vector<VoiceFile> UsableVoices();
    bool Loads(const std::filesystem::path& path, const FileStamp& stamp);
    void LogOnce(const std::string& key, const std::string& line);
    void ApplySettings(const Request& request);
    void Speak(const Request& request);
    bool LoadChosenVoice();
    void SpeakPieces(const Request& request);
    Command AwaitRoom(double sentSeconds, double sinceBegin) const;

    std::filesystem::path programFolder_;
    Send send_;
    StopCheck stopRequested_;
    wave::ProsodySettings prosody_;
    int32_t pitch_ = 0;           // the pitch setting alone
    int32_t voiceTypePitch_ = 0;  // what the voice type adds
    TextSettings text_;
    std::string voiceWanted_;            // synthesis_voice; empty for the default
    std::filesystem::path voiceLoaded_;  // the file of the voice in table_
    FileStamp loadedStamp_;
    std::unique_ptr<voice::PhonTable> table_;
    std::unique_ptr<voice::PhonTable> scratch_;         // where files are tried
    std::map<std::filesystem::path, Checked> checked_;  // files tried, by path
    std::map<std::string, std::string> logged_;         // what the log last said, by subject
};

}  // namespace vocalith::speechd
