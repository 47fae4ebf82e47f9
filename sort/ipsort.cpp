#include "sort/ipsort.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sort/block_partition.h"
#include "sort/distinct_keys.h"
#include "sort/pattern_cache.h"
#include "sort/sort_entries.h"

namespace pedsim::sort {

namespace {

void number_positions(std::int32_t* perm, std::int32_t n)
{
    std::int32_t position = 1;
#if defined(__SSE2__)
    __m128i four = _mm_setr_epi32(1, 2, 3, 4);
    for (; position + 3 <= n; position += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(perm + position - 1), four);
        four = _mm_add_epi32(four, _mm_set1_epi32(4));
    }
#endif
    for (; position <= n; ++position) perm[position - 1] = position;
}

// The key a descending sort orders ascending: the negated key. The negation
// goes through unsigned arithmetic so that a stray -2^31 cannot trigger
// undefined behaviour (it maps to itself and would sort out of place).
inline std::int32_t negated(std::int32_t key)
{
    assert(key != std::numeric_limits<std::int32_t>::min());
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(key));
}

// Fills keys[0..n-1] with the keys of ix in their order, negated for a
// descending sort, and returns their range.
template <bool descending>
KeyRange carry_keys(const std::int32_t* ix, std::int32_t n, std::int32_t* keys)
{
    std::int32_t least = std::numeric_limits<std::int32_t>::max();
    std::int32_t most = std::numeric_limits<std::int32_t>::min();
    std::int32_t e = 0;
#if defined(__SSE2__)
    // Four keys at a time; SSE2 has no 32-bit minimum or maximum, so they
    // are chosen through compare masks.
    __m128i low = _mm_set1_epi32(least);
    __m128i high = _mm_set1_epi32(most);
    const auto choose = [](__m128i mask, __m128i a, __m128i b) {
        return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
    };
    for (; e + 4 <= n; e += 4) {
        __m128i key = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ix + e));
        if (descending) {
            assert(_mm_movemask_epi8(_mm_cmpeq_epi32(
                       key, _mm_set1_epi32(std::numeric_limits<std::int32_t>::min()))) == 0);
            key = _mm_sub_epi32(_mm_setzero_si128(), key);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(keys + e), key);
        low = choose(_mm_cmplt_epi32(key, low), key, low);
        high = choose(_mm_cmpgt_epi32(key, high), key, high);
    }
    std::array<std::int32_t, 4> lows;
    std::array<std::int32_t, 4> highs;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lows.data()), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(highs.data()), high);
    least = *std::min_element(lows.begin(), lows.end());
    most = *std::max_element(highs.begin(), highs.end());
#endif
    for (; e < n; ++e) {
        const std::int32_t key = descending ? negated(ix[e]) : ix[e];
        keys[e] = key;
        least = std::min(least, key);
        most = std::max(most, key);
    }
    return {least, most};
}

// Defers the larger part (the high part on a tie) and returns the other one.
inline Segment defer_larger(Split split, PendingSegments& pending)
{
    // Chosen through a mask, not a branch: which part is larger is not
    // predictable.
    const std::ptrdiff_t low_is_larger = -std::ptrdiff_t{split.low.width() > split.high.width()};
    const std::ptrdiff_t first_change = (split.low.first ^ split.high.first) & low_is_larger;
    const std::ptrdiff_t last_change = (split.low.last ^ split.high.last) & low_is_larger;
    pending.push({split.high.first ^ first_change, split.high.last ^ last_change});
    return {split.low.first ^ first_change, split.low.last ^ last_change};
}

// Sorts a segment of one, two or three entries exactly as partitioning it
// would. Two entries: the pivot is the first, and the pair is exchanged only
// when the last key is smaller. Three entries: the pivot is again the first;
// after its exchange with the last, a middle key below the pivot goes in
// front, and otherwise the last two are ordered as two entries (which leaves
// them as they are when the front changed). Fewer than three entries take the
// same steps with the last entry as the middle one, where they change nothing,
// so that no branch depends on the segment's width.
inline void sort_few(Entries e, Segment segment)
{
    const bool three = segment.width() == 2;
    const Held read = hold(e, segment.first + (segment.width() > 0 ? 1 : 0));
    Held first = hold(e, segment.first);
    Held last = hold(e, segment.last);
    order_pair(first, last);
    const std::int32_t from_read = -std::int32_t{three};
    Held middle{last.position ^ ((read.position ^ last.position) & from_read),
                last.key ^ ((read.key ^ last.key) & from_read)};
    order_pair(first, middle);
    order_pair(middle, last);
    put(e, segment.first + (segment.width() > 0 ? 1 : 0), middle);
    put(e, segment.first, first);
    put(e, segment.last, last);
}

// Sorts the segment by partitioning, down to the segments of one to three
// entries.
void sort_by_partitioning(Entries e, Segment segment)
{
    PendingSegments pending;
    for (;;) {
        while (segment.width() >= 3)
            segment = defer_larger(partition_outlined(e, segment), pending);
        sort_few(e, segment);
        if (pending.empty()) return;
        segment = pending.pop();
    }
}

constinit Rearrangements rearrangements;

// Sorts a segment of kPatternFewest to kPatternMost entries (the whole sort
// holding at least kPatternWindow) exactly as partitioning does.
void sort_by_pattern(Entries e, Segment segment)
{
    const PatternWindow w = pattern_window(e, segment);
    const std::uint32_t pattern = order_pattern(e, w);
    const std::uint32_t known = rearrangements.find(pattern);
    if (known != Rearrangements::unknown) {
        rearrange(e, w, known);
        return;
    }
    // First meeting of the pattern: partitioning sorts the segment, and each
    // entry's position (no two are equal) tells where it came from.
    std::array<std::int32_t, kPatternMost> before;
    std::copy(e.perm + segment.first, e.perm + segment.last + 1, before.begin());
    sort_by_partitioning(e, segment);
    std::uint32_t from = 0;
    for (unsigned entry = 0; entry < w.count; ++entry) {
        const std::int32_t position = e.perm[segment.first + entry];
        const auto source = static_cast<std::uint32_t>(
            std::find(before.begin(), before.begin() + w.count, position) - before.begin());
        from |= source << (kEntryBits * entry);
    }
    rearrangements.remember(pattern, from);
}

// Quicksorts perm[0..n-1] (n >= 2) by the keys carried beside it.
void sort_positions(std::int32_t* keys, std::int32_t* perm, std::int32_t n)
{
    const Entries e{keys, perm, n};
    if (n < kPatternWindow) {
        sort_by_partitioning(e, {0, n - 1});
        return;
    }
    PendingSegments pending;
    Segment segment{0, n - 1};
    for (;;) {
        while (segment.width() >= kPatternMost)
            segment = defer_larger(partition(e, segment), pending);
        if (segment.width() >= kPatternFewest - 1)
            sort_by_pattern(e, segment);
        else
            sort_few(e, segment);
        if (pending.empty()) return;
        segment = pending.pop();
    }
}

}  // namespace

void ipsort(std::span<std::int32_t> ix, std::int32_t n, std::span<std::int32_t> iperm,
            std::int32_t kflag, std::span<std::int32_t> work)
{
    if (n < 1) return;
    const auto count = static_cast<std::size_t>(n);
    assert(ix.size() >= count && iperm.size() >= count && work.size() >= count);
    std::int32_t* const perm = iperm.data();
    if (n == 1) {
        perm[0] = 1;
        work[0] = ix[0];
        return;
    }

    std::int32_t* const keys = work.data();
    const KeyRange range =
        kflag < 0 ? carry_keys<true>(ix.data(), n, keys) : carry_keys<false>(ix.data(), n, keys);
    if (rank_distinct_keys(keys, n, range, perm)) {
        // The ranking left ranks where the keys were: put the keys back, in order.
        for (std::size_t e = 0; e < count; ++e) keys[e] = ix[static_cast<std::size_t>(perm[e] - 1)];
    } else {
        number_positions(perm, n);
        sort_positions(keys, perm, n);
        if (kflag < 0) std::transform(keys, keys + n, keys, negated);
    }

    if (kflag == 2 || kflag == -2) std::copy(keys, keys + n, ix.begin());
}

}  // namespace pedsim::sort
