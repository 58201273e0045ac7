#include "wave/riff_reader.h"

#include <array>
#include <cstring>
#include <string>

#include "wave/byte_order.h"

namespace vocalith::wave {

namespace {

using base::Result;

bool IdIs(const uint8_t* p, const char (&id)[5]) {
    return std::memcmp(p, id, 4) == 0;
}

Result Code(int32_t code, const char* why) {
    return Result::Fail(why, code);
}

// One chunk: its header at `at`, its declared size, and where the next chunk
// begins (size padded to even; may lie beyond the end).
struct Chunk {
    uint64_t at = 0;
    uint32_t size = 0;
    uint64_t next = 0;
};

// Walks the chunk headers of [pos, end) (the 8-byte header and the 4 bytes
// after it, a form's type) until `match(header, got)` picks one. Only
// complete 8-byte headers count.
template <class Match>
Result Walk(const RiffSource& source, uint64_t pos, uint64_t end, Match match, Chunk& found,
            bool& ok) {
    ok = false;
    uint8_t h[12];
    while (pos + 8 <= end) {
        size_t got = 0;
        if (Result read = source.Read(pos, h, sizeof h, got); !read) return read;
        if (got < 8) break;
        const uint32_t size = ReadLe32(h + 4);
        const uint64_t next = pos + 8 + size + (size & 1u);
        if (match(h, got)) {
            found = {pos, size, next};
            ok = true;
            break;
        }
        pos = next;
    }
    return Result::Ok();
}

// Scans the chunks of [pos, end) for `id`.
Result FindChunk(const RiffSource& source, uint64_t pos, uint64_t end, const char (&id)[5],
                 Chunk& found, bool& ok) {
    return Walk(
        source, pos, end, [&](const uint8_t* h, size_t) { return IdIs(h, id); }, found, ok);
}

// The top level: a RIFF chunk whose form type is "WAVE".
Result FindWaveForm(const RiffSource& source, uint64_t& formBegin, uint64_t& formEnd, bool& ok) {
    const uint64_t end = source.Size();
    Chunk form;
    const auto isWave = [](const uint8_t* h, size_t got) {
        return IdIs(h, "RIFF") && got >= 12 && IdIs(h + 8, "WAVE");
    };
    if (Result r = Walk(source, 0, end, isWave, form, ok); !r || !ok) return r;
    formBegin = form.at + 12;
    // Chunks are looked for inside the form as its header declares it: a
    // form that claims more than the file holds ends with the file, and one
    // that claims less than its type field holds no chunk.
    formEnd = form.at + 8 + static_cast<uint64_t>(form.size);
    if (formEnd > end) formEnd = end;
    if (formEnd < formBegin) formEnd = formBegin;
    return Result::Ok();
}

}  // namespace

Result MemorySource::Read(uint64_t offset, void* bytes, size_t count, size_t& got) const {
    got = 0;
    if (offset >= bytes_.size()) return Result::Ok();
    const uint64_t left = bytes_.size() - offset;
    got = count < left ? count : static_cast<size_t>(left);
    std::memcpy(bytes, bytes_.data() + offset, got);
    return Result::Ok();
}

Result FileSource::Open(const std::filesystem::path& path) {
    path_ = path;
    Result opened = base::OpenRegularFile(path, fd_, size_);
    if (!opened) opened.code = RIFF_ERR_OPEN;
    return opened;
}

Result FileSource::Read(uint64_t offset, void* bytes, size_t count, size_t& got) const {
    got = 0;
    if (!fd_.Valid()) return Code(RIFF_ERR_OPEN, "no file is open");
    Result read = base::ReadAt(fd_.Get(), path_, offset, bytes, count, got);
    if (!read) read.code = RIFF_ERR_OPEN;
    return read;
}

Result FindWaveChunks(const RiffSource& source, WaveChunks& chunks) {
    chunks = WaveChunks{};
    uint64_t formBegin = 0;
    uint64_t formEnd = 0;
    bool found = false;
    if (Result r = FindWaveForm(source, formBegin, formEnd, found); !r) return r;
    if (!found) return Code(RIFF_ERR_NOT_WAVE, "no RIFF form of type WAVE");
    Chunk fmt;
    if (Result r = FindChunk(source, formBegin, formEnd, "fmt ", fmt, found); !r) return r;
    if (!found) return Code(RIFF_ERR_NO_FORMAT, "the form holds no \"fmt \" chunk");
    // A chunk's bytes are read from the file, so a chunk that runs past the
    // end the form declares is still read whole while the file holds it.
    const uint64_t fileEnd = source.Size();
    const uint64_t fmtData = fmt.at + 8;
    if (fmtData + fmt.size > fileEnd) {
        return Code(RIFF_ERR_FORMAT_SHORT, "the \"fmt \" chunk is cut short");
    }
    // The format record with room to spare: fields a short chunk lacks read as 0.
    std::array<uint8_t, 16> record{};
    size_t got = 0;
    if (Result r = source.Read(fmtData, record.data(), fmt.size < 16 ? fmt.size : 16, got); !r) {
        return r;
    }
    chunks.format.formatTag = ReadLe16(&record[0]);
    chunks.format.channels = ReadLe16(&record[2]);
    chunks.format.samplesPerSec = ReadLe32(&record[4]);
    chunks.format.avgBytesPerSec = ReadLe32(&record[8]);
    chunks.format.blockAlign = ReadLe16(&record[12]);
    chunks.format.bitsPerSample = ReadLe16(&record[14]);

    // The "data" chunk is looked for after the "fmt " chunk, as a reader
    // moving forward through the form finds it.
    Chunk data;
    if (Result r = FindChunk(source, fmt.next, formEnd, "data", data, found); !r) return r;
    if (!found) return Code(RIFF_ERR_NO_DATA, "no \"data\" chunk after the \"fmt \" chunk");
    chunks.dataSize = data.size;
    if (data.size == 0) return Code(RIFF_ERR_DATA_EMPTY, "the \"data\" chunk is empty");
    chunks.dataOffset = data.at + 8;
    const uint64_t present = fileEnd > chunks.dataOffset ? fileEnd - chunks.dataOffset : 0;
    chunks.dataPresent = present < data.size ? present : data.size;
    return Result::Ok();
}

Result ReadWaveData(const RiffSource& source, const WaveChunks& chunks,
                    std::vector<uint8_t>& data) {
    data.assign(static_cast<size_t>(chunks.dataPresent), 0);
    size_t got = 0;
    Result read = source.Read(chunks.dataOffset, data.data(), data.size(), got);
    data.resize(got);
    if (read && got < chunks.dataPresent) {
        return Code(RIFF_ERR_DATA_READ, "the file shrank while its data was read");
    }
    if (!read) read.code = RIFF_ERR_DATA_READ;
    return read;
}

WaveView ParseWave(std::span<const uint8_t> bytes) {
    WaveView view;
    const MemorySource source(bytes);
    WaveChunks chunks;
    view.status = FindWaveChunks(source, chunks);
    view.format = chunks.format;
    view.dataSize = chunks.dataSize;
    if (view.status) {
        view.data = bytes.subspan(static_cast<size_t>(chunks.dataOffset),
                                  static_cast<size_t>(chunks.dataPresent));
    }
    return view;
}

}  // namespace vocalith::wave
