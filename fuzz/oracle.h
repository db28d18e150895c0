// What nvec's parser, conversions and string form must give, written out
// from the standard readers, Tcl's own printer and the conversion rules,
// independently of nvec, and the checks of nvec against it: the oracle of
// the parse fuzzer and of the C interface tests.

#pragma once

#include <tcl.h>

#include <algorithm>
#include <charconv>
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

// strtod's reading of the number at p: its forms and its end, but the
// value std::from_chars gives for that text (hexadecimal after the 0x),
// which is correctly rounded everywhere (MinGW's strtod is not); strtod's
// clamped value beyond the range.
inline double Strtod(const char* p, char** end) {
    double d, v = std::strtod(p, end);
    const char* s = std::min<const char*>(*end, p + (*p == '+' || *p == '-'));
    const bool hex = *end - s > 2 && (s[1] | 32) == 'x';
    auto [q, ec] = std::from_chars(s + 2 * hex, *end, d,
                                   hex ? std::chars_format::hex : std::chars_format::general);
    return ec == std::errc() && q == *end ? (*p == '-' ? -d : d) : v;
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
            out->push_back(Convert<E, double>(Strtod(p, &end)));
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
// 2048); there any text that Strtod and Tcl's own reader read back as v.
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
    char* end;
    if (std::fabs(std::frexp(d, &e)) != 0.5 || Strtod(tcl, &end) == d) return token == tcl;
    Tcl_Obj* obj = Tcl_NewStringObj(token.data(), static_cast<int>(token.size()));
    Tcl_IncrRefCount(obj);
    double back;
    bool ok = Tcl_GetDoubleFromObj(nullptr, obj, &back) == TCL_OK && back == d &&
              Strtod(token.c_str(), &end) == d;
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

// ---- The checks: each gives the first difference from the oracle, or "" ----

// The string form of elems is their right texts, in a short array and in
// one of 8 or more (another printing path); the array converts to each
// type element by element by the conversion rules.
template <class E>
std::string CheckElements(const std::vector<E>& elems) {
    const std::string name = fuzz::Api<E>::Name();
    const int size = static_cast<int>(elems.size());
    std::vector<E> longer;
    while (size > 0 && longer.size() < 8) longer.insert(longer.end(), elems.begin(), elems.end());
    std::string diff;
    auto checkForm = [&](const std::vector<E>& v) {
        Tcl_Obj* printed = fuzz::Api<E>::New(v.data(), static_cast<int>(v.size()));
        Tcl_IncrRefCount(printed);
        const std::string text = Tcl_GetString(printed);
        if (!RightForm(v, text))
            diff = name + " string form \"" + text.substr(0, 300) + "\" is not Tcl's text";
        Tcl_DecrRefCount(printed);
    };
    checkForm(elems);
    checkForm(longer);
    fuzz::ForEachType([&]<class D>(D) {
        Tcl_Obj* array = fuzz::Api<E>::New(elems.data(), size);
        Tcl_IncrRefCount(array);
        int n = -1;
        const D* got = fuzz::Api<D>::Get(array, &n);
        for (int i = 0; i < size || n != size; ++i) {
            if (n != size || !Same(got[i], Convert<D, E>(elems[i]))) {
                diff = name + " to " + fuzz::Api<D>::Name() + ": count " + std::to_string(n) +
                       ", element " + std::to_string(i) + " differs";
                break;
            }
        }
        Tcl_DecrRefCount(array);
    });
    return diff;
}

// text, made a list first where it is one (as scripts hand values over),
// read as an array of E: converted exactly when the standard readers read
// all of it, the elements theirs, the string kept; a failed conversion
// gives no elements and leaves the object as it was. Then the checks of
// the elements.
template <class E>
std::string CheckText(const std::string& text) {
    Tcl_Obj* obj = Tcl_NewStringObj(text.data(), static_cast<int>(text.size()));
    Tcl_IncrRefCount(obj);
    Tcl_Obj* first;
    Tcl_ListObjIndex(nullptr, obj, 0, &first);
    const Tcl_ObjType* before = obj->typePtr;
    int n = -1;
    const E* e = fuzz::Api<E>::Get(obj, &n);
    const bool converted = std::string(GetTypeName(obj)) == fuzz::Api<E>::Name();
    std::vector<E> want, got(e, e + (e != nullptr && n > 0 ? n : 0));
    const bool ok = Parse<E>(text.c_str(), text.size(), &want);
    if (!ok) want.clear();
    std::string diff;
    if (converted != ok || n != static_cast<int>(got.size()) ||
        !std::equal(got.begin(), got.end(), want.begin(), want.end(), Same<E>) ||
        std::string(Tcl_GetString(obj), obj->length) != text ||
        (!converted && obj->typePtr != before)) {
        diff = "converted " + std::to_string(converted) + ", " + std::to_string(n) +
               " elements; the standard readers " + std::to_string(ok) + ", " +
               std::to_string(want.size()) + " elements";
    }
    Tcl_DecrRefCount(obj);
    if (!diff.empty())
        return std::string(fuzz::Api<E>::Name()) + " \"" + text.substr(0, 300) + "\": " + diff;
    return converted ? CheckElements(got) : "";
}

}  // namespace oracle
