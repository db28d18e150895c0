// Element types of nvec arrays: the traits table and the one dispatch over
// the seven types. Every kernel is written once against these traits.

#pragma once

#include <tcl.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <type_traits>

namespace nvec {

// Canonical order: registration, type-name tests and messages follow it.
enum class ElemType { Char, Short, Int, Long, LongLong, Float, Double };

inline constexpr int kNumElemTypes = 7;

// Expands X(T) for the C type of each element type, in the canonical order
// (explicit instantiations of the per-type templates).
#define NVEC_FOR_EACH_ELEM_TYPE(X) \
    X(unsigned char) X(short) X(int) X(long) X(long long) X(float) X(double)

// Integer rules follow the width, so on LP64 `long` takes the 64-bit rules
// (narrowing, truncation, wrapping) while staying a distinct C type with its
// own reader, printer and Tcl constructor.
template <class T>
using Wide = std::conditional_t<sizeof(T) <= 4, std::int32_t, std::int64_t>;

template <class T>
struct Elem;

template <>
struct Elem<unsigned char> {
    static constexpr ElemType kType = ElemType::Char;
    static constexpr const char* kName = "chararray";
    static constexpr int kPrintWidth = 4;  // "255 "
    static Tcl_Obj* ToObj(unsigned char v) { return Tcl_NewIntObj(v); }
};

template <>
struct Elem<short> {
    static constexpr ElemType kType = ElemType::Short;
    static constexpr const char* kName = "shortarray";
    static constexpr int kPrintWidth = 7;  // "-32768 "
    static Tcl_Obj* ToObj(short v) { return Tcl_NewIntObj(v); }
};

template <>
struct Elem<int> {
    static constexpr ElemType kType = ElemType::Int;
    static constexpr const char* kName = "intarray";
    static constexpr int kPrintWidth = 12;  // "-2147483648 "
    static Tcl_Obj* ToObj(int v) { return Tcl_NewIntObj(v); }
};

template <>
struct Elem<long> {
    static constexpr ElemType kType = ElemType::Long;
    static constexpr const char* kName = "longarray";
    static constexpr int kPrintWidth = 21;  // "-9223372036854775808 "
    static Tcl_Obj* ToObj(long v) { return Tcl_NewLongObj(v); }
};

template <>
struct Elem<long long> {
    static constexpr ElemType kType = ElemType::LongLong;
    static constexpr const char* kName = "longlongarray";
    static constexpr int kPrintWidth = 21;
    static Tcl_Obj* ToObj(long long v) { return Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(v)); }
};

template <>
struct Elem<float> {
    static constexpr ElemType kType = ElemType::Float;
    static constexpr const char* kName = "floatarray";
    static constexpr int kPrintWidth = TCL_DOUBLE_SPACE;
    static Tcl_Obj* ToObj(float v) { return Tcl_NewDoubleObj(static_cast<double>(v)); }
};

template <>
struct Elem<double> {
    static constexpr ElemType kType = ElemType::Double;
    static constexpr const char* kName = "doublearray";
    static constexpr int kPrintWidth = TCL_DOUBLE_SPACE;
    static Tcl_Obj* ToObj(double v) { return Tcl_NewDoubleObj(v); }
};

// The seven type names in canonical order.
inline constexpr const char* kTypeNames[kNumElemTypes] = {
    Elem<unsigned char>::kName, Elem<short>::kName,  Elem<int>::kName,   Elem<long>::kName,
    Elem<long long>::kName,     Elem<float>::kName,  Elem<double>::kName};

template <class T>
inline constexpr bool kIsFloat = std::is_floating_point_v<T>;

template <class T>
inline constexpr bool kIsInteger = !std::is_floating_point_v<T>;

// Calls f(std::type_identity<T>{}) for the C type of t. This is the only
// switch over the seven element types.
template <class F>
decltype(auto) Visit(ElemType t, F&& f) {
    switch (t) {
        case ElemType::Char:
            return f(std::type_identity<unsigned char>{});
        case ElemType::Short:
            return f(std::type_identity<short>{});
        case ElemType::Int:
            return f(std::type_identity<int>{});
        case ElemType::Long:
            return f(std::type_identity<long>{});
        case ElemType::LongLong:
            return f(std::type_identity<long long>{});
        case ElemType::Float:
            return f(std::type_identity<float>{});
        case ElemType::Double:
            return f(std::type_identity<double>{});
    }
    Tcl_Panic("nvec: bad element type %d", static_cast<int>(t));
    return f(std::type_identity<unsigned char>{});  // not reached
}

// Narrows any integer to integer type T by keeping its low bits. The
// conversion to an unsigned type is modular, and C++20 defines the final
// unsigned-to-signed conversion as modular too, so no value is UB.
template <class T, class S>
constexpr T WrapInt(S v) {
    static_assert(std::is_integral_v<T> && std::is_integral_v<S>);
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(v));
}

// Truncates a double toward zero to the integer width of T (32 or 64 bits),
// then keeps T's low bits. NaN, infinities and values whose truncation lies
// outside that width give its most negative value. Such values are first
// replaced by that most negative value itself, so the cast never overflows;
// the replacement is two selects on the double, without a branch, so loops
// over arrays vectorise.
template <class T>
constexpr T TruncToInt(double v) {
    using W = Wide<T>;
    constexpr double lo = static_cast<double>(std::numeric_limits<W>::min());
    // -lo is 2^31 or 2^63, exactly representable. NaN fails the first test.
    double c = v < -lo ? v : lo;
    if constexpr (sizeof(W) == 8) {
        // lo - 1.0 rounds back to lo at 64 bits; -2^63 itself is valid.
        c = c >= lo ? c : lo;
    } else {
        c = c > lo - 1.0 ? c : lo;
    }
    return WrapInt<T>(static_cast<W>(c));
}

// Whether the significand of d is a power of two: its stored fraction is
// zero (zero and the infinities too). Tcl's shortest-digit printer gives
// some such values other digits than the shortest closest ones.
inline bool PowerOfTwoSignificand(double d) {
    return (std::bit_cast<std::uint64_t>(d) & ((std::uint64_t{1} << 52) - 1)) == 0;
}

// Rounds a double to the nearest float. Finite values beyond the float
// range become the infinity of their sign, as IEEE rounding does; the
// explicit test keeps the out-of-range cast (UB in C++) from happening.
constexpr float RoundToFloat(double v) {
    // Smallest magnitude that rounds to infinity: FLT_MAX plus half an ulp.
    constexpr double kOverflow = 0x1.ffffffp127;
    if (v >= kOverflow) return std::numeric_limits<float>::infinity();
    if (v <= -kOverflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

// Brings a double computed by a kernel back to element type T: truncation
// for the integer types, nearest for float.
template <class T>
constexpr T FromDouble(double v) {
    if constexpr (std::is_same_v<T, double>) {
        return v;
    } else if constexpr (std::is_same_v<T, float>) {
        return RoundToFloat(v);
    } else {
        return TruncToInt<T>(v);
    }
}

// Converts one element of type S to element type D by the element
// conversion rules: integers keep their low bits, floating values are
// truncated (TruncToInt), values become floating by rounding to nearest.
template <class D, class S>
constexpr D ConvertElem(S v) {
    if constexpr (std::is_same_v<D, S>) {
        return v;
    } else if constexpr (kIsInteger<D> && kIsInteger<S>) {
        return WrapInt<D>(v);
    } else if constexpr (kIsInteger<D>) {
        return TruncToInt<D>(static_cast<double>(v));
    } else if constexpr (std::is_same_v<D, float> && std::is_same_v<S, double>) {
        return RoundToFloat(v);
    } else {
        // Integer to float or double, float to double: always in range,
        // rounded to nearest by the hardware.
        return static_cast<D>(v);
    }
}

}  // namespace nvec
