// Handlers of the nvec subcommands. Each takes the interpreter and the
// unchanged objc/objv of the nvec command (objv[2] is the first argument)
// and returns TCL_OK or TCL_ERROR with its value or message in the result.

#pragma once

#include <tcl.h>

namespace nvec {

using Handler = int (*)(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

// construction.cpp
int NewCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int NewFromToCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int NewNFromIncrementCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int CloneCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int SetCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int GetCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int GetBinaryCmd(Tcl_Interp*, int, Tcl_Obj* const[]);

// grids.cpp
int NewStructuredConnectivitiesCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int NewStructuredCoordinatesCmd(Tcl_Interp*, int, Tcl_Obj* const[]);

// layout.cpp
int InterleaveCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int DeinterleaveCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int RangeCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ReverseCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int SwapCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int PermuteCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ExtractCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ConcatCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int InsertCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int RemoveCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ReplaceCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ResizeCmd(Tcl_Interp*, int, Tcl_Obj* const[]);

// arithmetic.cpp
int IncrCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ScaleCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int SnapCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ReplaceValueCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int TranslateCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int RotateCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int SumCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int MinimumCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int MaximumCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int VectorSumCmd(Tcl_Interp*, int, Tcl_Obj* const[]);

// ordering.cpp
int SearchCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int SortCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int IntersectionCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int UnionCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int SubstractionCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int RenumberCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ArgsortCmd(Tcl_Interp*, int, Tcl_Obj* const[]);

// masks.cpp: comparison masks, gather and scatter, arithmetic between arrays
int WhereCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int TakeCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int AssignCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ApplyCmd(Tcl_Interp*, int, Tcl_Obj* const[]);

// tables.cpp: per-component reductions, counts, row output, byte order
int ReduceCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int HistogramCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int TextCmd(Tcl_Interp*, int, Tcl_Obj* const[]);
int ByteswapCmd(Tcl_Interp*, int, Tcl_Obj* const[]);

// src/command/foreach.cpp: runs through Tcl's non-recursive evaluation,
// so it must be called from the dispatcher's NR procedure.
int ForeachCmd(Tcl_Interp*, int, Tcl_Obj* const[]);

}  // namespace nvec
