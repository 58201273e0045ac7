// Feeds arbitrary bytes to the WAV reader used for the microphone file, and
// whatever it accepts through the conversion to the capture format.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/backends.h"
#include "device/wav_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vocalith::device;
    WavData wav;
    std::string error;
    if (!ParseWav(std::span<const uint8_t>(data, size), wav, &error)) return 0;
    if (wav.data.size() % wav.format.blockAlign != 0) __builtin_trap();
    if (wav.data.size() <= 4096) ConvertToCaptureFormat(wav);  // bounded work per input
    return 0;
}
