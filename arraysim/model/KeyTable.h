// A table from 64-bit key hashes to list positions, held in one flat array
// (open addressing, linear probing). A lookup in a large array costs one
// cache line instead of a bucket and a node, and adding or removing an entry
// allocates nothing unless the table grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace arraymodel {

class KeyTable {
public:
    // The position stored for `key`, or null.
    const size_t* find(uint64_t key) const {
        if (slots_.empty()) return nullptr;
        const uint64_t k = stored(key);
        for (size_t i = home(k);; i = next(i)) {
            if (slots_[i].key == k) return &slots_[i].position;
            if (slots_[i].key == kEmpty) return nullptr;
        }
    }
    size_t* find(uint64_t key) { return const_cast<size_t*>(static_cast<const KeyTable&>(*this).find(key)); }

    // Adds key -> position; a key already present keeps its position.
    void insert(uint64_t key, size_t position) {
        if ((used_ + 1) * 2 > slots_.size()) grow();
        const uint64_t k = stored(key);
        size_t i = home(k);
        for (; slots_[i].key != kEmpty; i = next(i)) {
            if (slots_[i].key == k) return;
        }
        slots_[i] = {k, position};
        ++used_;
    }

    void erase(uint64_t key) {
        if (slots_.empty()) return;
        const uint64_t k = stored(key);
        size_t gap = home(k);
        for (; slots_[gap].key != k; gap = next(gap)) {
            if (slots_[gap].key == kEmpty) return;
        }
        // Backward shift: move up every later entry of the run whose home
        // does not lie after the gap, so no lookup meets an empty slot
        // before its key.
        for (size_t j = next(gap); slots_[j].key != kEmpty; j = next(j)) {
            const size_t h = home(slots_[j].key);
            const bool stays = gap < j ? (h > gap && h <= j) : (h > gap || h <= j);
            if (!stays) {
                slots_[gap] = slots_[j];
                gap = j;
            }
        }
        slots_[gap].key = kEmpty;
        --used_;
    }

    size_t size() const { return used_; }

private:
    struct Slot {
        uint64_t key = 0;
        size_t position = 0;
    };
    static constexpr uint64_t kEmpty = 0;
    // 0 marks an empty slot, so a key hash of 0 is kept as 1: the two then
    // share an entry, which lookups already allow for (they check the entry
    // against the list).
    static uint64_t stored(uint64_t key) { return key == kEmpty ? 1 : key; }

    size_t home(uint64_t k) const { return static_cast<size_t>((k * 0x9E3779B97F4A7C15ULL) >> shift_); }
    size_t next(size_t i) const { return (i + 1) & (slots_.size() - 1); }

    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(old.empty() ? 16 : old.size() * 2, Slot());
        shift_ = 64;
        for (size_t n = slots_.size(); n > 1; n >>= 1) --shift_;
        used_ = 0;
        for (const Slot& s : old) {
            if (s.key != kEmpty) insert(s.key, s.position);
        }
    }

    std::vector<Slot> slots_;   // a power of two in size, at most half full
    size_t used_ = 0;
    unsigned shift_ = 64;       // 64 - log2(size): home() takes the top bits
};

}  // namespace arraymodel
