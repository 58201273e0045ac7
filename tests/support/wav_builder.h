#pragma once
// The one WAV builder of the tests: RIFF WAVE bytes put together by hand, so
// a test can make any file, well-formed or not (a chunk that claims more than
// it holds, a form of another type, data before the format). Integers are
// written little-endian byte by byte.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "wave/pcm_format.h"

namespace vocalith::test {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
inline void Put16(Bytes& v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void PutId(Bytes& v, const char* id) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(id[i]));
}

// A chunk: id, size (`declared`, or the body's own size when 0 is not
// meant; see Chunk), body, and a pad byte after an odd body.
inline void PutChunk(Bytes& v, const char* id, const Bytes& body, uint32_t declared) {
    PutId(v, id);
    Put32(v, declared);
    for (uint8_t b : body) v.push_back(b);
    if (body.size() % 2) v.push_back(0);
}
inline Bytes Chunk(const char* id, const Bytes& body) {
    Bytes v;
    PutChunk(v, id, body, static_cast<uint32_t>(body.size()));
    return v;
}
// A chunk whose size field claims `declared` whatever the body holds (no pad).
inline Bytes ChunkClaiming(const char* id, const Bytes& body, uint32_t declared) {
    Bytes v;
    PutId(v, id);
    Put32(v, declared);
    for (uint8_t b : body) v.push_back(b);
    return v;
}

// The body of a "fmt " chunk for `format`, cut or padded with zeros to `size`.
inline Bytes FmtBody(const wave::PcmFormat& format = wave::SystemFormat, uint16_t size = 16) {
    Bytes b;
    Put16(b, format.formatTag);
    Put16(b, format.channels);
    Put32(b, format.samplesPerSec);
    Put32(b, format.avgBytesPerSec);
    Put16(b, format.blockAlign);
    Put16(b, format.bitsPerSample);
    b.resize(size, 0);
    return b;
}
// A PCM format record with consistent block size and byte rate.
inline wave::PcmFormat Pcm(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag = 1) {
    wave::PcmFormat f;
    f.formatTag = tag;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

// A RIFF form of `type` around `inner` (chunks already put together).
inline Bytes Form(const Bytes& inner, const char* type = "WAVE") {
    Bytes v;
    PutId(v, "RIFF");
    Put32(v, static_cast<uint32_t>(inner.size() + 4));
    PutId(v, type);
    for (uint8_t b : inner) v.push_back(b);
    return v;
}
inline Bytes Form(std::initializer_list<Bytes> chunks, const char* type = "WAVE") {
    Bytes inner;
    for (const Bytes& c : chunks) inner.insert(inner.end(), c.begin(), c.end());
    return Form(inner, type);
}

// A plain WAVE file: "fmt " for `format`, then "data" holding `data`.
inline Bytes Wave(const Bytes& data, const wave::PcmFormat& format = wave::SystemFormat) {
    return Form({Chunk("fmt ", FmtBody(format)), Chunk("data", data)});
}

// 16-bit samples as little-endian bytes.
inline Bytes SampleBytes(const std::vector<int16_t>& samples) {
    Bytes b;
    for (int16_t s : samples) Put16(b, static_cast<uint16_t>(s));
    return b;
}

}  // namespace vocalith::test
