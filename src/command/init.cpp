// Package entry point.

#include <tcl.h>

#include "../arrays/obj_types.h"
#include "dispatch.h"
#include "nvec.h"

// Binds to the interpreter through the stubs table (Tcl 8.6 or later:
// foreach needs the non-recursive evaluation interface; "8.6-" lets Tcl 9
// accept a library built against its own headers), creates the nvec
// command, sets up the seven array types (with or without Tcl 9's list
// procedures, decided by the running Tcl), registers them in canonical
// order and provides the package.
extern "C" int Nvec_Init(Tcl_Interp* interp) {
    if (Tcl_InitStubs(interp, "8.6-", 0) == nullptr) return TCL_ERROR;
    Tcl_NRCreateCommand(interp, "nvec", nvec::NvecObjCmd, nvec::NvecNRObjCmd, nullptr, nullptr);
    nvec::SetUpArrayTypes();
    for (int i = 0; i < nvec::kNumElemTypes; ++i) {
        Tcl_RegisterObjType(nvec::ArrayTypeRecord(static_cast<nvec::ElemType>(i)));
    }
    Tcl_PkgProvideEx(interp, "nvec", "1.19", nullptr);
    return TCL_OK;
}
