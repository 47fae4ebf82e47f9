// The block partition: a segment split around its median-of-three pivot, the
// two scans' stops found as bit masks over blocks of keys, compared four at a
// time with SSE2 where the processor has it (a plain version beside each, for
// other processors; what the SSE2 paths save is measured in bench/README.md).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sort/sort_entries.h"

namespace pedsim::sort {

// Included by sort/ipsort.cpp alone: these are the sort's own pieces, kept
// local to it as when they stood in that file, so that the compiler inlines
// them into the sort's loop alike.
namespace {

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

// An entry taken out of the permutation, with its key.
struct Held {
    std::int32_t position;
    std::int32_t key;
};

inline Held hold(Entries e, std::ptrdiff_t entry) { return {e.perm[entry], e.keys[entry]}; }
inline void put(Entries e, std::ptrdiff_t entry, Held held)
{
    e.perm[entry] = held.position;
    e.keys[entry] = held.key;
}

// Exchanges a and b when a's key is greater than b's. The exchange goes
// through a mask (all ones or all zeros) so that the compiler cannot make a
// branch of it: on a few keys it could not be predicted.
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

// Orders the first, pivot and last entries so that their keys ascend and
// returns the pivot key. This also puts a key <= pivot at the front and one
// >= pivot at the back, which stops both partition scans inside the segment.
// The steps are: first and pivot exchanged when out of order; then, when the
// last key is below the pivot, last and pivot exchanged and first and pivot
// ordered again. That second ordering is done unconditionally here: had last
// and pivot stayed, first and pivot would already be in order.
inline std::int32_t order_median_of_three(Entries e, Segment segment, std::ptrdiff_t pivot)
{
    Held first = hold(e, segment.first);
    Held middle = hold(e, pivot);
    Held last = hold(e, segment.last);
    order_pair(first, middle);
    order_pair(middle, last);
    order_pair(first, middle);
    put(e, segment.first, first);
    put(e, pivot, middle);
    put(e, segment.last, last);
    return middle.key;
}

// The partition scans the segment from both ends: the upward scan stops on a
// key >= pivot, the downward scan on a key <= pivot, the two stopped entries
// are exchanged, and this goes on until the scans cross. Followed one key at a
// time, each scan's end is a branch the processor mispredicts about once per
// stop. The functions below make exactly the same exchanges, and end on the
// same two entries, from lists of stops found without a branch per key:
// the k-th stop of the upward scan is always exchanged with the k-th stop of
// the downward scan.

// Stops are found as bit masks over consecutive keys (bit i for the key at
// i), compared four at a time where the processor allows it, and the masks
// turned into lists of indices a byte of mask at a time through the tables
// below: for each byte value, the indices of its set bits packed one per
// byte, in ascending or in descending order, and how many there are.
struct BitLists {
    std::array<std::uint64_t, 256> ascending;
    std::array<std::uint64_t, 256> descending;
    std::array<std::uint8_t, 256> count;
};

constexpr BitLists make_bit_lists()
{
    BitLists lists{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned up = 0;
        unsigned down = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((byte >> bit & 1u) != 0) lists.ascending[byte] |= std::uint64_t{bit} << (8 * up++);
            if ((byte >> (7 - bit) & 1u) != 0)
                lists.descending[byte] |= std::uint64_t{7 - bit} << (8 * down++);
        }
        lists.count[byte] = static_cast<std::uint8_t>(up);
    }
    return lists;
}

constexpr BitLists kBitLists = make_bit_lists();

// The indices of the set bits of byte `byte` of a mask plus `base`, in the
// order of `lists`, packed one per byte from the lowest (the bytes past them
// hold `base` and are spare).
inline std::uint64_t listed(const std::array<std::uint64_t, 256>& lists, unsigned byte,
                            unsigned base)
{
    return lists[byte] + 0x0101010101010101u * base;
}

// Stores the 8 bytes of a list at out, the lowest first.
inline void store_list(std::uint64_t list, std::uint8_t* out)
{
    if constexpr (std::endian::native == std::endian::big) list = __builtin_bswap64(list);
    std::memcpy(out, &list, sizeof list);
}

// Writes 8 bytes at out: the indices of the set bits of byte `byte` of a mask
// plus `base`, in the order of `lists`, then spare bytes; returns how many
// indices there are.
inline std::size_t list_bits(const std::array<std::uint64_t, 256>& lists, unsigned byte,
                             unsigned base, std::uint8_t* out)
{
    store_list(listed(lists, byte, base), out);
    return kBitLists.count[byte];
}

// Up to 16 indices, one per byte from the lowest of `low` on.
struct ListOf16 {
    std::uint64_t low;
    std::uint64_t high;
    std::size_t count;
};

// The list of byte `first` of a mask followed by that of byte `second`.
inline ListOf16 join_lists(const std::array<std::uint64_t, 256>& lists, unsigned first,
                           unsigned first_base, unsigned second, unsigned second_base)
{
    const std::uint64_t head = listed(lists, first, first_base);
    const std::uint64_t tail = listed(lists, second, second_base);
    // Half of the shift, twice, so that no shift reaches 64 bits.
    const unsigned half = 4 * kBitLists.count[first];
    const std::uint64_t kept = ~((~std::uint64_t{0} << half) << half);
    return {(head & kept) | ((tail << half) << half), (tail >> (32 - half)) >> (32 - half),
            std::size_t{kBitLists.count[first]} + kBitLists.count[second]};
}

inline unsigned byte_of(std::uint64_t mask, unsigned q) { return (mask >> (8 * q)) & 0xFFu; }

// Which of the kBlock keys at `keys` stop a scan: bit i is set when keys[i]
// >= pivot (at_least, the upward scan) or keys[i] <= pivot (the downward
// scan).
template <bool at_least>
inline std::uint64_t block_stops(const std::int32_t* keys, std::int32_t pivot)
{
#if defined(__SSE2__)
    // Compares give all-ones lanes for the keys that do not stop; two
    // saturating packs keep that per key in one byte, 16 keys to a movemask.
    const __m128i p = _mm_set1_epi32(pivot);
    const auto passes = [&](std::ptrdiff_t i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + i));
        return at_least ? _mm_cmplt_epi32(v, p) : _mm_cmpgt_epi32(v, p);
    };
    std::uint64_t passing = 0;
    for (std::ptrdiff_t i = 0; i < kBlock; i += 16) {
        const __m128i low = _mm_packs_epi32(passes(i), passes(i + 4));
        const __m128i high = _mm_packs_epi32(passes(i + 8), passes(i + 12));
        const auto bits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
        passing |= std::uint64_t{bits} << i;
    }
    return ~passing;
#else
    std::uint64_t stops = 0;
    for (std::ptrdiff_t i = 0; i < kBlock; ++i) {
        const bool stop = at_least ? keys[i] >= pivot : keys[i] <= pivot;
        stops |= std::uint64_t{stop} << i;
    }
    return stops;
#endif
}

// Where the two scans stand. Entries first..up hold keys <= pivot and entries
// down..last keys >= pivot; the entries between have not been moved, and the
// scans go on from up + 1 and from down - 1.
struct Scans {
    std::ptrdiff_t up;
    std::ptrdiff_t down;
};

// The stops within one block of kBlock entries, as indices from the block's
// first entry, in scan order.
struct BlockStops {
    std::array<std::uint8_t, kBlock> index;
    std::size_t count = 0;  // stops not yet exchanged
    std::size_t next = 0;   // the first of them

    // The count is kept in a local: stores through the byte lists could
    // otherwise change it, as far as the compiler knows.
    void list_ascending(std::uint64_t stops)
    {
        std::size_t listed = 0;
        for (unsigned q = 0; q < 8; ++q)
            listed += list_bits(kBitLists.ascending, byte_of(stops, q), 8 * q, &index[listed]);
        count = listed;
        next = 0;
    }
    void list_descending(std::uint64_t stops)
    {
        std::size_t listed = 0;
        for (unsigned q = 8; q-- > 0;)
            listed += list_bits(kBitLists.descending, byte_of(stops, q), 8 * q, &index[listed]);
        count = listed;
        next = 0;
    }
};

// Makes the exchanges of the scans a block of keys at a time for as long as
// more than two blocks lie between them, so that the blocks read by the two
// scans never overlap and pairing their stops in order is what the scans
// would do. Returns where the scans then stand: just before their next stop.
inline Scans exchange_in_blocks(Entries e, std::int32_t pivot_key, Scans scans)
{
    BlockStops up_stops;                // from `low` upwards
    BlockStops down_stops;              // from `high - 1` downwards
    std::ptrdiff_t low = scans.up + 1;  // first entry of the upward scan's block
    std::ptrdiff_t high = scans.down;   // one past the downward scan's block
    while (high - low > kMaxBetween) {
        if (up_stops.count == 0)
            up_stops.list_ascending(block_stops<true>(e.keys + low, pivot_key));
        if (down_stops.count == 0)
            down_stops.list_descending(block_stops<false>(e.keys + high - kBlock, pivot_key));
        const std::size_t pairs = std::min(up_stops.count, down_stops.count);
        const std::uint8_t* up = &up_stops.index[up_stops.next];
        const std::uint8_t* down = &down_stops.index[down_stops.next];
        const Entries up_block = e.from(low);
        const Entries down_block = e.from(high - kBlock);
        for (std::size_t k = 0; k < pairs; ++k) exchange(down_block, down[k], up_block, up[k]);
        up_stops.count -= pairs;
        up_stops.next += pairs;
        down_stops.count -= pairs;
        down_stops.next += pairs;
        if (up_stops.count == 0) low += kBlock;
        if (down_stops.count == 0) high -= kBlock;
    }
    // The keys a scan has read since its last exchange are not stops, so it
    // may as well stand just before its next stop, or on its block's end.
    scans.up = low - 1 + (up_stops.count > 0 ? up_stops.index[up_stops.next] : 0);
    scans.down =
        down_stops.count > 0 ? high - kBlock + down_stops.index[down_stops.next] + 1 : high;
    return scans;
}

// Stops of the two scans among at most kWindow consecutive keys, bit i for
// the key at i.
constexpr std::ptrdiff_t kWindow = 16;
struct WindowStops {
    std::uint32_t at_least;  // keys >= pivot, where the upward scan stops
    std::uint32_t at_most;   // keys <= pivot, where the downward scan stops
};

// The stops among the `count` (at most kWindow) entries from `start` on. The
// kWindow keys read are moved back to end at the last entry when they would
// run past it; fewer than kWindow entries in all are read one at a time.
[[gnu::always_inline]] inline WindowStops window_stops(Entries e, std::ptrdiff_t start,
                                                       std::ptrdiff_t count, std::int32_t pivot)
{
    assert(count <= kWindow && start + count <= e.size);
    if (e.size < kWindow) {
        WindowStops stops{0, 0};
        for (std::ptrdiff_t i = 0; i < count; ++i) {
            stops.at_least |= std::uint32_t{e.keys[start + i] >= pivot} << i;
            stops.at_most |= std::uint32_t{e.keys[start + i] <= pivot} << i;
        }
        return stops;
    }
    const std::ptrdiff_t read = std::min(start, e.size - kWindow);
    const auto skipped = static_cast<unsigned>(start - read);
    const std::uint32_t wanted = ((std::uint32_t{1} << count) - 1) << skipped;
    const std::int32_t* keys = e.keys + read;
    std::uint32_t below = 0;  // keys < pivot
    std::uint32_t above = 0;  // keys > pivot
#if defined(__SSE2__)
    const __m128i p = _mm_set1_epi32(pivot);
    const auto load = [&](std::ptrdiff_t i) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + i));
    };
    const __m128i k0 = load(0);
    const __m128i k1 = load(4);
    const __m128i k2 = load(8);
    const __m128i k3 = load(12);
    const auto bits = [](__m128i c0, __m128i c1, __m128i c2, __m128i c3) {
        const __m128i packed = _mm_packs_epi16(_mm_packs_epi32(c0, c1), _mm_packs_epi32(c2, c3));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(packed));
    };
    below = bits(_mm_cmplt_epi32(k0, p), _mm_cmplt_epi32(k1, p), _mm_cmplt_epi32(k2, p),
                 _mm_cmplt_epi32(k3, p));
    above = bits(_mm_cmpgt_epi32(k0, p), _mm_cmpgt_epi32(k1, p), _mm_cmpgt_epi32(k2, p),
                 _mm_cmpgt_epi32(k3, p));
#else
    for (std::ptrdiff_t i = 0; i < kWindow; ++i) {
        below |= std::uint32_t{keys[i] < pivot} << i;
        above |= std::uint32_t{keys[i] > pivot} << i;
    }
#endif
    return {(~below & wanted) >> skipped, (~above & wanted) >> skipped};
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
[[gnu::always_inline]] inline Split finish_partition(Entries e, std::int32_t pivot_key,
                                                     Segment segment, Scans scans)
{
    const std::ptrdiff_t between = scans.down - scans.up - 1;
    assert(between <= kMaxBetween);
    // U_0, U_1, ... and D_0, D_1, ..., with room for the 8 bytes of the last
    // list written.
    std::array<std::uint8_t, kMaxBetween + 16> up_stops;
    std::array<std::uint8_t, kMaxBetween + 16> down_stops;
    std::size_t ups = 0;    // U_1 .. U_ups listed
    std::size_t downs = 0;  // D_1 .. D_downs listed
    std::size_t exchanges = 0;
    const Entries stretch = e.from(scans.up);  // offsets from scans.up
    if (between <= kWindow) {
        // One window, with no branch on the keys: by far the most common
        // case, as most partitions are of small segments.
        const WindowStops stops = window_stops(e, scans.up + 1, between, pivot_key);
        const ListOf16 up =
            join_lists(kBitLists.ascending, stops.at_least & 0xFFu, 1, stops.at_least >> 8, 9);
        const ListOf16 down =
            join_lists(kBitLists.descending, stops.at_most >> 8, 9, stops.at_most & 0xFFu, 1);
        ups = up.count;
        downs = down.count;
        // U_k <= D_k holds for k = 1 .. m and then never again (U ascends, D
        // descends), so m is the count of trailing ones of that comparison.
        std::uint32_t in_order = 0;
#if defined(__SSE2__)
        const __m128i u =
            _mm_set_epi64x(static_cast<long long>(up.high), static_cast<long long>(up.low));
        const __m128i d =
            _mm_set_epi64x(static_cast<long long>(down.high), static_cast<long long>(down.low));
        in_order =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(u, d), d)));
#else
        for (unsigned k = 0; k < 16; ++k) {
            const std::uint64_t u = (k < 8 ? up.low : up.high) >> (8 * (k % 8)) & 0xFFu;
            const std::uint64_t d = (k < 8 ? down.low : down.high) >> (8 * (k % 8)) & 0xFFu;
            in_order |= std::uint32_t{u <= d} << k;
        }
#endif
        const std::uint32_t candidates = (std::uint32_t{1} << std::min(ups, downs)) - 1;
        exchanges = static_cast<std::size_t>(std::countr_one(in_order & candidates));
        store_list(up.low, &up_stops[1]);
        store_list(up.high, &up_stops[9]);
        store_list(down.low, &down_stops[1]);
        store_list(down.high, &down_stops[9]);
        for (std::size_t k = 1; k <= exchanges; ++k) stretch.exchange(down_stops[k], up_stops[k]);
    } else {
        // Bit i of the masks for offset i + 1, from whole windows and then
        // the rest of the stretch.
        std::array<std::uint64_t, 2> at_least{};
        std::array<std::uint64_t, 2> at_most{};
        std::ptrdiff_t from = 0;
        const auto add_window = [&](std::ptrdiff_t count) {
            const WindowStops stops = window_stops(e, scans.up + 1 + from, count, pivot_key);
            at_least[static_cast<std::size_t>(from / 64)] |= std::uint64_t{stops.at_least}
                                                             << (from % 64);
            at_most[static_cast<std::size_t>(from / 64)] |= std::uint64_t{stops.at_most}
                                                            << (from % 64);
        };
        for (; from + kWindow <= between; from += kWindow) add_window(kWindow);
        if (from < between) add_window(between - from);
        const auto bytes = static_cast<unsigned>((between + 7) / 8);
        for (unsigned q = 0; q < bytes; ++q) {
            ups += list_bits(kBitLists.ascending, byte_of(at_least[q / 8], q % 8), 8 * q + 1,
                             &up_stops[1 + ups]);
        }
        for (unsigned q = bytes; q-- > 0;) {
            downs += list_bits(kBitLists.descending, byte_of(at_most[q / 8], q % 8), 8 * q + 1,
                               &down_stops[1 + downs]);
        }
        // The exchanges are made as they are counted: one loop, one end to
        // mispredict.
        const std::size_t most = std::min(ups, downs);
        while (exchanges < most && up_stops[1 + exchanges] <= down_stops[1 + exchanges]) {
            ++exchanges;
            stretch.exchange(down_stops[exchanges], up_stops[exchanges]);
        }
    }
    up_stops[0] = 0;
    down_stops[0] = static_cast<std::uint8_t>(between + 1);
    up_stops[1 + ups] = static_cast<std::uint8_t>(between + 1);
    down_stops[1 + downs] = 0;

    const std::size_t m = exchanges;
    const std::size_t bounding = m - std::size_t{up_stops[m] == down_stops[m]};
    const std::ptrdiff_t down_halt = std::max(down_stops[m + 1], up_stops[bounding]);
    const std::ptrdiff_t up_halt = std::min(up_stops[m + 1], down_stops[bounding]);
    return {{segment.first, scans.up + down_halt}, {scans.up + up_halt, segment.last}};
}

// Splits a segment of at least four entries around its median-of-three pivot.
// Both scans stop on keys equal to the pivot, which keeps runs of equal keys
// balanced. The block scans only run on segments wide enough for them (on
// narrower ones they would stop at once). Inlined into the sort's main loop,
// where the time goes.
[[gnu::always_inline]] inline Split partition(Entries e, Segment segment)
{
    const std::int32_t pivot_key = order_median_of_three(e, segment, pivot_entry(segment));
    Scans scans{segment.first, segment.last};
    if (segment.width() > kMaxBetween + 1) scans = exchange_in_blocks(e, pivot_key, scans);
    return finish_partition(e, pivot_key, segment, scans);
}

// The same, called where speed matters little.
[[gnu::noinline]] Split partition_outlined(Entries e, Segment segment)
{
    return partition(e, segment);
}

}  // namespace

}  // namespace pedsim::sort
