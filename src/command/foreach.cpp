// nvec foreach <VarName> <nvec> <script>: runs the script once per element
// through Tcl's non-recursive evaluation. The command sets up the first
// iteration and returns Tcl_NREvalObj of the script; a continuation
// registered with Tcl_NRAddCallback receives each iteration's code and
// schedules the next one. The loop thus never deepens the C stack, and a
// script may yield from a coroutine inside it.
//
// Loop state, in the continuation's four client-data words:
//   0  the array value,
//   1  the index of the next element (pointer-sized integer),
//   2  the variable-name value,
//   3  the script value.
// The loop holds a reference on all three values until it ends, however it
// ends: the script may unset or overwrite the variable that held the array,
// which would otherwise free it mid-loop. The count and the type are read
// again before every iteration, so a script that changes the array in place
// changes the number of iterations.

#include <tcl.h>

#include <cstdint>
#include <optional>

#include "../arrays/obj_types.h"
#include "../subcommands/subcommands.h"
#include "helpers.h"

namespace nvec {

namespace {

void ReleaseLoop(Tcl_Obj* array, Tcl_Obj* varName, Tcl_Obj* script) {
    Tcl_DecrRefCount(array);
    Tcl_DecrRefCount(varName);
    Tcl_DecrRefCount(script);
}

// Sets the loop variable to element i (the element reader's value). The
// caller has checked the type and that i is below the count. On failure
// Tcl's message is in the result.
bool SetLoopVar(Tcl_Interp* interp, ElemType type, Tcl_Obj* array, int i, Tcl_Obj* varName) {
    Tcl_Obj* value = Visit(type, [&]<class T>(std::type_identity<T>) {
        return Elem<T>::ToObj(Elements<T>(array)[i]);
    });
    // Own the value across the call, so a failed set cannot leak it.
    Tcl_IncrRefCount(value);
    bool ok = Tcl_ObjSetVar2(interp, varName, nullptr, value, TCL_LEAVE_ERR_MSG) != nullptr;
    Tcl_DecrRefCount(value);
    return ok;
}

// Schedules the continuation (which will go on with element `next`), then
// the script; returns to Tcl, which runs both.
int RunBody(Tcl_Interp* interp, Tcl_Obj* array, std::intptr_t next, Tcl_Obj* varName,
            Tcl_Obj* script);

int ForeachNext(ClientData data[], Tcl_Interp* interp, int result) {
    auto* array = static_cast<Tcl_Obj*>(data[0]);
    auto next = reinterpret_cast<std::intptr_t>(data[1]);
    auto* varName = static_cast<Tcl_Obj*>(data[2]);
    auto* script = static_cast<Tcl_Obj*>(data[3]);

    switch (result) {
        case TCL_OK:
        case TCL_CONTINUE:
            break;
        case TCL_BREAK:
            Tcl_ResetResult(interp);
            ReleaseLoop(array, varName, script);
            return TCL_OK;
        case TCL_ERROR:
            Tcl_AppendObjToErrorInfo(interp, Tcl_ObjPrintf("\n    (\"nvec foreach\" body line %d)",
                                                           Tcl_GetErrorLine(interp)));
            ReleaseLoop(array, varName, script);
            return TCL_ERROR;
        default:  // TCL_RETURN and application codes pass through unchanged
            ReleaseLoop(array, varName, script);
            return result;
    }

    // The script may have given the value another type (used it as a list).
    std::optional<ElemType> type = ElemTypeOf(array);
    if (!type) {
        ReleaseLoop(array, varName, script);
        return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    }
    if (next >= Length(array)) {
        Tcl_ResetResult(interp);
        ReleaseLoop(array, varName, script);
        return TCL_OK;
    }
    if (!SetLoopVar(interp, *type, array, static_cast<int>(next), varName)) {
        ReleaseLoop(array, varName, script);
        return TCL_ERROR;
    }
    return RunBody(interp, array, next + 1, varName, script);
}

int RunBody(Tcl_Interp* interp, Tcl_Obj* array, std::intptr_t next, Tcl_Obj* varName,
            Tcl_Obj* script) {
    Tcl_NRAddCallback(interp, ForeachNext, array, reinterpret_cast<ClientData>(next), varName,
                      script);
    return Tcl_NREvalObj(interp, script, 0);
}

}  // namespace

int ForeachCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 5) {
        Tcl_WrongNumArgs(interp, 2, objv, "<VarName> <nvec> <script>");
        return SetErrorClass(interp, ErrorClass::Syntax);
    }
    Tcl_Obj* array = objv[3];
    std::optional<ElemType> type = ElemTypeOf(array);
    if (!type) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    if (Length(array) < 1) {
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    // Variable lookup and evaluation convert the name and the script to
    // types of their own. A name or script word that is an array value (the
    // loop's own array, say) is used through a copy of its string, so it
    // keeps its elements; the loop's references keep the copies alive.
    PlainWord nameWord(objv[2]);
    PlainWord scriptWord(objv[4]);
    Tcl_Obj* varName = nameWord.get();
    Tcl_Obj* script = scriptWord.get();
    Tcl_IncrRefCount(array);
    Tcl_IncrRefCount(varName);
    Tcl_IncrRefCount(script);
    if (!SetLoopVar(interp, *type, array, 0, varName)) {
        ReleaseLoop(array, varName, script);
        return TCL_ERROR;
    }
    return RunBody(interp, array, 1, varName, script);
}

}  // namespace nvec
