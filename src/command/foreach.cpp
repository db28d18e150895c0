// Iteration over an array with a script. Not built yet: each subcommand answers an error.

#include "../subcommands/subcommands.h"
#include "helpers.h"

namespace nvec {

int ForeachCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec foreach is not available yet");
}

}  // namespace nvec
