#include "voice/voice_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <thread>

#include "base/atomic_file.h"
#include "base/file_io.h"
#include "wave/byte_order.h"

namespace vocalith::voice {

namespace {

using Header = std::array<int32_t, VOICE_HEADER_ENTRIES>;

VoiceResult Ok() {
    return VoiceResult::Ok();
}
VoiceResult Refused(std::string reason) {
    return VoiceResult::Fail(std::move(reason));
}

// The count a slot is stored with: a count outside the slot's capacity can
// only come from a damaged table, and is stored cut to the capacity so the
// writer never reads past the slot.
int32_t StoredCount(const PhonSlot& slot) {
    if (slot.count < 0) return 0;
    return slot.count > PHON_MAX_SAMPLES ? PHON_MAX_SAMPLES : slot.count;
}

// Decodes and checks the 400 header bytes; on success `sampleBytes` is the
// number of sample bytes the header asks for.
VoiceResult ParseHeader(const uint8_t* bytes, Header& header, size_t& sampleBytes) {
    sampleBytes = 0;
    for (int i = 0; i < VOICE_HEADER_ENTRIES; ++i) {
        header[i] = static_cast<int32_t>(wave::ReadLe32(bytes + 4 * i));
    }
    for (int i = 0; i < PHONEME_COUNT; ++i) {
        if (header[i] < 0 || header[i] > PHON_MAX_SAMPLES) {
            return Refused("the count of slot " + std::to_string(i) + " (\"" +
                           kInventory[i].symbol + "\") is " + std::to_string(header[i]) +
                           ", outside 0 to " + std::to_string(PHON_MAX_SAMPLES));
        }
        sampleBytes += 2 * static_cast<size_t>(header[i]);
    }
    return Ok();
}

// Copies the checked samples into the table; samples past a slot's new
// count keep their old values.
void Apply(const Header& header, const uint8_t* samples, PhonTable& table) {
    size_t offset = 0;
    for (int i = 0; i < PHONEME_COUNT; ++i) {
        PhonSlot& slot = table.slots[static_cast<size_t>(i)];
        slot.count = header[i];
        for (int32_t k = 0; k < header[i]; ++k) {
            slot.samples[static_cast<size_t>(k)] =
                static_cast<int16_t>(wave::ReadLe16(samples + offset));
            offset += 2;
        }
    }
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// Creates the folder a voice is saved in, if missing.
VoiceResult MakeFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return Ok();
    const std::string cannot = "cannot create voices folder " + folder.string() + ": ";
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(folder, ec))) {
        // A link to a folder that is gone: creating it would say "File exists".
        // Worded so that the window, which drops paths, still reads well.
        return Refused(cannot + "it is a link, and its target " +
                       std::filesystem::read_symlink(folder, ec).string() + " is not there");
    }
    std::filesystem::create_directories(folder, ec);
    if (ec) return Refused(cannot + ec.message());
    return Ok();
}

std::string ShortData(size_t have, size_t need) {
    return "the file holds " + std::to_string(have) + " bytes of samples but its header needs " +
           std::to_string(need);
}

}  // namespace

std::vector<uint8_t> EncodeVoice(const PhonTable& table) {
    size_t total = VOICE_HEADER_BYTES;
    for (const PhonSlot& slot : table.slots) total += 2 * static_cast<size_t>(StoredCount(slot));
    std::vector<uint8_t> bytes(total, 0);
    for (int i = 0; i < PHONEME_COUNT; ++i) {
        wave::WriteLe32(bytes.data() + 4 * i,
                        static_cast<uint32_t>(StoredCount(table.slots[static_cast<size_t>(i)])));
    }
    size_t offset = VOICE_HEADER_BYTES;
    for (const PhonSlot& slot : table.slots) {
        const int32_t count = StoredCount(slot);
        for (int32_t k = 0; k < count; ++k) {
            wave::WriteLe16(bytes.data() + offset,
                            static_cast<uint16_t>(slot.samples[static_cast<size_t>(k)]));
            offset += 2;
        }
    }
    return bytes;
}

VoiceResult LoadVoiceBytes(std::span<const uint8_t> bytes, PhonTable& table) {
    if (bytes.size() < static_cast<size_t>(VOICE_HEADER_BYTES)) {
        return Refused("the file is " + std::to_string(bytes.size()) +
                       " bytes long, shorter than the 400-byte header");
    }
    Header header{};
    size_t need = 0;
    VoiceResult checked = ParseHeader(bytes.data(), header, need);
    if (!checked) return checked;
    const size_t have = bytes.size() - VOICE_HEADER_BYTES;
    if (have < need) return Refused(ShortData(have, need));
    // Bytes after the samples are ignored.
    Apply(header, bytes.data() + VOICE_HEADER_BYTES, table);
    return Ok();
}

VoiceResult LoadVoice(const std::filesystem::path& path, PhonTable& table) {
    std::vector<uint8_t> bytes;
    if (VoiceResult read = base::ReadFileBytes(path, VOICE_FILE_MAX_BYTES, bytes); !read) {
        return read;
    }
    VoiceResult loaded = LoadVoiceBytes(bytes, table);
    if (!loaded) loaded.reason = path.string() + ": " + loaded.reason;
    return loaded;
}

VoiceResult VoiceLock::Acquire(const std::filesystem::path& path, std::chrono::milliseconds wait) {
    fd_.Reset();
    const std::filesystem::path folder = FolderOf(path);
    if (VoiceResult made = MakeFolder(folder); !made) return made;
    base::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // A folder that cannot be opened for reading cannot be locked; the save
    // itself says whether it can be written.
    if (!fd.Valid()) return Ok();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return Ok();  // no locks on this file system
        if (std::chrono::steady_clock::now() >= deadline) {
            return Refused("another program is saving a voice in " + folder.string() +
                           "; try again");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    fd_ = std::move(fd);
    return Ok();
}

VoiceResult SaveVoice(const std::filesystem::path& path, const PhonTable& table,
                      const VoiceLock* held) {
    const std::string name = path.string();
    VoiceLock own;
    if (!held) {
        if (VoiceResult locked = own.Acquire(path); !locked) return locked;
    } else if (VoiceResult made = MakeFolder(FolderOf(path)); !made) {
        return made;
    }

    // A voice the user has made read-only is kept as it is, also for root,
    // who could write it anyway. An existing voice keeps its mode and owner.
    struct stat old {};
    const bool replacing = ::stat(path.c_str(), &old) == 0;
    if (replacing &&
        (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)) {
        const std::string shown = (path.parent_path().filename() / path.filename()).string();
        return Refused(shown + (S_ISREG(old.st_mode) ? " is read-only" : " is not a regular file"));
    }

    // The voice goes to a temporary file in the same folder first and
    // replaces the old file only once every byte is on disk, so a failed
    // save never costs the voice that was there.
    base::AtomicFile file;
    if (VoiceResult created = file.Create(path, name); !created) return created;
    const std::vector<uint8_t> bytes = EncodeVoice(table);
    if (VoiceResult written = base::WriteAll(file.Fd(), path, bytes.data(), bytes.size());
        !written) {
        return written;
    }
    return file.Commit();
}

}  // namespace vocalith::voice
