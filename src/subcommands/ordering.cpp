// Search, sort, sorted sets and renumbering. Not built yet: each subcommand answers an error.

#include "subcommands.h"
#include "../command/helpers.h"

namespace nvec {

int SearchCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec search is not available yet");
}

int SortCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec sort is not available yet");
}

int IntersectionCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec intersection is not available yet");
}

int UnionCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec union is not available yet");
}

int SubstractionCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec substraction is not available yet");
}

int RenumberCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec renumber is not available yet");
}

}  // namespace nvec
