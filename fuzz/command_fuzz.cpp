// Fuzzer of the nvec command and the C interface. The input is read as a
// short program: a memory mode, then up to kMaxOps operations, each one of
//   - an nvec subcommand (all forty, plus abbreviations and unknown words)
//     whose words follow that subcommand's pattern most of the time and
//     are anything at all otherwise;
//   - a call of the C interface (the five functions of a type, IsNvec,
//     GetTypeName) on a value of the program;
//   - a change of a value's representation by Tcl itself (list, integer,
//     double, byte array, string, duplicate, sharing);
//   - a script (coroutines suspended inside foreach, nested loops, loops
//     whose body changes or drops the array).
// Values live in eight slots; the scripts see them as the global variables
// a0 ... a7. Arrays, indices, sizes, options and numbers are drawn from the
// input, sizes kept small but for the limit cases, and attempting
// allocations beyond 8 MiB fail (see tcl_alloc.cpp), so gigabyte requests
// take the refusal paths.
//
// After every operation each array in a slot is read over its whole count
// (AddressSanitizer checks that the count lies within its block); at the
// end each array prints and parses back to the same elements. Crashes,
// leaks, out-of-bounds accesses and undefined behaviour are reported by
// the sanitizers. One interpreter serves the whole process; every input
// starts from cleared slots, variables, coroutines and procedures.

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
#include "harness.h"
#include "nvec.h"

namespace {

constexpr int kSlots = 8;
constexpr int kMaxOps = 24;
constexpr int kMaxWords = 12;
// Loops and scripts of one input run at most this many Tcl commands, and
// for at most this many seconds.
constexpr int kCommandBudget = 20000;
constexpr int kSecondsBudget = 2;
// Scripts and foreach see only values this small (elements of an array,
// characters of another value): a loop nested in a loop stays short.
constexpr int kScriptElements = 256;
constexpr int kScriptChars = 4096;

// ---- input ----

class Reader {
   public:
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    bool Empty() const { return n_ == 0; }
    std::uint8_t Byte() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    std::uint32_t U32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
        return v;
    }
    std::uint64_t U64() { return std::uint64_t{U32()} << 32 | U32(); }
    // Up to `max` raw bytes, the count taken from the input first.
    std::string Bytes(std::size_t max) {
        std::size_t k = std::min<std::size_t>(Byte() % (max + 1), n_);
        std::string s(reinterpret_cast<const char*>(p_), k);
        p_ += k;
        n_ -= k;
        return s;
    }
    // Fills `bytes` from the input, zeros once it is used up.
    void Fill(void* bytes, std::size_t count) {
        auto* out = static_cast<std::uint8_t*>(bytes);
        for (std::size_t i = 0; i < count; ++i) out[i] = Byte();
    }
    template <std::size_t N>
    const char* Pick(const char* const (&table)[N]) {
        return table[Byte() % N];
    }

   private:
    const std::uint8_t* p_;
    std::size_t n_;
};

// ---- the C interface by element type ----

using fuzz::Api;

const char* const kTypeNames[] = {"chararray",     "shortarray", "intarray",   "longarray",
                                  "longlongarray", "floatarray", "doublearray"};

// Calls f(E{}) for type number t (0..6, the canonical order).
template <class F>
decltype(auto) WithType(int t, F&& f) {
    switch (t) {
        case 0:
            return f(static_cast<unsigned char>(0));
        case 1:
            return f(static_cast<short>(0));
        case 2:
            return f(0);
        case 3:
            return f(0L);
        case 4:
            return f(0LL);
        case 5:
            return f(0.0f);
        default:
            return f(0.0);
    }
}

// The type number of an array value, or -1.
int TypeOf(Tcl_Obj* obj) {
    if (!IsNvec(obj)) return -1;
    const char* name = GetTypeName(obj);
    for (int t = 0; t < 7; ++t) {
        if (std::strcmp(name, kTypeNames[t]) == 0) return t;
    }
    fuzz::Finding("IsNvec is 1 for type \"%s\"", name);
}

// The element count of an array value (read through its own type's getter,
// which converts nothing), or -1.
int LengthOf(Tcl_Obj* obj) {
    int t = TypeOf(obj);
    if (t < 0) return -1;
    return WithType(t, [obj]<class E>(E) {
        int n = -1;
        Api<E>::Get(obj, &n);
        return n;
    });
}

// ---- words ----

Tcl_Obj* Str(const char* s) { return Tcl_NewStringObj(s, -1); }
Tcl_Obj* Str(const std::string& s) {
    return Tcl_NewStringObj(s.data(), static_cast<int>(s.size()));
}

enum class Kind {
    Obj,      // a slot's value, a fresh array, or anything
    Type,     // a type name, mostly valid
    Size,     // a size: small, or a limit case
    Index,    // an index word: integers, end forms, junk
    Int,      // an integer argument
    Double,   // a floating argument, with the special words
    Value,    // Int or Double
    List,     // a list of numbers (string or array)
    List3,    // three numbers
    List9,    // nine numbers
    Counts,   // grid node counts
    Axes,     // grid axes: a list of increasing lists
    Binary,   // raw bytes
    Perm,     // a permutation (or near one) of the first array's positions
    Ids,      // an intarray of identifiers for renumber
    Script,   // a foreach body
    VarName,  // a foreach variable
    Any,
};

const char* const kBadTypes[] = {"",        "int",  "intarrayx",    "Intarray",
                                 "-values", "list", "doublearray ", "floatarra"};
const char* const kHugeSizes[] = {
    "2147483647", "2147483648", "-1",        "-2147483648", "600000000", "536870912", "1073741824",
    "268435456",  "4294967296", "100000000", "1e3",         "0x10",      " 7",        "abc",
    "",           "12 ",        "1000000",   "2097152",     "-0"};
const char* const kIndexWords[] = {"end",
                                   "end-1",
                                   "end-0",
                                   "end-2",
                                   "end-100",
                                   "end-2147483648",
                                   "end-99999999999999",
                                   "end+1",
                                   "endx",
                                   "end-",
                                   "end-abc",
                                   "end--3",
                                   "end-+3",
                                   "2147483647",
                                   "-2147483648",
                                   "0x2",
                                   " 1",
                                   "1 ",
                                   "",
                                   "abc",
                                   "1.0",
                                   "end-2147483647",
                                   "-1"};
const char* const kIntWords[] = {"2147483647",
                                 "-2147483648",
                                 "2147483648",
                                 "-2147483649",
                                 "9223372036854775807",
                                 "1e2",
                                 "0x7fffffff",
                                 "abc",
                                 "",
                                 "3.5",
                                 "0"};
const char* const kDoubleWords[] = {"0",
                                    "-0.0",
                                    "nan",
                                    "NaN",
                                    "-nan",
                                    "inf",
                                    "-inf",
                                    "Inf",
                                    "1e308",
                                    "-1e308",
                                    "1.7976931348623157e308",
                                    "4.9e-324",
                                    "2147483647.5",
                                    "-2147483648.5",
                                    "2147483648",
                                    "9.3e18",
                                    "-9.3e18",
                                    "3.4028235e38",
                                    "3.5e38",
                                    "1e-46",
                                    "0.1",
                                    "1e39",
                                    "nanx",
                                    "info",
                                    "abc",
                                    "",
                                    "1e400",
                                    "-2147483649",
                                    "9223372036854775807",
                                    "0x1p-1074"};
const char* const kListWords[] = {"",   "1 2 abc", "{1 2} {3}",    "1  2",    " 1",
                                  "1 ", "1,2",     "0x10 010",     "1\t2\n3", "nan inf -inf",
                                  "{}", "\"1 2\"", "1e400 -1e400", "+1 -1"};
const char* const kBadCounts[] = {"65536 65536",
                                  "2 2147483647",
                                  "100000 100000 100000",
                                  "1000 1000 1000",
                                  "2 2 2 2",
                                  "",
                                  "2 x",
                                  "3 3 -1",
                                  "46341 46341",
                                  "2147483647",
                                  "1.5 2",
                                  "200 200 200"};
const char* const kBadAxes[] = {
    "",        "{}",      "{1 2} {}", "{1 2} {2 1}", "a b",        "{1 2} {1 2} {1 2} {1 2}",
    "{nan 1}", "{1 nan}", "{1 1}",    "{0 1} x",     "{1e39 2e39}"};
const char* const kVarNames[] = {"x", "a0",          "a1",    "::x", "arr(1)",
                                 "",  "::nosuch::v", "a0(k)", "y",   "k"};
const char* const kBodies[] = {
    "",
    "break",
    "continue",
    "error boom",
    "return -code 6",
    "return",
    "set x",
    "incr k",
    "nvec incr $a0",
    "nvec resize $a0 0",
    "nvec resize -preserve $a0 3",
    "nvec remove $a0 0",
    "nvec insert $a0 0 $a0",
    "nvec set $a0 {}",
    "nvec set $a0 -binary abcdefgh",
    "llength $a0",
    "string length $a0",
    "unset a0",
    "set a0 7",
    "set a0 [nvec new intarray 3]",
    "nvec sort $a0",
    "nvec reverse $a0",
    "yield $x",
    "nvec foreach y $a0 {nvec remove $a0 end}",
    "nvec foreach y $a1 break",
    "nvec get $a0 end",
    "nvec get $a0 $x",
    "expr {$x + 1}",
    "if {$x > 2} break",
    "nvec foreach x $a0 {}",
    "lappend a0 1",
    "append a0 { 1}",
    "nvec set $a0 0 $x",
    "nvec set $a0 $a0",
    "nvec concat $a0 $a0",
    "nvec permute $a0 {0}",
    "rename co0 {}",
};
const char* const kScripts[] = {
    "coroutine co0 nvec foreach x $a0 {yield $x}",
    "coroutine co1 nvec foreach a0 $a0 {yield [nvec resize $a0 0]}",
    "coroutine co2 apply {{} {nvec foreach x $::a0 {yield $x}; return done}}",
    "coroutine co0 nvec foreach x $a0 {nvec foreach y $a1 {yield $y}}",
    "co0",
    "co1",
    "co2",
    "co0; co0; co0",
    "rename co0 {}",
    "rename co1 {}",
    "catch {nvec foreach x $a0 {error e}} m",
    "catch {nvec foreach x $a0 {nvec foreach y $a1 {error e}}} m",
    "proc p {v} {nvec foreach x $v {return [expr {$x}]}}; p $a0",
    "set a1 $a0; nvec foreach x $a0 {nvec set $a1 0 1}",
    "lsort $a0",
    "lindex $a0 0",
    "binary scan $a0 c* v",
    "nvec foreach x $a0 {nvec foreach y $a0 {incr k}}",
    "nvec foreach a0 $a0 {nvec foreach a0 $a0 {}}",
};
const char* const kSubcommandWords[] = {"",  "re", "s",  "new_",  "lengthx", "LENGTH",
                                        "n", "le", "ty", "get_b", "replace_"};

const char* const kSubcommands[] = {
    "length",
    "type",
    "incr",
    "scale",
    "translate",
    "rotate",
    "new",
    "new_from_to",
    "new_n_from_increment",
    "new_structured_connectivities",
    "new_structured_coordinates",
    "clone",
    "set",
    "get",
    "interleave",
    "deinterleave",
    "range",
    "concat",
    "search",
    "sort",
    "reverse",
    "sum",
    "minimum",
    "maximum",
    "insert",
    "remove",
    "replace",
    "resize",
    "intersection",
    "union",
    "substraction",
    "renumber",
    "snap",
    "get_binary",
    "vector_sum",
    "foreach",
    "replace_value",
    "swap",
    "permute",
    "extract",
};
constexpr int kNumSubcommands = sizeof kSubcommands / sizeof kSubcommands[0];
static_assert(kNumSubcommands == 40);

// Word patterns, one string per form, in the order of kSubcommands. Codes:
// O obj, T type, Z size, I index, N int, D double, V value, L list, 3 and 9
// lists of that many numbers, C counts, A axes, B bytes, P permutation,
// R identifiers, X script, W variable; option words v -values, b -binary,
// s -sorted, u -unique, x -index, p -preserve; S "-start <int>", Y "-type
// <type>", M "-dim <int>"; a code followed by ? is optional; * adds up to
// three more objs.
const char* const kPatterns[kNumSubcommands] = {
    "O",    "O",    "OD?I?",      "ODI?", "O3",    "O9",   "TZV?|TvL|TbB", "TNN",  "TZDD",   "CN?",
    "A",    "O",    "OL|OIL|ObB", "OI",   "ON",    "ON",   "OII",          "OO*",  "s?S?OV", "u?O",
    "ON?",  "O",    "Ox?",        "Ox?",  "OIO",   "OII?", "OIIO",         "p?OZ", "s?OO",   "s?OO",
    "s?OO", "ORR?", "ODDIN",      "O",    "Y?OO*", "WOX",  "OVV",          "OII",  "OP",     "OPM?",
};

class Program {
   public:
    Program(Tcl_Interp* interp, Reader* in) : interp_(interp), in_(*in) {}
    ~Program() { Clear(); }

    void Run() {
        for (int op = 0; op < kMaxOps && !in_.Empty(); ++op) {
            std::uint8_t code = in_.Byte();
            if (code < 150) {
                Subcommand();
            } else if (code < 190) {
                CInterface();
            } else if (code < 215) {
                Shimmer();
            } else if (code < 240) {
                Script(in_.Pick(kScripts));
            } else {
                Store(in_.Byte(),
                      Word(static_cast<Kind>(in_.Byte() % static_cast<int>(Kind::Any))));
            }
            CheckSlots();
        }
        // The check parses, which must not meet the simulated shortage.
        fuzz::FailAttemptNumber(0);
        fuzz::SetAttemptLimit(fuzz::kDefaultAttemptLimit);
        for (Tcl_Obj* obj : slots_) {
            if (obj != nullptr) CheckRoundTrip(obj);
        }
    }

   private:
    // ---- slots ----

    void Store(std::uint8_t where, Tcl_Obj* obj) {
        Tcl_Obj*& slot = slots_[where % kSlots];
        Tcl_IncrRefCount(obj);
        if (slot != nullptr) Tcl_DecrRefCount(slot);
        slot = obj;
    }

    Tcl_Obj* SlotValue(std::uint8_t where) {
        Tcl_Obj* obj = slots_[where % kSlots];
        return obj != nullptr ? obj : Tcl_NewObj();
    }

    void Clear() {
        for (Tcl_Obj*& obj : slots_) {
            if (obj != nullptr) Tcl_DecrRefCount(obj);
            obj = nullptr;
        }
    }

    // Whether a script may loop over obj without the input becoming slow.
    static bool SmallEnough(Tcl_Obj* obj) {
        int n = LengthOf(obj);
        if (n >= 0) return n <= kScriptElements;
        int len;
        Tcl_GetStringFromObj(obj, &len);
        return len <= kScriptChars;
    }

    // The slots as the variables a0 ... a7 (unset for an empty slot and
    // for values too large to loop over).
    void ExportSlots() {
        for (int i = 0; i < kSlots; ++i) {
            std::string name = "a" + std::to_string(i);
            if (slots_[i] != nullptr && SmallEnough(slots_[i])) {
                Tcl_SetVar2Ex(interp_, name.c_str(), nullptr, slots_[i], TCL_GLOBAL_ONLY);
            } else {
                Tcl_UnsetVar(interp_, name.c_str(), TCL_GLOBAL_ONLY);
            }
        }
    }

    // The variables back into the slots, then unset, so that the slots
    // hold the only references again (the C setters need unshared values).
    void ImportSlots() {
        for (int i = 0; i < kSlots; ++i) {
            std::string name = "a" + std::to_string(i);
            Tcl_Obj* value = Tcl_GetVar2Ex(interp_, name.c_str(), nullptr, TCL_GLOBAL_ONLY);
            if (value != nullptr) Store(static_cast<std::uint8_t>(i), value);
            Tcl_UnsetVar(interp_, name.c_str(), TCL_GLOBAL_ONLY);
        }
    }

    // ---- word generation ----

    template <class E>
    Tcl_Obj* RawArray(int count) {
        std::vector<E> v(static_cast<std::size_t>(count));
        in_.Fill(v.data(), v.size() * sizeof(E));
        return Api<E>::New(v.data(), count);
    }

    // An increasing array without NaN, the operand the set operations and
    // the sorted search want.
    template <class E>
    Tcl_Obj* SortedArray(int count) {
        std::vector<E> v;
        for (int i = 0; i < count; ++i) {
            E e = static_cast<E>(in_.Byte() % 32);
            if (in_.Byte() < 16) in_.Fill(&e, sizeof e);
            if constexpr (std::is_floating_point_v<E>) {
                if (std::isnan(e)) continue;
            }
            v.push_back(e);
        }
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
        return Api<E>::New(v.data(), static_cast<int>(v.size()));
    }

    Tcl_Obj* FreshArray() {
        int type = in_.Byte() % 7;
        std::uint8_t mode = in_.Byte();
        return WithType(type, [&]<class E>(E) -> Tcl_Obj* {
            if (mode < 128) return RawArray<E>(mode % 17);
            if (mode < 192) return SortedArray<E>(mode % 17);
            if (mode < 240) return Api<E>::New(nullptr, (mode % 16) * 37);
            return Api<E>::New(nullptr, 3000 + in_.Byte() * 16);
        });
    }

    Tcl_Obj* SmallInt(int bias) {
        int v = static_cast<int>(in_.Byte() % 24) - bias;
        return in_.Byte() & 1 ? Tcl_NewIntObj(v) : Str(std::to_string(v));
    }

    Tcl_Obj* NumberList(int count, bool asArray) {
        if (asArray) {
            int type = in_.Byte() % 7;
            return WithType(type, [&]<class E>(E) {
                std::vector<E> v;
                for (int i = 0; i < count; ++i) v.push_back(static_cast<E>(in_.Byte() % 8));
                return Api<E>::New(v.data(), count);
            });
        }
        std::string s;
        for (int i = 0; i < count; ++i) {
            if (i > 0) s += ' ';
            Tcl_Obj* w = Word(Kind::Value);
            Tcl_IncrRefCount(w);
            s += Tcl_GetString(w);
            Tcl_DecrRefCount(w);
        }
        return Str(s);
    }

    Tcl_Obj* Word(Kind kind) {
        std::uint8_t b = in_.Byte();
        switch (kind) {
            case Kind::Obj:
                if (b < 112) return SlotValue(b);
                if (b < 232) return FreshArray();
                return Word(Kind::Any);
            case Kind::Type:
                if (b < 232) return Str(kTypeNames[b % 7]);
                return Str(in_.Pick(kBadTypes));
            case Kind::Size:
                if (b < 200) return b & 1 ? Tcl_NewIntObj(b % 40) : Str(std::to_string(b % 40));
                if (b < 224) return Tcl_NewIntObj(static_cast<int>(in_.U32() % 5000));
                return Str(in_.Pick(kHugeSizes));
            case Kind::Index:
                if (b < 150) return SmallInt(3);
                if (b < 232) return Str(in_.Pick(kIndexWords));
                return Word(Kind::Any);
            case Kind::Int:
                if (b < 150) return SmallInt(5);
                if (b < 190) return Tcl_NewIntObj(static_cast<int>(in_.U32()));
                if (b < 240) return Str(in_.Pick(kIntWords));
                return Word(Kind::Any);
            case Kind::Double: {
                if (b < 100)
                    return Tcl_NewDoubleObj((static_cast<int>(in_.Byte() % 48) - 24) / 4.0);
                if (b < 170) {
                    std::uint64_t bits = in_.U64();
                    double d;
                    std::memcpy(&d, &bits, sizeof d);
                    if (std::isnan(d)) return Str("NaN");
                    return Tcl_NewDoubleObj(d);
                }
                if (b < 240) return Str(in_.Pick(kDoubleWords));
                return Word(Kind::Any);
            }
            case Kind::Value:
                return Word(b & 1 ? Kind::Int : Kind::Double);
            case Kind::List:
                if (b < 64) return NumberList(b % 9, false);
                if (b < 128) return FreshArray();
                if (b < 176) return SlotValue(b);
                if (b < 232) return Str(in_.Pick(kListWords));
                return Word(Kind::Any);
            case Kind::List3:
            case Kind::List9: {
                int count = kind == Kind::List3 ? 3 : 9;
                if (b < 232) return NumberList(count - (b % 16 == 0), b & 1);
                return Word(Kind::List);
            }
            case Kind::Counts: {
                if (b >= 224) return Str(in_.Pick(kBadCounts));
                std::string s;
                for (int d = 0; d <= b % 3; ++d) {
                    if (d > 0) s += ' ';
                    s += std::to_string(in_.Byte() % 9);
                }
                return Str(s);
            }
            case Kind::Axes: {
                if (b >= 224) return Str(in_.Pick(kBadAxes));
                std::string s;
                for (int d = 0; d <= b % 3; ++d) {
                    s += d > 0 ? " {" : "{";
                    int k = 1 + in_.Byte() % 6;
                    double x = static_cast<int>(in_.Byte() % 16) - 8;
                    for (int i = 0; i < k; ++i) {
                        if (i > 0) s += ' ';
                        char buf[TCL_DOUBLE_SPACE];
                        Tcl_PrintDouble(nullptr, x, buf);
                        s += buf;
                        x += (in_.Byte() % 9) / 2.0;
                    }
                    s += '}';
                }
                return Str(s);
            }
            case Kind::Binary: {
                if (b >= 232) return SlotValue(b);
                std::string bytes = in_.Bytes(48);
                if (b & 1) {
                    return Tcl_NewByteArrayObj(reinterpret_cast<const unsigned char*>(bytes.data()),
                                               static_cast<int>(bytes.size()));
                }
                return Str(bytes);
            }
            case Kind::Perm:
                if (b < 200) return Permutation(b);
                return Word(Kind::List);
            case Kind::Ids: {
                if (b >= 216) return Word(Kind::Obj);
                int count = b % 12;
                std::vector<int> ids;
                for (int i = 0; i < count; ++i) {
                    std::uint8_t r = in_.Byte();
                    ids.push_back(r < 200   ? r % 24
                                  : r < 250 ? static_cast<int>(in_.U32() % (1 << 20))
                                            : -1);
                }
                return Tcl_NewIntArrayObj(ids.data(), count);
            }
            case Kind::Script:
                return Str(kBodies[b % (sizeof kBodies / sizeof kBodies[0])]);
            case Kind::VarName:
                return Str(kVarNames[b % (sizeof kVarNames / sizeof kVarNames[0])]);
            case Kind::Any:
            default:
                switch (b % 10) {
                    case 0:
                        return Str(in_.Bytes(16));
                    case 1:
                        return Str(in_.Pick(kHugeSizes));
                    case 2:
                        return Str(in_.Pick(kIndexWords));
                    case 3:
                        return Str(in_.Pick(kDoubleWords));
                    case 4:
                        return Str(in_.Pick(kListWords));
                    case 5:
                        return Str(in_.Pick(kOptionWords));
                    case 6:
                        return Str(in_.Pick(kTypeNames));
                    case 7:
                        return FreshArray();
                    default:
                        return SlotValue(in_.Byte());
                }
        }
    }

    // A permutation of the positions of the array word 2 of the command
    // being built, sometimes with one entry spoilt.
    Tcl_Obj* Permutation(std::uint8_t b) {
        int n = firstLength_;
        if (n < 0 || n > 4096) n = b % 8;
        std::vector<int> p(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) p[static_cast<std::size_t>(i)] = i;
        for (int i = n - 1; i > 0; --i) {
            std::swap(p[static_cast<std::size_t>(i)], p[in_.Byte() % static_cast<unsigned>(i + 1)]);
        }
        if (n > 0 && (b & 3) == 0) {
            p[in_.Byte() % static_cast<unsigned>(n)] = static_cast<int>(in_.U32() % 16) - 4;
        }
        if (n > 1 && (b & 3) == 1) p.resize(static_cast<std::size_t>(n / 2));
        return Tcl_NewIntArrayObj(p.data(), static_cast<int>(p.size()));
    }

    static constexpr const char* kOptionWords[] = {"-values", "-binary", "-sorted",
                                                   "-unique", "-index",  "-preserve",
                                                   "-type",   "-dim",    "-start"};

    // An option word, now and then something else in its place.
    Tcl_Obj* Option(const char* word) {
        if (in_.Byte() < 244) return Str(word);
        return Word(Kind::Any);
    }

    // Appends the words of `pattern` (one form) to words.
    void Expand(const char* pattern, std::vector<Tcl_Obj*>* words) {
        for (const char* c = pattern; *c != '\0' && *c != '|'; ++c) {
            if (c[1] == '?') {
                if (in_.Byte() & 1) {
                    ++c;
                    continue;
                }
            }
            switch (*c) {
                case '?':
                    break;
                case '*':
                    for (int k = in_.Byte() % 4; k > 0; --k) words->push_back(Word(Kind::Obj));
                    break;
                case 'O':
                    words->push_back(Word(Kind::Obj));
                    if (firstLength_ == -2) firstLength_ = LengthOf(words->back());
                    break;
                case 'T':
                    words->push_back(Word(Kind::Type));
                    break;
                case 'Z':
                    words->push_back(Word(Kind::Size));
                    break;
                case 'I':
                    words->push_back(Word(Kind::Index));
                    break;
                case 'N':
                    words->push_back(Word(Kind::Int));
                    break;
                case 'D':
                    words->push_back(Word(Kind::Double));
                    break;
                case 'V':
                    words->push_back(Word(Kind::Value));
                    break;
                case 'L':
                    words->push_back(Word(Kind::List));
                    break;
                case '3':
                    words->push_back(Word(Kind::List3));
                    break;
                case '9':
                    words->push_back(Word(Kind::List9));
                    break;
                case 'C':
                    words->push_back(Word(Kind::Counts));
                    break;
                case 'A':
                    words->push_back(Word(Kind::Axes));
                    break;
                case 'B':
                    words->push_back(Word(Kind::Binary));
                    break;
                case 'P':
                    words->push_back(Word(Kind::Perm));
                    break;
                case 'R':
                    words->push_back(Word(Kind::Ids));
                    break;
                case 'X':
                    words->push_back(Word(Kind::Script));
                    break;
                case 'W':
                    words->push_back(Word(Kind::VarName));
                    break;
                case 'v':
                    words->push_back(Option("-values"));
                    break;
                case 'b':
                    words->push_back(Option("-binary"));
                    break;
                case 's':
                    words->push_back(Option("-sorted"));
                    break;
                case 'u':
                    words->push_back(Option("-unique"));
                    break;
                case 'x':
                    words->push_back(Option("-index"));
                    break;
                case 'p':
                    words->push_back(Option("-preserve"));
                    break;
                case 'S':
                    words->push_back(Option("-start"));
                    words->push_back(Word(Kind::Int));
                    break;
                case 'Y':
                    words->push_back(Option("-type"));
                    words->push_back(Word(Kind::Type));
                    break;
                case 'M':
                    words->push_back(Option("-dim"));
                    words->push_back(Word(Kind::Int));
                    break;
                default:
                    break;
            }
        }
    }

    // The form number `k` of a pattern (forms are separated by '|').
    static const char* Form(const char* pattern, int k) {
        int forms = 1 + static_cast<int>(std::count(pattern, pattern + std::strlen(pattern), '|'));
        k %= forms;
        const char* p = pattern;
        while (k-- > 0) p = std::strchr(p, '|') + 1;
        return p;
    }

    // Whether running the command could make the harness, not nvec, the
    // slow or huge part: long foreach loops, renumber tables of gigabytes.
    static bool TooCostly(int sub, const std::vector<Tcl_Obj*>& words) {
        if (sub == 35 && words.size() == 5 && LengthOf(words[3]) > kScriptElements) return true;
        if (sub == 31) {
            for (std::size_t i = 3; i < words.size(); ++i) {
                if (TypeOf(words[i]) != 2) continue;
                int n = -1;
                const int* ids = Tcl_GetIntArrayFromObj(words[i], &n);
                for (int k = 0; k < n; ++k) {
                    if (ids[k] > (1 << 22)) return true;
                }
            }
        }
        return false;
    }

    void Subcommand() {
        std::uint8_t which = in_.Byte();
        int sub = which % (kNumSubcommands + 1);
        std::vector<Tcl_Obj*> words;
        words.push_back(Str("nvec"));
        words.push_back(sub < kNumSubcommands ? Str(kSubcommands[sub])
                                              : Str(in_.Pick(kSubcommandWords)));
        firstLength_ = -2;
        std::uint8_t shape = in_.Byte();
        if (shape < 232 && sub < kNumSubcommands) {
            Expand(Form(kPatterns[sub], in_.Byte()), &words);
        } else {
            for (int k = shape % 7; k > 0; --k) words.push_back(Word(Kind::Any));
        }
        if (words.size() > kMaxWords) words.resize(kMaxWords);
        for (Tcl_Obj* w : words) Tcl_IncrRefCount(w);
        if (!TooCostly(sub, words)) {
            if (sub == 35) ExportSlots();
            int code = Tcl_EvalObjv(interp_, static_cast<int>(words.size()), words.data(), 0);
            if (Tracing()) Trace(words, code);
            if (sub == 35) ImportSlots();
            std::uint8_t where = in_.Byte();
            if (code == TCL_OK && where < 192) Store(where, Tcl_GetObjResult(interp_));
            Tcl_ResetResult(interp_);
        }
        for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
    }

    // NVEC_FUZZ_TRACE=1 in the environment prints every command and its
    // outcome while an input is replayed (command_fuzz FILE).
    static bool Tracing() {
        static const bool on = std::getenv("NVEC_FUZZ_TRACE") != nullptr;
        return on;
    }

    void Trace(const std::vector<Tcl_Obj*>& words, int code) {
        std::string line;
        for (Tcl_Obj* w : words) {
            int len;
            const char* s = Tcl_GetStringFromObj(w, &len);
            line += line.empty() ? "" : " ";
            line += '{';
            line.append(s, static_cast<std::size_t>(std::min(len, 60)));
            line += len > 60 ? "...}" : "}";
        }
        const char* result = Tcl_GetString(Tcl_GetObjResult(interp_));
        std::fprintf(stderr, "%s -> %s %.80s\n", line.c_str(), code == TCL_OK ? "ok" : "error",
                     result);
    }

    void Script(const char* script) {
        ExportSlots();
        int code = Tcl_EvalEx(interp_, script, -1, TCL_EVAL_GLOBAL);
        if (Tracing()) {
            std::fprintf(stderr, "script {%s} -> %s %.80s\n", script,
                         code == TCL_OK ? "ok" : "error", Tcl_GetString(Tcl_GetObjResult(interp_)));
        }
        ImportSlots();
        Tcl_ResetResult(interp_);
    }

    // One function of the C interface on a slot's value.
    void CInterface() {
        std::uint8_t fn = in_.Byte();
        std::uint8_t where = in_.Byte();
        int type = in_.Byte() % 7;
        Tcl_Obj* obj = slots_[where % kSlots];
        WithType(type, [&]<class E>(E) {
            switch (fn % 7) {
                case 0: {  // Tcl_New<T>ArrayObj, with values or without
                    std::uint8_t m = in_.Byte();
                    if (m < 200) {
                        Store(where, RawArray<E>(m % 17));
                    } else {
                        Store(where,
                              Api<E>::New(nullptr, m < 250 ? m - 200 : -static_cast<int>(m)));
                    }
                    break;
                }
                case 1: {  // Tcl_Set<T>ArrayObj on an unshared value
                    if (obj == nullptr || Tcl_IsShared(obj)) break;
                    std::uint8_t m = in_.Byte();
                    std::vector<E> v(m % 17);
                    in_.Fill(v.data(), v.size() * sizeof(E));
                    Api<E>::Set(obj, m < 240 ? v.data() : nullptr,
                                m < 250 ? static_cast<int>(v.size()) : -1);
                    break;
                }
                case 2: {  // Tcl_Get<T>ArrayFromObj, converting in place
                    if (obj == nullptr) break;
                    int n = -1;
                    const E* e = Api<E>::Get(obj, &n);
                    if (n < 0 || (n > 0) != (e != nullptr)) {
                        fuzz::Finding("Tcl_Get%sFromObj: count %d, pointer %p", Api<E>::Name(), n,
                                      static_cast<const void*>(e));
                    }
                    Touch(e, n);
                    break;
                }
                case 3: {  // Tcl_Set<T>ArrayLength, then the whole length written
                    if (obj == nullptr || Tcl_IsShared(obj)) break;
                    std::uint8_t m = in_.Byte();
                    static constexpr int kLengths[] = {
                        INT32_MAX, INT32_MAX / 2, 600000000, 268435456, -1, INT32_MIN, 1 << 20};
                    int length = m < 224 ? m % 40 : kLengths[m % 7];
                    E* e = Api<E>::SetLength(obj, length);
                    if (e != nullptr) {
                        if (LengthOf(obj) != length) {
                            fuzz::Finding("Tcl_Set%sLength(%d) left %d elements", Api<E>::Name(),
                                          length, LengthOf(obj));
                        }
                        std::memset(static_cast<void*>(e), 0x5a,
                                    static_cast<std::size_t>(length) * sizeof(E));
                    }
                    break;
                }
                case 4: {  // Tcl_Set<T>ArrayLengthDirect within the block
                    int n = obj != nullptr ? LengthOf(obj) : -1;
                    if (n < 0) break;
                    Api<E>::SetLengthDirect(obj, n == 0 ? 0 : in_.Byte() % (n + 1));
                    break;
                }
                case 5:  // the direct setter on values it must ignore
                    Api<E>::SetLengthDirect(obj, -1);
                    if (obj != nullptr && TypeOf(obj) < 0) Api<E>::SetLengthDirect(obj, 3);
                    break;
                default: {  // the type queries
                    int is = IsNvec(obj);
                    const char* name = GetTypeName(obj);
                    if (is != (TypeOf(obj) >= 0) || name == nullptr) {
                        fuzz::Finding("IsNvec %d for type \"%s\"", is, name);
                    }
                    break;
                }
            }
        });
    }

    // Tcl itself changes a value's representation.
    void Shimmer() {
        std::uint8_t what = in_.Byte();
        std::uint8_t where = in_.Byte();
        Tcl_Obj* obj = slots_[where % kSlots];
        if (obj == nullptr) return;
        switch (what % 9) {
            case 0: {
                int n;
                Tcl_ListObjLength(nullptr, obj, &n);
                break;
            }
            case 1: {
                int v;
                Tcl_GetIntFromObj(nullptr, obj, &v);
                break;
            }
            case 2: {
                double v;
                Tcl_GetDoubleFromObj(nullptr, obj, &v);
                break;
            }
            case 3:
                Tcl_GetString(obj);
                break;
            case 4:
                if (TypeOf(obj) >= 0) Tcl_InvalidateStringRep(obj);
                break;
            case 5:
                Store(in_.Byte(), Tcl_DuplicateObj(obj));
                break;
            case 6:
                Store(in_.Byte(), obj);
                break;
            case 7: {
                int n;
                Tcl_GetByteArrayFromObj(obj, &n);
                break;
            }
            default: {
                int n;
                const char* s = Tcl_GetStringFromObj(obj, &n);
                Store(where, Tcl_NewStringObj(s, n));
                break;
            }
        }
    }

    // Reads every element, so a count beyond the block is an overflow.
    template <class E>
    static void Touch(const E* e, int n) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(e);
        unsigned char sum = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) * sizeof(E); ++i) sum ^= bytes[i];
        volatile unsigned char sink = sum;
        (void)sink;
    }

    static void CheckSlot(Tcl_Obj* obj) {
        int t = TypeOf(obj);
        if (t < 0) return;
        WithType(t, [obj]<class E>(E) {
            int n = -1;
            const E* e = Api<E>::Get(obj, &n);
            if (n < 0) fuzz::Finding("%s with count %d", Api<E>::Name(), n);
            Touch(e, n);
        });
    }

    void CheckSlots() {
        for (Tcl_Obj* obj : slots_) {
            if (obj != nullptr) CheckSlot(obj);
        }
    }

    // The string form of the current elements parses back to them.
    static void CheckRoundTrip(Tcl_Obj* obj) {
        int t = TypeOf(obj);
        if (t < 0) return;
        WithType(t, [obj]<class E>(E) {
            Tcl_Obj* copy = Tcl_DuplicateObj(obj);
            Tcl_IncrRefCount(copy);
            Tcl_InvalidateStringRep(copy);
            int len;
            const char* s = Tcl_GetStringFromObj(copy, &len);
            Tcl_Obj* text = Tcl_NewStringObj(s, len);
            Tcl_IncrRefCount(text);
            int n = -1, m = -1;
            const E* a = Api<E>::Get(copy, &n);
            const E* b = Api<E>::Get(text, &m);
            if (std::strcmp(GetTypeName(text), Api<E>::Name()) != 0 || n != m) {
                fuzz::Finding("%s of %d elements prints as \"%.200s\", which reads as %d",
                              Api<E>::Name(), n, s, m);
            }
            for (int i = 0; i < n; ++i) {
                bool same;
                if constexpr (std::is_floating_point_v<E>) {
                    same = (std::isnan(a[i]) && std::isnan(b[i])) ||
                           std::memcmp(&a[i], &b[i], sizeof(E)) == 0;
                } else {
                    same = a[i] == b[i];
                }
                if (!same) {
                    fuzz::Finding("%s element %d (%.17g) reads back as %.17g from \"%.300s\"",
                                  Api<E>::Name(), i, static_cast<double>(a[i]),
                                  static_cast<double>(b[i]), s);
                }
            }
            Tcl_DecrRefCount(text);
            Tcl_DecrRefCount(copy);
        });
    }

    Tcl_Interp* interp_;
    Reader& in_;
    Tcl_Obj* slots_[kSlots] = {};
    int firstLength_ = -2;
};

const char* const kResetVars[] = {"a0", "a1", "a2", "a3", "a4",  "a5", "a6",        "a7",       "x",
                                  "y",  "k",  "m",  "v",  "arr", "",   "errorInfo", "errorCode"};

// Clears what scripts may leave behind and renews the command budget.
void Reset(Tcl_Interp* interp) {
    for (const char* name : {"co0", "co1", "co2", "p"}) Tcl_DeleteCommand(interp, name);
    for (const char* name : kResetVars) Tcl_UnsetVar(interp, name, TCL_GLOBAL_ONLY);
    Tcl_ResetResult(interp);
}

void Budget(Tcl_Interp* interp) {
    static bool enabled = false;
    if (!enabled) {
        Tcl_LimitTypeSet(interp, TCL_LIMIT_COMMANDS);
        Tcl_LimitTypeSet(interp, TCL_LIMIT_TIME);
        enabled = true;
    }
    Tcl_Time deadline;
    Tcl_GetTime(&deadline);
    deadline.sec += kSecondsBudget;
    Tcl_LimitSetTime(interp, &deadline);
    Tcl_LimitSetCommands(interp, 1 << 30);
    Tcl_EvalEx(interp, "info cmdcount", -1, TCL_EVAL_GLOBAL);
    int used = 0;
    Tcl_GetIntFromObj(nullptr, Tcl_GetObjResult(interp), &used);
    Tcl_LimitSetCommands(interp, used + kCommandBudget);
    Tcl_ResetResult(interp);
}

// One run of the input, from a clean interpreter state back to one.
void RunOnce(Tcl_Interp* interp, const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    // Memory mode: the normal limit, a failure of the n-th attempting
    // allocation, or a tiny limit.
    std::uint8_t mode = in.Byte();
    if (mode % 4 == 1) fuzz::FailAttemptNumber(1 + in.Byte() % 16);
    if (mode % 4 == 2) fuzz::SetAttemptLimit(std::uint64_t{in.Byte()} * 64);
    Budget(interp);
    {
        Program program(interp, &in);
        program.Run();
    }
    Reset(interp);
    fuzz::FailAttemptNumber(0);
    fuzz::SetAttemptLimit(fuzz::kDefaultAttemptLimit);
}

}  // namespace

// LeakSanitizer sees a lost block, but not a lost Tcl object: objects come
// from pools that stay reachable, and so does everything a lost object
// holds. A lost object shows as blocks of Tcl's allocator (its string, its
// payload) that stay allocated after the input has been undone. Tcl's own
// tables may grow on a first run, so an input that leaves blocks behind is
// run twice more; leaving blocks behind every time is a leak.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Tcl_Interp* interp = fuzz::Interp();
    std::int64_t before = fuzz::LiveBlocks();
    RunOnce(interp, data, size);
    std::int64_t left = fuzz::LiveBlocks() - before;
    for (int again = 0; again < 2 && left > 0; ++again) {
        before = fuzz::LiveBlocks();
        RunOnce(interp, data, size);
        left = fuzz::LiveBlocks() - before;
    }
    if (left > 0) {
        fuzz::Finding("%lld blocks of Tcl's allocator left behind by every run of this input",
                      static_cast<long long>(left));
    }
    return 0;
}
