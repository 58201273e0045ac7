#include "speechd/ssml_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/ascii_case.h"

namespace vocalith::speechd {

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The longest entity read, "&#x0010FFFF;" with room to spare: the ';' is
// looked for no further, so a text of many '&' reads in linear time.
constexpr size_t ENTITY_LIMIT = 12;

// Decodes the entity at text[pos] == '&' into `out`; returns the bytes it
// took, or 0 when it is no entity (the '&' then stands for itself).
size_t DecodeEntity(std::string_view text, size_t pos, std::string& out) {
    const size_t found = text.substr(pos, ENTITY_LIMIT + 1).find(';');
    if (found == std::string_view::npos) return 0;
    const size_t semi = pos + found;
    const std::string_view name = text.substr(pos + 1, semi - pos - 1);
    constexpr std::array<std::pair<std::string_view, char>, 5> kNamed{
        {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}}};
    for (const auto& [n, c] : kNamed) {
        if (name == n) {
            out += c;
            return semi - pos + 1;
        }
    }
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        uint32_t value = 0;
        for (char d : digits) {
            uint32_t v;
            if (d >= '0' && d <= '9') {
                v = static_cast<uint32_t>(d - '0');
            } else if (hex && ((d | 0x20) >= 'a' && (d | 0x20) <= 'f')) {
                v = static_cast<uint32_t>((d | 0x20) - 'a' + 10);
            } else {
                return 0;
            }
            value = value * (hex ? 16 : 10) + v;
            if (value > 0x10FFFF) return 0;
        }
        AppendUtf8(out, value);
        return semi - pos + 1;
    }
    return 0;
}

// The value of attribute `name` in the tag's text (between '<' and '>'),
// entities decoded; empty when absent.
std::string Attribute(std::string_view tag, std::string_view name) {
    for (size_t pos = 0; (pos = tag.find(name, pos)) != std::string_view::npos;
         pos += name.size()) {
        const bool startsWord = pos > 0 && (tag[pos - 1] == ' ' || tag[pos - 1] == '\t' ||
                                            tag[pos - 1] == '\n' || tag[pos - 1] == '\r');
        size_t i = pos + name.size();
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t')) ++i;
        if (!startsWord || i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t')) ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) continue;
        const size_t end = tag.find(tag[i], i + 1);
        if (end == std::string_view::npos) return {};
        std::string value;
        for (size_t k = i + 1; k < end; ++k) {
            const size_t used = tag[k] == '&' ? DecodeEntity(tag, k, value) : 0;
            if (used == 0) {
                value += tag[k];
            } else {
                k += used - 1;
            }
        }
        return value;
    }
    return {};
}

// The element name of a tag's text: "mark" for "mark name='x'/", "s" for "/s".
std::string_view ElementName(std::string_view tag) {
    if (!tag.empty() && tag[0] == '/') tag.remove_prefix(1);
    size_t end = 0;
    while (end < tag.size() && tag[end] != ' ' && tag[end] != '/' && tag[end] != '\t' &&
           tag[end] != '\n' && tag[end] != '\r') {
        ++end;
    }
    return tag.substr(0, end);
}

// The '>' that closes the tag whose text starts at `from`: one inside a
// quoted attribute value is part of the value.
size_t TagEnd(std::string_view ssml, size_t from) {
    char quote = 0;
    for (size_t i = from; i < ssml.size(); ++i) {
        const char c = ssml[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The number at the start of `value` and what follows it: "1.5s" -> 1.5, "s".
bool Number(std::string_view value, double& number, std::string_view& unit) {
    size_t i = 0;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
    const size_t digits = i;
    while (i < value.size() && ((value[i] >= '0' && value[i] <= '9') || value[i] == '.')) ++i;
    if (i == digits || i - digits > 12) return false;
    number = std::strtod(std::string(value.substr(0, i)).c_str(), nullptr);
    unit = value.substr(i);
    return std::isfinite(number);
}

int32_t BreakMs(std::string_view tag) {
    const std::string time = Attribute(tag, "time");
    double n = 0;
    std::string_view unit;
    if (!time.empty() && Number(time, n, unit)) {
        const double ms = base::EqualNoCase(unit, "s") ? n * 1000 : n;
        return static_cast<int32_t>(std::clamp(ms, 0.0, double(BREAK_LIMIT_MS)));
    }
    static constexpr std::array<std::pair<std::string_view, int32_t>, 6> kStrengths{{
        {"none", 0},
        {"x-weak", 100},
        {"weak", 200},
        {"medium", 400},
        {"strong", 700},
        {"x-strong", 1000},
    }};
    const std::string strength = Attribute(tag, "strength");
    for (const auto& [name, ms] : kStrengths) {
        if (base::EqualNoCase(strength, name)) return ms;
    }
    return 400;
}

// A change of rate: "slow", "+20%", "150%" -> the change in rate units.
int32_t RateChange(std::string_view value) {
    static constexpr std::array<std::pair<std::string_view, double>, 6> kSpeeds{{
        {"x-slow", 0.6},
        {"slow", 0.8},
        {"medium", 1.0},
        {"default", 1.0},
        {"fast", 1.3},
        {"x-fast", 1.7},
    }};
    double speed = 0;
    for (const auto& [name, factor] : kSpeeds) {
        if (base::EqualNoCase(value, name)) speed = factor;
    }
    double n = 0;
    std::string_view unit;
    if (speed == 0 && Number(value, n, unit) && unit == "%") {
        speed = value[0] == '+' || value[0] == '-' ? 1 + n / 100 : n / 100;
    }
    if (speed <= 0) return 0;
    // +100 is 2.5 times as fast, -100 half as fast, geometric in between.
    const double rate =
        speed >= 1 ? 100 * std::log(speed) / std::log(2.5) : 100 * std::log(speed) / std::log(2.0);
    return static_cast<int32_t>(std::lround(std::clamp(rate, -200.0, 200.0)));
}

// A change of pitch: "high", "+2st", "-10%" -> in pitch units (100 an octave).
int32_t PitchChange(std::string_view value) {
    static constexpr std::array<std::pair<std::string_view, int32_t>, 6> kPitches{{
        {"x-low", -50},
        {"low", -25},
        {"medium", 0},
        {"default", 0},
        {"high", 25},
        {"x-high", 50},
    }};
    for (const auto& [name, pitch] : kPitches) {
        if (base::EqualNoCase(value, name)) return pitch;
    }
    double n = 0;
    std::string_view unit;
    if (!Number(value, n, unit)) return 0;
    double pitch = 0;
    if (unit == "st") pitch = n * 100 / 12;
    if (unit == "%" && n > -100) pitch = 100 * std::log2(1 + n / 100);
    return static_cast<int32_t>(std::lround(std::clamp(pitch, -200.0, 200.0)));
}

// A change of volume: "soft", "+6dB", "silent" -> in dB.
double VolumeChange(std::string_view value) {
    static constexpr std::array<std::pair<std::string_view, double>, 7> kVolumes{{
        {"silent", -1000},
        {"x-soft", -12},
        {"soft", -6},
        {"medium", 0},
        {"default", 0},
        {"loud", 4},
        {"x-loud", 8},
    }};
    for (const auto& [name, db] : kVolumes) {
        if (base::EqualNoCase(value, name)) return db;
    }
    double n = 0;
    std::string_view unit;
    if (Number(value, n, unit) && base::EqualNoCase(unit, "dB"))
        return std::clamp(n, -1000.0, 20.0);
    return 0;
}

// Elements left open are kept to this depth; deeper ones are read as text
// without their effect, so a hostile message cannot grow the stack.
constexpr size_t OPEN_LIMIT = 64;

}  // namespace

SpokenText ParseSsml(std::string_view ssml) {
    SpokenText spoken;
    std::string& text = spoken.text;
    // The open <say-as> and <prosody> elements: their stretches, begun.
    std::vector<std::pair<std::string_view, Stretch>> open;
    for (size_t pos = 0; pos < ssml.size();) {
        const char c = ssml[pos];
        if (c == '&') {
            const size_t used = DecodeEntity(ssml, pos, text);
            if (used == 0) {
                text += '&';
                ++pos;
            } else {
                pos += used;
            }
            continue;
        }
        if (c != '<') {
            text += c;
            ++pos;
            continue;
        }
        // Comments and CDATA sections, then tags.
        if (ssml.substr(pos, 4) == "<!--") {
            const size_t end = ssml.find("-->", pos + 4);
            pos = end == std::string_view::npos ? ssml.size() : end + 3;
            continue;
        }
        if (ssml.substr(pos, 9) == "<![CDATA[") {
            const size_t end = ssml.find("]]>", pos + 9);
            const size_t stop = end == std::string_view::npos ? ssml.size() : end;
            text.append(ssml.substr(pos + 9, stop - pos - 9));
            pos = end == std::string_view::npos ? ssml.size() : end + 3;
            continue;
        }
        const size_t end = TagEnd(ssml, pos + 1);
        if (end == std::string_view::npos) break;
        const std::string_view tag = ssml.substr(pos + 1, end - pos - 1);
        pos = end + 1;
        const std::string_view name = ElementName(tag);
        const bool closing = !tag.empty() && tag[0] == '/';
        const bool empty = !tag.empty() && tag.back() == '/';
        const bool sayAs = base::EqualNoCase(name, "say-as");
        const bool prosody = base::EqualNoCase(name, "prosody");
        if (base::EqualNoCase(name, "mark") && !closing) {
            spoken.marks.push_back({Attribute(tag, "name"), text.size()});
        } else if (base::EqualNoCase(name, "break") && !closing) {
            spoken.breaks.push_back({text.size(), BreakMs(tag)});
            text += ' ';
        } else if (base::EqualNoCase(name, "s") || base::EqualNoCase(name, "p")) {
            text += ' ';
        } else if ((sayAs || prosody) && closing) {
            // Closes the innermost open element of its name.
            for (size_t k = open.size(); k-- > 0;) {
                if (!base::EqualNoCase(open[k].first, name)) continue;
                open[k].second.end = text.size();
                spoken.stretches.push_back(open[k].second);
                open.erase(open.begin() + static_cast<std::ptrdiff_t>(k));
                break;
            }
        } else if ((sayAs || prosody) && !empty && open.size() < OPEN_LIMIT) {
            Stretch stretch;
            stretch.begin = text.size();
            if (sayAs) {
                const std::string how = Attribute(tag, "interpret-as");
                stretch.spell =
                    base::EqualNoCase(how, "characters") || base::EqualNoCase(how, "spell-out") ||
                    base::EqualNoCase(how, "letters") || base::EqualNoCase(how, "verbatim");
            } else {
                stretch.rate = RateChange(Attribute(tag, "rate"));
                stretch.pitch = PitchChange(Attribute(tag, "pitch"));
                stretch.volumeDb = VolumeChange(Attribute(tag, "volume"));
            }
            open.emplace_back(sayAs ? "say-as" : "prosody", stretch);
        }
    }
    for (auto& [element, stretch] : open) {
        stretch.end = text.size();
        spoken.stretches.push_back(stretch);
    }
    return spoken;
}

}  // namespace vocalith::speechd
