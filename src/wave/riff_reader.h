#pragma once
// A small RIFF chunk reader for WAVE files: finds the RIFF form of type
// "WAVE" among the top-level chunks, then the "fmt " chunk and, after it, the
// "data" chunk. Chunks are padded to even sizes. Every length is checked
// against the bytes actually present, so a truncated or lying file is
// reported, never read past. Integers are little-endian.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "wave/pcm_format.h"

namespace vocalith::wave {

// Outcome of reading a WAVE file; the values are LoadEffect's codes.
enum class WaveStatus : int32_t {
    Ok = 0,
    NotOpened = -1,    // the file cannot be opened or read
    NoWaveForm = -2,   // no RIFF form of type "WAVE"
    NoFormat = -3,     // the form holds no "fmt " chunk
    FormatShort = -4,  // the "fmt " chunk cannot be read whole
    NoData = -5,       // no "data" chunk after the "fmt " chunk
    DataEmpty = -6,    // the "data" chunk is empty
};

struct WaveView {
    WaveStatus status = WaveStatus::NotOpened;
    PcmFormat format;       // from the "fmt " chunk; fields it lacks read as 0
    uint32_t dataSize = 0;  // declared size of the "data" chunk
    // The part of the data chunk present in the input: data.size() <
    // dataSize when the file is cut short.
    std::span<const uint8_t> data;
};

// Reads a WAVE image held in memory. The view's data points into `bytes`.
WaveView ParseWave(std::span<const uint8_t> bytes);

// Reads a whole file into `out`; false when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out);

}  // namespace vocalith::wave
