#pragma once
// The fast rule engine's memory of words it has translated: word (with its
// blanks) to phonemes. Open addressing over one byte arena; bounded, so a
// text of endless different words stops adding entries rather than growing
// without end (a word not remembered is simply translated again).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vocalith::translate {

class WordCache {
  public:
    // Bounds: distinct words, and bytes of words and phonemes together.
    static constexpr size_t MAX_WORDS = size_t{1} << 16;
    static constexpr size_t MAX_BYTES = size_t{8} << 20;

    // True, with the phonemes, when `word` is remembered.
    bool Find(std::string_view word, std::string_view& phonemes) const;
    // Remembers a word not yet remembered, while there is room.
    void Remember(std::string_view word, std::string_view phonemes);

    size_t Words() const { return words_; }

  private:
    struct Slot {
        uint32_t hash = 0;
        uint32_t offset = 0;  // into arena_: word length, phoneme length, word, phonemes
        uint16_t wordLength = 0;
        uint16_t phonemeLength = 0;
        bool used = false;
    };
    static uint32_t Hash(std::string_view word);
    // The slot holding `word`, or the empty slot where it would go.
    size_t Probe(std::string_view word, uint32_t hash) const;
    void Grow();

    std::vector<Slot> slots_ = std::vector<Slot>(32);
    std::vector<char> arena_;
    size_t words_ = 0;
};

}  // namespace vocalith::translate
