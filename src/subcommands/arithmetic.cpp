// Arithmetic, geometry and reductions. Not built yet: each subcommand answers an error.

#include "subcommands.h"
#include "../command/helpers.h"

namespace nvec {

int IncrCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec incr is not available yet");
}

int ScaleCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec scale is not available yet");
}

int SnapCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec snap is not available yet");
}

int ReplaceValueCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec replace_value is not available yet");
}

int TranslateCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec translate is not available yet");
}

int RotateCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec rotate is not available yet");
}

int SumCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec sum is not available yet");
}

int MinimumCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec minimum is not available yet");
}

int MaximumCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec maximum is not available yet");
}

int VectorSumCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec vector_sum is not available yet");
}

}  // namespace nvec
