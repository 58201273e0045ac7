// The say --wav pipeline without the process: translate ~10 KB of English,
// speak it into the mixer and render it on the simulated clock. The
// "audio_x" counter is seconds of audio produced per second of CPU.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "translate/translate.h"
#include "voice/phon_table.h"
#include "voice/phonetic_render.h"

using namespace vocalith;

namespace {

std::string English() {
    const std::string para =
        "The quick brown fox jumps over the lazy dog. On the 3rd of May, 1998, "
        "Dr. Smith paid $42.50 for 17 apples and a pear; nobody knows why. "
        "Speech is made of small sounds, played back to back, one after another.\n";
    std::string text;
    while (text.size() < 10000) text += para;
    return text;
}

// A plausible voice: every phoneme 1200 samples (about 110 ms).
void FillVoice(voice::PhonTable& table) {
    for (int c = 0; c < voice::PHONEME_COUNT; ++c) {
        voice::PhonSlot& s = table.slots[static_cast<size_t>(c)];
        s.count = 1200;
        for (int i = 0; i < s.count; ++i)
            s.samples[static_cast<size_t>(i)] = static_cast<int16_t>((i * (c + 3)) % 20000 - 10000);
    }
}

}  // namespace

static void BM_SayWavPipeline(benchmark::State& state) {
    const std::string text = English();
    const auto table = std::make_unique<voice::PhonTable>();
    FillVoice(*table);
    std::vector<char> phonetic(text.size() * 16 + 1024);
    double audioSeconds = 0;
    for (auto _ : state) {
        translate::TranslateText(text.c_str(), phonetic.data(),
                                 static_cast<int32_t>(phonetic.size()));
        const std::vector<int16_t> samples =
            voice::RenderPhoneticToSamples(phonetic.data(), *table);
        audioSeconds += static_cast<double>(samples.size()) / 11025.0;
        benchmark::DoNotOptimize(samples.data());
    }
    state.counters["audio_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SayWavPipeline)->Unit(benchmark::kMillisecond);
