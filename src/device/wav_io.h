#pragma once
// Reading and writing plain RIFF WAVE files for the WAV-file backend: the
// reader takes PCM (8 or 16 bits, mono or stereo) from bytes that may be
// malformed; the writer streams 16-bit samples into a file and keeps its
// header sizes current, so a file cut short by a killed process still reads.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "device/audio_device.h"

namespace vocalith::device {

struct WavData {
    PcmFormat format;
    std::vector<uint8_t> data;  // whole frames only
};

// False with a one-line reason in `error` when the bytes hold no usable PCM.
// A data chunk that claims more bytes than there are is cut to what is there.
bool ParseWav(std::span<const uint8_t> bytes, WavData& out, std::string* error);
bool ReadWavFile(const std::string& path, WavData& out, std::string* error);

class WavWriter {
  public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter() { Close(); }

    // Creates (or empties) `path` and writes a header for `format`.
    bool Open(const std::string& path, const PcmFormat& format, std::string* error);
    // Appends sample bytes; false once a write has failed or the file is full.
    bool Append(const uint8_t* bytes, size_t count);
    // Writes the current sizes into the header and flushes.
    bool UpdateHeader();
    // Updates the header and closes the file.
    void Close();

  private:
    std::FILE* file_ = nullptr;
    uint32_t dataBytes_ = 0;
    bool failed_ = false;
};

}  // namespace vocalith::device
