// A set of stone indices 0..31 in one word.
#pragma once

#include <cstdint>

#include "kelvosim/primitive.h"

namespace Kelvo {

struct bitSet {
    uint32_t bits = 0;

    void set(int p) { checkIndex(p); bits |= 1u << p; }
    void reset(int p) { checkIndex(p); bits &= ~(1u << p); }
    uint32_t test(int p) const { checkIndex(p); return bits & (1u << p); }
    bool empty() const { return bits == 0; }
    int size() const { return __builtin_popcount(bits); }

    friend bitSet operator|(bitSet a, bitSet b) { return bitSet{a.bits | b.bits}; }
    friend bitSet operator&(bitSet a, bitSet b) { return bitSet{a.bits & b.bits}; }
    friend bitSet operator-(bitSet a, bitSet b) { return bitSet{a.bits & ~b.bits}; }
    friend bool operator==(bitSet a, bitSet b) { return a.bits == b.bits; }
    bool isSubsetOf(bitSet other) const { return (bits & ~other.bits) == 0; }

private:
    static void checkIndex(int p) { KELVO_CHECK(0 <= p && p < 32, "0<=p && p<32"); }
};

// Visits the members in increasing order: lowest set bit first, then cleared.
template <typename F>
void forEach(bitSet set, F&& visit) {
    for (uint32_t w = set.bits; w != 0; w &= w - 1)
        visit(__builtin_ctz(w));
}

}  // namespace Kelvo
