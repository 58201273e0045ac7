#include "wave/wav_writer.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "base/atomic_file.h"
#include "base/file_io.h"
#include "wave/byte_order.h"

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

    // Gives the held WAVE header RIFF and data sizes of 0xFFFFFFFF: the
    // stream's length is not known yet and can never be written back.
    void OpenEndedSizes() {
        if (held.size() < 12 || std::memcmp(held.data(), "RIFF", 4) != 0) return;
        WriteLe32(held.data() + 4, 0xFFFFFFFFu);
        for (size_t at = 12; at + 8 <= held.size();) {
            if (std::memcmp(held.data() + at, "data", 4) == 0) {
                WriteLe32(held.data() + at + 4, 0xFFFFFFFFu);
                return;
            }
            const uint64_t size = ReadLe32(held.data() + at + 4);
            at += static_cast<size_t>(std::min<uint64_t>(8 + size + (size & 1), held.size()));
        }
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

sf_count_t SinkVioLength(void* user) {
    return static_cast<sf_count_t>(static_cast<Sink*>(user)->length);
}
sf_count_t SinkVioSeek(sf_count_t offset, int whence, void* user) {
    auto* s = static_cast<Sink*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<sf_count_t>(s->pos);
    if (whence == SEEK_END) base = static_cast<sf_count_t>(s->length);
    if (base + offset < 0) return -1;
    s->pos = static_cast<uint64_t>(base + offset);
    return static_cast<sf_count_t>(s->pos);
}
sf_count_t SinkVioRead(void*, sf_count_t, void*) {
    return 0;  // the writer never reads back
}
sf_count_t SinkVioWrite(const void* bytes, sf_count_t count, void* user) {
    return static_cast<Sink*>(user)->Write(static_cast<const uint8_t*>(bytes), count);
}
sf_count_t SinkVioTell(void* user) {
    return static_cast<sf_count_t>(static_cast<Sink*>(user)->pos);
}

SNDFILE* Handle(void* file) {
    return static_cast<SNDFILE*>(file);
}

int SndfileFormat(AudioEncoding encoding) {
    switch (encoding) {
        case AudioEncoding::Flac:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioEncoding::Vorbis:
            return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case AudioEncoding::Opus:
            return SF_FORMAT_OGG | SF_FORMAT_OPUS;
        case AudioEncoding::Mp3:
            return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        case AudioEncoding::Wav:
            break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

// Puts `room` bytes in front of the `length` bytes of the file `fd`: a range
// inserted by the file system where it can, else every byte copied `room`
// further on, from the end backwards, a block at a time. Returns an errno
// value, 0 on success.
int InsertAtFront(int fd, uint64_t length, uint64_t room) {
    if (::fallocate(fd, FALLOC_FL_INSERT_RANGE, 0, static_cast<off_t>(room)) == 0) return 0;
    std::vector<uint8_t> block(size_t{1} << 20);
    for (uint64_t end = length; end > 0;) {
        const uint64_t n = std::min<uint64_t>(block.size(), end);
        const uint64_t start = end - n;
        for (uint64_t done = 0; done < n;) {
            const ssize_t r = ::pread(fd, block.data() + done, static_cast<size_t>(n - done),
                                      static_cast<off_t>(start + done));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return r < 0 ? errno : EIO;
            done += static_cast<uint64_t>(r);
        }
        for (uint64_t done = 0; done < n;) {
            const ssize_t w = ::pwrite(fd, block.data() + done, static_cast<size_t>(n - done),
                                       static_cast<off_t>(start + room + done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return errno;
            done += static_cast<uint64_t>(w);
        }
        end = start;
    }
    return 0;
}

void WriteLe64(uint8_t* p, uint64_t value) {
    WriteLe32(p, static_cast<uint32_t>(value));
    WriteLe32(p + 4, static_cast<uint32_t>(value >> 32));
}

// Opens the non-regular target `path` for writing without blocking: a FIFO
// gets FIFO_READER_WAIT for a program to open it for reading (one started
// beside this one), then is refused. The descriptor then blocks as usual.
Result OpenStream(const std::filesystem::path& path, Sink& sink) {
    sink.kind = Sink::Kind::Stream;
    const auto deadline = std::chrono::steady_clock::now() + FIFO_READER_WAIT;
    for (;;) {
        sink.fd = base::UniqueFd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (sink.fd.Valid()) break;
        if (errno == EINTR) continue;
        if (errno != ENXIO) return sink.Fail(errno);
        if (std::chrono::steady_clock::now() >= deadline) {
            return Result::Fail("cannot write " + sink.name +
                                ": it is a FIFO that no program is reading from");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int flags = ::fcntl(sink.fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(sink.fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return sink.Fail(errno);
    }
    return Result::Ok();
}

// Decides where the bytes for `path` go; fills the sink's kind, target and fd.
Result Prepare(const std::filesystem::path& path, WavTarget target, Sink& sink) {
    namespace fs = std::filesystem;
    sink.name = path.string();
    if (path == "-" && target == WavTarget::FileOrStream) {
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
            if (target == WavTarget::FileOnly) {
                return Result::Fail(sink.name + " is not a regular file");
            }
            // A device, a FIFO, a terminal: written in place, never replaced.
            return OpenStream(path, sink);
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
    return file_ != nullptr || rf64_;
}

Result WavWriter::Failed(Result why) {
    if (failure_) failure_ = std::move(why);
    return failure_;
}

Result WavWriter::Open(const std::filesystem::path& path, uint32_t sampleRate,
                       AudioEncoding encoding, WavTarget target) {
    Abandon();
    sink_ = std::make_unique<Sink>();
    if (Result prepared = Prepare(path, target, *sink_); !prepared) {
        Result why = prepared;
        Abandon();
        return why;
    }
    return Start(sampleRate, encoding);
}

Result WavWriter::OpenMemory(std::vector<uint8_t>* out, uint32_t sampleRate,
                             AudioEncoding encoding) {
    Abandon();
    sink_ = std::make_unique<Sink>();
    sink_->kind = Sink::Kind::Memory;
    sink_->name = "memory";
    sink_->memory = out;
    return Start(sampleRate, encoding);
}

Result WavWriter::Start(uint32_t sampleRate, AudioEncoding encoding) {
    failure_ = Result::Ok();
    dataBytes_ = 0;
    sampleRate_ = sampleRate;
    encoding_ = encoding;
    rf64_ = false;
    static SF_VIRTUAL_IO vio = {SinkVioLength, SinkVioSeek, SinkVioRead, SinkVioWrite, SinkVioTell};
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SndfileFormat(encoding);
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
    if (!IsOpen()) return Failed(Result::Fail("the WAV writer is not open"));
    if (rf64_) return AppendRf64(samples);
    const uint64_t bytes = 2 * static_cast<uint64_t>(samples.size());
    // A stream let its header go long before the limit; only files and
    // memory images have one to widen.
    if (encoding_ == AudioEncoding::Wav && sink_->kind != Sink::Kind::Stream &&
        bytes > limit_ - dataBytes_) {
        if (Result widened = BecomeRf64(); !widened) return Failed(widened);
        return AppendRf64(samples);
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
        // The header let go claims everything to the end of the stream.
        sf_command(Handle(file_), SFC_UPDATE_HEADER_NOW, nullptr, 0);
        if (encoding_ == AudioEncoding::Wav) sink_->OpenEndedSizes();
        if (Result out = sink_->LetGo(); !out) return Failed(out);
    }
    return Result::Ok();
}

Result WavWriter::UpdateHeader() {
    if (!failure_) return failure_;
    if (!IsOpen()) return Failed(Result::Fail("the WAV writer is not open"));
    if (rf64_) {
        if (Result written = WriteRf64Header(); !written) return Failed(written);
        return Result::Ok();
    }
    sf_command(Handle(file_), SFC_UPDATE_HEADER_NOW, nullptr, 0);
    if (!sink_->status) return Failed(sink_->status);
    return Result::Ok();
}

Result WavWriter::Finish() {
    if (!IsOpen()) {
        Result why = failure_ ? Result::Fail("the WAV writer is not open") : failure_;
        Abandon();
        return why;
    }
    if (!failure_) {
        Result why = failure_;
        Abandon();
        return why;
    }
    // The final header: libsndfile's, or the RF64 one written here.
    const int closed = file_ ? sf_close(Handle(file_)) : 0;
    file_ = nullptr;
    if (rf64_) WriteRf64Header();  // a failure stays in the sink's status
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
    rf64_ = false;
    if (sink_) {
        sink_->fd.Reset();
        sink_->replace.Abandon();
        sink_.reset();
    }
}

Result WavWriter::BecomeRf64() {
    Sink& s = *sink_;
    // libsndfile hands over what it still holds and a final plain header.
    const int closed = sf_close(Handle(file_));
    file_ = nullptr;
    if (!s.status) return s.status;
    if (closed != 0) return Result::Fail("cannot write " + s.name + ": " + sf_error_number(closed));
    constexpr uint64_t kWavDataOffset = 44;
    if (s.length != kWavDataOffset + dataBytes_) {
        return Result::Fail("cannot write " + s.name +
                            ": the WAVE file is not laid out as expected");
    }
    const uint64_t room = RF64_DATA_OFFSET - kWavDataOffset;
    if (s.kind == Sink::Kind::Memory) {
        s.held.insert(s.held.begin(), static_cast<size_t>(room), 0);
    } else if (const int err = InsertAtFront(s.replace.Fd(), s.length, room); err != 0) {
        return s.Fail(err);
    }
    s.length += room;
    rf64_ = true;
    return WriteRf64Header();
}

Result WavWriter::WriteRf64Header() {
    // RF64: 32-bit sizes of all ones, the real ones in the ds64 chunk; a JUNK
    // chunk fills the room up to the samples.
    std::vector<uint8_t> h(RF64_DATA_OFFSET, 0);
    uint8_t* p = h.data();
    const uint64_t length = sink_->length;
    std::memcpy(p, "RF64", 4);
    WriteLe32(p + 4, 0xFFFFFFFFu);
    std::memcpy(p + 8, "WAVEds64", 8);
    WriteLe32(p + 16, 28);
    WriteLe64(p + 20, length - 8);
    WriteLe64(p + 28, dataBytes_);
    WriteLe64(p + 36, dataBytes_ / 2);  // frames of one 16-bit sample
    WriteLe32(p + 44, 0);               // no table of further sizes
    std::memcpy(p + 48, "fmt ", 4);
    WriteLe32(p + 52, 16);
    WriteLe16(p + 56, 1);  // PCM
    WriteLe16(p + 58, 1);  // mono
    WriteLe32(p + 60, sampleRate_);
    WriteLe32(p + 64, sampleRate_ * 2);
    WriteLe16(p + 68, 2);
    WriteLe16(p + 70, 16);
    std::memcpy(p + 72, "JUNK", 4);
    WriteLe32(p + 76, static_cast<uint32_t>(RF64_DATA_OFFSET - 8 - 80));
    std::memcpy(p + RF64_DATA_OFFSET - 8, "data", 4);
    WriteLe32(p + RF64_DATA_OFFSET - 4, 0xFFFFFFFFu);
    sink_->pos = 0;
    sink_->Write(h.data(), static_cast<sf_count_t>(h.size()));
    sink_->pos = sink_->length;
    return sink_->status;
}

Result WavWriter::AppendRf64(std::span<const int16_t> samples) {
    uint8_t bytes[8192];
    while (!samples.empty()) {
        const size_t n = std::min(samples.size(), sizeof bytes / 2);
        for (size_t i = 0; i < n; ++i) {
            WriteLe16(bytes + 2 * i, static_cast<uint16_t>(samples[i]));
        }
        sink_->pos = sink_->length;
        sink_->Write(bytes, static_cast<sf_count_t>(2 * n));
        if (!sink_->status) return Failed(sink_->status);
        dataBytes_ += 2 * n;
        samples = samples.subspan(n);
    }
    return Result::Ok();
}

Result WriteWavFile(const std::filesystem::path& path, std::span<const int16_t> samples,
                    uint32_t sampleRate, WavTarget target) {
    WavWriter writer;
    if (Result r = writer.Open(path, sampleRate, AudioEncoding::Wav, target); !r) return r;
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
