#include "wave/audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "wave/byte_order.h"
#include "wave/pcm_format.h"
#include "wave/rate_converter.h"
#include "wave/riff_reader.h"

namespace vocalith::wave {

using base::Result;

namespace {

// libsndfile reads through a source (file or memory) at a position of its
// own. `masked` are offsets of chunk ids it is shown as "JUNK" (see ScanChunks).
struct Reader {
    const RiffSource* source;
    uint64_t pos = 0;
    Result status;
    const std::vector<uint64_t>* masked = nullptr;
};

sf_count_t VioLength(void* user) {
    return static_cast<sf_count_t>(static_cast<Reader*>(user)->source->Size());
}
sf_count_t VioSeek(sf_count_t offset, int whence, void* user) {
    auto* r = static_cast<Reader*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<sf_count_t>(r->pos);
    if (whence == SEEK_END) base = static_cast<sf_count_t>(r->source->Size());
    // Neither below the start nor past what a position can hold.
    if (offset < 0 ? base + offset < 0 : offset > INT64_MAX - base) return -1;
    r->pos = static_cast<uint64_t>(base + offset);
    return static_cast<sf_count_t>(r->pos);
}
sf_count_t VioRead(void* bytes, sf_count_t count, void* user) {
    auto* r = static_cast<Reader*>(user);
    if (count <= 0 || !r->status) return 0;
    size_t got = 0;
    Result read = r->source->Read(r->pos, bytes, static_cast<size_t>(count), got);
    if (!read) r->status = read;
    if (r->masked && got > 0) {
        // The offsets are ascending: only those whose id overlaps this read.
        auto* out = static_cast<uint8_t*>(bytes);
        const uint64_t from = r->pos < 3 ? 0 : r->pos - 3;
        for (auto it = std::lower_bound(r->masked->begin(), r->masked->end(), from);
             it != r->masked->end() && *it < r->pos + got; ++it) {
            for (uint64_t k = 0; k < 4; ++k) {
                const uint64_t at = *it + k;
                if (at >= r->pos && at < r->pos + got) out[at - r->pos] = "JUNK"[k];
            }
        }
    }
    r->pos += got;
    return static_cast<sf_count_t>(got);
}
sf_count_t VioWrite(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t VioTell(void* user) {
    return static_cast<sf_count_t>(static_cast<Reader*>(user)->pos);
}

// Chunked files (RIFF WAVE and its variants, AIFF) whose chunks claim more
// bytes than the file holds are refused before libsndfile sees them: some of
// its chunk parsers loop for minutes over such a size (a LIST chunk claiming
// four gigabytes in a 164-byte file, found by fuzzing). Only the sound data
// chunk may run past the end: a file cut short still plays what it has. A
// size of 0xFFFFFFFF marks a size kept elsewhere (RF64) only for the sound
// data; on any other chunk it is a claim like the rest.
//
// In a WAVE file only the format, fact, size and data chunks matter here;
// every other chunk (LIST, cue, smpl, ...) is shown to libsndfile as JUNK,
// which it skips by its size, so its parsers of metadata we never use never
// see outside bytes (a LIST holding a sub-chunk of size -9 looped forever).
Result ScanChunks(const RiffSource& source, const std::string& name,
                  std::vector<uint64_t>& masked) {
    masked.clear();
    uint8_t head[12] = {};
    size_t got = 0;
    if (!source.Read(0, head, sizeof head, got) || got < sizeof head) return {};
    const bool riff = std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0;
    const bool bigEndian = std::memcmp(head, "RIFX", 4) == 0 || std::memcmp(head, "FORM", 4) == 0;
    if (!riff && !bigEndian) return {};
    const bool wave = std::memcmp(head, "FORM", 4) != 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
    const uint64_t size = source.Size();
    uint64_t pos = 12;
    // Bounded: every step moves on by at least 8 bytes.
    while (pos + 8 <= size) {
        uint8_t chunk[8] = {};
        if (!source.Read(pos, chunk, sizeof chunk, got) || got < sizeof chunk) break;
        const uint32_t length = bigEndian
                                    ? (uint32_t{chunk[4]} << 24) | (uint32_t{chunk[5]} << 16) |
                                          (uint32_t{chunk[6]} << 8) | chunk[7]
                                    : ReadLe32(chunk + 4);
        const bool sound = std::memcmp(chunk, "data", 4) == 0 || std::memcmp(chunk, "SSND", 4) == 0;
        if (!sound && pos + 8 + uint64_t{length} > size) {
            std::string id(reinterpret_cast<const char*>(chunk), 4);
            id.erase(id.find_last_not_of(' ') + 1);  // "fmt " is the fmt chunk
            return Result::Fail("cannot read " + name + ": its " + id +
                                " chunk claims more bytes than the file holds");
        }
        if (wave && !sound) {
            static constexpr const char* kKept[] = {"fmt ", "fact", "ds64"};
            if (std::none_of(std::begin(kKept), std::end(kKept),
                             [&](const char* id) { return std::memcmp(chunk, id, 4) == 0; })) {
                masked.push_back(pos);
            }
        }
        pos += 8 + uint64_t{length} + (length & 1u);
    }
    return {};
}

// Why libsndfile could not open a file, in our words rather than its own
// ("Internal error : SF_INFO struct incomplete.").
std::string OpenFailure(int code) {
    switch (code) {
        case SF_ERR_UNRECOGNISED_FORMAT:
            return "not a sound file in a format that can be read (WAV, FLAC, Ogg, AIFF, ...)";
        case SF_ERR_UNSUPPORTED_ENCODING:
            return "its samples are stored in an encoding that cannot be read";
        default:
            return "its header is damaged or incomplete";
    }
}

// Samples stored as floating point (full scale at 1.0) on the 16-bit scale.
// libsndfile's own short reading of them rounds the values unscaled, which
// makes silence of any float file; values past full scale are clipped.
sf_count_t ReadFloatFrames(SNDFILE* file, std::vector<float>& piece, int16_t* out,
                           sf_count_t frames) {
    const sf_count_t got = sf_readf_float(file, piece.data(), frames);
    const size_t values =
        got > 0 ? static_cast<size_t>(got) * piece.size() / static_cast<size_t>(frames) : 0;
    for (size_t i = 0; i < values; ++i) {
        const float v = piece[i];
        float scaled = 0.0f;  // NaN stays 0
        if (v >= 1.0f) {
            scaled = 32767.0f;
        } else if (v <= -1.0f) {
            scaled = -32768.0f;
        } else if (v > -1.0f) {
            scaled = std::min(v * 32768.0f, 32767.0f);
        }
        out[i] = static_cast<int16_t>(std::lrint(scaled));
    }
    return got;
}

Result Decode(const RiffSource& source, const std::string& name, AudioFrames& out,
              uint64_t maxSamples) {
    out = AudioFrames{};
    if (source.Size() == 0) return Result::Fail("cannot read " + name + ": the file is empty");
    std::vector<uint64_t> masked;
    if (Result sane = ScanChunks(source, name, masked); !sane) return sane;
    static SF_VIRTUAL_IO vio = {VioLength, VioSeek, VioRead, VioWrite, VioTell};
    Reader reader{&source, 0, Result::Ok(), &masked};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&vio, SFM_READ, &info, &reader);
    if (!file) {
        if (!reader.status) return reader.status;
        return Result::Fail("cannot read " + name + ": " + OpenFailure(sf_error(nullptr)));
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        return Result::Fail("cannot read " + name + ": no channels or no sample rate");
    }
    // A header that claims more than may be read is refused before a sample
    // is read (libsndfile bounds a WAV's claim by the file's length).
    if (info.frames > 0 && info.frames != SF_COUNT_MAX &&
        static_cast<uint64_t>(info.frames) > maxSamples / static_cast<uint64_t>(info.channels)) {
        sf_close(file);
        return Result::Fail("cannot read " + name + ": more than " + std::to_string(maxSamples) +
                            " samples");
    }
    out.sampleRate = static_cast<uint32_t>(info.samplerate);
    out.channels = info.channels;
    // The frame count in a header may lie: read in pieces until the end.
    const size_t channels = static_cast<size_t>(info.channels);
    constexpr size_t PIECE_FRAMES = 4096;
    const int encoding = info.format & SF_FORMAT_SUBMASK;
    const bool floating = encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE;
    std::vector<float> piece(floating ? PIECE_FRAMES * channels : 0);
    Result result;
    for (;;) {
        const size_t at = out.samples.size();
        out.samples.resize(at + PIECE_FRAMES * channels);
        const sf_count_t got =
            floating ? ReadFloatFrames(file, piece, out.samples.data() + at, PIECE_FRAMES)
                     : sf_readf_short(file, out.samples.data() + at, PIECE_FRAMES);
        out.samples.resize(at + static_cast<size_t>(got > 0 ? got : 0) * channels);
        if (out.samples.size() > maxSamples) {
            result = Result::Fail("cannot read " + name + ": more than " +
                                  std::to_string(maxSamples) + " samples");
            break;
        }
        if (got <= 0) break;
    }
    if (result && !reader.status) result = reader.status;
    sf_close(file);
    if (!result) out = AudioFrames{};
    return result;
}

}  // namespace

Result ReadAudioFile(const std::filesystem::path& path, AudioFrames& out, uint64_t maxSamples) {
    out = AudioFrames{};
    FileSource source;
    if (Result opened = source.Open(path); !opened) return Result::Fail(opened.reason);
    return Decode(source, path.string(), out, maxSamples);
}

Result DecodeAudio(std::span<const uint8_t> bytes, AudioFrames& out, uint64_t maxSamples) {
    const MemorySource source(bytes);
    return Decode(source, "audio data", out, maxSamples);
}

std::vector<int16_t> MixToMono(std::span<const int16_t> samples, int channels) {
    if (channels <= 1) return {samples.begin(), samples.end()};
    const auto n = static_cast<size_t>(channels);
    std::vector<int16_t> mono(samples.size() / n);
    for (size_t i = 0; i < mono.size(); ++i) {
        int64_t sum = 0;
        for (size_t c = 0; c < n; ++c) sum += samples[i * n + c];
        // Rounded half away from zero, as the mixer rounds.
        const int64_t q =
            sum >= 0 ? (2 * sum + static_cast<int64_t>(n)) / (2 * static_cast<int64_t>(n))
                     : -((-2 * sum + static_cast<int64_t>(n)) / (2 * static_cast<int64_t>(n)));
        mono[i] = static_cast<int16_t>(q);
    }
    return mono;
}

std::vector<int16_t> ToSystemFormat(const AudioFrames& audio, size_t limit, bool* cut) {
    const uint64_t frames = audio.Frames();
    const uint32_t rate = audio.sampleRate > 0 ? audio.sampleRate : SYSTEM_SAMPLE_RATE;
    // The length of the whole sound in the system format, and the input
    // frames the first `limit` samples need: their span, plus a quarter of a
    // second for the converter's filter to reach past the cut.
    const uint64_t whole = (frames * SYSTEM_SAMPLE_RATE + rate - 1) / rate;
    if (cut) *cut = whole > limit;
    uint64_t needed = frames;
    if (whole > limit) {
        needed = std::min<uint64_t>(
            frames, (uint64_t{limit} * rate + SYSTEM_SAMPLE_RATE - 1) / SYSTEM_SAMPLE_RATE +
                        rate / 4 + RateConverter::FEED_FRAMES);
    }
    const size_t channels = static_cast<size_t>(audio.channels > 0 ? audio.channels : 1);
    const std::span<const int16_t> used(audio.samples.data(),
                                        static_cast<size_t>(needed) * channels);
    std::vector<int16_t> out =
        ResampleMono(MixToMono(used, audio.channels), rate, SYSTEM_SAMPLE_RATE);
    if (out.size() > limit) out.resize(limit);
    return out;
}

}  // namespace vocalith::wave
