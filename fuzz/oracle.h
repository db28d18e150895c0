// What nvec's parser, conversions and string form must give, written out
// from the standard readers, Tcl's own printer and the conversion rules,
// independently of nvec: the oracle of the parse fuzzer and of the C
// interface tests.

#pragma once

#include <tcl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "api.h"

namespace oracle {

// Low bits of an integer in integer type D (modular, defined in C++20).
template <class D, class S>
D LowBits(S v) {
    return static_cast<D>(static_cast<std::make_unsigned_t<D>>(v));
}

// Truncation toward zero to the 32-bit (types up to 4 bytes) or 64-bit
// integer, the most negative value for NaN and out of range, then low bits.
template <class D>
D Truncate(double v) {
    if (sizeof(D) <= 4) {
        bool in = v > -2147483649.0 && v < 2147483648.0;
        return LowBits<D>(in ? static_cast<std::int32_t>(v) : INT32_MIN);
    }
    bool in = v >= -0x1p63 && v < 0x1p63;
    return LowBits<D>(in ? static_cast<std::int64_t>(v) : INT64_MIN);
}

// The nearest float; beyond the largest float plus half an ulp, an infinity.
inline float NearestFloat(double v) {
    if (std::isnan(v) || std::fabs(v) < 0x1.ffffffp127) return static_cast<float>(v);
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

// Bit for bit, but any NaN equals any NaN (its payload has no text).
template <class E>
bool Same(E a, E b) {
    if (std::is_floating_point_v<E> && std::isnan(a)) return std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The numbers of text, one after another as the standard reader of E reads
// them, brought to E; white space after the last is allowed. False when a
// reader finds no number.
template <class E>
bool Parse(const char* p, std::size_t len, std::vector<E>* out) {
    for (const char* stop = p + len;;) {
        while (p < stop && std::strchr(" \t\n\v\f\r", *p) != nullptr && *p != '\0') ++p;
        if (p >= stop) return true;
        char* end;
        if constexpr (std::is_floating_point_v<E>) {
            out->push_back(Convert<E, double>(std::strtod(p, &end)));
        } else if constexpr (std::is_same_v<E, long long>) {
            out->push_back(std::strtoll(p, &end, 10));
        } else {
            out->push_back(LowBits<E>(std::strtol(p, &end, 10)));
        }
        if (end == p) return false;
        p = end;
    }
}

// Whether token is the right text of v in an array's string form: Tcl's
// text (Tcl_PrintDouble's at the current tcl_precision, printf's for the
// integers), but for the powers of two whose Tcl text reads back as
// another number (2^64 prints as 1.844674407370955e+19, nearer 2^64 -
// 2048); there any text that strtod and Tcl's own reader read back as v.
template <class E>
bool RightText(E v, const std::string& token) {
    char tcl[TCL_DOUBLE_SPACE + 32];
    const double d = static_cast<double>(v);
    if constexpr (!std::is_floating_point_v<E>) {
        std::snprintf(tcl, sizeof tcl, fuzz::Api<E>::Format(), v);
        return token == tcl;
    }
    Tcl_PrintDouble(nullptr, d, tcl);
    int e;
    if (std::fabs(std::frexp(d, &e)) != 0.5 || std::strtod(tcl, nullptr) == d) return token == tcl;
    Tcl_Obj* obj = Tcl_NewStringObj(token.data(), static_cast<int>(token.size()));
    Tcl_IncrRefCount(obj);
    double back;
    bool ok = Tcl_GetDoubleFromObj(nullptr, obj, &back) == TCL_OK && back == d &&
              std::strtod(token.c_str(), nullptr) == d;
    Tcl_DecrRefCount(obj);
    return ok;
}

// Whether text is the string form of the elements v: their right texts,
// one space between.
template <class E>
bool RightForm(const std::vector<E>& v, const std::string& text) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i > 0 && (pos >= text.size() || text[pos++] != ' ')) return false;
        std::size_t end = std::min(text.find(' ', pos), text.size());
        if (!RightText(v[i], text.substr(pos, end - pos))) return false;
        pos = end;
    }
    return pos == text.size();
}

}  // namespace oracle
