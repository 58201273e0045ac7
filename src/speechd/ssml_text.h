#pragma once
// The text of an SSML message as speech-dispatcher sends it: the markup is
// left out, entities are decoded, and each <mark name="..."/> becomes an
// index mark at its place in the text. Elements that end a sentence or a
// paragraph (<s>, <p>, <break>) leave a blank, so the words on either side
// stay apart. A <break> is also a pause (its time, or its strength's), a
// <say-as interpret-as="characters"> a stretch read letter by letter, and a
// <prosody> a stretch with its rate, pitch and volume changed. Text that is
// not SSML at all reads as itself; a tag left open at the end is dropped.
// The reading takes time linear in the length of the message.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vocalith::speechd {

struct IndexMark {
    std::string name;
    size_t offset = 0;  // in SpokenText::text: the mark lies before this byte
};

struct Break {
    size_t offset = 0;  // in SpokenText::text
    int32_t ms = 0;
};

// A stretch of the text [begin, end) said otherwise. Prosody changes add to
// the settings in force: `rate` and `pitch` in the units of
// wave::ProsodySettings, `volumeDb` in dB.
struct Stretch {
    size_t begin = 0;
    size_t end = 0;
    bool spell = false;
    int32_t rate = 0;
    int32_t pitch = 0;
    double volumeDb = 0.0;
};

struct SpokenText {
    std::string text;                // UTF-8, as the message has it
    std::vector<IndexMark> marks;    // in text order
    std::vector<Break> breaks;       // in text order
    std::vector<Stretch> stretches;  // in the order they end
};

// The longest pause a <break> gives, in ms.
inline constexpr int32_t BREAK_LIMIT_MS = 10000;

SpokenText ParseSsml(std::string_view ssml);

}  // namespace vocalith::speechd
