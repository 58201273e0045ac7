#include "wave/riff_reader.h"

#include <array>
#include <cstring>
#include <fstream>
#include <system_error>

#include "wave/byte_order.h"

namespace vocalith::wave {

namespace {

bool IdIs(const uint8_t* p, const char (&id)[5]) {
    return std::memcmp(p, id, 4) == 0;
}

// One chunk found in [begin, end): its header at `at`, its declared size, and
// where the next chunk begins (size padded to even; may lie beyond end).
struct Chunk {
    uint64_t at = 0;
    uint32_t size = 0;
    uint64_t next = 0;
};

// Scans the chunks of [pos, end) for `id`. Only complete 8-byte headers count.
bool FindChunk(std::span<const uint8_t> bytes, uint64_t pos, uint64_t end, const char (&id)[5],
               Chunk& found) {
    while (pos + 8 <= end) {
        const uint8_t* h = bytes.data() + pos;
        const uint32_t size = ReadLe32(h + 4);
        const uint64_t next = pos + 8 + size + (size & 1u);
        if (IdIs(h, id)) {
            found = {pos, size, next};
            return true;
        }
        pos = next;
    }
    return false;
}

// The top level: a RIFF chunk whose form type is "WAVE".
bool FindWaveForm(std::span<const uint8_t> bytes, uint64_t& formBegin, uint64_t& formEnd) {
    uint64_t pos = 0;
    const uint64_t end = bytes.size();
    while (pos + 8 <= end) {
        const uint8_t* h = bytes.data() + pos;
        const uint32_t size = ReadLe32(h + 4);
        const uint64_t next = pos + 8 + size + (size & 1u);
        if (IdIs(h, "RIFF") && pos + 12 <= end && IdIs(h + 8, "WAVE")) {
            formBegin = pos + 12;
            // Chunks are looked for inside the form as its header declares it:
            // a form that claims more than the file holds ends with the file,
            // and one that claims less than its type field holds no chunk.
            formEnd = pos + 8 + static_cast<uint64_t>(size);
            if (formEnd > end) formEnd = end;
            if (formEnd < formBegin) formEnd = formBegin;
            return true;
        }
        pos = next;
    }
    return false;
}

}  // namespace

WaveView ParseWave(std::span<const uint8_t> bytes) {
    WaveView view;
    uint64_t formBegin = 0;
    uint64_t formEnd = 0;
    if (!FindWaveForm(bytes, formBegin, formEnd)) {
        view.status = WaveStatus::NoWaveForm;
        return view;
    }
    Chunk fmt;
    if (!FindChunk(bytes, formBegin, formEnd, "fmt ", fmt)) {
        view.status = WaveStatus::NoFormat;
        return view;
    }
    // A chunk's bytes are read from the file, so a chunk that runs past the
    // end the form declares is still read whole while the file holds it.
    const uint64_t fileEnd = bytes.size();
    const uint64_t fmtData = fmt.at + 8;
    if (fmtData + fmt.size > fileEnd) {
        view.status = WaveStatus::FormatShort;
        return view;
    }
    // The format record with room to spare: fields a short chunk lacks read as 0.
    std::array<uint8_t, 16> record{};
    std::memcpy(record.data(), bytes.data() + fmtData, fmt.size < 16 ? fmt.size : 16);
    view.format.formatTag = ReadLe16(&record[0]);
    view.format.channels = ReadLe16(&record[2]);
    view.format.samplesPerSec = ReadLe32(&record[4]);
    view.format.avgBytesPerSec = ReadLe32(&record[8]);
    view.format.blockAlign = ReadLe16(&record[12]);
    view.format.bitsPerSample = ReadLe16(&record[14]);

    // The "data" chunk is looked for after the "fmt " chunk, as a reader
    // moving forward through the form finds it.
    Chunk data;
    if (!FindChunk(bytes, fmt.next, formEnd, "data", data)) {
        view.status = WaveStatus::NoData;
        return view;
    }
    view.dataSize = data.size;
    if (data.size == 0) {
        view.status = WaveStatus::DataEmpty;
        return view;
    }
    const uint64_t dataBegin = data.at + 8;
    uint64_t present = fileEnd > dataBegin ? fileEnd - dataBegin : 0;
    if (present > data.size) present = data.size;
    view.data = bytes.subspan(static_cast<size_t>(dataBegin), static_cast<size_t>(present));
    view.status = WaveStatus::Ok;
    return view;
}

bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out) {
    out.clear();
    if (path.empty()) return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0, std::ios::beg);
    out.resize(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(out.data()), size)) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace vocalith::wave
