// What the indexed sort works on: the permutation entry by entry with the key
// beside each entry, the segments of it still to be sorted, and the stack of
// deferred segments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

namespace pedsim::sort {

// Included by sort/ipsort.cpp alone: these are the sort's own pieces, kept
// local to it as when they stood in that file, so that the compiler inlines
// them into the sort's loop alike.
namespace {

// Fraction of a segment's width at which its pivot is taken, the same for
// every partition: 53/128, exact in single precision, which is what fixes the
// order the partitioning leaves among equal keys.
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

// The permutation being sorted, entry by entry (0-based), and beside it the
// key each entry points at: keys[e] is always the key at position perm[e], so
// the scans read keys one after the other instead of one position each.
struct Entries {
    std::int32_t* keys;
    std::int32_t* perm;
    std::ptrdiff_t size;

    void exchange(std::ptrdiff_t a, std::ptrdiff_t b) const
    {
        std::swap(perm[a], perm[b]);
        std::swap(keys[a], keys[b]);
    }
    // The entries from `first` on, counted from there.
    Entries from(std::ptrdiff_t first) const { return {keys + first, perm + first, size - first}; }
};

// Exchanges entry a of `x` with entry b of `y`.
inline void exchange(Entries x, std::ptrdiff_t a, Entries y, std::ptrdiff_t b)
{
    std::swap(x.perm[a], y.perm[b]);
    std::swap(x.keys[a], y.keys[b]);
}

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

}  // namespace

}  // namespace pedsim::sort
