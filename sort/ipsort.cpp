#include "ipsort.h"

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

// An inclusive range first..last of permutation entries.
struct Segment {
    std::int32_t* first;
    std::int32_t* last;
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
    for (std::int32_t position = 1; position <= n; ++position) at_position(perm, position) = position;
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
inline std::int32_t* pivot_entry(Segment segment)
{
    const float offset = static_cast<float>(segment.width()) * kPivotFraction;
    return segment.first + static_cast<std::ptrdiff_t>(offset);
}

// Orders the first, pivot and last entries so that their keys ascend and
// returns the pivot key. This also puts a key <= pivot at the front and one
// >= pivot at the back, which stops both partition scans inside the segment.
inline std::int32_t order_median_of_three(const std::int32_t* keys, Segment segment,
                                          std::int32_t* pivot)
{
    std::int32_t median = *pivot;
    if (at_position(keys, *segment.first) > at_position(keys, median)) {
        *pivot = *segment.first;
        *segment.first = median;
        median = *pivot;
    }
    if (at_position(keys, *segment.last) < at_position(keys, median)) {
        *pivot = *segment.last;
        *segment.last = median;
        median = *pivot;
        if (at_position(keys, *segment.first) > at_position(keys, median)) {
            *pivot = *segment.first;
            *segment.first = median;
            median = *pivot;
        }
    }
    return at_position(keys, median);
}

struct Split {
    Segment low;   // entries with keys <= pivot
    Segment high;  // entries with keys >= pivot
};

// Splits a segment of at least two entries around its median-of-three pivot.
// Both scans stop on keys equal to the pivot, which keeps runs of equal keys
// balanced.
inline Split partition(const std::int32_t* keys, Segment segment)
{
    const std::int32_t pivot_key = order_median_of_three(keys, segment, pivot_entry(segment));
    std::int32_t* up = segment.first;
    std::int32_t* down = segment.last;
    for (;;) {
        do --down; while (at_position(keys, *down) > pivot_key);
        do ++up; while (at_position(keys, *up) < pivot_key);
        if (up > down) break;
        std::swap(*down, *up);
    }
    return {{segment.first, down}, {up, segment.last}};
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

// Quicksorts perm[0..n-1] (n >= 2) by the keys its entries point at.
void sort_positions(const std::int32_t* keys, std::int32_t* perm, std::int32_t n)
{
    PendingSegments pending;
    Segment segment{perm, perm + (n - 1)};
    for (;;) {
        while (segment.width() >= 1) segment = defer_larger(partition(keys, segment), pending);
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
