// Creation, sequences and element access. Not built yet: each subcommand answers an error.

#include "subcommands.h"
#include "../command/helpers.h"

namespace nvec {

int NewCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec new is not available yet");
}

int NewFromToCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec new_from_to is not available yet");
}

int NewNFromIncrementCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec new_n_from_increment is not available yet");
}

int CloneCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec clone is not available yet");
}

int SetCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec set is not available yet");
}

int GetCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec get is not available yet");
}

int GetBinaryCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec get_binary is not available yet");
}

}  // namespace nvec
