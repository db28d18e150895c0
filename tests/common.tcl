# Shared set-up of the test files: loads the build under test, describes
# the seven element types by their widths, and runs the two kinds of table
# the files are made of: rows of results, and calls that must fail.

package require tcltest 2.5
namespace import -force ::tcltest::*

# First on auto_path: where several directories offer nvec 1.19, the one
# nearest the front wins, and an installed copy must not stand in for the
# build under test.
if {[lindex $auto_path 0] ne $env(NVEC_PKG_DIR)} {set auto_path [linsert $auto_path 0 $env(NVEC_PKG_DIR)]}
package require nvec 1.19

# Where Tcl 9 itself differs from Tcl 8.6, or nvec follows its limits.
testConstraint tcl9 [package vsatisfies [package provide Tcl] 9-]
testConstraint tcl86 [expr {![testConstraint tcl9]}]
# Where the array types carry Tcl 9's list procedures: 9.0.2 and later.
testConstraint listProcs [expr {[package vsatisfies [info patchlevel] 9.0.2-]}]

# Bytes per element (chararray is unsigned, the last two are floating).
set ::typeWidth [list chararray 1 shortarray 2 intarray 4 longarray $tcl_platform(wordSize) \
    longlongarray 8 floatarray 4 doublearray 8]
set ::nvecTypes [dict keys $::typeWidth]
proc width {t} { dict get $::typeWidth $t }
proc isFloat {t} { expr {$t in {floatarray doublearray}} }
# The least and the greatest element of an integer type.
proc lo {t} { expr {$t eq "chararray" ? 0 : -2**(8 * [width $t] - 1)} }
proc hi {t} { expr {$t eq "chararray" ? 255 : 2**(8 * [width $t] - 1) - 1} }

# Fresh arrays from a fresh list (a literal converted in place would change
# for every later use), and a fresh copy of a value's string.
proc arr {type args} { nvec new $type -values $args }
proc ia {args} { nvec new intarray -values $args }
proc text {value} { set s ""; append s $value }
# The string form type gives the values, for expected results.
proc form {type args} { text [nvec new $type -values $args] }

# Rows of a script and its result (substituted; a list where it spans
# lines): one test each, named by the script, which runs in its own scope.
proc results {prefix rows {constraints {}}} {
    set n 0
    foreach {script expected} $rows {
        set expected [uplevel 1 [list subst $expected]]
        if {[string match *\n* $expected]} {set expected [list {*}$expected]}
        test $prefix-[incr n] $script -constraints $constraints \
            -body [list apply [list {} $script ::]] -result $expected
    }
}

# Calls that must fail run in an interpreter of their own: Tcl shares
# literal words across the scripts of one interpreter, and a call may
# convert its words, which the other files must not see. Every call gets
# fresh fixtures: a 6 unsorted elements, b 4 increasing, one a single 0, e
# empty, d and c of other element types, L a plain list. Their raw bytes,
# type and string are compared before and after the call.
if {![interp exists failing]} {
    interp create failing
    failing eval [list set auto_path $auto_path] \; [list set types $nvecTypes] \; {
        package require nvec
        proc text {value} { set s ""; append s $value }
        proc snapshot {} {
            uplevel 1 {lmap n {a b one e d c L} {
                set t [nvec type [set $n]]
                list $n $t [expr {$t in $::types ? [nvec get_binary [set $n]] : ""}] [text [set $n]]
            }}
        }
        # The code, message, error code and changed fixtures of one call.
        proc tryCall {call} {
            foreach {n t v} {a intarray {3 1 4 1 5 9} b intarray {1 2 3 4} one intarray 0 e intarray {}
                             d doublearray {0.5 1.5 2.5} c chararray {1 2 3}} {
                set $n [nvec new $t -values [text $v]]
            }
            set L [lrange {1 2 3 4} 0 2]
            set before [snapshot]
            set code [catch $call msg opts]
            set changed [lmap x $before y [snapshot] {if {$x eq $y} continue; lindex $x 0}]
            list $code $msg [lrange [expr {$code ? [dict get $opts -errorcode] : ""}] 0 1] $changed
        }
    }
}

# The table of failing calls: an error class, a message, then the calls
# that must fail with exactly that message and class, leaving every fixture
# as it was (one test each). The class is SYNTAX, TYPE, INDEX, VALUE, SIZE
# or MEMORY (error code {NVEC CLASS}), or TCL for Tcl's own codes. GUARD
# and a fault name the following tests after the fault they guard against
# (GUARD {} ends that). The tests get the constraints given.
proc failures {prefix table {constraints {}}} {
    set guard {}
    foreach word $table {
        if {[info exists next]} {
            set $next [uplevel 1 [list subst -nocommands -nobackslashes $word]]
            unset next
        } elseif {$word in {GUARD SYNTAX TYPE INDEX VALUE SIZE MEMORY TCL}} {
            set next [expr {$word eq "GUARD" ? "guard" : "message"}]
            if {$word ne "GUARD"} {set class $word}
        } else {
            test "$prefix[expr {$guard eq "" ? "" : " (guard: $guard)"}]: $word" {} -constraints $constraints -body {
                lassign [failing eval [list tryCall $word]] code msg errorCode changed
                if {$class eq "TCL" ? [lindex $errorCode 0] eq "NVEC" : $errorCode ne [list NVEC $class]} {
                    lappend msg "error code $errorCode"
                }
                list $code $msg {*}$changed
            } -result [list 1 $message]
        }
    }
}
