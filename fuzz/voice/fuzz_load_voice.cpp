// Arbitrary bytes as a voice file: a refused file leaves the table exactly as
// it was; an accepted one encodes back to the bytes it was read from (less
// any trailing bytes and with the unused header entries zeroed).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "voice/voice_file.h"

using namespace vocalith::voice;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto table = std::make_unique<PhonTable>();
    static auto before = std::make_unique<PhonTable>();
    *before = *table;
    const VoiceResult r = LoadVoiceBytes(std::span<const uint8_t>(data, size), *table);
    if (!r.ok()) {
        for (int i = 0; i < PHONEME_COUNT; ++i) {
            if (table->slots[i].count != before->slots[i].count ||
                table->slots[i].samples != before->slots[i].samples) {
                std::abort();  // a refused file changed the table
            }
        }
        if (r.reason.empty()) std::abort();
        return 0;
    }
    const std::vector<uint8_t> encoded = EncodeVoice(*table);
    if (encoded.size() > size) std::abort();
    for (size_t i = 0; i < encoded.size(); ++i) {
        const bool unusedHeader = i >= 4 * PHONEME_COUNT && i < VOICE_HEADER_BYTES;
        if (encoded[i] != (unusedHeader ? 0 : data[i])) std::abort();
    }
    return 0;
}
