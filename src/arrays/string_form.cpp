// String form of arrays (update-string procedures) and parsing of strings
// into arrays (set-from-any procedures), plus the nan/inf word reader.

#include <tcl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "obj_types.h"

namespace nvec {

namespace {

// The shortest digits that read back as a finite, non-zero double, as
// std::to_chars gives them (the closest of the shortest; several times
// faster than Tcl's generator): v = 0.d1d2...dn x 10^(exponent + 1).
struct ShortestDigits {
    bool negative = false;
    char digits[20] = {};
    int count = 0;
    int exponent = 0;

    explicit ShortestDigits(double v) {
        // Scientific form: [-]d[.ddd]e[+-]xx
        char sci[32];
        char* sciEnd = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific).ptr;
        *sciEnd = '\0';
        const char* q = sci;
        if (*q == '-') {
            negative = true;
            ++q;
        }
        for (; *q != 'e'; ++q) {
            if (*q != '.') digits[count++] = *q;
        }
        // The exponent: a sign and two or three digits.
        const bool negativeExponent = q[1] == '-';
        for (q += 2; q < sciEnd; ++q) exponent = exponent * 10 + (*q - '0');
        if (negativeExponent) exponent = -exponent;
    }

    // Whether the decimal lies exactly halfway between two doubles (it
    // reads back as v only because ties go to the even significand): it
    // is then an integer times a power of two whose odd part has 54 bits.
    // Tcl's generator never takes such digits and writes 17 digits instead
    // (1024e23 as 1.0239999999999999e+26), so these values print through
    // Tcl_PrintDouble.
    bool Halfway() const {
        const int scale = exponent - count + 1;  // v = d x 10^scale
        // Below the units 5^-scale must divide d, so d ends in 5 or 0: the
        // last digit settles it for almost every value, at no cost.
        const char last = digits[count - 1];
        if (scale < 0 && last != '5' && last != '0') return false;
        std::uint64_t d = 0;
        for (int i = 0; i < count; ++i) d = d * 10 + static_cast<unsigned>(digits[i] - '0');
        std::uint64_t odd = d;
        if (scale < 0) {
            // 5^28 exceeds any 17-digit d.
            if (scale <= -28) return false;
            std::uint64_t five = 1;
            for (int i = 0; i < -scale; ++i) five *= 5;
            if (d % five != 0) return false;
            odd = d / five;
        }
        while ((odd & 1) == 0) odd >>= 1;
        // Above the units the odd part is that of d times 5^scale. It only
        // grows, so the product stops once past 54 bits: each step starts
        // below 2^54 and stays below 2^57, within 64 bits on every target.
        for (int i = 0; i < scale; ++i) {
            if (odd >> 54 != 0) return false;
            odd *= 5;
        }
        return odd >> 53 == 1;
    }

    // Writes the digits in Tcl_PrintDouble's layout when tcl_precision is 0
    // (its default): fixed notation with at least one fractional digit for
    // decimal exponents -4 to 16, else d.ddde+N.
    char* Write(char* p) const {
        if (negative) *p++ = '-';
        if (exponent < -4 || exponent > 16) {
            *p++ = digits[0];
            if (count > 1) {
                *p++ = '.';
                std::memcpy(p, digits + 1, static_cast<std::size_t>(count - 1));
                p += count - 1;
            }
            *p++ = 'e';
            *p++ = exponent < 0 ? '-' : '+';
            p = std::to_chars(p, p + 4, exponent < 0 ? -exponent : exponent).ptr;
        } else if (exponent < 0) {
            *p++ = '0';
            *p++ = '.';
            for (int z = exponent + 1; z < 0; ++z) *p++ = '0';
            std::memcpy(p, digits, static_cast<std::size_t>(count));
            p += count;
        } else {
            for (int i = 0; i <= exponent; ++i) *p++ = i < count ? digits[i] : '0';
            *p++ = '.';
            if (count > exponent + 1) {
                std::memcpy(p, digits + exponent + 1,
                            static_cast<std::size_t>(count - exponent - 1));
                p += count - exponent - 1;
            } else {
                *p++ = '0';
            }
        }
        *p = '\0';
        return p;
    }
};

bool PrintsShortest();

// Writes v with Tcl_PrintDouble. For a value whose significand is a power
// of two (the rounding interval is lopsided there) Tcl's shortest-digit
// generator sometimes yields digits that lie nearer the next lower double
// (2^64 prints as 1.844674407370955e+19, which reads as 2^64 - 2048): when
// Tcl prints shortest digits and its text does not read back as v (read
// with std::from_chars, correctly rounded everywhere: MinGW's strtod reads
// 3.839223843572815e-239 as 2^-792, which it is not),
// the shortest digits that do (which Tcl reads back as v too) take its
// place, so that the string form always parses back to its elements. With
// another tcl_precision the text is Tcl's, as the user chose. `shortest`
// tells that tcl_precision is already known to be 0.
char* PrintTclDouble(char* p, double v, bool shortest) {
    Tcl_PrintDouble(nullptr, v, p);
    char* end = p + std::strlen(p);
    if (!PowerOfTwoSignificand(v) || std::isinf(v) || v == 0.0) return end;
    double back;
    if (std::from_chars(p, end, back).ec == std::errc() && back == v) return end;
    if (!shortest && !PrintsShortest()) return end;
    return ShortestDigits(v).Write(p);
}

// Writes v as Tcl_PrintDouble does when tcl_precision is 0. NaN goes to
// Tcl_PrintDouble itself (it shows sign and payload). Tcl's digit generator
// differs from the shortest closest digits for some values whose
// significand is a power of two, so those go to PrintTclDouble too (zero
// and infinities also have an empty significand and take that road), and
// for shortest digits that lie halfway between two doubles.
char* PrintShortest(char* p, double v) {
    if (std::isnan(v) || PowerOfTwoSignificand(v)) {
        return PrintTclDouble(p, v, true);
    }
    const ShortestDigits shortest(v);
    if (shortest.Halfway()) return PrintTclDouble(p, v, true);
    return shortest.Write(p);
}

// Whether Tcl_PrintDouble currently writes shortest digits (tcl_precision
// 0): 0.1 shows as 0.1 (not so at precision 17) and 0.1 + 0.2 shows all 17
// digits (not so at precision 16 or less).
bool PrintsShortest() {
    char buf[TCL_DOUBLE_SPACE];
    Tcl_PrintDouble(nullptr, 0.1, buf);
    if (std::strcmp(buf, "0.1") != 0) return false;
    Tcl_PrintDouble(nullptr, 0.1 + 0.2, buf);
    return std::strcmp(buf, "0.30000000000000004") == 0;
}

// Writes one element's text at p (room for Elem<T>::kPrintWidth bytes plus
// a terminator is guaranteed) and returns the position after it.
template <class T>
char* PrintElem(char* p, T v, bool shortest) {
    if constexpr (kIsFloat<T>) {
        // A float shows the full double value of the stored number.
        if (shortest) return PrintShortest(p, static_cast<double>(v));
        return PrintTclDouble(p, static_cast<double>(v), false);
    } else {
        // Same digits as printf's %hhu, %hd, %d, %ld and %lld.
        (void)shortest;
        return std::to_chars(p, p + Elem<T>::kPrintWidth, v).ptr;
    }
}

// The number of spaces in [p, stop). Counted in runs of at most 224 bytes
// into an 8-bit counter, so that the compiler's vector loop adds byte
// lanes instead of widening every comparison to a 64-bit count.
std::int64_t CountSpaces(const char* p, const char* stop) {
    std::int64_t total = 0;
    while (p < stop) {
        const std::ptrdiff_t run = stop - p < 224 ? stop - p : 224;
        std::uint8_t count = 0;
        for (std::ptrdiff_t i = 0; i < run; ++i) count += p[i] == ' ';
        total += count;
        p += run;
    }
    return total;
}

// Reads one number at p as T's standard reader does (strtol or strtoll base
// 10, strtod), skipping any amount of leading white space and reading the
// whole number. Returns the end of what was consumed (p when nothing was).
// `stop` ends the text: white space or the string's terminator lies there,
// so no number runs past it.
//
// Floating numbers take strtod's forms, read by std::from_chars: it rounds
// correctly on every platform (MinGW's strtod does not) and is several
// times faster. It takes no leading '+', so that is dropped first, and
// reads a hexadecimal form after its 0x; "0x" followed by no hexadecimal
// digit is the number 0, as strtod reads it. Beyond the range it gives no
// value: the number is then an infinity or a zero, and strtod, which
// clamps to those, tells which.
//
// Integers go through std::from_chars too, which gives their exact value
// several times faster; a leading '+' and values out of range go to the
// standard reader itself.
//
// Short integers, the usual case, are read digit by digit without any
// overflow test: at most 18 digits where the reader gives 64 bits (below
// 10^18 < 2^63), at most 9 where it gives 32 bits (a `long` of 32 bits:
// below 10^9 < 2^31). Such a token ([-]d...d followed by anything but a
// digit) lies within the reader's range, so strtol or strtoll and
// std::from_chars all read it as its exact value. Longer ones go to
// std::from_chars and, beyond the range, to the reader itself, which
// clamps at the limits of its own width.
template <class T>
const char* ReadElem(const char* p, const char* stop, T* out) {
    const char* q = p;
    while (IsSpace(*q)) ++q;
    if constexpr (kIsInteger<T>) {
        // The reader's result type: strtoll for longlongarray, strtol for
        // the others.
        using R = std::conditional_t<std::is_same_v<T, long long>, long long, long>;
        static_assert(sizeof(R) == 4 || sizeof(R) == 8);
        constexpr std::ptrdiff_t kFastDigits = sizeof(R) == 8 ? 18 : 9;
        {
            const bool negative = *q == '-';
            const char* const first = q + negative;
            const char* d = first;
            std::uint64_t magnitude = 0;
            while (d - first < kFastDigits && IsDigit(*d)) {
                magnitude = magnitude * 10 + static_cast<unsigned>(*d - '0');
                ++d;
            }
            if (d != first && !IsDigit(*d)) {
                const auto v = static_cast<std::int64_t>(magnitude);
                *out = WrapInt<T>(negative ? -v : v);
                return d;
            }
        }
        if (*q != '+') {
            R v;
            auto [end, ec] = std::from_chars(q, stop, v, 10);
            if (ec == std::errc()) {
                *out = WrapInt<T>(v);
                return end;
            }
        }
        char* end;
        R v;
        if constexpr (std::is_same_v<T, long long>) {
            v = std::strtoll(p, &end, 10);
        } else {
            v = std::strtol(p, &end, 10);
        }
        *out = WrapInt<T>(v);
        return end;
    } else {
        const char* const s = q + (*q == '+');  // a '-' stays, for from_chars
        if (s != q && *s == '-') return p;      // "+-1" is no number
        const bool negative = *s == '-';
        const char* const digits = s + negative;
        double v = 0.0;
        std::from_chars_result r{digits + 1, std::errc()};  // "0x" alone: the 0
        if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            // From a hexadecimal digit or point on: from_chars would also
            // take a sign, inf or nan there, strtod takes none.
            if (std::isxdigit(static_cast<unsigned char>(digits[2])) || digits[2] == '.') {
                const auto hex = std::from_chars(digits + 2, stop, v, std::chars_format::hex);
                if (hex.ec != std::errc::invalid_argument) r = hex;
                // libstdc++ reads an exponent of two signs, "p+-5", as p-5.
                // strtod takes a p only with a sign or none and a digit, and
                // else ends the number before it: the digits alone are then
                // read again. (A sign lies before `stop`, so e[2] is there.)
                const char* const e =
                    std::find_if(digits + 2, r.ptr, [](char c) { return c == 'p' || c == 'P'; });
                if (e != r.ptr) {
                    const char* d = e + 1 + (e[1] == '+' || e[1] == '-');
                    if (!IsDigit(*d)) r = std::from_chars(digits + 2, e, v, std::chars_format::hex);
                }
            }
            if (negative) v = -v;
        } else {
            r = std::from_chars(s, stop, v);
        }
        if (r.ec == std::errc::invalid_argument) return p;
        if (r.ec == std::errc::result_out_of_range) {
            const double clamped = std::strtod(q, nullptr);
            v = std::copysign(std::fabs(clamped) > 1.0 ? HUGE_VAL : 0.0, clamped);
        }
        *out = FromDouble<T>(v);
        return r.ptr;
    }
}

}  // namespace

// Builds the elements as a space-separated list. The buffer is reserved for
// the widest element text and shrunk once; it grows only for arrays whose
// text could reach Tcl's largest string (2^31 - 1 bytes in Tcl 8.6), which
// panics in Tcl's own words.
template <class T>
void UpdateStringOfArray(Tcl_Obj* obj) {
    const int n = Length(obj);
    const T* elems = Elements<T>(obj);
    constexpr std::uint64_t kMaxBytes = kMaxValueBytes + 1;
    constexpr std::uint64_t kRoom = Elem<T>::kPrintWidth + 1;
    std::uint64_t cap = static_cast<std::uint64_t>(n) * Elem<T>::kPrintWidth + 1;
    if (cap > kMaxBytes) cap = kMaxBytes;
    auto* buf = static_cast<char*>(Tcl_Alloc(static_cast<AllocSize>(cap)));
    std::uint64_t pos = 0;
    // Small arrays print through Tcl_PrintDouble itself; the probe would
    // cost more than it saves.
    const bool shortest = kIsFloat<T> && n >= 8 && PrintsShortest();
    for (int i = 0; i < n; ++i) {
        if (cap - pos < kRoom) {
            if (cap == kMaxBytes) PanicValueTooLarge();
            cap = cap * 2 < kMaxBytes ? cap * 2 : kMaxBytes;
            buf = static_cast<char*>(Tcl_Realloc(buf, static_cast<AllocSize>(cap)));
        }
        char* end = PrintElem<T>(buf + pos, elems[i], shortest);
        *end = ' ';
        pos = static_cast<std::uint64_t>(end - buf) + 1;
    }
    // Drop the final separator.
    std::uint64_t len = pos > 0 ? pos - 1 : 0;
    if (len > kMaxValueBytes) PanicValueTooLarge();
    buf[len] = '\0';
    obj->bytes = static_cast<char*>(Tcl_Realloc(buf, static_cast<AllocSize>(len + 1)));
    obj->length = static_cast<Tcl_Size>(len);
    // The string is now the elements' own: an array that kept another
    // (kTextArrayType) and changed in place gets the plain record back.
    obj->typePtr = &kArrayType<T>;
}

// Makes obj an array of type T: by element conversion when it already is an
// array of another type, otherwise by parsing its string. Each element is
// one whole number after any amount of white space; white space after the
// last number is accepted, as Tcl's list reader accepts it (text read from
// a file ends with a newline), and white space alone gives an empty array.
// On failure obj is unchanged and no message is left.
template <class T>
int SetArrayFromAny(Tcl_Interp* /*interp*/, Tcl_Obj* obj) {
    const int converted = ConvertArray<T>(obj);
    if (converted == 0) return TCL_OK;
    if (converted < 0) return TCL_ERROR;

    Tcl_Size len;
    const char* str = Tcl_GetStringFromObj(obj, &len);
    // The parse ends at the last character that is not white space. The
    // readers may look past that end, into the white space and up to the
    // terminator, and stop there as they would at the end.
    const char* stop = str + len;
    while (stop > str && IsSpace(stop[-1])) --stop;

    // Numbers are usually separated by single spaces; other separators and
    // numbers that abut ("1-2") grow the block geometrically.
    std::int64_t cap = 1 + CountSpaces(str, stop);
    if (cap > MaxElems<T>()) cap = MaxElems<T>();
    void* payload = TryNewPayload<T>(cap, false);
    if (payload == nullptr) return TCL_ERROR;

    std::int64_t n = 0;
    T* data = PayloadData<T>(payload);
    const char* p = str;
    while (p < stop) {
        if (n == cap) {
            std::int64_t grown = cap + cap / 2 + 10;
            if (grown > MaxElems<T>()) grown = MaxElems<T>();
            void* bigger = nullptr;
            if (grown > n) {
                bigger = Tcl_AttemptRealloc(static_cast<char*>(payload),
                                            static_cast<AllocSize>(PayloadBytes<T>(grown)));
            }
            if (bigger == nullptr) {
                Tcl_Free(static_cast<char*>(payload));
                return TCL_ERROR;
            }
            payload = bigger;
            data = PayloadData<T>(payload);
            cap = grown;
        }
        T v;
        const char* end = ReadElem<T>(p, stop, &v);
        if (end == p) {
            Tcl_Free(static_cast<char*>(payload));
            return TCL_ERROR;
        }
        data[n++] = v;
        p = end;
    }
    PayloadCount(payload) = static_cast<std::int32_t>(n);
    InstallPayload<T>(obj, payload, true);
    return TCL_OK;
}

// As the string form of a small array writes it: integers in decimal,
// floating values as Tcl_PrintDouble does unless its text would not read
// back as the value.
template <class T>
char* PrintElemText(char* p, T v) {
    return PrintElem<T>(p, v, false);
}

int GetNanInf(Tcl_Obj* obj, double* out) {
    const char* s = Tcl_GetString(obj);
    auto is = [s](const char* word) {
        for (int i = 0; i < 3; ++i) {
            if (std::tolower(static_cast<unsigned char>(s[i])) != word[i]) return false;
        }
        return true;
    };
    // A string shorter than three characters stops at its terminator,
    // which matches no letter, so no byte after it is read.
    if (is("nan")) {
        *out = std::numeric_limits<double>::quiet_NaN();
        return 0;
    }
    if (is("inf")) {
        *out = std::numeric_limits<double>::infinity();
        return 0;
    }
    return 1;
}

#define NVEC_INSTANTIATE(T)                         \
    template void UpdateStringOfArray<T>(Tcl_Obj*); \
    template char* PrintElemText<T>(char*, T);      \
    template int SetArrayFromAny<T>(Tcl_Interp*, Tcl_Obj*);
NVEC_FOR_EACH_ELEM_TYPE(NVEC_INSTANTIATE)
#undef NVEC_INSTANTIATE

}  // namespace nvec
