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

// One constant record per element type, shared by every thread and
// interpreter that loads nvec; Nvec_Init registers them with Tcl.
template <class T>
inline const Tcl_ObjType kArrayType = {
    Elem<T>::kName,
    FreeArrayRep,
    DupArrayRep<T>,
    UpdateStringOfArray<T>,
    SetArrayFromAny<T>,
};

const Tcl_ObjType* ArrayTypeRecord(ElemType t);

// The name of obj's type: its record's name, or "" for NULL or an untyped
// object. The empty name is one shared static string.
const char* TypeNameOf(Tcl_Obj* obj);

// The element type named by `name` (whole-name byte comparison against the
// seven names in canonical order), if any.
std::optional<ElemType> ElemTypeFromName(const char* name);

// The element type of an array value, decided by the type-name test. A
// list or a string that would parse as an array is not an array value.
// An object that carries one of nvec's own records has that record's name,
// so comparing the record pointers first gives the name test's answer
// without comparing strings (loops such as foreach ask once per element);
// any other record still goes through the name test.
inline std::optional<ElemType> ElemTypeOf(Tcl_Obj* obj) {
    if (obj != nullptr) {
        const Tcl_ObjType* t = obj->typePtr;
        if (t == &kArrayType<unsigned char>) return ElemType::Char;
        if (t == &kArrayType<short>) return ElemType::Short;
        if (t == &kArrayType<int>) return ElemType::Int;
        if (t == &kArrayType<long>) return ElemType::Long;
        if (t == &kArrayType<long long>) return ElemType::LongLong;
        if (t == &kArrayType<float>) return ElemType::Float;
        if (t == &kArrayType<double>) return ElemType::Double;
    }
    return ElemTypeFromName(TypeNameOf(obj));
}

// Whether obj's type record is T's own (the record-identity test).
template <class T>
bool HasArrayType(Tcl_Obj* obj) {
    return obj->typePtr == &kArrayType<T>;
}

inline void* PayloadOf(Tcl_Obj* obj) { return obj->internalRep.otherValuePtr; }

// Element count of an array value (the caller has checked that it is one).
inline int Length(Tcl_Obj* obj) { return PayloadCount(PayloadOf(obj)); }

template <class T>
T* Elements(Tcl_Obj* obj) {
    return PayloadData<T>(PayloadOf(obj));
}

// Releases obj's current internal representation, if any, then installs
// `payload` as an array of type T. The string is left as it is.
template <class T>
void InstallPayload(Tcl_Obj* obj, void* payload) {
    if (obj->typePtr != nullptr && obj->typePtr->freeIntRepProc != nullptr) {
        obj->typePtr->freeIntRepProc(obj);
    }
    obj->internalRep.twoPtrValue.ptr2 = nullptr;
    obj->internalRep.otherValuePtr = payload;
    obj->typePtr = &kArrayType<T>;
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

// Reads the words nan and inf (first three letters, any case) where Tcl's
// double reader refuses them. 0 and *out set on a match, 1 otherwise.
int GetNanInf(Tcl_Obj* obj, double* out);

}  // namespace nvec
