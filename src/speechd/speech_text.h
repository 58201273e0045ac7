#pragma once
// What the letter-to-sound rules are given for each kind of message. The
// rules read English in ASCII and say every punctuation mark by its name, so
// the module prepares the text first:
//  - UTF-8 becomes ASCII: accented Latin letters lose their accents, curly
//    quotes, dashes and the ellipsis become their ASCII forms; emoji, signs
//    and Greek letters are said by their names ("slice of pizza", "alpha");
//    a run of another writing system is said as the language and its length
//    ("Chinese text 4 characters"); nothing is dropped without a word;
//  - punctuation the listener has not asked for is left out: with mode
//    "none" every mark, with "some" and "most" those outside the mode's set;
//    marks that belong to a number or a word (3.5, $3, 1,000, don't) stay,
//    as the rules read them as part of it;
//  - spelling reads every character by its name;
//  - a CHAR is one character by its name, a KEY its key name in words;
//  - with capital-letter recognition on, a capital letter spelled or given
//    as a CHAR is read as "capital" and its name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vocalith::speechd {

enum class PunctuationMode { None, Some, Most, All };

struct TextSettings {
    PunctuationMode punctuation = PunctuationMode::None;
    std::string someMarks;  // the marks read in mode Some
    std::string mostMarks;  // the marks read in mode Most
    bool spelling = false;
    bool capitals = false;  // capital-letter recognition
};

// The marks read in modes "some" and "most" until the server names others.
inline constexpr std::string_view DEFAULT_SOME_MARKS = "#$%&*+/<=>@\\^_|~";
inline constexpr std::string_view DEFAULT_MOST_MARKS = "#$%&*+/<=>@\\^_|~\"()-:;[]{}`";

// The silence after a sentence's end and after a clause's, where the mark
// that ends it is not read: about what a listener hears from other voices
// there, less the short silence the voice leaves after each word.
inline constexpr int32_t SENTENCE_PAUSE_MS = 300;
inline constexpr int32_t CLAUSE_PAUSE_MS = 150;

struct TextPause {
    size_t offset = 0;  // in the UTF-8 text: the pause comes before this byte
    int32_t ms = 0;
};

// Where `utf8` pauses: after each '.', '!' or '?' (a sentence) and each ',',
// ';' or ':' (a clause) followed by a blank or the end, unless the settings
// read that mark aloud or spell.
std::vector<TextPause> PausesOf(std::string_view utf8, const TextSettings& settings);

// UTF-8 to the ASCII the rules read (see above).
std::string ToAscii(std::string_view utf8);

// The English for a SPEAK message's text.
std::string SpeechText(std::string_view utf8, const TextSettings& settings);
// The English for a CHAR message: the character's name.
std::string CharText(std::string_view utf8, const TextSettings& settings);
// The English for a KEY message, e.g. "shift_a" -> "shift a", "kp-5" -> "keypad 5".
std::string KeyText(std::string_view key, const TextSettings& settings);

}  // namespace vocalith::speechd
