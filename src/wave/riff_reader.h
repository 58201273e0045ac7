#pragma once
// The sound-effect loader's own RIFF walk for WAVE files: finds the RIFF form
// of type "WAVE" among the top-level chunks, then the "fmt " chunk and, after
// it, the "data" chunk. It seeks from chunk header to chunk header and reads
// only the headers, the format record and (on request) the data chunk, never
// a whole file. Chunks are padded to even sizes. Every length is checked
// against the bytes actually present, so a truncated or lying file is
// reported, never read past. Integers are little-endian.
//
// The outcomes are base::Result codes, RIFF_ERR_*; the sound-effect loader
// turns them into its own codes.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "base/file_io.h"
#include "base/result.h"
#include "wave/pcm_format.h"

namespace vocalith::wave {

// What the walk can find wrong.
inline constexpr int32_t RIFF_ERR_OPEN = -1;          // the file cannot be opened or read
inline constexpr int32_t RIFF_ERR_NOT_WAVE = -2;      // no RIFF form of type "WAVE"
inline constexpr int32_t RIFF_ERR_NO_FORMAT = -3;     // the form holds no "fmt " chunk
inline constexpr int32_t RIFF_ERR_FORMAT_SHORT = -4;  // the "fmt " chunk cannot be read whole
inline constexpr int32_t RIFF_ERR_NO_DATA = -5;       // no "data" chunk after the "fmt " chunk
inline constexpr int32_t RIFF_ERR_DATA_EMPTY = -6;    // the "data" chunk is empty
inline constexpr int32_t RIFF_ERR_DATA_READ = -7;     // the data cannot be read whole

// Where the walk reads: a file or bytes in memory.
class RiffSource {
  public:
    virtual ~RiffSource() = default;
    virtual uint64_t Size() const = 0;
    // Up to `count` bytes at `offset`; `got` is less only at the end.
    virtual base::Result Read(uint64_t offset, void* bytes, size_t count, size_t& got) const = 0;
};

class MemorySource final : public RiffSource {
  public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    base::Result Read(uint64_t offset, void* bytes, size_t count, size_t& got) const override;

  private:
    std::span<const uint8_t> bytes_;
};

// A regular file, opened without blocking (base::OpenRegularFile).
class FileSource final : public RiffSource {
  public:
    // RIFF_ERR_OPEN with the reason when the file cannot be opened or is
    // not a regular file.
    base::Result Open(const std::filesystem::path& path);
    uint64_t Size() const override { return size_; }
    base::Result Read(uint64_t offset, void* bytes, size_t count, size_t& got) const override;

  private:
    std::filesystem::path path_;
    base::UniqueFd fd_;
    uint64_t size_ = 0;
};

// What the walk found.
struct WaveChunks {
    PcmFormat format;          // from the "fmt " chunk; fields it lacks read as 0
    uint32_t dataSize = 0;     // declared size of the "data" chunk
    uint64_t dataOffset = 0;   // where its bytes begin in the source
    uint64_t dataPresent = 0;  // how many of them the source holds (<= dataSize)
};

// Walks the source; RESULT_OK or RIFF_ERR_OPEN..RIFF_ERR_DATA_EMPTY.
base::Result FindWaveChunks(const RiffSource& source, WaveChunks& chunks);

// Reads the data chunk's bytes present in the source (chunks.dataPresent of
// them) into `data`; RIFF_ERR_DATA_READ when they cannot be read.
base::Result ReadWaveData(const RiffSource& source, const WaveChunks& chunks,
                          std::vector<uint8_t>& data);

// A WAVE image in memory, walked as a file would be.
struct WaveView {
    base::Result status;
    PcmFormat format;
    uint32_t dataSize = 0;
    // The part of the data chunk present in the input: data.size() <
    // dataSize when the image is cut short. Points into the input.
    std::span<const uint8_t> data;
};
WaveView ParseWave(std::span<const uint8_t> bytes);

}  // namespace vocalith::wave
