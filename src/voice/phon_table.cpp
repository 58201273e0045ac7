#include "voice/phon_table.h"

#include <cstddef>

#include "mixer/mixer.h"

namespace vocalith::voice {

PhonTable& ThePhonTable() {
    static PhonTable table;
    return table;
}

void ClearPhonTable(PhonTable& table) {
    for (PhonSlot& slot : table.slots) {
        slot.count = 0;
        slot.samples.fill(0);
    }
}

void ResetSoundTables() {
    mixer::ClearAllChannels(mixer::TheMixer());
    ClearPhonTable(ThePhonTable());
}

void PlayPhon(int code) {
    if (code < 0 || code >= PHONEME_COUNT) return;
    const PhonSlot& slot = ThePhonTable().slots[static_cast<std::size_t>(code)];
    // A count outside the slot's capacity cannot come from a checked load;
    // it is never read past the slot.
    if (slot.count <= 0 || slot.count > PHON_MAX_SAMPLES) return;
    mixer::QueueClip(mixer::TheMixer(), mixer::SPEECH_CHANNEL, 1, "noOne", slot.samples.data(),
                     slot.count);
}

void SpeakPhonetic(const char* text) {
    if (text == nullptr) return;
    std::size_t i = 0;
    while (text[i] != '\0') {
        char token[3] = {text[i], '\0', '\0'};
        // Bytes compare as signed 8-bit values: 0x5B..0x7F (lower case and a
        // few marks) stand alone; everything else, including 0x80..0xFF,
        // takes the next byte with it unless that is the end.
        const auto value = static_cast<int8_t>(static_cast<unsigned char>(text[i]));
        std::size_t length = 1;
        if (text[i] != ' ' && value <= 'Z' && text[i + 1] != '\0') {
            token[1] = text[i + 1];
            length = 2;
        }
        const int code = LookupPhoneme(token);
        if (code >= 0) PlayPhon(code);
        i += length;
    }
}

}  // namespace vocalith::voice
