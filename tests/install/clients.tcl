# Loads an installed nvec and the example extension pointstats, built
# against that installation, into one interpreter and checks what they do
# together. Run by tests/install/run and deb, in a fresh tclsh (8.6 or 9.0):
#   tclsh clients.tcl <nvec Tcl dir> <pointstats Tcl dir> <other nvec package dir>
# (the folders holding nvec1.19/ and pointstats*/; the other package dir
# holds a different libnvec.so). Exits non-zero when a test fails.

lassign $argv nvecDir clientDir otherNvec
set argv {}
package require tcltest 2.5
namespace import -force ::tcltest::*
set auto_path [linsert $auto_path 0 $nvecDir $clientDir]
# The library's name (Tcl 9's naming in a build for Tcl 9).
set libName [expr {[package vsatisfies [package provide Tcl] 9-] ? "libtcl9nvec1.19" : "libnvec"}][info sharedlibextension]
set lib [file join $nvecDir nvec1.19 $libName]
proc loaded {prefix} { lindex [lsearch -inline -exact -index 1 [info loaded {}] $prefix] 0 }
proc bc {points} { pointstats bbox_centroid $points }
proc fails {points} { list [catch {bc $points} m o] $m [dict get $o -errorcode] }

set n 0
foreach {script expected} {
    {list [package require nvec] [loaded Nvec] [package require pointstats] \
        [string match [file join $::clientDir *] [loaded Pointstats]]} {1.19 $lib 1.0 1}
    {bc [nvec new floatarray -values {0 0 0 2 4 6 1 1 1 -1 3 5}]} {bbox {-1.0 0.0 0.0 2.0 4.0 6.0} centroid {0.5 2.0 3.0}}
    {set p [nvec new intarray -values {1 2 3 4 5 6}]; set c [dict get [bc $p] centroid]
        list [nvec type $c] [nvec get $c 2] [nvec scale $c 2] [nvec type $p] $p} {doublearray 4.5 {5.0 7.0 9.0} intarray {1 2 3 4 5 6}}
    {set l {1 2 3  5 6 7}; list [bc $l] $l [dict get [bc {1e308 -1.5e308 0 1e308 -1.5e308 4}] centroid]}
        {{bbox {1.0 2.0 3.0 5.0 6.0 7.0} centroid {3.0 4.0 5.0}} {1 2 3  5 6 7} {1e+308 -1.5e+308 2.0}}
    {lmap p [list abc {} {1 2} [nvec new doublearray -binary [binary format d6 {0 0 0 1 NaN 2}]]] {fails $p}}
        {{1 {pointstats: points must be an nvec array or a list of numbers} {POINTSTATS VALUE}}
         {1 {pointstats: no points} {POINTSTATS VALUE}} {1 {pointstats: 2 coordinates do not make x y z points} {POINTSTATS VALUE}}
         {1 {pointstats: point 1 has a coordinate that is not finite} {POINTSTATS VALUE}}}
    {set c [interp create]; $c eval [list set auto_path $::auto_path]
        set r [$c eval {package require pointstats; list [package present nvec] [pointstats bbox_centroid {1 1 1 3 3 3}]}]
        interp delete $c; set r} {1.19 {bbox {1.0 1.0 1.0 3.0 3.0 3.0} centroid {2.0 2.0 2.0}}}
} {
    test client-[incr n] $script -body $script -result [list {*}[subst -nocommands $expected]]
}

# pointstats loaded before nvec while another libnvec.so comes first on
# auto_path: the dynamic linker takes the installed one from the run path
# (Windows, which has none, from PATH), Tcl loads the other, and pointstats
# must refuse to start rather than call into the copy nobody initialised.
# (Windows names the files in its own form.)
test client-guard {a process that loaded another nvec copy is refused with a message} -body {
    set script [list set auto_path [linsert $auto_path 0 $otherNvec]]
    append script \n [list set lib [loaded Pointstats]] \n {puts [list [catch {load $lib} m] $m]}
    if {$tcl_platform(platform) eq "windows"} {set env(PATH) "[file nativename [file dirname $lib]];$env(PATH)"}
    set names {}
    foreach {file name} [list $lib INSTALLED [file join $otherNvec $libName] OTHER] {
        lappend names $file $name [file nativename [file normalize $file]] $name
    }
    string map $names [exec [info nameofexecutable] << $script]
} -result {1 {pointstats: built against the nvec library INSTALLED, but nvec was loaded from OTHER}}

set failed [expr {$::tcltest::numTests(Failed) > 0}]
cleanupTests
exit $failed
