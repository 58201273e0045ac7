// The word cache's table.
#include "translate/word_cache.h"

#include <cstring>

namespace vocalith::translate {

size_t WordCache::Length(const char* at) {
    return static_cast<unsigned char>(at[0]) |
           (static_cast<size_t>(static_cast<unsigned char>(at[1])) << 8);
}

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
        if (s.start == 0) return i;
        if (s.hash != hash) continue;
        const char* entry = arena_.data() + s.start - 1;
        if (Length(entry) == word.size() &&
            std::memcmp(entry + ENTRY_HEAD, word.data(), word.size()) == 0) {
            return i;
        }
    }
}

bool WordCache::Find(std::string_view word, std::string_view& phonemes) const {
    const Slot& s = slots_[Probe(word, Hash(word))];
    if (s.start == 0) return false;
    const char* entry = arena_.data() + s.start - 1;
    phonemes = std::string_view(entry + ENTRY_HEAD + Length(entry), Length(entry + 2));
    return true;
}

void WordCache::Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (s.start == 0) continue;
        size_t i = s.hash & mask;
        while (slots_[i].start != 0) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

void WordCache::Remember(std::string_view word, std::string_view phonemes) {
    if (words_ >= MAX_WORDS || word.size() > UINT16_MAX || phonemes.size() > UINT16_MAX ||
        arena_.size() + ENTRY_HEAD + word.size() + phonemes.size() > MAX_BYTES) {
        return;
    }
    // At most half full, so probes stay short and always find an empty slot.
    if (2 * (words_ + 1) > slots_.size()) Grow();
    const uint32_t hash = Hash(word);
    Slot& s = slots_[Probe(word, hash)];
    if (s.start != 0) return;
    s.hash = hash;
    s.start = static_cast<uint32_t>(arena_.size()) + 1;
    const char head[ENTRY_HEAD] = {
        static_cast<char>(word.size() & 0xFF), static_cast<char>(word.size() >> 8),
        static_cast<char>(phonemes.size() & 0xFF), static_cast<char>(phonemes.size() >> 8)};
    arena_.insert(arena_.end(), head, head + ENTRY_HEAD);
    arena_.insert(arena_.end(), word.begin(), word.end());
    arena_.insert(arena_.end(), phonemes.begin(), phonemes.end());
    ++words_;
}

}  // namespace vocalith::translate
