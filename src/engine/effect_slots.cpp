#include "engine/effect_slots.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "base/ascii_case.h"
#include "base/program_folder.h"
#include "engine/engine.h"
#include "wave/riff_reader.h"

namespace vocalith::engine {

namespace {

// Ids 0 and 2 share a file, as do 39..42, 43..50, and 63 with 65.
constexpr std::array<const char*, BUILTIN_EFFECT_COUNT> BUILTIN_NAMES = {
    "click.wav",   "beep.wav",    "click.wav",  "chime.wav",   "pop.wav",     "ding.wav",
    "buzz.wav",    "whoosh.wav",  "tick.wav",   "tock.wav",    "bell.wav",    "blip.wav",
    "bloop.wav",   "boing.wav",   "clang.wav",  "clap.wav",    "crash.wav",   "drip.wav",
    "drum.wav",    "fanfare.wav", "flip.wav",   "gong.wav",    "horn.wav",    "knock.wav",
    "laser.wav",   "menu.wav",    "open.wav",   "close.wav",   "error.wav",   "alert.wav",
    "notify.wav",  "select.wav",  "cancel.wav", "confirm.wav", "start.wav",   "stop.wav",
    "record.wav",  "play.wav",    "pause.wav",  "step.wav",    "step.wav",    "step.wav",
    "step.wav",    "type.wav",    "type.wav",   "type.wav",    "type.wav",    "type.wav",
    "type.wav",    "type.wav",    "type.wav",   "swish.wav",   "thud.wav",    "twang.wav",
    "whistle.wav", "zap.wav",     "rise.wav",   "fall.wav",    "sparkle.wav", "splash.wav",
    "snap.wav",    "squeak.wav",  "tap.wav",    "wind.wav",    "rain.wav",    "wind.wav",
};

}  // namespace

EffectTable::EffectTable() {
    for (int i = 0; i < BUILTIN_EFFECT_COUNT; ++i) builtin[i] = {-1, BUILTIN_NAMES[i]};
}

void EffectTable::ResetBuiltinEffectIds() {
    for (BuiltinEffect& e : builtin) e.slot = -1;
}

void EffectTable::ResetDynamicNames() {
    for (DynamicEffect& e : dynamic) {
        e.slot = -1;
        std::memset(e.name, 0, sizeof e.name);
    }
}

int EffectTable::RegisterEffectName(const char* name) {
    if (name == nullptr) return -1;
    auto& table = dynamic;
    int firstFree = -1;
    for (int i = 0; i < DYNAMIC_EFFECT_COUNT; ++i) {
        if (table[i].slot == -1) {
            // Free, whatever name it holds: a name is found again only once loaded.
            if (firstFree < 0) firstFree = i;
        } else if (base::EqualNoCase(table[i].name, name)) {
            return DYNAMIC_EFFECT_BASE + i;
        }
    }
    if (firstFree < 0) return -1;
    DynamicEffect& entry = table[firstFree];
    std::memset(entry.name, 0, sizeof entry.name);
    std::strncpy(entry.name, name, EFFECT_NAME_MAX);
    return DYNAMIC_EFFECT_BASE + firstFree;
}

int32_t* EffectTable::SlotOf(int id, const char*& name) {
    if (id >= DYNAMIC_EFFECT_BASE && id < DYNAMIC_EFFECT_BASE + DYNAMIC_EFFECT_COUNT) {
        DynamicEffect& e = dynamic[id - DYNAMIC_EFFECT_BASE];
        name = e.name;
        return &e.slot;
    }
    if (id < 0 || id >= BUILTIN_EFFECT_COUNT) return nullptr;
    name = builtin[id].name;
    return &builtin[id].slot;
}

int Engine::PlayEffectById(int id, int mode) {
    CSoundWnd* window = window_.get();
    const char* name = nullptr;
    int32_t* slot = effects.SlotOf(id, name);
    if (slot == nullptr || window == nullptr) return -1;
    if (*slot < 0) {
        const int loaded = window->LoadEffect(EffectPath(programFolder, name));
        // A failed load leaves the entry unloaded; the next play tries again.
        if (loaded >= 0) *slot = loaded;
    }
    if (*slot >= 0) window->PlayEffect(*slot, mode);
    return *slot;
}

int Engine::PlayEffectByName(const char* name, int mode) {
    const int id = effects.RegisterEffectName(name);
    if (id == -1) return -1;
    return PlayEffectById(id, mode);
}

std::string EffectPath(const std::filesystem::path& programFolder, std::string_view name) {
    // Joined as text: a path's '/' would let a name starting with '/' replace
    // the folder.
    const std::string relative = "sfx/" + std::string(name);
    return base::FindDataFile(programFolder, relative).string();
}

// --- the sound window's slots ---

namespace {

// The loader's code for what the RIFF walk found wrong; a file that cannot
// be opened or read is EFFECT_ERR_OPEN.
int EffectCode(int walkCode) {
    constexpr std::pair<int, int> kCodes[] = {
        {wave::RIFF_ERR_NOT_WAVE, EFFECT_ERR_NOT_WAVE},
        {wave::RIFF_ERR_NO_FORMAT, EFFECT_ERR_NO_FORMAT},
        {wave::RIFF_ERR_FORMAT_SHORT, EFFECT_ERR_FORMAT_SHORT},
        {wave::RIFF_ERR_NO_DATA, EFFECT_ERR_NO_DATA},
        {wave::RIFF_ERR_DATA_EMPTY, EFFECT_ERR_DATA_EMPTY},
        {wave::RIFF_ERR_DATA_READ, EFFECT_ERR_DATA_READ},
    };
    for (const auto& [walk, effect] : kCodes) {
        if (walk == walkCode) return effect;
    }
    return EFFECT_ERR_OPEN;
}

}  // namespace

int CSoundWnd::FirstFreeSlot() const {
    for (int i = 0; i < EFFECT_SLOT_COUNT; ++i) {
        if (effectBuffers[i] == nullptr) return i;
    }
    return -1;
}

int CSoundWnd::LoadEffect(const std::filesystem::path& path) {
    if (device == nullptr || path.empty()) return EFFECT_ERR_OPEN;
    const int slot = FirstFreeSlot();
    if (slot < 0) return EFFECT_ERR_OPEN;
    wave::FileSource file;
    if (const base::Result opened = file.Open(path); !opened) return EFFECT_ERR_OPEN;
    return LoadEffectImage(file, slot);
}

int CSoundWnd::LoadEffectFromBytes(std::span<const uint8_t> bytes) {
    if (device == nullptr) return EFFECT_ERR_OPEN;
    const int slot = FirstFreeSlot();
    if (slot < 0) return EFFECT_ERR_OPEN;
    return LoadEffectImage(wave::MemorySource(bytes), slot);
}

int CSoundWnd::LoadEffectImage(const wave::RiffSource& source, int slot) {
    wave::WaveChunks chunks;
    if (const base::Result found = wave::FindWaveChunks(source, chunks); !found) {
        return EffectCode(found.code);
    }
    // The declared data must be there before a buffer of its size is made:
    // a small file claiming gigabytes gets no buffer at all.
    if (chunks.dataPresent < chunks.dataSize) return EFFECT_ERR_DATA_READ;
    if (!CreateDsBuffer(device.get(), effectBuffers[slot], chunks.format, chunks.dataSize)) {
        return EFFECT_ERR_BUFFER;
    }
    // From here on the slot keeps the buffer made for it, even on failure.
    std::vector<uint8_t> data;
    if (!wave::ReadWaveData(source, chunks, data)) return EFFECT_ERR_DATA_READ;
    if (!WriteDsBuffer(effectBuffers[slot].get(), 0, data.data(), chunks.dataSize)) {
        return EFFECT_ERR_DATA_READ;
    }
    return slot;
}

int CSoundWnd::PlayEffect(int slot, int mode) {
    if (device == nullptr || slot < 0 || slot >= EFFECT_SLOT_COUNT) return 0;
    device::OutputBuffer* buffer = effectBuffers[slot].get();
    if (buffer == nullptr) return 0;
    using device::DeviceResult;
    switch (mode) {
        case EFFECT_STOP:
            return buffer->Stop() == DeviceResult::Ok ? 1 : 0;
        case EFFECT_PLAY_ONCE:
        case EFFECT_PLAY_AND_WAIT: {
            buffer->Stop();
            buffer->SetVolume(EffectVolume);
            buffer->SetCurrentPosition(0);
            const DeviceResult played = buffer->Play(false);
            if (mode == EFFECT_PLAY_ONCE) return played == DeviceResult::Ok ? 1 : 0;
            // Wait for the end, at most 20 s by the program's clock (and by
            // the real one, so a stopped test clock cannot hang the thread),
            // polling every millisecond rather than spinning.
            const uint32_t begin = engine_.Clock().Now();
            const auto realBegin = std::chrono::steady_clock::now();
            bool playing = false;
            DeviceResult status = buffer->GetStatus(playing);
            while (status == DeviceResult::Ok && playing &&
                   engine_.Clock().Now() - begin < EFFECT_WAIT_LIMIT_MS &&
                   std::chrono::steady_clock::now() - realBegin <
                       std::chrono::milliseconds(EFFECT_WAIT_LIMIT_MS)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                status = buffer->GetStatus(playing);
            }
            return status == DeviceResult::Ok ? 1 : 0;
        }
        case EFFECT_LOOP: {
            const DeviceResult played = buffer->Play(true);
            buffer->SetVolume(EffectVolume);
            return played == DeviceResult::Ok ? 1 : 0;
        }
        default:
            return 0;  // no device call for an unknown mode
    }
}

}  // namespace vocalith::engine
