// The word cache's table.
#include "translate/word_cache.h"

#include <cstring>

namespace vocalith::translate {

uint32_t WordCache::Hash(std::string_view word) {
    // FNV-1a: words are short, and this spreads them well enough.
    uint32_t h = 2166136261u;
    for (const char c : word) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

size_t WordCache::Probe(std::string_view word, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (!s.used) return i;
        if (s.hash == hash && s.wordLength == word.size() &&
            std::memcmp(arena_.data() + s.offset, word.data(), word.size()) == 0) {
            return i;
        }
    }
}

bool WordCache::Find(std::string_view word, std::string_view& phonemes) const {
    const Slot& s = slots_[Probe(word, Hash(word))];
    if (!s.used) return false;
    phonemes = std::string_view(arena_.data() + s.offset + s.wordLength, s.phonemeLength);
    return true;
}

void WordCache::Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (!s.used) continue;
        size_t i = s.hash & mask;
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

void WordCache::Remember(std::string_view word, std::string_view phonemes) {
    if (words_ >= MAX_WORDS || word.size() > UINT16_MAX || phonemes.size() > UINT16_MAX ||
        arena_.size() + word.size() + phonemes.size() > MAX_BYTES) {
        return;
    }
    // At most half full, so probes stay short and always find an empty slot.
    if (2 * (words_ + 1) > slots_.size()) Grow();
    const uint32_t hash = Hash(word);
    Slot& s = slots_[Probe(word, hash)];
    if (s.used) return;
    s.used = true;
    s.hash = hash;
    s.offset = static_cast<uint32_t>(arena_.size());
    s.wordLength = static_cast<uint16_t>(word.size());
    s.phonemeLength = static_cast<uint16_t>(phonemes.size());
    arena_.insert(arena_.end(), word.begin(), word.end());
    arena_.insert(arena_.end(), phonemes.begin(), phonemes.end());
    ++words_;
}

}  // namespace vocalith::translate
