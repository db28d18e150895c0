// Comparison masks, gather and scatter by positions, and element-wise
// arithmetic between arrays: where, take, assign, apply.

#include "../command/helpers.h"
#include "subcommands.h"

namespace nvec {

// PLACEHOLDER: each handler below is replaced by its implementation.
int WhereCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, ErrorClass::Syntax, "not built yet");
}
int TakeCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, ErrorClass::Syntax, "not built yet");
}
int AssignCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, ErrorClass::Syntax, "not built yet");
}
int ApplyCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, ErrorClass::Syntax, "not built yet");
}

}  // namespace nvec
