// The nvec command: word-count check, subcommand lookup, and the two
// subcommands answered here, length and type.

#include "dispatch.h"

#include "../arrays/obj_types.h"
#include "../subcommands/subcommands.h"
#include "helpers.h"

namespace nvec {

namespace {

int LengthCmd(Tcl_Interp* interp, int /*objc*/, Tcl_Obj* const objv[]) {
    Tcl_Obj* obj = objv[2];
    if (!ElemTypeOf(obj)) return Fail(interp, ErrorClass::Type, kMsgNotAnArray);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(Length(obj)));
    return TCL_OK;
}

int TypeCmd(Tcl_Interp* interp, int /*objc*/, Tcl_Obj* const objv[]) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(TypeNameOf(objv[2]), -1));
    return TCL_OK;
}

struct Subcommand {
    const char* name;
    Handler handler;
};

// Dispatch order; a subcommand's position is its index. Unique prefixes
// are accepted, an exact name wins.
const Subcommand kSubcommands[] = {
    {"length", LengthCmd},
    {"type", TypeCmd},
    {"incr", IncrCmd},
    {"scale", ScaleCmd},
    {"translate", TranslateCmd},
    {"rotate", RotateCmd},
    {"new", NewCmd},
    {"new_from_to", NewFromToCmd},
    {"new_n_from_increment", NewNFromIncrementCmd},
    {"new_structured_connectivities", NewStructuredConnectivitiesCmd},
    {"new_structured_coordinates", NewStructuredCoordinatesCmd},
    {"clone", CloneCmd},
    {"set", SetCmd},
    {"get", GetCmd},
    {"interleave", InterleaveCmd},
    {"deinterleave", DeinterleaveCmd},
    {"range", RangeCmd},
    {"concat", ConcatCmd},
    {"search", SearchCmd},
    {"sort", SortCmd},
    {"reverse", ReverseCmd},
    {"sum", SumCmd},
    {"minimum", MinimumCmd},
    {"maximum", MaximumCmd},
    {"insert", InsertCmd},
    {"remove", RemoveCmd},
    {"replace", ReplaceCmd},
    {"resize", ResizeCmd},
    {"intersection", IntersectionCmd},
    {"union", UnionCmd},
    {"substraction", SubstractionCmd},
    {"renumber", RenumberCmd},
    {"snap", SnapCmd},
    {"get_binary", GetBinaryCmd},
    {"vector_sum", VectorSumCmd},
    {"foreach", ForeachCmd},
    {"replace_value", ReplaceValueCmd},
    {"swap", SwapCmd},
    {"permute", PermuteCmd},
    {"extract", ExtractCmd},
    // The mesh toolkit, after the forty: none of these names makes a
    // unique prefix of the forty ambiguous.
    {"where", WhereCmd},
    {"take", TakeCmd},
    {"assign", AssignCmd},
    {"argsort", ArgsortCmd},
    {"apply", ApplyCmd},
    {"reduce", ReduceCmd},
    {"histogram", HistogramCmd},
    {"text", TextCmd},
    {"byteswap", ByteswapCmd},
    {nullptr, nullptr},
};

static_assert(sizeof kSubcommands / sizeof kSubcommands[0] == 50);

// Shown when the subcommand or its first argument is missing. It does not
// name new_n_from_increment, and "resizeintersection" lacks its separator.
constexpr const char kUsage[] =
    "length|type|incr|scale|translate|rotate|new|new_from_to|new_structured_connectivities|"
    "new_structured_coordinates|clone|set|get|interleave|deinterleave|range|concat|search|sort|"
    "reverse|sum|minimum|maximum|insert|remove|replace|resizeintersection|union|substraction|"
    "renumber|snap|get_binary|vector_sum|foreach|replace_value|swap|permute|extract "
    "<obj>|<type> ?<increment>|<from> <to>|<size>|<index>? ?value?";

}  // namespace

int NvecObjCmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return Tcl_NRCallObjProc(interp, NvecNRObjCmd, clientData, objc, objv);
}

int NvecNRObjCmd(ClientData /*clientData*/, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 1, objv, kUsage);
        return SetErrorClass(interp, ErrorClass::Syntax);
    }
    // Tcl's lookup leaves its own message; an unknown subcommand is a
    // syntax error of the nvec command.
    int index;
    if (Tcl_GetIndexFromObjStruct(interp, objv[1], kSubcommands, sizeof(Subcommand), "option", 0,
                                  &index) != TCL_OK) {
        return SetErrorClass(interp, ErrorClass::Syntax);
    }
    return kSubcommands[index].handler(interp, objc, objv);
}

}  // namespace nvec
