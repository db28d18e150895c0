#include "harness.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "nvec.h"

namespace fuzz {

Tcl_Interp* Interp() {
    static Tcl_Interp* interp = [] {
        Tcl_FindExecutable(nullptr);
        Tcl_Interp* created = Tcl_CreateInterp();
        if (Nvec_Init(created) != TCL_OK)
            Finding("Nvec_Init failed: %s", Tcl_GetStringResult(created));
        Tcl_StaticPackage(created, "nvec", Nvec_Init, nullptr);
        return created;
    }();
    return interp;
}

void Finding(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fputs("nvec fuzz finding: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

}  // namespace fuzz
