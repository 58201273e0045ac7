#pragma once
// Sound-effect names and slots: WAVE files from the sfx folder beside the
// program, each loaded once into an output buffer of its own (a slot of the
// sound window) and played directly by the device, outside the mixer.
//
// Ids 0..65 name builtin effects; any other name is registered in a table of
// 256 dynamic names with ids 1000..1255. Playing an id loads its file on
// first use and remembers the slot.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vocalith::engine {

// LoadEffect's failure codes.
inline constexpr int EFFECT_ERR_OPEN = -1;          // no device, no path, no free slot, not opened
inline constexpr int EFFECT_ERR_NOT_WAVE = -2;      // no RIFF form of type "WAVE"
inline constexpr int EFFECT_ERR_NO_FORMAT = -3;     // the form holds no "fmt " chunk
inline constexpr int EFFECT_ERR_FORMAT_SHORT = -4;  // the "fmt " chunk cannot be read whole
inline constexpr int EFFECT_ERR_NO_DATA = -5;       // no "data" chunk after the "fmt " chunk
inline constexpr int EFFECT_ERR_DATA_EMPTY = -6;    // the "data" chunk is empty
inline constexpr int EFFECT_ERR_BUFFER = -7;  // the device refuses the buffer; slot stays free
// The data cannot be read whole (checked before any buffer is made, so the
// slot stays free) or cannot be written into the new buffer (the slot keeps it).
inline constexpr int EFFECT_ERR_DATA_READ = -8;

// PlayEffect's modes.
inline constexpr int EFFECT_STOP = 0;
inline constexpr int EFFECT_PLAY_ONCE = 1;
inline constexpr int EFFECT_LOOP = 2;
inline constexpr int EFFECT_PLAY_AND_WAIT = 3;
inline constexpr uint32_t EFFECT_WAIT_LIMIT_MS = 20000;

inline constexpr int BUILTIN_EFFECT_COUNT = 66;
inline constexpr int DYNAMIC_EFFECT_COUNT = 256;
inline constexpr int DYNAMIC_EFFECT_BASE = 1000;
inline constexpr int EFFECT_NAME_MAX = 39;  // characters kept of a dynamic name

struct BuiltinEffect {
    int32_t slot;      // effect slot, -1 while not loaded
    const char* name;  // the file name in the sfx folder
};

struct DynamicEffect {
    int32_t slot = -1;  // effect slot; -1 means the entry is free (even with a name)
    char name[EFFECT_NAME_MAX + 1] = {};  // zero-terminated
};

// An engine's effect names: the builtin table (id = index) and the dynamic
// table (id = 1000 + index). Playing goes through the engine, which has the
// sound window (Engine::PlayEffectById).
struct EffectTable {
    EffectTable();  // every builtin named and not loaded, every dynamic entry free

    std::array<BuiltinEffect, BUILTIN_EFFECT_COUNT> builtin;
    std::array<DynamicEffect, DYNAMIC_EFFECT_COUNT> dynamic{};

    // Every builtin slot to -1 (no buffer is released).
    void ResetBuiltinEffectIds();
    // Every dynamic slot to -1 and every dynamic name emptied.
    void ResetDynamicNames();
    // The id of a loaded entry named `name` (letter case ignored), else a free
    // entry given the first 39 characters of `name`; -1 when none is free.
    int RegisterEffectName(const char* name);
    // The slot entry and file name of `id`; null for an id that names none.
    int32_t* SlotOf(int id, const char*& name);
};

// "<data folder>/sfx/<name>" in the first data folder that has the file
// (base::DataFolders: the program folder, or the user's then the shared one).
std::string EffectPath(const std::filesystem::path& programFolder, std::string_view name);

}  // namespace vocalith::engine
