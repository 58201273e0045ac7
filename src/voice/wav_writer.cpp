#include "voice/wav_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "wave/byte_order.h"

namespace vocalith::voice {

std::vector<uint8_t> EncodeWav(std::span<const int16_t> samples, uint32_t sampleRate) {
    // The RIFF sizes are 32-bit; a longer recording is cut to what fits.
    constexpr size_t kMaxData = std::numeric_limits<uint32_t>::max() - 64;
    size_t dataBytes = samples.size() * 2;
    if (dataBytes > kMaxData) dataBytes = kMaxData & ~size_t{1};
    std::vector<uint8_t> out(WAV_HEADER_BYTES + dataBytes);
    uint8_t* h = out.data();
    std::memcpy(h, "RIFF", 4);
    wave::WriteLe32(h + 4, static_cast<uint32_t>(36 + dataBytes));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    wave::WriteLe32(h + 16, 16);              // size of the format record
    wave::WriteLe16(h + 20, 1);               // PCM
    wave::WriteLe16(h + 22, 1);               // mono
    wave::WriteLe32(h + 24, sampleRate);      // samples per second
    wave::WriteLe32(h + 28, sampleRate * 2);  // bytes per second
    wave::WriteLe16(h + 32, 2);               // block align
    wave::WriteLe16(h + 34, 16);              // bits per sample
    std::memcpy(h + 36, "data", 4);
    wave::WriteLe32(h + 40, static_cast<uint32_t>(dataBytes));
    uint8_t* data = h + WAV_HEADER_BYTES;
    for (size_t i = 0; i < dataBytes / 2; ++i) {
        wave::WriteLe16(data + 2 * i, static_cast<uint16_t>(samples[i]));
    }
    return out;
}

VoiceResult WriteWavFile(const std::filesystem::path& path, std::span<const int16_t> samples,
                         uint32_t sampleRate) {
    const std::vector<uint8_t> bytes = EncodeWav(samples, sampleRate);
    const std::string name = path.string();
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr)
        return VoiceResult{false, "cannot create " + name + ": " + std::strerror(errno)};
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    int err = written == bytes.size() ? 0 : errno;
    if (std::fclose(file) != 0 && err == 0) err = errno;
    if (written != bytes.size() || err != 0) {
        std::remove(name.c_str());
        return VoiceResult{false, "cannot write " + name + ": " + std::strerror(err ? err : EIO)};
    }
    return VoiceResult{true, {}};
}

}  // namespace vocalith::voice
