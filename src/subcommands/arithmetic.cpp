// Arithmetic and geometry on array values: in-place increment, scaling,
// snapping and value replacement; translation and rotation of 3-D points;
// sums, minima, maxima and element-wise sums of several arrays.
//
// Each kernel is one loop over the payload, written once against the
// element traits. Operands are brought to the element type before the loop,
// so the loop body is plain arithmetic without calls or per-element type
// dispatch, which the compiler can vectorise. The library is compiled with
// -ffp-contract=off: a product and a sum are never fused into one rounding,
// so floating results are exactly those of the operations as written.

#include <tcl.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

#include "../arrays/obj_types.h"
#include "../command/helpers.h"
#include "kernels.h"
#include "subcommands.h"

namespace nvec {

namespace {

// Element arithmetic -------------------------------------------------------

// a + b in T's own arithmetic. Integers wrap modulo 2^width: the sum is
// formed in the unsigned type (for char and short the promoted int cannot
// overflow) and narrowed back modularly, so no signed overflow happens.
template <class T>
inline T AddElem(T a, T b) noexcept {
    if constexpr (kIsFloat<T>) {
        return a + b;
    } else {
        using U = std::make_unsigned_t<T>;
        return WrapInt<T>(static_cast<U>(static_cast<U>(a) + static_cast<U>(b)));
    }
}

// An element as a double: chararray as unsigned, the other integer types
// signed; 64-bit integers are rounded to the nearest double.
template <class T>
inline double ToDouble(T v) noexcept {
    return static_cast<double>(v);
}

// Kernels ------------------------------------------------------------------

// Each kernel stays a function of its own: inlined into a handler, next to
// the argument checks and the type dispatch, GCC leaves some of these loops
// scalar, while the loop alone, with its operands as plain parameters,
// vectorises. One call per array costs nothing.
//
// Each kernel is also compiled for AVX2 where the compiler can pick the
// copy at load time (NVEC_KERNEL).

template <class T>
NVEC_KERNEL void IncrKernel(T* p, int n, T increment) noexcept {
    for (int i = 0; i < n; ++i) p[i] = AddElem(p[i], increment);
}

template <class T>
NVEC_KERNEL void ScaleKernel(T* p, int n, double factor) noexcept {
    for (int i = 0; i < n; ++i) p[i] = FromDouble<T>(ToDouble(p[i]) * factor);
}

// Snap tolerance per element type: the float tolerance for floatarray, the
// double for doublearray; for the integer types the tolerance truncated as
// the element type's own value would be (chararray 0 to 255, shortarray
// signed 16 bits, intarray 32 bits), except that the 64-bit types take it
// truncated to 32 bits and sign-extended. A NaN or out-of-range tolerance
// truncates to a value not above 0, so nothing is within it.
template <class T>
using SnapTol = std::conditional_t<kIsFloat<T>, T, std::int64_t>;

template <class T>
SnapTol<T> SnapTolerance(double tolerance) noexcept {
    if constexpr (kIsFloat<T>) {
        return FromDouble<T>(tolerance);
    } else if constexpr (sizeof(Wide<T>) == 8) {
        return TruncToInt<int>(tolerance);
    } else {
        return FromDouble<T>(tolerance);
    }
}

// Whether e lies strictly closer to target than tol. Floats subtract in
// float and compare the distance with the float tolerance (widening both
// to double, which is exact, would decide the same); integers compare their
// exact distance as an unsigned magnitude, so values far apart never look
// close through wrap-around. Up to 32 bits the distance of two elements
// fits 32 unsigned bits and the tolerance is below 2^31, so the test runs
// at that width, which vectorises; the 64-bit types form it in 64 bits.
// The tests combine with & rather than &&, so that there is no branch.
template <class T>
inline bool WithinTolerance(T e, T target, SnapTol<T> tol) noexcept {
    if constexpr (kIsFloat<T>) {
        return std::fabs(e - target) < tol;
    } else if constexpr (sizeof(Wide<T>) == 4) {
        const auto a = static_cast<std::uint32_t>(e);
        const auto b = static_cast<std::uint32_t>(target);
        const std::uint32_t dist = e >= target ? a - b : b - a;
        return (tol > 0) & (dist < static_cast<std::uint32_t>(tol));
    } else {
        std::int64_t a = e;
        std::int64_t b = target;
        std::uint64_t dist = a >= b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                                    : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
        return (tol > 0) & (dist < static_cast<std::uint64_t>(tol));
    }
}

// Positions start, start + step, ... below n; 64-bit so that the last step
// cannot overflow near INT_MAX. A step of 1 gets its own loop over
// consecutive elements, which the compiler vectorises.
template <class T>
NVEC_KERNEL void SnapKernel(T* p, std::int64_t n, std::int64_t start, std::int64_t step, T target,
                            SnapTol<T> tol) noexcept {
    if (step == 1) {
        for (std::int64_t i = start; i < n; ++i) {
            p[i] = WithinTolerance(p[i], target, tol) ? target : p[i];
        }
        return;
    }
    for (std::int64_t i = start; i < n; i += step) {
        p[i] = WithinTolerance(p[i], target, tol) ? target : p[i];
    }
}

// Written as a select, not a conditional store, so that it vectorises.
template <class T>
NVEC_KERNEL void ReplaceKernel(T* p, int n, T oldValue, T newValue) noexcept {
    for (int i = 0; i < n; ++i) p[i] = p[i] == oldValue ? newValue : p[i];
}

template <class T>
NVEC_KERNEL void ReplaceNanKernel(T* p, int n, T newValue) noexcept {
    for (int i = 0; i < n; ++i) p[i] = p[i] != p[i] ? newValue : p[i];
}

template <class T>
NVEC_KERNEL void TranslateKernel(T* p, int n, double tx, double ty, double tz) noexcept {
    for (int i = 0; i < n; i += 3) {
        p[i] = FromDouble<T>(ToDouble(p[i]) + tx);
        p[i + 1] = FromDouble<T>(ToDouble(p[i + 1]) + ty);
        p[i + 2] = FromDouble<T>(ToDouble(p[i + 2]) + tz);
    }
}

// A 3x3 matrix, row by row, copied out of its argument so that the kernel
// reads it from registers even when the argument is the point array itself.
struct Matrix3 {
    double r11, r12, r13, r21, r22, r23, r31, r32, r33;
};

// New point = matrix times the column vector of the old point, each row as
// (x*ri1 + y*ri2) + z*ri3, unfused, all from the old coordinates.
inline void RotateDoubles(double* p, int n, const Matrix3& m) noexcept {
    for (int i = 0; i < n; i += 3) {
        const double x = p[i];
        const double y = p[i + 1];
        const double z = p[i + 2];
        p[i] = (x * m.r11 + y * m.r12) + z * m.r13;
        p[i + 1] = (x * m.r21 + y * m.r22) + z * m.r23;
        p[i + 2] = (x * m.r31 + y * m.r32) + z * m.r33;
    }
}

// The other types go through a small double buffer, a block of points at a
// time: widen, rotate, bring back. The three simple loops vectorise far
// better than one loop that converts inside the interleaved coordinates,
// and each value sees the same operations as in the direct loop.
template <class T>
NVEC_KERNEL void RotateKernel(T* p, int n, Matrix3 m) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        RotateDoubles(p, n, m);
    } else {
        constexpr int kBlock = 3 * 256;
        double buf[kBlock];
        for (int start = 0; start < n; start += kBlock) {
            const int len = n - start < kBlock ? n - start : kBlock;
            T* q = p + start;
            for (int i = 0; i < len; ++i) buf[i] = ToDouble(q[i]);
            RotateDoubles(buf, len, m);
            for (int i = 0; i < len; ++i) q[i] = FromDouble<T>(buf[i]);
        }
    }
}

template <class T>
NVEC_KERNEL SumAcc<T> SumKernel(const T* p, int n) noexcept {
    SumAcc<T> acc = 0;
    for (int i = 0; i < n; ++i) acc += static_cast<SumAcc<T>>(p[i]);
    return acc;
}

// The Tcl number of a sum: an int for the 8-, 16- and 32-bit types, the
// element type's own constructor otherwise (long, wide int, double).
template <class T>
Tcl_Obj* SumObj(SumAcc<T> acc) {
    return Elem<SumElem<T>>::ToObj(SumValue<T>(acc));
}

// The smallest (kMax: largest) element of a non-empty array. An element
// replaces the best only when strictly better: a NaN never wins, and a NaN
// at position 0 is never replaced.
template <bool kMax, class T>
NVEC_KERNEL T BestValue(const T* p, int n) noexcept {
    T best = p[0];
    for (int i = 1; i < n; ++i) {
        const T v = p[i];
        best = (kMax ? v > best : v < best) ? v : best;
    }
    return best;
}

// Position of the first best element by the same rule; -1 when empty.
template <bool kMax, class T>
NVEC_KERNEL int BestPosition(const T* p, int n) noexcept {
    if (n == 0) return -1;
    T best = p[0];
    int pos = 0;
    for (int i = 1; i < n; ++i) {
        const T v = p[i];
        if (kMax ? v > best : v < best) {
            best = v;
            pos = i;
        }
    }
    return pos;
}

// sum[k] += a[k] in T's arithmetic, one argument at a time.
template <class T>
NVEC_KERNEL void AccumulateKernel(T* sum, const T* a, int n) noexcept {
    for (int i = 0; i < n; ++i) sum[i] = AddElem(sum[i], a[i]);
}

// Argument reading ---------------------------------------------------------

// Whether the string of obj begins with "nan" in any letter case. A string
// shorter than three characters stops at its terminator, which matches no
// letter, so nothing past it is read.
bool StartsWithNan(Tcl_Obj* obj) {
    const char* s = Tcl_GetString(obj);
    static constexpr char kNan[] = "nan";
    for (int i = 0; i < 3; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != kNan[i]) return false;
    }
    return true;
}

// Reads a replace_value operand as element type T: chararray and
// shortarray through Tcl's int reader, intarray and longarray through its
// long reader, longlongarray through its wide reader, each narrowed to the
// element's low bits; the floating types through the double reader, with
// the words nan and inf also taken for the new value, rounded to nearest
// for floatarray.
template <class T>
int ReadReplaceValue(Tcl_Obj* obj, bool isNewValue, T* out) {
    if constexpr (kIsFloat<T>) {
        double v;
        if (GetDoubleArg(nullptr, obj, &v) != TCL_OK && !(isNewValue && GetNanInf(obj, &v) == 0)) {
            return TCL_ERROR;
        }
        *out = FromDouble<T>(v);
    } else if constexpr (sizeof(T) < sizeof(int)) {
        int v;
        if (GetIntArg(nullptr, obj, &v) != TCL_OK) return TCL_ERROR;
        *out = WrapInt<T>(v);
    } else if constexpr (std::is_same_v<T, long long>) {
        Tcl_WideInt v;
        if (GetWideIntArg(nullptr, obj, &v) != TCL_OK) return TCL_ERROR;
        *out = WrapInt<T>(v);
    } else {
        long v;
        if (GetLongArg(nullptr, obj, &v) != TCL_OK) return TCL_ERROR;
        *out = WrapInt<T>(v);
    }
    return TCL_OK;
}

// Ends an in-place subcommand: the string is rebuilt from the payload on
// demand, and the changed object itself is the result.
int ChangedInPlace(Tcl_Interp* interp, Tcl_Obj* obj) {
    InvalidateArrayString(obj);
    Tcl_SetObjResult(interp, obj);
    return TCL_OK;
}

// Leaves the argument untouched, string included, as the result.
int Unchanged(Tcl_Interp* interp, Tcl_Obj* obj) {
    Tcl_SetObjResult(interp, obj);
    return TCL_OK;
}

// Reads the <index> word of incr and scale against the array's length
// (taken before the word is read). A word that is no index leaves Tcl's
// bad-index message; a position outside the array the subcommand's own
// message, which shows it.
int ReadElementIndex(Tcl_Interp* interp, int length, Tcl_Obj* word, const char* message,
                     int* indexPtr) {
    if (GetIndex(interp, length, word, indexPtr) != TCL_OK) return TCL_ERROR;
    if (*indexPtr < 0 || *indexPtr >= length) {
        return Failf(interp, ErrorClass::Index, message, *indexPtr);
    }
    return TCL_OK;
}

// Shared body of incr and scale once the operand is known: apply `kernel`
// to one element or to all.
template <class Kernel>
int ApplyElementwise(Tcl_Interp* interp, Tcl_Obj* obj, int index, Kernel kernel) {
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    Visit(*type, [&]<class T>(std::type_identity<T>) {
        T* p = Elements<T>(obj);
        if (index >= 0) {
            kernel(p + index, 1);
        } else {
            kernel(p, Length(obj));
        }
    });
    return ChangedInPlace(interp, obj);
}

// Reads the vector or matrix argument as a doublearray (a data argument,
// so the point array keeps its type even when it is the argument itself),
// checks that it holds `count` values and copies them to out.
bool GetDoubleOperand(Tcl_Obj* arg, int count, double* out) {
    DataArg operand(ElemType::Double, arg);
    if (operand.get() == nullptr || Length(operand.get()) != count) return false;
    std::memcpy(out, Elements<double>(operand.get()),
                static_cast<std::size_t>(count) * sizeof(double));
    return true;
}

// Checks the point array of translate and rotate: an array value whose
// element count is a multiple of 3.
int CheckPoints(Tcl_Interp* interp, Tcl_Obj* obj, std::optional<ElemType>* type) {
    *type = ElemTypeOf(obj);
    if (!*type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    if (Length(obj) % 3 != 0) {
        return Fail(interp, ErrorClass::Size, "nvec length must be multiple of 3");
    }
    return TCL_OK;
}

// minimum and maximum: the best element, or with -index its position.
template <bool kMax>
int ExtremumCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* usage) {
    const bool position = objc == 4 && std::strcmp(Tcl_GetString(objv[3]), "-index") == 0;
    if (objc != 3 && !position) return SyntaxError(interp, usage);
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    Tcl_Obj* result = Visit(*type, [&]<class T>(std::type_identity<T>) {
        const T* p = Elements<T>(obj);
        const int n = Length(obj);
        if (position) return Tcl_NewIntObj(BestPosition<kMax>(p, n));
        return Elem<T>::ToObj(n == 0 ? T{0} : BestValue<kMax>(p, n));
    });
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

// vector_sum once its `count` operands are read as the target type and held
// by the list `operands`: the checks, then the sum as a new array.
int SumOperands(Tcl_Interp* interp, ElemType target, Tcl_Obj* operands, int count) {
    auto operand = [operands](int i) {
        Tcl_Obj* obj;
        Tcl_ListObjIndex(nullptr, operands, i, &obj);
        return obj;
    };
    if (count < 2) {
        return SyntaxError(interp, "vector_sum ?-type <type>? <obj1> <obj2> ... <objn>");
    }
    const int n = Length(operand(0));
    if (n < 1) return Fail(interp, ErrorClass::Size, "obj must have size>0");
    for (int i = 1; i < count; ++i) {
        if (Length(operand(i)) != n) {
            return Fail(interp, ErrorClass::Size, "all obj must have same size");
        }
    }
    return Visit(target, [&]<class T>(std::type_identity<T>) {
        void* payload = TryNewPayload<T>(n, true);
        if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        T* sum = PayloadData<T>(payload);
        for (int i = 0; i < count; ++i) AccumulateKernel(sum, Elements<T>(operand(i)), n);
        Tcl_SetObjResult(interp, NewArrayObj<T>(payload));
        return TCL_OK;
    });
}

}  // namespace

// Handlers -----------------------------------------------------------------

// Adds a constant (default 1) to one element or to every element.
int IncrCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 3 || objc > 5) {
        return SyntaxError(interp, "incr <obj> ?<increment>? ?<index>?");
    }
    double increment = 1.0;
    if (objc >= 4 && GetDoubleArg(nullptr, objv[3], &increment) != TCL_OK) {
        return Fail(interp, ErrorClass::Value, "wrong increment");
    }
    Tcl_Obj* obj = objv[2];
    int index = -1;
    if (objc == 5) {
        if (!ElemTypeOf(obj)) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
        if (ReadElementIndex(interp, Length(obj), objv[4], "nvecs increment wrong index %d",
                             &index) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    // An increment of exactly 0 changes nothing, whatever obj is.
    if (objc >= 4 && increment == 0.0) return Unchanged(interp, obj);
    return ApplyElementwise(interp, obj, index, [increment]<class T>(T* p, int n) {
        IncrKernel(p, n, FromDouble<T>(increment));
    });
}

// Multiplies one element or every element by a factor, in double.
int ScaleCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4 && objc != 5) {
        return SyntaxError(interp, "scale <obj> <factor> ?<index>?");
    }
    double factor;
    if (GetDoubleArg(nullptr, objv[3], &factor) != TCL_OK) {
        return Fail(interp, ErrorClass::Value, "wrong factor");
    }
    Tcl_Obj* obj = objv[2];
    int index = -1;
    if (objc == 5) {
        if (!ElemTypeOf(obj)) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
        if (ReadElementIndex(interp, Length(obj), objv[4], "nvecs scale wrong index %d", &index) !=
            TCL_OK) {
            return TCL_ERROR;
        }
    }
    // A factor of exactly 1 changes nothing, whatever obj is.
    if (factor == 1.0) return Unchanged(interp, obj);
    return ApplyElementwise(interp, obj, index,
                            [factor]<class T>(T* p, int n) { ScaleKernel(p, n, factor); });
}

// Sets the elements start, start + step, ... that lie strictly within the
// tolerance of a value to that value.
int SnapCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 7) {
        return SyntaxError(interp,
                           "snap <obj> <value> <tolerance> <index_start> <index_increment>");
    }
    double value;
    if (GetDoubleArg(nullptr, objv[3], &value) != TCL_OK) {
        return Fail(interp, ErrorClass::Value, "wrong snap value");
    }
    double tolerance;
    // Tcl's double reader refuses NaN, so the word nan is read as the fill
    // values read it. The range test is written negated so that a NaN
    // tolerance passes; it snaps nothing.
    if ((GetDoubleArg(nullptr, objv[4], &tolerance) != TCL_OK &&
         GetNanInf(objv[4], &tolerance) != 0) ||
        tolerance <= 0.0) {
        return Fail(interp, ErrorClass::Value, "wrong snap tolerance value");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    const int n = Length(obj);
    int start;
    if (GetIndex(interp, n, objv[5], &start) != TCL_OK) return TCL_ERROR;
    if (start < 0 || start >= n) {
        return Fail(interp, ErrorClass::Index, "wrong snap start index");
    }
    int step;
    if (GetIntArg(nullptr, objv[6], &step) != TCL_OK || step < 1 || step >= n) {
        return Fail(interp, ErrorClass::Value, "wrong snap index increment");
    }
    Visit(*type, [&]<class T>(std::type_identity<T>) {
        SnapKernel(Elements<T>(obj), n, start, step, FromDouble<T>(value),
                   SnapTolerance<T>(tolerance));
    });
    return ChangedInPlace(interp, obj);
}

// Replaces every element equal to one value, or every NaN, by another.
int ReplaceValueCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) {
        return SyntaxError(interp, "replace_value <obj> <value_old> <value_new>");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, "wrong obj");
    const bool replaceNan = StartsWithNan(objv[3]);
    return Visit(*type, [&]<class T>(std::type_identity<T>) -> int {
        if (replaceNan) {
            if constexpr (kIsInteger<T>) {
                return Fail(interp, ErrorClass::Value,
                            "nvec replace_value can replace nan only in case of floatarray or "
                            "doublearray");
            } else {
                double v;
                if (GetDoubleArg(nullptr, objv[4], &v) != TCL_OK) {
                    return Fail(interp, ErrorClass::Value, "wrong value");
                }
                ReplaceNanKernel(Elements<T>(obj), Length(obj), FromDouble<T>(v));
            }
        } else {
            T oldValue;
            T newValue;
            if (ReadReplaceValue<T>(objv[3], false, &oldValue) != TCL_OK ||
                ReadReplaceValue<T>(objv[4], true, &newValue) != TCL_OK) {
                return Fail(interp, ErrorClass::Value, "wrong value");
            }
            ReplaceKernel(Elements<T>(obj), Length(obj), oldValue, newValue);
        }
        return ChangedInPlace(interp, obj);
    });
}

// Adds a vector to every 3-D point.
int TranslateCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4) return SyntaxError(interp, "translation <obj> <tx ty tz>");
    Tcl_Obj* obj = objv[2];
    double t[3];
    if (!GetDoubleOperand(objv[3], 3, t)) {
        return Fail(interp, ErrorClass::Value, "wrong translation, must be an array of 3 values");
    }
    const double tx = t[0];
    const double ty = t[1];
    const double tz = t[2];
    if (tx == 0.0 && ty == 0.0 && tz == 0.0) return Unchanged(interp, obj);
    std::optional<ElemType> type;
    if (CheckPoints(interp, obj, &type) != TCL_OK) return TCL_ERROR;
    Visit(*type, [&]<class T>(std::type_identity<T>) {
        TranslateKernel(Elements<T>(obj), Length(obj), tx, ty, tz);
    });
    return ChangedInPlace(interp, obj);
}

// Multiplies every 3-D point, as a column vector, by a 3x3 matrix.
int RotateCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4) {
        return SyntaxError(interp, "rotation <obj> <r11 r12 r13 r21 r22 r23 r31 r32 r33>");
    }
    Tcl_Obj* obj = objv[2];
    double r[9];
    if (!GetDoubleOperand(objv[3], 9, r)) {
        return Fail(interp, ErrorClass::Value, "wrong rotation, must be a 3x3 array of 9 values");
    }
    const Matrix3 m = {r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]};
    if (m.r11 == 1.0 && m.r22 == 1.0 && m.r33 == 1.0 && m.r12 == 0.0 && m.r13 == 0.0 &&
        m.r21 == 0.0 && m.r23 == 0.0 && m.r31 == 0.0 && m.r32 == 0.0) {
        return Unchanged(interp, obj);
    }
    std::optional<ElemType> type;
    if (CheckPoints(interp, obj, &type) != TCL_OK) return TCL_ERROR;
    Visit(*type,
          [&]<class T>(std::type_identity<T>) { RotateKernel(Elements<T>(obj), Length(obj), m); });
    return ChangedInPlace(interp, obj);
}

// The sum of all elements, in the element type's accumulator.
int SumCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) return SyntaxError(interp, "sum <obj>");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    Tcl_Obj* result = Visit(*type, [&]<class T>(std::type_identity<T>) {
        return SumObj<T>(SumKernel(Elements<T>(obj), Length(obj)));
    });
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

int MinimumCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return ExtremumCmd<false>(interp, objc, objv, "minimum <obj> ?-index?");
}

int MaximumCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return ExtremumCmd<true>(interp, objc, objv, "maximum <obj> ?-index?");
}

// A new array whose element k is the sum of element k of every argument,
// in argument order. Every argument is read as the target type first (a
// data argument: converted in place, or through a private copy when it is
// an array of another type).
int VectorSumCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    int first = 2;
    ElemType target = ElemType::Double;
    if (objc > 3 && !ElemTypeOf(objv[2]) && std::strcmp(Tcl_GetString(objv[2]), "-type") == 0) {
        std::optional<ElemType> named = ElemTypeFromName(Tcl_GetString(objv[3]));
        if (!named) return Fail(interp, ErrorClass::Type, kMsgWrongType);
        target = *named;
        first = 4;
    } else if (objc > 2 && ElemTypeOf(objv[2])) {
        target = *ElemTypeOf(objv[2]);
    }
    // The converted operands, held by a list for the length of the call:
    // the list keeps a reference on each, private copies included.
    Tcl_Obj* held = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(held);
    int code = TCL_OK;
    for (int i = first; i < objc && code == TCL_OK; ++i) {
        Tcl_Obj* operand = ConvertDataArg(target, objv[i]);
        if (operand == nullptr) {
            code = Fail(interp, ErrorClass::Value,
                        "obj cannot be converted to nvec of specified type");
        } else {
            Tcl_ListObjAppendElement(nullptr, held, operand);
        }
    }
    if (code == TCL_OK) code = SumOperands(interp, target, held, objc - first);
    Tcl_DecrRefCount(held);
    return code;
}

}  // namespace nvec
