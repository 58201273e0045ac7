// Feeds arbitrary bytes to the microphone file's reader (libsndfile through
// our virtual I/O), and whatever it accepts through the conversion to the
// capture format (libsoxr).
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/backends.h"
#include "device/pcm_convert.h"
#include "wave/audio_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vocalith;
    wave::AudioFrames audio;
    // A small limit: a header may claim anything, and the work per input is bounded.
    if (!wave::DecodeAudio(std::span<const uint8_t>(data, size), audio, 1u << 16)) return 0;
    if (audio.channels < 1 || audio.samples.size() % static_cast<size_t>(audio.channels) != 0)
        __builtin_trap();
    if (audio.sampleRate >= device::MIN_RATE && audio.sampleRate <= device::MAX_RATE &&
        audio.Frames() <= 4096) {
        device::ConvertToCaptureFormat(audio);
    }
    return 0;
}
