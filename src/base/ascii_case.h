#pragma once
// Letter case of ASCII text, as voice names, file names in the voices folder
// and phoneme symbols compare it: only 'A'..'Z' and 'a'..'z' pair up; every
// other byte (0x80..0xFF included) matches itself alone.
#include <cstddef>
#include <string_view>

namespace vocalith::base {

inline char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace vocalith::base
