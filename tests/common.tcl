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

set ::nvecTypes {chararray shortarray intarray longarray longlongarray floatarray doublearray}
set ::nvecIntTypes {chararray shortarray intarray longarray longlongarray}
