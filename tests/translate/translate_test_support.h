#pragma once
// Helpers shared by the translator tests.
#include <cstdint>
#include <functional>
#include <string>

#include "translate/translate.h"

namespace vocalith::translate::testing {

// Capacity that never cuts the translation of `text`.
int32_t UncutCapacity(const std::string& text);

// TranslateText of `text` with a buffer large enough for `capacity`
// (by default one that never cuts).
std::string Translate(const std::string& text, int32_t capacity);
std::string Translate(const std::string& text);
// The same through `translator`.
std::string Translate(Translator& translator, const std::string& text, int32_t capacity);

// `s` written `times` times over.
std::string Repeat(const std::string& s, int times);

// Runs `emit` on a fresh Translator whose output has the given capacity and
// returns what it wrote there.
std::string Emitted(const std::function<void(Translator&)>& emit, int32_t capacity = 1 << 16);

}  // namespace vocalith::translate::testing
