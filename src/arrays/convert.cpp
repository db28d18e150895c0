// Conversion of an array value from one element type to another, in place,
// element by element (no printing and re-parsing).

#include <tcl.h>

#include <cstring>

#include "../command/helpers.h"
#include "obj_types.h"

namespace nvec {

namespace {

template <class D, class S>
void ConvertElems(const S* src, D* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] = ConvertElem<D, S>(src[i]);
}

}  // namespace

// The object's string is kept as it is, even when the converted elements
// no longer read the same; an in-place change invalidates it later.
template <class T>
int ConvertArray(Tcl_Obj* obj) {
    if (obj->typePtr == nullptr) return 1;
    if (HasArrayType<T>(obj)) return 0;
    std::optional<ElemType> from;
    for (int i = 0; i < kNumElemTypes; ++i) {
        if (obj->typePtr == ArrayTypeRecord(static_cast<ElemType>(i))) {
            from = static_cast<ElemType>(i);
        }
    }
    if (!from) return 1;
    const int n = Length(obj);
    // A wider type may need a block beyond the allocator's limit (a
    // chararray of 600 million elements as a doublearray), or memory may be
    // short: the conversion then fails and obj keeps its elements.
    void* payload = TryNewPayload<T>(n, false);
    if (payload == nullptr) return -1;
    Visit(*from, [&]<class S>(std::type_identity<S>) {
        ConvertElems<T, S>(Elements<S>(obj), PayloadData<T>(payload), n);
    });
    InstallPayload<T>(obj, payload);
    return 0;
}

int ConvertToElemType(ElemType t, Tcl_Obj* obj) {
    return Visit(t, [obj]<class T>(std::type_identity<T>) {
        return SetArrayFromAny<T>(nullptr, obj);
    });
}

int ConvertToNamedType(Tcl_Interp* interp, const char* name, Tcl_Obj* obj) {
    if (std::strcmp(TypeNameOf(obj), name) == 0) return TCL_OK;
    std::optional<ElemType> t = ElemTypeFromName(name);
    if (!t) return Fail(interp, ErrorClass::Type, kMsgWrongType);
    if (ConvertToElemType(*t, obj) != TCL_OK) return Fail(interp, ErrorClass::Value, "wrong values");
    return TCL_OK;
}

template int ConvertArray<unsigned char>(Tcl_Obj*);
template int ConvertArray<short>(Tcl_Obj*);
template int ConvertArray<int>(Tcl_Obj*);
template int ConvertArray<long>(Tcl_Obj*);
template int ConvertArray<long long>(Tcl_Obj*);
template int ConvertArray<float>(Tcl_Obj*);
template int ConvertArray<double>(Tcl_Obj*);

}  // namespace nvec
