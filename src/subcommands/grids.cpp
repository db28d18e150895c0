// Structured grid generation. Not built yet: each subcommand answers an error.

#include "subcommands.h"
#include "../command/helpers.h"

namespace nvec {

int NewStructuredConnectivitiesCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec new_structured_connectivities is not available yet");
}

int NewStructuredCoordinatesCmd(Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    return Fail(interp, "nvec new_structured_coordinates is not available yet");
}

}  // namespace nvec
