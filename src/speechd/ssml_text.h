#pragma once
// The text of an SSML message as speech-dispatcher sends it: the markup is
// left out, entities are decoded, and each <mark name="..."/> becomes an
// index mark at its place in the text. Elements that end a sentence or a
// paragraph (<s>, <p>, <break>) leave a blank, so the words on either side
// stay apart. Text that is not SSML at all reads as itself; a tag left open
// at the end is dropped.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vocalith::speechd {

struct IndexMark {
    std::string name;
    size_t offset = 0;  // in SpokenText::text: the mark lies before this byte
};

struct SpokenText {
    std::string text;              // UTF-8, as the message has it
    std::vector<IndexMark> marks;  // in text order
};

SpokenText ParseSsml(std::string_view ssml);

}  // namespace vocalith::speechd
