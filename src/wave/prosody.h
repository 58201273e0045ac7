#pragma once
// Rate, pitch and volume of speech: a stream of samples made faster or
// slower without changing its pitch, higher or lower without changing its
// speed (both by SoundTouch's time-domain stretching, tuned for speech), and
// louder or quieter by a gain in dB.
//
// The scales, shared by `vocalith-tts say` and the speech-dispatcher module:
//  - rate -100..+100: 0 is the voice's own speed; +100 is 2.5 times as fast,
//    -100 half as fast, geometric in between (+50 is about 1.58x);
//  - pitch -100..+100: 0 is the voice's own pitch; +-100 is an octave up or
//    down, geometric in between (+50 is about six semitones);
//  - volume in dB: 0 leaves the level alone; gains that would pass full
//    scale are clipped there.
// At rate 0 and pitch 0 the samples pass through untouched (only the gain
// applies), so neutral settings give the rendering bit for bit.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "base/result.h"

namespace vocalith::wave {

inline constexpr int32_t RATE_MIN = -100;
inline constexpr int32_t RATE_MAX = 100;
inline constexpr int32_t PITCH_MIN = -100;
inline constexpr int32_t PITCH_MAX = 100;
inline constexpr double VOLUME_MIN_DB = -60.0;  // and anything below is silence
inline constexpr double VOLUME_MAX_DB = 20.0;

struct ProsodySettings {
    int32_t rate = 0;       // RATE_MIN..RATE_MAX
    int32_t pitch = 0;      // PITCH_MIN..PITCH_MAX
    double volumeDb = 0.0;  // <= VOLUME_MAX_DB; below VOLUME_MIN_DB is silence

    bool Stretches() const { return rate != 0 || pitch != 0; }
    bool Neutral() const { return !Stretches() && volumeDb == 0.0; }
};

// The speed factor of a rate (1.0 at 0, 2.5 at +100, 0.5 at -100).
double SpeedOfRate(int32_t rate);
// The frequency factor of a pitch (1.0 at 0, 2.0 at +100, 0.5 at -100).
double FactorOfPitch(int32_t pitch);
// The amplitude factor of a gain in dB (0 below VOLUME_MIN_DB).
double GainOfDb(double db);

// A stream through the settings: samples in, samples out, in order. The
// output of N input samples is N / SpeedOfRate(rate) samples (rounded),
// complete after Finish(); the stretcher holds some input back until then.
class ProsodyStream {
  public:
    using Output = std::function<base::Result(std::span<const int16_t>)>;
    ProsodyStream(const ProsodySettings& settings, Output output);
    ~ProsodyStream();
    ProsodyStream(const ProsodyStream&) = delete;
    ProsodyStream& operator=(const ProsodyStream&) = delete;

    base::Result Put(std::span<const int16_t> samples);
    base::Result Finish();

  private:
    struct State;
    base::Result Drain(bool atEnd);
    std::unique_ptr<State> s_;
};

// The whole of `samples` through the settings.
std::vector<int16_t> ApplyProsody(std::span<const int16_t> samples,
                                  const ProsodySettings& settings);

}  // namespace vocalith::wave
