// Creation, sequences and element access: new, new_from_to,
// new_n_from_increment, clone, set, get, get_binary, and the raw-byte
// loader that new -binary and set -binary share.
//
// Raw byte form: the elements one after another in native byte order, no
// header and no padding, sizeof(T) bytes each (so longarray takes 8 bytes
// per element on LP64). The form carries no type; the reader decides it.

#include <tcl.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

#include "../arrays/obj_types.h"
#include "../command/helpers.h"
#include "subcommands.h"

namespace nvec {

namespace {

constexpr const char kMsgNewSyntax[] =
    "syntax: nvec new <type> (<size> ?<fill_value>?)|-values {<value1> ... <valuen>} | -binary "
    "<data>";

// Whether obj is exactly the option word. An array value's string is a
// list of numbers, never an option, so a large array given as the values
// of set is not printed just to be compared.
bool IsWord(Tcl_Obj* obj, const char* word) {
    if (ElemTypeOf(obj)) return false;
    return std::strcmp(Tcl_GetString(obj), word) == 0;
}

// The element reader: element i of an array value as a new Tcl number
// (Tcl_NewIntObj, Tcl_NewLongObj, Tcl_NewWideIntObj or Tcl_NewDoubleObj by
// type). The caller has checked that obj is an array and i is in range.
Tcl_Obj* ElementObj(ElemType type, Tcl_Obj* obj, int i) {
    return Visit(
        type, [&]<class T>(std::type_identity<T>) { return Elem<T>::ToObj(Elements<T>(obj)[i]); });
}

// Replaces obj's elements with those packed in data's bytes (raw byte
// form); trailing bytes that make no whole element are ignored. Writes
// into obj whether or not it is shared. On failure obj is untouched.
int LoadBinary(Tcl_Interp* interp, Tcl_Obj* obj, Tcl_Obj* data) {
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    // Reading the bytes converts data to a byte array; when data is obj
    // itself that would free the elements, so read a copy instead (its
    // string gives the same bytes).
    Tcl_Obj* source = data;
    if (source == obj) {
        source = Tcl_DuplicateObj(data);
        Tcl_IncrRefCount(source);
    }
    Tcl_Size byteCount = 0;
    const unsigned char* bytes = Tcl_GetByteArrayFromObj(source, &byteCount);
    int code = Visit(*type, [&]<class T>(std::type_identity<T>) {
        // Tcl 9 has no byte form for a string holding a character above
        // U+00FF: it answers NULL and leaves the count unset.
        if (bytes == nullptr) {
            return Fail(interp, ErrorClass::Value, "wrong binary data: a character above U+00FF");
        }
        const std::int64_t n = byteCount / static_cast<std::int64_t>(sizeof(T));
        if (n != Length(obj)) {
            // Tcl 9 allows more bytes than a payload can hold.
            void* payload = TryNewPayload<T>(n, false);
            if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
            InstallPayload<T>(obj, payload);
        }
        InvalidateArrayString(obj);
        if (n > 0) {
            std::memcpy(Elements<T>(obj), bytes, static_cast<std::size_t>(n) * sizeof(T));
        }
        return TCL_OK;
    });
    if (source != data) Tcl_DecrRefCount(source);
    return code;
}

// Reads a fill value with the type's reader: Tcl_GetIntFromObj for the
// 8-, 16- and 32-bit integer types (then the low bits), Tcl_GetLongFromObj
// for longarray, Tcl_GetWideIntFromObj for longlongarray, and
// Tcl_GetDoubleFromObj or else the nan/inf words for the floating types.
template <class T>
bool ReadFill(Tcl_Obj* obj, T* out) noexcept {
    if constexpr (kIsFloat<T>) {
        double v;
        if (GetDoubleArg(nullptr, obj, &v) != TCL_OK && GetNanInf(obj, &v) != 0) {
            return false;
        }
        *out = FromDouble<T>(v);
    } else if constexpr (std::is_same_v<T, long>) {
        long v;
        if (GetLongArg(nullptr, obj, &v) != TCL_OK) return false;
        *out = v;
    } else if constexpr (std::is_same_v<T, long long>) {
        Tcl_WideInt v;
        if (GetWideIntArg(nullptr, obj, &v) != TCL_OK) return false;
        *out = static_cast<long long>(v);
    } else {
        int v;
        if (GetIntArg(nullptr, obj, &v) != TCL_OK) return false;
        *out = WrapInt<T>(v);
    }
    return true;
}

// new <type> -values <list>: the list read as the type (a data argument),
// then its elements copied into a fresh array.
int NewFromValues(Tcl_Interp* interp, ElemType type, Tcl_Obj* word) {
    DataArg values(type, word);
    Tcl_Obj* list = values.get();
    if (list == nullptr) return Fail(interp, ErrorClass::Value, "wrong values");
    return Visit(type, [&]<class T>(std::type_identity<T>) {
        const int n = Length(list);
        void* payload = TryNewPayload<T>(n, false);
        if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        if (n > 0) {
            std::memcpy(PayloadData<T>(payload), Elements<T>(list),
                        static_cast<std::size_t>(n) * sizeof(T));
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(payload));
        return TCL_OK;
    });
}

// new <type> <size> ?<fill>?: zeroed elements without a fill value, so no
// heap contents ever reach a script.
int NewFromSize(Tcl_Interp* interp, ElemType type, Tcl_Obj* sizeObj, Tcl_Obj* fillObj) {
    int size;
    if (GetIntArg(nullptr, sizeObj, &size) != TCL_OK || size < 0) {
        return Fail(interp, ErrorClass::Size, "wrong size");
    }
    return Visit(type, [&]<class T>(std::type_identity<T>) {
        // Refuse blocks beyond Tcl's allocator before trying to allocate.
        if (!PayloadFits<T>(size)) return Fail(interp, ErrorClass::Size, "wrong size");
        T fill{};
        if (fillObj != nullptr && !ReadFill<T>(fillObj, &fill)) {
            return Fail(interp, ErrorClass::Value, "wrong default value");
        }
        void* payload = TryNewPayload<T>(size, fillObj == nullptr);
        if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        if (fillObj != nullptr) {
            T* data = PayloadData<T>(payload);
            for (int i = 0; i < size; ++i) data[i] = fill;
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(payload));
        return TCL_OK;
    });
}

}  // namespace

// new: from a size and optional fill value, from a list (-values), or from
// raw bytes (-binary). The type name is examined only at the points below:
// after the -binary test, and after the -values shift.
int NewCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4 && objc != 5) return Fail(interp, ErrorClass::Syntax, kMsgNewSyntax);
    if (IsWord(objv[3], "-binary")) {
        if (objc == 4) return SyntaxError(interp, "new <type> -binary <data>");
        std::optional<ElemType> type = ElemTypeFromName(Tcl_GetString(objv[2]));
        if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
        Tcl_Obj* array = Visit(*type, []<class T>(std::type_identity<T>) {
            return NewArrayObj<T>(NewPayload<T>(0, true));
        });
        Tcl_IncrRefCount(array);
        int code = LoadBinary(interp, array, objv[4]);
        if (code == TCL_OK) Tcl_SetObjResult(interp, array);
        Tcl_DecrRefCount(array);
        return code;
    }
    const bool values = IsWord(objv[3], "-values");
    std::optional<ElemType> type = ElemTypeFromName(Tcl_GetString(objv[2]));
    if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    if (values) {
        if (objc != 5) return SyntaxError(interp, "new <type> -values {<value1> ... <valuen>}");
        return NewFromValues(interp, *type, objv[4]);
    }
    return NewFromSize(interp, *type, objv[3], objc == 5 ? objv[4] : nullptr);
}

// new_from_to <type> <from> <to>: the integers from, from + 1, ..., to,
// each brought to the element type (low bits, or nearest float). The type
// name is examined only after both ends and the count are accepted.
int NewFromToCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) return SyntaxError(interp, "new_from_to <type> <from> <to>");
    int from;
    if (GetIntArg(nullptr, objv[3], &from) != TCL_OK) {
        return Fail(interp, ErrorClass::Value, "wrong from");
    }
    int to;
    if (GetIntArg(nullptr, objv[4], &to) != TCL_OK) {
        return Fail(interp, ErrorClass::Value, "wrong to");
    }
    // In 64 bits: from INT_MIN to INT_MAX the count is 2^32.
    const std::int64_t count = static_cast<std::int64_t>(to) - from + 1;
    if (count < 0 || count > INT32_MAX) return Fail(interp, ErrorClass::Size, "wrong from or to");
    std::optional<ElemType> type = ElemTypeFromName(Tcl_GetString(objv[2]));
    if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        if (!PayloadFits<T>(count)) return Fail(interp, ErrorClass::Size, "wrong from or to");
        void* payload = TryNewPayload<T>(count, false);
        if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        T* data = PayloadData<T>(payload);
        for (std::int64_t i = 0; i < count; ++i) {
            data[i] = ConvertElem<T, std::int64_t>(from + i);
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(payload));
        return TCL_OK;
    });
}

// new_n_from_increment <type> <n> <from> <increment>: element i is
// i * increment + from, computed afresh for each i (no running sum, so no
// error accumulates; the build forbids fused multiply-add), then truncated
// toward zero for the integer types or rounded to nearest for float.
int NewNFromIncrementCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 6) {
        return SyntaxError(interp, "new_n_from_increment <type> <n> <from> <increment>");
    }
    int n;
    if (GetIntArg(nullptr, objv[3], &n) != TCL_OK || n < 0) {
        return Fail(interp, ErrorClass::Size, "wrong n");
    }
    double from;
    if (GetDoubleArg(nullptr, objv[4], &from) != TCL_OK) {
        return Fail(interp, ErrorClass::Value, "wrong from");
    }
    double increment;
    if (GetDoubleArg(nullptr, objv[5], &increment) != TCL_OK) {
        return Fail(interp, ErrorClass::Value, "wrong increment");
    }
    std::optional<ElemType> type = ElemTypeFromName(Tcl_GetString(objv[2]));
    if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        if (!PayloadFits<T>(n)) return Fail(interp, ErrorClass::Size, "wrong n");
        void* payload = TryNewPayload<T>(n, false);
        if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        T* data = PayloadData<T>(payload);
        for (int i = 0; i < n; ++i) {
            const double step = static_cast<double>(i) * increment;
            data[i] = FromDouble<T>(step + from);
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(payload));
        return TCL_OK;
    });
}

// clone <obj>: an unshared copy of the same type, length and elements.
int CloneCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) return SyntaxError(interp, "clone <obj>");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        const int n = Length(obj);
        void* payload = TryNewPayload<T>(n, false);
        if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
        if (n > 0) {
            std::memcpy(PayloadData<T>(payload), Elements<T>(obj),
                        static_cast<std::size_t>(n) * sizeof(T));
        }
        Tcl_SetObjResult(interp, NewArrayObj<T>(payload));
        return TCL_OK;
    });
}

namespace {

// set <obj> <list>: obj's elements become a copy of list's, read as obj's
// type first (a data argument). The block is reused when the count stays.
int SetWhole(Tcl_Interp* interp, ElemType type, Tcl_Obj* obj, Tcl_Obj* word) {
    DataArg values(type, word);
    Tcl_Obj* list = values.get();
    if (list == nullptr) return Fail(interp, ErrorClass::Value, "nvec set wrong values");
    if (list == obj) return TCL_OK;  // its own elements already
    return Visit(type, [&]<class T>(std::type_identity<T>) {
        const int m = Length(list);
        if (m != Length(obj)) {
            void* payload = TryNewPayload<T>(m, false);
            if (payload == nullptr) return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
            InstallPayload<T>(obj, payload);
        }
        if (m > 0) {
            std::memcpy(Elements<T>(obj), Elements<T>(list),
                        static_cast<std::size_t>(m) * sizeof(T));
        }
        return TCL_OK;
    });
}

// set <obj> <index> <values>: the values, read as obj's type (a data
// argument), written to consecutive positions from the index. Every check
// comes before the first write; the length never changes.
int SetRun(Tcl_Interp* interp, ElemType type, Tcl_Obj* obj, Tcl_Obj* indexObj, Tcl_Obj* word) {
    const int n = Length(obj);
    int index;
    if (GetIndex(interp, n, indexObj, &index) != TCL_OK) return TCL_ERROR;
    if (index < 0 || index >= n) {
        return Failf(interp, ErrorClass::Index, "nvecs set wrong index %d out of range [%d,%d]",
                     index, 0, n - 1);
    }
    DataArg values(type, word);
    Tcl_Obj* list = values.get();
    if (list == nullptr || Length(list) == 0) {
        return Fail(interp, ErrorClass::Value, "nvec set wrong value");
    }
    const int m = Length(list);
    if (static_cast<std::int64_t>(index) + m > n) {
        return Failf(interp, ErrorClass::Index,
                     "nvec set too much values, index %d + %d out of range [%d,%d]", index, m - 1,
                     0, n - 1);
    }
    Visit(type, [&]<class T>(std::type_identity<T>) {
        // memmove: list may be obj itself (then index is 0 and this is a
        // copy onto itself).
        std::memmove(Elements<T>(obj) + index, Elements<T>(list),
                     static_cast<std::size_t>(m) * sizeof(T));
    });
    return TCL_OK;
}

}  // namespace

// set: whole replacement, a run at an index, or raw bytes (-binary). The
// array is changed in place, seen by every holder of the same value.
int SetCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4 && objc != 5) {
        return Fail(interp, ErrorClass::Syntax,
                    "syntax: nvec set <obj> {value_1 ... value_n}|<index> <value>| -binary <data>");
    }
    Tcl_Obj* obj = objv[2];
    int code;
    if (IsWord(objv[3], "-binary")) {
        if (objc == 4) return SyntaxError(interp, "set <obj> -binary <data>");
        code = LoadBinary(interp, obj, objv[4]);
    } else {
        std::optional<ElemType> type = ElemTypeOf(obj);
        if (!type) return Fail(interp, ErrorClass::Type, "nvec set wrong obj");
        code = objc == 4 ? SetWhole(interp, *type, obj, objv[3])
                         : SetRun(interp, *type, obj, objv[3], objv[4]);
    }
    if (code != TCL_OK) return code;
    InvalidateArrayString(obj);
    Tcl_SetObjResult(interp, obj);
    return TCL_OK;
}

// get <obj> <index>: one element as a new Tcl number.
int GetCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4) return SyntaxError(interp, "get <obj> <index>");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    const int n = Length(obj);
    int index;
    if (GetIndex(interp, n, objv[3], &index) != TCL_OK) return TCL_ERROR;
    if (index < 0 || index >= n) {
        return Failf(interp, ErrorClass::Index, "nvecs get wrong index %d out of range [%d,%d]",
                     index, 0, n - 1);
    }
    Tcl_SetObjResult(interp, ElementObj(*type, obj, index));
    return TCL_OK;
}

// get_binary <obj>: the elements in the raw byte form, as a byte array.
int GetBinaryCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) return SyntaxError(interp, "get_binary <obj>");
    Tcl_Obj* obj = objv[2];
    std::optional<ElemType> type = ElemTypeOf(obj);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    return Visit(*type, [&]<class T>(std::type_identity<T>) {
        const std::int64_t bytes = static_cast<std::int64_t>(Length(obj)) * sizeof(T);
        // A Tcl 8.6 byte array holds at most INT_MAX bytes.
        if (static_cast<std::uint64_t>(bytes) > kMaxValueBytes) {
            return Fail(interp, ErrorClass::Size, "wrong size");
        }
        Tcl_SetObjResult(
            interp, Tcl_NewByteArrayObj(reinterpret_cast<const unsigned char*>(Elements<T>(obj)),
                                        static_cast<Tcl_Size>(bytes)));
        return TCL_OK;
    });
}

}  // namespace nvec
