// The list procedures of the array type records (Tcl 9 only). Tcl's list
// commands call them instead of converting the value to a list, so an
// array stays an array, without a string, while llength, lindex, lrange,
// lreverse, foreach, lmap, in and ni read it. Each answers exactly what the
// same command answers on the list that the array's string form spells:
// an element is a Tcl number showing the text of the string form, an index
// outside the array gives no element, lrange clamps its range as it does
// on lists. The records name these procedures only under the releases of
// Tcl whose list code handles them soundly (ListProcsSound).

#include "obj_types.h"

#if TCL_MAJOR_VERSION > 8

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace nvec {

namespace {

// A Tcl number for one element (the element reader's), whose text is the
// string form's. Tcl_PrintDouble writes some doubles whose significand is
// a power of two with digits that read back as a neighbour (2^64 as
// 1.844674407370955e+19); the string form writes digits that read back,
// and such an element carries them as its string.
template <class T>
Tcl_Obj* NewElemObj(T v) {
    Tcl_Obj* obj = Elem<T>::ToObj(v);
    if constexpr (kIsFloat<T>) {
        const double d = v;
        if (PowerOfTwoSignificand(d) && std::isfinite(d) && d != 0.0) {
            char ours[Elem<T>::kPrintWidth + 1];
            char tcls[TCL_DOUBLE_SPACE];
            const char* end = PrintElemText<T>(ours, v);
            Tcl_PrintDouble(nullptr, d, tcls);
            if (std::strcmp(ours, tcls) != 0) {
                Tcl_InitStringRep(obj, ours, static_cast<std::size_t>(end - ours));
            }
        }
    }
    return obj;
}

// Whether the element's text is exactly `text` (length len).
template <class T>
bool TextIs(T v, const char* text, Tcl_Size len) {
    char buf[Elem<T>::kPrintWidth + 1];
    const char* end = PrintElemText<T>(buf, v);
    return end - buf == len && std::memcmp(buf, text, static_cast<std::size_t>(len)) == 0;
}

}  // namespace

Tcl_Size ArrayLengthProc(Tcl_Obj* obj) { return Length(obj); }

// Tcl passes indices it has not checked (a variable's value, a word given
// to lindex called through another name), so each is checked here: one
// outside the array gives NULL, no element, as for a list, and lsort or
// lsearch with -index then report the missing element as they do for
// lists.
template <class T>
int ArrayIndexProc(Tcl_Interp* /*interp*/, Tcl_Obj* obj, Tcl_Size index, Tcl_Obj** elemPtr) {
    const bool inside = index >= 0 && index < Length(obj);
    *elemPtr = inside ? NewElemObj<T>(Elements<T>(obj)[index]) : nullptr;
    return TCL_OK;
}

// lrange: a new array of the same type holding elements from..to, clamped
// to the array; empty when nothing is left.
template <class T>
int ArraySliceProc(Tcl_Interp* /*interp*/, Tcl_Obj* obj, Tcl_Size from, Tcl_Size to,
                   Tcl_Obj** resultPtr) {
    const Tcl_Size n = Length(obj);
    if (from < 0) from = 0;
    if (to > n - 1) to = n - 1;
    const Tcl_Size count = from <= to ? to - from + 1 : 0;
    void* payload = NewPayload<T>(count, false);
    if (count > 0) {
        std::memcpy(PayloadData<T>(payload), Elements<T>(obj) + from,
                    static_cast<std::size_t>(count) * sizeof(T));
    }
    *resultPtr = NewArrayObj<T>(payload);
    return TCL_OK;
}

// lreverse: a new array of the same type, elements in reverse order.
template <class T>
int ArrayReverseProc(Tcl_Interp* /*interp*/, Tcl_Obj* obj, Tcl_Obj** resultPtr) {
    const int n = Length(obj);
    void* payload = NewPayload<T>(n, false);
    const T* src = Elements<T>(obj);
    T* dst = PayloadData<T>(payload);
    for (int i = 0; i < n; ++i) dst[i] = src[n - 1 - i];
    *resultPtr = NewArrayObj<T>(payload);
    return TCL_OK;
}

// in and ni compare the value's string with each element's text. Every
// text of a finite element reads back, as a whole, as that element, so
// a value that reads as a finite number x can only equal the texts of
// elements equal to x, and any other value only those of the elements
// that are not finite: only those candidates are written out and
// compared.
template <class T>
int ArrayInOperProc(Tcl_Interp* /*interp*/, Tcl_Obj* valueObj, Tcl_Obj* obj, int* found) {
    Tcl_Size len;
    const char* text = Tcl_GetStringFromObj(valueObj, &len);
    const char* const stop = text + len;
    const T* elems = Elements<T>(obj);
    const int n = Length(obj);
    *found = 0;
    if constexpr (kIsInteger<T>) {
        long long x;
        auto [end, ec] = std::from_chars(text, stop, x);
        if (ec != std::errc() || end != stop) return TCL_OK;
        for (int i = 0; i < n; ++i) {
            if (static_cast<long long>(elems[i]) == x && TextIs<T>(elems[i], text, len)) {
                *found = 1;
                break;
            }
        }
    } else {
        double x;
        auto [end, ec] = std::from_chars(text, stop, x);
        const bool finite = ec == std::errc() && end == stop && std::isfinite(x);
        for (int i = 0; i < n; ++i) {
            const double e = elems[i];
            const bool candidate = finite ? e == x : !std::isfinite(e);
            if (candidate && TextIs<T>(elems[i], text, len)) {
                *found = 1;
                break;
            }
        }
    }
    return TCL_OK;
}

#define NVEC_INSTANTIATE(T)                                                                  \
    template int ArrayIndexProc<T>(Tcl_Interp*, Tcl_Obj*, Tcl_Size, Tcl_Obj**);              \
    template int ArraySliceProc<T>(Tcl_Interp*, Tcl_Obj*, Tcl_Size, Tcl_Size, Tcl_Obj**);    \
    template int ArrayReverseProc<T>(Tcl_Interp*, Tcl_Obj*, Tcl_Obj**);                      \
    template int ArrayInOperProc<T>(Tcl_Interp*, Tcl_Obj*, Tcl_Obj*, int*);
NVEC_FOR_EACH_ELEM_TYPE(NVEC_INSTANTIATE)
#undef NVEC_INSTANTIATE

}  // namespace nvec

#endif  // TCL_MAJOR_VERSION > 8
