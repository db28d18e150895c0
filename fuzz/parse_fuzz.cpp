// Fuzzer of the string form: the input bytes, as the string of a fresh
// object, are converted to each of the seven array types through the C
// interface (Tcl_Get<T>ArrayFromObj).
//
// Checked for every type:
//   - the conversion succeeds exactly when the standard readers (strtol,
//     strtoll, strtod), applied number after number, consume the whole
//     string, and the elements are theirs, brought to the type;
//   - a failed conversion leaves the object a plain string;
//   - the string form of the elements is, token by token, the text of each
//     element (printf's for the integers, Tcl_PrintDouble's for the
//     floating types, but for values whose Tcl text reads back as another
//     number), and it parses back to the same elements bit for bit (a NaN
//     to a NaN: its payload is not part of the text);
//   - the parsed array converts to each other type element by element by
//     the conversion rules (low bits, truncation toward zero with the most
//     negative value for NaN and out-of-range values, nearest float).
// Any difference aborts, as do sanitizer reports.

#include <tcl.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "api.h"
#include "harness.h"
#include "nvec.h"

namespace {

using fuzz::Api;

// ---- the conversion rules, written out independently of nvec ----

// Low bits of any integer in integer type D (modular, defined in C++20).
template <class D, class S>
D LowBits(S v) {
    return static_cast<D>(static_cast<std::make_unsigned_t<D>>(v));
}

// Truncation toward zero to the 32-bit (types up to 4 bytes) or 64-bit
// integer, the most negative value for NaN and out of range, then low bits.
template <class D>
D Truncate(double v) {
    if constexpr (sizeof(D) <= 4) {
        std::int32_t w = INT32_MIN;
        if (v > -2147483649.0 && v < 2147483648.0) w = static_cast<std::int32_t>(v);
        return LowBits<D>(w);
    } else {
        std::int64_t w = INT64_MIN;
        if (v >= -9223372036854775808.0 && v < 9223372036854775808.0) {
            w = static_cast<std::int64_t>(v);
        }
        return LowBits<D>(w);
    }
}

// Nearest float; beyond the float range the infinity of the sign.
float NearestFloat(double v) {
    if (std::isnan(v) || std::fabs(v) <= FLT_MAX) return static_cast<float>(v);
    // FLT_MAX plus half an ulp is the first magnitude that rounds up.
    const double half = 0x1.ffffffp127;
    if (std::fabs(v) < half) return std::signbit(v) ? -FLT_MAX : FLT_MAX;
    return std::signbit(v) ? -INFINITY : INFINITY;
}

template <class D, class S>
D Convert(S v) {
    if constexpr (std::is_same_v<D, S>) {
        return v;
    } else if constexpr (std::is_integral_v<D> && std::is_integral_v<S>) {
        return LowBits<D>(v);
    } else if constexpr (std::is_integral_v<D>) {
        return Truncate<D>(static_cast<double>(v));
    } else if constexpr (std::is_same_v<D, float> && std::is_same_v<S, double>) {
        return NearestFloat(v);
    } else {
        return static_cast<D>(v);
    }
}

// One number as the standard reader of E reads it, brought to E. Returns
// the end of what was read (p when nothing was).
template <class E>
const char* ReadNumber(const char* p, E* out) {
    char* end;
    if constexpr (std::is_floating_point_v<E>) {
        double d = std::strtod(p, &end);
        *out = Convert<E, double>(d);
    } else if constexpr (std::is_same_v<E, long long>) {
        long long v = std::strtoll(p, &end, 10);
        *out = v;
    } else {
        long v = std::strtol(p, &end, 10);
        *out = LowBits<E>(v);
    }
    return end;
}

// Numbers one after another until the end of the string; false when a
// reader finds no number.
template <class E>
bool ReferenceParse(const char* s, std::size_t len, std::vector<E>* out) {
    const char* p = s;
    const char* stop = s + len;
    while (p < stop) {
        E v;
        const char* end = ReadNumber<E>(p, &v);
        if (end == p) return false;
        out->push_back(v);
        p = end;
    }
    return true;
}

template <class E>
bool Same(E a, E b) {
    if constexpr (std::is_floating_point_v<E>) {
        if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
        return std::memcmp(&a, &b, sizeof a) == 0;
    } else {
        return a == b;
    }
}

template <class E>
std::string ElementText(E v) {
    char buf[TCL_DOUBLE_SPACE + 32];
    if constexpr (std::is_floating_point_v<E>) {
        Tcl_PrintDouble(nullptr, static_cast<double>(v), buf);
    } else {
        std::snprintf(buf, sizeof buf, Api<E>::Format(), v);
    }
    return buf;
}

// Converts `elems` (held as type E) to type D through the C interface and
// compares with the rule.
template <class D, class E>
void CheckConversionTo(const std::vector<E>& elems) {
    Tcl_Obj* obj = Api<E>::New(elems.data(), static_cast<int>(elems.size()));
    Tcl_IncrRefCount(obj);
    int n = -1;
    const D* got = Api<D>::Get(obj, &n);
    if (n != static_cast<int>(elems.size()) || std::strcmp(GetTypeName(obj), Api<D>::Name()) != 0) {
        fuzz::Finding("%s to %s: count %d for %zu", Api<E>::Name(), Api<D>::Name(), n,
                      elems.size());
    }
    for (int i = 0; i < n; ++i) {
        if (!Same(got[i], Convert<D, E>(elems[static_cast<std::size_t>(i)]))) {
            fuzz::Finding("%s to %s: element %d differs", Api<E>::Name(), Api<D>::Name(), i);
        }
    }
    Tcl_DecrRefCount(obj);
}

template <class E>
void CheckConversions(const std::vector<E>& elems) {
    CheckConversionTo<unsigned char>(elems);
    CheckConversionTo<short>(elems);
    CheckConversionTo<int>(elems);
    CheckConversionTo<long>(elems);
    CheckConversionTo<long long>(elems);
    CheckConversionTo<float>(elems);
    CheckConversionTo<double>(elems);
}

// Whether `token` is the right text for v: Tcl_PrintDouble's text (or
// printf's for integers), except where Tcl's text does not read back as v
// (some powers of two); there any text that reads back as v, by strtod
// and by Tcl's own reader, is right.
template <class E>
bool RightText(E v, const std::string& token) {
    std::string tcl = ElementText(v);
    if (token == tcl) return true;
    if constexpr (std::is_floating_point_v<E>) {
        const double d = static_cast<double>(v);
        if (std::isnan(d) || std::strtod(tcl.c_str(), nullptr) == d) return false;
        Tcl_Obj* obj = Tcl_NewStringObj(token.data(), static_cast<int>(token.size()));
        Tcl_IncrRefCount(obj);
        double tclRead;
        bool ok = Tcl_GetDoubleFromObj(nullptr, obj, &tclRead) == TCL_OK && tclRead == d &&
                  std::strtod(token.c_str(), nullptr) == d;
        Tcl_DecrRefCount(obj);
        return ok;
    } else {
        return false;
    }
}

// Prints `elems` as the string form of a new array and parses it back.
template <class E>
void CheckRoundTrip(const std::vector<E>& elems) {
    Tcl_Obj* printed = Api<E>::New(elems.data(), static_cast<int>(elems.size()));
    Tcl_IncrRefCount(printed);
    int len;
    const char* s = Tcl_GetStringFromObj(printed, &len);
    const std::string text(s, static_cast<std::size_t>(len));
    std::size_t pos = 0;
    for (std::size_t i = 0; i < elems.size(); ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != ' ') {
                fuzz::Finding("%s string form \"%s\": no separator before element %zu",
                              Api<E>::Name(), s, i);
            }
            ++pos;
        }
        std::size_t end = std::min(text.find(' ', pos), text.size());
        std::string token = text.substr(pos, end - pos);
        if (!RightText(elems[i], token)) {
            fuzz::Finding("%s string form \"%s\": element %zu is \"%s\", Tcl prints \"%s\"",
                          Api<E>::Name(), s, i, token.c_str(), ElementText(elems[i]).c_str());
        }
        pos = end;
    }
    if (pos != text.size()) {
        fuzz::Finding("%s string form \"%s\" has more than %zu elements", Api<E>::Name(), s,
                      elems.size());
    }
    Tcl_Obj* reparsed = Tcl_NewStringObj(s, len);
    Tcl_IncrRefCount(reparsed);
    int n = -1;
    const E* back = Api<E>::Get(reparsed, &n);
    if (std::strcmp(GetTypeName(reparsed), Api<E>::Name()) != 0 ||
        n != static_cast<int>(elems.size())) {
        fuzz::Finding("%s string form \"%s\" does not parse back (%d elements)", Api<E>::Name(), s,
                      n);
    }
    for (int i = 0; i < n; ++i) {
        if (!Same(back[i], elems[static_cast<std::size_t>(i)])) {
            fuzz::Finding("%s element %d does not read back from \"%s\"", Api<E>::Name(), i, s);
        }
    }
    Tcl_DecrRefCount(reparsed);
    Tcl_DecrRefCount(printed);
}

template <class E>
void CheckType(const char* data, std::size_t size) {
    Tcl_Obj* obj = Tcl_NewStringObj(data, static_cast<int>(size));
    Tcl_IncrRefCount(obj);
    int n = -1;
    const E* got = Api<E>::Get(obj, &n);
    const bool converted = std::strcmp(GetTypeName(obj), Api<E>::Name()) == 0;

    std::vector<E> ref;
    const bool refOk = ReferenceParse<E>(Tcl_GetString(obj), size, &ref);
    if (converted != refOk) {
        fuzz::Finding("%s: conversion %s, the standard readers %s", Api<E>::Name(),
                      converted ? "succeeded" : "failed", refOk ? "succeed" : "fail");
    }
    if (!converted) {
        if (got != nullptr || n != 0 || obj->typePtr != nullptr) {
            fuzz::Finding("%s: failed conversion changed the object or its count", Api<E>::Name());
        }
        Tcl_DecrRefCount(obj);
        return;
    }
    if (n != static_cast<int>(ref.size()) || (n == 0) != (got == nullptr)) {
        fuzz::Finding("%s: %d elements, the readers give %zu", Api<E>::Name(), n, ref.size());
    }
    for (int i = 0; i < n; ++i) {
        if (!Same(got[i], ref[static_cast<std::size_t>(i)])) {
            fuzz::Finding("%s: element %d differs from the standard reader's", Api<E>::Name(), i);
        }
    }
    std::vector<E> elems(got, got + n);
    Tcl_DecrRefCount(obj);

    CheckRoundTrip(elems);
    // Arrays of 8 or more floating elements print through a faster path
    // than short ones: repeat short arrays so both are checked.
    if (!elems.empty() && elems.size() < 8) {
        std::vector<E> longer;
        while (longer.size() < 8) longer.insert(longer.end(), elems.begin(), elems.end());
        CheckRoundTrip(longer);
    }
    CheckConversions(elems);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Interp();
    if (size > 1 << 16) return 0;
    const char* s = reinterpret_cast<const char*>(data);
    CheckType<unsigned char>(s, size);
    CheckType<short>(s, size);
    CheckType<int>(s, size);
    CheckType<long>(s, size);
    CheckType<long long>(s, size);
    CheckType<float>(s, size);
    CheckType<double>(s, size);
    return 0;
}
