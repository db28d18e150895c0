// Per-component reductions, counts, row output and byte order: reduce,
// histogram, text, byteswap.

#include "../command/helpers.h"
#include "subcommands.h"

namespace nvec {

// PLACEHOLDER: each handler below is replaced by its implementation.
int ReduceCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, ErrorClass::Syntax, "not built yet");
}
int HistogramCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, ErrorClass::Syntax, "not built yet");
}
int TextCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, ErrorClass::Syntax, "not built yet");
}
int ByteswapCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, ErrorClass::Syntax, "not built yet");
}

}  // namespace nvec
