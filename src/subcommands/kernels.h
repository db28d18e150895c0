// What the kernels of several subcommand files share: the accumulator and
// result type of sums, so that `sum` and `reduce ... sum` add alike (the
// attribute that compiles a kernel for wider vector units, NVEC_KERNEL,
// is in helpers.h).

#pragma once

#include <type_traits>

#include "../arrays/elem_types.h"
#include "../command/helpers.h"

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
