#include "speechd/speech_text.h"

#include <array>
#include <cstdint>
#include <utility>

namespace vocalith::speechd {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool IsMark(char c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
           (c >= '{' && c <= '~');
}

// U+00C0..U+00FF without accents ('\0': no ASCII letter, a blank).
constexpr char kLatin1Letters[] =
    "AAAAAAACEEEEIIII"    // C0..CF
    "DNOOOOO\0OUUUUYTs"   // D0..DF (D7 is the multiplication sign)
    "aaaaaaaceeeeiiii"    // E0..EF
    "dnooooo\0ouuuuyty";  // F0..FF (F7 is the division sign)

// The ASCII for one code point, or "" for a blank.
std::string_view AsciiFor(uint32_t c) {
    static const std::array<std::pair<uint32_t, std::string_view>, 14> kSigns{{
        {0x2018, "'"},
        {0x2019, "'"},
        {0x201A, "'"},
        {0x201C, "\""},
        {0x201D, "\""},
        {0x201E, "\""},
        {0x2013, "-"},
        {0x2014, "-"},
        {0x2026, "..."},
        {0x00A0, " "},
        {0x00AB, "\""},
        {0x00BB, "\""},
        {0x00D7, "*"},
        {0x00F7, "/"},
    }};
    for (const auto& [code, text] : kSigns) {
        if (code == c) return text;
    }
    if (c >= 0xC0 && c <= 0xFF && kLatin1Letters[c - 0xC0] != '\0') {
        return {&kLatin1Letters[c - 0xC0], 1};
    }
    return {};
}

bool Reads(char mark, const TextSettings& s) {
    switch (s.punctuation) {
        case PunctuationMode::All:
            return true;
        case PunctuationMode::Most:
            return s.mostMarks.find(mark) != std::string::npos;
        case PunctuationMode::Some:
            return s.someMarks.find(mark) != std::string::npos;
        case PunctuationMode::None:
            break;
    }
    return false;
}

// True when the mark at text[i] is part of a number or a word: a decimal
// point or thousands separator between digits, a dollar before a digit, an
// apostrophe between letters.
bool PartOfWord(const std::string& text, size_t i) {
    const char before = i > 0 ? text[i - 1] : ' ';
    const char after = i + 1 < text.size() ? text[i + 1] : ' ';
    switch (text[i]) {
        case '.':
        case ',':
            return IsDigit(before) && IsDigit(after);
        case '$':
            return IsDigit(after);
        case '\'':
            return IsLetter(before) && IsLetter(after);
        default:
            return false;
    }
}

// One character read by its name: a letter alone is named by the rules; a
// capital, with recognition on, is "capital" and its name.
void AppendSpelled(std::string& out, char c, const TextSettings& s) {
    if (c == ' ') return;
    if (s.capitals && IsUpper(c)) out += "capital ";
    out += c;
    out += ' ';
}

}  // namespace

std::string ToAscii(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            // Control characters, tabs among them, are blanks; line breaks stay.
            out += (b < 0x20 && b != '\n') || b == 0x7F ? ' ' : static_cast<char>(b);
            ++i;
            continue;
        }
        const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        uint32_t c = length == 4 ? b & 0x07u : length == 3 ? b & 0x0Fu : b & 0x1Fu;
        bool valid = length > 1 && i + static_cast<size_t>(length) <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3Fu);
        }
        const std::string_view ascii = valid ? AsciiFor(c) : std::string_view{};
        // Never longer than the input: every replacement is at most as long
        // as its shortest encoding ("..." stands for a 3-byte character).
        out += ascii.empty() ? std::string_view(" ") : ascii;
        i += valid ? static_cast<size_t>(length) : 1;
    }
    return out;
}

std::string SpeechText(std::string_view utf8, const TextSettings& settings) {
    const std::string ascii = ToAscii(utf8);
    std::string out;
    if (settings.spelling) {
        for (char c : ascii) AppendSpelled(out, c, settings);
        return out;
    }
    out.reserve(ascii.size());
    for (size_t i = 0; i < ascii.size(); ++i) {
        const char c = ascii[i];
        out += !IsMark(c) || Reads(c, settings) || PartOfWord(ascii, i) ? c : ' ';
    }
    return out;
}

std::string CharText(std::string_view utf8, const TextSettings& settings) {
    const std::string ascii = ToAscii(utf8);
    if (ascii.empty()) return {};
    if (ascii == " ") return "space";
    std::string out;
    for (char c : ascii) AppendSpelled(out, c, settings);
    return out;
}

std::string KeyText(std::string_view key, const TextSettings& settings) {
    // Names the rules would not read well, and what to say instead.
    static const std::array<std::pair<std::string_view, std::string_view>, 4> kNames{{
        {"prior", "page up"},
        {"next", "page down"},
        {"double-quote", "double quote"},
        {"window", "windows key"},
    }};
    if (key.size() == 1) return CharText(key, settings);
    std::string out;
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find('_', start);
        if (end == std::string_view::npos) end = key.size();
        std::string_view part = key.substr(start, end - start);
        start = end + 1;
        if (part.empty()) continue;
        if (part.size() == 1) {
            out += CharText(part, settings);
            out += ' ';
            continue;
        }
        if (part.substr(0, 3) == "kp-") {
            out += "keypad ";
            part.remove_prefix(3);
            if (part.size() == 1) {
                out += CharText(part, settings);
                out += ' ';
                continue;
            }
        }
        bool named = false;
        for (const auto& [name, words] : kNames) {
            if (part == name) {
                out += words;
                named = true;
                break;
            }
        }
        if (!named) {
            // "num-lock" -> "num lock", "f12" -> "F 12".
            for (size_t i = 0; i < part.size(); ++i) {
                const char c = part[i];
                if (c == '-') {
                    out += ' ';
                } else if (i == 0 && c == 'f' && part.size() > 1 && IsDigit(part[1])) {
                    out += "F ";
                } else {
                    out += c;
                }
            }
        }
        out += ' ';
    }
    return out;
}

}  // namespace vocalith::speechd
