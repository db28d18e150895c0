// The AVX-512 quicksort of unsigned keys (vector_sort.h).
//
// A range of more than kBase keys (16 vector registers' worth) is split
// around a pivot, the median of 64 keys sampled across it, by a
// vectorised partition that needs no second array: the first and the last
// vector of the range are held in registers, which leaves one vector of
// room at each end; each step reads the next vector from the end with less
// room, compresses the keys below the pivot to the front of the room at the
// left and the others to the back of the room at the right. Reading from
// the end with less room keeps at least one vector of room at both ends, so
// every store is a whole vector, its unused lanes falling in the room. The
// smaller part is sorted by recursion, the larger by the loop. When no key
// is below the pivot (the pivot is the range's smallest key), the keys equal
// to it are split off instead, and they are done: every split makes
// progress, and ranges of equal keys end at once. A range that is still
// being split after 2 log2(n) + 4 levels (inputs built against the
// sampling) goes to std::sort, which bounds the time by n log n.
//
// A range of at most kBase keys is loaded into 1, 2, 4, 8 or 16 registers,
// the lanes past its end filled with the largest key, sorted there by a
// bitonic network with ascending comparators only (the same network as the
// portable sorts' small networks), and stored back with the filler lanes
// masked off. Filler keys equal to real ones are equal keys, so which lanes
// are stored does not matter.
//
// The functions that use AVX-512 carry the instruction set in their target
// attribute, and only VectorSortKeys, after the processor check, calls
// them; the rest of the library is built for the baseline processor.

#include "vector_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define NVEC_AVX512_SORT 1
// GCC 12's minimum, maximum and permutation intrinsics start from a
// self-initialised "undefined" vector, which -Wuninitialized reports
// where they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#else
#define NVEC_AVX512_SORT 0
#endif

namespace nvec {

#if NVEC_AVX512_SORT

namespace {

#define NVEC_AVX512 __attribute__((target("avx512f,popcnt")))
#define NVEC_AVX512_INLINE __attribute__((target("avx512f,popcnt"), always_inline)) inline

// The lane operations on keys of one width; masks as unsigned, one bit a
// lane.
template <class K>
struct Lanes;

template <>
struct Lanes<std::uint64_t> {
    using K = std::uint64_t;
    static constexpr int kCount = 8;
    static NVEC_AVX512_INLINE __m512i Load(const K* p) { return _mm512_loadu_si512(p); }
    static NVEC_AVX512_INLINE __m512i LoadOr(unsigned m, const K* p, __m512i fill) {
        return _mm512_mask_loadu_epi64(fill, static_cast<__mmask8>(m), p);
    }
    static NVEC_AVX512_INLINE void Store(K* p, __m512i v) { _mm512_storeu_si512(p, v); }
    static NVEC_AVX512_INLINE void StoreMasked(K* p, unsigned m, __m512i v) {
        _mm512_mask_storeu_epi64(p, static_cast<__mmask8>(m), v);
    }
    static NVEC_AVX512_INLINE __m512i Set1(K k) {
        return _mm512_set1_epi64(static_cast<long long>(k));
    }
    static NVEC_AVX512_INLINE __m512i Min(__m512i a, __m512i b) { return _mm512_min_epu64(a, b); }
    static NVEC_AVX512_INLINE __m512i Max(__m512i a, __m512i b) { return _mm512_max_epu64(a, b); }
    static NVEC_AVX512_INLINE unsigned Less(__m512i a, __m512i b) {
        return _mm512_cmplt_epu64_mask(a, b);
    }
    static NVEC_AVX512_INLINE unsigned LessEq(__m512i a, __m512i b) {
        return _mm512_cmple_epu64_mask(a, b);
    }
    static NVEC_AVX512_INLINE __m512i Compress(unsigned m, __m512i v) {
        return _mm512_maskz_compress_epi64(static_cast<__mmask8>(m), v);
    }
    static NVEC_AVX512_INLINE __m512i Expand(unsigned m, __m512i v) {
        return _mm512_maskz_expand_epi64(static_cast<__mmask8>(m), v);
    }
    static NVEC_AVX512_INLINE __m512i Permute(__m512i idx, __m512i v) {
        return _mm512_permutexvar_epi64(idx, v);
    }
    // Lanes of b where m is set, of a elsewhere.
    static NVEC_AVX512_INLINE __m512i Blend(unsigned m, __m512i a, __m512i b) {
        return _mm512_mask_blend_epi64(static_cast<__mmask8>(m), a, b);
    }
};

template <>
struct Lanes<std::uint32_t> {
    using K = std::uint32_t;
    static constexpr int kCount = 16;
    static NVEC_AVX512_INLINE __m512i Load(const K* p) { return _mm512_loadu_si512(p); }
    static NVEC_AVX512_INLINE __m512i LoadOr(unsigned m, const K* p, __m512i fill) {
        return _mm512_mask_loadu_epi32(fill, static_cast<__mmask16>(m), p);
    }
    static NVEC_AVX512_INLINE void Store(K* p, __m512i v) { _mm512_storeu_si512(p, v); }
    static NVEC_AVX512_INLINE void StoreMasked(K* p, unsigned m, __m512i v) {
        _mm512_mask_storeu_epi32(p, static_cast<__mmask16>(m), v);
    }
    static NVEC_AVX512_INLINE __m512i Set1(K k) { return _mm512_set1_epi32(static_cast<int>(k)); }
    static NVEC_AVX512_INLINE __m512i Min(__m512i a, __m512i b) { return _mm512_min_epu32(a, b); }
    static NVEC_AVX512_INLINE __m512i Max(__m512i a, __m512i b) { return _mm512_max_epu32(a, b); }
    static NVEC_AVX512_INLINE unsigned Less(__m512i a, __m512i b) {
        return _mm512_cmplt_epu32_mask(a, b);
    }
    static NVEC_AVX512_INLINE unsigned LessEq(__m512i a, __m512i b) {
        return _mm512_cmple_epu32_mask(a, b);
    }
    static NVEC_AVX512_INLINE __m512i Compress(unsigned m, __m512i v) {
        return _mm512_maskz_compress_epi32(static_cast<__mmask16>(m), v);
    }
    static NVEC_AVX512_INLINE __m512i Expand(unsigned m, __m512i v) {
        return _mm512_maskz_expand_epi32(static_cast<__mmask16>(m), v);
    }
    static NVEC_AVX512_INLINE __m512i Permute(__m512i idx, __m512i v) {
        return _mm512_permutexvar_epi32(idx, v);
    }
    static NVEC_AVX512_INLINE __m512i Blend(unsigned m, __m512i a, __m512i b) {
        return _mm512_mask_blend_epi32(static_cast<__mmask16>(m), a, b);
    }
};

// Lane i of a permutation that gives every lane i the lane i ^ x.
template <class K, int x>
inline constexpr auto kXorIndex = [] {
    std::array<K, 64 / sizeof(K)> idx{};
    for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<K>(i ^ x);
    return idx;
}();

// The lanes whose bit `bit` is set: those that take the larger key of
// their pair.
template <int lanes, int bit>
inline constexpr unsigned kUpperLanes = [] {
    unsigned m = 0;
    for (int i = 0; i < lanes; ++i) m |= (i & bit) != 0 ? 1u << i : 0u;
    return m;
}();

template <class K>
inline constexpr unsigned kAllLanes = (1u << Lanes<K>::kCount) - 1;

// One comparator step within each register: lane i against lane i ^ x,
// the smaller key to the lane whose bit `bit` is clear.
template <class K, int R, int x, int bit>
NVEC_AVX512_INLINE void InRegisterStep(__m512i* v) {
    using L = Lanes<K>;
    const __m512i idx = _mm512_loadu_si512(kXorIndex<K, x>.data());
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        const __m512i w = L::Permute(idx, v[r]);
        v[r] = L::Blend(kUpperLanes<L::kCount, bit>, L::Min(v[r], w), L::Max(v[r], w));
    }
}

// The first step of merging blocks of `size` keys: key i against key
// i ^ (size - 1).
template <class K, int R, int size>
NVEC_AVX512_INLINE void FlipStep(__m512i* v) {
    using L = Lanes<K>;
    constexpr int kLanes = L::kCount;
    if constexpr (size <= kLanes) {
        InRegisterStep<K, R, size - 1, size / 2>(v);
    } else {
        const __m512i rev = _mm512_loadu_si512(kXorIndex<K, kLanes - 1>.data());
        constexpr int kFlip = size / kLanes - 1;
#pragma GCC unroll 16
        for (int r = 0; r < R; ++r) {
            const int p = r ^ kFlip;
            if (p > r) {
                const __m512i b = L::Permute(rev, v[p]);
                const __m512i lo = L::Min(v[r], b);
                const __m512i hi = L::Max(v[r], b);
                v[r] = lo;
                v[p] = L::Permute(rev, hi);
            }
        }
    }
}

// The further steps of that merge: key i against key i ^ stride, for
// stride = size / 4 down to 1.
template <class K, int R, int stride>
NVEC_AVX512_INLINE void StrideSteps(__m512i* v) {
    using L = Lanes<K>;
    constexpr int kLanes = L::kCount;
    if constexpr (stride < kLanes) {
        InRegisterStep<K, R, stride, stride>(v);
    } else {
        constexpr int kApart = stride / kLanes;
#pragma GCC unroll 16
        for (int r = 0; r < R; ++r) {
            const int p = r ^ kApart;
            if (p > r) {
                const __m512i lo = L::Min(v[r], v[p]);
                const __m512i hi = L::Max(v[r], v[p]);
                v[r] = lo;
                v[p] = hi;
            }
        }
    }
    if constexpr (stride > 1) StrideSteps<K, R, stride / 2>(v);
}

template <class K, int R, int size>
NVEC_AVX512_INLINE void Merges(__m512i* v) {
    FlipStep<K, R, size>(v);
    if constexpr (size >= 4) StrideSteps<K, R, size / 4>(v);
    if constexpr (size < R * Lanes<K>::kCount) Merges<K, R, 2 * size>(v);
}

// Sorts the keys of R registers, in lane order across the registers.
template <class K, int R>
NVEC_AVX512_INLINE void SortRegisters(__m512i* v) {
    Merges<K, R, 2>(v);
}

// Sorts a[0, n), n <= R lanes of registers.
template <class K, int R>
NVEC_AVX512 void SortBlock(K* a, std::size_t n) {
    using L = Lanes<K>;
    constexpr int kLanes = L::kCount;
    const __m512i fill = L::Set1(static_cast<K>(~K{0}));
    __m512i v[R];
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        const std::size_t begin = static_cast<std::size_t>(r) * kLanes;
        const std::size_t have = n > begin ? std::min<std::size_t>(n - begin, kLanes) : 0;
        v[r] = L::LoadOr(kAllLanes<K> >> (kLanes - have), a + begin, fill);
    }
    SortRegisters<K, R>(v);
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        const std::size_t begin = static_cast<std::size_t>(r) * kLanes;
        const std::size_t have = n > begin ? std::min<std::size_t>(n - begin, kLanes) : 0;
        L::StoreMasked(a + begin, kAllLanes<K> >> (kLanes - have), v[r]);
    }
}

// Vectors that the partition reads at a time.
inline constexpr std::size_t kUnroll = 4;

// Ranges of at most this many keys are sorted in registers.
template <class K>
inline constexpr std::size_t kBase = 16 * Lanes<K>::kCount;

template <class K>
NVEC_AVX512 void SortSmall(K* a, std::size_t n) {
    constexpr std::size_t kLanes = Lanes<K>::kCount;
    if (n <= 1) return;
    if (n <= kLanes) {
        SortBlock<K, 1>(a, n);
    } else if (n <= 2 * kLanes) {
        SortBlock<K, 2>(a, n);
    } else if (n <= 4 * kLanes) {
        SortBlock<K, 4>(a, n);
    } else if (n <= 8 * kLanes) {
        SortBlock<K, 8>(a, n);
    } else {
        SortBlock<K, 16>(a, n);
    }
}

// The median of 64 keys of a[0, n), n > kBase: a vector's worth at each of
// 64 / lanes places spread over the range, sorted in registers.
template <class K>
NVEC_AVX512 K ChoosePivot(const K* a, std::size_t n) {
    using L = Lanes<K>;
    constexpr int kLanes = L::kCount;
    constexpr int kRegs = 64 / kLanes;
    __m512i v[kRegs];
    const std::size_t last = n - kLanes;
#pragma GCC unroll 8
    for (int r = 0; r < kRegs; ++r) v[r] = L::Load(a + last * r / (kRegs - 1));
    SortRegisters<K, kRegs>(v);
    K sample[64];
#pragma GCC unroll 8
    for (int r = 0; r < kRegs; ++r) L::Store(sample + r * kLanes, v[r]);
    return sample[32];
}

template <class K, bool orEqual>
NVEC_AVX512_INLINE unsigned FrontLanes(__m512i v, __m512i pivot) {
    return orEqual ? Lanes<K>::LessEq(v, pivot) : Lanes<K>::Less(v, pivot);
}

// Stores the `valid` keys of v that go to the front at a[*writeLeft, ...)
// and the others at a[..., *writeRight), with masked stores.
template <class K, bool orEqual>
NVEC_AVX512_INLINE void PlaceLast(K* a, __m512i v, unsigned valid, __m512i pivot,
                                  std::size_t* writeLeft, std::size_t* writeRight) {
    using L = Lanes<K>;
    constexpr unsigned kAll = kAllLanes<K>;
    constexpr int kLanes = L::kCount;
    const unsigned m = FrontLanes<K, orEqual>(v, pivot) & valid;
    const int count = std::popcount(m);
    const int others = std::popcount(valid & ~m);
    L::StoreMasked(a + *writeLeft, kAll >> (kLanes - count), L::Compress(m, v));
    *writeLeft += static_cast<std::size_t>(count);
    *writeRight -= static_cast<std::size_t>(others);
    L::StoreMasked(a + *writeRight, kAll >> (kLanes - others), L::Compress(valid & ~m, v));
}

// Stores the keys of v that go to the front (mask m) at a[*writeLeft,
// ...) and the others at a[..., *writeRight), each with a whole vector
// store: at least one vector of room must lie at both places.
template <class K>
NVEC_AVX512_INLINE void PlaceVector(K* a, __m512i v, unsigned m, std::size_t* writeLeft,
                                    std::size_t* writeRight) {
    using L = Lanes<K>;
    constexpr unsigned kAll = kAllLanes<K>;
    constexpr std::size_t kLanes = L::kCount;
    const auto count = static_cast<unsigned>(std::popcount(m));
    L::Store(a + *writeLeft, L::Compress(m, v));
    *writeLeft += count;
    // The other keys into the top lanes, which land just below writeRight.
    L::Store(a + *writeRight - kLanes, L::Expand((kAll << count) & kAll, L::Compress(~m, v)));
    *writeRight -= kLanes - count;
}

// Moves the keys of a[0, n), n >= 2 * kHeld lanes, that are below the
// pivot (at most the pivot when orEqual) to the front; returns their
// count.
template <class K, bool orEqual>
NVEC_AVX512 std::size_t Partition(K* a, std::size_t n, K pivotKey) {
    using L = Lanes<K>;
    constexpr std::size_t kLanes = L::kCount;
    constexpr unsigned kAll = kAllLanes<K>;
    constexpr std::size_t kBlock = kUnroll * kLanes;
    const __m512i pivot = L::Set1(pivotKey);
    __m512i held[2 * kUnroll];
#pragma GCC unroll 8
    for (std::size_t r = 0; r < kUnroll; ++r) {
        held[r] = L::Load(a + r * kLanes);
        held[kUnroll + r] = L::Load(a + n - kBlock + r * kLanes);
    }
    // Unread keys: [readLeft, readRight); room: [writeLeft, readLeft) and
    // [readRight, writeRight), together 2 kUnroll vectors. Blocks of
    // kUnroll vectors are read from the end with less room, which leaves
    // at least kUnroll vectors of room at both ends for their stores. The
    // end is chosen without a branch, which random keys would mispredict
    // half the time, and the vectors of a block do not wait on one
    // another.
    std::size_t readLeft = kBlock;
    std::size_t readRight = n - kBlock;
    std::size_t writeLeft = 0;
    std::size_t writeRight = n;
    while (readRight - readLeft >= kBlock) {
        const std::size_t left =
            std::size_t{0} - static_cast<std::size_t>(readLeft - writeLeft <= writeRight - readRight);
        const std::size_t at = (readLeft & left) | ((readRight - kBlock) & ~left);
        readLeft += kBlock & left;
        readRight -= kBlock & ~left;
        __m512i v[kUnroll];
        unsigned m[kUnroll];
#pragma GCC unroll 8
        for (std::size_t r = 0; r < kUnroll; ++r) {
            v[r] = L::Load(a + at + r * kLanes);
            m[r] = FrontLanes<K, orEqual>(v[r], pivot);
        }
#pragma GCC unroll 8
        for (std::size_t r = 0; r < kUnroll; ++r) PlaceVector(a, v[r], m[r], &writeLeft, &writeRight);
    }
    // Single vectors, then the keys left over, then those held: room stays
    // enough at both ends.
    while (readRight - readLeft >= kLanes) {
        const std::size_t left =
            std::size_t{0} - static_cast<std::size_t>(readLeft - writeLeft <= writeRight - readRight);
        const std::size_t at = (readLeft & left) | ((readRight - kLanes) & ~left);
        readLeft += kLanes & left;
        readRight -= kLanes & ~left;
        const __m512i v = L::Load(a + at);
        PlaceVector(a, v, FrontLanes<K, orEqual>(v, pivot), &writeLeft, &writeRight);
    }
    // What is left is in registers, and [writeLeft, writeRight) is room for
    // exactly those keys.
    const auto rest = static_cast<int>(readRight - readLeft);
    if (rest > 0) {
        const unsigned valid = kAll >> (static_cast<int>(kLanes) - rest);
        PlaceLast<K, orEqual>(a, L::LoadOr(valid, a + readLeft, L::Set1(0)), valid, pivot,
                              &writeLeft, &writeRight);
    }
#pragma GCC unroll 8
    for (std::size_t r = 0; r < 2 * kUnroll; ++r) {
        PlaceLast<K, orEqual>(a, held[r], kAll, pivot, &writeLeft, &writeRight);
    }
    return writeLeft;
}

template <class K>
NVEC_AVX512 void QuickSort(K* a, std::size_t n, int levels) {
    while (n > kBase<K>) {
        if (levels-- == 0) {
            std::sort(a, a + n);
            return;
        }
        const K pivot = ChoosePivot(a, n);
        std::size_t split = Partition<K, false>(a, n, pivot);
        if (split == 0) {
            // The pivot is the smallest key: its equals are done.
            split = Partition<K, true>(a, n, pivot);
            a += split;
            n -= split;
            continue;
        }
        if (split < n - split) {
            QuickSort(a, split, levels);
            a += split;
            n -= split;
        } else {
            QuickSort(a + split, n - split, levels);
            n = split;
        }
    }
    SortSmall(a, n);
}

bool Detect() noexcept {
    const char* off = std::getenv("NVEC_NO_AVX512");
    if (off != nullptr && *off != '\0') return false;
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("popcnt");
}

template <class K>
void SortKeys(K* keys, std::size_t n) noexcept {
    if (!VectorSortAvailable() || n < 2) return;
    QuickSort(keys, n, 2 * static_cast<int>(std::bit_width(n)) + 4);
}

}  // namespace

bool VectorSortAvailable() noexcept {
    static const bool available = Detect();
    return available;
}

void VectorSortKeys(std::uint32_t* keys, std::size_t n) noexcept { SortKeys(keys, n); }
void VectorSortKeys(std::uint64_t* keys, std::size_t n) noexcept { SortKeys(keys, n); }

#pragma GCC diagnostic pop

#else

bool VectorSortAvailable() noexcept { return false; }
void VectorSortKeys(std::uint32_t*, std::size_t) noexcept {}
void VectorSortKeys(std::uint64_t*, std::size_t) noexcept {}

#endif

}  // namespace nvec
