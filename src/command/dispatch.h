#pragma once

#include <tcl.h>

namespace nvec {

// The nvec command: its classic procedure runs the NR one to completion.
int NvecObjCmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int NvecNRObjCmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

}  // namespace nvec
