// Drives TranslateText with arbitrary bytes and capacities. The first two
// bytes choose the capacity (-8 .. 65527); the buffer has exactly that many
// bytes (at least one), so any write past capacity - 1 is caught by the
// address sanitizer. Checks the NUL and the length bound, and that the plain
// rule engine says the same bytes as the fast one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "translate/translate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t capacity = static_cast<int32_t>((data[0] << 8) | data[1]) - 8;
    std::vector<char> text(data + 2, data + size);
    text.push_back('\0');

    std::vector<char> out(capacity > 0 ? static_cast<size_t>(capacity) : 1);
    const int32_t n = vocalith::translate::TranslateText(text.data(), out.data(), capacity);

    const int64_t limit = capacity > 2 ? capacity - 2 : 0;
    if (n < 0 || n > limit) std::abort();
    if (out[static_cast<size_t>(n)] != '\0') std::abort();
    if (std::strlen(out.data()) != static_cast<size_t>(n)) std::abort();

    vocalith::translate::Translator plain({}, vocalith::translate::RuleEngineMode::Plain);
    std::vector<char> again(out.size());
    if (plain.TranslateText(text.data(), again.data(), capacity) != n) std::abort();
    if (std::memcmp(out.data(), again.data(), static_cast<size_t>(n) + 1) != 0) std::abort();
    return 0;
}
