// The seven Tcl object types of nvec arrays and the accessors that every
// handler uses on an array value.

#pragma once

#include <tcl.h>

#include <cstring>
#include <optional>

#include "elem_types.h"
#include "payload.h"

namespace nvec {

template <class T>
void DupArrayRep(Tcl_Obj* src, Tcl_Obj* dup);
template <class T>
void UpdateStringOfArray(Tcl_Obj* obj);
template <class T>
int SetArrayFromAny(Tcl_Interp* interp, Tcl_Obj* obj);
void FreeArrayRep(Tcl_Obj* obj);

// The text of one element in the string form, written at p (room for
// Elem<T>::kPrintWidth bytes and a terminator); returns its end.
template <class T>
char* PrintElemText(char* p, T v);

#if TCL_MAJOR_VERSION > 8
// Tcl 9 reads a value through the list procedures of its type record, so
// that llength, lindex, lrange, lreverse, foreach, lmap, in and ni work on
// an array value without building its string or converting it to a list
// (list_procs.cpp). The others (all elements at once, setting an element,
// replacing a range) stay absent: commands that need them convert the
// value to a list.
Tcl_Size ArrayLengthProc(Tcl_Obj* obj);
template <class T>
int ArrayIndexProc(Tcl_Interp* interp, Tcl_Obj* obj, Tcl_Size index, Tcl_Obj** elemPtr);
template <class T>
int ArraySliceProc(Tcl_Interp* interp, Tcl_Obj* obj, Tcl_Size from, Tcl_Size to,
                   Tcl_Obj** resultPtr);
template <class T>
int ArrayReverseProc(Tcl_Interp* interp, Tcl_Obj* obj, Tcl_Obj** resultPtr);
template <class T>
int ArrayInOperProc(Tcl_Interp* interp, Tcl_Obj* valueObj, Tcl_Obj* obj, int* found);
#endif

// One record per element type, shared by every thread and interpreter that
// loads nvec; Nvec_Init registers them with Tcl. It starts without list
// procedures; SetUpArrayTypes gives it those of Tcl 9 once per process,
// before the first array exists, where the running Tcl's list code handles
// them soundly.
template <class T>
inline Tcl_ObjType kArrayType = {Elem<T>::kName,       FreeArrayRep,         DupArrayRep<T>,
                                 UpdateStringOfArray<T>, SetArrayFromAny<T>, TCL_OBJTYPE_V0};

// Whether the running Tcl gets the list procedures: Tcl 9.0.0 and 9.0.1
// (and the alphas and betas of 9.0) free an element twice on `lindex $a 0
// 1`, refuse `lindex $a {1 0}` and pass unchecked indices on through a
// command name, for every value whose type has an index procedure; 9.0.2
// fixed that. Without list procedures an array is converted to a list by
// the first list command, as under Tcl 8.6 (a build for Tcl 8.6 has none).
bool ListProcsSound(int major, int minor, int patchLevel, int releaseType);

// Decides, once per process and safely when several threads load nvec at
// once, whether the records carry the list procedures (ListProcsSound of
// the running Tcl), and fills them in. Called by Nvec_Init before it
// registers the records.
void SetUpArrayTypes();

// The record of an array that keeps a string not written from its elements:
// the text it was parsed from ("1 2 3" as a doublearray, "0x10", "nan"),
// or the text of the element type it was converted from. Tcl's list
// commands must read that string, as they read any value's, so in Tcl 9
// this record names no list procedures (llength and the others convert
// the value through its string, as in Tcl 8.6). Otherwise it is kArrayType
// under the same name, and every test of nvec takes either.
#if TCL_MAJOR_VERSION > 8
template <class T>
inline const Tcl_ObjType kTextArrayType = {
    Elem<T>::kName, FreeArrayRep, DupArrayRep<T>, UpdateStringOfArray<T>, SetArrayFromAny<T>,
    TCL_OBJTYPE_V0};
#else
template <class T>
inline constexpr const Tcl_ObjType& kTextArrayType = kArrayType<T>;
#endif

const Tcl_ObjType* ArrayTypeRecord(ElemType t);

// The name of obj's type: its record's name, or "" for NULL or an untyped
// object. The empty name is one shared static string.
const char* TypeNameOf(Tcl_Obj* obj);

// The element type named by `name` (whole-name byte comparison against the
// seven names in canonical order), if any.
std::optional<ElemType> ElemTypeFromName(const char* name);

// Whether obj's type record is one of T's own (the record-identity test).
template <class T>
bool HasArrayType(Tcl_Obj* obj) {
    return obj->typePtr == &kArrayType<T> || obj->typePtr == &kTextArrayType<T>;
}

// The element type of obj when it carries one of nvec's own records (the
// records themselves, not their name, so that a payload is only ever read
// through a record that made it).
inline std::optional<ElemType> OwnElemType(Tcl_Obj* obj) {
    for (int i = 0; i < kNumElemTypes; ++i) {
        if (Visit(static_cast<ElemType>(i),
                  [obj]<class S>(std::type_identity<S>) { return HasArrayType<S>(obj); })) {
            return static_cast<ElemType>(i);
        }
    }
    return std::nullopt;
}

// The element type of an array value, decided by the type-name test. A
// list or a string that would parse as an array is not an array value.
// An object that carries one of nvec's own records has that record's name,
// so comparing the record pointers first gives the name test's answer
// without comparing strings (loops such as foreach ask once per element);
// any other record still goes through the name test.
inline std::optional<ElemType> ElemTypeOf(Tcl_Obj* obj) {
    if (obj != nullptr) {
        if (std::optional<ElemType> t = OwnElemType(obj)) return t;
    }
    return ElemTypeFromName(TypeNameOf(obj));
}

inline void* PayloadOf(Tcl_Obj* obj) { return obj->internalRep.otherValuePtr; }

// Element count of an array value (the caller has checked that it is one).
inline int Length(Tcl_Obj* obj) { return PayloadCount(PayloadOf(obj)); }

template <class T>
T* Elements(Tcl_Obj* obj) {
    return PayloadData<T>(PayloadOf(obj));
}

// Releases obj's current internal representation, if any, then installs
// `payload` as an array of type T. The string is left as it is; `textKept`
// tells that it was not written from these elements (kTextArrayType).
template <class T>
void InstallPayload(Tcl_Obj* obj, void* payload, bool textKept = false) {
    if (obj->typePtr != nullptr && obj->typePtr->freeIntRepProc != nullptr) {
        obj->typePtr->freeIntRepProc(obj);
    }
    obj->internalRep.twoPtrValue.ptr2 = nullptr;
    obj->internalRep.otherValuePtr = payload;
    obj->typePtr = textKept && obj->bytes != nullptr ? &kTextArrayType<T> : &kArrayType<T>;
}

// Drops the string of an array whose elements were changed in place. An
// array that kept a text not written from its elements (kTextArrayType)
// gets its type's own record back, so that Tcl 9's list commands read its
// elements again instead of converting it to a list.
inline void InvalidateArrayString(Tcl_Obj* obj) {
    Tcl_InvalidateStringRep(obj);
    if (std::optional<ElemType> t = OwnElemType(obj)) obj->typePtr = ArrayTypeRecord(*t);
}

// A new unshared object without string holding `payload` as type T.
template <class T>
Tcl_Obj* NewArrayObj(void* payload) {
    Tcl_Obj* obj = Tcl_NewObj();
    Tcl_InvalidateStringRep(obj);
    InstallPayload<T>(obj, payload);
    return obj;
}

// Converts obj in place to element type t: element conversion from another
// array type, otherwise parsing of its string. No message; TCL_OK or
// TCL_ERROR.
int ConvertToElemType(ElemType t, Tcl_Obj* obj);

// Converts a data argument (a list of values, a position list, an
// operand) to element type t. A string, a list or any other value that is
// not an array of another element type is converted in place, as the
// type's set-from-any procedure does (its string stays, and the elements
// are kept for the next call); the result is the word itself. An array
// value of another element type is left as it is, with its type, elements
// and string, and the result is a new unshared copy converted element by
// element (reference count 0). NULL when the word does not convert or
// memory is short.
Tcl_Obj* ConvertDataArg(ElemType t, Tcl_Obj* word);

// A data argument converted by ConvertDataArg for the length of a call:
// holds a reference on a private copy until it is destroyed or reads the
// next word.
class DataArg {
   public:
    DataArg() = default;
    DataArg(ElemType t, Tcl_Obj* word) { Read(t, word); }
    ~DataArg() { Release(); }
    DataArg(const DataArg&) = delete;
    DataArg& operator=(const DataArg&) = delete;

    // Converts word; false when it does not convert.
    bool Read(ElemType t, Tcl_Obj* word);
    // The array of type t, or NULL when the word did not convert.
    Tcl_Obj* get() const { return obj_; }

   private:
    void Release();

    Tcl_Obj* word_ = nullptr;
    Tcl_Obj* obj_ = nullptr;
};

// Element conversion procedure for target T: 0 when obj now carries T, 1
// when obj carries no array type (the caller then parses its string), -1
// when the converted elements cannot be allocated (obj is unchanged).
template <class T>
int ConvertArray(Tcl_Obj* obj);

// White space as the standard readers and Tcl skip it around a number (C
// locale), and decimal digits: the string form's parser and the index
// reader share them.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the words nan and inf (first three letters, any case) where Tcl's
// double reader refuses them. 0 and *out set on a match, 1 otherwise.
int GetNanInf(Tcl_Obj* obj, double* out);

}  // namespace nvec
