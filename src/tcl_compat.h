// What differs between Tcl 8.6 and Tcl 9.0 in the part of Tcl's C
// interface that nvec uses, absorbed here so that the other files read the
// same for both: Tcl 9 counts lengths in Tcl_Size (ptrdiff_t) where 8.6
// uses int, sizes blocks in size_t where 8.6 uses unsigned int, and gives
// Tcl_ObjType a version field and list procedures (named by the records in
// obj_types.h).

#pragma once

#include <tcl.h>

#include <climits>
#include <cstddef>
#include <cstdint>

#ifndef TCL_SIZE_MAX  // Tcl 8.6
typedef int Tcl_Size;
#define TCL_SIZE_MAX INT_MAX
#endif

#ifndef TCL_OBJTYPE_V0  // Tcl 8.6: type records end after setFromAnyProc
#define TCL_OBJTYPE_V0
#endif

namespace nvec {

// The size argument of Tcl_Alloc and Tcl_Realloc, and the largest block
// nvec asks them for.
#if TCL_MAJOR_VERSION > 8
using AllocSize = std::size_t;
inline constexpr std::uint64_t kMaxBlockBytes = TCL_SIZE_MAX;
#else
using AllocSize = unsigned;
inline constexpr std::uint64_t kMaxBlockBytes = UINT_MAX;
#endif

// The longest string (and byte array) a Tcl value can hold.
inline constexpr std::uint64_t kMaxValueBytes = TCL_SIZE_MAX;

}  // namespace nvec
