#include "base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vocalith::base {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Reset() {
    if (fd_ < 0) return 0;
    const int fd = Release();
    return ::close(fd);
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

Result OpenRegularFile(const std::filesystem::path& path, UniqueFd& fd, uint64_t& size) {
    size = 0;
    fd.Reset();
    if (path.empty()) return Result::Fail("no file name given");
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    UniqueFd opened(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!opened.Valid())
        return Result::Fail("cannot open " + path.string() + ": " + ErrnoText(errno));
    struct stat st {};
    if (::fstat(opened.Get(), &st) != 0) {
        return Result::Fail("cannot read " + path.string() + ": " + ErrnoText(errno));
    }
    if (!S_ISREG(st.st_mode)) return Result::Fail(path.string() + " is not a regular file");
    // A regular file never blocks; plain blocking reads from here on.
    const int flags = ::fcntl(opened.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(opened.Get(), F_SETFL, flags & ~O_NONBLOCK);
    size = static_cast<uint64_t>(st.st_size);
    fd = std::move(opened);
    return Result::Ok();
}

Result ReadAt(int fd, const std::filesystem::path& path, uint64_t offset, void* bytes, size_t count,
              size_t& got) {
    got = 0;
    auto* p = static_cast<uint8_t*>(bytes);
    while (got < count) {
        const ssize_t n = ::pread(fd, p + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Result::Fail("cannot read " + path.string() + ": " + ErrnoText(errno));
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return Result::Ok();
}

Result ReadFileBytes(const std::filesystem::path& path, uint64_t maxBytes,
                     std::vector<uint8_t>& out) {
    out.clear();
    UniqueFd fd;
    uint64_t size = 0;
    if (Result opened = OpenRegularFile(path, fd, size); !opened) return opened;
    if (size > maxBytes) {
        return Result::Fail(path.string() + " is " + std::to_string(size) +
                            " bytes, more than the limit of " + std::to_string(maxBytes));
    }
    out.resize(static_cast<size_t>(size));
    size_t got = 0;
    if (Result read = ReadAt(fd.Get(), path, 0, out.data(), out.size(), got); !read) {
        out.clear();
        return read;
    }
    out.resize(got);  // a file that shrank while being read gives what it held
    return Result::Ok();
}

Result WriteAll(int fd, const std::filesystem::path& path, const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        const ssize_t n = ::write(fd, p, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Result::Fail("cannot write " + path.string() + ": " + ErrnoText(errno));
        }
        p += n;
        count -= static_cast<size_t>(n);
    }
    return Result::Ok();
}

}  // namespace vocalith::base
