#include "speechd/speech_text.h"

#include <algorithm>
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

// U+0100..U+017F without accents.
constexpr char kLatinExtendedLetters[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlL"
    "lLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

struct SymbolName {
    uint32_t code;
    std::string_view name;
};
// Emoji, pictographs, signs and Greek letters by name, in code order.
constexpr SymbolName kSymbolNames[] = {
#include "speechd/symbol_names.inc"
};

std::string_view SymbolNameOf(uint32_t c) {
    const auto* end = std::end(kSymbolNames);
    const auto* at = std::lower_bound(std::begin(kSymbolNames), end, c,
                                      [](const SymbolName& s, uint32_t v) { return s.code < v; });
    return at != end && at->code == c ? at->name : std::string_view{};
}

// Code points that only change how the one before them looks: accents,
// joiners, variation selectors, skin tones, tags. They say nothing.
bool Silent(uint32_t c) {
    return (c >= 0x300 && c <= 0x36F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0x1F3FB && c <= 0x1F3FF) ||
           (c >= 0xE0000 && c <= 0xE007F) || c == 0x2060 || c == 0xFEFF;
}

// The writing systems the rules cannot read, said as "Chinese text" and how
// many characters: a listener learns that there is text and how much of it,
// where the characters' own names ("CJK unified ideograph 4E2D") would say
// nothing and take long. Runs of kana and ideographs are Japanese.
enum class Script { None, Chinese, Japanese, Korean, Cyrillic, Hebrew, Arabic, Indic, Thai, Other };

Script ScriptOf(uint32_t c) {
    if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF)) return Script::Japanese;
    if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
        (c >= 0x3000 && c <= 0x303F) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FFFF)) {
        return Script::Chinese;
    }
    if ((c >= 0xAC00 && c <= 0xD7AF) || (c >= 0x1100 && c <= 0x11FF) ||
        (c >= 0x3130 && c <= 0x318F)) {
        return Script::Korean;
    }
    if (c >= 0x400 && c <= 0x52F) return Script::Cyrillic;
    if (c >= 0x590 && c <= 0x5FF) return Script::Hebrew;
    if ((c >= 0x600 && c <= 0x6FF) || (c >= 0x750 && c <= 0x77F) || (c >= 0xFB50 && c <= 0xFDFF) ||
        (c >= 0xFE70 && c <= 0xFEFE)) {
        return Script::Arabic;
    }
    if (c >= 0x900 && c <= 0xDFF) return Script::Indic;
    if (c >= 0xE00 && c <= 0xE7F) return Script::Thai;
    return Script::Other;
}

std::string_view ScriptName(Script s) {
    switch (s) {
        case Script::Chinese:
            return "Chinese";
        case Script::Japanese:
            return "Japanese";
        case Script::Korean:
            return "Korean";
        case Script::Cyrillic:
            return "Russian";
        case Script::Hebrew:
            return "Hebrew";
        case Script::Arabic:
            return "Arabic";
        case Script::Indic:
            return "Indian";
        case Script::Thai:
            return "Thai";
        default:
            return {};
    }
}

// A run of characters of one writing system, said when it ends.
struct Run {
    Script script = Script::None;
    size_t count = 0;

    void Add(Script s, std::string& out) {
        // Kana among ideographs make the run Japanese, and the reverse.
        const bool eastAsian = (s == Script::Chinese || s == Script::Japanese) &&
                               (script == Script::Chinese || script == Script::Japanese);
        if (s != script && !eastAsian) End(out);
        if (eastAsian && s == Script::Japanese) script = s;
        if (script == Script::None) script = s;
        ++count;
    }
    void End(std::string& out) {
        if (count == 0) {
            script = Script::None;
            return;
        }
        out += ' ';
        const std::string_view name = ScriptName(script);
        if (name.empty()) {
            out += count == 1 ? "symbol" : std::to_string(count) + " symbols";
        } else if (count == 1) {
            out += std::string(name) + " character";
        } else {
            out += std::string(name) + " text " + std::to_string(count) + " characters";
        }
        out += ' ';
        script = Script::None;
        count = 0;
    }
};

// The ASCII for one code point, or "" for none.
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
    if (c >= 0x100 && c <= 0x17F) return {&kLatinExtendedLetters[c - 0x100], 1};
    return {};
}

// Decodes the UTF-8 code point at text[i]; `length` receives its bytes (1
// for a byte that starts none, which gives false).
bool Decode(std::string_view text, size_t i, uint32_t& c, size_t& length) {
    const auto b = static_cast<unsigned char>(text[i]);
    length = 1;
    if (b < 0x80) {
        c = b;
        return true;
    }
    const size_t n = b >= 0xF8 ? 0 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (n == 0 || i + n > text.size()) return false;
    c = n == 4 ? b & 0x07u : n == 3 ? b & 0x0Fu : b & 0x1Fu;
    for (size_t k = 1; k < n; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return false;
        c = (c << 6) | (next & 0x3Fu);
    }
    length = n;
    return true;
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
    Run run;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = 0;
        size_t length = 1;
        const bool valid = Decode(utf8, i, c, length);
        i += length;
        if (valid && c < 0x80) {
            // Blanks within a run of another script keep the run going
            // (the run's words end with a blank).
            if (c == ' ' && run.count > 0) continue;
            run.End(out);
            // Control characters, tabs among them, are blanks; line breaks stay.
            out += (c < 0x20 && c != '\n') || c == 0x7F ? ' ' : static_cast<char>(c);
            continue;
        }
        if (valid && Silent(c)) continue;
        const std::string_view ascii = valid ? AsciiFor(c) : std::string_view{};
        const std::string_view name = valid ? SymbolNameOf(c) : std::string_view{};
        if (!ascii.empty() || !name.empty() || !valid) {
            run.End(out);
            if (!ascii.empty()) {
                out += ascii;
            } else if (!name.empty()) {
                out += ' ';
                out += name;
                out += ' ';
            } else {
                out += ' ';  // broken UTF-8
            }
            continue;
        }
        run.Add(ScriptOf(c), out);
    }
    run.End(out);
    return out;
}

std::vector<TextPause> PausesOf(std::string_view utf8, const TextSettings& settings) {
    std::vector<TextPause> pauses;
    if (settings.spelling) return pauses;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const bool sentence = c == '.' || c == '!' || c == '?';
        const bool clause = c == ',' || c == ';' || c == ':';
        if (!sentence && !clause) continue;
        const bool atEnd = i + 1 == utf8.size() || utf8[i + 1] == ' ' || utf8[i + 1] == '\n';
        // "..." or "?!" pause once, after the last of them.
        if (!atEnd || Reads(c, settings)) continue;
        pauses.push_back({i + 1, sentence ? SENTENCE_PAUSE_MS : CLAUSE_PAUSE_MS});
    }
    return pauses;
}

std::string SpeechText(std::string_view utf8, const TextSettings& settings) {
    std::string out;
    if (settings.spelling) return CharText(utf8, settings);
    const std::string ascii = ToAscii(utf8);
    out.reserve(ascii.size());
    for (size_t i = 0; i < ascii.size(); ++i) {
        const char c = ascii[i];
        out += !IsMark(c) || Reads(c, settings) || PartOfWord(ascii, i) ? c : ' ';
    }
    return out;
}

std::string CharText(std::string_view utf8, const TextSettings& settings) {
    if (utf8 == " ") return "space";
    // Character by character: a letter by its name, another character by
    // the words for it ("alpha", "Chinese character").
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = 0;
        size_t length = 1;
        Decode(utf8, i, c, length);
        const std::string ascii = ToAscii(utf8.substr(i, length));
        i += length;
        if (ascii.size() == 1) {
            AppendSpelled(out, ascii[0], settings);
        } else if (ascii.find_first_not_of(' ') != std::string::npos) {
            out += ascii.substr(ascii.find_first_not_of(' '));
            if (out.back() != ' ') out += ' ';
        }
    }
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
