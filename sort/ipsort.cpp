#include "ipsort.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <limits>
#include <utility>

namespace pedsim {

namespace {

// The permutation stores 1-based key positions as data; this is the one place
// where such a position is turned into a C++ index.
template <typename Value>
inline Value& at_position(Value* base, std::int32_t position)
{
    return base[position - 1];
}

// Fraction of a segment's width at which its pivot is taken. Sorting starts
// from 0.375 and steps it once (+0.0390625) before the first partition; the
// value then stays fixed for the whole call.
constexpr float kPivotFraction = 0.4140625f;

// The larger of two segments is always the one deferred, so a segment split
// while k pairs wait holds at most n / 2^k entries: at most floor(log2 n)
// pairs ever wait here, 30 for any 32-bit n.
constexpr std::size_t kMaxPending = 32;

// Keys read at a time by the partition's block scans (see partition below).
constexpr std::ptrdiff_t kBlock = 64;
// Entries left between the two scans when the block scans end; offsets within
// such a stretch, and one past it, are kept in bytes.
constexpr std::ptrdiff_t kMaxBetween = 2 * kBlock;
static_assert(kMaxBetween + 1 <= std::numeric_limits<std::uint8_t>::max());

// The permutation being sorted, entry by entry (0-based), with the keys its
// entries point at.
struct Entries {
    const std::int32_t* keys;
    std::int32_t* perm;

    std::int32_t key(std::ptrdiff_t entry) const { return at_position(keys, perm[entry]); }
    void exchange(std::ptrdiff_t a, std::ptrdiff_t b) const { std::swap(perm[a], perm[b]); }
};

// An inclusive range first..last of entries.
struct Segment {
    std::ptrdiff_t first;
    std::ptrdiff_t last;
    [[nodiscard]] std::ptrdiff_t width() const { return last - first; }
};

class PendingSegments {
public:
    [[nodiscard]] bool empty() const { return count_ == 0; }
    void push(Segment segment)
    {
        assert(count_ < kMaxPending);
        segments_[count_++] = segment;
    }
    Segment pop() { return segments_[--count_]; }

private:
    std::array<Segment, kMaxPending> segments_{};
    std::size_t count_ = 0;
};

void number_positions(std::int32_t* perm, std::int32_t n)
{
    for (std::int32_t position = 1; position <= n; ++position)
        at_position(perm, position) = position;
}

// A descending sort is an ascending sort of the negated keys. The negation
// goes through unsigned arithmetic so that a stray -2^31 cannot trigger
// undefined behaviour (it maps to itself and would sort out of place).
void negate_keys(std::int32_t* keys, std::int32_t n)
{
    for (std::int32_t position = 1; position <= n; ++position) {
        std::int32_t& key = at_position(keys, position);
        assert(key != std::numeric_limits<std::int32_t>::min());
        key = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(key));
    }
}

// Entry of the segment holding its pivot. The product is rounded to single
// precision before it is truncated, on purpose: that rounding decides the
// pivot of wide segments and so the order among equal keys (the exact offset
// width * 53/128 first differs at a width of 316,643). Keep it in float; the
// build never enables fast-math, which could change this step.
inline std::ptrdiff_t pivot_entry(Segment segment)
{
    const float offset = static_cast<float>(segment.width()) * kPivotFraction;
    return segment.first + static_cast<std::ptrdiff_t>(offset);
}

// Orders the first, pivot and last entries so that their keys ascend and
// returns the pivot key. This also puts a key <= pivot at the front and one
// >= pivot at the back, which stops both partition scans inside the segment.
inline std::int32_t order_median_of_three(Entries e, Segment segment, std::ptrdiff_t pivot)
{
    if (e.key(segment.first) > e.key(pivot)) e.exchange(segment.first, pivot);
    if (e.key(segment.last) < e.key(pivot)) {
        e.exchange(segment.last, pivot);
        if (e.key(segment.first) > e.key(pivot)) e.exchange(segment.first, pivot);
    }
    return e.key(pivot);
}

// The partition scans the segment from both ends: the upward scan stops on a
// key >= pivot, the downward scan on a key <= pivot, the two stopped entries
// are exchanged, and this goes on until the scans cross. Followed one key at a
// time, each scan's end is a branch the processor mispredicts about once per
// stop. The functions below make exactly the same exchanges, and end on the
// same two entries, from lists of stops found without a branch per key:
// the k-th stop of the upward scan is always exchanged with the k-th stop of
// the downward scan.

// Where the two scans stand. Entries first..up hold keys <= pivot and entries
// down..last keys >= pivot; the entries between have not been moved, and the
// scans go on from up + 1 and from down - 1.
struct Scans {
    std::ptrdiff_t up;
    std::ptrdiff_t down;
};

// Offsets of the stops within one block of kBlock entries, in scan order.
struct BlockStops {
    std::array<std::uint8_t, kBlock> offsets;
    std::size_t count = 0;  // stops not yet exchanged
    std::size_t next = 0;   // the first of them
};

// Makes the exchanges of the scans a block of keys at a time for as long as
// more than two blocks lie between them, so that the blocks read by the two
// scans never overlap and pairing their stops in order is what the scans
// would do. Returns where the scans then stand: just before their next stop.
inline Scans exchange_in_blocks(Entries e, std::int32_t pivot_key, Scans scans)
{
    BlockStops up_stops;                // offsets from `low`
    BlockStops down_stops;              // offsets below `high`
    std::ptrdiff_t low = scans.up + 1;  // first entry of the upward scan's block
    std::ptrdiff_t high = scans.down;   // one past the downward scan's block
    while (high - low > kMaxBetween) {
        if (up_stops.count == 0) {
            up_stops.next = 0;
            for (std::ptrdiff_t i = 0; i < kBlock; ++i) {
                up_stops.offsets[up_stops.count] = static_cast<std::uint8_t>(i);
                up_stops.count += e.key(low + i) >= pivot_key;
            }
        }
        if (down_stops.count == 0) {
            down_stops.next = 0;
            for (std::ptrdiff_t i = 0; i < kBlock; ++i) {
                down_stops.offsets[down_stops.count] = static_cast<std::uint8_t>(i);
                down_stops.count += e.key(high - 1 - i) <= pivot_key;
            }
        }
        const std::size_t pairs = std::min(up_stops.count, down_stops.count);
        for (std::size_t k = 0; k < pairs; ++k) {
            e.exchange(high - 1 - down_stops.offsets[down_stops.next + k],
                       low + up_stops.offsets[up_stops.next + k]);
        }
        up_stops.count -= pairs;
        up_stops.next += pairs;
        down_stops.count -= pairs;
        down_stops.next += pairs;
        if (up_stops.count == 0) low += kBlock;
        if (down_stops.count == 0) high -= kBlock;
    }
    // The keys a scan has read since its last exchange are not stops, so it
    // may as well stand just before its next stop, or on its block's end.
    scans.up = low - 1 + (up_stops.count > 0 ? up_stops.offsets[up_stops.next] : 0);
    scans.down = high - (down_stops.count > 0 ? down_stops.offsets[down_stops.next] : 0);
    return scans;
}

struct Split {
    Segment low;   // entries with keys <= pivot
    Segment high;  // entries with keys >= pivot
};

// Ends the partition from `scans`, with at most kMaxBetween entries between
// them, and returns the two parts. With offsets counted from scans.up, U_k is
// the k-th stop of the upward scan (U_0 = 0; past its last stop, the offset of
// scans.down) and D_k that of the downward scan (D_0 = the offset of
// scans.down; past its last stop, 0). The scans exchange U_k and D_k for
// k = 1, 2, ... as long as U_k <= D_k, say m times; after the last of these
// exchanges the downward scan halts at D_(m+1) or, if that lies lower, on the
// entry U_m it has just filled, and the upward scan at U_(m+1) or on D_m. When
// U_m = D_m (a key equal to the pivot, exchanged with itself) the scans step
// past that entry and the exchange before bounds them instead.
inline Split finish_partition(Entries e, std::int32_t pivot_key, Segment segment, Scans scans)
{
    const std::ptrdiff_t between = scans.down - scans.up - 1;
    assert(between <= kMaxBetween);
    std::array<std::uint8_t, kMaxBetween + 1> up_stops;    // U_1, U_2, ...
    std::array<std::uint8_t, kMaxBetween + 1> down_stops;  // D_1, D_2, ...
    std::size_t ups = 0;
    std::size_t downs = 0;
    for (std::ptrdiff_t i = 1; i <= between; ++i) {
        up_stops[ups] = static_cast<std::uint8_t>(i);
        ups += e.key(scans.up + i) >= pivot_key;
        down_stops[downs] = static_cast<std::uint8_t>(between + 1 - i);
        downs += e.key(scans.down - i) <= pivot_key;
    }
    up_stops[ups] = static_cast<std::uint8_t>(between + 1);
    down_stops[downs] = 0;

    std::size_t exchanges = 0;
    const std::size_t most = std::min(ups, downs);
    while (exchanges < most && up_stops[exchanges] <= down_stops[exchanges]) ++exchanges;
    for (std::size_t k = 0; k < exchanges; ++k) {
        e.exchange(scans.up + down_stops[k], scans.up + up_stops[k]);
    }

    const bool met = exchanges > 0 && up_stops[exchanges - 1] == down_stops[exchanges - 1];
    const std::size_t bounding = met ? exchanges - 1 : exchanges;
    const std::ptrdiff_t filled_up = bounding > 0 ? up_stops[bounding - 1] : 0;
    const std::ptrdiff_t filled_down = bounding > 0 ? down_stops[bounding - 1] : between + 1;
    const std::ptrdiff_t down_halt = std::max<std::ptrdiff_t>(down_stops[exchanges], filled_up);
    const std::ptrdiff_t up_halt = std::min<std::ptrdiff_t>(up_stops[exchanges], filled_down);
    return {{segment.first, scans.up + down_halt}, {scans.up + up_halt, segment.last}};
}

// Splits a segment of at least four entries around its median-of-three pivot.
// Both scans stop on keys equal to the pivot, which keeps runs of equal keys
// balanced.
inline Split partition(Entries e, Segment segment)
{
    const std::int32_t pivot_key = order_median_of_three(e, segment, pivot_entry(segment));
    const Scans scans = exchange_in_blocks(e, pivot_key, {segment.first, segment.last});
    return finish_partition(e, pivot_key, segment, scans);
}

// Defers the larger part (the high part on a tie) and returns the other one.
inline Segment defer_larger(Split split, PendingSegments& pending)
{
    if (split.low.width() > split.high.width()) {
        pending.push(split.low);
        return split.high;
    }
    pending.push(split.high);
    return split.low;
}

// An entry taken out of the permutation, with its key.
struct Held {
    std::int32_t position;
    std::int32_t key;
};

Held hold(Entries e, std::ptrdiff_t entry) { return {e.perm[entry], e.key(entry)}; }

// Exchanges a and b when a's key is greater than b's. The exchange goes
// through a mask (all ones or all zeros) so that the compiler cannot make a
// branch of it: on the few keys of a small segment it could not be predicted.
inline void order_pair(Held& a, Held& b)
{
    const std::int32_t mask = -static_cast<std::int32_t>(a.key > b.key);
    const std::int32_t position_change = (a.position ^ b.position) & mask;
    const std::int32_t key_change = (a.key ^ b.key) & mask;
    a.position ^= position_change;
    b.position ^= position_change;
    a.key ^= key_change;
    b.key ^= key_change;
}

// Sorts a segment of one, two or three entries exactly as partitioning it
// would. Two entries: the pivot is the first, and the pair is exchanged only
// when the last key is smaller. Three entries: the pivot is again the first;
// after its exchange with the last, a middle key below the pivot goes in
// front, and otherwise the last two are ordered as two entries (which leaves
// them as they are when the front changed).
inline void sort_few(Entries e, Segment segment)
{
    if (segment.width() == 0) return;
    Held first = hold(e, segment.first);
    Held last = hold(e, segment.last);
    order_pair(first, last);
    if (segment.width() == 2) {
        Held middle = hold(e, segment.first + 1);
        order_pair(first, middle);
        order_pair(middle, last);
        e.perm[segment.first + 1] = middle.position;
    }
    e.perm[segment.first] = first.position;
    e.perm[segment.last] = last.position;
}

// Quicksorts perm[0..n-1] (n >= 2) by the keys its entries point at.
void sort_positions(const std::int32_t* keys, std::int32_t* perm, std::int32_t n)
{
    const Entries e{keys, perm};
    PendingSegments pending;
    Segment segment{0, n - 1};
    for (;;) {
        while (segment.width() >= 3) segment = defer_larger(partition(e, segment), pending);
        sort_few(e, segment);
        if (pending.empty()) return;
        segment = pending.pop();
    }
}

// Rewrites the keys in the order of perm, in place, one cycle of the
// permutation at a time. A negated entry marks a position already filled;
// the marks are cleared at the end.
void reorder_keys(std::int32_t* keys, std::int32_t* perm, std::int32_t n)
{
    for (std::int32_t start = 1; start <= n; ++start) {
        if (at_position(perm, start) < 0) continue;
        const std::int32_t first_key = at_position(keys, start);
        std::int32_t position = start;
        std::int32_t last_filled = start;
        while (at_position(perm, position) > 0) {
            std::int32_t& source = at_position(perm, position);
            at_position(keys, position) = at_position(keys, source);
            last_filled = position;
            source = -source;
            position = -source;
        }
        at_position(keys, last_filled) = first_key;
    }
    for (std::int32_t position = 1; position <= n; ++position) {
        at_position(perm, position) = -at_position(perm, position);
    }
}

}  // namespace

void ipsort(std::span<std::int32_t> ix, std::int32_t n, std::span<std::int32_t> iperm,
            std::int32_t kflag, std::int32_t& ier)
{
    ier = 0;
    if (n < 1) return;
    assert(ix.size() >= static_cast<std::size_t>(n) && iperm.size() >= static_cast<std::size_t>(n));
    std::int32_t* const keys = ix.data();
    std::int32_t* const perm = iperm.data();

    number_positions(perm, n);
    if (n == 1) return;

    const bool descending = kflag < 0;
    if (descending) negate_keys(keys, n);
    sort_positions(keys, perm, n);
    if (descending) negate_keys(keys, n);

    if (kflag == 2 || kflag == -2) reorder_keys(keys, perm, n);
}

}  // namespace pedsim
