// Helpers and messages shared by the subcommand handlers.

#pragma once

#include <tcl.h>

namespace nvec {

inline constexpr const char kMsgWrongType[] =
    "wrong nvec type, must be: chararray shortarray intarray longarray longlongarray floatarray "
    "doublearray";
inline constexpr const char kMsgWrongIntType[] =
    "wrong nvec type, must be: chararray shortarray intarray longarray longlongarray";
inline constexpr const char kMsgNotAnArray[] = "object is not an nvec";

// Sets `msg` as the result; returns TCL_ERROR so a handler can return it.
int Fail(Tcl_Interp* interp, const char* msg);

// Formats into a 1024-byte buffer (longer messages are cut to their first
// 1023 characters) and sets the text as the result. Returns TCL_ERROR.
int Failf(Tcl_Interp* interp, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Sets "syntax: nvec <pattern>" as the result; returns TCL_ERROR.
int SyntaxError(Tcl_Interp* interp, const char* pattern);

// Reads an element position: "end" (the first three characters; an
// optional "-" and a count read as atoi reads it) gives length - 1 minus
// the count, saturated to the int range; anything else is a Tcl integer,
// whose reader leaves its message in interp (which may be NULL) on failure.
// No range check: callers check and word their own message.
int GetIndex(Tcl_Interp* interp, int length, Tcl_Obj* obj, int* indexPtr);

}  // namespace nvec
