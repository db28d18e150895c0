#include "helpers.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
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

// Beyond any int, yet a sum of two stays far within 64 bits.
constexpr std::int64_t kIndexCap = std::int64_t{1} << 62;

// Reads one integer of an index word, [s, stop): a sign, digits in one of
// Tcl's integer forms, white space after them. Tcl's own integer reader
// decides whether the digits are valid (leading-zero octal in Tcl 8.6,
// digit separators in Tcl 9.0), so indices read as the running Tcl reads
// integers. The shape test first keeps out fractions, exponents and the
// words inf and nan: what then reads as a double but not as a 64-bit
// integer is an integer beyond 64 bits, which saturates. Tcl 8.6 reads
// magnitudes up to 2^64 - 1 as 64-bit integers modulo 2^64; long texts
// are therefore also read as doubles, which tell the true magnitude.
bool ReadIndexInteger(const char* s, const char* stop, std::int64_t* out) {
    while (stop > s && IsSpace(stop[-1])) --stop;
    const char* p = s;
    if (p < stop && (*p == '+' || *p == '-')) ++p;
    if (p == stop || !IsDigit(*p)) return false;
    bool hex = stop - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    bool prefixed = hex || (stop - p > 2 && p[0] == '0' && std::strchr("oObBdD", p[1]) != nullptr);
    for (const char* q = prefixed ? p + 2 : p; q < stop; ++q) {
        if (!(IsDigit(*q) || *q == '_' || (hex && std::isxdigit(static_cast<unsigned char>(*q))))) {
            return false;
        }
    }
    // Up to nine decimal digits without a leading zero (the usual index)
    // read the same in every Tcl; no Tcl object is needed for them.
    if (!prefixed && stop - p <= 9 && (stop - p == 1 || *p != '0') &&
        std::find(p, stop, '_') == stop) {
        std::int64_t v = 0;
        for (const char* q = p; q < stop; ++q) v = v * 10 + (*q - '0');
        *out = *s == '-' ? -v : v;
        return true;
    }
    Tcl_Obj* word = Tcl_NewStringObj(s, static_cast<int>(stop - s));
    Tcl_IncrRefCount(word);
    Tcl_WideInt wide;
    bool ok = Tcl_GetWideIntFromObj(nullptr, word, &wide) == TCL_OK;
    std::int64_t v = ok ? static_cast<std::int64_t>(wide) : 0;
    if (!ok || stop - p > 9) {
        Tcl_Obj* copy = Tcl_NewStringObj(s, static_cast<int>(stop - s));
        Tcl_IncrRefCount(copy);
        double d;
        if (Tcl_GetDoubleFromObj(nullptr, copy, &d) == TCL_OK && std::fabs(d) >= 0x1p63) {
            v = d < 0 ? INT64_MIN : INT64_MAX;
            ok = true;
        }
        Tcl_DecrRefCount(copy);
    }
    Tcl_DecrRefCount(word);
    *out = std::clamp(v, -kIndexCap, kIndexCap);
    return ok;
}

// Reads the integers of an index word other than end, end+N and end-N: M,
// M+N or M-N. M runs from its sign to the first sign after it; white space
// may lead M and trail the last integer, and no white space may stand
// around the operator.
bool ReadIndexSum(const char* s, const char* stop, std::int64_t* out) {
    while (s < stop && IsSpace(*s)) ++s;
    const char* op = s;
    if (op < stop && (*op == '+' || *op == '-')) ++op;
    while (op < stop && *op != '+' && *op != '-' && !IsSpace(*op)) ++op;
    const char* tail = op;
    while (tail < stop && IsSpace(*tail)) ++tail;
    if (tail == stop) return ReadIndexInteger(s, stop, out);
    std::int64_t m, n;
    if (tail != op || op + 1 == stop || IsSpace(op[1]) || !ReadIndexInteger(s, op, &m) ||
        !ReadIndexInteger(op + 1, stop, &n)) {
        return false;
    }
    *out = *op == '+' ? m + n : m - n;
    return true;
}

}  // namespace

int GetIndex(Tcl_Interp* interp, int length, Tcl_Obj* obj, int* indexPtr) {
    const char* s = Tcl_GetString(obj);
    const char* const stop = s + obj->length;
    std::int64_t index;
    bool ok;
    if (stop - s >= 3 && std::strncmp(s, "end", 3) == 0) {
        // end, or end with an operator and an integer right after it.
        const char* op = s + 3;
        std::int64_t n = 0;
        ok = op == stop || ((*op == '+' || *op == '-') && op + 1 < stop && !IsSpace(op[1]) &&
                            ReadIndexInteger(op + 1, stop, &n));
        index = static_cast<std::int64_t>(length) - 1 + (op < stop && *op == '-' ? -n : n);
    } else {
        ok = ReadIndexSum(s, stop, &index);
    }
    if (!ok) {
        return Failf(interp, ErrorClass::Index,
                     "bad index \"%s\": must be integer?[+-]integer? or end?[+-]integer?", s);
    }
    *indexPtr = static_cast<int>(std::clamp<std::int64_t>(index, INT_MIN, INT_MAX));
    return TCL_OK;
}

PlainWord::PlainWord(Tcl_Obj* word) : obj_(word), copy_(false) {
    if (ElemTypeOf(word)) {
        Tcl_Size len;
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
