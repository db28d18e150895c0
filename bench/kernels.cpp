// nvec against the machine's limits. An interpreter created in this process
// loads the built library, and every nvec figure is a real subcommand run
// through Tcl_EvalObjv on prebuilt words (or, for the string form, the
// update-string procedure that Tcl_GetString runs). Each one is set against
// the plain C++ loop that bounds it:
//   in-place element kernels   memcpy of the same bytes
//   parsing                    a bare std::from_chars loop over the same text
//   string form                a bare std::to_chars shortest loop
//   sort                       qsort with the element comparator
//   sort, argsort of few values the bare counting loops: count and fill the
//                              values, count and place the positions
// Every row is the median of several repetitions (Google Benchmark), and the
// ratio is the alternative's time over nvec's: above 1 nvec is faster, and
// for the kernels it is the fraction of memcpy bandwidth reached.
//
// Usage: nvec_bench <path of libnvec.so> [--quick] [Google Benchmark flags]
// --quick runs 10^6 elements only.

#include <benchmark/benchmark.h>
#include <tcl.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

Tcl_Interp* gInterp = nullptr;
constexpr int kRepetitions = 5;
constexpr int kSlowRepetitions = 3;

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "nvec_bench: %s: %s\n", what, Tcl_GetStringResult(gInterp));
    std::exit(1);
}

Tcl_Obj* Word(const char* s) {
    Tcl_Obj* o = Tcl_NewStringObj(s, -1);
    Tcl_IncrRefCount(o);
    return o;
}

// Runs one command from prebuilt words; any error ends the program, since
// a failing subcommand would measure nothing.
void Run(std::initializer_list<Tcl_Obj*> words) {
    std::vector<Tcl_Obj*> objv(words);
    if (Tcl_EvalObjv(gInterp, static_cast<int>(objv.size()), objv.data(), 0) != TCL_OK) {
        Die(Tcl_GetString(objv[1]));
    }
    Tcl_ResetResult(gInterp);
}

template <class T>
struct TypeInfo;
template <>
struct TypeInfo<double> {
    static constexpr const char* kArray = "doublearray";
    static constexpr const char* kName = "double";
};
template <>
struct TypeInfo<float> {
    static constexpr const char* kArray = "floatarray";
    static constexpr const char* kName = "float";
};
template <>
struct TypeInfo<int> {
    static constexpr const char* kArray = "intarray";
    static constexpr const char* kName = "int";
};

// Random elements: doubles and floats uniform in [-1000, 1000) (full-length
// shortest digits, as computed coordinates have), integers uniform in
// [0, 10^7) (node numbers of a large mesh).
template <class T>
std::vector<T> RandomValues(std::size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::vector<T> v(n);
    if constexpr (std::is_floating_point_v<T>) {
        std::uniform_real_distribution<double> d(-1000.0, 1000.0);
        for (T& x : v) x = static_cast<T>(d(rng));
    } else {
        std::uniform_int_distribution<int> d(0, 9999999);
        for (T& x : v) x = d(rng);
    }
    return v;
}

// The same data serve every repetition of a benchmark and both sides of a
// row; made once per element type, count and seed.
template <class T>
const std::vector<T>& Values(std::size_t n, unsigned seed) {
    static std::map<std::pair<std::size_t, unsigned>, std::vector<T>> cache;
    auto it = cache.find({n, seed});
    if (it == cache.end())
        it = cache.emplace(std::make_pair(n, seed), RandomValues<T>(n, seed)).first;
    return it->second;
}

// A new array value holding v, made through nvec new -binary.
template <class T>
Tcl_Obj* NewArray(const std::vector<T>& v) {
    Tcl_Obj* bytes = Tcl_NewByteArrayObj(reinterpret_cast<const unsigned char*>(v.data()),
                                         static_cast<int>(v.size() * sizeof(T)));
    Tcl_Obj* objv[] = {Word("nvec"), Word("new"), Word(TypeInfo<T>::kArray), Word("-binary"),
                       bytes};
    Tcl_IncrRefCount(bytes);
    if (Tcl_EvalObjv(gInterp, 5, objv, 0) != TCL_OK) Die("new -binary");
    Tcl_Obj* array = Tcl_GetObjResult(gInterp);
    Tcl_IncrRefCount(array);
    Tcl_ResetResult(gInterp);
    for (Tcl_Obj* o : objv) Tcl_DecrRefCount(o);
    return array;
}

// Times are this thread's CPU time (user and system, page faults
// included): on a machine shared with other work, the time the scheduler
// gives to other processes is not counted.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
    }
};

double Seconds(double t0) { return Clock::now() - t0; }

// ---- In-place kernels against memcpy ------------------------------------

// The point kernels need a multiple of 3 elements, so every kernel array
// (and the memcpy beside it) holds the largest multiple of 3 not above n.
std::size_t KernelCount(std::size_t n) { return n - n % 3; }

void Memcpy(benchmark::State& state, std::size_t bytes) {
    std::vector<char> src(bytes, 1);
    std::vector<char> dst(bytes, 0);
    for (auto _ : state) {
        auto t0 = Clock::now();
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
        state.SetIterationTime(Seconds(t0));
    }
}

template <class T>
void Kernel(benchmark::State& state, std::size_t n, std::vector<const char*> args) {
    Tcl_Obj* array = NewArray(Values<T>(KernelCount(n), 1));
    std::vector<Tcl_Obj*> words = {Word("nvec"), Word(args[0]), array};
    for (std::size_t i = 1; i < args.size(); ++i) {
        Tcl_Obj* w = Word(args[i]);
        // The vector and matrix operands are doublearrays from the start,
        // as a script that reuses them would have them.
        if (std::strchr(args[i], ' ') != nullptr) {
            Tcl_ConvertToType(nullptr, w, Tcl_GetObjType("doublearray"));
        }
        words.push_back(w);
    }
    for (auto _ : state) {
        auto t0 = Clock::now();
        if (Tcl_EvalObjv(gInterp, static_cast<int>(words.size()), words.data(), 0) != TCL_OK) {
            Die(args[0]);
        }
        Tcl_ResetResult(gInterp);
        state.SetIterationTime(Seconds(t0));
    }
    for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
}

// ---- Parsing against std::from_chars --------------------------------------

// The string form nvec gives the random values: the text both sides parse.
template <class T>
const std::string& TextOf(std::size_t n) {
    static std::map<std::size_t, std::string> cache;
    auto it = cache.find(n);
    if (it == cache.end()) {
        Tcl_Obj* array = NewArray(Values<T>(n, 2));
        it = cache.emplace(n, Tcl_GetString(array)).first;
        Tcl_DecrRefCount(array);
    }
    return it->second;
}

template <class T>
void Parse(benchmark::State& state, std::size_t n) {
    const std::string& text = TextOf<T>(n);
    Tcl_Obj* cmd = Word("nvec");
    Tcl_Obj* sub = Word("new");
    Tcl_Obj* type = Word(TypeInfo<T>::kArray);
    Tcl_Obj* opt = Word("-values");
    for (auto _ : state) {
        // A fresh pure string every time: parsing converts it in place.
        Tcl_Obj* s = Tcl_NewStringObj(text.data(), static_cast<int>(text.size()));
        Tcl_IncrRefCount(s);
        auto t0 = Clock::now();
        Run({cmd, sub, type, opt, s});
        state.SetIterationTime(Seconds(t0));
        Tcl_DecrRefCount(s);
    }
    for (Tcl_Obj* w : {cmd, sub, type, opt}) Tcl_DecrRefCount(w);
}

template <class T>
void FromChars(benchmark::State& state, std::size_t n) {
    const std::string& text = TextOf<T>(n);
    for (auto _ : state) {
        auto t0 = Clock::now();
        std::unique_ptr<T[]> out(new T[n]);
        const char* p = text.data();
        const char* const end = p + text.size();
        std::size_t k = 0;
        while (p < end) {
            while (*p == ' ') ++p;
            if constexpr (std::is_integral_v<T>) {
                long v = 0;
                p = std::from_chars(p, end, v).ptr;
                out[k++] = static_cast<T>(v);
            } else {
                double v = 0;
                p = std::from_chars(p, end, v).ptr;
                out[k++] = static_cast<T>(v);
            }
        }
        benchmark::DoNotOptimize(out.get());
        state.SetIterationTime(Seconds(t0));
        if (k != n) Die("from_chars count");
    }
}

// ---- String form against std::to_chars ------------------------------------

template <class T>
void Print(benchmark::State& state, std::size_t n) {
    Tcl_Obj* array = NewArray(Values<T>(n, 3));
    for (auto _ : state) {
        Tcl_Obj* copy = Tcl_DuplicateObj(array);  // elements only, no string
        Tcl_IncrRefCount(copy);
        auto t0 = Clock::now();
        int len;
        benchmark::DoNotOptimize(Tcl_GetStringFromObj(copy, &len));
        state.SetIterationTime(Seconds(t0));
        Tcl_DecrRefCount(copy);
    }
    Tcl_DecrRefCount(array);
}

// Floats are printed as the double they hold, as the string form does.
template <class T>
void ToChars(benchmark::State& state, std::size_t n) {
    const std::vector<T>& v = Values<T>(n, 3);
    constexpr std::size_t kWidth = std::is_integral_v<T> ? 12 : 25;
    for (auto _ : state) {
        auto t0 = Clock::now();
        char* buf = static_cast<char*>(std::malloc(n * kWidth + 1));
        char* p = buf;
        for (T x : v) {
            if constexpr (std::is_integral_v<T>) {
                p = std::to_chars(p, p + kWidth, x).ptr;
            } else {
                p = std::to_chars(p, p + kWidth, static_cast<double>(x)).ptr;
            }
            *p++ = ' ';
        }
        p[-1] = '\0';
        buf = static_cast<char*>(std::realloc(buf, static_cast<std::size_t>(p - buf)));
        benchmark::DoNotOptimize(buf);
        state.SetIterationTime(Seconds(t0));
        std::free(buf);
    }
}

// ---- Sort against qsort ----------------------------------------------------

// The element comparators: integers -1, 1 or 0 by < and >; floating values
// -1 if b > a, otherwise 1 if a > b, otherwise 0.
template <class T>
int Compare(const void* pa, const void* pb) {
    const T a = *static_cast<const T*>(pa);
    const T b = *static_cast<const T*>(pb);
    if constexpr (std::is_floating_point_v<T>) {
        return b > a ? -1 : (a > b ? 1 : 0);
    } else {
        return a < b ? -1 : (a > b ? 1 : 0);
    }
}

// nvec sort of a copy of array (made untimed: sort works in place), or
// argsort of array itself; array is released at the end.
void Ordering(benchmark::State& state, Tcl_Obj* array, const char* subcommand) {
    Tcl_Obj* cmd = Word("nvec");
    Tcl_Obj* sub = Word(subcommand);
    const bool sorts = std::strcmp(subcommand, "sort") == 0;
    for (auto _ : state) {
        Tcl_Obj* operand = sorts ? Tcl_DuplicateObj(array) : array;
        Tcl_IncrRefCount(operand);
        auto t0 = Clock::now();
        Run({cmd, sub, operand});
        state.SetIterationTime(Seconds(t0));
        Tcl_DecrRefCount(operand);
    }
    for (Tcl_Obj* w : {array, cmd, sub}) Tcl_DecrRefCount(w);
}

template <class T>
void Sort(benchmark::State& state, std::size_t n) {
    Ordering(state, NewArray(Values<T>(n, 4)), "sort");
}

template <class T>
void Qsort(benchmark::State& state, std::size_t n) {
    const std::vector<T>& v = Values<T>(n, 4);
    std::vector<T> work(n);
    for (auto _ : state) {
        work = v;
        auto t0 = Clock::now();
        std::qsort(work.data(), n, sizeof(T), Compare<T>);
        benchmark::DoNotOptimize(work.data());
        state.SetIterationTime(Seconds(t0));
    }
}

// ---- Counting sort and argsort against their bare loops ----------------------

// Integers of few values, 0 to 999 in random order: keys that both sort and
// argsort count. The bare loops bound them: a counting sort reads the keys
// once to count them and writes each value from its count, in sequence; a
// counting argsort reads them once more and puts each position at the next
// place of its key, a scattered store and a counter's update per element.
// The ratio of the two loops shows what argsort's counting costs against
// sort's on this processor, whatever the code around them.
constexpr int kFewValues = 1000;

const std::vector<int>& FewValues(std::size_t n) {
    static std::map<std::size_t, std::vector<int>> cache;
    auto it = cache.find(n);
    if (it == cache.end()) {
        std::mt19937_64 rng(5);
        std::uniform_int_distribution<int> d(0, kFewValues - 1);
        std::vector<int> v(n);
        for (int& x : v) x = d(rng);
        it = cache.emplace(n, std::move(v)).first;
    }
    return it->second;
}

// The bare loops: count, then fill the values (sort) or place the
// positions (argsort) into one buffer that every run reuses, so that
// neither pays for new memory: the best case of both.
void CountedByLoop(benchmark::State& state, std::size_t n, bool place) {
    const std::vector<int>& v = FewValues(n);
    std::vector<int> work(n);
    for (auto _ : state) {
        auto t0 = Clock::now();
        std::vector<unsigned> count(kFewValues, 0);
        for (int x : v) ++count[static_cast<unsigned>(x)];
        if (place) {
            unsigned sum = 0;
            for (unsigned& c : count) sum += std::exchange(c, sum);
            for (std::size_t i = 0; i < n; ++i) {
                work[count[static_cast<unsigned>(v[i])]++] = static_cast<int>(i);
            }
        } else {
            int* o = work.data();
            for (int k = 0; k < kFewValues; ++k) o = std::fill_n(o, count[k], k);
        }
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
        state.SetIterationTime(Seconds(t0));
    }
}

// ---- Table -----------------------------------------------------------------

// Keeps the median real time of every benchmark, by name.
class MedianCollector : public benchmark::BenchmarkReporter {
   public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                // Time per iteration, in seconds.
                medians[r.run_name.function_name] = r.GetAdjustedRealTime() / 1e3;
            }
        }
    }
    std::map<std::string, double> medians;
};

struct Row {
    std::string label;
    std::string nvec;
    std::string alt;
    std::string altLabel;
    double target;  // least ratio wanted; 0 when the row only informs
};

std::string SizeName(std::size_t n) { return n == 1000000 ? "1e6" : "1e7"; }

// Rows of 10^7 elements that take most of a second per run (string form,
// sort) are the median of 3 runs, to keep the whole benchmark within its
// time budget; the others of 5.
template <class F>
void Register(const std::string& name, F&& f, bool slow) {
    auto* b = benchmark::RegisterBenchmark(name.c_str(), std::forward<F>(f));
    b->Repetitions(slow ? kSlowRepetitions : kRepetitions)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
    b->UseManualTime();
    if (slow) {
        b->Iterations(1);
    } else {
        b->MinTime(0.05);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: nvec_bench <libnvec.so> [--quick] [benchmark flags]\n");
        return 2;
    }
    Tcl_FindExecutable(argv[0]);
    gInterp = Tcl_CreateInterp();
    std::string load = std::string("load ") + argv[1];
    if (Tcl_Eval(gInterp, load.c_str()) != TCL_OK) Die("load");
    bool quick = false;
    std::vector<char*> rest = {argv[0]};
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    int restc = static_cast<int>(rest.size());
    benchmark::Initialize(&restc, rest.data());

    std::vector<std::size_t> sizes = {1000000};
    if (!quick) sizes.push_back(10000000);
    std::vector<Row> rows;
    for (std::size_t n : sizes) {
        const std::string sz = SizeName(n);
        const bool big = n > 1000000;
        // Kernels, for the two element widths of the targets.
        auto kernels = [&]<class T>(std::type_identity<T>,
                                    std::vector<std::vector<const char*>> cmds) {
            const std::string tn = TypeInfo<T>::kName;
            const std::string copy = "memcpy " + std::to_string(sizeof(T)) + "B/" + sz;
            const std::size_t bytes = KernelCount(n) * sizeof(T);
            Register(
                copy, [bytes](benchmark::State& s) { Memcpy(s, bytes); }, false);
            for (const auto& args : cmds) {
                const std::string name = std::string(args[0]) + " " + tn + "/" + sz;
                Register(
                    name, [n, args](benchmark::State& s) { Kernel<T>(s, n, args); }, false);
                rows.push_back({std::string(args[0]) + " " + TypeInfo<T>::kArray + " " + sz, name,
                                copy, "memcpy", big ? 0.5 : 0.0});
            }
        };
        const char* rotation = "0.8660254037844387 -0.5 0 0.5 0.8660254037844387 0 0 0 1";
        kernels(std::type_identity<double>{}, {{"incr", "1"},
                                               {"scale", "-1"},
                                               {"translate", "1.5 -2.5 0.25"},
                                               {"rotate", rotation},
                                               {"snap", "0.5", "0.25", "0", "1"},
                                               {"replace_value", "5", "6"}});
        kernels(std::type_identity<int>{}, {{"incr", "1"},
                                            {"scale", "-1"},
                                            {"translate", "1 -2 3"},
                                            {"rotate", rotation},
                                            {"snap", "100", "3", "0", "1"},
                                            {"replace_value", "5", "6"}});

        auto parse = [&]<class T>(std::type_identity<T>) {
            const std::string a = std::string("parse ") + TypeInfo<T>::kName + "/" + sz;
            const std::string b = std::string("from_chars ") + TypeInfo<T>::kName + "/" + sz;
            Register(
                a, [n](benchmark::State& s) { Parse<T>(s, n); }, false);
            Register(
                b, [n](benchmark::State& s) { FromChars<T>(s, n); }, false);
            rows.push_back({std::string("parse ") + TypeInfo<T>::kArray + " " + sz, a, b,
                            "from_chars loop", big ? 0.6 : 0.0});
        };
        parse(std::type_identity<double>{});
        parse(std::type_identity<int>{});

        auto print = [&]<class T>(std::type_identity<T>) {
            const std::string a = std::string("string ") + TypeInfo<T>::kName + "/" + sz;
            const std::string b = std::string("to_chars ") + TypeInfo<T>::kName + "/" + sz;
            Register(
                a, [n](benchmark::State& s) { Print<T>(s, n); }, big);
            Register(
                b, [n](benchmark::State& s) { ToChars<T>(s, n); }, big);
            rows.push_back({std::string("string form ") + TypeInfo<T>::kArray + " " + sz, a, b,
                            "to_chars loop", big ? 0.6 : 0.0});
        };
        print(std::type_identity<double>{});
        print(std::type_identity<float>{});
        print(std::type_identity<int>{});

        auto sort = [&]<class T>(std::type_identity<T>) {
            const std::string a = std::string("sort ") + TypeInfo<T>::kName + "/" + sz;
            const std::string b = std::string("qsort ") + TypeInfo<T>::kName + "/" + sz;
            Register(
                a, [n](benchmark::State& s) { Sort<T>(s, n); }, big);
            Register(
                b, [n](benchmark::State& s) { Qsort<T>(s, n); }, big);
            rows.push_back({std::string("sort ") + TypeInfo<T>::kArray + " " + sz, a, b, "qsort",
                            big ? 3.0 : 0.0});
        };
        sort(std::type_identity<double>{});
        sort(std::type_identity<int>{});

        for (const char* sub : {"sort", "argsort"}) {
            const bool place = std::strcmp(sub, "argsort") == 0;
            const std::string a = std::string(sub) + " few/" + sz;
            const std::string b = std::string(place ? "place" : "fill") + " loop few/" + sz;
            Register(
                a, [n, sub](benchmark::State& s) { Ordering(s, NewArray(FewValues(n)), sub); },
                false);
            Register(
                b, [n, place](benchmark::State& s) { CountedByLoop(s, n, place); }, false);
            rows.push_back({std::string(sub) + " intarray " + sz + " few", a, b,
                            place ? "count, place loop" : "count, fill loop", 0.0});
        }
    }

    MedianCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf(
        "\nnvec against the machine's limits (median of %d runs, %d for the 1e7 rows of\n"
        "string form and sort; times in ms of processor time; ratio = alternative /\n"
        "nvec: the fraction of memcpy bandwidth for the kernels, above 1 nvec is faster)\n\n",
        kRepetitions, kSlowRepetitions);
    std::printf("%-32s %10s  %-20s %10s %8s  %s\n", "row", "nvec", "alternative", "time", "ratio",
                "target");
    for (const Row& r : rows) {
        auto a = collector.medians.find(r.nvec);
        auto b = collector.medians.find(r.alt);
        if (a == collector.medians.end() || b == collector.medians.end()) continue;
        const double ratio = b->second / a->second;
        std::string target = "-";
        if (r.target > 0) {
            char buf[32];
            std::snprintf(buf, sizeof buf, ">=%g %s", r.target, ratio >= r.target ? "ok" : "NO");
            target = buf;
        }
        std::printf("%-32s %10.3f  %-20s %10.3f %8.2f  %s\n", r.label.c_str(), a->second * 1e3,
                    r.altLabel.c_str(), b->second * 1e3, ratio, target.c_str());
    }
    for (std::size_t n : sizes) {
        const std::string sz = SizeName(n);
        auto place = collector.medians.find("place loop few/" + sz);
        auto fill = collector.medians.find("fill loop few/" + sz);
        if (place == collector.medians.end() || fill == collector.medians.end()) continue;
        std::printf(
            "\nbare loops, %s ints of %d values: (count, place) / (count, fill) = %.2f\n"
            "(argsort's target against sort: 1.5)\n",
            sz.c_str(), kFewValues, place->second / fill->second);
    }
    Tcl_DeleteInterp(gInterp);
    return 0;
}
