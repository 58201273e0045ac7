#pragma once
// The one WAV writer: 16-bit mono PCM RIFF WAVE (11025 samples/s unless told
// otherwise), encoded by libsndfile, streamed block by block.
//
// Where the bytes go:
//  - a regular file (or the regular file a symlink points to), or a path
//    that does not exist yet: a temporary file in the same folder, renamed
//    over the target only by Finish, once every byte is written and synced;
//    any failure, or a writer dropped before Finish, removes the temporary
//    file and leaves the old file exactly as it was;
//  - anything else (a device such as /dev/null or /dev/full, a FIFO, and
//    standard output for the path "-"): written in place, never unlinked.
//    A stream cannot be rewound to correct the header, so the first
//    STREAM_HOLD_BYTES are held back until Finish (a short file comes out
//    byte for byte as a regular file would); a longer stream is let go with
//    a header that claims exactly the bytes held at that moment.
//
// Every write, sync and close failure is reported as a base::Result whose
// reason names the path, and the writer refuses further blocks after one. A
// WAVE file cannot describe more than WAV_MAX_DATA_BYTES of samples (its
// sizes are 32-bit): a block that would pass that fails with a reason rather
// than being cut. The header never claims bytes that are not in the file.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "base/result.h"
#include "wave/pcm_format.h"

namespace vocalith::wave {

// The largest data chunk a RIFF WAVE file of 16-bit samples can hold: its
// RIFF size (36 + data bytes) must fit in 32 bits, in whole samples.
inline constexpr uint64_t WAV_MAX_DATA_BYTES = (0xFFFFFFFFull - 36u) & ~uint64_t{1};
inline constexpr size_t STREAM_HOLD_BYTES = 1u << 24;

class WavWriter {
  public:
    WavWriter();
    ~WavWriter();  // an unfinished writer is abandoned: see Abandon()
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Starts a file at `path` ("-" is standard output).
    base::Result Open(const std::filesystem::path& path, uint32_t sampleRate = SYSTEM_SAMPLE_RATE);
    // Starts an image in memory; Finish() leaves the bytes in `*out`.
    base::Result OpenMemory(std::vector<uint8_t>* out, uint32_t sampleRate = SYSTEM_SAMPLE_RATE);
    // Appends samples; fails (and keeps failing) once anything went wrong.
    base::Result Append(std::span<const int16_t> samples);
    // Brings the header up to date with the samples written so far.
    base::Result UpdateHeader();
    // Completes the file: header, sync, close, and for a regular file the
    // rename over the target. The writer is closed afterwards either way.
    base::Result Finish();
    // Drops an unfinished file: a temporary file is removed, a stream is
    // closed as it stands. Nothing is reported.
    void Abandon();

    bool IsOpen() const;
    uint64_t DataBytes() const { return dataBytes_; }
    // Lowers the data limit (tests reach it without writing 4 GiB).
    void SetDataLimit(uint64_t bytes) { limit_ = bytes < WAV_MAX_DATA_BYTES ? bytes : limit_; }

    struct Sink;  // the bytes' way out: a file, a stream or memory

  private:
    base::Result Start(uint32_t sampleRate);
    base::Result Failed(base::Result why);

    std::unique_ptr<Sink> sink_;
    void* file_ = nullptr;  // the libsndfile handle (SNDFILE*)
    uint64_t dataBytes_ = 0;
    uint64_t limit_ = WAV_MAX_DATA_BYTES;
    base::Result failure_;  // the first failure; every later call repeats it
};

// A whole file at once through WavWriter.
base::Result WriteWavFile(const std::filesystem::path& path, std::span<const int16_t> samples,
                          uint32_t sampleRate = SYSTEM_SAMPLE_RATE);

// The bytes WriteWavFile would write.
std::vector<uint8_t> EncodeWav(std::span<const int16_t> samples,
                               uint32_t sampleRate = SYSTEM_SAMPLE_RATE);

}  // namespace vocalith::wave
