// Tcl's memory allocator, replaced for the fuzzers by the C heap.
//
// Tcl normally carves small blocks out of large per-thread chunks, so an
// access past the end of a payload lands in a neighbouring block that
// AddressSanitizer sees as valid, and a leaked block stays reachable from
// the chunk lists where LeakSanitizer cannot see it. Defined here, in the
// executable, these entry points take precedence over libtcl's own (which
// calls them through its procedure linkage table, as the stubs table does),
// so every block of Tcl and of nvec becomes one malloc block with its own
// red zones and its own leak record.
//
// The shim also simulates a machine with little memory: the attempting
// functions (Tcl_AttemptAlloc, Tcl_AttemptRealloc), when called from nvec
// (code of this executable, not of libtcl), refuse blocks above a limit and
// can fail on a chosen call, so the "not enough memory" paths run too. The
// functions that may not fail never do; Tcl's panic remains their answer.

#include <tcl.h>

#include <cstdint>
#include <cstdlib>

#include "harness.h"

extern "C" {
// Tcl's internal allocator entry points, exported by libtcl and reached by
// its own code through the procedure linkage table.
char* TclpAlloc(unsigned int size);
void TclpFree(char* ptr);
char* TclpRealloc(char* ptr, unsigned int size);

// Bounds of this executable's code, set by the linker.
extern const char __executable_start[];
extern const char etext[];
}

namespace fuzz {

namespace {

std::uint64_t gAttemptLimit = kDefaultAttemptLimit;
std::int64_t gFailCountdown = -1;
std::int64_t gLiveBlocks = 0;

// A failing attempt is only simulated for callers in this executable, that
// is nvec (and the harness): Tcl's own code is not under test.
bool MayFail(const void* caller, unsigned size) {
    const char* pc = static_cast<const char*>(caller);
    if (pc < __executable_start || pc >= etext) return false;
    return size > gAttemptLimit || (gFailCountdown > 0 && --gFailCountdown == 0);
}

char* Allocate(unsigned size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) ++gLiveBlocks;
    return static_cast<char*>(p);
}

char* Reallocate(char* ptr, unsigned size) {
    if (ptr == nullptr) return Allocate(size);
    return static_cast<char*>(std::realloc(ptr, size == 0 ? 1 : size));
}

void Release(char* ptr) {
    gLiveBlocks -= ptr != nullptr;
    std::free(ptr);
}

[[noreturn]] void OutOfMemory(unsigned size) {
    Tcl_Panic("unable to alloc %u bytes", size);
    std::abort();
}

}  // namespace

void SetAttemptLimit(std::uint64_t bytes) { gAttemptLimit = bytes; }

void FailAttemptNumber(std::int64_t n) { gFailCountdown = n; }

std::int64_t LiveBlocks() { return gLiveBlocks; }

}  // namespace fuzz

extern "C" {

char* Tcl_Alloc(unsigned int size) {
    char* p = fuzz::Allocate(size);
    if (p == nullptr) fuzz::OutOfMemory(size);
    return p;
}

char* Tcl_AttemptAlloc(unsigned int size) {
    if (fuzz::MayFail(__builtin_return_address(0), size)) return nullptr;
    return fuzz::Allocate(size);
}

char* Tcl_Realloc(char* ptr, unsigned int size) {
    char* p = fuzz::Reallocate(ptr, size);
    if (p == nullptr) fuzz::OutOfMemory(size);
    return p;
}

char* Tcl_AttemptRealloc(char* ptr, unsigned int size) {
    if (fuzz::MayFail(__builtin_return_address(0), size)) return nullptr;
    return fuzz::Reallocate(ptr, size);
}

void Tcl_Free(char* ptr) { fuzz::Release(ptr); }

char* TclpAlloc(unsigned int size) { return Tcl_Alloc(size); }

char* TclpRealloc(char* ptr, unsigned int size) { return Tcl_Realloc(ptr, size); }

void TclpFree(char* ptr) { fuzz::Release(ptr); }

}  // extern "C"
