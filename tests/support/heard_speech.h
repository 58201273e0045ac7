#pragma once
// MatchHeardSpeech: what a device rendering in real time can be relied on to
// hold of the speech it was given. The mixing core skips a period for a
// buffer whose lock the writer holds and moves its cursor on as if it had
// played, and a stream that falls behind is silenced and anchored afresh
// further on; so pieces of the speech may be missing (silence in their
// place) or start later, but what is heard is the speech's own samples, in
// order, each once.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vocalith::testsupport {

struct HeardSpeech {
    // Non-zero samples of the speech heard, matched in order.
    size_t heard = 0;
    // Index in the rendering of the first non-zero sample that is not the
    // speech's next, or npos when every one matched.
    size_t stray = npos;
    // Every match lay at the same distance from its place in the speech: no
    // piece started late.
    bool inPlace = true;
    static constexpr size_t npos = static_cast<size_t>(-1);
};

// Matches the non-zero samples of `rendering` against `speech` in order,
// each to the earliest unused speech sample of the same value.
inline HeardSpeech MatchHeardSpeech(const std::vector<int16_t>& rendering,
                                    const std::vector<int16_t>& speech) {
    HeardSpeech result;
    size_t next = 0;  // the first speech sample not yet matched
    bool anchored = false;
    size_t offset = 0;  // rendering index minus speech index of the first match
    for (size_t i = 0; i < rendering.size(); ++i) {
        if (rendering[i] == 0) continue;
        while (next < speech.size() && speech[next] != rendering[i]) ++next;
        if (next == speech.size()) {
            result.stray = i;
            return result;
        }
        if (!anchored) {
            anchored = true;
            offset = i - next;
        } else if (i - next != offset) {
            result.inPlace = false;
        }
        ++result.heard;
        ++next;
    }
    return result;
}

// The non-zero samples of `speech`: all of it a perfect rendering would hear.
inline size_t Audible(const std::vector<int16_t>& speech) {
    size_t n = 0;
    for (int16_t s : speech) n += s != 0;
    return n;
}

}  // namespace vocalith::testsupport
