// Per-component reductions, counts, row output and byte order: reduce,
// histogram, text, byteswap.

#include <tcl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>

#include "../arrays/obj_types.h"
#include "../command/helpers.h"
#include "kernels.h"
#include "subcommands.h"

namespace nvec {

namespace {

using TextBuffer = std::unique_ptr<char[], TclFree>;

// Whether the word reads as an integer above the 64-bit range: Tcl's
// reader leaves such a number, read from a copy of the string, a bignum.
bool AboveWideInt(Tcl_Obj* word) {
    Tcl_Size len;
    const char* s = Tcl_GetStringFromObj(word, &len);
    Tcl_Obj* copy = Tcl_NewStringObj(s, len);
    Tcl_IncrRefCount(copy);
    double d;
    const bool above = Tcl_GetDoubleFromObj(nullptr, copy, &d) == TCL_OK &&
                       std::strcmp(TypeNameOf(copy), "bignum") == 0 && d > 0;
    Tcl_DecrRefCount(copy);
    return above;
}

// Reads a count option (-dim, -group, -columns): an integer of at least 1.
// An argument that is an array value is read from a copy of its string.
bool ReadCount(Tcl_Obj* word, int* out) {
    int v;
    if (GetIntArg(nullptr, word, &v) != TCL_OK || v < 1) return false;
    *out = v;
    return true;
}

// ---- reduce ----

// The three reductions over the items of a group, per component. Start
// makes a component's running value from its element in the first item,
// Step takes in the next element. kRegroup: the elements may be taken in
// any grouping, running values of interleaved runs combined by Merge in
// item order starting from Lane of the first value, and still give the
// value of taking them in item order (kSettleZero: up to the sign of a
// zero result).
template <class T, bool kMax>
struct BestOp {
    using Acc = T;
    // An element replaces the best only when strictly better, as minimum
    // and maximum decide: a NaN never wins, and a first NaN stays. Taken
    // in any grouping, the best value of runs that all start from the
    // first element is the same value; only its zero may carry the other
    // sign (-0.0 and 0.0 compare equal), which the kernel settles.
    static constexpr bool kRegroup = true;
    static constexpr bool kSettleZero = kIsFloat<T>;
    static Acc Start(T v) { return v; }
    static Acc Step(Acc best, T v) { return (kMax ? v > best : v < best) ? v : best; }
    static Acc Lane(Acc first) { return first; }
    static Acc Merge(Acc best, Acc run) { return Step(best, run); }
};

// As `sum` adds: from 0 (so a lone -0.0 sums to 0.0), in the accumulator
// of the element type, each value converted back to the sum's value type,
// which has the accumulator's width. Integer sums wrap modulo 2^width and
// may be regrouped; floating sums are rounded at each addition in item
// order and may not.
template <class T>
struct SumOp {
    using Acc = SumElem<T>;
    using U = SumAcc<T>;
    static constexpr bool kRegroup = kIsInteger<T>;
    static constexpr bool kSettleZero = false;
    static Acc Start(T v) { return SumValue<T>(static_cast<U>(0) + static_cast<U>(v)); }
    static Acc Step(Acc sum, T v) {
        return SumValue<T>(static_cast<U>(static_cast<U>(sum) + static_cast<U>(v)));
    }
    static Acc Lane(Acc) { return 0; }
    static Acc Merge(Acc sum, Acc run) {
        return SumValue<T>(static_cast<U>(static_cast<U>(sum) + static_cast<U>(run)));
    }
};

// Running values of kLanes consecutive elements (a whole number of items)
// are kept apart, so that the loop over a block of items is one flat loop
// that vectorises.
constexpr int kLanes = 64;

// Groups of up to kSmallGroup elements in items of one or two components
// are taken a block of groups at a time, item by item: each loop then runs
// over the groups of the block, not over the few elements of one group (a
// -group 3 minimum of 10^7 elements: 6 ms instead of 12). Wider items keep
// the loop over one group's components, which runs as fast. A block holds
// about kBlock elements, which stay in the first-level cache between the
// items.
constexpr int kSmallGroup = 64;
constexpr int kBlock = 2048;

// Reduces `groups` runs of `items` items (k components each, items >= 1)
// into groups rows of k values. Every component takes its elements in item
// order, except in a regrouped large group: there blocks of kLanes / k
// items are taken in lanes, where the operation may be regrouped.
template <class Op, class T>
NVEC_KERNEL void ReduceKernel(const T* p, std::int64_t groups, std::int64_t items, int k,
                              typename Op::Acc* out) noexcept {
    using Acc = typename Op::Acc;
    const std::int64_t stride = items * k;
    if (k <= 2 && stride <= kSmallGroup) {
        const std::int64_t perBlock = kBlock / stride;
        for (std::int64_t g0 = 0; g0 < groups; g0 += perBlock) {
            const std::int64_t count = groups - g0 < perBlock ? groups - g0 : perBlock;
            const T* base = p + g0 * stride;
            Acc* o = out + g0 * k;
            for (int c = 0; c < k; ++c) {
                for (std::int64_t g = 0; g < count; ++g)
                    o[g * k + c] = Op::Start(base[g * stride + c]);
            }
            for (std::int64_t i = 1; i < items; ++i) {
                for (int c = 0; c < k; ++c) {
                    const T* q = base + i * k + c;
                    Acc* oc = o + c;
                    for (std::int64_t g = 0; g < count; ++g) {
                        oc[g * k] = Op::Step(oc[g * k], q[g * stride]);
                    }
                }
            }
        }
        return;
    }
    for (std::int64_t g = 0; g < groups; ++g, out += k) {
        const T* first = p + g * stride;
        for (int c = 0; c < k; ++c) out[c] = Op::Start(first[c]);
        std::int64_t i = 1;
        bool regrouped = false;
        if constexpr (Op::kRegroup) {
            const int per = kLanes / k;
            if (per >= 2 && items > 2 * per) {
                const int width = per * k;
                Acc lane[kLanes];
                for (int j = 0; j < width; ++j) lane[j] = Op::Lane(out[j % k]);
                const std::int64_t blocks = (items - 1) / per;
                const T* q = first + k;
                for (std::int64_t b = 0; b < blocks; ++b, q += width) {
                    for (int j = 0; j < width; ++j) lane[j] = Op::Step(lane[j], q[j]);
                }
                for (int j = 0; j < width; ++j) out[j % k] = Op::Merge(out[j % k], lane[j]);
                i = 1 + blocks * per;
                regrouped = true;
            }
        }
        for (; i < items; ++i) {
            const T* q = first + i * k;
            for (int c = 0; c < k; ++c) out[c] = Op::Step(out[c], q[c]);
        }
        // A best zero of a floating type: item order gives the first zero
        // of the component.
        if constexpr (Op::kSettleZero) {
            for (int c = 0; regrouped && c < k; ++c) {
                if (out[c] != 0) continue;
                std::int64_t z = 0;
                while (first[z * k + c] != 0) ++z;
                out[c] = first[z * k + c];
            }
        }
    }
}

template <class Op, class T>
int Reduce(Tcl_Interp* interp, const T* p, int groups, int items, int k) {
    using R = typename Op::Acc;
    // Without items (an empty array, no -group) the one row is zero, as
    // minimum and sum give 0 for an empty array.
    const std::int64_t count = static_cast<std::int64_t>(groups) * k;
    if (!PayloadFits<R>(count)) return Fail(interp, ErrorClass::Size, "wrong size");
    void* payload = TryNewPayload<R>(count, items == 0);
    if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    if (items > 0) ReduceKernel<Op>(p, groups, items, k, PayloadData<R>(payload));
    Tcl_SetObjResult(interp, NewArrayObj<R>(payload));
    return TCL_OK;
}

// ---- histogram ----

template <class T>
NVEC_KERNEL void RangeKernel(const T* p, int n, T* lo, T* hi) noexcept {
    T a = p[0];
    T b = p[0];
    for (int i = 1; i < n; ++i) {
        a = p[i] < a ? p[i] : a;
        b = p[i] > b ? p[i] : b;
    }
    *lo = a;
    *hi = b;
}

// Whether v < 0; never for chararray (a test that would always fail is a
// warning).
template <class T>
constexpr bool Negative(T v) {
    if constexpr (std::is_signed_v<T>) {
        return v < 0;
    } else {
        return false;
    }
}

// Every element lies in [0, bins), checked before.
template <class T>
NVEC_KERNEL void CountKernel(const T* p, int n, int* counts) noexcept {
    for (int i = 0; i < n; ++i) ++counts[static_cast<std::size_t>(p[i])];
}

// ---- text ----

// Elements whose string form is taken at a time: its buffer stays small.
constexpr int kTextChunk = 4096;

// The separator after an element: a space, or a newline after every k-th
// element of a line.
inline char Separator(int k, int* column) {
    const bool last = ++*column == k;
    *column = last ? 0 : *column;
    return last ? '\n' : ' ';
}

// Writes the text of the integer elements at out + *pos, within limit
// bytes: each element as the string form's printer writes it (its
// decimal digits), then its separator. False when it does not fit.
template <class T>
bool WriteIntegerText(const T* elems, int n, int k, char* out, std::uint64_t limit,
                      std::uint64_t* pos) {
    constexpr int kWidth = Elem<T>::kPrintWidth;
    int column = 0;
    for (int i = 0; i < n; ++i) {
        if (limit - *pos < kWidth) {
            // Near the end of the room: print aside, then see whether it fits.
            char text[kWidth + 1];
            const auto len = static_cast<std::uint64_t>(PrintElemText<T>(text, elems[i]) - text);
            if (len + 1 > limit - *pos) return false;
            std::memcpy(out + *pos, text, len);
            *pos += len;
        } else {
            *pos = static_cast<std::uint64_t>(PrintElemText<T>(out + *pos, elems[i]) - out);
        }
        out[(*pos)++] = Separator(k, &column);
    }
    return true;
}

// The same for the floating types, whose string form writes each run of
// kTextChunk elements at once, and faster than one element at a time: the
// run's text is the string form of an array holding it, with each
// separator then a space or a newline. False when it does not fit; NULL
// chunk: no memory for one.
template <class T>
bool WriteFloatText(const T* elems, int n, int k, char* out, std::uint64_t limit,
                    std::uint64_t* pos, Tcl_Obj* chunk) {
    void* payload = PayloadOf(chunk);
    int column = 0;
    for (int start = 0; start < n; start += kTextChunk) {
        const int count = std::min(kTextChunk, n - start);
        PayloadCount(payload) = count;
        std::memcpy(PayloadData<T>(payload), elems + start,
                    static_cast<std::size_t>(count) * sizeof(T));
        Tcl_InvalidateStringRep(chunk);
        Tcl_Size len;
        const char* s = Tcl_GetStringFromObj(chunk, &len);
        const auto bytes = static_cast<std::uint64_t>(len) + 1;
        if (bytes > limit - *pos) return false;
        char* q = out + *pos;
        for (Tcl_Size i = 0; i < len; ++i) q[i] = s[i] == ' ' ? Separator(k, &column) : s[i];
        // The separator after the run's last element.
        q[len] = Separator(k, &column);
        *pos += bytes;
    }
    return true;
}

// Writes the elements' text, k to a line, into a new string value: the
// numbers exactly as obj's string form writes them, though obj's own
// string is never made or read.
template <class T>
int WriteText(Tcl_Interp* interp, const T* elems, int n, int k) {
    // An element's text and its separator take at most kPrintWidth bytes.
    const std::uint64_t bound = static_cast<std::uint64_t>(n) * Elem<T>::kPrintWidth;
    const std::uint64_t limit = std::min(bound, kMaxValueBytes);
    TextBuffer buf(static_cast<char*>(Tcl_AttemptAlloc(static_cast<AllocSize>(limit + 1))));
    if (buf == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    char* out = buf.get();
    AdviseHugePages(out, static_cast<std::size_t>(limit + 1));
    std::uint64_t pos = 0;
    bool fits;
    if constexpr (kIsInteger<T>) {
        fits = WriteIntegerText(elems, n, k, out, limit, &pos);
    } else {
        void* payload = TryNewPayload<T>(std::min(n, kTextChunk), false);
        if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        Tcl_Obj* chunk = NewArrayObj<T>(payload);
        Tcl_IncrRefCount(chunk);
        fits = WriteFloatText(elems, n, k, out, limit, &pos, chunk);
        Tcl_DecrRefCount(chunk);
    }
    if (!fits) return Fail(interp, ErrorClass::Size, "text too long for a Tcl value");
    out[pos] = '\0';
    if (void* shrunk = Tcl_AttemptRealloc(out, static_cast<AllocSize>(pos + 1))) {
        buf.release();
        buf.reset(static_cast<char*>(shrunk));
    }
    Tcl_Obj* result = Tcl_NewObj();
    Tcl_InvalidateStringRep(result);
    result->bytes = buf.release();
    result->length = static_cast<Tcl_Size>(pos);
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

// ---- byteswap ----

template <class U>
constexpr U ByteReverse(U v) {
    if constexpr (sizeof(U) == 2) {
        return __builtin_bswap16(v);
    } else if constexpr (sizeof(U) == 4) {
        return __builtin_bswap32(v);
    } else {
        return __builtin_bswap64(v);
    }
}

// Reverses the bytes of each of n elements of sizeof(U) bytes, moved
// through an unsigned integer of that width (the bits of floating
// elements, NaN payloads included, are moved as they are).
template <class U>
NVEC_KERNEL void ByteswapKernel(unsigned char* p, int n) noexcept {
    for (int i = 0; i < n; ++i) {
        U v;
        std::memcpy(&v, p + static_cast<std::size_t>(i) * sizeof(U), sizeof(U));
        v = ByteReverse(v);
        std::memcpy(p + static_cast<std::size_t>(i) * sizeof(U), &v, sizeof(U));
    }
}

}  // namespace

// Per component (k consecutive elements per item) the minimum, maximum or
// sum over all items, or over each run of g items.
int ReduceCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    constexpr const char kUsage[] = "reduce <obj> min|max|sum ?-dim <k>? ?-group <g>?";
    if (objc < 4 || objc % 2 != 0) return SyntaxError(interp, kUsage);
    for (int i = 4; i < objc; i += 2) {
        const char* option = Tcl_GetString(objv[i]);
        if (std::strcmp(option, "-dim") != 0 && std::strcmp(option, "-group") != 0) {
            return SyntaxError(interp, kUsage);
        }
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    const char* opWord = Tcl_GetString(objv[3]);
    const int op = std::strcmp(opWord, "min") == 0   ? 0
                   : std::strcmp(opWord, "max") == 0 ? 1
                   : std::strcmp(opWord, "sum") == 0 ? 2
                                                     : -1;
    if (op < 0) return Fail(interp, ErrorClass::Syntax, "wrong operation, must be min, max or sum");
    int dim = 1;
    int group = 0;
    for (int i = 4; i < objc; i += 2) {
        const bool isDim = std::strcmp(Tcl_GetString(objv[i]), "-dim") == 0;
        if (!ReadCount(objv[i + 1], isDim ? &dim : &group)) {
            return Fail(interp, ErrorClass::Size,
                        isDim ? "wrong dim, must be a positive integer"
                              : "wrong group, must be a positive integer");
        }
    }
    const int n = Length(obj);
    if (n % dim != 0) {
        return Failf(interp, ErrorClass::Size, "nvec length %d is not a multiple of dim %d", n,
                     dim);
    }
    const int count = n / dim;
    if (group > 0 && count % group != 0) {
        return Failf(interp, ErrorClass::Size, "item count %d is not a multiple of group %d", count,
                     group);
    }
    const int items = group > 0 ? group : count;
    const int groups = group > 0 ? count / group : 1;
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        const T* p = Elements<T>(obj);
        if (op == 0) return Reduce<BestOp<T, false>>(interp, p, groups, items, dim);
        if (op == 1) return Reduce<BestOp<T, true>>(interp, p, groups, items, dim);
        return Reduce<SumOp<T>>(interp, p, groups, items, dim);
    });
}

// h[v] = the number of elements equal to v, for v below bins.
int HistogramCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3 && objc != 4) return SyntaxError(interp, "histogram <obj> ?<bins>?");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    return Visit(*type, [&]<class T>(std::type_identity<T>) -> int {
        if constexpr (kIsFloat<T>) {
            return Fail(interp, ErrorClass::Type, kMsgWrongIntType);
        } else {
            constexpr std::int64_t kMaxBins = MaxElems<int>();
            std::int64_t bins = -1;  // -1: the largest element + 1
            if (objc == 4) {
                Tcl_WideInt v;
                if (GetWideIntArg(nullptr, objv[3], &v) != TCL_OK) {
                    if (AboveWideInt(objv[3])) {
                        return Failf(interp, ErrorClass::Size, "too many bins %s",
                                     Tcl_GetString(objv[3]));
                    }
                    return Fail(interp, ErrorClass::Value, "wrong bins");
                }
                if (v < 0) return Fail(interp, ErrorClass::Value, "wrong bins");
                if (v > kMaxBins) {
                    return Failf(interp, ErrorClass::Size, "too many bins %lld",
                                 static_cast<long long>(v));
                }
                bins = v;
            }
            const T* p = Elements<T>(obj);
            const int n = Length(obj);
            T lo = 0;
            T hi = 0;
            if (n > 0) RangeKernel(p, n, &lo, &hi);
            // The first element that is negative or not below the bins.
            if (n > 0 && (Negative(lo) || (bins >= 0 && static_cast<std::int64_t>(hi) >= bins))) {
                int i = 0;
                while (!Negative(p[i]) && (bins < 0 || static_cast<std::int64_t>(p[i]) < bins)) ++i;
                const auto v = static_cast<long long>(p[i]);
                if (Negative(p[i])) {
                    return Failf(interp, ErrorClass::Value,
                                 "nvecs histogram wrong value %lld, must be non-negative", v);
                }
                return Failf(interp, ErrorClass::Value,
                             "nvecs histogram wrong value %lld, must be below bins %lld", v,
                             static_cast<long long>(bins));
            }
            // hi + 1 as unsigned: the largest 64-bit element has no signed
            // successor.
            const std::uint64_t size = bins >= 0 ? static_cast<std::uint64_t>(bins)
                                       : n > 0   ? static_cast<std::uint64_t>(hi) + 1
                                                 : 0;
            if (size > static_cast<std::uint64_t>(kMaxBins)) {
                return Failf(interp, ErrorClass::Size, "too many bins %llu",
                             static_cast<unsigned long long>(size));
            }
            void* payload = TryNewPayload<int>(static_cast<std::int64_t>(size), true);
            if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
            CountKernel(p, n, PayloadData<int>(payload));
            Tcl_SetObjResult(interp, NewArrayObj<int>(payload));
            return TCL_OK;
        }
    });
}

// The numbers of the string form, k to a line, each line ended by a
// newline.
int TextCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    constexpr const char kUsage[] = "text <obj> ?-columns <k>?";
    if (objc != 3 && objc != 5) return SyntaxError(interp, kUsage);
    if (objc == 5 && std::strcmp(Tcl_GetString(objv[3]), "-columns") != 0) {
        return SyntaxError(interp, kUsage);
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    int columns = 1;
    if (objc == 5 && !ReadCount(objv[4], &columns)) {
        return Fail(interp, ErrorClass::Size, "wrong columns, must be a positive integer");
    }
    const int n = Length(obj);
    if (n % columns != 0) {
        return Failf(interp, ErrorClass::Size, "nvec length %d is not a multiple of columns %d", n,
                     columns);
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        return WriteText<T>(interp, Elements<T>(obj), n, columns);
    });
}

// Reverses the bytes of every element in place.
int ByteswapCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) return SyntaxError(interp, "byteswap <obj>");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    Tcl_SetObjResult(interp, obj);
    // One byte per element: nothing to reverse, the string stays.
    if (*type == ElemType::Char) return TCL_OK;
    Visit(*type, [&]<class T>(std::type_identity<T>) {
        using U =
            std::conditional_t<sizeof(T) == 2, std::uint16_t,
                               std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>;
        static_assert(sizeof(T) == 1 || sizeof(U) == sizeof(T));
        if constexpr (sizeof(T) > 1) {
            ByteswapKernel<U>(reinterpret_cast<unsigned char*>(Elements<T>(obj)), Length(obj));
        }
    });
    InvalidateArrayString(obj);
    return TCL_OK;
}

}  // namespace nvec
