#include "base/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>

namespace vocalith::base {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempMark = ".vocalith-";
constexpr size_t kSuffixLength = 6;
constexpr char kSuffixLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// The temporary files being written, for the signal handler: a fixed table,
// since a handler may neither allocate nor take a lock. A row is Free, being
// Filled by its writer, or Ready for the handler to read.
enum SlotState : int { FREE, FILLING, READY };
struct TempSlot {
    std::atomic<int> state{FREE};
    char path[PATH_MAX] = {};
};
constexpr int kSlots = 16;
TempSlot gTempSlots[kSlots];

// The row holding `path`, or -1 when the path is too long or the table is
// full (the file is then left to the next write's clean-up).
int Register(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = FREE;
        if (gTempSlots[i].state.compare_exchange_strong(expected, FILLING)) {
            std::memcpy(gTempSlots[i].path, path.c_str(), path.size() + 1);
            gTempSlots[i].state.store(READY, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void Unregister(int& slot) {
    if (slot >= 0) gTempSlots[slot].state.store(FREE, std::memory_order_release);
    slot = -1;
}

// Only unlink, signal and raise here: each is async-signal-safe.
void RemoveTempFilesAndDie(int sig) {
    for (TempSlot& slot : gTempSlots) {
        if (slot.state.load(std::memory_order_acquire) == READY) ::unlink(slot.path);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered once the handler returns: the usual end and status
}

std::string RandomSuffix() {
    unsigned char bytes[kSuffixLength] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy yet: the clock and the process still make clashes rare,
        // and a clash only means another try.
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t mix = static_cast<uint64_t>(now.tv_nsec) * 2654435761u ^
                       static_cast<uint64_t>(::getpid()) << 20;
        for (unsigned char& b : bytes) {
            b = static_cast<unsigned char>(mix);
            mix = mix * 6364136223846793005u + 1442695040888963407u;
        }
    }
    std::string suffix;
    for (const unsigned char b : bytes) suffix += kSuffixLetters[b % (sizeof kSuffixLetters - 1)];
    return suffix;
}

bool EndsWithSuffix(std::string_view name, std::string_view mark) {
    if (name.size() < mark.size() + kSuffixLength + 1) return false;
    const std::string_view tail = name.substr(name.size() - kSuffixLength);
    return name.substr(name.size() - kSuffixLength - mark.size(), mark.size()) == mark &&
           tail.find_first_not_of(kSuffixLetters) == std::string_view::npos;
}

fs::path FolderOf(const fs::path& target) {
    fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

std::atomic<bool> gUnnamedAllowed{true};

std::string ProcFdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// Gives the open file `fd` the name `to`; 0, or -1 with errno.
int LinkFd(int fd, const char* to) {
    if (::linkat(fd, "", AT_FDCWD, to, AT_EMPTY_PATH) == 0) return 0;
    if (errno == EEXIST) return -1;
    return ::linkat(AT_FDCWD, ProcFdPath(fd).c_str(), AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}

// Makes a new name in the target's folder durable; a failure loses nothing.
void SyncFolder(const fs::path& target) {
    UniqueFd dir(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) ::fsync(dir.Get());
}

}  // namespace

bool IsTempFileName(std::string_view name) {
    const bool hidden = !name.empty() && name[0] == '.';
    return (hidden && EndsWithSuffix(name, kTempMark)) || EndsWithSuffix(name, ".voc.") ||
           (hidden && EndsWithSuffix(name, ".wav."));
}

void RemoveStaleTempFiles(const fs::path& folder, std::chrono::seconds age) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const time_t before = ::time(nullptr) - static_cast<time_t>(age.count());
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTempFileName(entry->d_name)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_mtime < before) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

void RemoveTempFilesOnSignals() {
    // Every signal sent to end the program or whose default action ends it,
    // but those that report a fault of the program itself (SIGSEGV, SIGTRAP,
    // ...), which are left to the debugger and the sanitizers.
    for (const int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                          SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGIO, SIGPWR}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = RemoveTempFilesAndDie;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
}

void AllowUnnamedTempFiles(bool allowed) {
    gUnnamedAllowed.store(allowed, std::memory_order_relaxed);
}

Result AtomicFile::Fail(const char* what, int err) {
    Abandon();
    return Result::Fail(std::string(what) + " " + name_ + ": " + ErrnoText(err));
}

Result AtomicFile::Create(const fs::path& target, const std::string& name) {
    Abandon();
    target_ = target;
    name_ = name;
    const fs::path folder = FolderOf(target);
    RemoveStaleTempFiles(folder);
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // A file its owner made read-only is kept, also for root, who could
    // write it anyway.
    if (replacing && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        return Result::Fail("cannot replace " + name_ + ": it is read-only");
    }
    if (gUnnamedAllowed.load(std::memory_order_relaxed)) {
        fd_ = UniqueFd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
        // Linked in later through /proc (or AT_EMPTY_PATH, for root); without
        // /proc the named way is the only one.
        if (fd_.Valid() && ::access(ProcFdPath(fd_.Get()).c_str(), F_OK) != 0) fd_.Reset();
        unnamed_ = fd_.Valid();
    }
    if (!unnamed_) {
        if (Result created = CreateNamed(folder); !created) return created;
    }
    if (replacing) {
        if (::fchmod(fd_.Get(), old.st_mode & 07777) != 0) return Fail("cannot create", errno);
        // Only root may give a file away; anyone else keeps it as theirs.
        [[maybe_unused]] const int owned = ::fchown(fd_.Get(), old.st_uid, old.st_gid);
    }
    return Result::Ok();
}

Result AtomicFile::CreateNamed(const fs::path& folder) {
    return TakeTempName(folder, "cannot create", [this](const char* name) {
        fd_ = UniqueFd(::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        return fd_.Valid();
    });
}

Result AtomicFile::LinkNamed() {
    return TakeTempName(FolderOf(target_), "cannot write",
                        [this](const char* name) { return LinkFd(fd_.Get(), name) == 0; });
}

Result AtomicFile::TakeTempName(const fs::path& folder, const char* what,
                                const std::function<bool(const char*)>& make) {
    std::string base = target_.filename().string();
    if (base.size() > NAME_MAX - 1 - kTempMark.size() - kSuffixLength) {
        base.resize(NAME_MAX - 1 - kTempMark.size() - kSuffixLength);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_ = (folder / ("." + base + std::string(kTempMark) + RandomSuffix())).string();
        // In the table before it exists, so that no signal can leave it behind.
        slot_ = Register(temp_);
        if (make(temp_.c_str())) return Result::Ok();
        const int err = errno;
        Unregister(slot_);
        temp_.clear();
        if (err != EEXIST) return Fail(what, err);
    }
    return Fail(what, EEXIST);
}

Result AtomicFile::Commit() {
    if (!fd_.Valid()) return Result::Fail("cannot write " + name_ + ": it is not open");
    if (::fsync(fd_.Get()) != 0) return Fail("cannot write", errno);
    if (unnamed_) {
        // A new target is the complete file the moment it gets its name: a
        // link can never be half made. An existing one (or one made
        // meanwhile) is replaced by a rename from a unique name, as rename
        // is the one call that swaps a name over atomically.
        struct stat st {};
        if (::lstat(target_.c_str(), &st) != 0 && errno == ENOENT &&
            LinkFd(fd_.Get(), target_.c_str()) == 0) {
            unnamed_ = false;
            if (fd_.Reset() != 0) {
                const int err = errno;
                ::unlink(target_.c_str());
                return Fail("cannot write", err);
            }
            SyncFolder(target_);
            return Result::Ok();
        }
        if (Result linked = LinkNamed(); !linked) return linked;
        unnamed_ = false;
    }
    if (fd_.Reset() != 0) return Fail("cannot write", errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return Fail("cannot replace", errno);
    temp_.clear();  // it is the target now
    Unregister(slot_);
    SyncFolder(target_);
    return Result::Ok();
}

void AtomicFile::Abandon() {
    fd_.Reset();  // an unnamed file is gone with its last descriptor
    unnamed_ = false;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    Unregister(slot_);
}

}  // namespace vocalith::base
