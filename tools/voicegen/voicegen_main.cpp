// voicegen OUT.voc: writes the built-in default voice as a voice file.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "voice/phon_table.h"
#include "voice/voice_file.h"
#include "voicegen/voxa_voice.h"

int main(int argc, char** argv) {
    using namespace vocalith;
    if (argc != 2) {
        std::fprintf(stderr, "usage: voicegen OUT.voc\n");
        return 2;
    }
    const auto clips = voicegen::SynthesizeVoice();
    auto table = std::make_unique<voice::PhonTable>();  // ~840 KB: not on the stack
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
        const auto& clip = clips[static_cast<size_t>(code)];
        if (clip.size() > static_cast<size_t>(voice::PHON_MAX_SAMPLES)) {
            std::fprintf(stderr, "voicegen: clip %d has %zu samples, more than a slot holds\n",
                         code, clip.size());
            return 1;
        }
        auto& slot = table->slots[static_cast<size_t>(code)];
        slot.count = static_cast<int32_t>(clip.size());
        std::copy(clip.begin(), clip.end(), slot.samples.begin());
    }
    const voice::VoiceResult result = voice::SaveVoice(std::filesystem::path(argv[1]), *table);
    if (!result) {
        std::fprintf(stderr, "voicegen: cannot write %s: %s\n", argv[1], result.reason.c_str());
        return 1;
    }
    return 0;
}
