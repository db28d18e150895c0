// Helpers and messages shared by the subcommand handlers.

#pragma once

#include <tcl.h>

#include "../tcl_compat.h"

// Marks a kernel loop. With GCC on x86-64 Linux it is also compiled a
// second time for AVX2, and the loader picks that copy on processors that
// have it (function multiversioning; a multiversioned function is never
// inlined). Both copies come from the same source and do the same
// operations on each element, so results do not depend on the copy. Clang
// does not multiversion templates and builds the baseline copy alone, so
// the clang build of the suite tests that copy. Under ThreadSanitizer the
// copies' resolvers, which the loader runs while it relocates the library,
// would call the sanitizer's hooks before they can be reached: that build
// takes the baseline copy alone too.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define NVEC_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define NVEC_KERNEL [[gnu::noinline]]
#endif

namespace nvec {

inline constexpr const char kMsgWrongType[] =
    "wrong nvec type, must be: chararray shortarray intarray longarray longlongarray floatarray "
    "doublearray";
inline constexpr const char kMsgWrongIntType[] =
    "wrong nvec type, must be: chararray shortarray intarray longarray longlongarray";
inline constexpr const char kMsgNotAnArray[] = "object is not an nvec";
inline constexpr const char kMsgNoMemory[] = "not enough memory";

// Deleter of temporaries from Tcl's allocator, for std::unique_ptr: freed
// on every return of the call that took them.
struct TclFree {
    void operator()(void* p) const noexcept { Tcl_Free(static_cast<char*>(p)); }
};

// The class of an error that nvec raises, the second word of its error
// code: {NVEC SYNTAX}, {NVEC TYPE}, ... A script can trap a class with
// `try ... trap {NVEC INDEX}`.
enum class ErrorClass {
    Syntax,  // the word count, an option word, the subcommand name
    Type,    // not an array value, a wrong type name, types that differ
    Index,   // a malformed index word, a position outside the array
    Value,   // a word, list or element that cannot be read or lies
             // outside its domain
    Size,    // sizes, lengths, counts and limits
    Memory,  // not enough memory
};

// Sets the error code {NVEC <class>} (on a message already in the
// result, such as one that Tcl's own reader left); returns TCL_ERROR.
int SetErrorClass(Tcl_Interp* interp, ErrorClass errorClass);

// Sets `msg` as the result and the error code of its class; returns
// TCL_ERROR so a handler can return it.
int Fail(Tcl_Interp* interp, ErrorClass errorClass, const char* msg);

// Formats into a 1024-byte buffer (longer messages are cut to their first
// 1023 characters) and sets the text as the result, with the error code of
// its class. Returns TCL_ERROR.
int Failf(Tcl_Interp* interp, ErrorClass errorClass, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Sets "syntax: nvec <pattern>" as the result, error code {NVEC SYNTAX};
// returns TCL_ERROR.
int SyntaxError(Tcl_Interp* interp, const char* pattern);

// Reads an element position as Tcl reads index words: an integer, end,
// end+N, end-N, M+N or M-N, each integer in Tcl's own forms (a sign, radix
// prefixes; white space around a lone integer and after the last one).
// Sums are saturated to the int range, and so is an integer beyond 64
// bits, so a huge N names no element. Anything else returns TCL_ERROR with
// Tcl's bad-index message and the code {NVEC INDEX} in interp (which may
// be NULL). Only the word's string is read: the word, even when it is the
// array itself, keeps its type. No range check: callers check and word
// their own message.
int GetIndex(Tcl_Interp* interp, int length, Tcl_Obj* obj, int* indexPtr);

// A word to hand to a Tcl routine that converts its argument (the number
// readers, list access, variable lookup, evaluation): the word itself, or,
// when it is an array value (possibly the very array a handler works on),
// a fresh copy of its string, which the conversion may take instead of the
// array's elements and type. Holds one reference on the copy.
class PlainWord {
   public:
    explicit PlainWord(Tcl_Obj* word);
    ~PlainWord();
    PlainWord(const PlainWord&) = delete;
    PlainWord& operator=(const PlainWord&) = delete;
    Tcl_Obj* get() const { return obj_; }

   private:
    Tcl_Obj* obj_;
    bool copy_;
};

// Tcl's number readers over a PlainWord of the argument: a failed call
// leaves every array argument as it was. interp may be NULL; on failure
// Tcl's message is left in it.
int GetIntArg(Tcl_Interp* interp, Tcl_Obj* word, int* out);
int GetLongArg(Tcl_Interp* interp, Tcl_Obj* word, long* out);
int GetWideIntArg(Tcl_Interp* interp, Tcl_Obj* word, Tcl_WideInt* out);
int GetDoubleArg(Tcl_Interp* interp, Tcl_Obj* word, double* out);

}  // namespace nvec
