#include "voice/wav_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace vocalith::voice {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutTag(std::vector<uint8_t>& out, const char (&tag)[5]) {
    out.insert(out.end(), tag, tag + 4);
}

}  // namespace

std::vector<uint8_t> EncodeWav(std::span<const int16_t> samples, uint32_t sampleRate) {
    // The RIFF sizes are 32-bit; a longer recording is cut to what fits.
    constexpr size_t kMaxData = std::numeric_limits<uint32_t>::max() - 64;
    size_t dataBytes = samples.size() * 2;
    if (dataBytes > kMaxData) dataBytes = kMaxData & ~size_t{1};
    std::vector<uint8_t> out;
    out.reserve(WAV_HEADER_BYTES + dataBytes);
    PutTag(out, "RIFF");
    Put32(out, static_cast<uint32_t>(36 + dataBytes));
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, 16);              // size of the format record
    Put16(out, 1);               // PCM
    Put16(out, 1);               // mono
    Put32(out, sampleRate);      // samples per second
    Put32(out, sampleRate * 2);  // bytes per second
    Put16(out, 2);               // block align
    Put16(out, 16);              // bits per sample
    PutTag(out, "data");
    Put32(out, static_cast<uint32_t>(dataBytes));
    for (size_t i = 0; i < dataBytes / 2; ++i) Put16(out, static_cast<uint16_t>(samples[i]));
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
