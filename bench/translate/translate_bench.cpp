// Translation speed: about 1 MB of plain English, 1 MB of made-up words
// (hardly one seen twice: the rules' own speed), and one short sentence.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "translate/translate.h"

namespace {

constexpr size_t kCorpusBytes = 1 << 20;

// The license texts shipped with the system, joined; when they are missing,
// deterministic English-like text from a fixed word list.
std::string LoadCorpus() {
    std::string text;
    const std::filesystem::path dir = "/usr/share/common-licenses";
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.is_regular_file(ec)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    while (!files.empty() && text.size() < kCorpusBytes) {
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            text += s.str();
            if (text.size() >= kCorpusBytes) break;
        }
        if (text.empty()) break;
    }
    if (text.empty()) {
        static const char* const words[] = {
            "the",    "program", "speaks",  "English", "words",      "with",       "rules",
            "for",    "letters", "and",     "numbers", "like",       "1st",        "2005",
            "$3.50",  "people",  "through", "nation",  "knight",     "thoughtful", "quickly",
            "Hello,", "world.",  "Dr.",     "Smith",   "well-known", "because",    "which"};
        uint32_t state = 12345;
        while (text.size() < kCorpusBytes) {
            state = state * 1103515245u + 12345u;
            text += words[(state >> 16) % (sizeof words / sizeof *words)];
            text += (state >> 8) % 13 == 0 ? '\n' : ' ';
        }
    }
    text.resize(std::min(text.size(), kCorpusBytes));
    // A NUL would end the text early.
    for (char& c : text) {
        if (c == '\0') c = ' ';
    }
    return text;
}

// Translates `text` whole, once per iteration.
void TranslateWhole(benchmark::State& state, const std::string& text) {
    std::vector<char> out(text.size() * 32 + 64);
    const auto capacity = static_cast<int32_t>(out.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            vocalith::translate::TranslateText(text.c_str(), out.data(), capacity));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}

void TranslateEnglish(benchmark::State& state) {
    TranslateWhole(state, LoadCorpus());
}
BENCHMARK(TranslateEnglish)->Unit(benchmark::kMillisecond);

void TranslateMadeUpWords(benchmark::State& state) {
    std::string text;
    uint32_t seed = 7;
    static const char kLetters[] = "aeiouyaeioubcdfghjklmnprstvwxz";
    while (text.size() < kCorpusBytes) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t length = 3 + (seed >> 16) % 9;
        for (uint32_t i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            text += kLetters[(seed >> 16) % (sizeof kLetters - 1)];
        }
        text += ' ';
    }
    TranslateWhole(state, text);
}
BENCHMARK(TranslateMadeUpWords)->Unit(benchmark::kMillisecond);

void TranslateSentence(benchmark::State& state) {
    const std::string text = "Hello, world. Dr. Smith paid $13.50 now.";  // 40 characters
    char out[1900];
    for (auto _ : state) {
        benchmark::DoNotOptimize(vocalith::translate::TranslateText(text.c_str(), out, sizeof out));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(TranslateSentence);

}  // namespace
