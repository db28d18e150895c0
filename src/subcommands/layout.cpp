// Layout and splicing. Not built yet: each subcommand answers an error.

#include "subcommands.h"
#include "../command/helpers.h"

namespace nvec {

int InterleaveCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec interleave is not available yet");
}

int DeinterleaveCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec deinterleave is not available yet");
}

int RangeCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec range is not available yet");
}

int ReverseCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec reverse is not available yet");
}

int SwapCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec swap is not available yet");
}

int PermuteCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec permute is not available yet");
}

int ExtractCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec extract is not available yet");
}

int ConcatCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec concat is not available yet");
}

int InsertCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec insert is not available yet");
}

int RemoveCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec remove is not available yet");
}

int ReplaceCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec replace is not available yet");
}

int ResizeCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec resize is not available yet");
}

}  // namespace nvec
