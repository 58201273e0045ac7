#pragma once
// Opening and reading files without ever blocking on them: every open uses
// O_NONBLOCK | O_CLOEXEC and is followed by fstat, and anything that is not a
// regular file (a FIFO, a device, a folder) is refused with a reason before
// a byte is read, so a FIFO without a writer cannot hang the program.
// Failures come back as base::Result with a reason naming the path.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/result.h"

namespace vocalith::base {

// A file descriptor closed when it goes out of scope.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor; the close's own error (-1 with errno) or 0.
    int Reset();

  private:
    int fd_ = -1;
};

// The text of errno value `err` ("No such file or directory").
std::string ErrnoText(int err);

// Opens a regular file for reading; `size` gets its length. Refuses anything
// else with "PATH is not a regular file".
Result OpenRegularFile(const std::filesystem::path& path, UniqueFd& fd, uint64_t& size);

// Reads up to `count` bytes at `offset` (retrying short reads and EINTR);
// `got` is what arrived (less only at the end of the file).
Result ReadAt(int fd, const std::filesystem::path& path, uint64_t offset, void* bytes, size_t count,
              size_t& got);

// Reads the whole regular file at `path` into `out`; refuses files larger
// than `maxBytes` ("PATH is N bytes, more than the limit of M") and anything
// that is not a regular file.
Result ReadFileBytes(const std::filesystem::path& path, uint64_t maxBytes,
                     std::vector<uint8_t>& out);

// Writes all of `bytes` to `fd`, retrying short writes and EINTR.
Result WriteAll(int fd, const std::filesystem::path& path, const void* bytes, size_t count);

}  // namespace vocalith::base
