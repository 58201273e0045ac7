#pragma once
// Rendered speech to an audio file in the format its name asks for: the
// extension picks the encoding, and WavWriter writes it (WAV growing into
// RF64, FLAC, Ogg Vorbis, Ogg Opus, MP3). Samples come in the system format;
// for an encoding that does not take the system rate (Opus) they are
// converted on the way by libsoxr, a block at a time, so memory stays bounded
// however long the speech.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "base/result.h"
#include "wave/rate_converter.h"
#include "wave/wav_writer.h"

namespace vocalith::wave {

// The extensions EncodingForPath knows, for messages.
inline constexpr const char* AUDIO_FILE_EXTENSIONS = ".wav, .flac, .ogg, .opus or .mp3";

// The encoding the extension of `path` names (letter case ignored): .wav,
// .flac, .ogg or .oga (Vorbis), .opus, .mp3. A name without an extension (a
// device such as /dev/null) and "-" (standard output) are WAV. Nothing for
// any other extension.
std::optional<AudioEncoding> EncodingForPath(const std::filesystem::path& path);

// The sample rate a file in `encoding` gets for speech at SYSTEM_SAMPLE_RATE:
// the system rate, or for Opus the lowest rate it takes that keeps every
// frequency of the speech.
uint32_t FileSampleRate(AudioEncoding encoding);

class AudioFileWriter {
  public:
    base::Result Open(const std::filesystem::path& path, AudioEncoding encoding);
    base::Result Append(std::span<const int16_t> samples);
    // Ends the file; the converter's last samples go in first.
    base::Result Finish();

  private:
    // Converts the samples and writes what comes out; with no samples,
    // drains the converter.
    base::Result Convert(std::span<const int16_t> samples);

    WavWriter writer_;
    RateConverter converter_;
    bool convert_ = false;
    uint32_t rate_ = SYSTEM_SAMPLE_RATE;
    uint64_t framesIn_ = 0;   // system-rate samples converted
    uint64_t framesOut_ = 0;  // file-rate samples written
    std::vector<float> in_;
    std::vector<float> out_;
    std::vector<int16_t> converted_;
};

}  // namespace vocalith::wave
