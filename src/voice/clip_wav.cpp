#include "voice/clip_wav.h"

#include <algorithm>
#include <span>
#include <system_error>

#include "base/ascii_case.h"
#include "wave/audio_file.h"
#include "wave/wav_writer.h"

namespace vocalith::voice {

namespace fs = std::filesystem;
using base::Result;

namespace {

constexpr std::string_view kSilenceName = "silence";
constexpr std::string_view kWavSuffix = ".wav";

bool ValidCode(int code) {
    return code >= 0 && code < PHONEME_COUNT;
}

bool HasWavSuffix(std::string_view fileName) {
    return fileName.size() > kWavSuffix.size() &&
           base::EqualNoCase(fileName.substr(fileName.size() - kWavSuffix.size()), kWavSuffix);
}

}  // namespace

std::string ClipName(int code) {
    if (!ValidCode(code)) return {};
    return code == SILENCE_CODE ? std::string(kSilenceName)
                                : kInventory[static_cast<size_t>(code)].symbol;
}

int ClipNameCode(std::string_view name) {
    if (base::EqualNoCase(name, kSilenceName)) return SILENCE_CODE;
    // The blank symbol names nothing here: the silence clip is "silence".
    const int code = LookupPhoneme(std::string(name).c_str());
    return code == SILENCE_CODE ? -1 : code;
}

std::string ClipFileName(int code) {
    return ValidCode(code) ? ClipName(code) + std::string(kWavSuffix) : std::string();
}

int ClipFileCode(std::string_view fileName) {
    if (!HasWavSuffix(fileName)) return -1;
    return ClipNameCode(fileName.substr(0, fileName.size() - kWavSuffix.size()));
}

Result ReadSystemAudio(const fs::path& path, size_t limit, std::vector<int16_t>& samples,
                       bool& cut) {
    wave::AudioFrames audio;
    if (Result read = wave::ReadAudioFile(path, audio); !read) return read;
    std::vector<int16_t> converted = wave::ToSystemFormat(audio, limit, &cut);
    if (converted.empty() && audio.Frames() > 0 && limit > 0) {
        return Result::Fail("cannot convert " + path.string() + " from " +
                            std::to_string(audio.sampleRate) + " samples/s");
    }
    samples = std::move(converted);
    return Result::Ok();
}

Result ImportClip(const fs::path& path, PhonSlot& slot, bool& cut, bool keepEmpty) {
    std::vector<int16_t> samples;
    if (Result read = ReadSystemAudio(path, PHON_MAX_SAMPLES, samples, cut); !read) return read;
    // As the window refuses it: an empty file is a mistake, not a silent clip.
    if (samples.empty() && !keepEmpty) return Result::Fail(path.string() + " holds no sound");
    std::copy(samples.begin(), samples.end(), slot.samples.begin());
    slot.count = static_cast<int32_t>(samples.size());
    return Result::Ok();
}

Result ExportClip(const PhonTable& table, int code, const fs::path& path) {
    if (!ValidCode(code)) return Result::Fail("no phoneme with code " + std::to_string(code));
    const PhonSlot& slot = table.slots[static_cast<size_t>(code)];
    const auto count = static_cast<size_t>(std::clamp<int32_t>(slot.count, 0, PHON_MAX_SAMPLES));
    // A clip file is a file: a FIFO or a device under its name is refused,
    // as import refuses it.
    return wave::WriteWavFile(path, std::span<const int16_t>(slot.samples.data(), count),
                              wave::SYSTEM_SAMPLE_RATE, wave::WavTarget::FileOnly);
}

Result ExportVoiceClips(const PhonTable& table, const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return Result::Fail("cannot create folder " + folder.string() + ": " + ec.message());
    // Anything but a file under a clip's name stops the export before a
    // clip is written.
    for (int code = 0; code < PHONEME_COUNT; ++code) {
        const fs::path path = folder / ClipFileName(code);
        if (fs::exists(path, ec) && !fs::is_regular_file(path, ec)) {
            return Result::Fail(path.string() + " is not a regular file");
        }
    }
    for (int code = 0; code < PHONEME_COUNT; ++code) {
        if (Result written = ExportClip(table, code, folder / ClipFileName(code)); !written) {
            return written;
        }
    }
    return Result::Ok();
}

bool HasClipFiles(const fs::path& folder) {
    std::error_code ec;
    for (int code = 0; code < PHONEME_COUNT; ++code) {
        if (fs::exists(folder / ClipFileName(code), ec)) return true;
    }
    return false;
}

Result FindClipFiles(const fs::path& folder, std::map<int, fs::path>& clips,
                     std::vector<std::string>& ignored) {
    clips.clear();
    ignored.clear();
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (status.type() == fs::file_type::not_found) {
        return Result::Fail("no folder " + folder.string());
    }
    if (ec) return Result::Fail("cannot read folder " + folder.string() + ": " + ec.message());
    if (!fs::is_directory(status)) return Result::Fail(folder.string() + " is not a folder");
    fs::directory_iterator it(folder, ec);
    if (ec) return Result::Fail("cannot list " + folder.string() + ": " + ec.message());
    std::vector<fs::path> entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return Result::Fail("cannot list " + folder.string() + ": " + ec.message());
        entries.push_back(it->path());
    }
    // Sorted, so what is reported never depends on the folder's listing order.
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        const std::string name = entry.filename().string();
        const int code = ClipFileCode(name);
        if (!fs::is_regular_file(entry, ec)) {
            // A FIFO, a folder or a dangling link under a clip's name is
            // named, not passed over.
            if (code >= 0 && fs::is_symlink(fs::symlink_status(entry, ec)) &&
                !fs::exists(entry, ec)) {
                return Result::Fail(entry.string() + " is a link, and its target " +
                                    fs::read_symlink(entry, ec).string() + " is not there");
            }
            if (code >= 0) return Result::Fail(entry.string() + " is not a regular file");
            continue;
        }
        if (code < 0) {
            if (HasWavSuffix(name)) ignored.push_back(name);
            continue;
        }
        auto [at, added] = clips.emplace(code, entry);
        if (!added) {
            return Result::Fail("two files for the phoneme " + ClipName(code) + " in " +
                                folder.string() + ": " + at->second.filename().string() + " and " +
                                name);
        }
    }
    return Result::Ok();
}

}  // namespace vocalith::voice
