#pragma once
// The capture list: recorded microphone bytes waiting for the audio pump.
//
// Each completed capture buffer becomes one CaptureChunk (header and bytes in
// one allocation) at the end of the list; readers take bytes from the head,
// crossing chunk boundaries freely. Everything runs on the UI thread.
#include <cstdint>

namespace vocalith::engine {

// One block of recorded bytes; the bytes follow the header directly.
struct CaptureChunk {
    CaptureChunk* next;  // the following (newer) chunk, or null
    int32_t length;      // bytes in this chunk, > 0
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

// Invariant: the bytes waiting are the sum of all chunk lengths minus
// captureReadOffset. The list owns its chunks; a chunk is released once it has
// been read out completely and a later read moves past it.
struct CaptureList {
    CaptureChunk* captureHead = nullptr;  // the oldest chunk
    CaptureChunk* captureTail = nullptr;  // the newest chunk
    int32_t captureReadOffset = 0;        // bytes of the head chunk already read out

    CaptureList() = default;
    CaptureList(const CaptureList&) = delete;
    CaptureList& operator=(const CaptureList&) = delete;
    ~CaptureList();  // releases every chunk
};

// Read modes of ReadCapture.
inline constexpr int CAPTURE_READ_UP_TO = 0;           // the lesser of count and what waits
inline constexpr int CAPTURE_READ_ALL_OR_NOTHING = 1;  // count bytes or none; count := waiting

// Adds a copy of `length` bytes at the end of the list (dropped silently when
// the chunk cannot be allocated or length <= 0).
void AppendChunk(const void* bytes, int32_t length, CaptureList& list);

// The bytes waiting.
int32_t CaptureAvailable(const CaptureList& list);

// Copies bytes from the head of the list into `destination` and returns how
// many. Mode 0: up to `count`; mode 1: exactly `count` or nothing, and `count`
// is set to the bytes that were waiting; any other mode: nothing.
int32_t ReadCapture(void* destination, int32_t& count, int mode, CaptureList& list);

// Releases every chunk and resets the read offset.
void ClearCaptureList(CaptureList& list);

// The number of chunks held (including a used-up head chunk).
int32_t CaptureChunkCount(const CaptureList& list);

}  // namespace vocalith::engine
