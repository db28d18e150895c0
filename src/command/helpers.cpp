#include "helpers.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "../arrays/obj_types.h"

namespace nvec {

int SetErrorClass(Tcl_Interp* interp, ErrorClass errorClass) {
    static constexpr const char* kClassNames[] = {"SYNTAX", "TYPE", "INDEX",
                                                  "VALUE",  "SIZE", "MEMORY"};
    if (interp != nullptr) {
        Tcl_SetErrorCode(interp, "NVEC", kClassNames[static_cast<int>(errorClass)],
                         static_cast<char*>(nullptr));
    }
    return TCL_ERROR;
}

int Fail(Tcl_Interp* interp, ErrorClass errorClass, const char* msg) {
    if (interp == nullptr) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(msg, -1));
    return SetErrorClass(interp, errorClass);
}

int Failf(Tcl_Interp* interp, ErrorClass errorClass, const char* format, ...) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (written < 0) buf[0] = '\0';
    return Fail(interp, errorClass, buf);
}

int SyntaxError(Tcl_Interp* interp, const char* pattern) {
    if (interp == nullptr) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("syntax: nvec %s", pattern));
    return SetErrorClass(interp, ErrorClass::Syntax);
}

namespace {

// atoi's reading (leading white space, a sign, digits up to the first
// non-digit, none read as 0), but saturating instead of overflowing.
std::int64_t SaturatingAtoi(const char* s) {
    while (std::isspace(static_cast<unsigned char>(*s))) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = (*s++ == '-');
    constexpr std::int64_t kCap = std::int64_t{1} << 40;  // far beyond any int
    std::int64_t v = 0;
    while (*s >= '0' && *s <= '9') {
        if (v < kCap) v = v * 10 + (*s - '0');
        ++s;
    }
    return negative ? -v : v;
}

}  // namespace

int GetIndex(Tcl_Interp* interp, int length, Tcl_Obj* obj, int* indexPtr) {
    int len;
    const char* s = Tcl_GetStringFromObj(obj, &len);
    if (std::strncmp(s, "end", 3) == 0) {
        std::int64_t index = static_cast<std::int64_t>(length) - 1;
        if (s[3] == '-') index -= SaturatingAtoi(s + 4);
        if (index < INT_MIN) index = INT_MIN;
        if (index > INT_MAX) index = INT_MAX;
        *indexPtr = static_cast<int>(index);
        return TCL_OK;
    }
    return GetIntArg(interp, obj, indexPtr);
}

PlainWord::PlainWord(Tcl_Obj* word) : obj_(word), copy_(false) {
    if (ElemTypeOf(word)) {
        int len;
        const char* s = Tcl_GetStringFromObj(word, &len);
        obj_ = Tcl_NewStringObj(s, len);
        Tcl_IncrRefCount(obj_);
        copy_ = true;
    }
}

PlainWord::~PlainWord() {
    if (copy_) Tcl_DecrRefCount(obj_);
}

int GetIntArg(Tcl_Interp* interp, Tcl_Obj* word, int* out) {
    PlainWord w(word);
    return Tcl_GetIntFromObj(interp, w.get(), out);
}

int GetLongArg(Tcl_Interp* interp, Tcl_Obj* word, long* out) {
    PlainWord w(word);
    return Tcl_GetLongFromObj(interp, w.get(), out);
}

int GetWideIntArg(Tcl_Interp* interp, Tcl_Obj* word, Tcl_WideInt* out) {
    PlainWord w(word);
    return Tcl_GetWideIntFromObj(interp, w.get(), out);
}

int GetDoubleArg(Tcl_Interp* interp, Tcl_Obj* word, double* out) {
    PlainWord w(word);
    return Tcl_GetDoubleFromObj(interp, w.get(), out);
}

}  // namespace nvec
