/*
 * nvec.h --
 *
 *	Public C interface of the nvec extension: packed, typed numeric arrays
 *	stored as Tcl values. Seven element types, five functions each, plus
 *	two type queries. Usable from C and C++.
 *
 *	Element pointers returned here point into the payload owned by the
 *	object. They stay valid until the object's internal representation is
 *	replaced or the object is freed. A caller that writes through them must
 *	invalidate the object's string (Tcl_InvalidateStringRep) unless the
 *	function it used has done so.
 */

#ifndef NVEC_H
#define NVEC_H

#include <tcl.h>

/* The library exports the functions; on Windows its clients import them
 * from the DLL. */
#if defined(_WIN32) && defined(NVEC_BUILDING)
#define NVEC_API __declspec(dllexport)
#elif defined(_WIN32)
#define NVEC_API __declspec(dllimport)
#elif defined(NVEC_BUILDING)
#define NVEC_API __attribute__((visibility("default")))
#else
#define NVEC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define NVEC_DECLARE_FAMILY(T, E)                                               \
    NVEC_API Tcl_Obj* Tcl_New##T##ArrayObj(const E* values, int count);         \
    NVEC_API void Tcl_Set##T##ArrayObj(Tcl_Obj* obj, const E* values, int count); \
    NVEC_API E* Tcl_Get##T##ArrayFromObj(Tcl_Obj* obj, int* countPtr);          \
    NVEC_API E* Tcl_Set##T##ArrayLength(Tcl_Obj* obj, int length);              \
    NVEC_API void Tcl_Set##T##ArrayLengthDirect(Tcl_Obj* obj, int length);

NVEC_DECLARE_FAMILY(Char, unsigned char)
NVEC_DECLARE_FAMILY(Short, short)
NVEC_DECLARE_FAMILY(Int, int)
NVEC_DECLARE_FAMILY(Long, long)
NVEC_DECLARE_FAMILY(LongLong, long long)
NVEC_DECLARE_FAMILY(Float, float)
NVEC_DECLARE_FAMILY(Double, double)

#undef NVEC_DECLARE_FAMILY

/* 1 when obj carries one of the seven array types, else 0 (also for NULL). */
NVEC_API int IsNvec(Tcl_Obj* obj);

/* The name of obj's Tcl type, or "" for NULL or an untyped object. */
NVEC_API const char* GetTypeName(Tcl_Obj* obj);

/* Package entry point, called by Tcl's [load]. */
NVEC_API int Nvec_Init(Tcl_Interp* interp);

#ifdef __cplusplus
}
#endif

#endif /* NVEC_H */
