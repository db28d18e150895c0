# Loads an installed nvec and the example extension pointstats, built
# against that installation, into one interpreter and checks what they do
# together. Run by tests/install/run, in a fresh tclsh8.6:
#   tclsh8.6 clients.tcl <nvec Tcl dir> <pointstats Tcl dir> <other nvec package dir>
# The Tcl dirs are the folders holding nvec1.19/ and pointstats*/; the other
# package dir holds a different libnvec.so (a build tree's).
# Exits non-zero when a test fails.

lassign $argv nvecDir clientDir otherNvec
set argv {} ;# tcltest would read the arguments as its options
package require tcltest 2.5
namespace import -force ::tcltest::*

set auto_path [linsert $auto_path 0 $nvecDir $clientDir]
# The library's name in a build for Tcl 9.
set nvecLib [expr {[package vsatisfies [package provide Tcl] 9-] ? "libtcl9nvec1.19.so" : "libnvec.so"}]

proc loadedFile {prefix} {
    lindex [lsearch -inline -exact -index 1 [info loaded {}] $prefix] 0
}

test install-1.1 {package require nvec finds the installed package directory} {
    list [package require nvec] [loadedFile Nvec]
} [list 1.19 [file join $nvecDir nvec1.19 $nvecLib]]

test install-1.2 {pointstats loads beside it, from its own package directory} {
    list [package require pointstats] \
        [string match [file join $clientDir *] [loadedFile Pointstats]] \
        [loadedFile Nvec]
} [list 1.0 1 [file join $nvecDir nvec1.19 $nvecLib]]

test client-1.1 {bounding box and centroid of a floatarray of points} {
    pointstats bbox_centroid [nvec new floatarray -values {0 0 0 2 4 6 1 1 1 -1 3 5}]
} {bbox {-1.0 0.0 0.0 2.0 4.0 6.0} centroid {0.5 2.0 3.0}}

test client-1.2 {the results are doublearrays that nvec works on} -body {
    set r [pointstats bbox_centroid {1 2 3 3 6 9}]
    set c [dict get $r centroid]
    list [nvec type [dict get $r bbox]] [nvec type $c] [nvec length $c] \
        [nvec get $c 2] [nvec scale $c 2]
} -result {doublearray doublearray 3 6.0 {4.0 8.0 12.0}}

test client-1.3 {an array of another type is read through a copy and keeps its type} -body {
    set p [nvec new intarray -values {1 2 3 4 5 6}]
    set q $p
    list [pointstats bbox_centroid $p] [nvec type $p] [nvec type $q] $p
} -result {{bbox {1.0 2.0 3.0 4.0 5.0 6.0} centroid {2.5 3.5 4.5}} intarray intarray {1 2 3 4 5 6}}

test client-1.4 {every element type converts to doubles} -body {
    set out {}
    foreach {type values} {
        chararray {200 0 255 0 1 2}
        shortarray {-32768 0 1 32767 2 3}
        longarray {-7 0 8 7 0 -8}
        longlongarray {4611686018427387904 0 0 0 0 0}
        doublearray {0.25 0.5 -0.75 0.25 0.5 -0.75}
    } {
        set a [nvec new $type -values $values]
        lappend out [pointstats bbox_centroid $a] [nvec type $a]
    }
    join $out \n
} -result [join {
    {bbox {0.0 0.0 2.0 200.0 1.0 255.0} centroid {100.0 0.5 128.5}} chararray
    {bbox {-32768.0 0.0 1.0 32767.0 2.0 3.0} centroid {-0.5 1.0 2.0}} shortarray
    {bbox {-7.0 0.0 -8.0 7.0 0.0 8.0} centroid {0.0 0.0 0.0}} longarray
    {bbox {0.0 0.0 0.0 4.611686018427388e+18 0.0 0.0} centroid {2.305843009213694e+18 0.0 0.0}} longlongarray
    {bbox {0.25 0.5 -0.75 0.25 0.5 -0.75} centroid {0.25 0.5 -0.75}} doublearray
} \n]

test client-1.5 {a float's exact value reaches the result} {
    pointstats bbox_centroid [nvec new floatarray -values {0.1 0 0}]
} {bbox {0.10000000149011612 0.0 0.0 0.10000000149011612 0.0 0.0} centroid {0.10000000149011612 0.0 0.0}}

test client-1.6 {a plain list keeps its string} -body {
    set l {1 2 3  5 6 7}
    list [pointstats bbox_centroid $l] $l
} -result {{bbox {1.0 2.0 3.0 5.0 6.0 7.0} centroid {3.0 4.0 5.0}} {1 2 3  5 6 7}}

test client-1.7 {the centroid of huge coordinates does not overflow} {
    dict get [pointstats bbox_centroid {1e308 -1.5e308 0 1e308 -1.5e308 4}] centroid
} {1e+308 -1.5e+308 2.0}

test client-2.1 {usage} -body {
    list [catch {pointstats} m1] $m1 [catch {pointstats bbox_centroid} m2] $m2 \
        [catch {pointstats bbox_centroid {1 2 3} x} m3] $m3 [catch {pointstats box {}} m4] $m4
} -result [list 1 {wrong # args: should be "pointstats subcommand ?arg ...?"} \
    1 {wrong # args: should be "pointstats bbox_centroid points"} \
    1 {wrong # args: should be "pointstats bbox_centroid points"} \
    1 {bad subcommand "box": must be bbox_centroid}]

test client-2.2 {values that are no points} -body {
    set out {}
    foreach points {abc {1 2 x} {} {1 2} {1 2 3 4}} {
        lappend out [catch {pointstats bbox_centroid $points} m opts] $m \
            [dict get $opts -errorcode]
    }
    join $out \n
} -result [join {
    1 {pointstats: points must be an nvec array or a list of numbers} {POINTSTATS VALUE}
    1 {pointstats: points must be an nvec array or a list of numbers} {POINTSTATS VALUE}
    1 {pointstats: no points} {POINTSTATS VALUE}
    1 {pointstats: 2 coordinates do not make x y z points} {POINTSTATS VALUE}
    1 {pointstats: 4 coordinates do not make x y z points} {POINTSTATS VALUE}
} \n]

test client-2.3 {a coordinate that is not finite is refused, naming its point} -body {
    set nan [nvec new doublearray -binary [binary format d6 {0 0 0 1 NaN 2}]]
    set inf [nvec new floatarray -values {0 0 0 1 1 1 -Inf 0 0}]
    list [catch {pointstats bbox_centroid $nan} m1] $m1 [catch {pointstats bbox_centroid $inf} m2] $m2 \
        [nvec type $inf] [nvec length $inf]
} -result {1 {pointstats: point 1 has a coordinate that is not finite} 1 {pointstats: point 2 has a coordinate that is not finite} floatarray 9}

test client-3.1 {both extensions load into a child interpreter as well} -setup {
    set child [interp create]
} -body {
    $child eval [list set auto_path $auto_path]
    $child eval {
        package require pointstats
        list [package present nvec] \
            [pointstats bbox_centroid [nvec new shortarray -values {1 1 1 3 3 3}]]
    }
} -cleanup {
    interp delete $child
} -result {1.19 {bbox {1.0 1.0 1.0 3.0 3.0 3.0} centroid {2.0 2.0 2.0}}}

# pointstats loaded with [load] before nvec, while another libnvec.so comes
# first on auto_path: the dynamic linker takes the installed libnvec.so
# from the run path, Tcl loads the other file, and pointstats must refuse
# to start rather than call into the copy that nobody initialised.
test client-4.1 {a process that loaded another nvec copy is refused with a message} -body {
    set lib [loadedFile Pointstats]
    set script [list set auto_path [linsert $auto_path 0 $otherNvec]]
    append script \n [list set lib $lib] \n {puts [list [catch {load $lib} m] $m]}
    set out [exec [info nameofexecutable] << $script]
    string map [list [file join $nvecDir nvec1.19 $nvecLib] INSTALLED \
        [file join $otherNvec $nvecLib] OTHER] $out
} -result {1 {pointstats: built against the nvec library INSTALLED, but nvec was loaded from OTHER}}

set failed [expr {$::tcltest::numTests(Failed) > 0}]
cleanupTests
exit $failed
