// vocalith-tts say: speaks English (or a phonetic string) with a voice, or
// renders it to a WAV file on a simulated clock.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/program_folder.h"
#include "cli/cli_common.h"
#include "device/audio_device.h"
#include "device/queue_dispatcher.h"
#include "engine/audio_pump.h"
#include "engine/sound_window.h"
#include "mixer/mixer.h"
#include "translate/translate.h"
#include "voice/phon_table.h"
#include "voice/phonetic_render.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "wave/wav_writer.h"

namespace vocalith::cli {

namespace {

const char kSayUsage[] =
    "usage: vocalith-tts say [--voice NAME|FILE] [--wav OUT.wav] [--phonetic]\n"
    "                        [--audio BACKEND] [TEXT ...]\n"
    "\n"
    "Translates TEXT (the arguments joined by blanks, or all of standard input\n"
    "when there are none) to a phonetic string and speaks it with a voice.\n"
    "\n"
    "  --voice NAME|FILE  the voice: NAME is looked up as voices/NAME.voc beside\n"
    "                     the program (letter case ignored); a value containing\n"
    "                     '/' or ending in \".voc\" is a voice file. Default: Voxa.\n"
    "  --wav OUT.wav      render to a 16-bit mono 11025 Hz WAV file instead of\n"
    "                     playing, as fast as the machine allows. The file holds\n"
    "                     what the window plays: 4961 samples of silence (the\n"
    "                     450 ms start delay, 450 * 11025 / 1000 rounded down),\n"
    "                     then the clip of every phoneme back to back, ending\n"
    "                     with the last clip. A text that sounds no phoneme\n"
    "                     gives a file with no samples.\n"
    "  --phonetic         TEXT is already a phonetic string; speak it as given.\n"
    "  --audio BACKEND    where live speech goes: portaudio (the default\n"
    "                     speakers), null or wav:OUT.wav (written at real-time\n"
    "                     pace). Default: $VOCALITH_AUDIO, else portaudio.\n"
    "                     Not used with --wav.\n"
    "  --help             print this text.\n";

struct SayOptions {
    std::string voice = "Voxa";
    std::string wavPath;
    bool wav = false;
    bool phonetic = false;
    std::string audio;
    std::vector<std::string> words;
};

// Parses argv[1..]; returns -1 when the options are usable, else an exit status.
int ParseSay(int argc, char** argv, SayOptions& options) {
    bool onlyText = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (onlyText || arg.size() < 2 || arg[0] != '-') {
            options.words.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyText = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kSayUsage, stdout);
            return EXIT_OK;
        }
        if (arg == "--phonetic") {
            options.phonetic = true;
            continue;
        }
        // Options with a value: "--opt VALUE" or "--opt=VALUE".
        std::string_view key = arg;
        std::string value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
            key = arg.substr(0, eq);
            value = std::string(arg.substr(eq + 1));
            hasValue = true;
        }
        if (key != "--voice" && key != "--wav" && key != "--audio") {
            return Fail(EXIT_USAGE, "say: unknown option '" + std::string(arg) + "' (try --help)");
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                return Fail(EXIT_USAGE, "say: option " + std::string(key) + " needs a value");
            }
            value = argv[++i];
        }
        if (key == "--voice") {
            options.voice = value;
        } else if (key == "--wav") {
            if (value.empty()) return Fail(EXIT_USAGE, "say: option --wav needs a file name");
            options.wavPath = value;
            options.wav = true;
        } else {
            options.audio = value;
        }
    }
    return -1;
}

bool EndsWith(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// Loads the chosen voice into the PhonTable; returns -1 on success, else an
// exit status after one error line.
int LoadChosenVoice(const std::string& voice) {
    std::filesystem::path path;
    if (voice.find('/') != std::string::npos || EndsWith(voice, ".voc")) {
        path = voice;
    } else {
        std::string reason;
        const voice::VoiceNameCheck check = voice::CheckVoiceName(voice, &reason);
        if (check == voice::VoiceNameCheck::TooShort) {
            return Fail(EXIT_FAILURE_,
                        "unknown voice '" + voice + "': a voice name has at least 2 characters");
        }
        if (check == voice::VoiceNameCheck::Refused) {
            return Fail(EXIT_FAILURE_, "unknown voice '" + voice + "': " + reason);
        }
        path = voice::VoiceFilePath(base::ProgramFolder(), voice);
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            return Fail(EXIT_FAILURE_,
                        "unknown voice '" + voice + "' (no file " + path.string() + ")");
        }
    }
    const voice::VoiceResult loaded = voice::LoadVoice(path);
    if (!loaded) return Fail(EXIT_FAILURE_, "cannot load voice: " + loaded.reason);
    return -1;
}

std::string ReadAll(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The phonetic string of `text`, with an output capacity that never cuts:
// the capacity grows until the result leaves room to spare.
std::string Translate(const std::string& text) {
    size_t capacity = text.size() * 16 + 1024;
    for (;;) {
        if (capacity > 0x7FFFFFF0u) capacity = 0x7FFFFFF0u;
        std::vector<char> out(capacity, '\0');
        const int32_t length =
            translate::TranslateText(text.c_str(), out.data(), static_cast<int32_t>(capacity));
        const size_t used = length > 0 ? static_cast<size_t>(length) : 0;
        if (used + 2 < capacity || capacity == 0x7FFFFFF0u) return std::string(out.data(), used);
        capacity *= 2;
    }
}

// Live playback: the sound window's stream fed by the audio pump at its real
// 10 ms rhythm, as in the window; returns once the speech has been heard.
class NoMessages final : public engine::MessageSink {
  public:
    void ShowMessage(std::string_view, std::string_view) override {}
};

int SpeakLive(const std::string& phonetic, const std::string& backendSpec) {
    std::string error;
    std::unique_ptr<device::AudioBackend> backend = device::MakeBackend(backendSpec, &error);
    if (!backend) return Fail(EXIT_USAGE, "say: " + error);

    // Only the output device: speaking needs no microphone.
    device::QueueDispatcher dispatcher;
    engine::ResetPump();
    mixer::ClearAllChannels(mixer::TheMixer());
    // The stream's one-time failure box has no place on a command line: the
    // failure is reported below as the command's one error line.
    NoMessages noMessages;
    engine::CSoundWnd window(backend->OpenOutput(), nullptr, &dispatcher, &noMessages);
    window.Create();
    if (window.speechCreated == 0) {
        return Fail(EXIT_FAILURE_,
                    "no audio output device (try --audio wav:OUT.wav, or --wav OUT.wav to render)");
    }

    voice::SpeakPhonetic(phonetic.c_str());
    const mixer::MixerChannel& speech = mixer::TheMixer().channels[mixer::SPEECH_CHANNEL];
    const int32_t queued = speech.queuedSamples;
    // Never wait longer than the speech lasts, plus the start delay and slack.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(int64_t{queued} * 1000 / 11025 + 5000);
    const auto tick = std::chrono::milliseconds(10);

    // The pump's 10 ms rhythm, as in the window, until the channel is drained.
    while (speech.head != nullptr && std::chrono::steady_clock::now() < deadline) {
        dispatcher.RunPending();
        engine::AudioPump();
        std::this_thread::sleep_for(tick);
    }
    // A short utterance may leave the stream waiting for a quarter second of
    // data before the device starts: a little silence gets it going.
    if (window.speechStartPending != 0) {
        window.WriteSpeech(nullptr, engine::SPEECH_STREAM_BYTES / 16 + 2);
    }
    // Then wait until the device has played up to the last byte written.
    const uint32_t end = window.speechWritePos;
    uint32_t lastDistance = UINT32_MAX;
    while (window.speechBuffer && std::chrono::steady_clock::now() < deadline) {
        dispatcher.RunPending();
        uint32_t play = 0;
        uint32_t write = 0;
        if (window.speechBuffer->GetCurrentPosition(play, write) != device::DeviceResult::Ok) {
            break;
        }
        const uint32_t distance =
            (end + window.speechBytes - play) % std::max<uint32_t>(window.speechBytes, 1);
        // The distance shrinks while the device plays towards the end; once
        // the play cursor has passed it, it jumps up again.
        if (distance > lastDistance || distance == 0) break;
        lastDistance = distance;
        std::this_thread::sleep_for(tick);
    }
    window.ShutdownAudio();
    return EXIT_OK;
}

int RenderToWav(const std::string& phonetic, const std::string& wavPath) {
    const std::vector<int16_t> samples = voice::RenderPhoneticToSamples(phonetic.c_str());
    const base::Result written = wave::WriteWavFile(wavPath, samples);
    if (!written) return Fail(EXIT_FAILURE_, written.reason);
    return EXIT_OK;
}

}  // namespace

int RunSay(int argc, char** argv) {
    SayOptions options;
    if (const int status = ParseSay(argc, argv, options); status >= 0) return status;

    std::string text;
    if (options.words.empty()) {
        text = ReadAll(std::cin);
    } else {
        for (size_t i = 0; i < options.words.size(); ++i) {
            if (i > 0) text += ' ';
            text += options.words[i];
        }
    }

    voice::ResetSoundTables();
    if (const int status = LoadChosenVoice(options.voice); status >= 0) return status;

    const std::string phonetic = options.phonetic ? text : Translate(text);
    if (options.wav) return RenderToWav(phonetic, options.wavPath);
    return SpeakLive(phonetic, options.audio);
}

}  // namespace vocalith::cli
