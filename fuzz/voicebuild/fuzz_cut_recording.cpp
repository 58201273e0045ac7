// Arbitrary bytes as a recording of a prompt word (16-bit samples; the first
// byte picks the phoneme): the cutter either refuses it with a reason or
// gives a cut inside the recording and a clip that fits a PHON. Cut by
// loudness alone, so each input stays quick.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "voice/phon_table.h"
#include "voicebuild/clip_cutter.h"

using namespace vocalith;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool unaligned = setenv("VOCALITH_ACOUSTIC_MODEL", "/nowhere", 1) == 0;
    static auto cutter = std::make_unique<voicebuild::ClipCutter>();
    if (!unaligned || size < 1) return 0;
    const int code = data[0] % voice::PHONEME_COUNT;
    std::vector<int16_t> samples((size - 1) / 2);
    if (!samples.empty()) std::memcpy(samples.data(), data + 1, samples.size() * 2);
    const voicebuild::Cut cut = cutter->CutSystem(samples, code);
    if (!cut.ok()) {
        if (cut.reason.empty()) std::abort();
        return 0;
    }
    if (cut.start > cut.end || cut.end > cut.recording.size()) std::abort();
    if (cut.clip.size() > size_t(voice::PHON_MAX_SAMPLES)) std::abort();
    if (cut.confidence < 0 || cut.confidence > 1) std::abort();
    return 0;
}
