// Fuzzer of the nvec command and the C interface. The input is a memory
// mode and a program of up to kMaxCalls calls, each read by one small
// grammar:
//   call  := command shape form word* store
//   command: one of the forty subcommands, a word that is none (a prefix,
//            junk), "capi" (the C interface, below), or a Tcl command that
//            changes a value's representation or runs a script;
//   shape:  mostly the words of one of the command's forms (kForms: one
//           letter per word kind), otherwise up to six words of any kind;
//   word:   one letter's kind, drawn from the input (kinds in Word());
//   store:  whether and in which of the variables a0 ... a7 an OK result
//           is kept; the variables are the program's values.
// "capi OP TYPE VAR ARG" runs a function of the C interface on a
// variable's value (new, set, get, the two length setters, the type
// queries). Attempting allocations beyond 128 KiB fail (tcl_alloc.cpp), so
// gigabyte requests take the refusal paths; the memory mode can also fail
// the n-th one or lower the limit.
// After every call each array value is read over its whole count (ASan
// checks the count against its block); at the end each prints and parses
// back to the same elements, and an input whose runs leave Tcl objects
// allocated is a leak. Crashes and sanitizer reports are findings too.
// NVEC_FUZZ_TRACE=1 in the environment prints each call of a replayed input.

#include <tcl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api.h"
#include "harness.h"
#include "nvec.h"
#include "oracle.h"

namespace {

using fuzz::Api;
constexpr int kMaxCalls = 24;
constexpr int kScriptElements = 256;  // longest array a foreach may loop over

const char* const kCommands[] = {
    "length", "type", "incr", "scale", "translate", "rotate", "new", "new_from_to",
    "new_n_from_increment", "new_structured_connectivities", "new_structured_coordinates", "clone",
    "set", "get", "interleave", "deinterleave", "range", "concat", "search", "sort", "reverse",
    "sum", "minimum", "maximum", "insert", "remove", "replace", "resize", "intersection", "union",
    "substraction", "renumber", "snap", "get_binary", "vector_sum", "foreach", "replace_value",
    "swap", "permute", "extract",
    // Not subcommands: the C interface, Tcl's representation changes, scripts;
    // then words of the nvec command: none, and the subcommands after the forty.
    "capi", "llength", "expr", "string", "lindex", "eval", "n", "lengthx", "where", "take",
    "assign", "argsort", "apply", "reduce", "histogram", "text", "byteswap"};
constexpr int kSubcommands = 40;
constexpr int kCommandCount = sizeof kCommands / sizeof kCommands[0];

// The forms of each command's words, '|' between forms: O array value, T
// type name, Z size, I index, N number, L list, 3 and 9 lists of that many
// numbers, B bytes, P permutation of the first array's positions, X script,
// W variable name, K a C interface operation, R an operator; a lower-case
// letter is an option word (kOptions; t, d, r and c bring the number after
// them, y a type); '?' makes the letter before it optional and '*' adds up
// to three arrays.
const char* const kForms[kCommandCount] = {
    "O",    "O",    "ON?I?", "ONI?", "O3",     "O9",         "TZN?|TvL|TbB",
    "TNN",  "TZNN", "LN?",   "L",    "O",      "OL|OIL|ObB", "OI",
    "ON",   "ON",   "OII",   "OO*",  "s?t?ON", "u?O",        "ON?",
    "O",    "Ox?",  "Ox?",   "OIO",  "OII?",   "OIIO",       "p?OZ",
    "s?OO", "s?OO", "s?OO",  "OLL?", "ONNIN",  "O",          "y?OO*",
    "WOX",  "ONN",  "OII",   "OP",   "OPd?",   "KTWB",       "O",
    "O",    "gO",   "OI",    "X",    "O",      "O",          "ORN",
    "OPd?|OLd?", "OPLd?|OLOd?|OIO", "O", "ORN|ORO|ORL", "ORd?r?", "ON?", "Oc?", "O"};
const char kOptionLetters[] = "vbstuxpydgrc";
const char* const kOptions[] = {"-values", "-binary", "-sorted", "-start", "-unique", "-index",
                                "-preserve", "-type", "-dim", "length", "-group", "-columns"};
const char kOperators[] = "==|!=|<|<=|>|>=|+|-|*|/|min|max|sum|=|mean";
// Words of every kind that the grammar does not make up ('|' between them):
// limits, index forms, number words, lists, junk.
const char kWords[] =
    "|end|end-1|end+1|end-2147483648|end--3|1+2|endx| 1|1 |-1|0x10|2147483647|-2147483648|"
    "2147483648|9223372036854775807|600000000|268435456|1073741824|1e3|abc|nan|-nan|inf|-Inf|"
    "1e308|4.9e-324|3.5e38|1e400|2147483647.5|-9.3e18|1 2 abc|{1 2} {3}|1  2|1\t2\n3 |"
    "nan inf -inf|1e400 -1e400|int|Intarray|65536 65536|2 2147483647|1000 1000 1000|2 2 2 2|"
    "3 3 -1|{1 2} {}|{nan 1}|{1 1}|{0 1} x|arr(1)|::nosuch::v|a0(k)";
// Scripts and foreach bodies ('|' between them): loops that change, drop
// or shimmer the array, coroutines suspended inside foreach.
const char kScripts[] =
    "|break|continue|error boom|return -code 6|incr k|nvec incr $a0|nvec resize $a0 0|"
    "nvec resize -preserve $a0 3|nvec remove $a0 0|nvec insert $a0 0 $a0|nvec set $a0 {}|"
    "nvec set $a0 -binary abcdefgh|llength $a0|unset a0|set a0 7|nvec sort $a0|yield $x|"
    "nvec foreach y $a0 {nvec remove $a0 end}|nvec get $a0 $x|if {$x > 2} break|lappend a0 1|"
    "nvec set $a0 0 $x|nvec concat $a0 $a0|rename co0 {}|"
    "coroutine co0 nvec foreach x $a0 {yield $x}|"
    "coroutine co1 nvec foreach a0 $a0 {yield [nvec resize $a0 0]}|"
    "coroutine co2 apply {{} {nvec foreach x $::a0 {yield $x}; return done}}|co0|co1; co1|co2|"
    "catch {nvec foreach x $a0 {nvec foreach y $a1 {error e}}} m|"
    "proc p {v} {nvec foreach x $v {return $x}}; p $a0|"
    "set a1 $a0; nvec foreach x $a0 {nvec set $a1 0 1}|nvec foreach a0 $a0 {nvec foreach a0 $a0 "
    "{}}";
const char* const kCapi[] = {"new", "set", "get", "setlength", "direct", "query"};

class Reader {
   public:
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    bool Empty() const { return n_ == 0; }
    std::uint8_t Byte() { return n_ > 0 ? (--n_, *p_++) : 0; }
    std::uint32_t U32() {
        return std::uint32_t{Byte()} << 24 | Byte() << 16 | Byte() << 8 | Byte();
    }
    std::string Bytes(std::size_t max) {  // a count, then that many bytes
        std::size_t k = std::min<std::size_t>(Byte() % (max + 1), n_);
        std::string s(reinterpret_cast<const char*>(p_), k);
        p_ += k;
        n_ -= k;
        return s;
    }
    std::string Pick(const char* fields) {  // one of the '|'-separated fields
        int k = Byte() % (1 + std::count(fields, fields + std::strlen(fields), '|'));
        while (k-- > 0) fields = std::strchr(fields, '|') + 1;
        return std::string(fields, std::strcspn(fields, "|"));
    }

   private:
    const std::uint8_t* p_;
    std::size_t n_;
};

Tcl_Obj* Str(const std::string& s) {
    return Tcl_NewStringObj(s.data(), static_cast<int>(s.size()));
}

int TypeOf(Tcl_Obj* obj) { return IsNvec(obj) ? fuzz::TypeNumber(GetTypeName(obj)) : -1; }
int LengthOf(Tcl_Obj* obj) {  // through the value's own type: converts nothing
    int t = TypeOf(obj);
    return t < 0 ? -1 : fuzz::WithType(t, [obj]<class E>(E) {
        int n;
        Api<E>::Get(obj, &n);
        return n;
    });
}
std::string Var(int k) { return "a" + std::to_string(k % 8); }

class Program {
   public:
    Program(Tcl_Interp* interp, Reader* in) : interp_(interp), in_(*in) {}

    void Run() {
        for (int call = 0; call < kMaxCalls && !in_.Empty(); ++call) {
            int command = in_.Byte() % kCommandCount;
            std::vector<Tcl_Obj*> words = {
                Str(command < kSubcommands || command >= 46 ? "nvec" : kCommands[command])};
            if (command < kSubcommands || command >= 46) words.push_back(Str(kCommands[command]));
            first_ = -2;
            if (in_.Byte() < 232) {
                Form(kForms[command], &words);
            } else {
                for (int k = in_.Byte() % 7; k > 0; --k) words.push_back(Word('?'));
            }
            for (Tcl_Obj* w : words) Tcl_IncrRefCount(w);
            int code = TCL_ERROR;
            if (!TooCostly(command, words)) {
                code = command == 45 && words.size() == 2
                           ? Tcl_EvalObjEx(interp_, words[1], TCL_EVAL_GLOBAL)
                           : Tcl_EvalObjv(interp_, static_cast<int>(words.size()), words.data(),
                                          TCL_EVAL_GLOBAL);
            }
            if (std::getenv("NVEC_FUZZ_TRACE") != nullptr) Trace(words, code);
            std::uint8_t store = in_.Byte();
            if (code == TCL_OK && store < 192)
                Tcl_SetVar2Ex(interp_, Var(store).c_str(), nullptr, Tcl_GetObjResult(interp_),
                              TCL_GLOBAL_ONLY);
            Tcl_ResetResult(interp_);
            for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
            ForEachArray(false);
        }
        fuzz::FailAttemptNumber(0);  // the check parses, which must not meet a shortage
        fuzz::SetAttemptLimit(fuzz::kDefaultAttemptLimit);
        ForEachArray(true);
    }

   private:
    // The words of one form of a command (forms separated by '|').
    void Form(const char* forms, std::vector<Tcl_Obj*>* words) {
        const std::string form = in_.Pick(forms);
        for (const char* c = form.c_str(); *c != '\0'; ++c) {
            if (c[1] == '?' && (in_.Byte() & 1)) {
                ++c;
            } else if (*c == '*') {
                for (int k = in_.Byte() % 4; k > 0; --k) words->push_back(Word('O'));
            } else if (const char* o = std::strchr(kOptionLetters, *c);
                       o != nullptr && *c != '\0') {
                words->push_back(in_.Byte() < 244 ? Str(kOptions[o - kOptionLetters]) : Word('?'));
                if (std::strchr("tdrc", *c) != nullptr) words->push_back(Word('N'));
                if (*c == 'y') words->push_back(Word('T'));
            } else if (*c != '?') {
                words->push_back(Word(*c));
                if (*c == 'O' && first_ == -2) first_ = LengthOf(words->back());
            }
        }
    }

    Tcl_Obj* Word(char kind) {
        std::uint8_t b = in_.Byte();
        if (b >= 240 && kind != 'W' && kind != 'X' && kind != 'K') return Str(in_.Pick(kWords));
        switch (kind) {
            case 'O':  // a variable's value, a fresh array, or anything
                if (b < 100) return Value(b);
                if (b < 200) return Fresh();
                return Word("NLB?"[b % 4]);
            case 'R':  // a comparison, an operation or a reduction
                return Str(in_.Pick(kOperators));
            case 'T':
                return Str(b < 200
                               ? fuzz::WithType(b % 7, []<class E>(E) { return Api<E>::Name(); })
                               : in_.Pick(kWords));
            case 'Z':  // a size: small, or a few thousand
                return b < 200 ? Tcl_NewIntObj(b % 40)
                               : Tcl_NewIntObj(static_cast<int>(in_.U32() % 5000));
            case 'I':  // a position, or one of the index forms
                return b < 160 ? Tcl_NewIntObj(b % 24 - 3) : Str(in_.Pick(kWords));
            case 'N': {  // small integers and quarters, any int, any double
                if (b < 100)
                    return b & 1 ? Tcl_NewDoubleObj((b / 2 - 24) / 4.0) : Tcl_NewIntObj(b / 2 - 24);
                if (b < 140) return Tcl_NewIntObj(static_cast<int>(in_.U32()));
                std::uint64_t bits = std::uint64_t{in_.U32()} << 32 | in_.U32();
                double d;
                std::memcpy(&d, &bits, sizeof d);
                return std::isnan(d) ? Str("NaN") : Tcl_NewDoubleObj(d);
            }
            case 'L':
            case '3':
            case '9': {  // numbers in a string, or an array
                if (b >= 200) return Fresh();
                std::string s;
                for (int i = 0, n = kind == 'L'   ? b % 9
                                    : kind == '3' ? 3 - (b % 16 == 0)
                                                  : 9;
                     i < n; ++i) {
                    s += (i ? " " : "") + std::to_string(in_.Byte() % 24 - 8);
                }
                return Str(s);
            }
            case 'B': {
                std::string bytes = in_.Bytes(48);
                if (b & 1) return Str(bytes);
                return Tcl_NewByteArrayObj(reinterpret_cast<const unsigned char*>(bytes.data()),
                                           static_cast<int>(bytes.size()));
            }
            case 'P': {  // a permutation of the first array's positions, sometimes spoilt
                int n = first_ >= 0 && first_ <= 4096 ? first_ : b % 8;
                std::vector<int> p(static_cast<std::size_t>(n));
                for (int i = 0; i < n; ++i) p[i] = i;
                for (int i = n - 1; i > 0; --i) std::swap(p[i], p[in_.Byte() % (i + 1)]);
                if (n > 0 && b % 4 == 0) p[in_.Byte() % n] = static_cast<int>(in_.Byte() % 16) - 4;
                if (b % 4 == 1) p.resize(static_cast<std::size_t>(n / 2));
                return Tcl_NewIntArrayObj(p.data(), static_cast<int>(p.size()));
            }
            case 'X':
                return Str(in_.Pick(kScripts));
            case 'W':
                return b < 200 ? Str(b % 3 ? "x" : Var(b)) : Str(in_.Pick(kWords));
            case 'K':
                return Str(kCapi[in_.Byte() % 6]);
            default:
                return Word("OTZINLB"[b % 7]);
        }
    }

    Tcl_Obj* Value(std::uint8_t b) {
        Tcl_Obj* v = Tcl_GetVar2Ex(interp_, Var(b).c_str(), nullptr, TCL_GLOBAL_ONLY);
        return v != nullptr ? v : Tcl_NewObj();
    }

    // An array of raw elements, an increasing one (what sets and sorted
    // search want), a zeroed one, or a long zeroed one.
    Tcl_Obj* Fresh() {
        std::uint8_t mode = in_.Byte();
        return fuzz::WithType(in_.Byte() % 7, [&]<class E>(E) {
            std::vector<E> v(mode < 192 ? mode % 17 : 0);
            for (E& e : v) {
                std::uint8_t raw[sizeof(E)];
                for (auto& r : raw) r = in_.Byte();
                std::memcpy(&e, raw, sizeof e);
                if (mode >= 128) e = static_cast<E>(raw[0] % 32);
            }
            if (mode >= 128) {
                std::sort(v.begin(), v.end());
                v.erase(std::unique(v.begin(), v.end()), v.end());
            }
            int count = mode < 240 ? mode % 16 * 37 : 3000;  // zeroed
            if (mode < 192) count = static_cast<int>(v.size());
            return Api<E>::New(mode < 192 ? v.data() : nullptr, count);
        });
    }

    // Whether the call would make the harness, not nvec, slow or huge: long
    // foreach loops, renumber tables of gigabytes.
    static bool TooCostly(int command, const std::vector<Tcl_Obj*>& words) {
        if (command == 35 && words.size() == 5 && LengthOf(words[3]) > kScriptElements) return true;
        for (std::size_t i = 3; command == 31 && i < words.size(); ++i) {
            int n = -1;
            const int* ids = TypeOf(words[i]) == 2 ? Tcl_GetIntArrayFromObj(words[i], &n) : nullptr;
            for (int k = 0; k < n; ++k) if (ids[k] > (1 << 22)) return true;
        }
        return false;
    }

    void ForEachArray(bool text) {
        for (int k = 0; k < 8; ++k) {
            Tcl_Obj* v = Tcl_GetVar2Ex(interp_, Var(k).c_str(), nullptr, TCL_GLOBAL_ONLY);
            if (v != nullptr && TypeOf(v) >= 0) Check(v, text);
        }
    }

    // Reads every element, so that a count beyond the block is an overflow;
    // at the end also checks the string form: Tcl's text of each element,
    // for arrays of up to 4096 (Tcl's printer takes tens of microseconds per
    // large double under the sanitizers: a million of them took 17 s).
    static void Check(Tcl_Obj* obj, bool text) {
        fuzz::WithType(TypeOf(obj), [obj, text]<class E>(E) {
            int n = -1;
            const E* e = Api<E>::Get(obj, &n);
            std::vector<E> v(e, e + std::max(n, 0));
            Tcl_Obj* copy = Tcl_DuplicateObj(obj);
            Tcl_IncrRefCount(copy);
            Tcl_InvalidateStringRep(copy);
            if (n < 0 || (text && n <= 4096 && !oracle::RightForm(v, Tcl_GetString(copy))))
                fuzz::Finding("%s of %d elements: \"%.300s\"", Api<E>::Name(), n,
                              Tcl_GetString(copy));
            Tcl_DecrRefCount(copy);
        });
    }

    void Trace(const std::vector<Tcl_Obj*>& words, int code) {
        for (Tcl_Obj* w : words) std::fprintf(stderr, "{%.60s} ", Tcl_GetString(w));
        std::fprintf(stderr, "-> %s %.80s\n", code == TCL_OK ? "ok" : "error",
                     Tcl_GetString(Tcl_GetObjResult(interp_)));
    }

    Tcl_Interp* interp_;
    Reader& in_;
    int first_ = -2;  // length of the first array word of the call
};

// capi OP TYPE VAR BYTES: a function of the C interface for element type
// TYPE on the value of variable VAR (made unshared first where the function
// needs it), with elements or a length taken from BYTES.
int CapiCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) return TCL_ERROR;
    int op, type = fuzz::TypeNumber(Tcl_GetString(objv[2]));
    if (Tcl_GetIndexFromObj(nullptr, objv[1], kCapi, "op", 0, &op) != TCL_OK) return TCL_ERROR;
    int len;
    const unsigned char* bytes = Tcl_GetByteArrayFromObj(objv[4], &len);
    static constexpr int kLengths[] = {INT32_MAX, 600000000, 1 << 28, -1, INT32_MIN, 1 << 20, 7, 0};
    const int arg = len == 0 ? 0 : bytes[0] < 224 ? bytes[0] % 40 : kLengths[bytes[0] % 8];
    const char* var = Tcl_GetString(objv[3]);
    Tcl_Obj* obj = Tcl_GetVar2Ex(interp, var, nullptr, TCL_GLOBAL_ONLY);
    if (obj != nullptr && Tcl_IsShared(obj) && op != 0) {
        obj = Tcl_SetVar2Ex(interp, var, nullptr, Tcl_DuplicateObj(obj), TCL_GLOBAL_ONLY);
    }
    if ((obj == nullptr && op != 0) || type < 0) return TCL_ERROR;
    return fuzz::WithType(type, [&]<class E>(E) {
        std::vector<E> v(static_cast<std::size_t>(len) / sizeof(E));
        if (!v.empty()) std::memcpy(v.data(), bytes, v.size() * sizeof(E));
        int n = -1;
        switch (op) {
            case 0:  // new, with the bytes as elements, or zeroed (a negative count is refused)
                n = len % 2 ? static_cast<int>(v.size()) : len > 0 ? bytes[0] % 40 - 3 : 0;
                Tcl_SetObjResult(interp, Api<E>::New(len % 2 ? v.data() : nullptr, n));
                break;
            case 1:
                Api<E>::Set(obj, len % 3 ? v.data() : nullptr,
                            len % 5 ? static_cast<int>(v.size()) : -1);
                break;
            case 2: {
                const E* e = Api<E>::Get(obj, &n);
                if (n < 0 || (n > 0) != (e != nullptr))
                    fuzz::Finding("%s get: count %d", Api<E>::Name(), n);
                break;
            }
            case 3:  // the new length written over its whole count
                if (E* e = Api<E>::SetLength(obj, arg)) {
                    if (LengthOf(obj) != arg)
                        fuzz::Finding("%s set %d, now %d", Api<E>::Name(), arg, LengthOf(obj));
                    std::memset(static_cast<void*>(e), 0x5a,
                                static_cast<std::size_t>(arg) * sizeof(E));
                }
                break;
            case 4:  // within the block, and values it must ignore
                n = TypeOf(obj) == type ? LengthOf(obj) : -1;
                Api<E>::SetLengthDirect(obj, n < 0 ? -1 : arg % (n + 1));
                break;
            default:
                if (IsNvec(obj) != (TypeOf(obj) >= 0) || IsNvec(nullptr) != 0)
                    fuzz::Finding("IsNvec of %s", GetTypeName(obj));
        }
        return TCL_OK;
    });
}

// One run of the input, from a clean interpreter back to one; at most
// 20000 Tcl commands and 2 seconds.
void RunOnce(Tcl_Interp* interp, const std::uint8_t* data, std::size_t size) {
    static bool ready = false;
    if (!ready) {
        Tcl_CreateObjCommand(interp, "capi", CapiCmd, nullptr, nullptr);
        Tcl_LimitTypeSet(interp, TCL_LIMIT_COMMANDS | TCL_LIMIT_TIME);
        ready = true;
    }
    Tcl_Time deadline;
    Tcl_GetTime(&deadline);
    deadline.sec += 2;
    Tcl_LimitSetTime(interp, &deadline);
    Tcl_LimitSetCommands(interp, 1 << 30);
    Tcl_EvalEx(interp, "info cmdcount", -1, TCL_EVAL_GLOBAL);
    int used = 0;
    Tcl_GetIntFromObj(nullptr, Tcl_GetObjResult(interp), &used);
    Tcl_LimitSetCommands(interp, used + 20000);
    Reader in(data, size);
    std::uint8_t mode = in.Byte();
    if (mode % 4 == 1) fuzz::FailAttemptNumber(1 + in.Byte() % 16);
    if (mode % 4 == 2) fuzz::SetAttemptLimit(std::uint64_t{in.Byte()} * 64);
    Program(interp, &in).Run();
    fuzz::FailAttemptNumber(0);
    fuzz::SetAttemptLimit(fuzz::kDefaultAttemptLimit);
    Tcl_EvalEx(interp,
               "apply {{} {foreach c {co0 co1 co2 p} {catch {rename ::$c {}}}; foreach v [info "
               "globals] {if {$v ni {env tcl_platform tcl_library tcl_patchLevel tcl_version "
               "auto_path tcl_pkgPath}} {unset -nocomplain ::$v}}}}", -1, TCL_EVAL_GLOBAL);
    Tcl_ResetResult(interp);
}

}  // namespace

// LeakSanitizer sees a lost block, but not a lost Tcl object: objects come
// from pools that stay reachable. A lost object shows as blocks of Tcl's
// allocator left allocated after the input has been undone; Tcl's own
// tables may grow on a first run, so such an input runs twice more.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Tcl_Interp* interp = fuzz::Interp();
    std::int64_t left = 1;
    for (int run = 0; run < 3 && left > 0; ++run) {
        std::int64_t before = fuzz::LiveBlocks();
        RunOnce(interp, data, size);
        left = fuzz::LiveBlocks() - before;
    }
    if (left > 0)
        fuzz::Finding("%lld blocks left behind by every run of this input",
                      static_cast<long long>(left));
    return 0;
}
