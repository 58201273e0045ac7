#include "device/wav_io.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "device/pcm_convert.h"
#include "wave/byte_order.h"

namespace vocalith::device {

namespace {

bool Fail(std::string* error, const char* reason) {
    if (error) *error = reason;
    return false;
}

constexpr size_t HEADER_BYTES = 44;
// The largest data chunk a RIFF file can describe, whole 16-bit samples.
constexpr uint32_t MAX_DATA_BYTES = 0xFFFFFFFFu - 36u - 1u;

}  // namespace

bool ParseWav(std::span<const uint8_t> bytes, WavData& out, std::string* error) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return Fail(error, "not a RIFF WAVE file");
    }
    bool haveFormat = false;
    PcmFormat format;
    size_t at = 12;
    while (bytes.size() - at >= 8) {
        const uint8_t* chunk = bytes.data() + at;
        uint32_t size = wave::ReadLe32(chunk + 4);
        size_t body = at + 8;
        size_t available = bytes.size() - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || available < 16) return Fail(error, "the format chunk is too short");
            const uint8_t* f = bytes.data() + body;
            format.formatTag = wave::ReadLe16(f);
            format.channels = wave::ReadLe16(f + 2);
            format.samplesPerSec = wave::ReadLe32(f + 4);
            format.avgBytesPerSec = wave::ReadLe32(f + 8);
            format.blockAlign = wave::ReadLe16(f + 12);
            format.bitsPerSample = wave::ReadLe16(f + 14);
            if (!IsSupportedFormat(format)) {
                return Fail(error, "not PCM of 8 or 16 bits, mono or stereo, at a usable rate");
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return Fail(error, "the data chunk comes before the format chunk");
            size_t take =
                size < available ? size : available;  // a cut-short file keeps what it has
            take -= take % format.blockAlign;
            out.format = format;
            out.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(body),
                            bytes.begin() + static_cast<std::ptrdiff_t>(body + take));
            return true;
        }
        // Chunks are padded to an even size.
        uint64_t next = static_cast<uint64_t>(body) + size + (size & 1u);
        if (next > bytes.size()) break;
        at = static_cast<size_t>(next);
    }
    return Fail(error, haveFormat ? "no data chunk" : "no format chunk");
}

bool ReadWavFile(const std::string& path, WavData& out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) return Fail(error, "read error");
    return ParseWav(bytes, out, error);
}

bool WavWriter::Open(const std::string& path, const PcmFormat& format, std::string* error) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    uint8_t h[HEADER_BYTES] = {};
    std::memcpy(h, "RIFF", 4);
    wave::WriteLe32(h + 4, 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    wave::WriteLe32(h + 16, 16);
    wave::WriteLe16(h + 20, format.formatTag);
    wave::WriteLe16(h + 22, format.channels);
    wave::WriteLe32(h + 24, format.samplesPerSec);
    wave::WriteLe32(h + 28, format.avgBytesPerSec);
    wave::WriteLe16(h + 32, format.blockAlign);
    wave::WriteLe16(h + 34, format.bitsPerSample);
    std::memcpy(h + 36, "data", 4);
    wave::WriteLe32(h + 40, 0);
    dataBytes_ = 0;
    failed_ = std::fwrite(h, 1, HEADER_BYTES, file_) != HEADER_BYTES || std::fflush(file_) != 0;
    if (failed_) {
        if (error) *error = std::strerror(errno);
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

bool WavWriter::Append(const uint8_t* bytes, size_t count) {
    if (!file_ || failed_) return false;
    if (count > MAX_DATA_BYTES - dataBytes_) {
        failed_ = true;  // the file is full: RIFF sizes are 32-bit
        return false;
    }
    size_t written = std::fwrite(bytes, 1, count, file_);
    // Count what reached the file, so the header never claims bytes the
    // file does not hold.
    dataBytes_ += static_cast<uint32_t>(written);
    if (written != count) failed_ = true;
    return !failed_;
}

bool WavWriter::UpdateHeader() {
    if (!file_) return false;
    uint8_t size[4];
    bool ok = true;
    long end = std::ftell(file_);
    wave::WriteLe32(size, 36 + dataBytes_ + (dataBytes_ & 1u));
    ok = ok && std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
    wave::WriteLe32(size, dataBytes_);
    ok = ok && std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
    ok = ok && end >= 0 && std::fseek(file_, end, SEEK_SET) == 0;
    return std::fflush(file_) == 0 && ok;
}

void WavWriter::Close() {
    if (!file_) return;
    if (dataBytes_ & 1u) {
        const uint8_t pad = 0;
        std::fwrite(&pad, 1, 1, file_);  // chunks end on an even byte
    }
    UpdateHeader();
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace vocalith::device
