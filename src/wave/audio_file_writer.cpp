#include "wave/audio_file_writer.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace vocalith::wave {

namespace {

constexpr size_t BLOCK_FRAMES = 4096;

}  // namespace

std::optional<AudioEncoding> EncodingForPath(const std::filesystem::path& path) {
    if (path == "-" || !path.has_extension()) return AudioEncoding::Wav;
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".wav") return AudioEncoding::Wav;
    if (ext == ".flac") return AudioEncoding::Flac;
    if (ext == ".ogg" || ext == ".oga") return AudioEncoding::Vorbis;
    if (ext == ".opus") return AudioEncoding::Opus;
    if (ext == ".mp3") return AudioEncoding::Mp3;
    return std::nullopt;
}

uint32_t FileSampleRate(AudioEncoding encoding) {
    if (encoding != AudioEncoding::Opus) return SYSTEM_SAMPLE_RATE;
    for (const uint32_t rate : OPUS_SAMPLE_RATES) {
        if (rate >= SYSTEM_SAMPLE_RATE) return rate;
    }
    return OPUS_SAMPLE_RATES[std::size(OPUS_SAMPLE_RATES) - 1];
}

base::Result AudioFileWriter::Open(const std::filesystem::path& path, AudioEncoding encoding) {
    const uint32_t rate = FileSampleRate(encoding);
    rate_ = rate;
    framesIn_ = 0;
    framesOut_ = 0;
    convert_ = rate != SYSTEM_SAMPLE_RATE;
    if (convert_) {
        if (base::Result created = converter_.Create(SYSTEM_SAMPLE_RATE, rate, 1); !created) {
            return created;
        }
        in_.resize(BLOCK_FRAMES);
        out_.resize(BLOCK_FRAMES * rate / SYSTEM_SAMPLE_RATE + 64);
        converted_.resize(out_.size());
    }
    return writer_.Open(path, rate, encoding);
}

base::Result AudioFileWriter::Convert(std::span<const int16_t> samples) {
    const bool drain = samples.empty();
    // The speech converted whole would give ceil(in × rate / system rate)
    // samples; the drain's tail is cut there.
    const uint64_t whole = (framesIn_ * rate_ + SYSTEM_SAMPLE_RATE - 1) / SYSTEM_SAMPLE_RATE;
    for (;;) {
        const size_t n = std::min(samples.size(), in_.size());
        for (size_t i = 0; i < n; ++i) in_[i] = samples[i];
        size_t used = 0;
        size_t made = 0;
        if (drain) {
            converter_.Drain(out_.data(), out_.size(), made);
            made =
                static_cast<size_t>(std::min<uint64_t>(made, whole - std::min(whole, framesOut_)));
        } else {
            converter_.Process(in_.data(), n, used, out_.data(), out_.size(), made);
            if (used == 0 && made == 0) return base::Result::Fail("the rate conversion stalled");
        }
        for (size_t i = 0; i < made; ++i) converted_[i] = ClipToSample(out_[i]);
        if (base::Result written = writer_.Append({converted_.data(), made}); !written) {
            return written;
        }
        framesIn_ += used;
        framesOut_ += made;
        samples = samples.subspan(used);
        if (drain ? made == 0 : samples.empty()) return base::Result::Ok();
    }
}

base::Result AudioFileWriter::Append(std::span<const int16_t> samples) {
    if (!convert_) return writer_.Append(samples);
    if (samples.empty()) return base::Result::Ok();
    return Convert(samples);
}

base::Result AudioFileWriter::Finish() {
    if (convert_ && writer_.IsOpen()) {
        if (base::Result drained = Convert({}); !drained) {
            writer_.Abandon();
            return drained;
        }
    }
    return writer_.Finish();
}

}  // namespace vocalith::wave
