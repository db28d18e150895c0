// Conversion of an array value from one element type to another, element
// by element (no printing and re-parsing): in place, or into a private copy
// for a data argument.

#include <tcl.h>

#include <cstring>

#include "obj_types.h"

namespace nvec {

namespace {

template <class D, class S>
void ConvertElems(const S* src, D* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] = ConvertElem<D, S>(src[i]);
}

// A new payload of T holding obj's elements (obj an array of element type
// `from`) converted. A wider type may need a block beyond the allocator's
// limit (a chararray of 600 million elements as a doublearray), or memory
// may be short: NULL then.
template <class T>
void* ConvertedPayload(ElemType from, Tcl_Obj* obj) {
    const int n = Length(obj);
    void* payload = TryNewPayload<T>(n, false);
    if (payload == nullptr) return nullptr;
    Visit(from, [&]<class S>(std::type_identity<S>) {
        ConvertElems<T, S>(Elements<S>(obj), PayloadData<T>(payload), n);
    });
    return payload;
}

}  // namespace

// The object's string is kept as it is, even when the converted elements
// no longer read the same; an in-place change invalidates it later.
template <class T>
int ConvertArray(Tcl_Obj* obj) {
    if (obj->typePtr == nullptr) return 1;
    if (HasArrayType<T>(obj)) return 0;
    std::optional<ElemType> from = OwnElemType(obj);
    if (!from) return 1;
    // On failure obj keeps its elements.
    void* payload = ConvertedPayload<T>(*from, obj);
    if (payload == nullptr) return -1;
    InstallPayload<T>(obj, payload, true);
    return 0;
}

int ConvertToElemType(ElemType t, Tcl_Obj* obj) {
    return Visit(t, [obj]<class T>(std::type_identity<T>) {
        return SetArrayFromAny<T>(nullptr, obj);
    });
}

Tcl_Obj* ConvertDataArg(ElemType t, Tcl_Obj* word) {
    std::optional<ElemType> from = OwnElemType(word);
    if (!from || *from == t) return ConvertToElemType(t, word) == TCL_OK ? word : nullptr;
    return Visit(t, [&]<class T>(std::type_identity<T>) -> Tcl_Obj* {
        void* payload = ConvertedPayload<T>(*from, word);
        return payload == nullptr ? nullptr : NewArrayObj<T>(payload);
    });
}

bool DataArg::Read(ElemType t, Tcl_Obj* word) {
    Release();
    word_ = word;
    obj_ = ConvertDataArg(t, word);
    if (obj_ != nullptr && obj_ != word_) Tcl_IncrRefCount(obj_);
    return obj_ != nullptr;
}

void DataArg::Release() {
    if (obj_ != nullptr && obj_ != word_) Tcl_DecrRefCount(obj_);
    obj_ = nullptr;
}

#define NVEC_INSTANTIATE(T) template int ConvertArray<T>(Tcl_Obj*);
NVEC_FOR_EACH_ELEM_TYPE(NVEC_INSTANTIATE)
#undef NVEC_INSTANTIATE

}  // namespace nvec
