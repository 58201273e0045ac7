#include "translate_test_support.h"

#include <vector>

#include "translate/translate.h"

namespace vocalith::translate::testing {

int32_t UncutCapacity(const std::string& text) {
    return static_cast<int32_t>(translate::UncutCapacity(text.size()));
}

std::string Translate(const std::string& text) {
    return Translate(text, UncutCapacity(text));
}

std::string Translate(const std::string& text, int32_t capacity) {
    Translator translator;  // as TranslateText has
    return Translate(translator, text, capacity);
}

std::string Translate(Translator& translator, const std::string& text, int32_t capacity) {
    std::vector<char> out(capacity > 0 ? static_cast<size_t>(capacity) : 1, '\x7f');
    const int32_t n = translator.TranslateText(text.c_str(), out.data(), capacity);
    return std::string(out.data(), static_cast<size_t>(n));
}

std::string Emitted(const std::function<void(Translator&)>& emit, int32_t capacity) {
    std::vector<char> out(static_cast<size_t>(capacity), '\x7f');
    Translator translator;
    translator.StartOutput(out.data(), capacity);
    emit(translator);
    return std::string(out.data());
}

std::string Repeat(const std::string& s, int times) {
    std::string r;
    for (int i = 0; i < times; ++i) r += s;
    return r;
}

}  // namespace vocalith::translate::testing
