// engine_realtime_run: runs the audio engine as the window does, headless, on
// the WAV-file backend in real time, and prints one summary line.
//
//   engine_realtime_run [--mode idle|speak] [--seconds N] [--voice FILE]
//                       [--dir FOLDER] [--keep] [--stall MS]
//
// idle:  a silent microphone, nothing queued, monitor off.
// speak: the monitor on, a loud speech-like microphone (a noisy buzz whose
//        level rises and falls at syllable rate), and channel 36 kept fed with
//        a translated sentence spoken by the voice (default: voices/Voxa.voc of
//        the program folder, or of ../bin beside it) whenever fewer than two
//        seconds of samples remain queued.
//
// The UI thread is driven like the window's 10 ms timer: sleep until the next
// 10 ms deadline, run the posted notifications, then AudioPump(). Reported:
// process CPU (user+sys, every thread, including the backend's audio
// threads) as % of one core; stream underruns counted by the pump (calls of
// ServiceSpeech that silenced something, and of those the fresh ones); tick
// lateness (wake-up after the deadline) max and mean; the longest pump call;
// peak resident memory; and what the output file holds. --stall MS makes the
// UI thread stop for MS milliseconds once every five seconds, to see that
// breaking the rhythm does show up as underruns.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/program_folder.h"
#include "device/audio_device.h"
#include "device/queue_dispatcher.h"
#include "engine/engine.h"
#include "mixer/mixer.h"
#include "session/session.h"
#include "translate/translate.h"
#include "voice/phon_table.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "wave/audio_file.h"
#include "wave/wav_writer.h"

namespace {

using namespace vocalith;
using SteadyClock = std::chrono::steady_clock;

constexpr int RATE = 11025;
constexpr auto TICK = std::chrono::milliseconds(10);
constexpr int32_t REFILL_BELOW_SAMPLES = 2 * RATE;  // keep about two seconds queued
constexpr const char* SENTENCE =
    "The quick brown fox jumps over the lazy dog, and nobody knows why it does so "
    "every single morning at 7 o'clock.";

struct Options {
    std::string mode = "idle";
    double seconds = 30;
    std::string voice;
    std::string dir;
    bool keep = false;
    int stallMs = 0;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "engine_realtime_run: %s\n"
                 "usage: engine_realtime_run [--mode idle|speak] [--seconds N] [--voice FILE]"
                 " [--dir FOLDER] [--keep] [--stall MS]\n",
                 why);
    std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--mode" && hasValue) {
            o.mode = argv[++i];
        } else if (a == "--seconds" && hasValue) {
            o.seconds = std::atof(argv[++i]);
        } else if (a == "--voice" && hasValue) {
            o.voice = argv[++i];
        } else if (a == "--dir" && hasValue) {
            o.dir = argv[++i];
        } else if (a == "--stall" && hasValue) {
            o.stallMs = std::atoi(argv[++i]);
        } else if (a == "--keep") {
            o.keep = true;
        } else {
            Usage(("unknown or incomplete argument '" + a + "'").c_str());
        }
    }
    if (o.mode != "idle" && o.mode != "speak") Usage("--mode takes idle or speak");
    if (!(o.seconds > 0 && o.seconds < 24 * 3600)) Usage("--seconds takes a positive number");
    return o;
}

double CpuSeconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// A speech-like microphone: a 110 Hz sawtooth buzz mixed with noise, its
// level rising and falling at 4 syllables a second (never quite to silence).
std::vector<int16_t> SpeechLikeInput(double seconds) {
    const auto n = static_cast<size_t>(seconds * RATE);
    std::vector<int16_t> out(n);
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const double pi = std::acos(-1.0);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / RATE;
        const double saw = 2.0 * std::fmod(t * 110.0, 1.0) - 1.0;
        const double envelope = 0.3 + 0.7 * 0.5 * (1.0 - std::cos(2.0 * pi * 4.0 * t));
        const double v = envelope * (0.6 * saw + 0.4 * noise(random)) * 4000.0;
        out[i] = static_cast<int16_t>(std::lround(v));
    }
    return out;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples) {
    const base::Result written = wave::WriteWavFile(path, samples);
    if (!written) std::fprintf(stderr, "engine_realtime_run: %s\n", written.reason.c_str());
    return written.ok();
}

// The share of 512-byte blocks of `samples` the pump's detector counts as
// speech (with the engine's gain and threshold).
double DetectorPassShare(const engine::Engine& engine, std::vector<int16_t> samples) {
    const size_t block = engine::CAPTURE_BLOCK_BYTES / 2;
    size_t blocks = 0;
    size_t passed = 0;
    for (size_t i = 0; i + block <= samples.size(); i += block) {
        int32_t peak = 0;
        const int32_t mean = engine::MeasureLevel(samples.data() + i, engine::CAPTURE_BLOCK_BYTES,
                                                  peak, engine.InputGain);
        ++blocks;
        if (mean > engine.VoiceThreshold &&
            static_cast<int64_t>(peak) > 4 * static_cast<int64_t>(engine.VoiceThreshold)) {
            ++passed;
        }
    }
    return blocks ? 100.0 * static_cast<double>(passed) / static_cast<double>(blocks) : 0.0;
}

std::filesystem::path FindVoice(const std::string& given) {
    namespace fs = std::filesystem;
    if (!given.empty()) return given;
    const fs::path here = voice::VoiceFilePath(base::ExecutableFolder(), "Voxa");
    std::error_code ec;
    if (fs::exists(here, ec)) return here;
    // Built into bench-bin/: the program folder's data is in bin/ beside it.
    return voice::VoiceFilePath(base::ExecutableFolder().parent_path() / "bin", "Voxa");
}

struct OutputSummary {
    double seconds = 0;
    double soundingShare = 0;  // % of 10 ms windows with any sample beyond +-64
    double longestQuietMs = 0;
};

OutputSummary SummarizeOutput(const std::string& path) {
    OutputSummary s;
    wave::AudioFrames wav;
    if (!wave::ReadAudioFile(path, wav)) return s;
    const size_t n = wav.samples.size();
    s.seconds = static_cast<double>(n) / RATE;
    const size_t window = RATE / 100;
    size_t windows = 0;
    size_t sounding = 0;
    size_t quietRun = 0;
    size_t longestQuiet = 0;
    bool started = false;
    for (size_t w = 0; w + window <= n; w += window) {
        bool loud = false;
        for (size_t i = w; i < w + window && !loud; ++i) {
            const int16_t v = wav.samples[i];
            loud = v > 64 || v < -64;
        }
        ++windows;
        if (loud) {
            ++sounding;
            started = true;
            quietRun = 0;
        } else if (started) {
            longestQuiet = std::max(longestQuiet, ++quietRun);
        }
    }
    s.soundingShare = windows ? 100.0 * static_cast<double>(sounding) / windows : 0.0;
    s.longestQuietMs = static_cast<double>(longestQuiet) * 10.0;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const Options opt = ParseOptions(argc, argv);
    const bool speak = opt.mode == "speak";
    namespace fs = std::filesystem;

    std::error_code ec;
    const fs::path dir = opt.dir.empty() ? fs::temp_directory_path(ec) /
                                               ("engine_realtime_run." + std::to_string(getpid()))
                                         : fs::path(opt.dir);
    fs::create_directories(dir, ec);
    const std::string outPath = (dir / "out.wav").string();
    const std::string inPath = (dir / "in.wav").string();

    // The microphone lasts the whole run (a little more for start-up).
    const double inputSeconds = opt.seconds + 5;
    std::vector<int16_t> input =
        speak ? SpeechLikeInput(inputSeconds)
              : std::vector<int16_t>(static_cast<size_t>(inputSeconds * RATE));
    const auto session = std::make_unique<session::Session>();
    engine::Engine& engine = session->engine;
    const double detectorShare = DetectorPassShare(engine, input);
    if (!WriteWav(inPath, input)) return 1;
    input = {};

    std::vector<char> phonetic(4096);
    if (speak) {
        const fs::path voicePath = FindVoice(opt.voice);
        const voice::VoiceResult loaded = voice::LoadVoice(voicePath, session->phonTable);
        if (!loaded) {
            std::fprintf(stderr, "engine_realtime_run: cannot load voice '%s': %s\n",
                         voicePath.c_str(), loaded.reason.c_str());
            return 1;
        }
        translate::TranslateText(SENTENCE, phonetic.data(), static_cast<int32_t>(phonetic.size()));
    }

    std::string error;
    std::unique_ptr<device::AudioBackend> backend =
        device::MakeBackend("wav:" + outPath + "," + inPath, &error);
    if (!backend) {
        std::fprintf(stderr, "engine_realtime_run: %s\n", error.c_str());
        return 1;
    }

    device::QueueDispatcher dispatcher;
    uint32_t underrunCalls = 0;
    uint32_t underrunEvents = 0;
    int64_t ticks = 0;
    int64_t missedTicks = 0;
    int64_t refills = 0;
    double maxLateMs = 0;
    double sumLateMs = 0;
    double maxPumpMs = 0;
    double sumPumpMs = 0;
    rusage before{};
    rusage after{};
    double wallSeconds = 0;
    {
        engine::CSoundWnd& window = engine.OpenSoundWindow(backend.get(), &dispatcher);
        window.Create();
        engine.MonitorEnabled = speak ? 1 : 0;
        const uint32_t callsAtStart = engine.speechUnderrunCalls;
        const uint32_t eventsAtStart = engine.speechUnderrunEvents;

        getrusage(RUSAGE_SELF, &before);
        const auto start = SteadyClock::now();
        const auto end = start + std::chrono::duration_cast<SteadyClock::duration>(
                                     std::chrono::duration<double>(opt.seconds));
        auto deadline = start + TICK;
        while (deadline <= end) {
            std::this_thread::sleep_until(deadline);
            const auto woke = SteadyClock::now();
            const double late = std::chrono::duration<double, std::milli>(woke - deadline).count();
            maxLateMs = std::max(maxLateMs, late);
            sumLateMs += late;
            ++ticks;

            if (speak) {
                const mixer::MixerChannel& ch = engine.mixer.channels[mixer::SPEECH_CHANNEL];
                if (ch.queuedSamples - ch.position < REFILL_BELOW_SAMPLES) {
                    voice::SpeakPhonetic(engine.mixer, session->phonTable, phonetic.data());
                    ++refills;
                }
            }
            dispatcher.RunPending();
            engine.AudioPump();
            const double pumpMs =
                std::chrono::duration<double, std::milli>(SteadyClock::now() - woke).count();
            maxPumpMs = std::max(maxPumpMs, pumpMs);
            sumPumpMs += pumpMs;
            if (opt.stallMs > 0 && ticks % 500 == 250) {
                std::this_thread::sleep_for(std::chrono::milliseconds(opt.stallMs));
            }

            const auto done = SteadyClock::now();
            deadline += TICK;
            if (deadline + TICK < done) {  // a whole tick was lost: go on from now
                const auto lost = (done - deadline) / TICK;
                missedTicks += lost;
                deadline += lost * TICK;
            }
        }
        wallSeconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
        getrusage(RUSAGE_SELF, &after);
        underrunCalls = engine.speechUnderrunCalls - callsAtStart;
        underrunEvents = engine.speechUnderrunEvents - eventsAtStart;
        engine.CloseSoundWindow();
    }
    dispatcher.RunPending();  // what the devices posted before they stopped

    const double cpu = CpuSeconds(after) - CpuSeconds(before);
    const OutputSummary out = SummarizeOutput(outPath);
    std::printf(
        "mode=%s seconds=%.1f cpu=%.3fs cpu%%=%.2f underruns=%u (pump calls silencing %u) "
        "ticks=%lld missed=%lld late_max=%.2fms late_avg=%.3fms pump_max=%.2fms "
        "pump_avg=%.3fms maxrss=%ldKiB refills=%lld mic_speech_blocks=%.0f%% "
        "out=%.1fs sounding=%.0f%% longest_quiet=%.0fms\n",
        opt.mode.c_str(), wallSeconds, cpu, wallSeconds > 0 ? 100.0 * cpu / wallSeconds : 0.0,
        underrunEvents, underrunCalls, static_cast<long long>(ticks),
        static_cast<long long>(missedTicks), maxLateMs,
        ticks ? sumLateMs / static_cast<double>(ticks) : 0.0, maxPumpMs,
        ticks ? sumPumpMs / static_cast<double>(ticks) : 0.0, after.ru_maxrss,
        static_cast<long long>(refills), detectorShare, out.seconds, out.soundingShare,
        out.longestQuietMs);
    if (!opt.keep) {
        fs::remove(outPath, ec);
        fs::remove(inPath, ec);
        if (opt.dir.empty()) fs::remove(dir, ec);
    }
    return 0;
}
