// Shared parts of the nvec fuzzers: the interpreter, the allocator
// controls of tcl_alloc.cpp, and the check that reports a finding.

#pragma once

#include <tcl.h>

#include <cstdint>

namespace fuzz {

// Attempting allocations from nvec above this many bytes fail, so no input
// makes the fuzzer allocate gigabytes; sizes beyond it take the "not enough
// memory" paths instead. 128 KiB: printing an array (an error message
// shows its words) costs Tcl's printer, whose bignums call the sanitizers'
// allocator, about 10 us per large double; at 8 MiB one input ran 28 s.
inline constexpr std::uint64_t kDefaultAttemptLimit = std::uint64_t{128} << 10;

void SetAttemptLimit(std::uint64_t bytes);

// Makes the n-th following attempting allocation from nvec fail (n >= 1);
// 0 or a negative n disables this.
void FailAttemptNumber(std::int64_t n);

// Blocks currently allocated through Tcl's allocator.
std::int64_t LiveBlocks();

// The interpreter of this process, created on first use, with nvec
// initialised in it (Nvec_Init called directly, as a static package).
Tcl_Interp* Interp();

// Reports a failed check of the harness's own and aborts, which libFuzzer
// records as a crash with this input.
[[noreturn]] void Finding(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace fuzz
