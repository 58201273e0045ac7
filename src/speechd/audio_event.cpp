#include "speechd/audio_event.h"

#include <cstring>

#include "wave/pcm_format.h"

namespace vocalith::speechd {

std::string EscapeAudioBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 64 + 8);
    for (char b : bytes) {
        if (b == '\n' || b == AUDIO_ESCAPE) {
            out += AUDIO_ESCAPE;
            out += static_cast<char>(b ^ 0x20);
        } else {
            out += b;
        }
    }
    return out;
}

std::string UnescapeAudioBytes(std::string_view escaped) {
    std::string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == AUDIO_ESCAPE && i + 1 < escaped.size()) {
            out += static_cast<char>(escaped[++i] ^ 0x20);
        } else {
            out += escaped[i];
        }
    }
    return out;
}

std::string AudioEvent(std::span<const int16_t> samples) {
    std::string bytes(samples.size() * sizeof(int16_t), '\0');
    if (!samples.empty()) std::memcpy(bytes.data(), samples.data(), bytes.size());
    std::string event = "705-bits=16\n705-num_channels=1\n705-sample_rate=" +
                        std::to_string(wave::SYSTEM_SAMPLE_RATE) +
                        "\n705-num_samples=" + std::to_string(samples.size()) + "\n705-AUDIO";
    event += '\0';
    event += EscapeAudioBytes(bytes);
    event += "\n705 AUDIO\n";
    return event;
}

}  // namespace vocalith::speechd
