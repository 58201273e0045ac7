// Feeds arbitrary bytes to the RIFF WAVE reader: it must never read outside
// the input, and what it reports must lie inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "wave/riff_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const vocalith::wave::WaveView view = vocalith::wave::ParseWave(bytes);
    if (view.status == vocalith::wave::WaveStatus::Ok) {
        if (view.dataSize == 0 || view.data.size() > view.dataSize) std::abort();
        if (!view.data.empty() &&
            (view.data.data() < data || view.data.data() + view.data.size() > data + size)) {
            std::abort();
        }
        volatile uint32_t sum = 0;
        for (uint8_t b : view.data) sum = sum + b;
    }
    return 0;
}
