// Fuzzer of the string form: the input bytes, as the string of a fresh
// object, are converted to each of the seven array types through the C
// interface (Tcl_Get<T>ArrayFromObj). For every type, against the oracle:
//   - the conversion succeeds exactly when the standard readers (strtol,
//     strtoll, strtod), number after number, read the whole string, and the
//     elements are theirs brought to the type; a failed conversion leaves
//     the object a plain string;
//   - the string form of the elements is, token by token, Tcl's text of
//     each (but for the powers of two whose Tcl text does not read back,
//     which must read back), in short arrays and in arrays of 8 or more
//     (another printing path);
//   - the array converts to each other type element by element by the
//     conversion rules.
// Any difference aborts, as do sanitizer reports.

#include <tcl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api.h"
#include "harness.h"
#include "nvec.h"
#include "oracle.h"

namespace {

using fuzz::Api;

template <class E>
std::vector<E> Elements(Tcl_Obj* obj, bool* converted) {
    int n = -1;
    const E* e = Api<E>::Get(obj, &n);
    *converted = std::string(GetTypeName(obj)) == Api<E>::Name();
    if (n < 0 || (n > 0) != (e != nullptr)) fuzz::Finding("%s: count %d", Api<E>::Name(), n);
    return std::vector<E>(e, e + n);
}

// The string form is Tcl's text of each element; the parser (checked
// against the standard readers) then reads it back as they do.
template <class E>
void CheckPrinting(const std::vector<E>& elems) {
    Tcl_Obj* printed = Api<E>::New(elems.data(), static_cast<int>(elems.size()));
    Tcl_IncrRefCount(printed);
    if (!oracle::RightForm(elems, Tcl_GetString(printed))) {
        fuzz::Finding("%s string form \"%.300s\" is not Tcl's text", Api<E>::Name(),
                      Tcl_GetString(printed));
    }
    Tcl_DecrRefCount(printed);
}

template <class E>
void CheckType(const char* data, std::size_t size) {
    Tcl_Obj* obj = Tcl_NewStringObj(data, static_cast<int>(size));
    Tcl_IncrRefCount(obj);
    bool converted;
    std::vector<E> elems = Elements<E>(obj, &converted);
    std::vector<E> ref;
    const bool refOk = oracle::Parse<E>(Tcl_GetString(obj), size, &ref);
    if (converted != refOk || (!converted && obj->typePtr != nullptr)) {
        fuzz::Finding("%s: converted %d, the standard readers %d", Api<E>::Name(), converted,
                      refOk);
    }
    Tcl_DecrRefCount(obj);
    if (!converted) return;
    for (std::size_t i = 0; i < ref.size(); ++i) {
        if (elems.size() != ref.size() || !oracle::Same(elems[i], ref[i])) {
            fuzz::Finding("%s: element %zu differs from the standard reader's", Api<E>::Name(), i);
        }
    }
    CheckPrinting(elems);
    if (!elems.empty() && elems.size() < 8) {
        std::vector<E> longer;
        while (longer.size() < 8) longer.insert(longer.end(), elems.begin(), elems.end());
        CheckPrinting(longer);
    }
    fuzz::ForEachType([&]<class D>(D) {
        Tcl_Obj* array = Api<E>::New(elems.data(), static_cast<int>(elems.size()));
        Tcl_IncrRefCount(array);
        bool ok;
        std::vector<D> got = Elements<D>(array, &ok);
        for (std::size_t i = 0; i < elems.size(); ++i) {
            if (!ok || got.size() != elems.size() ||
                !oracle::Same(got[i], oracle::Convert<D, E>(elems[i]))) {
                fuzz::Finding("%s to %s: element %zu differs", Api<E>::Name(), Api<D>::Name(), i);
            }
        }
        Tcl_DecrRefCount(array);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Interp();
    if (size > 1 << 16) return 0;
    fuzz::ForEachType([&]<class E>(E) { CheckType<E>(reinterpret_cast<const char*>(data), size); });
    return 0;
}
