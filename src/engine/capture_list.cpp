#include "engine/capture_list.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vocalith::engine {

CaptureList::~CaptureList() {
    ClearCaptureList(*this);
}

void AppendChunk(const void* bytes, int32_t length, CaptureList& list) {
    if (length <= 0 || bytes == nullptr) return;
    void* memory = std::malloc(sizeof(CaptureChunk) + static_cast<size_t>(length));
    if (memory == nullptr) return;  // dropped: the recording gets a gap
    auto* chunk = new (memory) CaptureChunk{nullptr, length};
    std::memcpy(chunk->Bytes(), bytes, static_cast<size_t>(length));
    if (list.captureTail != nullptr) {
        list.captureTail->next = chunk;
    } else {
        list.captureHead = chunk;
    }
    list.captureTail = chunk;
}

int32_t CaptureAvailable(const CaptureList& list) {
    int64_t total = 0;
    for (const CaptureChunk* c = list.captureHead; c != nullptr; c = c->next) total += c->length;
    return static_cast<int32_t>(total - list.captureReadOffset);
}

namespace {

void ReleaseHead(CaptureList& list) {
    CaptureChunk* used = list.captureHead;
    list.captureReadOffset = 0;
    list.captureHead = used->next;
    if (list.captureHead == nullptr) list.captureTail = nullptr;
    used->~CaptureChunk();
    std::free(used);
}

}  // namespace

int32_t ReadCapture(void* destination, int32_t& count, int mode, CaptureList& list) {
    const int32_t available = CaptureAvailable(list);
    int32_t wanted = 0;
    if (mode == CAPTURE_READ_UP_TO) {
        wanted = count < available ? count : available;
    } else if (mode == CAPTURE_READ_ALL_OR_NOTHING) {
        wanted = available >= count ? count : 0;
        count = available;
    }
    if (wanted < 0) wanted = 0;

    auto* out = static_cast<uint8_t*>(destination);
    int32_t copied = 0;
    while (wanted > 0 && list.captureHead != nullptr) {
        CaptureChunk* head = list.captureHead;
        int32_t take = head->length - list.captureReadOffset;
        if (take > wanted) take = wanted;
        if (take > 0) {
            std::memcpy(out, head->Bytes() + list.captureReadOffset, static_cast<size_t>(take));
            out += take;
            list.captureReadOffset += take;
            wanted -= take;
            copied += take;
        } else {
            // The head was used up by an earlier read: released only now, when
            // a read still wants bytes.
            ReleaseHead(list);
        }
    }
    return copied;
}

void ClearCaptureList(CaptureList& list) {
    while (list.captureHead != nullptr) ReleaseHead(list);
    list.captureReadOffset = 0;
}

int32_t CaptureChunkCount(const CaptureList& list) {
    int32_t n = 0;
    for (const CaptureChunk* c = list.captureHead; c != nullptr; c = c->next) ++n;
    return n;
}

}  // namespace vocalith::engine
