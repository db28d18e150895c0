# Runs every tcltest file of the suite. The package directory of the build
# under test comes from the environment variable NVEC_PKG_DIR (the build
# sets it), or from the first argument. Exits non-zero when a test fails.

package require Tcl 8.6-

if {[info exists env(NVEC_PKG_DIR)]} {
    set nvecPkgDir $env(NVEC_PKG_DIR)
} else {
    set nvecPkgDir [file join [file dirname [info script]] .. build lib nvec]
}
set env(NVEC_PKG_DIR) [file normalize $nvecPkgDir]

package require tcltest 2.5

tcltest::configure -testdir [file dirname [file normalize [info script]]]
tcltest::configure -singleproc 1
tcltest::configure {*}$argv
set failed [tcltest::runAllTests]
exit $failed
