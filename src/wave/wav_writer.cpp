#include "wave/wav_writer.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "base/atomic_file.h"
#include "base/file_io.h"

namespace vocalith::wave {

using base::Result;

struct WavWriter::Sink {
    enum class Kind { Replace, Stream, Memory };
    Kind kind = Kind::Memory;
    std::string name;                        // the path as the reasons name it
    std::filesystem::path target;            // Replace: the file renamed over at the end
    base::AtomicFile replace;                // Replace: the temporary file
    base::UniqueFd fd;                       // Stream: the target
    std::vector<uint8_t>* memory = nullptr;  // Memory: where Finish leaves the bytes
    std::vector<uint8_t> held;               // Stream, Memory: bytes not yet let go
    bool streaming = false;                  // Stream: the held bytes have been let go
    uint64_t pos = 0;                        // libsndfile's position in the virtual file
    uint64_t length = 0;                     // the virtual file's length
    Result status;                           // the first failed write

    Result Fail(int err) {
        if (status) status = Result::Fail("cannot write " + name + ": " + base::ErrnoText(err));
        return status;
    }

    // Lets the held bytes go to the stream; from now on bytes go straight out.
    Result LetGo() {
        if (Result w = base::WriteAll(fd.Get(), name, held.data(), held.size()); !w) {
            if (status) status = w;
            return status;
        }
        held.clear();
        held.shrink_to_fit();
        streaming = true;
        return Result::Ok();
    }

    sf_count_t Write(const uint8_t* bytes, sf_count_t count) {
        if (!status || count < 0) return 0;
        const auto n = static_cast<uint64_t>(count);
        if (kind == Kind::Replace) {
            uint64_t done = 0;
            while (done < n) {
                const ssize_t w =
                    ::pwrite(replace.Fd(), bytes + done, static_cast<size_t>(n - done),
                             static_cast<off_t>(pos + done));
                if (w < 0) {
                    if (errno == EINTR) continue;
                    Fail(errno);
                    break;
                }
                done += static_cast<uint64_t>(w);
            }
            Advance(done);
            return static_cast<sf_count_t>(done);
        }
        if (!streaming) {
            if (pos + n > held.size()) held.resize(static_cast<size_t>(pos + n));
            std::memcpy(held.data() + pos, bytes, static_cast<size_t>(n));
            Advance(n);
            return count;
        }
        // A stream cannot be rewound: a rewrite of what is out already (the
        // header at the end) is dropped; the rest must follow on at the end.
        uint64_t skip = pos < length ? std::min(n, length - pos) : 0;
        if (skip < n) {
            if (pos + skip != length) {
                Fail(ESPIPE);
                return 0;
            }
            if (Result w = base::WriteAll(fd.Get(), name, bytes + skip, n - skip); !w) {
                if (status) status = w;
                return 0;
            }
        }
        Advance(n);
        return count;
    }

    void Advance(uint64_t n) {
        pos += n;
        if (pos > length) length = pos;
    }
};

namespace {

using Sink = WavWriter::Sink;

sf_count_t VioLength(void* user) {
    return static_cast<sf_count_t>(static_cast<Sink*>(user)->length);
}
sf_count_t VioSeek(sf_count_t offset, int whence, void* user) {
    auto* s = static_cast<Sink*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<sf_count_t>(s->pos);
    if (whence == SEEK_END) base = static_cast<sf_count_t>(s->length);
    if (base + offset < 0) return -1;
    s->pos = static_cast<uint64_t>(base + offset);
    return static_cast<sf_count_t>(s->pos);
}
sf_count_t VioRead(void*, sf_count_t, void*) {
    return 0;  // the writer never reads back
}
sf_count_t VioWrite(const void* bytes, sf_count_t count, void* user) {
    return static_cast<Sink*>(user)->Write(static_cast<const uint8_t*>(bytes), count);
}
sf_count_t VioTell(void* user) {
    return static_cast<sf_count_t>(static_cast<Sink*>(user)->pos);
}

SNDFILE* Handle(void* file) {
    return static_cast<SNDFILE*>(file);
}

// Decides where the bytes for `path` go; fills the sink's kind, target and fd.
Result Prepare(const std::filesystem::path& path, Sink& sink) {
    namespace fs = std::filesystem;
    sink.name = path.string();
    if (path == "-") {
        sink.name = "standard output";
        sink.kind = Sink::Kind::Stream;
        sink.fd = base::UniqueFd(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
        if (!sink.fd.Valid()) return sink.Fail(errno);
        return Result::Ok();
    }
    if (path.empty()) return Result::Fail("no output file name given");
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            // A device, a FIFO, a terminal: written in place, never replaced.
            sink.kind = Sink::Kind::Stream;
            sink.fd = base::UniqueFd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
            if (!sink.fd.Valid()) return sink.Fail(errno);
            return Result::Ok();
        }
        std::error_code ec;
        sink.target = fs::canonical(path, ec);  // a symlink's target is what gets replaced
        if (ec) return sink.Fail(ec.value());
    } else if (errno == ENOENT) {
        sink.target = path;
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(path, ec))) {
            // A dangling link: the file it names is created.
            fs::path to = fs::read_symlink(path, ec);
            if (ec) return sink.Fail(ec.value());
            sink.target = to.is_absolute() ? to : path.parent_path() / to;
        }
    } else {
        return sink.Fail(errno);
    }
    sink.kind = Sink::Kind::Replace;
    return sink.replace.Create(sink.target, sink.name);
}

}  // namespace

WavWriter::WavWriter() = default;

WavWriter::~WavWriter() {
    Abandon();
}

bool WavWriter::IsOpen() const {
    return file_ != nullptr;
}

Result WavWriter::Failed(Result why) {
    if (failure_) failure_ = std::move(why);
    return failure_;
}

Result WavWriter::Open(const std::filesystem::path& path, uint32_t sampleRate) {
    Abandon();
    sink_ = std::make_unique<Sink>();
    if (Result prepared = Prepare(path, *sink_); !prepared) {
        Result why = prepared;
        Abandon();
        return why;
    }
    return Start(sampleRate);
}

Result WavWriter::OpenMemory(std::vector<uint8_t>* out, uint32_t sampleRate) {
    Abandon();
    sink_ = std::make_unique<Sink>();
    sink_->kind = Sink::Kind::Memory;
    sink_->name = "memory";
    sink_->memory = out;
    return Start(sampleRate);
}

Result WavWriter::Start(uint32_t sampleRate) {
    failure_ = Result::Ok();
    dataBytes_ = 0;
    static SF_VIRTUAL_IO vio = {VioLength, VioSeek, VioRead, VioWrite, VioTell};
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_ = sf_open_virtual(&vio, SFM_WRITE, &info, sink_.get());
    if (!file_) {
        Result why = sink_->status
                         ? Result::Fail("cannot write " + sink_->name + ": " + sf_strerror(nullptr))
                         : sink_->status;
        Abandon();
        return why;
    }
    if (!sink_->status) {
        Result why = sink_->status;
        Abandon();
        return why;
    }
    return Result::Ok();
}

Result WavWriter::Append(std::span<const int16_t> samples) {
    if (!failure_) return failure_;
    if (!file_) return Failed(Result::Fail("the WAV writer is not open"));
    const uint64_t bytes = 2 * static_cast<uint64_t>(samples.size());
    if (bytes > limit_ - dataBytes_) {
        return Failed(Result::Fail("cannot write " + sink_->name + ": a WAV file holds at most " +
                                   std::to_string(limit_) + " bytes of samples (4 GiB)"));
    }
    const sf_count_t n = static_cast<sf_count_t>(samples.size());
    const sf_count_t written = n ? sf_write_short(Handle(file_), samples.data(), n) : 0;
    if (written > 0) dataBytes_ += 2 * static_cast<uint64_t>(written);
    if (!sink_->status) return Failed(sink_->status);
    if (written != n) {
        return Failed(
            Result::Fail("cannot write " + sink_->name + ": " + sf_strerror(Handle(file_))));
    }
    if (sink_->kind == Sink::Kind::Stream && !sink_->streaming &&
        sink_->held.size() > STREAM_HOLD_BYTES) {
        // The header let go now claims exactly the bytes held.
        sf_command(Handle(file_), SFC_UPDATE_HEADER_NOW, nullptr, 0);
        if (Result out = sink_->LetGo(); !out) return Failed(out);
    }
    return Result::Ok();
}

Result WavWriter::UpdateHeader() {
    if (!failure_) return failure_;
    if (!file_) return Failed(Result::Fail("the WAV writer is not open"));
    sf_command(Handle(file_), SFC_UPDATE_HEADER_NOW, nullptr, 0);
    if (!sink_->status) return Failed(sink_->status);
    return Result::Ok();
}

Result WavWriter::Finish() {
    if (!file_) {
        Result why = failure_ ? Result::Fail("the WAV writer is not open") : failure_;
        Abandon();
        return why;
    }
    if (!failure_) {
        Result why = failure_;
        Abandon();
        return why;
    }
    const int closed = sf_close(Handle(file_));  // writes the final header
    file_ = nullptr;
    Sink& s = *sink_;
    Result result = s.status;
    if (result && closed != 0) {
        result = Result::Fail("cannot write " + s.name + ": " + sf_error_number(closed));
    }
    if (result) {
        switch (s.kind) {
            case Sink::Kind::Replace:
                result = s.replace.Commit();
                break;
            case Sink::Kind::Stream:
                if (!s.streaming) result = s.LetGo();
                if (result && s.fd.Reset() != 0) result = s.Fail(errno);
                break;
            case Sink::Kind::Memory:
                if (s.memory) *s.memory = std::move(s.held);
                break;
        }
    }
    Abandon();
    return result;
}

void WavWriter::Abandon() {
    if (file_) {
        sf_close(Handle(file_));
        file_ = nullptr;
    }
    if (sink_) {
        sink_->fd.Reset();
        sink_->replace.Abandon();
        sink_.reset();
    }
}

Result WriteWavFile(const std::filesystem::path& path, std::span<const int16_t> samples,
                    uint32_t sampleRate) {
    WavWriter writer;
    if (Result r = writer.Open(path, sampleRate); !r) return r;
    if (Result r = writer.Append(samples); !r) return r;
    return writer.Finish();
}

std::vector<uint8_t> EncodeWav(std::span<const int16_t> samples, uint32_t sampleRate) {
    std::vector<uint8_t> bytes;
    WavWriter writer;
    if (writer.OpenMemory(&bytes, sampleRate) && writer.Append(samples)) writer.Finish();
    return bytes;
}

}  // namespace vocalith::wave
