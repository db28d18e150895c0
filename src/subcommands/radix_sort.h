// The sorting kernels of sort and argsort: radix sorts on unsigned keys
// whose unsigned order is the element order.
//
// An element's key is its bits with the order fixed up: integers with the
// sign bit flipped, floating values with every bit flipped when negative,
// else the sign bit set (so -0.0 sorts just before 0.0). NaN-free input is
// assumed; the callers move NaNs out of the way first.
//
// sort: an array that is already ascending is left alone, a descending one
// is reversed (random input shows neither within a few elements); then one
// read finds the key bits that vary, and an array whose keys span few
// values (every chararray and shortarray, few-distinct values:
// CountingPays) is counted and written back from the counts. The others,
// of 4 or 8 bytes, go to the AVX-512 quicksort of their keys
// (vector_sort.h) where the processor has it; else they
// are radix sorted through one work buffer of n elements and a few
// thousand counters per level: most-significant-digit passes
// (8-bit digits while a range is large, so that the scatter writes to few
// enough places to stay in the caches) split the array into ranges that
// fit the caches, and each range is finished either by least-significant-
// digit passes over its remaining bits (at most three passes of 11 bits),
// or, where more bits remain (8-byte keys), by such passes over the top 24
// of them and the runs of keys equal there sorted on (PrefixSort), or by
// further digits until a few elements are left, which a sorting network
// of 4 to 32 keys orders without branches.
//
// Arrays of fewer than kInPlaceMax elements skip the checks and are
// sorted in place: by the vector sort where it serves, else by
// InPlaceRadixSort, without the buffer, whose counters would cost more
// than they save; so is any array when the work buffer cannot be
// allocated.
//
// argsort (ordering.cpp): positions counted by key where sort would count,
// else records of a key and an element position, sorted by
// least-significant-digit passes of their own or by the vector sort or
// the buffered radix sort above (PackedRules). Every pass moves records in
// their input order within a digit, and the networks compare the position
// after the key, so equal keys keep the order of their positions: the
// sort is stable.

#pragma once

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <numeric>
#include <type_traits>

#include "../command/helpers.h"
#include "vector_sort.h"

namespace nvec {

template <class T>
using SortKey = std::conditional_t<
    sizeof(T) == 1, std::uint8_t,
    std::conditional_t<sizeof(T) == 2, std::uint16_t,
                       std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;

template <class K>
inline constexpr K kKeySign = static_cast<K>(K{1} << (8 * sizeof(K) - 1));

// The key of an element whose bits are `bits` (see above). Branch-free:
// the mask is the sign bit spread over the word (all ones for a negative
// floating value).
template <class T>
SortKey<T> KeyOfBits(SortKey<T> bits) noexcept {
    using K = SortKey<T>;
    static_assert(sizeof(K) == sizeof(T));
    if constexpr (std::is_floating_point_v<T>) {
        // 0 - sign bit rather than an arithmetic shift: vector units
        // before AVX-512 have no 64-bit arithmetic shift.
        auto spread = static_cast<K>(K{0} - static_cast<K>(bits >> (8 * sizeof(K) - 1)));
        return static_cast<K>(bits ^ (spread | kKeySign<K>));
    } else if constexpr (std::is_signed_v<T>) {
        return static_cast<K>(bits ^ kKeySign<K>);
    } else {
        return bits;
    }
}

template <class T>
SortKey<T> KeyOf(T v) noexcept {
    SortKey<T> bits;
    std::memcpy(&bits, &v, sizeof bits);
    return KeyOfBits<T>(bits);
}

// The bits of the element whose key is k: KeyOfBits undone.
template <class T>
SortKey<T> BitsOfKey(SortKey<T> k) noexcept {
    using K = SortKey<T>;
    if constexpr (std::is_floating_point_v<T>) {
        // A key with the top bit clear came from a negative value.
        auto spread = static_cast<K>(static_cast<K>(k >> (8 * sizeof(K) - 1)) - K{1});
        return static_cast<K>(k ^ (spread | kKeySign<K>));
    } else if constexpr (std::is_signed_v<T>) {
        return static_cast<K>(k ^ kKeySign<K>);
    } else {
        return k;
    }
}

// The element whose key is k, bit for bit.
template <class T>
T ValueOf(SortKey<T> k) noexcept {
    const SortKey<T> bits = BitsOfKey<T>(k);
    T v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// The three kinds of thing the radix passes move, each with its key, the
// form a sorting network compares (its order: the key, then for records
// the position), and a padding that sorts after every real one.
//
// Element values of T: the network compares keys, equal keys being equal
// values.
template <class T>
struct ValueRules {
    using Item = T;
    using Key = SortKey<T>;
    using Net = Key;
    static Key KeyOfItem(T v) noexcept { return KeyOf(v); }
    // The passes move the bits of the elements in integer registers (a
    // double loaded as such would also go through a vector register).
    static constexpr bool kMovesBits = true;
    static Key KeyOfBits(Key bits) noexcept { return nvec::KeyOfBits<T>(bits); }
    static Key BitsOfKey(Key k) noexcept { return nvec::BitsOfKey<T>(k); }
    static Net ToNet(T v) noexcept { return KeyOf(v); }
    static T FromNet(Net k) noexcept { return ValueOf<T>(k); }
    static bool Less(Net a, Net b) noexcept { return a < b; }
    static constexpr Net kPad = static_cast<Net>(~Net{0});
};

// A key of at most 32 bits in the high half of a 64-bit word and the
// position in the low half: one comparison orders key then position.
struct PackedRules {
    using Item = std::uint64_t;
    using Key = std::uint64_t;
    using Net = std::uint64_t;
    static Key KeyOfItem(Item r) noexcept { return r; }
    static constexpr bool kMovesBits = false;
    static Net ToNet(Item r) noexcept { return r; }
    static Item FromNet(Net r) noexcept { return r; }
    static bool Less(Net a, Net b) noexcept { return a < b; }
    // Positions stay below 2^31, so no record equals the padding.
    static constexpr Net kPad = ~std::uint64_t{0};
};

// The key of an item as the passes store it: for element values their
// bits, read as such (see ValueRules).
template <class R>
typename R::Key KeyOfStored(const typename R::Item& v) noexcept {
    if constexpr (R::kMovesBits) {
        typename R::Key bits;
        std::memcpy(&bits, &v, sizeof bits);
        return R::KeyOfBits(bits);
    } else {
        return R::KeyOfItem(v);
    }
}

// Largest digit of the radix passes, and the levels of most-significant
// digits one sort can nest: a level takes at least 3 bits of a key of at
// most 64 (one more for the level that takes the last bits).
inline constexpr int kMaxDigitBits = 11;
inline constexpr int kMaxLevels = 24;
// Arrays of fewer elements are sorted in place.
inline constexpr std::size_t kInPlaceMax = 4096;
// Ranges of at most this many elements go to a sorting network.
inline constexpr std::size_t kNetworkMax = 32;
// Below this many elements the least-significant-digit passes cost more
// in counters than they save.
inline constexpr std::size_t kLsdMinElems = 1024;
// Ranges of at most this many bytes run their least-significant-digit
// passes inside the caches.
inline constexpr std::size_t kLsdCacheBytes = std::size_t{1} << 20;
// Ranges above this many elements take 8-bit digits.
inline constexpr std::size_t kWideRange = std::size_t{1} << 16;

// Sorts k[0, N) ascending by R::Less with a bitonic network written with
// ascending comparators only; the compiler unrolls it into selects. The
// partner of i is i with some low bits flipped, below N (a power of two);
// the mask says so to compilers that cannot see it.
template <class R, int N>
inline void Network(typename R::Net* k) noexcept {
    static_assert(N > 0 && (N & (N - 1)) == 0);
    using Net = typename R::Net;
    auto exchange = [k](int i, int j) {
        Net a = k[i];
        Net b = k[j];
        bool swap = R::Less(b, a);
        k[i] = swap ? b : a;
        k[j] = swap ? a : b;
    };
#pragma GCC unroll 64
    for (int size = 2; size <= N; size <<= 1) {
#pragma GCC unroll 64
        for (int i = 0; i < N; ++i) {
            const int j = (i ^ (size - 1)) & (N - 1);
            if (j > i) exchange(i, j);
        }
#pragma GCC unroll 64
        for (int stride = size / 4; stride > 0; stride >>= 1) {
#pragma GCC unroll 64
            for (int i = 0; i < N; ++i) {
                const int j = (i ^ stride) & (N - 1);
                if (j > i) exchange(i, j);
            }
        }
    }
}

template <class R, int N>
void NetworkSortN(const typename R::Item* src, typename R::Item* dst, std::size_t m) noexcept {
    typename R::Net k[N];
    for (std::size_t i = 0; i < m; ++i) {
        if constexpr (R::kMovesBits) {
            typename R::Key bits;
            std::memcpy(&bits, src + i, sizeof bits);
            k[i] = R::KeyOfBits(bits);
        } else {
            k[i] = R::ToNet(src[i]);
        }
    }
    for (std::size_t i = m; i < N; ++i) k[i] = R::kPad;
    Network<R, N>(k);
    for (std::size_t i = 0; i < m; ++i) {
        if constexpr (R::kMovesBits) {
            const typename R::Key bits = R::BitsOfKey(k[i]);
            std::memcpy(dst + i, &bits, sizeof bits);
        } else {
            dst[i] = R::FromNet(k[i]);
        }
    }
}

// Sorts the m <= kNetworkMax items of src into dst (which may be src).
template <class R>
void SmallSort(const typename R::Item* src, typename R::Item* dst, std::size_t m) noexcept {
    if (m <= 1) {
        if (m == 1) dst[0] = src[0];
    } else if (m <= 4) {
        NetworkSortN<R, 4>(src, dst, m);
    } else if (m <= 8) {
        NetworkSortN<R, 8>(src, dst, m);
    } else if (m <= 16) {
        NetworkSortN<R, 16>(src, dst, m);
    } else {
        NetworkSortN<R, 32>(src, dst, m);
    }
}

// Adds the digit (key >> shift) & mask of every item to c.
template <class R>
void CountDigit(const typename R::Item* x, std::size_t n, std::uint32_t* c, int shift,
                typename R::Key mask) noexcept {
    if constexpr (R::kMovesBits) {
#pragma GCC unroll 4
        for (std::size_t i = 0; i < n; ++i) {
            typename R::Key bits;
            std::memcpy(&bits, x + i, sizeof bits);
            ++c[(R::KeyOfBits(bits) >> shift) & mask];
        }
    } else {
#pragma GCC unroll 4
        for (std::size_t i = 0; i < n; ++i) ++c[(R::KeyOfItem(x[i]) >> shift) & mask];
    }
}

// Moves every item of src to dst at the next free place of its digit;
// pos holds those places and ends holding the end of each digit's run.
template <class R>
void ScatterDigit(const typename R::Item* __restrict src, typename R::Item* __restrict dst,
                  std::size_t n, std::uint32_t* __restrict pos, int shift,
                  typename R::Key mask) noexcept {
    if constexpr (R::kMovesBits) {
#pragma GCC unroll 4
        for (std::size_t i = 0; i < n; ++i) {
            typename R::Key bits;
            std::memcpy(&bits, src + i, sizeof bits);
            std::memcpy(dst + pos[(R::KeyOfBits(bits) >> shift) & mask]++, &bits, sizeof bits);
        }
    } else {
#pragma GCC unroll 4
        for (std::size_t i = 0; i < n; ++i) {
            typename R::Item v = src[i];
            dst[pos[(R::KeyOfItem(v) >> shift) & mask]++] = v;
        }
    }
}

// Counts into places: each entry becomes the sum of those before it.
inline void StartsFromCounts(std::uint32_t* c, unsigned buckets) noexcept {
    std::uint32_t sum = 0;
    for (unsigned b = 0; b < buckets; ++b) {
        std::uint32_t count = c[b];
        c[b] = sum;
        sum += count;
    }
}

// Least-significant-digit passes over key bits [lo, hi) (at most 3 digits
// of at most `maxBits`) of x[0, n), y being as large; the result lands in
// x when toX, else in y. The counts of all digits come from one read; a
// digit on which all items agree is skipped. c: room for 3 << maxBits.
template <class R>
void LsdSort(typename R::Item* x, typename R::Item* y, std::size_t n, int lo, int hi, bool toX,
             int maxBits, std::uint32_t* c) noexcept {
    using Key = typename R::Key;
    const int passes = (hi - lo + maxBits - 1) / maxBits;
    assert(passes >= 1 && passes <= 3);
    const int width = (hi - lo + passes - 1) / passes;
    const unsigned buckets = 1u << width;
    const auto mask = static_cast<Key>(buckets - 1);
    std::uint32_t* c0 = c;
    std::uint32_t* c1 = c + buckets;
    std::uint32_t* c2 = c1 + buckets;
    std::memset(c, 0, 3 * buckets * sizeof *c);
    if (passes == 3) {
        for (std::size_t i = 0; i < n; ++i) {
            const Key k = R::KeyOfItem(x[i]) >> lo;
            ++c0[k & mask];
            ++c1[(k >> width) & mask];
            ++c2[(k >> (2 * width)) & mask];
        }
    } else if (passes == 2) {
        for (std::size_t i = 0; i < n; ++i) {
            const Key k = R::KeyOfItem(x[i]) >> lo;
            ++c0[k & mask];
            ++c1[(k >> width) & mask];
        }
    } else {
        CountDigit<R>(x, n, c0, lo, mask);
    }
    typename R::Item* src = x;
    typename R::Item* dst = y;
    for (int d = 0; d < passes; ++d) {
        const int shift = lo + d * width;
        std::uint32_t* cd = c + d * buckets;
        if (cd[(R::KeyOfItem(src[0]) >> shift) & mask] == n) continue;
        StartsFromCounts(cd, buckets);
        ScatterDigit<R>(src, dst, n, cd, shift, mask);
        std::swap(src, dst);
    }
    typename R::Item* want = toX ? x : y;
    if (src != want) std::memcpy(want, src, n * sizeof *src);
}

// The digits of PrefixSort's passes: three of them, 24 bits.
inline constexpr int kPrefixDigitBits = 8;

template <class R>
void PrefixSort(typename R::Item* x, typename R::Item* y, std::size_t n, int lo, int hi, bool toX,
                int maxBits, std::uint32_t* arena, int level) noexcept;

// Whether, of 256 items spread evenly over x[0, n) (n >= 256), more than
// 16 share the 8-bit digit of key bits [hi - 8, hi): a sixteenth of the
// array or more behind one digit, where evenly spread keys put about
// 1/256. Such a digit would leave a range too large for the caches, to
// be split again by a further pass beyond them: measured on 10^6 random
// floats (AMD Zen 3), the 11-bit digit in its place takes the sort from
// 8.5 to 6.7 ms.
template <class R>
bool CrowdedDigit(const typename R::Item* x, std::size_t n, int hi) noexcept {
    std::uint8_t seen[256] = {};
    for (std::size_t i = 0; i < 256; ++i) {
        const typename R::Key k = KeyOfStored<R>(x[i * (n / 256)]);
        if (++seen[static_cast<unsigned>(k >> (hi - 8)) & 0xffu] > 16) return true;
    }
    return false;
}

// Sorts x[0, n) by key bits [lo, hi) (the higher bits being equal), with
// y as large as x; the result lands in x when toX, else in y. Each level
// counts one digit, moves the items from one array to the other by it,
// and sorts each digit's run at the next level; `arena` gives each level
// 1 << maxBits counters and, after them, the least-significant passes
// theirs.
template <class R>
void MsdSort(typename R::Item* x, typename R::Item* y, std::size_t n, int lo, int hi, bool toX,
             int maxBits, std::uint32_t* arena, int level) noexcept {
    using Key = typename R::Key;
    assert(level < kMaxLevels);
    for (;;) {
        if (n <= kNetworkMax) {
            SmallSort<R>(x, toX ? x : y, n);
            return;
        }
        const int bits = hi - lo;
        if (bits <= 3 * maxBits && n >= kLsdMinElems &&
            (n * sizeof *x <= kLsdCacheBytes || bits <= 2 * maxBits)) {
            // This level's counters and the next two levels', unused yet.
            LsdSort<R>(x, y, n, lo, hi, toX, maxBits, arena);
            return;
        }
        if (bits > 3 * kPrefixDigitBits && n >= kLsdMinElems && n * sizeof *x <= kLsdCacheBytes) {
            PrefixSort<R>(x, y, n, lo, hi, toX, maxBits, arena, level);
            return;
        }
        // A digit that leaves about four items per run on average, so that
        // the runs are finished by the small networks.
        int width = n > kWideRange
                        ? 8
                        : std::clamp(static_cast<int>(std::bit_width(n / 4)) - 1, 3, maxBits);
        // Keys crowded into few 8-bit digits (floating values, whose top
        // bits are the exponent's) take the widest digit instead, which
        // splits each crowded one into many.
        if (n > kWideRange && bits >= 16 && CrowdedDigit<R>(x, n, hi)) width = maxBits;
        width = std::min(width, bits);
        const int shift = hi - width;
        const unsigned buckets = 1u << width;
        const auto mask = static_cast<Key>(buckets - 1);
        std::uint32_t* pos = arena;
        std::memset(pos, 0, buckets * sizeof *pos);
        CountDigit<R>(x, n, pos, shift, mask);
        if (pos[(R::KeyOfItem(x[0]) >> shift) & mask] == n) {
            // All items agree on this digit: go on with the next one.
            if (shift == lo) {
                if (!toX) std::memcpy(y, x, n * sizeof *x);
                return;
            }
            hi = shift;
            continue;
        }
        StartsFromCounts(pos, buckets);
        ScatterDigit<R>(x, y, n, pos, shift, mask);
        if (shift == lo) {
            // The last digit: the runs hold equal keys, in input order.
            if (toX) std::memcpy(x, y, n * sizeof *x);
            return;
        }
        std::uint32_t begin = 0;
        for (unsigned b = 0; b < buckets; ++b) {
            const std::uint32_t end = pos[b];
            if (end > begin) {
                MsdSort<R>(y + begin, x + begin, end - begin, lo, shift, !toX, maxBits,
                           arena + (1u << maxBits), level + 1);
            }
            begin = end;
        }
        return;
    }
}

// MsdSort for a range that fits the caches and whose keys vary in more
// bits than three least-significant passes take (8-byte keys): those
// passes on the top 24 of the bits, [hi - 24, hi), then each run of keys
// equal in those bits, which random keys rarely make among the few
// thousand of a range, sorted by the bits below at the next level. The
// passes are stable, so the order is. Against more digits from the top
// until sorting networks take a few keys each, whose choice of network
// the processor cannot predict: measured on 10^6 random doubles (AMD Zen
// 3), 0.8 of the time.
template <class R>
void PrefixSort(typename R::Item* x, typename R::Item* y, std::size_t n, int lo, int hi, bool toX,
                int maxBits, std::uint32_t* arena, int level) noexcept {
    using Key = typename R::Key;
    constexpr int kPrefix = 3 * kPrefixDigitBits;
    const int shift = hi - kPrefix;
    LsdSort<R>(x, y, n, shift, hi, toX, kPrefixDigitBits, arena);
    typename R::Item* sorted = toX ? x : y;
    typename R::Item* spare = toX ? y : x;
    auto prefix = [shift](const typename R::Item& v) {
        return static_cast<Key>(KeyOfStored<R>(v) >> shift);
    };
    Key last = prefix(sorted[0]);
    std::size_t begin = 0;
    for (std::size_t i = 1; i <= n; ++i) {
        const Key k = i < n ? prefix(sorted[i]) : static_cast<Key>(~last);
        if (k != last) {
            if (i - begin > 1) {
                MsdSort<R>(sorted + begin, spare + begin, i - begin, lo, shift, true, maxBits,
                           arena + (1u << maxBits), level + 1);
            }
            begin = i;
            last = k;
        }
    }
}

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

// The widest digit worth its counters for n items.
inline int MaxDigitBits(std::size_t n) noexcept {
    return std::clamp(static_cast<int>(std::bit_width(n / 4)) - 1, 8, kMaxDigitBits);
}

// One block from the general-purpose heap for the work array of n items
// and the counters of every level, or nullptr when memory is short or the
// size does not fit size_t (on 32-bit systems).
template <class Item>
std::unique_ptr<Item[], FreeDeleter> NewWorkBuffer(std::size_t n, int maxBits,
                                                   std::uint32_t** counters) {
    const std::uint64_t counterBytes =
        static_cast<std::uint64_t>(kMaxLevels + 3) * (std::uint64_t{1} << maxBits) * 4;
    const std::uint64_t bytes = static_cast<std::uint64_t>(n) * sizeof(Item) + counterBytes;
    if (bytes > SIZE_MAX) return nullptr;
    std::unique_ptr<Item[], FreeDeleter> buffer(
        static_cast<Item*>(std::malloc(static_cast<std::size_t>(bytes))));
    if (buffer) *counters = reinterpret_cast<std::uint32_t*>(buffer.get() + n);
    return buffer;
}

// The bits [lo, hi) in which the keys whose AND is `all` and OR is `any`
// differ.
template <class Key>
void VaryingBits(Key all, Key any, int* lo, int* hi) noexcept {
    const Key differ = all ^ any;
    *hi = 8 * static_cast<int>(sizeof(Key)) - std::countl_zero(differ);
    *lo = differ == 0 ? *hi : std::countr_zero(differ);
}

// The counter sets CountOffsets takes for offsets below `range`: with few
// offsets four sets take turns, so that runs of equal offsets do not wait
// on one increment.
constexpr std::size_t CounterSets(std::size_t range) noexcept { return range <= 4096 ? 4 : 1; }

// c[k] = the number of i in [0, n) with offset(i) == k, for k in [0,
// range); c holds CounterSets(range) * range counters, all 0.
template <class OffsetAt>
void CountOffsets(std::size_t n, std::size_t range, OffsetAt offset,
                  std::uint32_t* __restrict c) noexcept {
    std::size_t i = 0;
    if (CounterSets(range) == 4) {
        for (; i + 4 <= n; i += 4) {
            ++c[offset(i)];
            ++c[range + offset(i + 1)];
            ++c[2 * range + offset(i + 2)];
            ++c[3 * range + offset(i + 3)];
        }
        for (; i < n; ++i) ++c[offset(i)];
        for (std::size_t k = 0; k < range; ++k) {
            c[k] += c[range + k] + c[2 * range + k] + c[3 * range + k];
        }
    } else {
        for (; i < n; ++i) ++c[offset(i)];
    }
}

// Counting sort of n >= 1 NaN-free elements whose keys, shifted right by
// lo, lie in [common >> lo, (common >> lo) + 2^bits), `common` holding the
// bits that all keys share (the others 0): the count of each key, then
// each key written back as many times as it was counted. False when the
// counters cannot be allocated.
template <class T>
bool CountingSort(T* a, std::size_t n, SortKey<T> common, int lo, int bits) noexcept {
    using Key = SortKey<T>;
    const std::size_t range = std::size_t{1} << bits;
    std::unique_ptr<std::uint32_t[], FreeDeleter> counts(static_cast<std::uint32_t*>(
        std::calloc(CounterSets(range) * range, sizeof(std::uint32_t))));
    if (!counts) return false;
    std::uint32_t* c = counts.get();
    const Key base = static_cast<Key>(common >> lo);
    CountOffsets(
        n, range,
        [a, lo, base](std::size_t i) { return static_cast<Key>((KeyOf(a[i]) >> lo) - base); }, c);
    const Key low = static_cast<Key>(common & ((Key{1} << lo) - 1));
    T* out = a;
    for (std::size_t k = 0; k < range; ++k) {
        if (c[k] != 0) {
            const T v = ValueOf<T>(static_cast<Key>((static_cast<Key>(base + k) << lo) | low));
            out = std::fill_n(out, c[k], v);
        }
    }
    return true;
}

// The number of distinct values among key(i * (n / count)) for i in [0,
// count): keys spread evenly over n elements, which land sorted in
// sample[0, count).
template <class Sample, class KeyAt>
std::size_t SampledDistinct(Sample* sample, std::size_t count, std::size_t n, KeyAt key) noexcept {
    for (std::size_t i = 0; i < count; ++i) sample[i] = static_cast<Sample>(key(i * (n / count)));
    std::sort(sample, sample + count);
    return static_cast<std::size_t>(std::unique(sample, sample + count) - sample);
}

// Whether counting n elements beats the radix passes, given that their
// keys, shifted right by lo, span at most 2^bits values, and `key`, which
// gives the key of element i: when the counters are few (at most 65536,
// and at most four per element), or at most four per element (up to 2^22,
// 16 MiB) and the keys repeat: 256 keys spread over the array hold at
// least 8 repeats, which keys drawn from more than about 4096 values
// rarely do, so that the counting touches few cache lines (and few pages
// of the counters, which the system gives zeroed as they are touched).
template <class KeyAt>
bool CountingPays(int bits, std::size_t n, int lo, KeyAt key) noexcept {
    const std::uint64_t counters = std::uint64_t{1} << std::min(bits, 63);
    if (bits > 22 || counters > 4 * static_cast<std::uint64_t>(n)) return false;
    if (bits <= 16) return true;
    constexpr std::size_t kSamples = 256;
    std::uint64_t sample[kSamples];
    return SampledDistinct(sample, kSamples, n, [&key, lo](std::size_t i) {
               return static_cast<std::uint64_t>(key(i) >> lo);
           }) <= kSamples - 8;
}

// Below this many elements a bucket is finished by std::sort.
inline constexpr std::size_t kSmallSort = 64;

// In-place most-significant-digit radix sort of NaN-free elements whose
// keys agree above their lowest `bits` bits: one counting pass on the next
// digit, then rounds of swaps that move elements into their buckets, then
// each bucket on the following digit. Digits are 8 bits wide for more than
// 16384 elements; smaller ranges take a digit of about log2(n) - 3 bits (4
// to 10), so that the last level leaves buckets of a few elements instead
// of dozens. A round goes once over the unfilled part of every unfinished
// bucket and swaps each element there into the first unfilled slot of its
// own bucket; the swaps of a round do not wait on one another (unlike the
// cycles of the classic American flag sort), so the processor overlaps
// their memory accesses. Every swap fills one slot for good, so a digit
// costs at most n swaps, and the work is bounded by n * sizeof(T) whatever
// the contents. A digit on which all elements agree is skipped without
// moving anything. No second array; each level keeps 10 KiB of counters,
// and there are at most 2 * sizeof(T) levels. std::sort with `<` finishes
// small buckets: on NaN-free values `<` is a strict weak order consistent
// with the keys (-0.0 and 0.0 are equivalent).
template <class T>
void InPlaceRadixSort(T* a, std::size_t n, int bits) noexcept {
    using K = SortKey<T>;
    constexpr int kMaxDigit = 10;
    std::uint32_t next[1u << kMaxDigit];  // first unfilled slot of each bucket
    int width;
    int shift;
    for (;;) {
        if (n <= kSmallSort) {
            std::sort(a, a + n);
            return;
        }
        width = n > 16384 ? 8 : std::clamp(static_cast<int>(std::bit_width(n)) - 3, 4, kMaxDigit);
        width = std::min(width, bits);
        shift = bits - width;
        const K mask = static_cast<K>((K{1} << width) - 1);
        std::fill(next, next + (1u << width), 0u);
        for (std::size_t i = 0; i < n; ++i) ++next[(KeyOf(a[i]) >> shift) & mask];
        if (next[(KeyOf(a[0]) >> shift) & mask] != n) break;
        if (shift == 0) return;
        bits = shift;
    }
    const unsigned buckets = 1u << width;
    const K mask = static_cast<K>((K{1} << width) - 1);
    auto digit = [shift, mask](T v) { return static_cast<unsigned>((KeyOf(v) >> shift) & mask); };
    std::uint32_t end[1u << kMaxDigit];         // one past each bucket
    std::uint16_t unfinished[1u << kMaxDigit];  // buckets with unfilled slots
    unsigned count = 0;
    std::uint32_t sum = 0;
    for (unsigned b = 0; b < buckets; ++b) {
        if (next[b] != 0) unfinished[count++] = static_cast<std::uint16_t>(b);
        const std::uint32_t size = next[b];
        next[b] = sum;
        sum += size;
        end[b] = sum;
    }
    // When one bucket is left unfinished, what lies in it belongs there.
    while (count > 1) {
        unsigned kept = 0;
        for (unsigned k = 0; k < count; ++k) {
            const unsigned b = unfinished[k];
            const std::uint32_t stop = end[b];
            for (std::uint32_t i = next[b]; i < stop; ++i) {
                std::swap(a[i], a[next[digit(a[i])]++]);
            }
            if (next[b] < stop) unfinished[kept++] = static_cast<std::uint16_t>(b);
        }
        count = kept;
    }
    if (shift == 0) return;
    std::uint32_t start = 0;
    for (unsigned b = 0; b < buckets; ++b) {
        if (end[b] - start > 1) InPlaceRadixSort(a + start, end[b] - start, shift);
        start = end[b];
    }
}

// Whether some key of a[0, n) is below the one before it (*down), and
// whether some key is above it (*up). Blocks of 256 keys are tested by a
// loop without an early exit, which vectorises (NVEC_KERNEL), and the test
// stops after the first block that shows both: within the first block for
// random input.
template <class T>
NVEC_KERNEL void Monotony(const T* a, std::size_t n, bool* downPtr, bool* upPtr) noexcept {
    unsigned down = 0;
    unsigned up = 0;
    for (std::size_t begin = 1; begin < n && (down == 0 || up == 0); begin += 256) {
        const std::size_t end = std::min(n, begin + 256);
        unsigned blockDown = 0;
        unsigned blockUp = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const SortKey<T> k = KeyOf(a[i]);
            const SortKey<T> prev = KeyOf(a[i - 1]);
            blockDown |= k < prev ? 1u : 0u;
            blockUp |= k > prev ? 1u : 0u;
        }
        down |= blockDown;
        up |= blockUp;
    }
    *downPtr = down != 0;
    *upPtr = up != 0;
}

// The AND and the OR of the keys of a[0, n), n >= 1: a loop that
// vectorises (NVEC_KERNEL).
template <class T>
NVEC_KERNEL void CommonBits(const T* a, std::size_t n, SortKey<T>* allPtr,
                            SortKey<T>* anyPtr) noexcept {
    SortKey<T> all = KeyOf(a[0]);
    SortKey<T> any = all;
    for (std::size_t i = 1; i < n; ++i) {
        const SortKey<T> k = KeyOf(a[i]);
        all &= k;
        any |= k;
    }
    *allPtr = all;
    *anyPtr = any;
}

// A floating element's bits without the sign, which are above infinity's
// exactly for a NaN and 0 exactly for a zero: integer tests, which
// vectorise where floating comparisons in selects do not.
template <class T>
SortKey<T> MagnitudeBits(T v) noexcept {
    using Bits = SortKey<T>;
    Bits bits;
    std::memcpy(&bits, &v, sizeof bits);
    return static_cast<Bits>(bits & static_cast<Bits>(~kKeySign<Bits>));
}
template <class T>
inline constexpr SortKey<T> kInfinityBits =
    std::bit_cast<SortKey<T>>(std::numeric_limits<T>::infinity());

// The number of NaNs in a[0, n) (NVEC_KERNEL).
template <class T>
NVEC_KERNEL std::size_t CountNans(const T* a, std::size_t n) noexcept {
    using Bits = SortKey<T>;
    Bits nans = 0;
    for (std::size_t i = 0; i < n; ++i) {
        nans = static_cast<Bits>(nans + (MagnitudeBits(a[i]) > kInfinityBits<T> ? 1 : 0));
    }
    return static_cast<std::size_t>(nans);
}

// The AND, the OR, the smallest and the largest of the keys added, and for
// floating elements the NaNs among them.
template <class Key>
struct KeyRange {
    Key all = static_cast<Key>(~Key{0});
    Key any = 0;
    Key min = static_cast<Key>(~Key{0});
    Key max = 0;
    Key nans = 0;
    void Add(Key k) noexcept {
        all &= k;
        any |= k;
        min = std::min(min, k);
        max = std::max(max, k);
    }
};

// What ElementsToKeys gathers about the keys besides writing them: nothing,
// their AND and OR, or those and their smallest and largest. Each costs a
// part of the pass: the smallest and largest of 8-byte keys take several
// instructions a vector where the AND and OR take one.
enum class KeyFacts { kNone, kBits, kBounds };

// Turns each element of a[0, n) into its key, in its own storage (memcpy,
// which makes a key object there), and gives what kFacts asks for of the
// keys (the rest of the range as it starts), with the count of NaNs of
// floating elements unless kFacts is kNone: one read for all
// (NVEC_KERNEL).
template <class T, KeyFacts kFacts>
NVEC_KERNEL KeyRange<SortKey<T>> ElementsToKeys(T* a, std::size_t n) noexcept {
    using Key = SortKey<T>;
    KeyRange<Key> range;
    for (std::size_t i = 0; i < n; ++i) {
        Key bits;
        std::memcpy(&bits, a + i, sizeof bits);
        if constexpr (std::is_floating_point_v<T> && kFacts != KeyFacts::kNone) {
            range.nans =
                static_cast<Key>(range.nans + (MagnitudeBits(a[i]) > kInfinityBits<T> ? 1 : 0));
        }
        bits = KeyOfBits<T>(bits);
        std::memcpy(a + i, &bits, sizeof bits);
        if constexpr (kFacts == KeyFacts::kBounds) {
            range.Add(bits);
        } else if constexpr (kFacts == KeyFacts::kBits) {
            range.all &= bits;
            range.any |= bits;
        }
    }
    return range;
}

// ElementsToKeys undone.
template <class T>
NVEC_KERNEL void KeysToElements(T* a, std::size_t n) noexcept {
    using Key = SortKey<T>;
    for (std::size_t i = 0; i < n; ++i) {
        Key bits;
        std::memcpy(&bits, a + i, sizeof bits);
        bits = BitsOfKey<T>(bits);
        std::memcpy(a + i, &bits, sizeof bits);
    }
}

// The keys that ElementsToKeys left in a's storage.
template <class T>
SortKey<T>* KeysIn(T* a) noexcept {
    return std::launder(reinterpret_cast<SortKey<T>*>(a));
}

// KeysToElements from a separate array of keys into a.
template <class T>
NVEC_KERNEL void KeysToElementsFrom(const SortKey<T>* __restrict keys, T* __restrict a,
                                    std::size_t n) noexcept {
    using Key = SortKey<T>;
    for (std::size_t i = 0; i < n; ++i) {
        const Key bits = BitsOfKey<T>(keys[i]);
        std::memcpy(a + i, &bits, sizeof bits);
    }
}

// From this many 8-byte keys on, the vector sort is preceded by one
// spreading pass: beyond the caches, counting the keys by a digit and
// moving each key to its digit's run of a work array costs less than the
// eight levels of partitioning that it replaces. (For 4-byte keys, whose
// partition moves twice as many keys a step, it does not pay.)
inline constexpr std::size_t kSpreadMin = std::size_t{3} << 21;

// Whether the spreading pass pays for n keys of 8 bytes: not on Intel's
// processors nor on AMD's Zen 5, where its writes to 256 places beyond
// the caches cost more than the partitions they replace (10^7 random
// doubles without it: 148 instead of 174 ms on a Xeon, 66 instead of 80
// on a Zen 5; long longs 134 instead of 150, 65 instead of 70).
inline bool SpreadPays(std::size_t n) noexcept {
    return n >= kSpreadMin && ProcessorSortWays().spread;
}

// The spreading pass's fine digit of a key: the top kFineBits bits of its
// offset from the smallest key; kSamples keys evenly spread are counted by
// it.
inline constexpr int kFineBits = 16;
inline constexpr std::size_t kSamples = 4096;

// Moves keys[0, n) to work[0, n) into runs by run(key), a run number below
// 256 that does not decrease as the key grows, and sorts each run: the
// keys end in order.
template <class K, class Run>
void SpreadRuns(const K* keys, K* work, std::size_t n, Run run) noexcept {
    std::uint32_t start[257] = {};
    for (std::size_t i = 0; i < n; ++i) ++start[run(keys[i]) + 1];
    for (unsigned r = 0; r < 256; ++r) start[r + 1] += start[r];
    std::uint32_t next[256];
    std::copy(start, start + 256, next);
    for (std::size_t i = 0; i < n; ++i) {
        const K k = keys[i];
        work[next[run(k)]++] = k;
    }
    for (unsigned r = 0; r < 256; ++r) VectorSortKeys(work + start[r], start[r + 1] - start[r]);
}

// Sorts keys[0, n) (n < 2^32), whose smallest is at least min and largest
// at most max, by the vector sort; where work is not null and n at least
// kSpreadMin, first spreads them over 256 runs of work[0, n), in order,
// each run then sorted on its own. A sample of the keys' fine digits
// chooses the runs: the top 8 bits of the offset (the fine digit's top
// byte) where that leaves no run with more than an eighth of the sample
// (uniform integers); else, where no fine digit holds an eighth, runs by
// the sample's distribution, fine digit b going to run 256 x (the sampled
// keys below digit b) / (the sample), at most 255, through a table
// (floating values, whose keys crowd into a few exponents: the table's
// look-up costs about a tenth of the sort); else (one fine digit holding
// more than an eighth) the keys are sorted in place, at the cost of the
// sample alone. Gives the array that holds the
// result: keys or work.
template <class K>
K* SpreadAndSort(K* keys, K* work, std::size_t n, K min, K max) noexcept {
    constexpr std::size_t kFine = std::size_t{1} << kFineBits;
    std::unique_ptr<std::uint32_t[], FreeDeleter> fineCounts;
    std::unique_ptr<std::uint8_t[], FreeDeleter> runOf;
    if (work != nullptr && n >= kSpreadMin) {
        fineCounts.reset(static_cast<std::uint32_t*>(std::calloc(kFine, sizeof(std::uint32_t))));
        runOf.reset(static_cast<std::uint8_t*>(std::malloc(kFine)));
    }
    if (!fineCounts || !runOf) {
        VectorSortKeys(keys, n);
        return keys;
    }
    const int shift =
        std::max(static_cast<int>(std::bit_width(static_cast<K>(max - min))) - kFineBits, 0);
    auto fine = [min, shift](K k) {
        return static_cast<std::size_t>(static_cast<K>(k - min) >> shift);
    };
    std::uint32_t* c = fineCounts.get();
    constexpr std::size_t samples = kSamples;
    const std::size_t step = n / samples;
    for (std::size_t i = 0; i < samples; ++i) ++c[fine(keys[i * step])];
    std::uint32_t largestByte = 0;
    for (std::size_t r = 0; r < 256; ++r) {
        largestByte = std::max(largestByte, std::accumulate(c + 256 * r, c + 256 * (r + 1), 0u));
    }
    if (largestByte <= samples / 8) {
        SpreadRuns(keys, work, n, [fine](K k) { return fine(k) >> 8; });
        return work;
    }
    if (*std::max_element(c, c + kFine) > samples / 8) {
        VectorSortKeys(keys, n);
        return keys;
    }
    std::uint8_t* run = runOf.get();
    std::uint64_t below = 0;
    for (std::size_t b = 0; b < kFine; ++b) {
        // Digits above every sampled key (below == samples) go to the last.
        run[b] = static_cast<std::uint8_t>(std::min<std::uint64_t>(below * 256 / samples, 255));
        below += c[b];
    }
    SpreadRuns(keys, work, n, [fine, run](K k) { return run[fine(k)]; });
    return work;
}

// Sorts n NaN-free elements of 4 or 8 bytes by the vector sort of their
// keys.
template <class T>
void VectorSortNumbers(T* a, std::size_t n) noexcept {
    ElementsToKeys<T, KeyFacts::kNone>(a, n);
    VectorSortKeys(KeysIn(a), n);
    KeysToElements(a, n);
}

// Sorts n elements ascending, NaN-free unless nansPossible; where they may
// hold a NaN, gives false, a unchanged, when they do (true when sorted).
// The key pass of the vector sort counts them; elsewhere a pass of its
// own, or only when the elements are found in order already.
template <class T>
bool SortNumbers(T* a, std::size_t n, [[maybe_unused]] bool nansPossible = false) noexcept {
    using Key = SortKey<T>;
    using R = ValueRules<T>;
    constexpr bool kVector = sizeof(T) >= 4;
    if constexpr (std::is_floating_point_v<T>) {
        const bool keyPassCounts = VectorSortAvailable() && n >= kInPlaceMax;
        if (nansPossible && !keyPassCounts && CountNans(a, n) > 0) return false;
    }
    if (n < kInPlaceMax) {
        if constexpr (kVector) {
            if (VectorSortAvailable()) {
                VectorSortNumbers(a, n);
                return true;
            }
        }
        InPlaceRadixSort(a, n, 8 * static_cast<int>(sizeof(T)));
        return true;
    }
    bool down;
    bool up;
    Monotony(a, n, &down, &up);
    if (!down || !up) {
        if constexpr (std::is_floating_point_v<T>) {
            if (nansPossible && VectorSortAvailable() && CountNans(a, n) > 0) return false;
        }
        if (!down) return true;
        std::reverse(a, a + n);
        return true;
    }
    // The bits that vary, [lo, hi); the keys then lie within 2^(hi - lo)
    // values of the AND, shifted right by lo.
    Key all;
    Key any;
    if constexpr (kVector) {
        // The vector sort's keys and the bits that vary from one read;
        // keys that span few values are counted instead.
        if (VectorSortAvailable()) {
            // The spreading pass alone needs the smallest and largest key.
            const bool spread = sizeof(T) == 8 && SpreadPays(n);
            const KeyRange<Key> range = spread ? ElementsToKeys<T, KeyFacts::kBounds>(a, n)
                                               : ElementsToKeys<T, KeyFacts::kBits>(a, n);
            if (nansPossible && range.nans > 0) {
                KeysToElements(a, n);
                return false;
            }
            all = range.all;
            any = range.any;
            int lo;
            int hi;
            VaryingBits(all, any, &lo, &hi);
            Key* keys = KeysIn(a);
            const bool count =
                CountingPays(hi - lo, n, lo, [keys](std::size_t i) { return keys[i]; });
            if (!count) {
                std::uint32_t* counters = nullptr;
                std::unique_ptr<Key[], FreeDeleter> work;
                if (spread) work = NewWorkBuffer<Key>(n, 0, &counters);
                const Key* sorted = SpreadAndSort(keys, work.get(), n, range.min, range.max);
                if (sorted != keys) {
                    KeysToElementsFrom(sorted, a, n);
                } else {
                    KeysToElements(a, n);
                }
                return true;
            }
            KeysToElements(a, n);
            if (CountingSort(a, n, all, lo, hi - lo)) return true;
            VectorSortNumbers(a, n);
            return true;
        }
    }
    CommonBits(a, n, &all, &any);
    int lo;
    int hi;
    VaryingBits(all, any, &lo, &hi);
    if (CountingPays(hi - lo, n, lo, [a](std::size_t i) { return KeyOf(a[i]); }) &&
        CountingSort(a, n, all, lo, hi - lo)) {
        return true;
    }
    const int maxBits = MaxDigitBits(n);
    std::uint32_t* counters = nullptr;
    auto work = NewWorkBuffer<T>(n, maxBits, &counters);
    if (!work) {
        InPlaceRadixSort(a, n, hi);
        return true;
    }
    MsdSort<R>(a, work.get(), n, lo, hi, true, maxBits, counters, 0);
    return true;
}

}  // namespace nvec
