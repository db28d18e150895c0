// What the kernels of several subcommand files share: the attribute that
// compiles a kernel for wider vector units, and the accumulator and result
// type of sums, so that `sum` and `reduce ... sum` add alike.

#pragma once

#include <type_traits>

#include "../arrays/elem_types.h"

// Each kernel stays a function of its own: inlined into a handler, next to
// the argument checks and the type dispatch, GCC leaves some loops scalar,
// while the loop alone, with its operands as plain parameters, vectorises.
// One call per array costs nothing.
//
// With GCC on x86-64 Linux each kernel is also compiled a second time for
// AVX2, and the loader picks that copy on processors that have it
// (function multiversioning; a multiversioned function is never inlined).
// Both copies come from the same source and do the same operations on each
// element, so results do not depend on the copy. Clang does not
// multiversion templates and builds the baseline copy alone, so the clang
// build of the suite tests that copy.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define NVEC_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define NVEC_KERNEL [[gnu::noinline]]
#endif

namespace nvec {

// Sum accumulator: double for the floating types (float elements widen
// exactly); for integers the unsigned type of their 32- or 64-bit width,
// so that the sum wraps without signed overflow.
template <class T>
using SumAcc = std::conditional_t<kIsFloat<T>, double, std::make_unsigned_t<Wide<T>>>;

// The value a sum gives: double for the floating types, int for the 8-,
// 16- and 32-bit types, the element type itself for long and long long.
// It has the accumulator's width, so a wrapped sum converts back exactly.
template <class T>
using SumElem =
    std::conditional_t<kIsFloat<T>, double, std::conditional_t<(sizeof(T) < sizeof(int)), int, T>>;

static_assert(sizeof(SumElem<unsigned char>) == sizeof(SumAcc<unsigned char>) &&
              sizeof(SumElem<long>) == sizeof(SumAcc<long>));

// The accumulator as the sum's value.
template <class T>
constexpr SumElem<T> SumValue(SumAcc<T> acc) {
    if constexpr (kIsFloat<T>) {
        return acc;
    } else {
        return WrapInt<SumElem<T>>(acc);
    }
}

}  // namespace nvec
