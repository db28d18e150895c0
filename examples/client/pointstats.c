/*
 * pointstats.c --
 *
 *	A small Tcl extension built on nvec's exported C interface (nvec.h).
 *	It adds one command:
 *
 *	    pointstats bbox_centroid points
 *
 *	points is a flat sequence of x y z coordinates: an nvec array of any
 *	of the seven element types, or a plain list of numbers. The result is
 *	a dictionary of two doublearray values:
 *
 *	    bbox      {xmin ymin zmin xmax ymax zmax}
 *	    centroid  {cx cy cz}
 *
 *	The code shows what another extension needs from nvec: reading an
 *	array of any element type as doubles (the interface converts it),
 *	making new arrays, giving them a length and filling their elements.
 *
 * Linking --
 *
 *	The functions of nvec.h live in libnvec.so (libtcl9nvec1.19.so when
 *	built for Tcl 9; libnvec.dll on Windows), the library in nvec's Tcl
 *	package directory. This extension is built for the same Tcl and linked
 *	against that file (on Windows its import library), with the directory
 *	as its run path. The functions work only in the copy of libnvec.so
 *	that Tcl has loaded and initialised (Nvec_Init binds it to Tcl's stubs
 *	table), so pkgIndex.tcl runs [package require nvec] before loading
 *	this library: the dynamic linker then finds libnvec.so in the process
 *	already and binds to it (the Windows loader takes a loaded DLL of the
 *	same name). CheckNvecBinding below catches the one remaining way to
 *	end up with two copies.
 */

#define _GNU_SOURCE /* dladdr */

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tcl.h>

#include "nvec.h"

#ifndef POINTSTATS_VERSION
#define POINTSTATS_VERSION "1.0"
#endif

/*
 * Sets a message and the error code {POINTSTATS VALUE} as the result of a
 * failed call, and returns TCL_ERROR for the caller to pass on.
 */
static int
ValueError(Tcl_Interp *interp, Tcl_Obj *message)
{
    Tcl_SetObjResult(interp, message);
    Tcl_SetErrorCode(interp, "POINTSTATS", "VALUE", (char *)NULL);
    return TCL_ERROR;
}

/*
 * The mean of n finite values. The plain sum is used unless it overflows;
 * then the values are divided by n before they are added, which keeps
 * every partial sum within the range of the values.
 */
static double
Mean(const double *xyz, int n, int axis)
{
    double sum = 0.0;
    int i;

    for (i = 0; i < n; i++) {
        sum += xyz[3 * i + axis];
    }
    if (isfinite(sum)) {
        return sum / n;
    }
    sum = 0.0;
    for (i = 0; i < n; i++) {
        sum += xyz[3 * i + axis] / n;
    }
    return sum;
}

/*
 * pointstats bbox_centroid points
 *
 * Results: TCL_OK with the dictionary described at the top of this file,
 * or TCL_ERROR with a message. The argument keeps its value and, when it
 * is an nvec array, its element type.
 */
static int
BboxCentroid(Tcl_Interp *interp, Tcl_Obj *pointsObj)
{
    Tcl_Obj *work;
    Tcl_Obj *bboxObj;
    Tcl_Obj *centroidObj;
    Tcl_Obj *result;
    const double *xyz;
    double *centroid;
    double bbox[6];
    int count;
    int npoints;
    int i, k;
    int code = TCL_ERROR;

    /*
     * Tcl_GetDoubleArrayFromObj converts the very object it is given, and
     * every holder of that object sees the new type. An nvec array of
     * another element type is therefore converted in a private copy, so
     * the caller's intarray stays an intarray. A plain list or string is
     * converted in place, as Tcl's own commands do with their arguments:
     * its string stays, and a later call finds the doubles ready.
     */
    if (IsNvec(pointsObj) && strcmp(GetTypeName(pointsObj), "doublearray") != 0) {
        work = Tcl_DuplicateObj(pointsObj);
    } else {
        work = pointsObj;
    }
    Tcl_IncrRefCount(work);

    xyz = Tcl_GetDoubleArrayFromObj(work, &count);
    /* NULL means "empty" or "does not convert"; the type tells which. */
    if (xyz == NULL && strcmp(GetTypeName(work), "doublearray") != 0) {
        ValueError(interp, Tcl_NewStringObj(
            "pointstats: points must be an nvec array or a list of numbers", -1));
        goto done;
    }
    if (count == 0) {
        ValueError(interp, Tcl_NewStringObj("pointstats: no points", -1));
        goto done;
    }
    if (count % 3 != 0) {
        ValueError(interp, Tcl_ObjPrintf(
            "pointstats: %d coordinates do not make x y z points", count));
        goto done;
    }
    npoints = count / 3;

    for (k = 0; k < 3; k++) {
        bbox[k] = bbox[k + 3] = xyz[k];
    }
    for (i = 0; i < npoints; i++) {
        for (k = 0; k < 3; k++) {
            double v = xyz[3 * i + k];

            if (!isfinite(v)) {
                ValueError(interp, Tcl_ObjPrintf(
                    "pointstats: point %d has a coordinate that is not finite", i));
                goto done;
            }
            if (v < bbox[k]) {
                bbox[k] = v;
            }
            if (v > bbox[k + 3]) {
                bbox[k + 3] = v;
            }
        }
    }

    /*
     * A new, empty array given room for three elements, which are then
     * written in place. The object is new, hence unshared, and has no
     * string yet, so nothing needs invalidating after the writes.
     */
    centroidObj = Tcl_NewDoubleArrayObj(NULL, 0);
    centroid = Tcl_SetDoubleArrayLength(centroidObj, 3);
    if (centroid == NULL) {
        /* Frees the new object, which nothing else holds. */
        Tcl_IncrRefCount(centroidObj);
        Tcl_DecrRefCount(centroidObj);
        ValueError(interp, Tcl_NewStringObj("pointstats: out of memory", -1));
        goto done;
    }
    for (k = 0; k < 3; k++) {
        centroid[k] = Mean(xyz, npoints, k);
    }

    /* A new array holding a copy of six doubles. */
    bboxObj = Tcl_NewDoubleArrayObj(bbox, 6);

    result = Tcl_NewDictObj();
    Tcl_DictObjPut(NULL, result, Tcl_NewStringObj("bbox", -1), bboxObj);
    Tcl_DictObjPut(NULL, result, Tcl_NewStringObj("centroid", -1), centroidObj);
    Tcl_SetObjResult(interp, result);
    code = TCL_OK;

done:
    /* Frees the private copy; the caller's object keeps its references. */
    Tcl_DecrRefCount(work);
    return code;
}

/*
 * The command procedure of pointstats: picks the subcommand.
 */
static int
PointstatsObjCmd(ClientData clientData, Tcl_Interp *interp, int objc,
                 Tcl_Obj *const objv[])
{
    static const char *const subcommands[] = {"bbox_centroid", NULL};
    enum { BBOX_CENTROID };
    int index;

    (void)clientData;
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "subcommand ?arg ...?");
        return TCL_ERROR;
    }
    if (Tcl_GetIndexFromObj(interp, objv[1], subcommands, "subcommand", 0, &index) != TCL_OK) {
        return TCL_ERROR;
    }
    switch (index) {
    case BBOX_CENTROID:
        if (objc != 3) {
            Tcl_WrongNumArgs(interp, 2, objv, "points");
            return TCL_ERROR;
        }
        return BboxCentroid(interp, objv[2]);
    }
    return TCL_ERROR; /* not reached */
}

/*
 * Finds the loaded library that holds an address: its base (one per
 * loaded copy) and the name of its file, in name (size bytes). Returns 0
 * when no library holds it.
 */
static int
LibraryOf(const void *address, const void **base, char *name, size_t size)
{
#ifdef _WIN32
    HMODULE module;

    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCSTR)address, &module) ||
        GetModuleFileNameA(module, name, (DWORD)size) == 0) {
        return 0;
    }
    *base = module;
#else
    Dl_info info;

    if (dladdr(address, &info) == 0) {
        return 0;
    }
    *base = info.dli_fbase;
    snprintf(name, size, "%s", info.dli_fname);
#endif
    return 1;
}

/*
 * The canonical name of a file, in a block to free, or NULL.
 */
static char *
CanonicalName(const char *name)
{
#ifdef _WIN32
    return _fullpath(NULL, name, 0);
#else
    return realpath(name, NULL);
#endif
}

/*
 * Makes sure that the libnvec.so this library is bound to is the one
 * whose types the process has registered, that is, the copy Tcl loaded
 * and initialised. Two copies arise only when this library is loaded with
 * [load] while nvec is not yet loaded: the dynamic linker then takes
 * libnvec.so from the run path (Windows: from PATH), and [package require
 * nvec] may load another installation's file. Calling into an
 * uninitialised copy would crash, so initialisation stops with a message
 * instead.
 */
static int
CheckNvecBinding(Tcl_Interp *interp)
{
    const Tcl_ObjType *registered = Tcl_GetObjType("doublearray");
    Tcl_Obj *(*linkedFunction)(const double *, int) = Tcl_NewDoubleArrayObj;
    void *linked;
    const void *loadedBase;
    const void *linkedBase;
    char loadedName[4096];
    char linkedName[4096];

    /* ISO C has no cast from function to object pointers; dladdr and
     * GetModuleHandleEx take the address as a data pointer, so its bytes
     * are copied. */
    memcpy(&linked, &linkedFunction, sizeof linked);
    if (registered == NULL ||
        !LibraryOf(registered, &loadedBase, loadedName, sizeof loadedName) ||
        !LibraryOf(linked, &linkedBase, linkedName, sizeof linkedName)) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(
            "pointstats: cannot locate the nvec library", -1));
        return TCL_ERROR;
    }
    if (loadedBase != linkedBase) {
        /* The run path may spell nvec's folder with ".." (nvec.pc names
         * it relative to its own place), so the file's canonical name is
         * shown. */
        char *canonical = CanonicalName(linkedName);

        Tcl_SetObjResult(interp, Tcl_ObjPrintf(
            "pointstats: built against the nvec library %s, but nvec was "
            "loaded from %s",
            canonical != NULL ? canonical : linkedName, loadedName));
        free(canonical);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/*
 * Pointstats_Init --
 *
 *	Called by [load] (the name follows from libpointstats.so, as from
 *	libtcl9pointstats1.0.so). Binds to Tcl through the stubs table ("8.6-":
 *	Tcl 9 accepts a build against its own headers), makes sure nvec is
 *	loaded, creates the command and provides the package.
 */
DLLEXPORT int
Pointstats_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, "8.6-", 0) == NULL) {
        return TCL_ERROR;
    }
    if (Tcl_PkgRequire(interp, "nvec", "1.19", 0) == NULL) {
        return TCL_ERROR;
    }
    if (CheckNvecBinding(interp) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_CreateObjCommand(interp, "pointstats", PointstatsObjCmd, NULL, NULL);
    return Tcl_PkgProvide(interp, "pointstats", POINTSTATS_VERSION);
}
