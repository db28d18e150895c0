// Layout and splicing: range, interleave, deinterleave, reverse, swap,
// permute, extract, concat, insert, remove, replace, resize.
//
// All of them move elements as they are, never converting a value, so each
// kernel is one template over the element type. The in-place subcommands
// write into the payload of the object they are given (every holder of the
// object sees the change) and invalidate its string afterwards. Splicing
// resizes the payload block with one reallocation and block moves; when the
// count changes, the block is sized for the new count exactly.

#include <tcl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>

#include "../arrays/obj_types.h"
#include "../command/helpers.h"
#include "subcommands.h"

namespace nvec {

namespace {

constexpr const char kMsgWrongSize[] = "wrong size";
constexpr const char kMsgStartEnd[] = "wrong index_start or index_end";
constexpr const char kMsgSameType[] = "the inserted array must be of the same type";
constexpr const char kMsgWrongComponents[] = "wrong num_components";

template <class T>
using TempBuffer = std::unique_ptr<T[], TclFree>;

// A work buffer of n elements (n >= 1), or null when memory is short. n
// never exceeds the length of an existing payload, so the byte count fits
// the allocator's size.
template <class T>
TempBuffer<T> TryTempBuffer(int n) noexcept {
    auto bytes = static_cast<AllocSize>(static_cast<std::uint64_t>(n) * sizeof(T));
    TempBuffer<T> buffer(reinterpret_cast<T*>(Tcl_AttemptAlloc(bytes)));
    if (buffer) AdviseHugePages(buffer.get(), bytes);
    return buffer;
}

// Resizes obj's payload block to hold n elements and stores n as its count.
// Growing may fail (false, obj untouched). A shrinking reallocation that
// fails keeps the larger block, which is a valid payload with spare room.
template <class T>
bool ResizePayload(Tcl_Obj* obj, std::int64_t n) noexcept {
    if (!PayloadFits<T>(n)) return false;
    void* old = PayloadOf(obj);
    void* p =
        Tcl_AttemptRealloc(static_cast<char*>(old), static_cast<AllocSize>(PayloadBytes<T>(n)));
    if (p == nullptr) {
        if (n > PayloadCount(old)) return false;
        p = old;
    }
    obj->internalRep.otherValuePtr = p;
    PayloadCount(p) = static_cast<std::int32_t>(n);
    return true;
}

// Reads an integer argument. An argument that is itself an array value
// (possibly the very array being worked on) is read from a copy of its
// string: Tcl's integer reader would convert it to an integer and free its
// elements under the caller.
bool ReadInt(Tcl_Obj* arg, int* out) { return GetIntArg(nullptr, arg, out) == TCL_OK; }

bool SameTypeName(Tcl_Obj* a, Tcl_Obj* b) { return std::strcmp(TypeNameOf(a), TypeNameOf(b)) == 0; }

// Sets obj as the result after an in-place change.
int Changed(Tcl_Interp* interp, Tcl_Obj* obj) {
    InvalidateArrayString(obj);
    Tcl_SetObjResult(interp, obj);
    return TCL_OK;
}

// ---- kernels ----

// Planar (all first components, then all second ones...) to interleaved
// (the n components of each item side by side), or back. n >= 1 divides
// len. One temporary copy; each element is written once.
template <class T>
bool Regroup(T* data, int len, int n, bool interleave) noexcept {
    if (len == 0 || n == 1 || n == len) return true;  // the mapping is the identity
    TempBuffer<T> old = TryTempBuffer<T>(len);
    if (!old) return false;
    std::memcpy(old.get(), data, static_cast<std::size_t>(len) * sizeof(T));
    int m = len / n;
    for (int c = 0; c < n; ++c) {
        for (int j = 0; j < m; ++j) {
            // Both products stay below len.
            if (interleave) {
                data[j * n + c] = old[c * m + j];
            } else {
                data[c * m + j] = old[j * n + c];
            }
        }
    }
    return true;
}

// Reverses the whole array, then each complete block of b elements of the
// result: the block order is reversed and each block keeps its inner order.
template <class T>
void ReverseBlocks(T* data, int len, int b) noexcept {
    std::reverse(data, data + len);
    if (b < 2) return;
    for (int k = 0; k < len / b; ++k) {
        T* block = data + static_cast<std::ptrdiff_t>(k) * b;
        std::reverse(block, block + b);
    }
}

// Opens a gap of k elements at `at` in an array of len elements by moving
// the tail [at + m, len) up to at + k (m elements at `at` are replaced).
// Fills the gap from src, or, when src is null, with the array's own
// contents as they were before the call (k == len then). The block holds
// max(len, len - m + k) elements.
template <class T>
void Splice(T* data, int len, int at, int m, const T* src, int k) noexcept {
    std::size_t tail = static_cast<std::size_t>(len - at - m);
    if (k != m) std::memmove(data + at + k, data + at + m, tail * sizeof(T));
    if (src != nullptr) {
        std::memcpy(data + at, src, static_cast<std::size_t>(k) * sizeof(T));
        return;
    }
    // Self splice. Now: prefix [0, at), run [at, at + m), tail at
    // [at + k, at + k + tail). The gap [at, at + k) receives prefix, run and
    // tail; the run goes first because the prefix copy overwrites it.
    std::memmove(data + 2 * at, data + at, static_cast<std::size_t>(m) * sizeof(T));
    std::memcpy(data + at, data, static_cast<std::size_t>(at) * sizeof(T));
    std::memcpy(data + 2 * at + m, data + at + k, tail * sizeof(T));
}

// Replaces the m elements at `at` (m may be 0: insertion) of obj by the k
// elements of `insert` (which may be obj itself). Checks the new size first;
// on failure obj is unchanged and the message is set.
template <class T>
int SpliceArray(Tcl_Interp* interp, Tcl_Obj* obj, int at, int m, Tcl_Obj* insert) {
    int len = Length(obj);
    int k = Length(insert);
    std::int64_t newLen = static_cast<std::int64_t>(len) - m + k;
    if (!PayloadFits<T>(newLen)) return Fail(interp, ErrorClass::Size, kMsgWrongSize);
    bool self = insert == obj;
    if (k > m) {
        if (!ResizePayload<T>(obj, newLen)) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        // The count is already the new one; the kernel works on the old.
        Splice<T>(Elements<T>(obj), len, at, m, self ? nullptr : Elements<T>(insert), k);
    } else {
        // Not self: a self splice always has k == len >= m, and k == m
        // there means the whole array replaced by itself.
        if (!self) Splice<T>(Elements<T>(obj), len, at, m, Elements<T>(insert), k);
        if (k < m) ResizePayload<T>(obj, newLen);
    }
    return Changed(interp, obj);
}

}  // namespace

// ---- ranges, interleaving, reversal ----

// Copies elements start to end (inclusive, both clamped into the array) into
// a new array of the same type.
int RangeCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) {
        return SyntaxError(interp, "range <obj> <index_start> <index_end>");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    int len = Length(obj);
    int start, end;
    if (GetIndex(interp, len, objv[3], &start) != TCL_OK ||
        GetIndex(interp, len, objv[4], &end) != TCL_OK) {
        return TCL_ERROR;
    }
    start = std::clamp(start, 0, std::max(len - 1, 0));
    end = std::clamp(end, 0, std::max(len - 1, 0));
    int count = (len == 0 || end < start) ? 0 : end - start + 1;
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        void* p = TryNewPayload<T>(count, false);
        if (p == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        if (count > 0) {
            std::memcpy(PayloadData<T>(p), Elements<T>(obj) + start,
                        static_cast<std::size_t>(count) * sizeof(T));
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(p));
        return TCL_OK;
    });
}

namespace {

int RegroupCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], bool interleave) {
    if (objc != 4) {
        return SyntaxError(interp, interleave ? "interleave <obj> <num_components>"
                                              : "deinterleave <obj> <num_components>");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    int n;
    if (!ReadInt(objv[3], &n)) {
        // interleave's message for this word names the array, yet the
        // word is the component count: both are value errors.
        return interleave ? Fail(interp, ErrorClass::Value, "wrong obj")
                          : Fail(interp, ErrorClass::Size, kMsgWrongComponents);
    }
    int len = Length(obj);
    // len is never negative, so len % n is defined for every n but 0 (even
    // INT_MIN).
    if (n == 0 || len % n != 0) {
        return Fail(interp, ErrorClass::Size, kMsgWrongComponents);
    }
    // A negative n that divides the length moves nothing.
    if (n > 0) {
        bool ok = Visit(*type, [&]<class T>(std::type_identity<T>) {
            return Regroup<T>(Elements<T>(obj), len, n, interleave);
        });
        if (!ok) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    }
    return Changed(interp, obj);
}

}  // namespace

// Planar to interleaved components, in place.
int InterleaveCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return RegroupCmd(interp, objc, objv, true);
}

// Interleaved to planar components, in place.
int DeinterleaveCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return RegroupCmd(interp, objc, objv, false);
}

// Reverses the elements, or the order of blocks of elements, in place.
int ReverseCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    int b = 1;
    if (objc == 4) {
        if (!ReadInt(objv[3], &b) || b < 1) {
            return Fail(interp, ErrorClass::Size, "wrong nvec reverse blocksize");
        }
    } else if (objc != 3) {
        return SyntaxError(interp, "reverse <obj> ?<blocksize>?");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgWrongType);
    }
    Visit(*type, [&]<class T>(std::type_identity<T>) {
        ReverseBlocks<T>(Elements<T>(obj), Length(obj), b);
    });
    return Changed(interp, obj);
}

// ---- swapping, permutation, extraction ----

// Exchanges two elements in place; no result.
int SwapCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) {
        return SyntaxError(interp, "swap <obj> <index_i> <index_j>");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    int len = Length(obj);
    int i, j;
    if (GetIndex(interp, len, objv[3], &i) != TCL_OK) return TCL_ERROR;
    if (i < 0 || i >= len) {
        return Fail(interp, ErrorClass::Index, "wrong index_i");
    }
    if (GetIndex(interp, len, objv[4], &j) != TCL_OK) return TCL_ERROR;
    if (j < 0 || j >= len) {
        return Fail(interp, ErrorClass::Index, "wrong index_j");
    }
    Visit(*type, [&]<class T>(std::type_identity<T>) {
        T* data = Elements<T>(obj);
        std::swap(data[i], data[j]);
    });
    InvalidateArrayString(obj);
    return TCL_OK;
}

// Reorders the array in place: new element k is old element p[k]. The list
// must name every position exactly once; no result.
int PermuteCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4) {
        return SyntaxError(interp, "permute <obj> <permutation>");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    // A data argument: the array's own elements stay as they are even
    // when the list is the array itself.
    DataArg positions(ElemType::Int, objv[3]);
    Tcl_Obj* list = positions.get();
    if (list == nullptr || Length(list) == 0) {
        return Fail(interp, ErrorClass::Value,
                    "wrong permutation. must be a list of integer indices");
    }
    int len = Length(obj);
    int count = Length(list);
    if (count != len) {
        return Failf(interp, ErrorClass::Size,
                     "wrong permutation length %d, must be equal to nvec length %d", count, len);
    }
    // One bit per position: a position seen twice means another is missing.
    // Range errors are reported first, in list order, before any repeat.
    TempBuffer<unsigned char> seen = TryTempBuffer<unsigned char>(len / 8 + 1);
    if (!seen) {
        return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    }
    std::memset(seen.get(), 0, static_cast<std::size_t>(len / 8 + 1));
    const int* p = Elements<int>(list);
    bool repeated = false;
    for (int k = 0; k < count; ++k) {
        int pos = p[k];
        if (pos < 0 || pos >= len) {
            return Failf(interp, ErrorClass::Index, "nvecs permute wrong index %d", pos);
        }
        unsigned char bit = static_cast<unsigned char>(1u << (pos % 8));
        if (seen[pos / 8] & bit) repeated = true;
        seen[pos / 8] |= bit;
    }
    if (repeated) {
        return Failf(interp, ErrorClass::Value,
                     "nvecs permute, it is not a permutation of indices from 0 to %d", len - 1);
    }
    bool ok = Visit(*type, [&]<class T>(std::type_identity<T>) {
        TempBuffer<T> gathered = TryTempBuffer<T>(len);
        if (!gathered) return false;
        // When list is obj itself (an intarray), p reads the old order
        // while the new one is gathered apart.
        const T* data = Elements<T>(obj);
        for (int k = 0; k < len; ++k) gathered[k] = data[p[k]];
        std::memcpy(Elements<T>(obj), gathered.get(), static_cast<std::size_t>(len) * sizeof(T));
        return true;
    });
    if (!ok) {
        return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    }
    InvalidateArrayString(obj);
    return TCL_OK;
}

// Gathers the listed items (groups of dim consecutive elements) into a new
// array, in list order, repeats included.
int ExtractCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4 && objc != 6) {
        return SyntaxError(interp, "extract <obj> <indices_extract> ?-dim <dim>?");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    // A data argument: the array's own elements stay as they are even
    // when the list is the array itself.
    DataArg positions(ElemType::Int, objv[3]);
    Tcl_Obj* list = positions.get();
    if (list == nullptr || Length(list) == 0) {
        return Fail(interp, ErrorClass::Value,
                    "wrong indices to extract. must be a list of integer indices");
    }
    int len = Length(obj);
    int dim = 1;
    if (objc == 6) {
        if (std::strcmp(Tcl_GetString(objv[4]), "-dim") != 0) {
            return Fail(interp, ErrorClass::Syntax, "expected -dim <dim>");
        }
        // The message shows the default 1 when dim cannot be read.
        int read = 0;
        bool ok = ReadInt(objv[5], &read);
        if (ok) dim = read;
        if (!ok || dim < 1 || dim > len) {
            return Failf(interp, ErrorClass::Size, "wrong dim %d", dim);
        }
    }
    if (len % dim != 0) {
        return Failf(interp, ErrorClass::Size,
                     "wrong amount of object items %d. must be a multiple of dim %d", len, dim);
    }
    int items = len / dim;
    int count = Length(list);
    if (count > items) {
        return Failf(interp, ErrorClass::Size,
                     "wrong indices to extract length %d, must be small to nvec length %d", count,
                     items);
    }
    // The dim word, even when it is the list itself, was read from a copy
    // of its string, so the list still holds its elements.
    const int* idx = Elements<int>(list);
    for (int k = 0; k < count; ++k) {
        if (idx[k] < 0 || idx[k] >= items) {
            return Failf(interp, ErrorClass::Index, "nvecs extract wrong index %d", idx[k]);
        }
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        // count * dim <= items * dim == len, so the size is that of an
        // existing payload.
        void* p = TryNewPayload<T>(static_cast<std::int64_t>(count) * dim, false);
        if (p == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        T* out = PayloadData<T>(p);
        const T* src = Elements<T>(obj);
        std::size_t itemBytes = static_cast<std::size_t>(dim) * sizeof(T);
        for (int k = 0; k < count; ++k) {
            std::memcpy(out + static_cast<std::ptrdiff_t>(k) * dim,
                        src + static_cast<std::ptrdiff_t>(idx[k]) * dim, itemBytes);
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(p));
        return TCL_OK;
    });
}

// ---- concatenation and splicing ----

// Joins arrays of one type into a new array, allocated once at its size.
int ConcatCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 3) {
        return SyntaxError(interp, "concat <obj> <obj2> ... <objn>");
    }
    std::int64_t total = 0;
    for (int a = 2; a < objc; ++a) {
        if (!SameTypeName(objv[a], objv[2])) {
            return Fail(interp, ErrorClass::Type, "all obj must have same type");
        }
        if (!ElemTypeOf(objv[a])) {
            return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
        }
        total += Length(objv[a]);
    }
    return Visit(*ElemTypeOf(objv[2]), [&]<class T>(std::type_identity<T>) {
        if (!PayloadFits<T>(total)) return Fail(interp, ErrorClass::Size, kMsgWrongSize);
        void* p = TryNewPayload<T>(total, false);
        if (p == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        T* out = PayloadData<T>(p);
        for (int a = 2; a < objc; ++a) {
            int n = Length(objv[a]);
            if (n > 0) {
                std::memcpy(out, Elements<T>(objv[a]), static_cast<std::size_t>(n) * sizeof(T));
            }
            out += n;
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(p));
        return TCL_OK;
    });
}

// Inserts the elements of an array of the same type before position `at`
// (len appends; "end" is before the last element).
int InsertCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) {
        return SyntaxError(interp, "insert <obj> index <obj_to_insert>");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    int len = Length(obj);
    int at;
    if (GetIndex(interp, len, objv[3], &at) != TCL_OK) return TCL_ERROR;
    at = std::clamp(at, 0, len);
    Tcl_Obj* insert = objv[4];
    if (!SameTypeName(insert, obj)) {
        return Fail(interp, ErrorClass::Type, kMsgSameType);
    }
    if (Length(insert) == 0) {
        return TCL_OK;
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        return SpliceArray<T>(interp, obj, at, 0, insert);
    });
}

namespace {

// Reads and checks the run start..end (inclusive) of remove and replace.
// Negative indices become 0; a run that ends before it starts, or starts at
// or past the length (every run of an empty array), is refused; an end at
// or past the length is cut at the last element.
int ReadRun(Tcl_Interp* interp, Tcl_Obj* startObj, Tcl_Obj* endObj, int len, int* start,
            int* count) {
    int s, e;
    if (GetIndex(interp, len, startObj, &s) != TCL_OK) return TCL_ERROR;
    s = std::max(s, 0);
    if (endObj == nullptr) {
        e = s;
    } else {
        if (GetIndex(interp, len, endObj, &e) != TCL_OK) return TCL_ERROR;
        e = std::max(e, 0);
    }
    if (e < s || s >= len) {
        return Fail(interp, ErrorClass::Index, kMsgStartEnd);
    }
    e = std::min(e, len - 1);
    *start = s;
    *count = e - s + 1;
    return TCL_OK;
}

}  // namespace

// Removes the run start..end (inclusive; one element without end) in place.
int RemoveCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4 && objc != 5) {
        return SyntaxError(interp, "remove <obj> <index_start> ?<index_end>?");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    int len = Length(obj);
    int start, count;
    if (ReadRun(interp, objv[3], objc == 5 ? objv[4] : nullptr, len, &start, &count) != TCL_OK) {
        return TCL_ERROR;
    }
    Visit(*type, [&]<class T>(std::type_identity<T>) {
        T* data = Elements<T>(obj);
        std::memmove(data + start, data + start + count,
                     static_cast<std::size_t>(len - start - count) * sizeof(T));
        ResizePayload<T>(obj, len - count);
    });
    return Changed(interp, obj);
}

// Replaces the run start..end (inclusive) by the elements of an array of
// the same type, in place.
int ReplaceCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 6) {
        return SyntaxError(interp, "replace <obj> <index_start> <index_end> <obj_to_insert>");
    }
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    int len = Length(obj);
    int start, count;
    if (ReadRun(interp, objv[3], objv[4], len, &start, &count) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_Obj* insert = objv[5];
    if (!SameTypeName(insert, obj)) {
        return Fail(interp, ErrorClass::Type, kMsgSameType);
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        return SpliceArray<T>(interp, obj, start, count, insert);
    });
}

// Sets the length in place. With -preserve the leading elements keep their
// values; every other element becomes zero, so no stale heap bytes show.
int ResizeCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    int shift = 0;
    // An array value's string is a list of numbers, never "-preserve", so
    // arrays are not asked for their (possibly long) string.
    if (objc > 2 && !ElemTypeOf(objv[2]) && std::strcmp(Tcl_GetString(objv[2]), "-preserve") == 0) {
        shift = 1;
    }
    bool preserve = shift == 1;
    if (objc - shift != 4) {
        return SyntaxError(interp, "resize ?-preserve? <obj> <size>");
    }
    Tcl_Obj* obj = objv[2 + shift];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) {
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    int size;
    if (!ReadInt(objv[3 + shift], &size)) {
        return Fail(interp, ErrorClass::Size, "wrong length");
    }
    if (size < 0) {
        return Failf(interp, ErrorClass::Size, "wrong length %d", size);
    }
    int len = Length(obj);
    if (size == len) {
        return TCL_OK;
    }
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        if (!PayloadFits<T>(size)) return Failf(interp, ErrorClass::Size, "wrong length %d", size);
        if (preserve) {
            if (!ResizePayload<T>(obj, size)) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
            if (size > len) {
                std::memset(static_cast<void*>(Elements<T>(obj) + len), 0,
                            static_cast<std::size_t>(size - len) * sizeof(T));
            }
        } else {
            void* p = TryNewPayload<T>(size, true);
            if (p == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
            InstallPayload<T>(obj, p);
        }
        return Changed(interp, obj);
    });
}

}  // namespace nvec
