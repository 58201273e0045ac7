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

int16_t ClipToSample(float value) {
    if (!(value > -32768.0f)) return -32768;  // also catches NaN
    if (value >= 32767.0f) return 32767;
    return static_cast<int16_t>(std::lrint(value));
}

StreamResampler::StreamResampler(uint32_t inRate, uint32_t outRate, int inChannels)
    : inRate_(inRate), outRate_(outRate), inChannels_(inChannels == 2 ? 2 : 1) {
    if (inRate_ != outRate_) window_.emplace(inRate_, outRate_, 1);
    Reset();
}

void StreamResampler::Reset() {
    phase_ = 0;
    if (!window_) return;
    window_->Clear();
    // Output 0 lies on input frame 0, which is the centre once the frames
    // of look-ahead after it have arrived.
    wait_ = uint64_t{window_->HalfWidth()} + 1;
}

void StreamResampler::Step(float value, std::vector<int16_t>& out) {
    if (!window_) {
        out.push_back(ClipToSample(value));
        return;
    }
    window_->Push(&value);
    if (--wait_ > 0) return;
    // Every output whose position lies on the centre frame or within the
    // frame after it.
    do {
        float y = 0;
        window_->Evaluate(phase_, &y);
        out.push_back(ClipToSample(y));
        phase_ += inRate_;
    } while (phase_ < outRate_);
    wait_ = phase_ / outRate_;
    phase_ %= outRate_;
}

void StreamResampler::Process(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
    for (size_t i = 0; i < frames; ++i) {
        float value = inChannels_ == 2 ? (static_cast<float>(in[2 * i]) + in[2 * i + 1]) * 0.5f
                                       : static_cast<float>(in[i]);
        Step(value, out);
    }
}

void StreamResampler::Flush(std::vector<int16_t>& out) {
    if (window_) {
        for (uint32_t i = 0; i < window_->HalfWidth(); ++i) Step(0.0f, out);
    }
    Reset();
}

}  // namespace vocalith::device
