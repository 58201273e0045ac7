#pragma once
// The one audio-file writer: 16-bit mono PCM RIFF WAVE (11025 samples/s
// unless told otherwise), or FLAC, Ogg Vorbis, Ogg Opus or MP3, encoded by
// libsndfile, streamed block by block.
//
// Where the bytes go:
//  - a regular file (or the regular file a symlink points to), or a path
//    that does not exist yet: a temporary file in the same folder, renamed
//    over the target only by Finish, once every byte is written and synced;
//    any failure, or a writer dropped before Finish, removes the temporary
//    file and leaves the old file exactly as it was;
//  - anything else (a device such as /dev/null or /dev/full, a FIFO, and
//    standard output for the path "-"): written in place, never unlinked,
//    unless the writer is opened for files only (WavTarget::FileOnly), when
//    it is refused. The target is opened without blocking: a FIFO that no
//    program opens for reading within FIFO_READER_WAIT is refused. A stream
//    cannot be rewound to correct the header, so the first STREAM_HOLD_BYTES
//    are held back until Finish (a short file comes out byte for byte as a
//    regular file would); a longer WAV stream is let go with RIFF and data
//    sizes of 0xFFFFFFFF, which readers take as "up to the end".
//
// Every write, sync and close failure is reported as a base::Result whose
// reason names the path, and the writer refuses further blocks after one.
//
// A WAVE file cannot describe more than WAV_MAX_DATA_BYTES of samples (its
// sizes are 32-bit). A file (or memory image) that grows past that becomes
// RF64, the same samples behind a header with 64-bit sizes: RF64_DATA_OFFSET
// bytes are put in front of the file (without copying where the file system
// can insert a range), and from then on the writer writes the samples and
// the header itself. A file that stays below the limit is plain WAVE, byte
// for byte. A stream has let its header go long before and simply goes on.
// The header never claims bytes that are not in the file.
#include <chrono>
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
inline constexpr std::chrono::milliseconds FIFO_READER_WAIT{2000};
// Where the samples of a file that became RF64 begin: one file-system block
// more than in the plain WAVE file it was.
inline constexpr uint64_t RF64_DATA_OFFSET = 4096 + 44;

// What a writer encodes.
enum class AudioEncoding {
    Wav,     // 16-bit PCM RIFF WAVE, RF64 past WAV_MAX_DATA_BYTES
    Flac,    // 16-bit FLAC
    Vorbis,  // Ogg Vorbis
    Opus,    // Ogg Opus; the sample rate must be one Opus takes (OPUS_SAMPLE_RATES)
    Mp3,     // MPEG layer III
};
inline constexpr uint32_t OPUS_SAMPLE_RATES[] = {8000, 12000, 16000, 24000, 48000};

// What a path may name.
enum class WavTarget {
    FileOrStream,  // a regular file, or a stream written in place
    FileOnly,      // a regular file (or none yet); anything else is refused
};

class WavWriter {
  public:
    WavWriter();
    ~WavWriter();  // an unfinished writer is abandoned: see Abandon()
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Starts a file at `path` ("-" is standard output).
    base::Result Open(const std::filesystem::path& path, uint32_t sampleRate = SYSTEM_SAMPLE_RATE,
                      AudioEncoding encoding = AudioEncoding::Wav,
                      WavTarget target = WavTarget::FileOrStream);
    // Starts an image in memory; Finish() leaves the bytes in `*out`.
    base::Result OpenMemory(std::vector<uint8_t>* out, uint32_t sampleRate = SYSTEM_SAMPLE_RATE,
                            AudioEncoding encoding = AudioEncoding::Wav);
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
    // Lowers the WAVE data limit (tests reach RF64 without writing 4 GiB).
    void SetDataLimit(uint64_t bytes) { limit_ = bytes < WAV_MAX_DATA_BYTES ? bytes : limit_; }

    struct Sink;  // the bytes' way out: a file, a stream or memory

  private:
    base::Result Start(uint32_t sampleRate, AudioEncoding encoding);
    base::Result Failed(base::Result why);
    // Turns the plain WAVE file written so far into RF64.
    base::Result BecomeRf64();
    base::Result WriteRf64Header();
    base::Result AppendRf64(std::span<const int16_t> samples);

    std::unique_ptr<Sink> sink_;
    void* file_ = nullptr;  // the libsndfile handle (SNDFILE*)
    uint64_t dataBytes_ = 0;
    uint64_t limit_ = WAV_MAX_DATA_BYTES;
    uint32_t sampleRate_ = SYSTEM_SAMPLE_RATE;
    AudioEncoding encoding_ = AudioEncoding::Wav;
    bool rf64_ = false;     // the writer writes the samples itself, libsndfile is done
    base::Result failure_;  // the first failure; every later call repeats it
};

// A whole file at once through WavWriter.
base::Result WriteWavFile(const std::filesystem::path& path, std::span<const int16_t> samples,
                          uint32_t sampleRate = SYSTEM_SAMPLE_RATE,
                          WavTarget target = WavTarget::FileOrStream);

// The bytes WriteWavFile would write.
std::vector<uint8_t> EncodeWav(std::span<const int16_t> samples,
                               uint32_t sampleRate = SYSTEM_SAMPLE_RATE);

}  // namespace vocalith::wave
