#pragma once
// Replacing a file whole, so that it is either the old file or the complete
// new one: the bytes go to a temporary file in the target's folder, which is
// synced and put in place of the target only once complete. Used for voices
// and WAV files alike.
//
// The temporary file is unnamed where the file system allows (O_TMPFILE):
// it has no name until Commit links it in, so nothing, not even SIGKILL or a
// power cut, leaves it behind. Elsewhere it is named
// ".NAME.vocalith-XXXXXX" (hidden, and never taken for a voice or a clip),
// removed when the write fails or is abandoned, and, once a program has
// called RemoveTempFilesOnSignals, when a signal that ends the program
// arrives half way. A program killed outright leaves such a file behind;
// those older than a day are removed at the next write into the same folder.
//
// A target that is read-only (no write bit, or not writable by us) is
// refused rather than replaced, as the file's owner asked.
//
// Files are created with mode 0666, so the user's umask decides the mode of
// a new file; a replaced file keeps its mode and, where allowed, its owner.
// Nothing here changes the umask.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "base/file_io.h"
#include "base/result.h"

namespace vocalith::base {

class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile() { Abandon(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Starts replacing `target` (a regular file or a path not there yet).
    // Reasons name the file as `name`: "cannot create NAME: REASON".
    Result Create(const std::filesystem::path& target, const std::string& name);

    // The temporary file, open for writing (and reading).
    int Fd() const { return fd_.Get(); }
    bool IsOpen() const { return fd_.Valid(); }

    // Syncs and closes the temporary file and puts it in place of the
    // target; on failure the target is as it was and the temporary file is
    // gone.
    Result Commit();

    // Closes and removes the temporary file; the target is as it was.
    void Abandon();

  private:
    Result Fail(const char* what, int err);
    // Opens a named temporary file (temp_) in `folder`.
    Result CreateNamed(const std::filesystem::path& folder);
    // Gives the unnamed file the name temp_ (unique in the folder).
    Result LinkNamed();
    // Gives the file a fresh hidden name beside the target in `folder`
    // through `make` (false with errno set; EEXIST tries another name).
    Result TakeTempName(const std::filesystem::path& folder, const char* what,
                        const std::function<bool(const char*)>& make);

    UniqueFd fd_;
    bool unnamed_ = false;  // fd_ is an O_TMPFILE file, not linked yet
    std::filesystem::path target_;
    std::string temp_;
    std::string name_;
    int slot_ = -1;  // the temporary file's row in the signal handler's table
};

// True for a name AtomicFile gives its temporary files, or that an earlier
// version gave them ("NAME.voc.XXXXXX", ".NAME.wav.XXXXXX").
bool IsTempFileName(std::string_view name);

// Removes the temporary files of ours in `folder` (regular files we own
// whose name IsTempFileName) last changed more than `age` ago.
void RemoveStaleTempFiles(const std::filesystem::path& folder,
                          std::chrono::seconds age = std::chrono::hours(24));

// Makes every signal whose default is to end the program (SIGINT, SIGTERM,
// SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, ...) remove the named temporary
// files being written before the program ends as the signal would have ended
// it. A signal that is ignored (as nohup ignores SIGHUP) or already handled
// stays as it was. Called once by a program's main().
void RemoveTempFilesOnSignals();

// Whether AtomicFile may use unnamed temporary files (default: yes, where
// the file system has them). Off, every write takes the named way, as on a
// file system without O_TMPFILE; for tests of that way.
void AllowUnnamedTempFiles(bool allowed);

}  // namespace vocalith::base
