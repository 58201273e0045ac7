// Feeds arbitrary bytes to the sound-effect loader's RIFF walk: it must never
// read outside the input, report only its own codes, and what it reports
// must lie inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "wave/riff_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vocalith::wave;
    const std::span<const uint8_t> bytes(data, size);
    const WaveView view = ParseWave(bytes);
    if (!view.status) {
        if (view.status.code < RIFF_ERR_DATA_EMPTY || view.status.code > RIFF_ERR_NOT_WAVE)
            std::abort();
        return 0;
    }
    if (view.dataSize == 0 || view.data.size() > view.dataSize) std::abort();
    if (!view.data.empty() &&
        (view.data.data() < data || view.data.data() + view.data.size() > data + size)) {
        std::abort();
    }
    // The walk over a source reads the same data.
    const MemorySource source(bytes);
    WaveChunks chunks;
    if (!FindWaveChunks(source, chunks)) std::abort();
    std::vector<uint8_t> read;
    if (!ReadWaveData(source, chunks, read)) std::abort();
    if (read.size() != view.data.size()) std::abort();
    return 0;
}
