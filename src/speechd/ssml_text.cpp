#include "speechd/ssml_text.h"

#include <array>
#include <cstdint>

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

}  // namespace

SpokenText ParseSsml(std::string_view ssml) {
    SpokenText spoken;
    std::string& text = spoken.text;
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
        if (base::EqualNoCase(name, "mark") && tag[0] != '/') {
            spoken.marks.push_back({Attribute(tag, "name"), text.size()});
        } else if (base::EqualNoCase(name, "s") || base::EqualNoCase(name, "p") ||
                   base::EqualNoCase(name, "break")) {
            text += ' ';
        }
    }
    return spoken;
}

}  // namespace vocalith::speechd
