// Times Highway's vqsort on the elements that nvec's benchmark sorts, for
// the ordering rows of bench/rows_ordering.tcl. The elements come as the
// raw bytes that `nvec get_binary` writes (native byte order), so both
// sides sort the very same numbers.
//
// Usage: nvec_vqsort_probe <c type> <file> <rounds> <op>...
//   c type  int16 int32 int64 float double
//   op      sort: sorts a fresh copy of the elements;
//           unique: sorts, then drops repeats (std::unique), as
//           `nvec sort -unique` does
// Prints, per op, one line: the best (least) processor time of the calling
// thread (CLOCK_THREAD_CPUTIME_ID) in seconds over the rounds, and the
// instruction set it was measured with: the fastest of those that the
// processor and the library support, by one timed run of each (checked to
// leave the elements sorted), since the library's own choice is not always
// its fastest (Highway 1.0.3 on AMD Zen 4 picks AVX-512, where its 32-bit
// sorts are several times slower than with AVX2). The copy is made before
// the clock starts, as the nvec side clones its array untimed.

#include <hwy/contrib/sort/vqsort.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

double Now() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "nvec_vqsort_probe: %s\n", what);
    std::exit(2);
}

template <class T>
void Run(const std::vector<char>& bytes, int rounds, int nOps, char** ops) {
    const std::size_t n = bytes.size() / sizeof(T);
    std::vector<T> data(n);
    std::vector<T> work(n);
    std::memcpy(data.data(), bytes.data(), n * sizeof(T));
    for (int k = 0; k < nOps; ++k) {
        const std::string op = ops[k];
        if (op != "sort" && op != "unique") Die("unknown op");
        // One timed run per instruction set picks the fastest; the rounds
        // then run with it.
        double fastest = 0;
        std::int64_t best = 0;
        for (std::int64_t targets = hwy::SupportedTargets(); targets != 0; targets &= targets - 1) {
            const std::int64_t target = targets & -targets;
            hwy::SetSupportedTargetsForTest(target);
            hwy::Sorter sorter;
            work = data;
            double t0 = Now();
            sorter(work.data(), n, hwy::SortAscending());
            const double t = Now() - t0;
            if (!std::is_sorted(work.begin(), work.end())) Die("vqsort left the elements unsorted");
            if (best == 0 || t < fastest) {
                fastest = t;
                best = target;
            }
        }
        hwy::SetSupportedTargetsForTest(best);
        hwy::Sorter sorter;
        double least = 0;
        for (int r = 0; r < rounds; ++r) {
            std::memcpy(work.data(), data.data(), n * sizeof(T));
            double t0 = Now();
            sorter(work.data(), n, hwy::SortAscending());
            if (op == "unique") work.erase(std::unique(work.begin(), work.end()), work.end());
            const double t = Now() - t0;
            if (r == 0 || t < least) least = t;
            work.resize(n);
        }
        std::printf("%.9f %s\n", least, hwy::TargetName(best));
        hwy::SetSupportedTargetsForTest(0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        Die("usage: nvec_vqsort_probe <c type> <file> <rounds> <op>...");
    }
    const std::string type = argv[1];
    std::FILE* f = std::fopen(argv[2], "rb");
    if (f == nullptr) Die("cannot open the file");
    std::vector<char> bytes;
    char chunk[1 << 16];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(f);
    const int rounds = std::max(1, std::atoi(argv[3]));
    if (type == "int16") {
        Run<std::int16_t>(bytes, rounds, argc - 4, argv + 4);
    } else if (type == "int32") {
        Run<std::int32_t>(bytes, rounds, argc - 4, argv + 4);
    } else if (type == "int64") {
        Run<std::int64_t>(bytes, rounds, argc - 4, argv + 4);
    } else if (type == "float") {
        Run<float>(bytes, rounds, argc - 4, argv + 4);
    } else if (type == "double") {
        Run<double>(bytes, rounds, argc - 4, argv + 4);
    } else {
        Die("unknown type");
    }
    return 0;
}
