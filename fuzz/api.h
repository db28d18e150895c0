// The C interface of nvec by element type, so the fuzzers' templates can
// name the functions of a type: Api<double>::Get is Tcl_GetDoubleArrayFromObj.

#pragma once

#include <tcl.h>

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

}  // namespace fuzz
