// The exported C interface: five functions per element type, written once
// as templates and exported under Tcl-style names, plus two type queries.

#include <tcl.h>

#include <cstring>

#include "nvec.h"
#include "obj_types.h"

namespace nvec {

namespace {

// Installs a copy of `count` elements (zeros when values is NULL, so no
// heap contents are ever visible). Panics when obj is shared.
template <class T>
void SetArrayObj(Tcl_Obj* obj, const T* values, int count, const char* who) {
    if (Tcl_IsShared(obj)) Tcl_Panic("%s called with shared object", who);
    if (count < 0) count = 0;
    InvalidateArrayString(obj);
    void* payload = NewPayload<T>(count, values == nullptr);
    if (values != nullptr && count > 0) {
        std::memcpy(PayloadData<T>(payload), values, static_cast<std::size_t>(count) * sizeof(T));
    }
    InstallPayload<T>(obj, payload);
}

template <class T>
Tcl_Obj* NewArrayObjFrom(const T* values, int count, const char* who) {
    Tcl_Obj* obj = Tcl_NewObj();
    SetArrayObj<T>(obj, values, count, who);
    return obj;
}

// Converts obj to T if needed. NULL for an empty array or a failed
// conversion; the count is 0 in both cases.
template <class T>
T* GetArrayFromObj(Tcl_Obj* obj, int* countPtr) {
    if (SetArrayFromAny<T>(nullptr, obj) != TCL_OK) {
        if (countPtr != nullptr) *countPtr = 0;
        return nullptr;
    }
    int n = Length(obj);
    if (countPtr != nullptr) *countPtr = n;
    return n == 0 ? nullptr : Elements<T>(obj);
}

// Sets the element count, growing into a new block (new elements zero)
// when needed; a shorter length keeps the block. NULL when obj cannot be
// converted to T, or when the length is impossible (negative, beyond the
// count or block limits) or memory is short; obj then keeps its elements.
template <class T>
T* SetArrayLength(Tcl_Obj* obj, int length) {
    if (Tcl_IsShared(obj)) Tcl_Panic("Tcl_SetObjLength called with shared object");
    if (!HasArrayType<T>(obj) && SetArrayFromAny<T>(nullptr, obj) != TCL_OK) return nullptr;
    if (length < 0) return nullptr;
    int n = Length(obj);
    if (length > n) {
        void* payload = TryNewPayload<T>(length, false);
        if (payload == nullptr) return nullptr;
        T* data = PayloadData<T>(payload);
        std::memcpy(data, Elements<T>(obj), static_cast<std::size_t>(n) * sizeof(T));
        std::memset(data + n, 0, static_cast<std::size_t>(length - n) * sizeof(T));
        InstallPayload<T>(obj, payload);
    }
    InvalidateArrayString(obj);
    PayloadCount(PayloadOf(obj)) = length;
    return Elements<T>(obj);
}

// Overwrites the count only. The caller guarantees that obj is an array
// whose block has room for `length`; objects of no array type and negative
// lengths are ignored rather than corrupted.
void SetArrayLengthDirect(Tcl_Obj* obj, int length) {
    if (obj == nullptr || !ElemTypeOf(obj) || length < 0) return;
    PayloadCount(PayloadOf(obj)) = length;
}

}  // namespace

}  // namespace nvec

extern "C" {

#define NVEC_DEFINE_FAMILY(T, E)                                                       \
    Tcl_Obj* Tcl_New##T##ArrayObj(const E* values, int count) {                        \
        return nvec::NewArrayObjFrom<E>(values, count, "Tcl_Set" #T "ArrayObj");       \
    }                                                                                  \
    void Tcl_Set##T##ArrayObj(Tcl_Obj* obj, const E* values, int count) {              \
        nvec::SetArrayObj<E>(obj, values, count, "Tcl_Set" #T "ArrayObj");             \
    }                                                                                  \
    E* Tcl_Get##T##ArrayFromObj(Tcl_Obj* obj, int* countPtr) {                         \
        return nvec::GetArrayFromObj<E>(obj, countPtr);                                \
    }                                                                                  \
    E* Tcl_Set##T##ArrayLength(Tcl_Obj* obj, int length) {                             \
        return nvec::SetArrayLength<E>(obj, length);                                   \
    }                                                                                  \
    void Tcl_Set##T##ArrayLengthDirect(Tcl_Obj* obj, int length) {                     \
        nvec::SetArrayLengthDirect(obj, length);                                       \
    }

/*
 * Per element type (Char, Short, Int, Long, LongLong, Float, Double):
 *
 * Tcl_New<T>ArrayObj --
 *	Results: a new array object, reference count 0, holding a copy of
 *	count elements (zeros when values is NULL). Side effects: none.
 *
 * Tcl_Set<T>ArrayObj --
 *	Results: none. Side effects: obj's internal representation is replaced
 *	by a copy of the elements and its string invalidated; panics when obj
 *	is shared.
 *
 * Tcl_Get<T>ArrayFromObj --
 *	Results: the elements and their count, or NULL (count 0) for an empty
 *	array or a value that does not convert. Side effects: obj is converted
 *	to the type.
 *
 * Tcl_Set<T>ArrayLength --
 *	Results: the elements, or NULL when obj does not convert or the length
 *	cannot be had (negative, too large, memory short). Side effects:
 *	the count is set (the block grows when needed, new elements are zero)
 *	and the string invalidated; panics when obj is shared.
 *
 * Tcl_Set<T>ArrayLengthDirect --
 *	Results: none. Side effects: the count field is overwritten; nothing
 *	else is checked or changed.
 */
NVEC_DEFINE_FAMILY(Char, unsigned char)
NVEC_DEFINE_FAMILY(Short, short)
NVEC_DEFINE_FAMILY(Int, int)
NVEC_DEFINE_FAMILY(Long, long)
NVEC_DEFINE_FAMILY(LongLong, long long)
NVEC_DEFINE_FAMILY(Float, float)
NVEC_DEFINE_FAMILY(Double, double)

#undef NVEC_DEFINE_FAMILY

/*
 * IsNvec --
 *	Results: 1 when obj carries one of the seven array types, else 0
 *	(also for NULL and untyped objects). Side effects: none.
 */
int IsNvec(Tcl_Obj* obj) { return nvec::ElemTypeOf(obj).has_value() ? 1 : 0; }

/*
 * GetTypeName --
 *	Results: the name of obj's Tcl type, whatever it is, or a static empty
 *	string for NULL or an untyped object. Side effects: none.
 */
const char* GetTypeName(Tcl_Obj* obj) { return nvec::TypeNameOf(obj); }

}  // extern "C"
