// The C interface of nvec by element type, so the fuzzers' templates can
// name the functions of a type: Api<double>::Get is Tcl_GetDoubleArrayFromObj.

#pragma once

#include <tcl.h>

#include <cstring>

#include "nvec.h"

namespace fuzz {

template <class E>
struct Api;

// FORMAT: the printf conversion of the element (integers only).
#define NVEC_FUZZ_API(T, E, NAME, FORMAT)                                                       \
    template <>                                                                                 \
    struct Api<E> {                                                                             \
        static const char* Name() { return NAME; }                                              \
        static const char* Format() { return FORMAT; }                                          \
        static const char* Setter() { return "Tcl_Set" #T "ArrayObj"; }                         \
        static Tcl_Obj* New(const E* v, int n) { return Tcl_New##T##ArrayObj(v, n); }           \
        static void Set(Tcl_Obj* o, const E* v, int n) { Tcl_Set##T##ArrayObj(o, v, n); }       \
        static E* Get(Tcl_Obj* o, int* n) { return Tcl_Get##T##ArrayFromObj(o, n); }            \
        static E* SetLength(Tcl_Obj* o, int n) { return Tcl_Set##T##ArrayLength(o, n); }        \
        static void SetLengthDirect(Tcl_Obj* o, int n) { Tcl_Set##T##ArrayLengthDirect(o, n); } \
    };

NVEC_FUZZ_API(Char, unsigned char, "chararray", "%u")
NVEC_FUZZ_API(Short, short, "shortarray", "%d")
NVEC_FUZZ_API(Int, int, "intarray", "%d")
NVEC_FUZZ_API(Long, long, "longarray", "%ld")
NVEC_FUZZ_API(LongLong, long long, "longlongarray", "%lld")
NVEC_FUZZ_API(Float, float, "floatarray", nullptr)
NVEC_FUZZ_API(Double, double, "doublearray", nullptr)
#undef NVEC_FUZZ_API

// Calls f(E{}) for the element type number t (0..6, the order above), or
// for each of the seven types.
template <class F>
decltype(auto) WithType(int t, F&& f) {
    if (t == 0) return f(static_cast<unsigned char>(0));
    if (t == 1) return f(short{0});
    if (t == 2) return f(0);
    if (t == 3) return f(0L);
    if (t == 4) return f(0LL);
    if (t == 5) return f(0.0f);
    return f(0.0);
}
template <class F>
void ForEachType(F&& f) {
    for (int t = 0; t < 7; ++t) WithType(t, f);
}
// The number of the array type of this name, or -1.
inline int TypeNumber(const char* name) {
    for (int t = 0; t < 7; ++t)
        if (std::strcmp(name, WithType(t, []<class E>(E) { return Api<E>::Name(); })) == 0)
            return t;
    return -1;
}

}  // namespace fuzz
