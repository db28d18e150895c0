// A tclsh with one extra command, `cputime`: the calling thread's processor
// time in seconds (CLOCK_THREAD_CPUTIME_ID, nanosecond resolution). The
// comparison script times both sides of each row with it, so that the time
// the scheduler of a shared machine gives to other processes is not
// counted; Tcl itself offers only wall-clock time, and the kernel's
// per-process counters advance in scheduler ticks of several milliseconds.

#include <tcl.h>

#include <ctime>

namespace {

int CpuTimeCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 1) {
        Tcl_WrongNumArgs(interp, 1, objv, "");
        return TCL_ERROR;
    }
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    Tcl_SetObjResult(interp, Tcl_NewDoubleObj(static_cast<double>(ts.tv_sec) +
                                              1e-9 * static_cast<double>(ts.tv_nsec)));
    return TCL_OK;
}

int AppInit(Tcl_Interp* interp) {
    if (Tcl_Init(interp) != TCL_OK) return TCL_ERROR;
    Tcl_CreateObjCommand(interp, "cputime", CpuTimeCmd, nullptr, nullptr);
    return TCL_OK;
}

}  // namespace

int main(int argc, char** argv) {
    Tcl_Main(argc, argv, AppInit);
    return 0;
}
