#pragma once
// Phoneme clips as WAV files, and outside sound into the system format.
//
// A voice's clips are written one WAV file per phoneme (16-bit mono, 11025
// samples/s), named by the phoneme's symbol: "AA.wav", "p.wav", and
// "silence.wav" for the blank. Reading takes any audio file libsndfile reads
// (any PCM WAV, any rate and channel count) and converts it to the system
// format, cut to a given length. A clip written and read back is the same,
// sample for sample.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "voice/phon_table.h"

namespace vocalith::voice {

// A phoneme's name outside the phonetic notation: its symbol ("AA", "p"),
// and "silence" for the blank. Codes outside 0..41 give an empty name.
std::string ClipName(int code);
// The phoneme a ClipName names, letter case ignored; -1 if none.
int ClipNameCode(std::string_view name);

// ClipName + ".wav": "AA.wav", "p.wav", ..., "silence.wav".
std::string ClipFileName(int code);
// The phoneme whose clip file is `fileName` (".wav" in any letter case); -1
// if none.
int ClipFileCode(std::string_view fileName);

// The sound of the audio file at `path` in the system format, at most
// `limit` samples; `cut` tells whether it was longer.
base::Result ReadSystemAudio(const std::filesystem::path& path, size_t limit,
                             std::vector<int16_t>& samples, bool& cut);

// Reads `path` into `slot`, cut to PHON_MAX_SAMPLES; the slot is unchanged
// on failure. A file without samples is refused, unless `keepEmpty` (an
// empty clip as ExportClip writes it) makes it an empty clip.
base::Result ImportClip(const std::filesystem::path& path, PhonSlot& slot, bool& cut,
                        bool keepEmpty = false);

// Writes slot `code` of `table` as a WAV file at `path` (atomically: a
// failure leaves an existing file as it was); anything but a regular file at
// `path` is refused.
base::Result ExportClip(const PhonTable& table, int code, const std::filesystem::path& path);

// Writes all 42 clips into `folder` (created if missing) under their
// ClipFileName; an empty clip gives a WAV file without samples.
base::Result ExportVoiceClips(const PhonTable& table, const std::filesystem::path& folder);

// True when `folder` already holds a file under one of the 42 clip names.
bool HasClipFiles(const std::filesystem::path& folder);

// The clip files of `folder`, by phoneme code: every regular file (or link
// to one) whose name ClipFileCode recognises. WAV files named for no
// phoneme go to `ignored`. Two files for one phoneme (names differing only in case)
// are refused, as are anything but a regular file under a clip's name and a
// folder that cannot be listed.
base::Result FindClipFiles(const std::filesystem::path& folder,
                           std::map<int, std::filesystem::path>& clips,
                           std::vector<std::string>& ignored);

}  // namespace vocalith::voice
