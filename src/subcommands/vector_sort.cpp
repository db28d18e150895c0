// The AVX-512 quicksort of unsigned keys (vector_sort.h).
//
// A range of more than kBase keys (16 vector registers' worth) is split
// around a pivot, the median of 64 keys sampled across it (16 in small
// ranges), by a vectorised partition that needs no second array: the first
// and the last kUnroll vectors of the range are held in registers, which
// leaves that much room at each end; each step reads the next kUnroll
// vectors from the end with less room and stores the keys of each vector
// below the pivot to the front of the room at the left and the others to
// the back of the room at the right. Reading from the end with less room
// keeps enough room at both ends, so every store is a whole vector, its
// unused lanes falling in the room (keys are put in that order by one
// permutation from a table of the 256 masks of 8 lanes, 32-bit keys as two
// halves of 8; on Intel's processors and AMD's Zen 5, 32-bit keys by two
// compressions). The smaller part is sorted by recursion, the larger by
// the loop. When no key is below the pivot (the pivot is the range's
// smallest key), the keys equal to it are split off instead, and they are
// done: every split makes progress, and ranges of equal keys end at once.
// A range that is still being split after 2 log2(n) + 4 levels (inputs
// built against the sampling) goes to std::sort, which bounds the time by
// n log n.
//
// A range of at most kBase keys is loaded into 1, 2, 4, 8 or 16 registers,
// the lanes past its end filled with the largest key, sorted there by a
// bitonic network with ascending comparators only (the same network as the
// portable sorts' small networks; over 16 registers in column order, see
// SortColumns), and stored back with the filler lanes masked off. Filler keys equal to real ones
// are equal keys, so which lanes are stored does not matter.
//
// The functions that use AVX-512 carry the instruction set in their target
// attribute, and only the entry points, after the processor check, call
// them; the rest of the library is built for the baseline processor.

#include "vector_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <string_view>

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
#include <cpuid.h>
#include <immintrin.h>
#else
#define NVEC_AVX512_SORT 0
#endif

namespace nvec {

namespace {

// The ways of each kind of processor (SortWays): on Intel's processors
// scattered writes beyond the caches cost several times what they cost on
// AMD's; the compressions take one step on Intel's and on AMD's Zen 5,
// two on Zen 4. Measured on 10^6 and 10^7 random elements: see where
// each is used.
constexpr SortWays kOtherWays{false, true, false, true};
[[maybe_unused]] constexpr SortWays kIntelWays{true, false, true, false};
[[maybe_unused]] constexpr SortWays kZen5Ways{true, false, true, true};

}  // namespace

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
    static NVEC_AVX512_INLINE unsigned NotEqual(__m512i a, __m512i b) {
        return _mm512_cmpneq_epu64_mask(a, b);
    }
    static NVEC_AVX512_INLINE __m512i Compress(unsigned m, __m512i v) {
        return _mm512_maskz_compress_epi64(static_cast<__mmask8>(m), v);
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
    static NVEC_AVX512_INLINE unsigned NotEqual(__m512i a, __m512i b) {
        return _mm512_cmpneq_epu32_mask(a, b);
    }
    static NVEC_AVX512_INLINE __m512i Compress(unsigned m, __m512i v) {
        return _mm512_maskz_compress_epi32(static_cast<__mmask16>(m), v);
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

// Register r against register p = r ^ flip, for r < p, with p's lanes
// permuted by idx (which undoes itself): the smaller keys to r, except in
// the lanes of `upper`, which take the larger.
template <class K, int R, int flip, unsigned upper>
NVEC_AVX512_INLINE void PermutedPairs(__m512i* v, __m512i idx) {
    using L = Lanes<K>;
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        const int p = r ^ flip;
        if (p > r) {
            const __m512i b = L::Permute(idx, v[p]);
            const __m512i lo = L::Min(v[r], b);
            const __m512i hi = L::Max(v[r], b);
            if constexpr (upper == 0) {
                v[r] = lo;
                v[p] = L::Permute(idx, hi);
            } else {
                v[r] = L::Blend(upper, lo, hi);
                v[p] = L::Permute(idx, L::Blend(upper, hi, lo));
            }
        }
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
        // Register r against register r ^ kFlip lane-reversed.
        const __m512i rev = _mm512_loadu_si512(kXorIndex<K, kLanes - 1>.data());
        PermutedPairs<K, R, size / kLanes - 1, 0>(v, rev);
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

// The same network over 16 registers in column order: key l * 16 + r of
// the network is lane l of register r. Its steps between keys whose
// numbers differ below bit 4 are then minimums and maximums of whole
// registers, with no permutation, and the first four merge sizes (sorting
// each lane's 16 keys) take no permutation at all: about half the
// operations of the lane order above. A transposition puts the keys in
// lane order at the end.
inline constexpr int kColumns = 16;

// Key i against key i ^ x, the smaller to the key whose bit `bit` is
// clear (bit is x's top bit).
template <class K, int x, int bit>
NVEC_AVX512_INLINE void ColumnStep(__m512i* v) {
    using L = Lanes<K>;
    constexpr int kR = kColumns;
    constexpr int xr = x % kR;
    constexpr int xl = x / kR;
    if constexpr (xl == 0) {
#pragma GCC unroll 16
        for (int r = 0; r < kR; ++r) {
            const int p = r ^ xr;
            if (p > r) {
                const __m512i lo = L::Min(v[r], v[p]);
                v[p] = L::Max(v[r], v[p]);
                v[r] = lo;
            }
        }
    } else if constexpr (xr == 0) {
        InRegisterStep<K, kR, xl, bit / kR>(v);
    } else {
        // Register r against register r ^ 15, its lane l against lane
        // l ^ xl there.
        static_assert(xr == kR - 1);
        const __m512i idx = _mm512_loadu_si512(kXorIndex<K, xl>.data());
        PermutedPairs<K, kR, xr, kUpperLanes<L::kCount, bit / kR>>(v, idx);
    }
}

template <class K, int stride>
NVEC_AVX512_INLINE void ColumnStrides(__m512i* v) {
    ColumnStep<K, stride, stride>(v);
    if constexpr (stride > 1) ColumnStrides<K, stride / 2>(v);
}

template <class K, int size>
NVEC_AVX512_INLINE void ColumnMerges(__m512i* v) {
    ColumnStep<K, size - 1, size / 2>(v);
    if constexpr (size >= 4) ColumnStrides<K, size / 4>(v);
    if constexpr (size < kColumns * Lanes<K>::kCount) ColumnMerges<K, 2 * size>(v);
}

// Lane j of the two permutations of one transposition step at distance d
// (lanes of the second source numbered from `lanes`): the first register
// keeps its lanes without bit d and takes the second's others; the second
// the reverse.
template <class K, int d, bool second>
inline constexpr auto kSwapIndex = [] {
    constexpr int lanes = 64 / sizeof(K);
    std::array<K, lanes> idx{};
    for (int j = 0; j < lanes; ++j) {
        const bool high = (j & d) != 0;
        idx[static_cast<std::size_t>(j)] =
            static_cast<K>(second ? (high ? lanes + j : j ^ d) : (high ? lanes + (j ^ d) : j));
    }
    return idx;
}();

// Transposes the square of registers v[first + i], i < lanes, and their
// lanes: each step swaps bit d of the register's number with bit d of the
// lane's, for d = 1, 2, 4 (and 8).
template <class K, int d>
NVEC_AVX512_INLINE void TransposeSteps(__m512i* v, int first) {
    using L = Lanes<K>;
    const __m512i keep = _mm512_loadu_si512(kSwapIndex<K, d, false>.data());
    const __m512i take = _mm512_loadu_si512(kSwapIndex<K, d, true>.data());
#pragma GCC unroll 16
    for (int i = 0; i < L::kCount; ++i) {
        if ((i & d) == 0) {
            __m512i& a = v[first + i];
            __m512i& b = v[first + (i ^ d)];
            __m512i na;
            __m512i nb;
            if constexpr (sizeof(K) == 8) {
                na = _mm512_permutex2var_epi64(a, keep, b);
                nb = _mm512_permutex2var_epi64(a, take, b);
            } else {
                na = _mm512_permutex2var_epi32(a, keep, b);
                nb = _mm512_permutex2var_epi32(a, take, b);
            }
            a = na;
            b = nb;
        }
    }
    if constexpr (2 * d < L::kCount) TransposeSteps<K, 2 * d>(v, first);
}

// Sorts the keys of 16 registers, in lane order across them.
template <class K>
NVEC_AVX512_INLINE void SortColumns(__m512i* v) {
    using L = Lanes<K>;
    ColumnMerges<K, 2>(v);
    if constexpr (L::kCount == 16) {
        // Key l * 16 + r, lane l of register r, goes to lane r of
        // register l.
        TransposeSteps<K, 1>(v, 0);
    } else {
        // Key l * 16 + r: lane r % 8 of register 2 l + r / 8. Each half of
        // the registers is transposed, then register 8 h + l of the result
        // is register 2 l + h.
        TransposeSteps<K, 1>(v, 0);
        TransposeSteps<K, 1>(v, 8);
        __m512i t[kColumns];
#pragma GCC unroll 16
        for (int r = 0; r < kColumns; ++r) t[r] = v[r];
#pragma GCC unroll 16
        for (int l = 0; l < 8; ++l) {
            v[2 * l] = t[l];
            v[2 * l + 1] = t[8 + l];
        }
    }
}

// The lanes of register r that hold one of n keys.
template <class K>
NVEC_AVX512_INLINE unsigned HeldLanes(int r, std::size_t n) {
    constexpr int kLanes = Lanes<K>::kCount;
    const std::size_t begin = static_cast<std::size_t>(r) * kLanes;
    const std::size_t have = n > begin ? std::min<std::size_t>(n - begin, kLanes) : 0;
    return kAllLanes<K> >> (kLanes - have);
}

// Sorts a[0, n), n <= R lanes of registers.
template <class K, int R>
NVEC_AVX512 void SortBlock(K* a, std::size_t n) {
    using L = Lanes<K>;
    constexpr int kLanes = L::kCount;
    const __m512i fill = L::Set1(static_cast<K>(~K{0}));
    __m512i v[R];
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) v[r] = L::LoadOr(HeldLanes<K>(r, n), a + r * kLanes, fill);
    if constexpr (R == kColumns) {
        SortColumns<K>(v);
    } else {
        SortRegisters<K, R>(v);
    }
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) L::StoreMasked(a + r * kLanes, HeldLanes<K>(r, n), v[r]);
}

// Vectors that the partition reads at a time.
inline constexpr std::size_t kUnroll = 8;

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

// The pivot of a range, and whether the sample held it more than once
// (the key is then frequent enough to be split off with its equals).
template <class K>
struct Pivot {
    K key;
    bool repeated;
    bool uniform;  // every key of the sample is the pivot
};

// Whether every key of a[0, n), n >= 1 lane, is k: vectors compared a few
// at a time, so that a range with another key stops soon.
template <class K>
NVEC_AVX512 bool AllEqual(const K* a, std::size_t n, K k) {
    using L = Lanes<K>;
    constexpr std::size_t kLanes = L::kCount;
    const __m512i key = L::Set1(k);
    std::size_t i = 0;
    for (; i + 4 * kLanes <= n; i += 4 * kLanes) {
        const unsigned differ = L::NotEqual(L::Load(a + i), key) |
                                L::NotEqual(L::Load(a + i + kLanes), key) |
                                L::NotEqual(L::Load(a + i + 2 * kLanes), key) |
                                L::NotEqual(L::Load(a + i + 3 * kLanes), key);
        if (differ != 0) return false;
    }
    for (; i < n; ++i) {
        if (a[i] != k) return false;
    }
    return true;
}

// The median of kSample keys of a[0, n), n > kBase: a vector's worth at
// each of kSample / lanes places spread over the range, sorted in
// registers.
template <class K, int kSample>
NVEC_AVX512 Pivot<K> SampleMedian(const K* a, std::size_t n) {
    using L = Lanes<K>;
    constexpr int kLanes = L::kCount;
    constexpr int kRegs = kSample / kLanes;
    __m512i v[kRegs];
    const std::size_t last = n - kLanes;
#pragma GCC unroll 8
    for (int r = 0; r < kRegs; ++r)
        v[r] = L::Load(a + (kRegs == 1 ? last / 2 : last * r / (kRegs - 1)));
    SortRegisters<K, kRegs>(v);
    K sample[kSample];
#pragma GCC unroll 8
    for (int r = 0; r < kRegs; ++r) L::Store(sample + r * kLanes, v[r]);
    constexpr int kMid = kSample / 2;
    return {sample[kMid], sample[kMid - 1] == sample[kMid] || sample[kMid + 1] == sample[kMid],
            sample[0] == sample[kSample - 1]};
}

// The pivot: the median of 64 keys, of 16 in ranges of at most 16 times
// kBase keys, whose partitions cost little more than the larger sample.
template <class K>
NVEC_AVX512 Pivot<K> ChoosePivot(const K* a, std::size_t n) {
    return n > 16 * kBase<K> ? SampleMedian<K, 64>(a, n) : SampleMedian<K, 16>(a, n);
}

template <class K, bool orEqual>
NVEC_AVX512_INLINE unsigned FrontLanes(__m512i v, __m512i pivot) {
    return orEqual ? Lanes<K>::LessEq(v, pivot) : Lanes<K>::Less(v, pivot);
}

// For each mask of 8 lanes, the lanes set in it and then the others, in
// order, as 32-bit lane indices: the permutation that puts the keys of 8
// lanes that go to the front first.
struct FrontFirstTable {
    alignas(32) std::uint32_t order[256][8];
};
inline constexpr FrontFirstTable kFrontFirst = [] {
    FrontFirstTable t{};
    for (unsigned m = 0; m < 256; ++m) {
        int k = 0;
        for (int pass = 0; pass < 2; ++pass) {
            for (unsigned lane = 0; lane < 8; ++lane) {
                if (((m >> lane) & 1u) == (pass == 0 ? 1u : 0u)) {
                    t.order[m][k++] = static_cast<std::uint32_t>(lane);
                }
            }
        }
    }
    return t;
}();

NVEC_AVX512_INLINE __m256i FrontFirst(unsigned m) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(kFrontFirst.order[m]));
}

// Where a partition writes: keys that go to the front at [left, ...), the
// others at [..., right).
struct Ends {
    std::size_t left;
    std::size_t right;
};

// Stores the `valid` keys of v that go to the front (mask m) and the
// others. Whole-vector stores when `whole` (a vector of room at both
// ends), else masked ones.
template <class K, bool whole, bool compress>
NVEC_AVX512_INLINE void PlaceVector(K* a, __m512i v, unsigned m, unsigned valid, Ends* at) {
    using L = Lanes<K>;
    constexpr unsigned kAll = kAllLanes<K>;
    constexpr int kLanes = L::kCount;
    const int count = std::popcount(m);
    const int others = std::popcount(valid & ~m);
    const std::size_t left = at->left;
    const std::size_t right = at->right - static_cast<std::size_t>(others);
    if constexpr (whole && kLanes == 8) {
        // One permutation puts the front keys first and the others last:
        // stored at the left end and just below the right end, each group
        // lands in its place.
        const __m512i w = L::Permute(_mm512_cvtepu32_epi64(FrontFirst(m)), v);
        L::Store(a + left, w);
        L::Store(a + at->right - kLanes, w);
    } else if constexpr (whole && !compress) {
        // Each half of 8 keys in that order by one permutation (cheaper
        // than compressions where those take two steps), the halves then
        // stored as above one after the other, as 8-key vectors.
        const unsigned lo = m & 0xFFu;
        const unsigned hi = m >> 8;
        const __m512i order = _mm512_add_epi32(
            _mm512_inserti64x4(_mm512_castsi256_si512(FrontFirst(lo)), FrontFirst(hi), 1),
            _mm512_set_epi32(8, 8, 8, 8, 8, 8, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0));
        const __m512i w = L::Permute(order, v);
        const __m256i low = _mm512_castsi512_si256(w);
        const __m256i high = _mm512_extracti64x4_epi64(w, 1);
        const int countLow = std::popcount(lo);
        const std::size_t rightLow = at->right - static_cast<std::size_t>(8 - countLow);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + left), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + at->right - 8), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + left + countLow), high);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + rightLow - 8), high);
    } else {
        // Two compressions and a masked store of each: where whole, on
        // processors whose compression takes one step (Intel's, AMD's
        // from Zen 5), cheaper than the four stores of halves above
        // (10^6 random ints 4 to 12 per cent less time on a Xeon, 8 on a
        // Zen 5).
        L::StoreMasked(a + left, kAll >> (kLanes - count), L::Compress(m, v));
        L::StoreMasked(a + right, kAll >> (kLanes - others), L::Compress(valid & ~m, v));
    }
    at->left = left + static_cast<std::size_t>(count);
    at->right = right;
}

// How many blocks ahead of its reads the partition asks for keys.
inline constexpr std::size_t kPrefetch = 4;

// Asks for the cache line of key i of a, which need not be a key of a: the
// address is computed as an integer.
template <class K>
NVEC_AVX512_INLINE void Prefetch(const K* a, std::size_t i) {
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(a) + i * sizeof(K);
    _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
}

// Moves the keys of a[0, n), n > kBase, that are below the pivot (at most
// the pivot when orEqual) to the front; returns their count.
template <class K, bool orEqual, bool compress>
NVEC_AVX512 std::size_t Partition(K* a, std::size_t n, K pivotKey) {
    using L = Lanes<K>;
    constexpr std::size_t kLanes = L::kCount;
    constexpr unsigned kAll = kAllLanes<K>;
    constexpr std::size_t kBlock = kUnroll * kLanes;
    const __m512i pivot = L::Set1(pivotKey);
    __m512i held[2 * kUnroll];
#pragma GCC unroll 16
    for (std::size_t r = 0; r < kUnroll; ++r) {
        held[r] = L::Load(a + r * kLanes);
        held[kUnroll + r] = L::Load(a + n - kBlock + r * kLanes);
    }
    // Unread keys: [readLeft, readRight); room: [at.left, readLeft) and
    // [readRight, at.right), together 2 kUnroll vectors. Blocks of kUnroll
    // vectors are read from the end with less room, which leaves at least
    // kUnroll vectors of room at both ends for their stores; the last few
    // vectors one at a time, for which that room also suffices. The end is
    // chosen without a branch, which random keys would mispredict half the
    // time, and the vectors of a block do not wait on one another.
    std::size_t readLeft = kBlock;
    std::size_t readRight = n - kBlock;
    Ends at{0, n};
    for (std::size_t step = kBlock; readRight - readLeft >= kLanes;) {
        if (readRight - readLeft < step) step = kLanes;
        const std::size_t left =
            std::size_t{0} - static_cast<std::size_t>(readLeft - at.left <= at.right - readRight);
        const std::size_t from = (readLeft & left) | ((readRight - step) & ~left);
        readLeft += step & left;
        readRight -= step & ~left;
        // Every cache line of the block some blocks further on at the end
        // just read requested early (the addresses may lie outside the
        // range; a prefetch never faults): the processor's own prefetch
        // does not follow reads that alternate between the ends. Beyond
        // the caches this saves about a fifth of the time (10^7 random
        // doubles on an Intel Xeon: 109 instead of 145 ms, where two lines
        // a block at each end were requested), within them a tenth.
        const std::size_t ahead = kPrefetch * kBlock;
        const std::size_t next = ((from + ahead) & left) | ((from - ahead) & ~left);
#pragma GCC unroll 16
        for (std::size_t r = 0; r < kUnroll; ++r) Prefetch(a, next + r * kLanes);
        if (step == kBlock) {
            __m512i v[kUnroll];
            unsigned m[kUnroll];
#pragma GCC unroll 16
            for (std::size_t r = 0; r < kUnroll; ++r) {
                v[r] = L::Load(a + from + r * kLanes);
                m[r] = FrontLanes<K, orEqual>(v[r], pivot);
            }
#pragma GCC unroll 16
            for (std::size_t r = 0; r < kUnroll; ++r)
                PlaceVector<K, true, compress>(a, v[r], m[r], kAll, &at);
        } else {
            const __m512i v = L::Load(a + from);
            PlaceVector<K, true, compress>(a, v, FrontLanes<K, orEqual>(v, pivot), kAll, &at);
        }
    }
    // What is left is in registers, and [at.left, at.right) is room for
    // exactly those keys.
    const auto rest = static_cast<int>(readRight - readLeft);
    if (rest > 0) {
        const unsigned valid = kAll >> (static_cast<int>(kLanes) - rest);
        const __m512i v = L::LoadOr(valid, a + readLeft, _mm512_setzero_si512());
        PlaceVector<K, false, compress>(a, v, FrontLanes<K, orEqual>(v, pivot) & valid, valid, &at);
    }
#pragma GCC unroll 16
    for (std::size_t r = 0; r < 2 * kUnroll; ++r) {
        PlaceVector<K, false, compress>(a, held[r], FrontLanes<K, orEqual>(held[r], pivot), kAll,
                                        &at);
    }
    return at.left;
}

template <class K, bool compress>
NVEC_AVX512 void QuickSort(K* a, std::size_t n, int levels) {
    while (n > kBase<K>) {
        if (levels-- == 0) {
            std::sort(a, a + n);
            return;
        }
        const Pivot<K> pivot = ChoosePivot(a, n);
        // Ranges of one key, which repeated keys end in, are done.
        if (pivot.uniform && AllEqual(a, n, pivot.key)) return;
        const std::size_t split = Partition<K, false, compress>(a, n, pivot.key);
        // The keys equal to the pivot, which start the part above the
        // split, are done when split off: when the pivot is the smallest
        // key (which makes the split progress), and when the sample shows
        // it often.
        std::size_t equal = 0;
        if (split == 0 || (pivot.repeated && n - split > kBase<K>)) {
            equal = Partition<K, true, compress>(a + split, n - split, pivot.key);
        }
        const std::size_t above = split + equal;
        if (split < n - above) {
            QuickSort<K, compress>(a, split, levels);
            a += above;
            n -= above;
        } else {
            QuickSort<K, compress>(a + above, n - above, levels);
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

int Levels(std::size_t n) noexcept { return 2 * static_cast<int>(std::bit_width(n)) + 4; }

template <class K>
void SortKeys(K* keys, std::size_t n) noexcept {
    if (!VectorSortAvailable() || n < 2) return;
    static const bool compress = ProcessorSortWays().compress;
    // 64-bit keys take the permutation everywhere: one step, and the
    // compressions were 5 to 10 per cent slower on a Xeon and a Zen 5.
    if constexpr (sizeof(K) == 4) {
        if (compress) {
            QuickSort<K, true>(keys, n, Levels(n));
            return;
        }
    }
    QuickSort<K, false>(keys, n, Levels(n));
}

}  // namespace

bool VectorSortAvailable() noexcept {
    static const bool available = Detect();
    return available;
}

namespace {

// The processor's family as CPUID numbers it (the base family, plus the
// extended family where the base is 15), 0 if unknown.
unsigned ProcessorFamily() noexcept {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return 0;
    const unsigned base = (eax >> 8) & 0xFu;
    return base == 0xFu ? base + ((eax >> 20) & 0xFFu) : base;
}

SortWays DetectWays() noexcept {
    if (const char* name = std::getenv("NVEC_AVX512_WAYS"); name != nullptr) {
        const std::string_view chosen(name);
        if (chosen == "intel") return kIntelWays;
        if (chosen == "zen5") return kZen5Ways;
        if (chosen == "other") return kOtherWays;
    }
    if (const char* choice = std::getenv("NVEC_AVX512_INTEL");
        choice != nullptr && *choice != '\0') {
        return *choice != '0' ? kIntelWays : kOtherWays;
    }
    __builtin_cpu_init();
    if (__builtin_cpu_is("intel") != 0) return kIntelWays;
    if (__builtin_cpu_is("amd") != 0 && ProcessorFamily() >= 0x1Au) return kZen5Ways;
    return kOtherWays;
}

}  // namespace

const SortWays& ProcessorSortWays() noexcept {
    static const SortWays ways = DetectWays();
    return ways;
}

void VectorSortKeys(std::uint32_t* keys, std::size_t n) noexcept { SortKeys(keys, n); }
void VectorSortKeys(std::uint64_t* keys, std::size_t n) noexcept { SortKeys(keys, n); }

#pragma GCC diagnostic pop

#else

bool VectorSortAvailable() noexcept { return false; }
const SortWays& ProcessorSortWays() noexcept { return kOtherWays; }
void VectorSortKeys(std::uint32_t*, std::size_t) noexcept {}
void VectorSortKeys(std::uint64_t*, std::size_t) noexcept {}

#endif

}  // namespace nvec
