#include "voice/phon_table.h"

#include <cstddef>

#include "mixer/mixer.h"

namespace vocalith::voice {

void ClearPhonTable(PhonTable& table) {
    for (PhonSlot& slot : table.slots) {
        slot.count = 0;
        slot.samples.fill(0);
    }
}

void ResetSoundTables(mixer::Mixer& mixer, PhonTable& table) {
    mixer::ClearAllChannels(mixer);
    ClearPhonTable(table);
}

void PlayPhon(mixer::Mixer& mixer, const PhonTable& table, int code) {
    if (code < 0 || code >= PHONEME_COUNT) return;
    const PhonSlot& slot = table.slots[static_cast<std::size_t>(code)];
    // A count outside the slot's capacity cannot come from a checked load;
    // it is never read past the slot.
    if (slot.count <= 0 || slot.count > PHON_MAX_SAMPLES) return;
    mixer::QueueClip(mixer, mixer::SPEECH_CHANNEL, 1, "noOne", slot.samples.data(), slot.count);
}

bool NextPhonetic(const char* text, std::size_t& pos, int& code) {
    if (text == nullptr || text[pos] == '\0') return false;
    char token[3] = {text[pos], '\0', '\0'};
    // Bytes compare as signed 8-bit values: 0x5B..0x7F (lower case and a
    // few marks) stand alone; everything else, including 0x80..0xFF, takes
    // the next byte with it unless that is the end.
    const auto value = static_cast<int8_t>(static_cast<unsigned char>(text[pos]));
    std::size_t length = 1;
    if (text[pos] != ' ' && value <= 'Z' && text[pos + 1] != '\0') {
        token[1] = text[pos + 1];
        length = 2;
    }
    code = LookupPhoneme(token);
    pos += length;
    return true;
}

void SpeakPhonetic(mixer::Mixer& mixer, const PhonTable& table, const char* text) {
    std::size_t pos = 0;
    int code = -1;
    while (NextPhonetic(text, pos, code)) {
        if (code >= 0) PlayPhon(mixer, table, code);
    }
}

}  // namespace vocalith::voice
