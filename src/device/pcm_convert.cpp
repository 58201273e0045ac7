#include "device/pcm_convert.h"

#include <cmath>

namespace vocalith::device {

bool IsSupportedFormat(const PcmFormat& format) {
    if (format.formatTag != 1) return false;
    if (format.channels != 1 && format.channels != 2) return false;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return false;
    if (format.blockAlign != format.channels * format.bitsPerSample / 8) return false;
    return format.samplesPerSec >= MIN_RATE && format.samplesPerSec <= MAX_RATE;
}

StreamResampler::StreamResampler(uint32_t inRate, uint32_t outRate, int inChannels)
    : inRate_(inRate ? inRate : 1),
      outRate_(outRate ? outRate : 1),
      inChannels_(inChannels == 2 ? 2 : 1) {
    converter_.Create(inRate_, outRate_, 1);
    out_.resize(4096);
}

void StreamResampler::Take(const float* values, size_t count, std::vector<int16_t>& out) {
    for (size_t i = 0; i < count; ++i) out.push_back(ClipToSample(values[i]));
    framesOut_ += count;
}

void StreamResampler::Process(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
    in_.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        in_[i] = inChannels_ == 2 ? (static_cast<float>(in[2 * i]) + in[2 * i + 1]) * 0.5f
                                  : static_cast<float>(in[i]);
    }
    framesIn_ += frames;
    size_t at = 0;
    for (;;) {
        size_t used = 0;
        size_t made = 0;
        converter_.Process(in_.data() + at, frames - at, used, out_.data(), out_.size(), made);
        at += used;
        Take(out_.data(), made, out);
        if (at == frames && made < out_.size()) break;
        if (used == 0 && made == 0) break;
    }
}

void StreamResampler::Flush(std::vector<int16_t>& out) {
    const uint64_t expected = (framesIn_ * outRate_ + inRate_ - 1) / inRate_;
    while (framesOut_ < expected) {
        size_t made = 0;
        converter_.Drain(out_.data(), out_.size(), made);
        if (made == 0) break;
        Take(out_.data(), static_cast<size_t>(std::min<uint64_t>(made, expected - framesOut_)),
             out);
    }
    while (framesOut_ < expected) {  // libsoxr gave less than the input spans
        out.push_back(0);
        ++framesOut_;
    }
    converter_.Restart();
    framesIn_ = 0;
    framesOut_ = 0;
}

}  // namespace vocalith::device
