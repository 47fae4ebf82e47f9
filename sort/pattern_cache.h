// The pattern cache: small segments sorted by looking up the rearrangement
// partitioning made of the first segment with the same order pattern.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "sort/sort_entries.h"

namespace pedsim::sort {

// Included by sort/ipsort.cpp alone: these are the sort's own pieces, kept
// local to it as when they stood in that file, so that the compiler inlines
// them into the sort's loop alike.
namespace {

// How partitioning sorts a segment depends only on the order pattern of its
// keys (which of them are less than, or equal to, which): segments with the
// same pattern are rearranged alike. Small segments, which are most of the
// segments and cost the most per entry, are therefore sorted by looking up
// the rearrangement for their pattern; partitioning finds it the first time
// a pattern is met; a look-up replaces the partitions and their mispredicted
// branches (what that saves is measured in bench/README.md).
constexpr std::ptrdiff_t kPatternWindow = 8;  // keys read to find the pattern
constexpr std::ptrdiff_t kPatternFewest = 4;  // fewer entries are sorted by sort_few
constexpr std::ptrdiff_t kPatternMost = 7;    // more entries are partitioned

// Each entry of a small segment takes 3 bits in a pattern or rearrangement.
constexpr unsigned kEntryBits = 3;
constexpr std::uint32_t kEntryMask = (1u << kEntryBits) - 1;
static_assert(kPatternWindow <= (1 << kEntryBits));
static_assert(kPatternWindow * kEntryBits <= 24);

inline std::uint32_t entry_bits(std::ptrdiff_t entries)
{
    return (1u << (kEntryBits * static_cast<unsigned>(entries))) - 1;
}

// A window of kPatternWindow entries holding a small segment: moved back to
// end at the last entry when it would run past it.
struct PatternWindow {
    std::ptrdiff_t first;  // the window's first entry
    unsigned skipped;      // entries of the window before the segment
    unsigned count;        // entries of the segment
};

inline PatternWindow pattern_window(Entries e, Segment segment)
{
    const std::ptrdiff_t first = std::min(segment.first, e.size - kPatternWindow);
    return {first, static_cast<unsigned>(segment.first - first),
            static_cast<unsigned>(segment.width() + 1)};
}

// The segment's order pattern: for each entry, kEntryBits holding the count
// of the segment's keys below its key, and the segment's size above them.
inline std::uint32_t order_pattern(Entries e, PatternWindow w)
{
    const std::uint32_t wanted = ((1u << w.count) - 1) << w.skipped;
    const std::int32_t* keys = e.keys + w.first;
    std::uint32_t ranks = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + 4));
    // The count of wanted lanes holding a key below every lane of `key`.
    const auto count_below = [&](__m128i key) {
        const __m128i below =
            _mm_packs_epi32(_mm_cmpgt_epi32(key, low), _mm_cmpgt_epi32(key, high));
        const auto lanes = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(below, below)));
        return std::uint32_t{kBitLists.count[lanes & wanted]};
    };
    ranks |= count_below(_mm_shuffle_epi32(low, 0x00)) << 0;
    ranks |= count_below(_mm_shuffle_epi32(low, 0x55)) << 3;
    ranks |= count_below(_mm_shuffle_epi32(low, 0xAA)) << 6;
    ranks |= count_below(_mm_shuffle_epi32(low, 0xFF)) << 9;
    ranks |= count_below(_mm_shuffle_epi32(high, 0x00)) << 12;
    ranks |= count_below(_mm_shuffle_epi32(high, 0x55)) << 15;
    ranks |= count_below(_mm_shuffle_epi32(high, 0xAA)) << 18;
    ranks |= count_below(_mm_shuffle_epi32(high, 0xFF)) << 21;
#else
    for (unsigned lane = 0; lane < kPatternWindow; ++lane) {
        std::uint32_t below = 0;
        for (unsigned other = 0; other < kPatternWindow; ++other)
            below |= std::uint32_t{keys[other] < keys[lane]} << other;
        ranks |= std::uint32_t{kBitLists.count[below & wanted]} << (kEntryBits * lane);
    }
#endif
    return ((ranks >> (kEntryBits * w.skipped)) & entry_bits(w.count)) | (w.count << 24);
}

// Rearrangements found so far, by pattern: each slot holds a pattern in its
// high half and, in its low half, for each entry of the sorted segment the
// entry it comes from (kEntryBits each); 0 when empty. A pattern goes to one
// of two neighbouring slots. The slots are atomic so that sorts running at
// the same time on several threads may share them; whole slots are read and
// written, so a slot never mixes two patterns.
class Rearrangements {
public:
    static constexpr std::uint32_t unknown = ~std::uint32_t{0};

    std::uint32_t find(std::uint32_t pattern) const
    {
        const std::size_t slot = slot_of(pattern);
        for (const std::size_t s : {slot, slot ^ 1}) {
            const std::uint64_t held = slots_[s].load(std::memory_order_relaxed);
            if (held >> 32 == pattern) return static_cast<std::uint32_t>(held);
        }
        return unknown;
    }

    void remember(std::uint32_t pattern, std::uint32_t rearrangement)
    {
        const std::size_t slot = slot_of(pattern);
        const bool first_taken = slots_[slot].load(std::memory_order_relaxed) != 0;
        slots_[first_taken ? slot ^ 1 : slot].store(std::uint64_t{pattern} << 32 | rearrangement,
                                                    std::memory_order_relaxed);
    }

private:
    static constexpr unsigned kSlotBits = 14;
    static std::size_t slot_of(std::uint32_t pattern)
    {
        return (pattern * 0x9E3779B1u) >> (32 - kSlotBits);
    }

    std::array<std::atomic<std::uint64_t>, std::size_t{1} << kSlotBits> slots_{};
};

// Moves the window's entries by `from`, which names for each entry of the
// segment the entry it takes; the entries around the segment stay.
inline void rearrange(Entries e, PatternWindow w, std::uint32_t from)
{
    std::array<std::int32_t, kPatternWindow> positions;
    std::array<std::int32_t, kPatternWindow> keys;
    std::memcpy(positions.data(), e.perm + w.first, sizeof positions);
    std::memcpy(keys.data(), e.keys + w.first, sizeof keys);
    constexpr std::uint32_t in_place = 076543210;  // each lane from itself
    constexpr std::uint32_t ones = 011111111;      // 1 in every lane
    const std::uint32_t lanes = entry_bits(w.count);
    const unsigned shift = kEntryBits * w.skipped;
    const std::uint32_t moved = (from + w.skipped * (ones & lanes)) << shift;
    const std::uint32_t source = (in_place & ~(lanes << shift)) | moved;
    for (unsigned lane = 0; lane < kPatternWindow; ++lane) {
        const std::uint32_t s = source >> (kEntryBits * lane) & kEntryMask;
        e.perm[w.first + lane] = positions[s];
        e.keys[w.first + lane] = keys[s];
    }
}

}  // namespace

}  // namespace pedsim::sort
