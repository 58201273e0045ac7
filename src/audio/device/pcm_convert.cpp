#include "audio/device/pcm_convert.h"

#include <cmath>

namespace vocalith::audio::device {

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
    : inRate_(inRate), outRate_(outRate), inChannels_(inChannels == 2 ? 2 : 1) {}

void StreamResampler::Process(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
    for (size_t i = 0; i < frames; ++i) {
        float cur = inChannels_ == 2 ? (static_cast<float>(in[2 * i]) + in[2 * i + 1]) * 0.5f
                                     : static_cast<float>(in[i]);
        if (!havePrev_) {
            havePrev_ = true;
            prev_ = cur;
            continue;
        }
        // Output samples fall at phase_/outRate_ input frames past prev_;
        // emit every one that lies before cur, then step one input frame.
        while (phase_ < outRate_) {
            float t = static_cast<float>(phase_) / static_cast<float>(outRate_);
            out.push_back(ClipToSample(prev_ + (cur - prev_) * t));
            phase_ += inRate_;
        }
        phase_ -= outRate_;
        prev_ = cur;
    }
}

}  // namespace vocalith::audio::device
