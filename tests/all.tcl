# Runs every tcltest file of the suite. The package directory of the build
# under test comes from the environment variable NVEC_PKG_DIR (the build
# sets it), or from the first argument. Exits non-zero when a test fails.

package require Tcl 8.6-

set env(NVEC_PKG_DIR) [file normalize [expr {[info exists env(NVEC_PKG_DIR)] ? $env(NVEC_PKG_DIR)
    : [file join [file dirname [info script]] .. build lib nvec]}]]

package require tcltest 2.5
tcltest::configure -testdir [file dirname [file normalize [info script]]] -singleproc 1 {*}$argv
exit [tcltest::runAllTests]
