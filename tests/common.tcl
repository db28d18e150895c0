# Shared set-up of the test files: loads the package under test and defines
# the constraints and helpers that several files use.

package require tcltest 2.5
namespace import -force ::tcltest::*

if {[lsearch -exact $auto_path $env(NVEC_PKG_DIR)] < 0} {
    lappend auto_path $env(NVEC_PKG_DIR)
}
package require nvec 1.19

testConstraint longIs64bit [expr {$tcl_platform(wordSize) == 8}]
testConstraint littleEndian [expr {$tcl_platform(byteOrder) eq "littleEndian"}]

set ::nvecTypes {chararray shortarray intarray longarray longlongarray floatarray doublearray}
set ::nvecIntTypes {chararray shortarray intarray longarray longlongarray}
