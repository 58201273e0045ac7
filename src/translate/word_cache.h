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
    static constexpr size_t MAX_WORDS = size_t{1} << 15;
    static constexpr size_t MAX_BYTES = size_t{4} << 20;

    // True, with the phonemes, when `word` is remembered.
    bool Find(std::string_view word, std::string_view& phonemes) const;
    // Remembers a word not yet remembered, while there is room.
    void Remember(std::string_view word, std::string_view phonemes);

    size_t Words() const { return words_; }

  private:
    // An entry: where it starts in arena_ (plus one, so 0 marks an empty
    // slot) and its word's hash. The arena holds each entry as the word's
    // length and the phonemes' length (two bytes each), the word, the phonemes.
    struct Slot {
        uint32_t hash = 0;
        uint32_t start = 0;
    };
    static constexpr size_t ENTRY_HEAD = 4;
    static uint32_t Hash(std::string_view word);
    // A two-byte length in the arena.
    static size_t Length(const char* at);
    // The slot holding `word`, or the empty slot where it would go.
    size_t Probe(std::string_view word, uint32_t hash) const;
    void Grow();

    std::vector<Slot> slots_ = std::vector<Slot>(32);
    std::vector<char> arena_;
    size_t words_ = 0;
};

}  // namespace vocalith::translate
