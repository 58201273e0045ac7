#pragma once
// The AUDIO event by which the module hands samples to speech-dispatcher,
// which plays them on its own audio output:
//   705-bits=16 / 705-num_channels=1 / 705-sample_rate=11025 /
//   705-num_samples=N / 705-AUDIO, a NUL, the samples' bytes / 705 AUDIO
// each line ending in LF. The bytes are escaped so that no LF appears among
// them: an LF or 0x7D byte is sent as 0x7D followed by the byte with its bit
// 5 inverted.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vocalith::speechd {

inline constexpr char AUDIO_ESCAPE = 0x7D;

// The whole event for `samples` (16-bit mono at 11025 per second, in the
// host's byte order, which is the server's: it runs on the same machine).
std::string AudioEvent(std::span<const int16_t> samples);

// The escaping of the event's data, and its inverse (for tests and the
// fuzzer): Unescape(Escape(x)) == x.
std::string EscapeAudioBytes(std::string_view bytes);
std::string UnescapeAudioBytes(std::string_view escaped);

}  // namespace vocalith::speechd
