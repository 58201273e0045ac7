// vocalith-tts say: speaks English (or a phonetic string) with a voice, or
// renders it to an audio file (WAV, FLAC, Ogg Vorbis, Opus or MP3) on a
// simulated clock.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/program_folder.h"
#include "base/user_errors.h"
#include "cli/cli_common.h"
#include "cli/command_line.h"
#include "cli/speech_feed.h"
#include "device/audio_device.h"
#include "device/queue_dispatcher.h"
#include "engine/engine.h"
#include "mixer/mixer.h"
#include "session/session.h"
#include "translate/translate.h"
#include "voice/phon_table.h"
#include "voice/phonetic_render.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "wave/audio_file_writer.h"
#include "wave/pcm_format.h"
#include "wave/prosody.h"

namespace vocalith::cli {

const char kSaySynopsis[] =
    "[--voice NAME|FILE] [--output FILE] [--phonetic]\n"
    "[--rate N] [--pitch N] [--volume DB]\n"
    "[--audio BACKEND] [--output-device DEV] [TEXT ...]";

namespace {

// The help after the usage lines, up to the --audio entry (built from the
// backend table by AudioHelp), and after it.
const char kSayHelpHead[] =
    "\n"
    "Translates TEXT (the arguments joined by blanks, or all of standard input\n"
    "when there are none) to a phonetic string and speaks it with a voice,\n"
    "starting at once (live speech has no start delay) and reading, translating\n"
    "and queueing the text a piece at a time while it plays.\n"
    "\n"
    "  --voice NAME|FILE  the voice: NAME is looked up as voices/NAME.voc beside\n"
    "                     the program (letter case ignored); a value containing\n"
    "                     '/' or ending in \".voc\" is a voice file. Default: Voxa.\n"
    "  --output FILE      render to an audio file instead of playing, as fast as\n"
    "                     the machine allows. The file holds what the window\n"
    "                     plays: 4961 samples of silence (the 450 ms start\n"
    "                     delay, 450 * 11025 / 1000 rounded down), then the clip\n"
    "                     of every phoneme back to back, ending with the last\n"
    "                     clip. A text that sounds no phoneme gives a file with\n"
    "                     no samples. The extension picks the format: .wav\n"
    "                     (16-bit mono 11025 Hz; RF64 past 4 GiB), .flac,\n"
    "                     .ogg (Vorbis), .opus (12000 Hz) or .mp3; a name\n"
    "                     without one, and - (standard output), is WAV.\n"
    "  --wav FILE         the same as --output FILE.\n"
    "  --phonetic         TEXT is already a phonetic string; speak it as given.\n"
    "  --rate N           speed, -100 to 100: 0 is the voice's own speed, 100\n"
    "                     two and a half times as fast, -100 half as fast; the\n"
    "                     pitch stays. Default: 0.\n"
    "  --pitch N          pitch, -100 to 100: 100 an octave higher, -100 an\n"
    "                     octave lower; the speed stays. Default: 0.\n"
    "  --volume DB        loudness change in dB, at most 20 (louder speech is\n"
    "                     clipped at full scale; below -60 is silence).\n"
    "                     Default: 0. With all three at 0 the speech is\n"
    "                     exactly the voice's clips; the start delay is never\n"
    "                     stretched.\n";
const char kSayHelpTail[] =
    "                     Not used with --output.\n"
    "  --output-device DEV\n"
    "                     the speakers: the index or a part of the name of an\n"
    "                     output device (see `vocalith-tts devices`). Default:\n"
    "                     $VOCALITH_OUTPUT, else the backend's default device.\n"
    "                     Not used with --output.\n"
    "  --help             print this text.\n";

constexpr size_t HELP_WIDTH = 76;  // the longest line of the help
constexpr std::string_view AUDIO_LEAD = "  --audio BACKEND    ";

// "  --audio BACKEND    where live speech goes: portaudio (the default ...",
// every backend listed, filled into lines of at most HELP_WIDTH.
std::string AudioHelp() {
    const auto backends = device::AudioBackends();
    std::string sentence = "where live speech goes:";
    for (size_t i = 0; i < backends.size(); ++i) {
        sentence += i == 0 ? " " : i + 1 == backends.size() ? " or " : ", ";
        sentence += backends[i].speechUsage;
    }
    sentence += ". Default: $VOCALITH_AUDIO, else " + std::string(backends[0].name) + ".";
    std::string text(AUDIO_LEAD);
    size_t lineLength = text.size();
    bool lineEmpty = true;
    for (size_t start = 0; start < sentence.size();) {
        size_t end = sentence.find(' ', start);
        if (end == std::string::npos) end = sentence.size();
        const std::string_view word = std::string_view(sentence).substr(start, end - start);
        if (!lineEmpty && lineLength + 1 + word.size() > HELP_WIDTH) {
            text += '\n' + std::string(AUDIO_LEAD.size(), ' ');
            lineLength = AUDIO_LEAD.size();
            lineEmpty = true;
        }
        if (!lineEmpty) {
            text += ' ';
            ++lineLength;
        }
        text += word;
        lineLength += word.size();
        lineEmpty = false;
        start = end + 1;
    }
    return text + '\n';
}

std::string SayHelp() {
    return UsageLines("say", kSaySynopsis, true) + kSayHelpHead + AudioHelp() + kSayHelpTail;
}

enum SayOption {
    OPTION_VOICE,
    OPTION_OUTPUT,
    OPTION_WAV,
    OPTION_PHONETIC,
    OPTION_RATE,
    OPTION_PITCH,
    OPTION_VOLUME,
    OPTION_AUDIO,
    OPTION_OUTPUT_DEVICE
};  // kSayOptions
constexpr CommandOption kSayOptions[] = {
    {"--voice", true},     {"--output", true}, {"--wav", true},
    {"--phonetic", false}, {"--rate", true},   {"--pitch", true},
    {"--volume", true},    {"--audio", true},  kOutputDeviceOption};

struct SayOptions {
    std::string voice = "Voxa";
    std::string outputPath;
    wave::AudioEncoding encoding = wave::AudioEncoding::Wav;
    bool render = false;
    bool phonetic = false;
    wave::ProsodySettings prosody;
    std::string audio;
    std::string outputDevice;
    std::vector<std::string> words;
};

// Parses argv[1..]; returns -1 when the options are usable, else an exit status.
int ParseSay(int argc, char** argv, SayOptions& options) {
    OptionParser args(argc, argv, kSayOptions);
    for (ParsedArg arg; args.Next(arg);) {
        switch (arg.kind) {
            case ArgKind::Operand:
                options.words.emplace_back(arg.text);
                break;
            case ArgKind::Help:
                std::fputs(SayHelp().c_str(), stdout);
                return EXIT_OK;
            case ArgKind::UnknownOption:
            case ArgKind::MissingValue:
                return UsageError("say", ArgumentError(arg));
            case ArgKind::Option:
                switch (arg.option) {
                    case OPTION_VOICE:
                        options.voice = arg.text;
                        break;
                    case OPTION_OUTPUT:
                    case OPTION_WAV: {
                        const char* name = arg.option == OPTION_WAV ? "--wav" : "--output";
                        if (arg.text.empty()) {
                            return UsageError("say",
                                              "option " + std::string(name) + " needs a file name");
                        }
                        const std::optional<wave::AudioEncoding> encoding =
                            wave::EncodingForPath(std::string(arg.text));
                        if (!encoding) {
                            return UsageError("say", "cannot tell the audio format of '" +
                                                         std::string(arg.text) +
                                                         "' from its extension (use " +
                                                         wave::AUDIO_FILE_EXTENSIONS + ")");
                        }
                        options.outputPath = arg.text;
                        options.encoding = *encoding;
                        options.render = true;
                        break;
                    }
                    case OPTION_PHONETIC:
                        options.phonetic = true;
                        break;
                    case OPTION_RATE:
                        if (!ParseLevel(arg.text, wave::RATE_MIN, wave::RATE_MAX,
                                        options.prosody.rate)) {
                            return UsageError("say",
                                              "--rate takes a whole number from -100 to "
                                              "100, not '" +
                                                  std::string(arg.text) + "'");
                        }
                        break;
                    case OPTION_PITCH:
                        if (!ParseLevel(arg.text, wave::PITCH_MIN, wave::PITCH_MAX,
                                        options.prosody.pitch)) {
                            return UsageError("say",
                                              "--pitch takes a whole number from -100 to "
                                              "100, not '" +
                                                  std::string(arg.text) + "'");
                        }
                        break;
                    case OPTION_VOLUME:
                        if (!ParseDecibels(arg.text, wave::VOLUME_MAX_DB,
                                           options.prosody.volumeDb)) {
                            return UsageError("say",
                                              "--volume takes a number of dB up to 20, "
                                              "not '" +
                                                  std::string(arg.text) + "'");
                        }
                        break;
                    case OPTION_AUDIO:
                        options.audio = arg.text;
                        break;
                    default:
                        options.outputDevice = arg.text;
                        break;
                }
                break;
        }
    }
    return -1;
}

// Loads the chosen voice into `table`; returns -1 on success, else an exit
// status after one error line.
int LoadChosenVoice(const std::string& voice, voice::PhonTable& table) {
    std::filesystem::path path;
    if (const int status = ResolveVoice(voice, VoiceUse::Read, path); status >= 0) return status;
    const voice::VoiceResult loaded = voice::LoadVoice(path, table);
    if (!loaded) return Fail(EXIT_FAILURE_, "cannot load voice: " + loaded.reason);
    return -1;
}

class NoMessages final : public engine::MessageSink {
  public:
    void ShowMessage(std::string_view, std::string_view) override {}
};

// The backend and output device for live speech, chosen before any text is
// read so that a mistake is reported at once; null after one error line,
// with the exit status in `status`.
std::unique_ptr<device::AudioBackend> LiveBackend(const SayOptions& options, int& status) {
    std::string error;
    bool fileFault = false;
    std::unique_ptr<device::AudioBackend> backend =
        device::MakeBackend(options.audio, &error, &fileFault);
    if (!backend) {
        status = fileFault ? Fail(EXIT_FAILURE_, "say: " + error) : UsageError("say", error);
        return nullptr;
    }
    const std::string output =
        device::DeviceChoice(device::DeviceDirection::Output, options.outputDevice);
    if (!device::ChooseDevices(*backend, {}, output, &error)) {
        status = UsageError("say", error);
        return nullptr;
    }
    // The speech plays as soon as it is queued: the device starts with it.
    backend->PreferQuickStart();
    return backend;
}

// Samples kept queued on the speech channel ahead of the mixing: two
// seconds, several mixing periods, however long the text.
constexpr int32_t SPEECH_AHEAD_SAMPLES = 2 * wave::SYSTEM_SAMPLE_RATE;
// How long the device may take beyond the speech queued before the command
// gives up waiting for it.
constexpr int64_t PLAY_SLACK_MS = 5000;

// Live speech: the sound window's stream fed by the audio pump at its real
// 10 ms rhythm, as in the window, with the text read, translated and queued
// a little at a time as it plays; returns once the speech has been heard.
int SpeakLive(session::Session& session, TextPieces& text, const SayOptions& options,
              device::AudioBackend* backend) {
    // Only the output device: speaking needs no microphone.
    device::QueueDispatcher dispatcher;
    engine::Engine& engine = session.engine;
    // The stream's one-time failure box has no place on a command line: the
    // failure is reported below as the command's one error line.
    NoMessages noMessages;
    std::unique_ptr<device::OutputDevice> output = backend->OpenOutput();
    const std::string outputFailure = output ? std::string() : backend->OutputFailure();
    engine::CSoundWnd& window =
        engine.OpenSoundWindow(std::move(output), nullptr, &dispatcher, &noMessages);
    // The window goes before the dispatcher and the sink it was given.
    struct WindowCloser {
        engine::Engine& engine;
        ~WindowCloser() { engine.CloseSoundWindow(); }
    } closer{engine};
    window.Create();
    if (window.speechCreated == 0) {
        std::string reason = window.CheckOutput().reason;
        if (reason == "no audio output device") {
            // The backend's own words say why, where it has them.
            if (outputFailure.empty() || outputFailure == reason) {
                reason += " (try --audio wav:OUT.wav, or --output OUT.wav to render)";
            } else {
                reason = outputFailure + "; try --audio wav:OUT.wav, or --output OUT.wav to render";
            }
        }
        return Fail(EXIT_FAILURE_, reason);
    }

    SpeechFeed feed(engine.mixer, session.phonTable, options.prosody, options.phonetic, text);
    const mixer::MixerChannel& speech = engine.mixer.channels[mixer::SPEECH_CHANNEL];
    // The next pump call runs a mixing step (0 stands for no step yet).
    const auto mixNow = [&engine] {
        engine.lastMixTick = engine.Clock().Now() - engine::MIX_PERIOD_MS;
        if (engine.lastMixTick == 0) engine.lastMixTick -= 1;
    };
    // The first mixing step runs on the first pump call instead of a mixing
    // period later: the speech has no start delay to hide that period in.
    mixNow();
    // Never wait longer than the speech queued lasts, plus slack.
    auto deadline = std::chrono::steady_clock::now();
    // The pump's 10 ms rhythm, as in the window, until the text is spoken,
    // the speech channel drained and everything written heard.
    for (;;) {
        const int32_t before = mixer::SamplesLeft(speech);
        if (const base::Result fed = feed.TopUp(SPEECH_AHEAD_SAMPLES); !fed) {
            window.ShutdownAudio();
            return Fail(EXIT_FAILURE_, "say: " + fed.reason);
        }
        const auto now = std::chrono::steady_clock::now();
        if (mixer::SamplesLeft(speech) > before) {
            deadline = std::max(
                deadline, now + std::chrono::milliseconds(int64_t{mixer::SamplesLeft(speech)} *
                                                              1000 / wave::SYSTEM_SAMPLE_RATE +
                                                          PLAY_SLACK_MS));
        }
        if (now >= deadline) break;
        dispatcher.RunPending();
        // A device that starts with its buffer filled from the speech takes
        // a buffer's worth at once, more than a mixing period's: while
        // speech waits, the stream is topped up as soon as less than half
        // its lead is left, rather than at the next mixing step.
        if (const uint32_t room = window.SpeechWriteLimit();
            mixer::SamplesLeft(speech) > 0 && room != UINT32_MAX &&
            room > engine::SPEECH_MAX_LEAD_BYTES / 2) {
            mixNow();
        }
        engine.AudioPump();
        if (const base::Result health = window.CheckOutput(); !health) {
            window.ShutdownAudio();
            return Fail(EXIT_FAILURE_, "say: " + health.reason);
        }
        if (feed.Done() && mixer::SamplesLeft(speech) == 0 && window.SpeechAllPlayed()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!feed.Done() || mixer::SamplesLeft(speech) > 0) {
        window.ShutdownAudio();
        return Fail(EXIT_FAILURE_, "say: the audio output stopped taking the speech");
    }
    const base::Result finished = window.FinishOutput();
    window.ShutdownAudio();
    if (!finished) return Fail(EXIT_FAILURE_, "say: " + finished.reason);
    return EXIT_OK;
}

class AudioFileSink final : public voice::SampleSink {
  public:
    explicit AudioFileSink(wave::AudioFileWriter& writer) : writer_(writer) {}
    base::Result Write(std::span<const int16_t> samples) override {
        return writer_.Append(samples);
    }

  private:
    wave::AudioFileWriter& writer_;
};

// say --output: read, translated, rendered and encoded a piece at a time
// straight into the file, so memory stays bounded however long the text.
int RenderToFile(const voice::PhonTable& table, TextPieces& text, const SayOptions& options) {
    const bool phonetic = options.phonetic;
    wave::AudioFileWriter writer;
    if (base::Result opened = writer.Open(options.outputPath, options.encoding); !opened) {
        return Fail(EXIT_FAILURE_, opened.reason);
    }
    AudioFileSink file(writer);
    voice::ProsodySink sink(options.prosody, file);
    voice::PhoneticRenderer renderer(table, sink);
    translate::Translator translator(base::WriteUserErrors);
    std::string piece;
    while (text.Next(piece)) {
        const base::Result fed =
            renderer.Feed(phonetic ? piece : TranslatePiece(translator, piece));
        if (!fed) return Fail(EXIT_FAILURE_, fed.reason);
    }
    if (base::Result rendered = renderer.Finish(); !rendered) {
        return Fail(EXIT_FAILURE_, rendered.reason);
    }
    if (base::Result rendered = sink.Finish(); !rendered) {
        return Fail(EXIT_FAILURE_, rendered.reason);
    }
    if (base::Result written = writer.Finish(); !written) {
        return Fail(EXIT_FAILURE_, written.reason);
    }
    return EXIT_OK;
}

}  // namespace

int RunSay(int argc, char** argv) {
    SayOptions options;
    if (const int status = ParseSay(argc, argv, options); status >= 0) return status;

    std::string words;
    for (size_t i = 0; i < options.words.size(); ++i) {
        if (i > 0) words += ' ';
        words += options.words[i];
    }

    const auto session = std::make_unique<session::Session>();
    if (const int status = LoadChosenVoice(options.voice, session->phonTable); status >= 0) {
        return status;
    }

    if (options.render) {
        TextPieces text =
            options.words.empty() ? TextPieces(std::cin) : TextPieces(std::move(words));
        return RenderToFile(session->phonTable, text, options);
    }
    int status = EXIT_OK;
    std::unique_ptr<device::AudioBackend> backend = LiveBackend(options, status);
    if (!backend) return status;
    TextPieces text = options.words.empty() ? TextPieces(std::cin) : TextPieces(std::move(words));
    return SpeakLive(*session, text, options, backend.get());
}

const Subcommand kSayCommand = {"say",
                                "speaks TEXT with the voice Voxa, or renders it to a WAV file.",
                                kSaySynopsis, kSayOptions, RunSay};

}  // namespace vocalith::cli
