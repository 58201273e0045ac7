#pragma once
// Voice files: voices/NAME.voc beside the program.
//
// Format (all integers little-endian): 100 signed 32-bit header entries
// (entries 0..41 are the slot counts, 42..99 zero), then the first count
// samples of slots 0..41 in code order as signed 16-bit values.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "base/result.h"
#include "voice/phon_table.h"

namespace vocalith::voice {

inline constexpr int VOICE_HEADER_ENTRIES = 100;
inline constexpr int VOICE_HEADER_BYTES = 400;

// Outcome of a voice file operation; `reason` says why in plain words when !ok().
using VoiceResult = base::Result;

// The largest voice file read: the largest voice, with room for bytes after
// the samples (which are ignored); a larger file is refused unread.
inline constexpr uint64_t VOICE_FILE_MAX_BYTES = 16u << 20;

// The edit lock of the folder that holds a voice file: an exclusive flock on
// the folder, so that a read-modify-write of a voice (vocalith-tts voice
// set, import, build) and every save of one (the window's Save too) never
// overlap, whichever programs run them. Released when the object goes. On a
// file system that cannot lock a folder the edit goes ahead unlocked.
class VoiceLock {
  public:
    // How long Acquire waits for another holder by default.
    static constexpr std::chrono::milliseconds kWait{10000};

    // Locks the folder of `path`, creating it if missing (as a save would);
    // fails after `wait` with "another program is saving a voice in FOLDER".
    VoiceResult Acquire(const std::filesystem::path& path, std::chrono::milliseconds wait = kWait);

  private:
    base::UniqueFd fd_;
};

// Writes the table to `path` atomically (temporary file, flush, rename); on
// failure the old file is intact. Creates the parent (voices) folder if
// missing. Saves under the folder's VoiceLock: `held` when the caller holds
// it already (for a read-modify-write), else one taken here.
VoiceResult SaveVoice(const std::filesystem::path& path, const PhonTable& table,
                      const VoiceLock* held = nullptr);

// Reads `path` into the table. The whole file is checked first; a refused
// file leaves the table exactly as it was.
VoiceResult LoadVoice(const std::filesystem::path& path, PhonTable& table);

// The same, from bytes in memory (no file).
VoiceResult LoadVoiceBytes(std::span<const uint8_t> bytes, PhonTable& table);
std::vector<uint8_t> EncodeVoice(const PhonTable& table);

}  // namespace vocalith::voice
