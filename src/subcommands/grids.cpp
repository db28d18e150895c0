// Structured grids: new_structured_connectivities (the cell-to-node table
// of lines, quadrilaterals or hexahedra) and new_structured_coordinates (the
// node coordinates as interleaved x y z triples).
//
// Both number the nodes x fastest, then y, then z: the node at grid
// position (i, j, k) of an nx x ny x nz grid is i + j*nx + k*nx*ny (plus the
// optional offset in the table), so node m of the table is triple m of the
// coordinate array.
//
// Sizes are computed in 64 bits, one factor at a time, and checked against
// the largest payload before the next factor is taken: every factor is
// below 2^31 and every checked product below 2^31, so no product overflows.
// A grid too large for one payload is refused before anything is allocated.

#include <tcl.h>

#include <climits>
#include <cstdint>

#include "../arrays/obj_types.h"
#include "../command/helpers.h"
#include "subcommands.h"

namespace nvec {

namespace {

constexpr const char kMsgDimension[] = "wrong dimension %d, must be 1,2,or 3";

// The counts message of a d-dimensional grid. A 1-dimensional grid has no
// second count; 0 stands in its place.
int FailDimensionValues(Tcl_Interp* interp, int d, const std::int64_t n[3]) {
    if (d == 3) {
        return Failf(interp, ErrorClass::Size, "wrong dimension values: %d %d %d",
                     static_cast<int>(n[0]), static_cast<int>(n[1]), static_cast<int>(n[2]));
    }
    return Failf(interp, ErrorClass::Size, "wrong dimension values: %d %d", static_cast<int>(n[0]),
                 d == 2 ? static_cast<int>(n[1]) : 0);
}

// first * factors[0] * ... * factors[d-1], or -1 when a partial product
// exceeds `limit`. first, the factors and limit are non-negative and below
// 2^31, so each product of a checked value and a factor fits 64 bits.
std::int64_t CheckedProduct(std::int64_t first, const std::int64_t* factors, int d,
                            std::int64_t limit) noexcept {
    std::int64_t n = first;
    if (n > limit) return -1;
    for (int i = 0; i < d; ++i) {
        n *= factors[i];
        if (n > limit) return -1;
    }
    return n;
}

// Writes the corner numbers of every cell of a D-dimensional grid, cells i
// fastest. cells[] are the cell counts per axis (1 for an axis beyond D),
// n[] the node counts. The caller has checked that every node number,
// offset included, fits an int, so the int sums below cannot overflow:
// each partial sum is itself a node number.
template <int D>
void FillConnectivities(int* out, const std::int64_t n[3], const std::int64_t cells[3],
                        int offset) noexcept {
    const int nx = static_cast<int>(n[0]);
    const int nxy = static_cast<int>(n[0] * n[1]);
    const int cx = static_cast<int>(cells[0]);
    for (std::int64_t k = 0; k < cells[2]; ++k) {
        for (std::int64_t j = 0; j < cells[1]; ++j) {
            int b = static_cast<int>(offset + j * nx + k * nxy);
            for (int i = 0; i < cx; ++i, ++b) {
                out[0] = b;
                out[1] = b + 1;
                if constexpr (D >= 2) {
                    out[2] = b + nx + 1;
                    out[3] = b + nx;
                }
                if constexpr (D == 3) {
                    out[4] = b + nxy;
                    out[5] = b + nxy + 1;
                    out[6] = b + nxy + nx + 1;
                    out[7] = b + nxy + nx;
                }
                out += 2 << (D - 1);
            }
        }
    }
}

// Writes x y z for every node, z outermost and x innermost; an axis not
// given (nullptr) contributes 0.
void FillCoordinates(float* out, const float* const axis[3], const std::int64_t n[3]) noexcept {
    for (std::int64_t k = 0; k < n[2]; ++k) {
        const float z = axis[2] != nullptr ? axis[2][k] : 0.0f;
        for (std::int64_t j = 0; j < n[1]; ++j) {
            const float y = axis[1] != nullptr ? axis[1][j] : 0.0f;
            for (std::int64_t i = 0; i < n[0]; ++i) {
                *out++ = axis[0][i];
                *out++ = y;
                *out++ = z;
            }
        }
    }
}

}  // namespace

// nvec new_structured_connectivities {<nx> ?<ny>? ?<nz>?} ?<offset_nodes>?
int NewStructuredConnectivitiesCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3 && objc != 4) {
        return SyntaxError(interp,
                           "new_structured_connectivities {<nx> ?<ny>? ?<nz>?} ?<offset_nodes>?");
    }
    // The count list, a data argument read as an intarray.
    DataArg countsArg(ElemType::Int, objv[2]);
    Tcl_Obj* countsObj = countsArg.get();
    if (countsObj == nullptr || Length(countsObj) == 0) {
        return Fail(interp, ErrorClass::Value, "wrong dimension values");
    }
    const int d = Length(countsObj);
    if (d > 3) {
        return Failf(interp, ErrorClass::Size, kMsgDimension, d);
    }
    // Copied out now: reading the offset converts its word to an integer,
    // which would free the counts' payload when both words are one object.
    std::int64_t n[3] = {1, 1, 1};
    const int* counts = Elements<int>(countsObj);
    for (int i = 0; i < d; ++i) {
        n[i] = counts[i];
    }
    int offset = 0;
    if (objc == 4 && GetIntArg(nullptr, objv[3], &offset) != TCL_OK) {
        return Fail(interp, ErrorClass::Value, "wrong offset_nodes");
    }
    for (int i = 0; i < d; ++i) {
        if (n[i] < 2) {
            return FailDimensionValues(interp, d, n);
        }
    }
    std::int64_t cells[3] = {1, 1, 1};
    for (int i = 0; i < d; ++i) {
        cells[i] = n[i] - 1;
    }
    const std::int64_t entries = CheckedProduct(std::int64_t{1} << d, cells, d, MaxElems<int>());
    if (entries < 0) {
        return FailDimensionValues(interp, d, n);
    }
    // Every count is at most twice its cell count, so the node count is at
    // most the entry count and fits; the largest node number is
    // offset + nodes - 1 and must be an int too.
    const std::int64_t nodes = n[0] * n[1] * n[2];
    if (offset + nodes - 1 > INT32_MAX) {
        return Fail(interp, ErrorClass::Value, "wrong offset_nodes");
    }
    void* payload = TryNewPayload<int>(entries, false);
    if (payload == nullptr) {
        return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    }
    int* out = PayloadData<int>(payload);
    if (d == 1) {
        FillConnectivities<1>(out, n, cells, offset);
    } else if (d == 2) {
        FillConnectivities<2>(out, n, cells, offset);
    } else {
        FillConnectivities<3>(out, n, cells, offset);
    }
    Tcl_SetObjResult(interp, NewArrayObj<int>(payload));
    return TCL_OK;
}

// nvec new_structured_coordinates {<xs> ?<ys>? ?<zs>?}
int NewStructuredCoordinatesCmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) {
        return SyntaxError(interp, "new_structured_coordinates {<xs> ?<ys>? ?<zs>?}");
    }
    // Reading the axes makes the word a list; an array value given here is
    // read through a copy of its string so that it stays an array.
    PlainWord axesWord(objv[2]);
    Tcl_Obj* axesList = axesWord.get();
    Tcl_Size d;
    if (Tcl_ListObjLength(nullptr, axesList, &d) != TCL_OK) {
        d = 0;
    }
    if (d < 1 || d > 3) {
        // Tcl 9 lists may be longer than an int counts.
        return Failf(interp, ErrorClass::Size, kMsgDimension,
                     static_cast<int>(d > INT_MAX ? INT_MAX : d));
    }
    // Each axis list is a data argument read as a floatarray. Reading one
    // axis cannot disturb another: an axis that is the same object as an
    // earlier one is already a floatarray (or was read through a copy of
    // its own) and is left as it is.
    DataArg axisArgs[3];
    Tcl_Obj* axes[3] = {nullptr, nullptr, nullptr};
    for (int idim = 0; idim < d; ++idim) {
        Tcl_Obj* word;
        Tcl_ListObjIndex(nullptr, axesList, idim, &word);
        Tcl_Obj* axis = axisArgs[idim].Read(ElemType::Float, word) ? axisArgs[idim].get() : nullptr;
        if (axis == nullptr || Length(axis) == 0) {
            return Fail(interp, ErrorClass::Value, "wrong values");
        }
        // The check compares the stored single-precision values; a NaN is
        // never greater, so it fails wherever it follows another value.
        const float* v = Elements<float>(axis);
        const int len = Length(axis);
        for (int p = 1; p < len; ++p) {
            if (!(v[p] > v[p - 1])) {
                return Failf(interp, ErrorClass::Value,
                             "idim %d wrong values[%d]=%f value, must be an increasing list of "
                             "real numbers",
                             idim, p, static_cast<double>(v[p]));
            }
        }
        axes[idim] = axis;
    }
    std::int64_t n[3] = {1, 1, 1};
    const float* data[3] = {nullptr, nullptr, nullptr};
    for (int idim = 0; idim < d; ++idim) {
        n[idim] = Length(axes[idim]);
        data[idim] = Elements<float>(axes[idim]);
    }
    const std::int64_t total = CheckedProduct(3, n, 3, MaxElems<float>());
    if (total < 0) {
        return FailDimensionValues(interp, d, n);
    }
    void* payload = TryNewPayload<float>(total, false);
    if (payload == nullptr) {
        return Fail(interp, ErrorClass::Memory, kMsgNoMemory);
    }
    FillCoordinates(PayloadData<float>(payload), data, n);
    Tcl_SetObjResult(interp, NewArrayObj<float>(payload));
    return TCL_OK;
}

}  // namespace nvec
