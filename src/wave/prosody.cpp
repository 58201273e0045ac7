#include "wave/prosody.h"

#include <SoundTouch.h>

#include <algorithm>
#include <cmath>

#include "wave/pcm_format.h"
#include "wave/rate_converter.h"

namespace vocalith::wave {

namespace {

constexpr size_t kChunk = 2048;

// Stretching parameters for speech at 11025 samples per second: sequences of
// 40 ms overlapped by 8 ms, the best match searched within 15 ms. The
// library's music defaults (82 ms sequences) smear short phonemes; shorter
// sequences keep plosives crisp at the cost of a little roughness in long
// vowels. The full search, not the quick one: a whole utterance takes a few
// milliseconds either way.
constexpr int kSequenceMs = 40;
constexpr int kSeekWindowMs = 15;
constexpr int kOverlapMs = 8;

}  // namespace

double SpeedOfRate(int32_t rate) {
    const double r = std::clamp(rate, RATE_MIN, RATE_MAX) / 100.0;
    return r >= 0 ? std::pow(2.5, r) : std::pow(2.0, r);
}

double FactorOfPitch(int32_t pitch) {
    return std::pow(2.0, std::clamp(pitch, PITCH_MIN, PITCH_MAX) / 100.0);
}

double GainOfDb(double db) {
    if (!(db >= VOLUME_MIN_DB)) return 0.0;  // also NaN
    return std::pow(10.0, std::min(db, VOLUME_MAX_DB) / 20.0);
}

struct ProsodyStream::State {
    ProsodySettings settings;
    Output output;
    double gain = 1.0;
    double speed = 1.0;
    soundtouch::SoundTouch stretcher;
    int64_t taken = 0;  // input samples
    int64_t given = 0;  // output samples
    std::vector<float> in;
    std::vector<float> out;
    std::vector<int16_t> block;
};

ProsodyStream::ProsodyStream(const ProsodySettings& settings, Output output)
    : s_(std::make_unique<State>()) {
    s_->settings = settings;
    s_->output = std::move(output);
    s_->gain = GainOfDb(settings.volumeDb);
    s_->speed = SpeedOfRate(settings.rate);
    if (settings.Stretches()) {
        soundtouch::SoundTouch& st = s_->stretcher;
        st.setSampleRate(SYSTEM_SAMPLE_RATE);
        st.setChannels(1);
        st.setSetting(SETTING_SEQUENCE_MS, kSequenceMs);
        st.setSetting(SETTING_SEEKWINDOW_MS, kSeekWindowMs);
        st.setSetting(SETTING_OVERLAP_MS, kOverlapMs);
        st.setSetting(SETTING_USE_QUICKSEEK, 0);
        st.setTempo(s_->speed);
        st.setPitch(FactorOfPitch(settings.pitch));
    }
    s_->in.resize(kChunk);
    s_->out.resize(kChunk);
    s_->block.resize(kChunk);
}

ProsodyStream::~ProsodyStream() = default;

base::Result ProsodyStream::Put(std::span<const int16_t> samples) {
    if (!s_->settings.Stretches()) {
        if (s_->gain == 1.0) return s_->output(samples);
        for (size_t done = 0; done < samples.size();) {
            const size_t n = std::min(kChunk, samples.size() - done);
            for (size_t i = 0; i < n; ++i) {
                s_->block[i] = ClipToSample(static_cast<float>(samples[done + i] * s_->gain));
            }
            if (base::Result r = s_->output({s_->block.data(), n}); !r) return r;
            done += n;
        }
        return {};
    }
    for (size_t done = 0; done < samples.size();) {
        const size_t n = std::min(kChunk, samples.size() - done);
        for (size_t i = 0; i < n; ++i) s_->in[i] = samples[done + i];
        s_->stretcher.putSamples(s_->in.data(), static_cast<unsigned>(n));
        s_->taken += static_cast<int64_t>(n);
        done += n;
        if (base::Result r = Drain(false); !r) return r;
    }
    return {};
}

base::Result ProsodyStream::Drain(bool atEnd) {
    // The output is cut at its exact length: the stretcher's flush pads the
    // end with whatever its last sequence makes of the silence it adds.
    const int64_t expected = std::llround(static_cast<double>(s_->taken) / s_->speed);
    for (;;) {
        const unsigned got = s_->stretcher.receiveSamples(s_->out.data(), kChunk);
        if (got == 0) break;
        const int64_t n = std::min<int64_t>(got, atEnd ? expected - s_->given : got);
        if (n <= 0) continue;
        for (int64_t i = 0; i < n; ++i) {
            s_->block[static_cast<size_t>(i)] =
                ClipToSample(static_cast<float>(s_->out[static_cast<size_t>(i)] * s_->gain));
        }
        s_->given += n;
        if (base::Result r = s_->output({s_->block.data(), static_cast<size_t>(n)}); !r) return r;
    }
    return {};
}

base::Result ProsodyStream::Finish() {
    if (!s_->settings.Stretches()) return {};
    s_->stretcher.flush();
    if (base::Result r = Drain(true); !r) return r;
    // A very short input may leave the stretcher short of the exact length.
    const int64_t expected = std::llround(static_cast<double>(s_->taken) / s_->speed);
    std::fill(s_->block.begin(), s_->block.end(), int16_t{0});
    while (s_->given < expected) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(kChunk, expected - s_->given));
        s_->given += static_cast<int64_t>(n);
        if (base::Result r = s_->output({s_->block.data(), n}); !r) return r;
    }
    return {};
}

std::vector<int16_t> ApplyProsody(std::span<const int16_t> samples,
                                  const ProsodySettings& settings) {
    std::vector<int16_t> out;
    ProsodyStream stream(settings, [&out](std::span<const int16_t> block) {
        out.insert(out.end(), block.begin(), block.end());
        return base::Result{};
    });
    stream.Put(samples);
    stream.Finish();
    return out;
}

}  // namespace vocalith::wave
