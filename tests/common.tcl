# Shared set-up of the test files: loads the package under test and defines
# the constraints and helpers that several files use.

package require tcltest 2.5
namespace import -force ::tcltest::*

# First on auto_path: where several directories offer nvec 1.19, the one
# nearest the front wins, and an installed copy must not stand in for the
# build under test.
if {[lindex $auto_path 0] ne $env(NVEC_PKG_DIR)} {
    set auto_path [linsert $auto_path 0 $env(NVEC_PKG_DIR)]
}
package require nvec 1.19

testConstraint longIs64bit [expr {$tcl_platform(wordSize) == 8}]
testConstraint littleEndian [expr {$tcl_platform(byteOrder) eq "littleEndian"}]
# Where Tcl 9 itself differs from Tcl 8.6, or nvec follows its limits.
testConstraint tcl9 [package vsatisfies [package provide Tcl] 9-]
testConstraint tcl86 [expr {![testConstraint tcl9]}]
# The library's file name (Tcl 9's naming for a build against Tcl 9).
set ::nvecLibFile [expr {[testConstraint tcl9] ? "libtcl9nvec1.19.so" : "libnvec.so"}]

set ::nvecTypes {chararray shortarray intarray longarray longlongarray floatarray doublearray}
set ::nvecIntTypes {chararray shortarray intarray longarray longlongarray}
