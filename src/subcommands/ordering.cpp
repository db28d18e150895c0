// Ordering and sets: search, sort (optionally dropping repeats), the merges
// of strictly increasing arrays (intersection, union, substraction) and the
// renumbering of identifiers through a direct-index table.
//
// The element order is the element type's numeric order (unsigned for
// chararray, signed for the other integer types, IEEE for the floating
// types, where -0.0 and 0.0 are one value). NaN is unordered under IEEE
// comparison, which breaks the strict weak order that std::sort relies on
// (with it, std::sort may read outside the array). So NaNs are kept out of
// every ordered algorithm: sort moves them behind all numbers first and
// sorts only the numbers, a sorted search for NaN finds nothing, and a set
// operand holding a NaN is refused as not increasing.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <type_traits>

#include "../arrays/obj_types.h"
#include "../command/helpers.h"
#include "radix_sort.h"
#include "subcommands.h"

namespace nvec {

namespace {

constexpr const char kMsgNotIncreasing[] = "obj must be sorted -unique increaselly";
constexpr const char kMsgIdsType[] = "<old_ids> and <new_ids> must be of intarray type";

// Whether obj is exactly the option word. An array value's string is a list
// of numbers (it parsed as one or was printed from its elements), never an
// option, so an array in an option's place is not printed to be compared.
bool IsOption(Tcl_Obj* obj, const char* word) {
    if (ElemTypeOf(obj)) return false;
    return std::strcmp(Tcl_GetString(obj), word) == 0;
}

// Whether v is a NaN; always false for the integer types.
template <class T>
constexpr bool IsNan(T v) noexcept {
    if constexpr (kIsFloat<T>) {
        return std::isnan(v);
    } else {
        (void)v;
        return false;
    }
}

// ---------------------------------------------------------------- search

// Reads the value to look for as T. chararray and shortarray keep the low
// bits of an int (300 looks for 44); the floating types also accept the
// nan/inf words, and float rounds the double to nearest. On failure the
// message of Tcl's reader is left in interp.
template <class T>
int ReadSearchValue(Tcl_Interp* interp, Tcl_Obj* obj, T* out) {
    if constexpr (kIsFloat<T>) {
        double d;
        if (GetDoubleArg(nullptr, obj, &d) != TCL_OK && GetNanInf(obj, &d) != 0) {
            // Neither reader knows the word: ask Tcl's reader again, this
            // time for its message.
            if (GetDoubleArg(interp, obj, &d) != TCL_OK) return TCL_ERROR;
        }
        *out = FromDouble<T>(d);
    } else if constexpr (std::is_same_v<T, long>) {
        long v;
        if (GetLongArg(interp, obj, &v) != TCL_OK) return TCL_ERROR;
        *out = v;
    } else if constexpr (std::is_same_v<T, long long>) {
        Tcl_WideInt v;
        if (GetWideIntArg(interp, obj, &v) != TCL_OK) return TCL_ERROR;
        *out = static_cast<T>(v);
    } else {
        int v;
        if (GetIntArg(interp, obj, &v) != TCL_OK) return TCL_ERROR;
        *out = WrapInt<T>(v);
    }
    return TCL_OK;
}

// First position at or after `start` whose element equals v (IEEE equality
// for the floating types: NaN is never found, -0.0 finds 0.0), or -1.
// Blocks are tested whole by a loop without an early exit, which the
// compiler vectorises, and the block holding a match is searched again
// element by element. SSE2 compares no 64-bit integers, and GCC's
// vectoriser no doubles into a flag, so 8-byte elements are tested by
// their bits: an element equals v exactly when its bits, the sign dropped
// for a search of zero, are v's, that is when their XOR x is 0, which is
// when the top bit of (x - 1) & ~x is set. An AVX2 copy where the loader
// can choose it (NVEC_KERNEL).
template <class T>
NVEC_KERNEL int FindLinear(const T* a, int start, int n, T v) noexcept {
    using Bits = SortKey<T>;
    if (IsNan(v)) return -1;
    Bits mask = static_cast<Bits>(~Bits{0});
    if constexpr (kIsFloat<T>) {
        if (v == 0) mask = static_cast<Bits>(~kKeySign<Bits>);
    }
    Bits want;
    std::memcpy(&want, &v, sizeof want);
    want = static_cast<Bits>(want & mask);
    constexpr int kBlock = sizeof(T) == 8 ? 32 : 1024 / sizeof(T);
    int i = start;
    for (; n - i >= kBlock; i += kBlock) {
        if constexpr (sizeof(T) == 8) {
            Bits zero = 0;
            for (int j = 0; j < kBlock; ++j) {
                Bits x;
                std::memcpy(&x, a + i + j, sizeof x);
                x = static_cast<Bits>((x & mask) ^ want);
                zero = static_cast<Bits>(zero | (static_cast<Bits>(x - 1) & static_cast<Bits>(~x)));
            }
            if ((zero & kKeySign<Bits>) != 0) break;
        } else {
            // The flag as wide as an element, so that the vectoriser
            // compares as many elements per instruction as a register holds.
            Bits found = 0;
            for (int j = 0; j < kBlock; ++j)
                found = static_cast<Bits>(found | (a[i + j] == v ? 1u : 0u));
            if (found != 0) break;
        }
    }
    for (; i < n; ++i) {
        if (a[i] == v) return i;
    }
    return -1;
}

// Binary search of a[start..n) for v, counted from the beginning of the
// array, or -1. lower_bound takes a logarithmic number of steps bounded by
// the range length whatever the contents, so an unsorted array gives some
// position or -1 but is never read outside the range. A NaN element counts
// as not less than any value, which matches sort's NaNs-last order.
template <class T>
int FindSorted(const T* a, int start, int n, T v) noexcept {
    if (IsNan(v)) return -1;
    const T* end = a + n;
    const T* it = std::lower_bound(a + start, end, v);
    return (it != end && *it == v) ? static_cast<int>(it - a) : -1;
}

// ------------------------------------------------------------------ sort

// Sorts ascending in place (radix_sort.h). Where there are NaNs, they are
// first moved behind all numbers, then the numbers alone are sorted; the
// relative order of -0.0 and 0.0 is not part of the result's meaning.
// SortNumbers looks for NaNs in a pass that it makes anyway where it can,
// and stops before any change when it finds one.
template <class T>
void SortElements(T* a, int n) noexcept {
    const auto count = static_cast<std::size_t>(n);
    if constexpr (kIsFloat<T>) {
        if (SortNumbers(a, count, true)) return;
        T* end = std::partition(a, a + count, [](T v) { return !std::isnan(v); });
        SortNumbers(a, static_cast<std::size_t>(end - a));
        return;
    }
    SortNumbers(a, count);
}

// Compacts sorted elements in one pass: each element is kept when it
// differs (by the type's own inequality) from the last one kept, so every
// NaN stays and -0.0 and 0.0 count as one value. Returns the count kept.
// Each element is stored at the next place whether kept or not, and the
// comparison is with the element before it, which equals the last one kept
// whenever it was dropped: the loop waits on no store and takes no branch.
template <class T>
int DropRepeats(T* a, int n) noexcept {
    if (n == 0) return 0;
    int kept = 1;
    T last = a[0];
    for (int i = 1; i < n; ++i) {
        const T v = a[i];
        a[kept] = v;
        kept += v != last ? 1 : 0;
        last = v;
    }
    return kept;
}

// --------------------------------------------------------------- argsort

// The key argsort orders by: the sort key, with every NaN given the
// largest key (after +inf, as sort puts NaNs last) and -0.0 the key of
// 0.0, so that both keep their order among their equals.
template <class T>
SortKey<T> RankKey(T v) noexcept {
    if constexpr (kIsFloat<T>) {
        if (std::isnan(v)) return static_cast<SortKey<T>>(~SortKey<T>{0});
        if (v == 0) return KeyOf(T{0});
    }
    return KeyOf(v);
}

// RankKey by integer selects (MagnitudeBits), in place of branches, for
// the loops that vectorise.
template <class T>
SortKey<T> RankKeyOfLanes(T v) noexcept {
    using Key = SortKey<T>;
    Key k = KeyOf(v);
    if constexpr (kIsFloat<T>) {
        const Key magnitude = MagnitudeBits(v);
        // All ones where the condition holds, written as masks so that the
        // compiler keeps them as selects.
        const auto zero = static_cast<Key>(Key{0} - static_cast<Key>(magnitude == 0));
        const auto nan = static_cast<Key>(Key{0} - static_cast<Key>(magnitude > kInfinityBits<T>));
        k = static_cast<Key>((k & static_cast<Key>(~zero)) | (KeyOf(T{0}) & zero) | nan);
    }
    return k;
}

// The KeyRange of the rank keys of a[0, n), n >= 1, from one read
// (NVEC_KERNEL).
template <class T>
NVEC_KERNEL KeyRange<SortKey<T>> RankKeyRange(const T* a, std::size_t n) noexcept {
    KeyRange<SortKey<T>> range;
    for (std::size_t i = 0; i < n; ++i) range.Add(RankKeyOfLanes(a[i]));
    return range;
}

// From this many elements on, offsets of 16 bits or more are counted in
// two passes (CountingRank); for offsets of 19 bits or more, whose
// counters alone take 2 MB, from kTwoPassWideMin where they take many
// values (FewPlaces). Measured: one pass is faster below, up to twice as
// slow above, its counters and its places of writing beyond the caches.
constexpr std::size_t kTwoPassMin = std::size_t{1} << 21;
constexpr std::size_t kTwoPassWideMin = std::size_t{3} << 18;

// The positions in a cache line of 64 bytes.
constexpr std::size_t kLineInts = 64 / sizeof(int);

// Whether the passes that put positions or records at the next place of
// their digit or offset also request, for writing, the cache line 64
// bytes beyond each place: from kTwoPassMin elements, beyond the caches,
// on Intel's processors and AMD's Zen 5, which then wait on each line
// that a store misses, one at a time, where the requests overlap (10^7
// random chararray elements: 19 instead of 42 ms on a Xeon, 11.5 instead
// of 13.7 on a Zen 5; shortarray, in two passes, 48 instead of 83 and
// 27.5 instead of 29). Within the caches they cost more than they save.
bool PlacesAhead(std::size_t n) noexcept {
    return n >= kTwoPassMin && ProcessorSortWays().placeAhead;
}

// Stores v at the next place of a stream of out, *place, and advances it;
// kAhead asks for the line 64 bytes on, which may lie beyond out (the
// address is computed as an integer; a prefetch never faults).
template <bool kAhead, class P, class V>
inline void PlaceNext(P* __restrict out, std::uint32_t* __restrict place, V v) noexcept {
    const std::uint32_t p = (*place)++;
    if constexpr (kAhead) {
        const std::uintptr_t at =
            reinterpret_cast<std::uintptr_t>(out) + (std::size_t{p} + 64 / sizeof(P)) * sizeof(P);
        __builtin_prefetch(reinterpret_cast<const void*>(at), 1, 3);
    }
    out[p] = static_cast<P>(v);
}

// The second of CountingRank's two passes: each record of x[0, n), a high
// digit above `shift` and a position below, puts its position at the next
// place of its digit, in order.
template <bool kAhead, class Record>
void PlaceByHighDigit(const Record* __restrict x, std::size_t n, int shift,
                      std::uint32_t* __restrict places, int* __restrict out) noexcept {
    const Record positionMask = (Record{1} << shift) - 1;
    for (std::size_t i = 0; i < n; ++i) {
        PlaceNext<kAhead>(out, places + (x[i] >> shift), x[i] & positionMask);
    }
}

// The first pass: each position, with the high digit of its offset, at the
// next place of its low digit, in records of their own; then the second.
// False when the records cannot be allocated.
template <class Record, class OffsetAt>
bool PlaceByDigits(std::size_t n, OffsetAt offset, int lowBits, int shift,
                   std::uint32_t* __restrict low, std::uint32_t* __restrict high,
                   int* __restrict out) noexcept {
    if (n > SIZE_MAX / sizeof(Record)) return false;
    std::unique_ptr<Record[], FreeDeleter> records(
        static_cast<Record*>(std::malloc(n * sizeof(Record))));
    if (!records) return false;
    Record* __restrict x = records.get();
    const std::uint64_t lowMask = (std::uint64_t{1} << lowBits) - 1;
    auto place = [&]<bool kAhead>() {
        for (std::size_t i = 0; i < n; ++i) {
            const auto k = static_cast<std::uint64_t>(offset(i));
            PlaceNext<kAhead>(x, low + (k & lowMask), ((k >> lowBits) << shift) | i);
        }
        PlaceByHighDigit<kAhead>(x, n, shift, high, out);
    };
    if (PlacesAhead(n)) {
        place.template operator()<true>();
    } else {
        place.template operator()<false>();
    }
    return true;
}

// CountingRank in two passes. False when the counters or the records
// cannot be allocated.
template <class OffsetAt>
bool CountingRankTwoPass(std::size_t n, OffsetAt offset, int bits, int* __restrict out) noexcept {
    const int lowBits = bits / 2;
    const int highBits = bits - lowBits;
    const std::size_t lowRange = std::size_t{1} << lowBits;
    std::unique_ptr<std::uint32_t[], FreeDeleter> counts(static_cast<std::uint32_t*>(
        std::calloc(lowRange + (std::size_t{1} << highBits), sizeof(std::uint32_t))));
    if (!counts) return false;
    std::uint32_t* __restrict low = counts.get();
    std::uint32_t* __restrict high = low + lowRange;
    for (std::size_t i = 0; i < n; ++i) {
        const auto k = static_cast<std::uint64_t>(offset(i));
        ++low[k & (lowRange - 1)];
        ++high[k >> lowBits];
    }
    StartsFromCounts(low, static_cast<unsigned>(lowRange));
    StartsFromCounts(high, 1u << highBits);
    const int positionBits = static_cast<int>(std::bit_width(n - 1));
    if (highBits + positionBits <= 32) {
        return PlaceByDigits<std::uint32_t>(n, offset, lowBits, positionBits, low, high, out);
    }
    return PlaceByDigits<std::uint64_t>(n, offset, lowBits, 32, low, high, out);
}

// Whether the offsets code[0, n) take few values, so that counting them
// in one pass writes to few places: at most kFewPlaces distinct among
// kPlaceSamples codes spread over the array (of 1000 values drawn evenly,
// such a sample holds about 980; of 2048, about 1770). Offsets of 19
// bits or more then take the two passes of CountingRankOffsets only from
// kTwoPassMin elements on, as narrower ones do: below, one pass writes
// to no more places than either of the two, all within the last-level
// cache, and moves each position once instead of twice. Measured on 10^6
// doubles of 1000 integer values (AMD Zen 4), whose offsets take 20 bits:
// 2.7 to 3 instead of 3.4 ms alone, 3.1 instead of 3.5 ms among the other
// rows of the benchmark. From kTwoPassMin on, where the positions go
// beyond the caches, two passes to fewer places each were faster even
// for 1000 values (10^7 floats: 34.5 against 37 ms).
constexpr std::size_t kPlaceSamples = 4096;
constexpr std::size_t kFewPlaces = 1536;

template <class Code>
bool FewPlaces(const Code* code, std::size_t n) noexcept {
    std::uint32_t sample[kPlaceSamples];
    return SampledDistinct(sample, kPlaceSamples, n, [code](std::size_t i) { return code[i]; }) <=
           kFewPlaces;
}

// Stable counting sort of the positions [0, n) by their offsets code[0,
// n), which lie in [0, 2^bits): the count of each offset, the first place
// of each, then every position, in order, at the next place of its
// offset. Many elements with offsets of many bits take two passes
// instead, as a radix sort of two digits: by the low digit into records
// of the high digit and the position (4 bytes where both fit, else 8),
// then by the high digit. Each pass writes to at most 2048 places, where
// one pass would write to up to 2^22. Without memory for the records, one
// pass. False when the counters cannot be allocated.
template <class Code>
bool CountingRankOffsets(const Code* __restrict code, std::size_t n, int bits,
                         int* __restrict out) noexcept {
    auto offset = [code](std::size_t i) { return code[i]; };
    const bool twoPass =
        bits >= 16 &&
        (n >= kTwoPassMin || (bits >= 19 && n >= kTwoPassWideMin && !FewPlaces(code, n)));
    if (twoPass && CountingRankTwoPass(n, offset, bits, out)) {
        return true;
    }
    const std::size_t range = std::size_t{1} << bits;
    std::unique_ptr<std::uint32_t[], FreeDeleter> counts(static_cast<std::uint32_t*>(
        std::calloc(CounterSets(range) * range, sizeof(std::uint32_t))));
    if (!counts) return false;
    std::uint32_t* __restrict c = counts.get();
    CountOffsets(n, range, offset, c);
    StartsFromCounts(c, static_cast<unsigned>(range));
    // The positions land at up to 2^bits places at once, which the
    // processor's prefetchers cannot follow: each line of out that is not
    // in a cache waits for memory. So one write to every line first, in
    // sequence, which they do follow, brings out into the caches (where
    // an input of 8-byte elements has pushed it out), below kTwoPassMin
    // elements, where the positions fit the last-level cache. Measured on
    // 10^6 doubles of 1000 values (AMD Zen 4): 3.5 to 3.7 -> 2.8 ms; no
    // change where out was cached already (ints); at 10^7 chararray
    // elements, beyond the caches, 13 -> 14.7 ms, hence the bound.
    if (n < kTwoPassMin) {
        for (std::size_t i = 0; i < n; i += kLineInts) out[i] = 0;
    }
    if (PlacesAhead(n)) {
        for (std::size_t i = 0; i < n; ++i) PlaceNext<true>(out, c + offset(i), i);
    } else {
        for (std::size_t i = 0; i < n; ++i) out[c[offset(i)]++] = static_cast<int>(i);
    }
    return true;
}

// code[i] = (k - min) >> lo for the rank key k of each element of a[0,
// n), base being min >> lo (the low bits of k and min are the same)
// (NVEC_KERNEL).
template <class Code, class T>
NVEC_KERNEL void RankOffsets(const T* __restrict a, std::size_t n, SortKey<T> base, int lo,
                             Code* __restrict code) noexcept {
    using Key = SortKey<T>;
    for (std::size_t i = 0; i < n; ++i) {
        code[i] = static_cast<Code>(static_cast<Key>((RankKeyOfLanes(a[i]) >> lo) - base));
    }
}

// CountingRankOffsets of the keys' offsets (k - min) >> lo, of `bits`
// bits, min being the smallest key and the bits below lo the same in
// every key. The offsets are computed once, by a loop that vectorises,
// into codes of 1, 2 or 4 bytes, the fewest that hold them, which both
// passes then read: no more bytes than the elements, and no work per
// element left in the loops that wait on scattered memory. Measured on 10^6
// elements of 1000 values: 15 to 30% less time than computing each offset
// in both passes. False when the codes or the counters cannot be
// allocated.
template <class Code, class T>
bool CountingRankOf(const T* a, std::size_t n, SortKey<T> min, int lo, int bits,
                    int* out) noexcept {
    if (n > SIZE_MAX / sizeof(Code)) return false;
    std::unique_ptr<Code[], FreeDeleter> codes(static_cast<Code*>(std::malloc(n * sizeof(Code))));
    if (!codes) return false;
    RankOffsets(a, n, static_cast<SortKey<T>>(min >> lo), lo, codes.get());
    return CountingRankOffsets(codes.get(), n, bits, out);
}

template <class T>
bool CountingRank(const T* a, std::size_t n, SortKey<T> min, int lo, int bits, int* out) noexcept {
    // The offsets have at most the key's bits.
    if (bits <= 8) return CountingRankOf<std::uint8_t>(a, n, min, lo, bits, out);
    if constexpr (sizeof(T) >= 2) {
        if (bits <= 16) return CountingRankOf<std::uint16_t>(a, n, min, lo, bits, out);
    }
    if constexpr (sizeof(T) >= 4) return CountingRankOf<std::uint32_t>(a, n, min, lo, bits, out);
    return false;
}

// From this many elements on, RankByDigits takes digits of at most 8
// bits, whose 256 places of writing stay in the first-level cache; below,
// of at most 11 bits, one pass fewer while the records fit the
// second-level cache. Fewer elements than kDigitsMin take the other
// sorts, whose costs there are alike. From kNarrowDigitsMin on, without
// the vector sort, RankPacked's radix sort takes over: its one pass beyond
// the caches, then passes inside them, measured on 10^6 random ints on a
// processor without AVX-512 (AMD Zen 3) 0.6 of the time of the four
// passes of 8 bits here, all beyond the caches. On Intel's processors with
// the vector sort RankPacked takes over there too: sorting the words by
// the vector sort took half the time of those four passes on a Xeon
// (10^6 random ints 9.3 instead of 19.8 ms, 10^7 165 instead of 228),
// where on AMD's processors the passes took 0.6 to 0.9 of its time (Zen
// 4; on a Zen 5 10^6 random ints 4.6 instead of 5.4 ms).
constexpr std::size_t kNarrowDigitsMin = std::size_t{1} << 18;
constexpr std::size_t kDigitsMin = 2048;

// RankElements for keys whose offsets (k - min) >> lo (as in
// CountingRank) have at most 32 bits, by a least-significant-digit radix
// sort: the offsets into out, as codes; the counts of every digit from
// one read of them; then, digit by digit from the lowest, every record
// (offset << 32 | position), in order, at the next place of its digit,
// from one work array to the other, the first pass reading the codes and
// the last writing the positions alone to out. Each pass is stable, so
// the order is. Measured against the vector sort of the same records
// packed into 64-bit words: 0.6 to 0.9 of its time from 10^4 to 10^7
// elements. False when the work arrays cannot be allocated.
template <class T>
bool RankByDigits(const T* a, std::size_t n, SortKey<T> min, int lo, int bits, int* out) noexcept {
    const int maxBits = n >= kNarrowDigitsMin ? 8 : 11;
    // Two passes at least: the first reads the codes from out, which only
    // the last may write.
    const int passes = std::max(2, (bits + maxBits - 1) / maxBits);
    const int width = (bits + passes - 1) / passes;
    const std::size_t buckets = std::size_t{1} << width;
    const std::uint64_t mask = buckets - 1;
    if (n > SIZE_MAX / (2 * sizeof(std::uint64_t))) return false;
    std::unique_ptr<std::uint64_t[], FreeDeleter> records(
        static_cast<std::uint64_t*>(std::malloc(2 * n * sizeof(std::uint64_t))));
    std::unique_ptr<std::uint32_t[], FreeDeleter> counts(
        static_cast<std::uint32_t*>(std::calloc(passes * buckets, sizeof(std::uint32_t))));
    if (!records || !counts) return false;
    // The codes live in out (unsigned int may alias int) until the first
    // pass has read them.
    auto* code = reinterpret_cast<std::uint32_t*>(out);
    RankOffsets(a, n, static_cast<SortKey<T>>(min >> lo), lo, code);
    std::uint32_t* c = counts.get();
    // The digit loop unrolled for each count of passes.
    auto countDigits = [&]<int kPasses>() {
        for (std::size_t i = 0; i < n; ++i) {
            for (int d = 0; d < kPasses; ++d) ++c[d * buckets + ((code[i] >> (d * width)) & mask)];
        }
    };
    if (passes == 2) {
        countDigits.template operator()<2>();
    } else if (passes == 3) {
        countDigits.template operator()<3>();
    } else {
        countDigits.template operator()<4>();
    }
    for (int d = 0; d < passes; ++d) {
        StartsFromCounts(c + d * buckets, static_cast<unsigned>(buckets));
    }
    std::uint64_t* __restrict x = records.get();
    std::uint64_t* __restrict y = x + n;
    for (std::size_t i = 0; i < n; ++i) {
        x[c[code[i] & mask]++] = (static_cast<std::uint64_t>(code[i]) << 32) | i;
    }
    for (int d = 1; d < passes - 1; ++d) {
        std::uint32_t* __restrict cd = c + d * buckets;
        const int shift = 32 + d * width;
        for (std::size_t i = 0; i < n; ++i) y[cd[(x[i] >> shift) & mask]++] = x[i];
        std::swap(x, y);
    }
    std::uint32_t* __restrict last = c + (passes - 1) * buckets;
    const int shift = 32 + (passes - 1) * width;
    for (std::size_t i = 0; i < n; ++i) {
        out[last[(x[i] >> shift) & mask]++] = static_cast<int>(x[i] & 0xffffffffu);
    }
    return true;
}

// RankElements by sorting words: each key's offset (k - min) >> lo (as in
// CountingRank) and its position packed into one 64-bit word, the offset
// above; the words, all distinct, sorted by the vector sort where the
// processor has it, else by the radix sort of radix_sort.h on their
// offset bits (which takes, for 8-byte keys, half the time of records of
// the whole key beside the position: half the bytes). Offsets of more bits than
// the position leaves room for lose their lowest bits, so words of equal
// (shortened) offsets can hold different keys: such runs, which random
// keys rarely make, are then sorted again by the whole key and the
// position.
template <class T>
NVEC_KERNEL void PackRecords(const T* __restrict a, std::size_t n, SortKey<T> min, int lo,
                             int dropped, int positionBits, std::uint64_t* __restrict x) noexcept {
    using Key = SortKey<T>;
    for (std::size_t i = 0; i < n; ++i) {
        const auto bits =
            static_cast<std::uint64_t>(static_cast<Key>(RankKeyOfLanes(a[i]) - min) >> lo) >>
            dropped;
        x[i] = (bits << positionBits) | i;
    }
}

// The positions of the sorted records x[0, n) into out; whether two
// neighbours have the same key bits.
NVEC_KERNEL bool UnpackRecords(const std::uint64_t* __restrict x, std::size_t n, int positionBits,
                               int* __restrict out) noexcept {
    const std::uint64_t positionMask = (std::uint64_t{1} << positionBits) - 1;
    unsigned repeats = 0;
    out[0] = static_cast<int>(x[0] & positionMask);
    for (std::size_t i = 1; i < n; ++i) {
        out[i] = static_cast<int>(x[i] & positionMask);
        repeats |= (x[i] >> positionBits) == (x[i - 1] >> positionBits) ? 1u : 0u;
    }
    return repeats != 0;
}

template <class T>
bool RankPacked(const T* a, std::size_t n, SortKey<T> min, int lo, int bits, int* out) noexcept {
    const int positionBits = static_cast<int>(std::bit_width(n - 1));
    const int dropped = std::max(0, bits - (64 - positionBits));
    // The words' offsets lie below 2^(bits - dropped) (see RankElements).
    const int wordBits = positionBits + bits - dropped;
    // The radix sort goes through a work array as large as the words; the
    // vector sort needs one only for its spreading pass, where that may
    // serve, and goes without when it cannot be allocated.
    const bool vector = VectorSortAvailable();
    const int maxBits = vector ? 0 : MaxDigitBits(n);
    bool spare = !vector || SpreadPays(n);
    std::uint32_t* counters = nullptr;
    auto records = NewWorkBuffer<std::uint64_t>(spare ? 2 * n : n, maxBits, &counters);
    if (!records && vector && spare) {
        spare = false;
        records = NewWorkBuffer<std::uint64_t>(n, 0, &counters);
    }
    if (!records) return false;
    std::uint64_t* x = records.get();
    PackRecords(a, n, min, lo, dropped, positionBits, x);
    if (vector) {
        const std::uint64_t largest =
            wordBits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << wordBits) - 1;
        x = SpreadAndSort(x, spare ? x + n : nullptr, n, std::uint64_t{0}, largest);
    } else {
        MsdSort<PackedRules>(x, x + n, n, positionBits, wordBits, true, maxBits, counters, 0);
    }
    const bool repeats = UnpackRecords(x, n, positionBits, out);
    if (dropped == 0 || !repeats) return true;
    auto before = [a](int p, int q) {
        const SortKey<T> kp = RankKey(a[p]);
        const SortKey<T> kq = RankKey(a[q]);
        return kp < kq || (kp == kq && p < q);
    };
    for (std::size_t i = 0; i < n;) {
        std::size_t end = i + 1;
        while (end < n && (x[end] >> positionBits) == (x[i] >> positionBits)) ++end;
        if (end - i > 1) std::sort(out + i, out + end, before);
        i = end;
    }
    return true;
}

// Writes to out the positions of a[0, n) in stable ascending order: by
// counting when the keys span few values (as sort does); else, for key
// offsets of at most 32 bits, by RankByDigits (from kNarrowDigitsMin
// elements on only where the processor has the vector sort and its ways
// take them, SortWays::digitsBeyondCaches); else by RankPacked. A run
// that is already ascending, or strictly descending, needs none. False
// when the work arrays cannot be allocated.
template <class T>
bool RankElements(const T* a, int n, int* out) noexcept {
    using Key = SortKey<T>;
    if (n == 0) return true;
    const auto count = static_cast<std::size_t>(n);
    bool down = false;
    bool notDown = false;
    for (std::size_t i = 1; i < count && !(down && notDown); ++i) {
        const Key k = RankKey(a[i]);
        const Key prev = RankKey(a[i - 1]);
        down = down || k < prev;
        notDown = notDown || k >= prev;
    }
    if (!down || !notDown) {
        for (int i = 0; i < n; ++i) out[i] = down ? n - 1 - i : i;
        return true;
    }
    // The keys' offsets from the smallest, without the low bits that all
    // keys share: (k - min) >> lo, of `bits` bits.
    const KeyRange<Key> span = RankKeyRange(a, count);
    const Key min = span.min;
    int lo;
    int hi;
    VaryingBits(span.all, span.any, &lo, &hi);
    const int bits =
        static_cast<int>(std::bit_width(static_cast<Key>(static_cast<Key>(span.max - min) >> lo)));
    if (CountingPays(bits, count, 0, [a, min, lo](std::size_t i) {
            return static_cast<Key>(static_cast<Key>(RankKey(a[i]) - min) >> lo);
        })) {
        return CountingRank(a, count, min, lo, bits, out);
    }
    static const bool digitsBeyondCaches =
        VectorSortAvailable() && ProcessorSortWays().digitsBeyondCaches;
    if (bits <= 32 && count >= kDigitsMin && (count < kNarrowDigitsMin || digitsBeyondCaches) &&
        RankByDigits(a, count, min, lo, bits, out)) {
        return true;
    }
    return RankPacked(a, count, min, lo, bits, out);
}

// ------------------------------------------------------------------ sets

enum class SetOp { Intersection, Union, Substraction };

// Whether every element is greater than the one before. A NaN is greater
// than nothing and nothing is greater than it, so any NaN fails, also as
// the only element.
template <class T>
bool StrictlyIncreasing(const T* a, int n) noexcept {
    if (n > 0 && IsNan(a[0])) return false;
    for (int i = 1; i < n; ++i) {
        if (!(a[i] > a[i - 1])) return false;
    }
    return true;
}

// Largest possible result of op on operands of na and nb elements.
constexpr std::int64_t MergeCapacity(SetOp op, int na, int nb) noexcept {
    switch (op) {
        case SetOp::Intersection:
            return std::min(na, nb);
        case SetOp::Union:
            return static_cast<std::int64_t>(na) + nb;
        case SetOp::Substraction:
            return na;
    }
    return 0;
}

// One linear merge of the strictly increasing a and b into out, which has
// room for MergeCapacity elements. Returns the number written; the output
// is strictly increasing too.
template <class T>
std::int64_t Merge(SetOp op, const T* a, int na, const T* b, int nb, T* out) noexcept {
    int i = 0;
    int j = 0;
    T* o = out;
    switch (op) {
        case SetOp::Intersection:
            while (i < na && j < nb) {
                if (a[i] < b[j]) {
                    ++i;
                } else if (a[i] == b[j]) {
                    *o++ = a[i];
                    ++i;
                    ++j;
                } else {
                    ++j;
                }
            }
            break;
        case SetOp::Union:
            while (i < na && j < nb) {
                if (b[j] < a[i]) {
                    *o++ = b[j++];
                } else {
                    if (b[j] == a[i]) ++j;
                    *o++ = a[i++];
                }
            }
            o = std::copy(a + i, a + na, o);
            o = std::copy(b + j, b + nb, o);
            break;
        case SetOp::Substraction:
            while (i < na && j < nb) {
                if (a[i] < b[j]) {
                    *o++ = a[i++];
                } else {
                    if (a[i] == b[j]) ++i;
                    ++j;
                }
            }
            o = std::copy(a + i, a + na, o);
            break;
    }
    return o - out;
}

// The argument handling shared by the three set operations, then the
// merge. The result block is sized for the largest possible result before
// the merge writes into it, and shrunk to the merged count afterwards.
int SetOperation(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], SetOp op,
                 const char* syntax) {
    bool sorted = false;
    int first = 2;
    if (objc >= 3 && IsOption(objv[2], "-sorted")) {
        sorted = true;
        first = 3;
    }
    if (objc - first != 2) {
        return SyntaxError(interp, syntax);
    }
    if (!sorted) {
        return Fail(interp, ErrorClass::Syntax, "now only -sorted option is implemented");
    }
    Tcl_Obj* objA = objv[first];
    Tcl_Obj* objB = objv[first + 1];
    if (std::strcmp(TypeNameOf(objA), TypeNameOf(objB)) != 0) {
        return Fail(interp, ErrorClass::Type, "all obj must have same type");
    }
    std::optional<ElemType> type = ElemTypeOf(objA);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgWrongType);
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) -> int {
        const T* a = Elements<T>(objA);
        const T* b = Elements<T>(objB);
        int na = Length(objA);
        int nb = Length(objB);
        if (!StrictlyIncreasing(a, na) || !StrictlyIncreasing(b, nb)) {
            return Fail(interp, ErrorClass::Value, kMsgNotIncreasing);
        }
        std::int64_t capacity = MergeCapacity(op, na, nb);
        void* payload = TryNewPayload<T>(capacity, false);
        if (payload == nullptr) {
            return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        }
        std::int64_t count = Merge(op, a, na, b, nb, PayloadData<T>(payload));
        PayloadCount(payload) = static_cast<std::int32_t>(count);
        if (count < capacity) {
            // Shrinking does not fail in practice; if it does, the larger
            // block stays, its spare room unrecorded like any other.
            auto bytes = static_cast<AllocSize>(PayloadBytes<T>(count));
            if (void* smaller = Tcl_AttemptRealloc(static_cast<char*>(payload), bytes)) {
                payload = smaller;
            }
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(payload));
        return TCL_OK;
    });
}

// -------------------------------------------------------------- renumber

// Rewrites every element e of a as table[e], where table maps each old
// identifier to its new one (new[k], or k without new) and every other
// value of 0..M to 0, M being the largest old identifier or 0. Everything
// is checked before the first element is written: the identifiers must be
// non-negative and every element must lie in 0..M, so the table is never
// indexed outside its M + 1 entries.
template <class T>
int RenumberElements(Tcl_Interp* interp, T* a, int n, const int* oldIds, const int* newIds,
                     int nIds) {
    int maxId = 0;
    for (int k = 0; k < nIds; ++k) {
        if (oldIds[k] < 0) {
            return Failf(interp, ErrorClass::Value, "wrong old_ids value %d, must be non-negative",
                         oldIds[k]);
        }
        maxId = std::max(maxId, oldIds[k]);
    }
    for (int i = 0; i < n; ++i) {
        // chararray elements read as 0..255, the others as signed values.
        Wide<T> e = a[i];
        if (e < 0 || e > maxId) {
            return Failf(interp, ErrorClass::Value,
                         "nvecs renumber wrong value %lld out of range [0,%d]",
                         static_cast<long long>(e), maxId);
        }
    }
    // The general-purpose heap: the table may exceed the 4 GiB that Tcl's
    // allocator can hand out, calloc checks (M + 1) * 4 for overflow, and
    // its zero pages cost nothing until touched.
    std::size_t entries = static_cast<std::size_t>(maxId) + 1;
    std::unique_ptr<std::int32_t[], FreeDeleter> table(
        static_cast<std::int32_t*>(std::calloc(entries, sizeof(std::int32_t))));
    if (!table) {
        return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    }
    // In identifier order, so the last occurrence of a repeated one wins.
    for (int k = 0; k < nIds; ++k) {
        table[static_cast<std::size_t>(oldIds[k])] = newIds != nullptr ? newIds[k] : k;
    }
    // Low 8 or 16 bits for chararray and shortarray, sign-extended for the
    // 64-bit types.
    for (int i = 0; i < n; ++i) {
        a[i] = WrapInt<T>(table[static_cast<std::size_t>(a[i])]);
    }
    return TCL_OK;
}

}  // namespace

// nvec search ?-sorted? ?-start <index>? <obj> <value>
int SearchCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    constexpr const char kSyntax[] = "search ?-sorted? ?-start <index>? <obj> <value>";
    bool sorted = false;
    int start = 0;
    // Options take word 2 while more words remain than `search <obj>
    // <value>` needs; `skip` counts the words they consumed.
    int skip = 0;
    while (objc - skip >= 5) {
        Tcl_Obj* word = objv[2 + skip];
        if (IsOption(word, "-sorted")) {
            sorted = true;
            skip += 1;
        } else if (IsOption(word, "-start")) {
            int value;
            if (GetIntArg(nullptr, objv[3 + skip], &value) != TCL_OK) {
                return Failf(interp, ErrorClass::Index, "wrong nvec search -start index %d", start);
            }
            start = value;
            if (start < 0) {
                return Failf(interp, ErrorClass::Index, "wrong nvec search -start index %d", start);
            }
            skip += 2;
        } else {
            return SyntaxError(interp, kSyntax);
        }
    }
    if (objc - skip != 4) {
        return SyntaxError(interp, kSyntax);
    }
    Tcl_Obj* obj = objv[2 + skip];
    Tcl_Obj* valueObj = objv[3 + skip];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgWrongType);
    }
    int n = Length(obj);
    if (start >= n) {
        // Nothing to search: the value is not even read.
        Tcl_SetObjResult(interp, Tcl_NewIntObj(-1));
        return TCL_OK;
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) -> int {
        T value;
        // Tcl's reader leaves its message; the code is nvec's own.
        if (ReadSearchValue<T>(interp, valueObj, &value) != TCL_OK) {
            return SetErrorClass(interp, ErrorClass::Value);
        }
        const T* a = Elements<T>(obj);
        int pos = sorted ? FindSorted(a, start, n, value) : FindLinear(a, start, n, value);
        Tcl_SetObjResult(interp, Tcl_NewIntObj(pos));
        return TCL_OK;
    });
}

// nvec sort ?-unique? <obj>: in place; with -unique the count shrinks and
// the block keeps its size.
int SortCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    bool unique = false;
    if (objc == 4 && IsOption(objv[2], "-unique")) {
        unique = true;
    } else if (objc != 3) {
        return SyntaxError(interp, "sort ?-unique? <obj>");
    }
    Tcl_Obj* obj = objv[objc - 1];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgWrongType);
    }
    Visit(*type, [&]<class T>(std::type_identity<T>) {
        T* a = Elements<T>(obj);
        int n = Length(obj);
        SortElements(a, n);
        if (unique) {
            PayloadCount(PayloadOf(obj)) = DropRepeats(a, n);
        }
    });
    InvalidateArrayString(obj);
    Tcl_SetObjResult(interp, obj);
    return TCL_OK;
}

// nvec argsort <obj>: a new intarray p such that the elements at p[0],
// p[1], ... are ascending; equal elements keep their order, NaNs last.
int ArgsortCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) {
        return SyntaxError(interp, "argsort <obj>");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    int n = Length(obj);
    // More positions than an intarray holds (a chararray or shortarray of
    // over 2^30 elements in Tcl 8.6).
    if (!PayloadFits<int>(n)) return Fail(interp, ErrorClass::Size, "wrong size");
    void* payload = TryNewPayload<int>(n, false);
    if (payload == nullptr) {
        return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    }
    bool ranked = Visit(*type, [&]<class T>(std::type_identity<T>) {
        return RankElements(Elements<T>(obj), n, PayloadData<int>(payload));
    });
    if (!ranked) {
        Tcl_Free(static_cast<char*>(payload));
        return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    }
    Tcl_SetObjResult(interp, NewArrayObj<int>(payload));
    return TCL_OK;
}

int IntersectionCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return SetOperation(interp, objc, objv, SetOp::Intersection,
                        "intersection ?-sorted? <obj1> <obj2>");
}

int UnionCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return SetOperation(interp, objc, objv, SetOp::Union, "union ?-sorted? <obj1> <obj2>");
}

int SubstractionCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return SetOperation(interp, objc, objv, SetOp::Substraction,
                        "substraction ?-sorted? <obj1> <obj2>");
}

// nvec renumber <obj> <old_ids> ?<new_ids>?: in place, integer types only.
int RenumberCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4 && objc != 5) {
        return SyntaxError(interp, "renumber <obj> <old_ids> ?<new_ids>?");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    Tcl_Obj* oldIds = objv[3];
    Tcl_Obj* newIds = objc == 5 ? objv[4] : nullptr;
    if (ElemTypeOf(oldIds) != ElemType::Int ||
        (newIds != nullptr && ElemTypeOf(newIds) != ElemType::Int)) {
        return Fail(interp, ErrorClass::Type, kMsgIdsType);
    }
    if (newIds != nullptr && Length(oldIds) != Length(newIds)) {
        return Fail(interp, ErrorClass::Size, "<old_ids> and <new_ids> must have same size");
    }
    int code = Visit(*type, [&]<class T>(std::type_identity<T>) -> int {
        if constexpr (kIsFloat<T>) {
            return Fail(interp, ErrorClass::Type, kMsgWrongIntType);
        } else {
            return RenumberElements(interp, Elements<T>(obj), Length(obj), Elements<int>(oldIds),
                                    newIds != nullptr ? Elements<int>(newIds) : nullptr,
                                    Length(oldIds));
        }
    });
    if (code != TCL_OK) {
        return code;
    }
    InvalidateArrayString(obj);
    Tcl_SetObjResult(interp, obj);
    return TCL_OK;
}

}  // namespace nvec
