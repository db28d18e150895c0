// Comparison masks, gather and scatter by positions, and element-wise
// arithmetic between arrays: where, take, assign, apply.
//
// where compares every element with one number exactly, as Tcl's expr
// compares two numbers: the number is first turned into a test of the
// element type's own (or, for the floating types, of double) that holds
// for exactly the same elements, so the loop is one plain comparison that
// the compiler vectorises. take and assign move elements as they are;
// apply computes in the element type's own arithmetic (in double for the
// floating types).

#include <tcl.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <type_traits>

#include "../arrays/obj_types.h"
#include "../command/helpers.h"
#include "subcommands.h"

namespace nvec {

namespace {

constexpr const char kMsgWrongIndices[] = "wrong indices, must be a list of integers";


// A copy of n elements (n >= 1, no more than an existing payload holds, so
// the byte count fits the allocator's size), or null when memory is short.
template <class T>
std::unique_ptr<T[], TclFree> TryCopy(const T* src, int n) noexcept {
    auto bytes = static_cast<std::size_t>(n) * sizeof(T);
    std::unique_ptr<T[], TclFree> copy(
        reinterpret_cast<T*>(Tcl_AttemptAlloc(static_cast<AllocSize>(bytes))));
    if (copy) std::memcpy(copy.get(), src, bytes);
    return copy;
}


// Calls f(std::integral_constant<E, e>{}) for the enumerator e of a small
// enumeration of kCount values, so that each kernel is compiled per
// operator.
template <class E, int kCount, int kFirst = 0, class F>
decltype(auto) WithOp(E e, F&& f) {
    if constexpr (kFirst + 1 < kCount) {
        if (static_cast<int>(e) != kFirst) return WithOp<E, kCount, kFirst + 1>(e, f);
    }
    return f(std::integral_constant<E, static_cast<E>(kFirst)>{});
}

// Finds a word among fixed names (an array value is none of them and is
// not asked for its string, which may be long).
template <int kCount>
int FindName(Tcl_Obj* word, const char* const (&names)[kCount]) {
    if (ElemTypeOf(word)) return -1;
    const char* s = Tcl_GetString(word);
    for (int i = 0; i < kCount; ++i) {
        if (std::strcmp(s, names[i]) == 0) return i;
    }
    return -1;
}

// ---- where ----------------------------------------------------------------

enum class CmpOp { Eq, Ne, Lt, Le, Gt, Ge };
constexpr const char* kCmpNames[] = {"==", "!=", "<", "<=", ">", ">="};

// The number of where, as Tcl's expr reads the word: an integer of any
// size, a double, or NaN (the word nan).
struct ExactValue {
    bool nan = false;
    bool integer = false;  // an integer within 64 bits, w
    std::int64_t w = 0;
    int beyond = 0;  // an integer beyond 64 bits: its sign
    double d = 0;    // the value, or for an integer the double nearest to it
    int dErr = 0;    // the sign of value - d (no double lies between them)
};

// The sign of v - d, for an integer v beyond 64 bits held by `big` and
// the double d that Tcl rounded it to (finite d: |v| < 2^1024). Compares
// magnitudes in 32-bit limbs: v from the decimal digits that Tcl writes
// for its integer, d from its significand and exponent.
int BigMinusDouble(Tcl_Obj* big, double d) {
    if (std::isinf(d)) return d > 0 ? -1 : 1;
    constexpr int kLimbs = 34;
    std::uint32_t a[kLimbs] = {};
    std::uint32_t b[kLimbs] = {};
    Tcl_InvalidateStringRep(big);
    const char* s = Tcl_GetString(big);
    const bool negative = *s == '-';
    for (s += negative; IsDigit(*s); ++s) {
        std::uint64_t carry = static_cast<std::uint64_t>(*s - '0');
        for (std::uint32_t& limb : a) {
            std::uint64_t x = static_cast<std::uint64_t>(limb) * 10 + carry;
            limb = static_cast<std::uint32_t>(x);
            carry = x >> 32;
        }
    }
    int e;
    const double m = std::frexp(std::fabs(d), &e);  // |d| = m 2^e, 1/2 <= m < 1
    const auto mant = static_cast<std::uint64_t>(std::ldexp(m, 53));
    for (int j = 0; j < 53; ++j) {
        const int bit = e - 53 + j;  // at least 11: |d| >= 2^63
        if ((mant >> j) & 1) b[bit / 32] |= std::uint32_t{1} << (bit % 32);
    }
    for (int i = kLimbs - 1; i >= 0; --i) {
        if (a[i] != b[i]) return (a[i] > b[i]) != negative ? 1 : -1;
    }
    return 0;
}

// The double nearest to w (ties to even) and the sign of w minus it, from
// integer arithmetic alone: converting w to double and back, the compiler
// may on 32-bit x86 take the unrounded value from the x87 unit.
void NearestDouble(std::int64_t w, double* d, int* err) {
    const bool negative = w < 0;
    const std::uint64_t u =
        negative ? 0 - static_cast<std::uint64_t>(w) : static_cast<std::uint64_t>(w);
    const int shift = std::max(0, static_cast<int>(std::bit_width(u)) - 53);
    std::uint64_t r = u >> shift;
    const std::uint64_t rest = u - (r << shift);
    if (shift > 0) {
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (r & 1) != 0)) ++r;
    }
    // r 2^shift is at most 2^63; r at most 2^53, which a double holds.
    const int e = rest == 0 ? 0 : (r << shift) > u ? -1 : 1;
    *d = std::ldexp(static_cast<double>(r), shift) * (negative ? -1.0 : 1.0);
    *err = negative ? -e : e;
}

// Reads the number from a copy of the word's string, so that the word
// keeps its type (it may be an array, even the one compared). Tcl's
// double reader parses the copy as expr would and leaves the kind of
// number it found as the copy's type. It refuses a NaN (nan, -nan, NaN(7)
// and the other forms it reads) as a number, but leaves the copy a double
// then; any other word it refuses is no number.
bool ReadExactValue(Tcl_Obj* word, ExactValue* v) {
    Tcl_Size len;
    const char* s = Tcl_GetStringFromObj(word, &len);
    Tcl_Obj* copy = Tcl_NewStringObj(s, len);
    Tcl_IncrRefCount(copy);
    bool ok = true;
    if (Tcl_GetDoubleFromObj(nullptr, copy, &v->d) != TCL_OK) {
        ok = std::strcmp(TypeNameOf(copy), "double") == 0;
        v->d = std::numeric_limits<double>::quiet_NaN();
        v->nan = ok;
    } else if (std::strcmp(TypeNameOf(copy), "bignum") == 0) {
        v->beyond = v->d > 0 ? 1 : -1;
        v->dErr = BigMinusDouble(copy, v->d);
    } else if (std::strcmp(TypeNameOf(copy), "double") != 0) {
        Tcl_WideInt w;
        ok = Tcl_GetWideIntFromObj(nullptr, copy, &w) == TCL_OK;
        v->integer = true;
        v->w = w;
        NearestDouble(v->w, &v->d, &v->dErr);
    }
    Tcl_DecrRefCount(copy);
    return ok;
}

// What a comparison with the value comes to for one element type: no
// element, every element, or the test `op` against a threshold of type C.
enum class Outcome { None, All, Test };

template <class C>
struct WherePlan {
    Outcome outcome;
    CmpOp op = CmpOp::Eq;
    C threshold = 0;
};

// Integer elements: e < v holds exactly when e < ceil(v), e <= v when
// e <= floor(v), and so on; a bound outside the element's range makes
// the test hold for all or for none.
template <class T>
WherePlan<T> IntegerPlan(CmpOp op, const ExactValue& v) {
    using P = WherePlan<T>;
    if (v.nan) return P{op == CmpOp::Ne ? Outcome::All : Outcome::None};
    int beyond = v.beyond;
    std::int64_t fl = v.w;
    std::int64_t ce = v.w;
    if (!v.integer && beyond == 0) {
        // A double; at or above 2^63 (or an infinity) it lies beyond.
        if (v.d >= 0x1p63) {
            beyond = 1;
        } else if (v.d < -0x1p63) {
            beyond = -1;
        } else {
            fl = static_cast<std::int64_t>(std::floor(v.d));
            ce = static_cast<std::int64_t>(std::ceil(v.d));
        }
    }
    auto all = [](bool b) { return P{b ? Outcome::All : Outcome::None}; };
    auto test = [op](std::int64_t t) { return P{Outcome::Test, op, static_cast<T>(t)}; };
    if (beyond != 0) {
        if (op == CmpOp::Eq || op == CmpOp::Ne) return all(op == CmpOp::Ne);
        return all((op == CmpOp::Lt || op == CmpOp::Le) == (beyond > 0));
    }
    constexpr std::int64_t lo = std::numeric_limits<T>::min();
    constexpr std::int64_t hi = std::numeric_limits<T>::max();
    const bool exact = fl == ce && fl >= lo && fl <= hi;
    switch (op) {
        case CmpOp::Eq:
            return exact ? test(fl) : all(false);
        case CmpOp::Ne:
            return exact ? test(fl) : all(true);
        case CmpOp::Lt:
            return ce > hi ? all(true) : ce <= lo ? all(false) : test(ce);
        case CmpOp::Le:
            return fl >= hi ? all(true) : fl < lo ? all(false) : test(fl);
        case CmpOp::Gt:
            return fl < lo ? all(true) : fl >= hi ? all(false) : test(fl);
        case CmpOp::Ge:
            return ce <= lo ? all(true) : ce > hi ? all(false) : test(ce);
    }
    return all(false);
}

// Floating elements compare as doubles (a float widens exactly). An
// integer that no double represents lies strictly between d and the next
// double on the side of dErr, so e < v holds exactly when e <= d (value
// above d) or e < d (value below d), and equality never.
inline WherePlan<double> FloatPlan(CmpOp op, const ExactValue& v) {
    using P = WherePlan<double>;
    if (v.nan || (v.dErr != 0 && (op == CmpOp::Eq || op == CmpOp::Ne))) {
        return P{op == CmpOp::Ne ? Outcome::All : Outcome::None};
    }
    if (v.dErr > 0 && op == CmpOp::Lt) op = CmpOp::Le;
    if (v.dErr > 0 && op == CmpOp::Ge) op = CmpOp::Gt;
    if (v.dErr < 0 && op == CmpOp::Le) op = CmpOp::Lt;
    if (v.dErr < 0 && op == CmpOp::Gt) op = CmpOp::Ge;
    return P{Outcome::Test, op, v.d};
}

template <CmpOp kOp, class C>
inline bool Holds(C e, C t) noexcept {
    if constexpr (kOp == CmpOp::Eq) return e == t;
    if constexpr (kOp == CmpOp::Ne) return e != t;
    if constexpr (kOp == CmpOp::Lt) return e < t;
    if constexpr (kOp == CmpOp::Le) return e <= t;
    if constexpr (kOp == CmpOp::Gt) return e > t;
    if constexpr (kOp == CmpOp::Ge) return e >= t;
}

constexpr int kChunk = 1024;

// For each set of 8 test results as the bits of a byte: the offsets of
// its set bits, in increasing order (then zeros), and their count.
struct PackTable {
    std::uint8_t offsets[256][8];
    std::uint8_t count[256];
};

constexpr PackTable MakePackTable() {
    PackTable t{};
    for (int bits = 0; bits < 256; ++bits) {
        int k = 0;
        for (int q = 0; q < 8; ++q) {
            if ((bits >> q) & 1) t.offsets[bits][k++] = static_cast<std::uint8_t>(q);
        }
        t.count[bits] = static_cast<std::uint8_t>(k);
    }
    return t;
}

constexpr PackTable kPack = MakePackTable();

// Gathers 8 bytes of 0 or 1, loaded as one 64-bit word, into the bits of
// the top byte of the product: byte q to bit q. Each byte's one bit lands
// in the top byte at a place of its own, with no carry into it (checked
// over all 256 patterns); the order of the bytes in the word is the
// machine's.
constexpr std::uint64_t kGatherBits =
    std::endian::native == std::endian::little ? 0x0102040810204080u : 0x8040201008040201u;

// Writes the positions where the test holds to out (room for all of them)
// and returns their count. A chunk at a time: the tests as bytes (a loop
// that vectorises), then per 8 tests their positions at once, from the
// table, into a buffer of the chunk's own (8 stores whatever the count,
// no branch on a test), copied out.
template <CmpOp kOp, class C, class T>
NVEC_KERNEL int WhereKernel(const T* e, int n, C t, int* out) noexcept {
    int count = 0;
    // base steps by the chunk's length, never past n, which may be near
    // INT_MAX (as in the other loops by chunks).
    for (int base = 0, m; base < n; base += m) {
        m = std::min(kChunk, n - base);
        unsigned char hit[kChunk + 8];
        for (int j = 0; j < m; ++j) hit[j] = Holds<kOp>(static_cast<C>(e[base + j]), t);
        std::memset(hit + m, 0, 8);
        int local[kChunk + 8];
        int k = 0;
        for (int j = 0; j < m; j += 8) {
            std::uint64_t word;
            std::memcpy(&word, hit + j, sizeof word);
            const auto bits = static_cast<unsigned>((word * kGatherBits) >> 56);
            const std::uint8_t* offsets = kPack.offsets[bits];
            for (int q = 0; q < 8; ++q) local[k + q] = base + j + offsets[q];
            k += kPack.count[bits];
        }
        std::memcpy(out + count, local, static_cast<std::size_t>(k) * sizeof(int));
        count += k;
    }
    return count;
}

template <CmpOp kOp, class C, class T>
NVEC_KERNEL int CountKernel(const T* e, int n, C t) noexcept {
    int count = 0;
    for (int i = 0; i < n; ++i) count += Holds<kOp>(static_cast<C>(e[i]), t);
    return count;
}

// The positions as a new intarray payload; null when memory is short, or
// when they are more than an intarray can hold (a chararray of over 2^30
// elements in Tcl 8.6: *tooMany is set). The block for every position is
// asked for first (the pages of its unused end are never touched) and cut
// to the count; without room for it, a counting pass sizes it exactly.
template <class C, class T>
void* WherePayload(const T* e, int n, const WherePlan<C>& plan, bool* tooMany) {
    if (plan.outcome != Outcome::Test) {
        const int count = plan.outcome == Outcome::All ? n : 0;
        *tooMany = !PayloadFits<int>(count);
        void* p = TryNewPayload<int>(count, false);
        if (p == nullptr) return nullptr;
        int* out = PayloadData<int>(p);
        for (int i = 0; i < count; ++i) out[i] = i;
        return p;
    }
    return WithOp<CmpOp, 6>(plan.op, [&](auto op) -> void* {
        void* p = TryNewPayload<int>(n, false);
        if (p == nullptr) {
            const int count = CountKernel<decltype(op)::value>(e, n, plan.threshold);
            *tooMany = !PayloadFits<int>(count);
            p = TryNewPayload<int>(count, false);
            if (p == nullptr) return nullptr;
        }
        const int count = WhereKernel<decltype(op)::value>(e, n, plan.threshold, PayloadData<int>(p));
        if (count < PayloadCount(p)) {
            void* cut = Tcl_AttemptRealloc(static_cast<char*>(p),
                                           static_cast<AllocSize>(PayloadBytes<int>(count)));
            if (cut != nullptr) p = cut;
            PayloadCount(p) = count;
        }
        return p;
    });
}

// ---- take and assign -------------------------------------------------------

// Reads ?-dim <dim>? at objv[at] (absent when objc is at) and checks that
// dim divides the length.
int ReadDim(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], int at, int len, int* dim) {
    *dim = 1;
    if (objc == at) return TCL_OK;
    static constexpr const char* kDim[] = {"-dim"};
    if (FindName(objv[at], kDim) != 0) {
        return Fail(interp, ErrorClass::Syntax, "expected -dim <dim>");
    }
    if (GetIntArg(nullptr, objv[at + 1], dim) != TCL_OK || *dim < 1) {
        return Fail(interp, ErrorClass::Size, "wrong dim, must be a positive integer");
    }
    if (len % *dim != 0) {
        return Failf(interp, ErrorClass::Size, "nvec length %d is not a multiple of dim %d", len,
                     *dim);
    }
    return TCL_OK;
}

// The list position of the first entry that is negative or not below
// items, or -1. A block at a time: a test of the whole block that
// vectorises, the entries looked at one by one only in a block that fails.
NVEC_KERNEL int FirstBadPosition(const int* idx, int count, int items) noexcept {
    const auto limit = static_cast<unsigned>(items);
    for (int base = 0, m; base < count; base += m) {
        m = std::min(kChunk, count - base);
        bool bad = false;
        for (int j = 0; j < m; ++j) bad |= static_cast<unsigned>(idx[base + j]) >= limit;
        if (!bad) continue;
        for (int j = 0;; ++j) {
            if (static_cast<unsigned>(idx[base + j]) >= limit) return base + j;
        }
    }
    return -1;
}

// Copies one item of dim elements; kDim, when not 0, is dim known at
// compile time, so that small items (points of 2, 3 or 4 coordinates)
// copy as a few moves instead of a call.
template <int kDim, class T>
inline void CopyItem(T* to, const T* from, int dim) noexcept {
    if constexpr (kDim > 0) {
        for (int c = 0; c < kDim; ++c) to[c] = from[c];
    } else {
        std::memcpy(to, from, static_cast<std::size_t>(dim) * sizeof(T));
    }
}

// Random reads and writes in an array far beyond the caches each wait on
// memory; the kernels ask for the item kAhead positions on in advance, so
// that many of them overlap.
constexpr int kAhead = 32;

// out item k = src item idx[k], in list order, until an entry that is
// negative or not below items: returns its list position, or -1 when
// every item was copied. The test costs a branch that is always taken the
// same way, and spares a pass of its own over the list.
template <int kDim, class T>
NVEC_KERNEL int GatherKernel(const T* src, const int* idx, int count, int dim, int items,
                             T* out) noexcept {
    const auto limit = static_cast<unsigned>(items);
    for (int k = 0; k < count; ++k) {
#if defined(__GNUC__)
        // An entry out of range asks for item 0 instead.
        if (count - k > kAhead) {
            const auto j = static_cast<unsigned>(idx[k + kAhead]);
            __builtin_prefetch(src + static_cast<std::ptrdiff_t>(j < limit ? j : 0) * dim);
        }
#endif
        const int i = idx[k];
        if (static_cast<unsigned>(i) >= limit) return k;
        CopyItem<kDim>(out + static_cast<std::ptrdiff_t>(k) * dim,
                       src + static_cast<std::ptrdiff_t>(i) * dim, dim);
    }
    return -1;
}

// dst item idx[k] = src item k, in list order, so the last of repeated
// positions wins. The caller has checked the positions.
template <int kDim, class T>
NVEC_KERNEL void ScatterKernel(T* dst, const int* idx, int count, int dim, const T* src) noexcept {
    for (int k = 0; k < count; ++k) {
#if defined(__GNUC__)
        if (count - k > kAhead) {
            __builtin_prefetch(dst + static_cast<std::ptrdiff_t>(idx[k + kAhead]) * dim, 1);
        }
#endif
        CopyItem<kDim>(dst + static_cast<std::ptrdiff_t>(idx[k]) * dim,
                       src + static_cast<std::ptrdiff_t>(k) * dim, dim);
    }
}

// Calls f(std::integral_constant<int, kDim>{}) with kDim = dim for dims 1
// to 4, 0 for any other.
template <class F>
decltype(auto) WithDim(int dim, F&& f) {
    switch (dim) {
        case 1:
            return f(std::integral_constant<int, 1>{});
        case 2:
            return f(std::integral_constant<int, 2>{});
        case 3:
            return f(std::integral_constant<int, 3>{});
        case 4:
            return f(std::integral_constant<int, 4>{});
        default:
            return f(std::integral_constant<int, 0>{});
    }
}

// ---- apply -----------------------------------------------------------------

enum class ArithOp { Add, Sub, Mul, Div, Min, Max };
constexpr const char* kArithNames[] = {"+", "-", "*", "/", "min", "max"};

// a op b. Integers in their own width: + - * in the unsigned type of the
// promoted operands, so that they wrap modulo 2^width without signed
// overflow (two shorts multiplied as int could overflow); / truncates
// toward zero, and the most negative value divided by -1, which would
// overflow, wraps to itself as 0 - a does. The caller has refused a
// zero divisor. Floating values compute in double and come back by the
// element rules; min and max pick one operand, a NaN on either side
// giving NaN.
template <ArithOp kOp, class T>
inline T Arith(T a, T b) noexcept {
    if constexpr (kOp == ArithOp::Min || kOp == ArithOp::Max) {
        T r = (kOp == ArithOp::Min ? b < a : a < b) ? b : a;
        if constexpr (kIsFloat<T>) r = b != b ? b : r;
        return r;
    } else if constexpr (kIsFloat<T>) {
        const double x = a;
        const double y = b;
        if constexpr (kOp == ArithOp::Add) return FromDouble<T>(x + y);
        if constexpr (kOp == ArithOp::Sub) return FromDouble<T>(x - y);
        if constexpr (kOp == ArithOp::Mul) return FromDouble<T>(x * y);
        if constexpr (kOp == ArithOp::Div) return FromDouble<T>(x / y);
    } else {
        using U = std::make_unsigned_t<decltype(+a)>;
        if constexpr (kOp == ArithOp::Add) return WrapInt<T>(static_cast<U>(a) + static_cast<U>(b));
        if constexpr (kOp == ArithOp::Sub) return WrapInt<T>(static_cast<U>(a) - static_cast<U>(b));
        if constexpr (kOp == ArithOp::Mul) return WrapInt<T>(static_cast<U>(a) * static_cast<U>(b));
        if constexpr (kOp == ArithOp::Div) {
            if constexpr (std::is_signed_v<T>) {
                if (b == -1) return WrapInt<T>(U{0} - static_cast<U>(a));
            }
            return static_cast<T>(a / b);
        }
    }
}

template <ArithOp kOp, class T>
NVEC_KERNEL void ApplyScalarKernel(T* p, int n, T b) noexcept {
    for (int i = 0; i < n; ++i) p[i] = Arith<kOp>(p[i], b);
}

// q may be p itself (an array applied to itself): each element is read
// before it is written.
template <ArithOp kOp, class T>
NVEC_KERNEL void ApplyKernel(T* p, int n, const T* q) noexcept {
    for (int i = 0; i < n; ++i) p[i] = Arith<kOp>(p[i], q[i]);
}

// p[i] = p[i] op q[i mod k], k dividing n. A short operand is first
// repeated into a block of several hundred elements, so that the inner
// loop runs long enough to vectorise (the block is a multiple of k, and so
// is what remains of n after whole blocks).
template <ArithOp kOp, class T>
void ApplyOperand(T* p, int n, const T* q, int k) noexcept {
    constexpr int kRepeat = 512;
    if (n == 0) return;
    if (k == 1) {
        ApplyScalarKernel<kOp>(p, n, q[0]);
        return;
    }
    T block[kRepeat];
    int m = k;
    if (k < kRepeat / 2) {
        m = kRepeat / k * k;
        for (int j = 0; j < m; ++j) block[j] = q[j % k];
        q = block;
    }
    for (int base = 0, len; base < n; base += len) {
        len = std::min(m, n - base);
        ApplyKernel<kOp>(p + base, len, q);
    }
}

}  // namespace

// ---- handlers --------------------------------------------------------------

// The positions, increasing, of the elements for which `element op value`
// holds, as a new intarray.
int WhereCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) return SyntaxError(interp, "where <obj> <op> <value>");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    const int op = FindName(objv[3], kCmpNames);
    if (op < 0) return Fail(interp, ErrorClass::Syntax, "wrong operator, must be == != < <= > >=");
    ExactValue value;
    if (!ReadExactValue(objv[4], &value)) return Fail(interp, ErrorClass::Value, "wrong value");
    bool tooMany = false;
    void* payload = Visit(*type, [&]<class T>(std::type_identity<T>) {
        if constexpr (kIsFloat<T>) {
            return WherePayload(Elements<T>(obj), Length(obj), FloatPlan(CmpOp(op), value),
                                &tooMany);
        } else {
            return WherePayload(Elements<T>(obj), Length(obj), IntegerPlan<T>(CmpOp(op), value),
                                &tooMany);
        }
    });
    if (tooMany) return Fail(interp, ErrorClass::Size, "wrong size");
    if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    Tcl_SetObjResult(interp, NewArrayObj<int>(payload));
    return TCL_OK;
}

// A new array of the items (groups of dim elements) at the listed item
// positions, in list order, repeats included.
int TakeCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4 && objc != 6) return SyntaxError(interp, "take <obj> <indices> ?-dim <dim>?");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    // A data argument: obj keeps its elements even when it is the list.
    DataArg positions(ElemType::Int, objv[3]);
    Tcl_Obj* list = positions.get();
    if (list == nullptr) return Fail(interp, ErrorClass::Value, kMsgWrongIndices);
    const int len = Length(obj);
    int dim;
    if (ReadDim(interp, objc, objv, 4, len, &dim) != TCL_OK) return TCL_ERROR;
    const int count = Length(list);
    const int* idx = Elements<int>(list);
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        const std::int64_t total = static_cast<std::int64_t>(count) * dim;
        if (!PayloadFits<T>(total)) return Fail(interp, ErrorClass::Size, "wrong size");
        void* p = TryNewPayload<T>(total, false);
        if (p == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        const int bad = WithDim(dim, [&](auto d) {
            return GatherKernel<decltype(d)::value>(Elements<T>(obj), idx, count, dim, len / dim,
                                                    PayloadData<T>(p));
        });
        if (bad >= 0) {
            Tcl_Free(static_cast<char*>(p));
            return Failf(interp, ErrorClass::Index, "nvecs take wrong index %d", idx[bad]);
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(p));
        return TCL_OK;
    });
}

// In place: item indices[k] of obj receives item k of values.
int AssignCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5 && objc != 7) {
        return SyntaxError(interp, "assign <obj> <indices> <values> ?-dim <dim>?");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    DataArg positions(ElemType::Int, objv[3]);
    Tcl_Obj* list = positions.get();
    if (list == nullptr) return Fail(interp, ErrorClass::Value, kMsgWrongIndices);
    const int len = Length(obj);
    int dim;
    if (ReadDim(interp, objc, objv, 5, len, &dim) != TCL_OK) return TCL_ERROR;
    // Read as obj's type: an array of another type through a converted
    // copy, so that it keeps its own.
    DataArg values(*type, objv[4]);
    Tcl_Obj* vals = values.get();
    if (vals == nullptr) return Fail(interp, ErrorClass::Value, "wrong values");
    const int count = Length(list);
    const std::int64_t need = static_cast<std::int64_t>(count) * dim;
    if (Length(vals) != need) {
        return Failf(interp, ErrorClass::Size, "wrong number of values %d, must be %lld",
                     Length(vals), static_cast<long long>(need));
    }
    const int* idx = Elements<int>(list);
    const int bad = FirstBadPosition(idx, count, len / dim);
    if (bad >= 0) return Failf(interp, ErrorClass::Index, "nvecs assign wrong index %d", idx[bad]);
    if (count == 0) {
        // Nothing is written: the string stays.
        Tcl_SetObjResult(interp, obj);
        return TCL_OK;
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        // The positions or the values may be obj itself, which the writes
        // change: they are read from copies taken first.
        std::unique_ptr<int[], TclFree> idxCopy;
        std::unique_ptr<T[], TclFree> valsCopy;
        if (list == obj) idxCopy = TryCopy(idx, count);
        if (vals == obj) valsCopy = TryCopy(Elements<T>(vals), len);
        if ((list == obj && !idxCopy) || (vals == obj && !valsCopy)) {
            return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        }
        WithDim(dim, [&](auto d) {
            ScatterKernel<decltype(d)::value>(Elements<T>(obj), idxCopy ? idxCopy.get() : idx,
                                              count, dim,
                                              valsCopy ? valsCopy.get() : Elements<T>(vals));
        });
        InvalidateArrayString(obj);
        Tcl_SetObjResult(interp, obj);
        return TCL_OK;
    });
}

// In place: obj[i] = obj[i] op operand[i mod k].
int ApplyCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) return SyntaxError(interp, "apply <obj> <op> <operand>");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    const int op = FindName(objv[3], kArithNames);
    if (op < 0) return Fail(interp, ErrorClass::Syntax, "wrong operator, must be + - * / min max");
    DataArg operand(*type, objv[4]);
    Tcl_Obj* arg = operand.get();
    if (arg == nullptr) return Fail(interp, ErrorClass::Value, "wrong operand");
    const int len = Length(obj);
    const int k = Length(arg);
    // An empty operand only fits an empty array (element by element).
    if (k == 0 ? len != 0 : len % k != 0) {
        return Failf(interp, ErrorClass::Size, "wrong operand length %d, must divide nvec length %d",
                     k, len);
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        const T* q = Elements<T>(arg);
        if constexpr (kIsInteger<T>) {
            if (ArithOp(op) == ArithOp::Div && std::find(q, q + k, T{0}) != q + k) {
                return Fail(interp, ErrorClass::Value, "divide by zero");
            }
        }
        WithOp<ArithOp, 6>(ArithOp(op), [&](auto o) { ApplyOperand<decltype(o)::value>(Elements<T>(obj), len, q, k); });
        InvalidateArrayString(obj);
        Tcl_SetObjResult(interp, obj);
        return TCL_OK;
    });
}

}  // namespace nvec
