# nvec against plain Tcl lists, doing the same job the way a Tcl script
# would write it, on the same numbers in the same run. Prints one table:
# for each row the median time of nvec, of the list alternative, and the
# ratio alternative / nvec (above 1 nvec is faster).
#
# Usage: <tclsh> bench/compare.tcl <package dir> ?-quick?
# -quick leaves out the rows of 10^7 elements.
#
# Times are processor time of the interpreter's thread where the shell
# offers a `cputime` command (the bench's nvec_cpu_tclsh does): on a
# machine shared with other work, time the scheduler gives to other
# processes is not counted. In a plain tclsh they are wall-clock time.

if {[llength $argv] < 1} {
    puts stderr "usage: tclsh8.6|tclsh9.0 bench/compare.tcl <package dir> ?-quick?"
    exit 2
}
set tcl9 [package vsatisfies [package provide Tcl] 9-]
set pkgDir [file normalize [lindex $argv 0]]
set quick [expr {"-quick" in $argv}]
set auto_path [linsert $auto_path 0 $pkgDir]
package require nvec

# ---- timing ---------------------------------------------------------------

if {[info commands cputime] ne ""} {
    set clockName "processor time"
    proc now {} { cputime }
} else {
    set clockName "wall-clock time"
    proc now {} { expr {[clock microseconds] / 1e6} }
}

proc median {xs} {
    set s [lsort -real $xs]
    return [lindex $s [expr {[llength $s] / 2}]]
}

# The seconds of `body` in each of reps runs, `setup` run untimed before
# each; both in the scope `level` up. Runs that take over half a second
# each stop after three, to keep the whole benchmark within its time
# budget. With count > 1 the body runs count times per run and the time of
# one is taken.
proc runTimes {level reps setup body count} {
    set times {}
    set total 0.0
    for {set r 0} {$r < $reps} {incr r} {
        uplevel $level $setup
        set t0 [now]
        for {set k 0} {$k < $count} {incr k} {
            uplevel $level $body
        }
        set t [expr {[now] - $t0}]
        lappend times [expr {$t / $count}]
        set total [expr {$total + $t}]
        if {$r >= 2 && $total > 1.5} break
    }
    return $times
}

# The median of those times, in the caller's scope.
proc measure {reps setup body {count 1}} {
    median [runTimes 2 $reps $setup $body $count]
}

# The least of them: for the rows against numpy, which take each side's
# best run over blocks taken in turn.
proc best {reps setup body {count 1}} {
    tcl::mathfunc::min {*}[runTimes 2 $reps $setup $body $count]
}

# The lesser of two times, "" standing for none: a side's best run so far.
proc least {a b} {
    if {$a eq ""} {return $b}
    if {$b eq ""} {return $a}
    expr {min($a, $b)}
}

set rows {}
# Adds a row: label, nvec seconds, alternative's label, its seconds, and
# the least ratio wanted ("" when the row only informs).
proc row {label nvecTime altLabel altTime {target ""}} {
    lappend ::rows [list $label $nvecTime $altLabel $altTime $target]
    # Progress on stderr, so that a slow run shows where it is.
    puts -nonewline stderr "."
    flush stderr
}

# ---- data -----------------------------------------------------------------

# Random doubles in [-1000, 1000) with full shortest digits, and random
# integers in [0, 10^7), from Tcl's own generator with a fixed seed; the
# same numbers serve both sides of each row.
expr {srand(2026)}
proc randomDoubles {n} {
    set l {}
    for {set i 0} {$i < $n} {incr i} {
        lappend l [expr {rand() * 2000.0 - 1000.0}]
    }
    return $l
}
proc randomInts {n} {
    set l {}
    for {set i 0} {$i < $n} {incr i} {
        lappend l [expr {int(rand() * 10000000)}]
    }
    return $l
}
# A fresh copy of a string: parsing converts its argument in place.
proc fresh {s} { string range $s 0 end }

set M 1000000
set dl [randomDoubles $M]
set il [randomInts $M]
set dtext [join $dl " "]
set itext [join $il " "]

# ---- building arrays -------------------------------------------------------

# nvec: new -values on the text; Tcl: the list parse plus the numeric
# conversion of every element (llength, then max over all of them, which
# reads each element as a number in place). Then from a list of number
# strings, as split of a file's line gives (nvec parses the list's string).
# With tclReps 1 the Tcl side runs once: over 10^7 numbers it takes seconds.
proc buildRows {type text n label reps tclReps target} {
    set t1 [measure $reps {set s [fresh $text]} {nvec new $type -values $s}]
    set t2 [measure $tclReps {set s [fresh $text]} {llength $s; tcl::mathfunc::max {*}$s}]
    row "new $type string $label" $t1 "llength + numbers" $t2 $target
    set list [split $text " "]
    set t1 [measure $reps {set l [lrange $list 0 end]} {nvec new $type -values $l}]
    # Tcl needs fresh element objects for every run.
    set t2 [measure $tclReps {set l [split $text " "]} {tcl::mathfunc::max {*}$l}]
    row "new $type list $label" $t1 "numbers of a list" $t2
}
buildRows doublearray $dtext $M 1e6 5 5 ""
buildRows intarray $itext $M 1e6 5 5 ""

# ---- string form -----------------------------------------------------------

set da [nvec new doublearray -values [fresh $dtext]]
set ia [nvec new intarray -values [fresh $itext]]
# Tcl: a fresh list of fresh number objects without strings each time (the
# list and its elements would otherwise keep the strings of the last run).
set t1 [measure 5 {set b [nvec clone $da]} {string length $b}]
set t2 [measure 5 {set l [lmap x $dl {expr {$x + 0.0}}]} {string length $l}]
row "string form doublearray 1e6" $t1 "string of list" $t2
set t1 [measure 5 {set b [nvec clone $ia]} {string length $b}]
set t2 [measure 5 {set l [lmap x $il {expr {$x + 0}}]} {string length $l}]
row "string form intarray 1e6" $t1 "string of list" $t2

# ---- sort ------------------------------------------------------------------

# The list elements are numbers after the first run, which favours lsort.
set t1 [measure 5 {set b [nvec clone $da]} {nvec sort $b}]
set t2 [measure 5 {} {lsort -real $dl}]
row "sort doublearray 1e6" $t1 "lsort -real" $t2 20
set t1 [measure 5 {set b [nvec clone $ia]} {nvec sort $b}]
set t2 [measure 5 {} {lsort -integer $il}]
row "sort intarray 1e6" $t1 "lsort -integer" $t2 20
# Many repeats: integers in [0, 1000).
set rl [lmap x $il {expr {$x % 1000}}]
set ra [nvec new intarray -values [fresh [join $rl " "]]]
set t1 [measure 5 {set b [nvec clone $ra]} {nvec sort -unique $b}]
set t2 [measure 5 {} {lsort -integer -unique $rl}]
row "sort -unique intarray 1e6" $t1 "lsort -int -unique" $t2
set t1 [measure 5 {set b [nvec clone $da]} {nvec sort -unique $b}]
set t2 [measure 5 {} {lsort -real -unique $dl}]
row "sort -unique doublearray 1e6" $t1 "lsort -real -unique" $t2

# ---- search ----------------------------------------------------------------

# A value that is not there: the whole array is scanned.
set t1 [measure 5 {} {nvec search $ia -1} 20]
set t2 [measure 5 {} {lsearch -exact $il -1} 20]
row "search intarray 1e6" $t1 "lsearch -exact" $t2
set t1 [measure 5 {} {nvec search $da 5000.5} 20]
set t2 [measure 5 {} {lsearch -exact $dl 5000.5} 20]
row "search doublearray 1e6" $t1 "lsearch -exact" $t2

# ---- element-wise arithmetic and sum ----------------------------------------

set t1 [measure 5 {} {nvec incr $da 1.5} 10]
set t2 [measure 5 {} {set l2 [lmap x $dl {expr {$x + 1.5}}]}]
row "incr doublearray 1e6" $t1 "lmap expr +" $t2
set t1 [measure 5 {} {nvec scale $da -1.0} 10]
set t2 [measure 5 {} {set l2 [lmap x $dl {expr {$x * -1.0}}]}]
row "scale doublearray 1e6" $t1 "lmap expr *" $t2
set t1 [measure 5 {} {nvec incr $ia 1} 10]
set t2 [measure 5 {} {set l2 [lmap x $il {expr {$x + 1}}]}]
row "incr intarray 1e6" $t1 "lmap expr +" $t2
unset -nocomplain l2
set t1 [measure 5 {} {nvec sum $da} 10]
set t2 [measure 5 {} {tcl::mathop::+ {*}$dl}]
row "sum doublearray 1e6" $t1 "mathop::+ {*}" $t2
set t1 [measure 5 {} {nvec sum $ia} 10]
set t2 [measure 5 {} {tcl::mathop::+ {*}$il}]
row "sum intarray 1e6" $t1 "mathop::+ {*}" $t2

# ---- foreach ---------------------------------------------------------------

# The same body over the same integers, each loop in a procedure of its
# own (where Tcl's foreach keeps its variable in a compiled slot, and the
# body of nvec foreach, a script of its own, finds it by name), then at
# global level (both by name).
proc nvecLoop {a} {
    set s 0
    set t0 [now]
    nvec foreach x $a {incr s $x}
    expr {[now] - $t0}
}
proc tclLoop {l} {
    set s 0
    set t0 [now]
    foreach x $l {incr s $x}
    expr {[now] - $t0}
}
# The median of each script's result (its own time) over 5 rounds, the
# scripts taking turns within a round; in the caller's scope.
proc medians {args} {
    set times [lrepeat [llength $args] {}]
    for {set r 0} {$r < 5} {incr r} {
        for {set i 0} {$i < [llength $args]} {incr i} {
            lset times $i end+1 [uplevel 1 [lindex $args $i]]
        }
    }
    lmap t $times {median $t}
}
lassign [medians {nvecLoop $ia} {tclLoop $il}] t1 t2
row "foreach intarray 1e6 (proc)" $t1 "foreach" $t2 0.67
set s 0
set t1 [measure 5 {set s 0} {nvec foreach x $ia {incr s $x}}]
set t2 [measure 5 {set s 0} {foreach x $il {incr s $x}}]
row "foreach intarray 1e6 (global)" $t1 "foreach" $t2 0.67

# ---- Tcl 9: Tcl's own list commands on arrays -------------------------------

# Tcl 9 reads an array through the list procedures of its type: foreach,
# lrange, in make no string and no list of it.
if {$tcl9} {
    lassign [medians {tclLoop $ia} {tclLoop $il}] t1 t2
    row "Tcl foreach intarray 1e6 (proc)" $t1 "foreach over list" $t2 0.8
    # Each element read this way is a new Tcl value, as it is for Tcl 9's
    # own lseq: the same loop over an lseq, for comparison.
    set sq [lseq 1000000]
    row "Tcl foreach lseq 1e6 (proc)" [medians {tclLoop $sq}] "foreach over list" $t2
    unset sq
    # The array's slice is a copy of its elements; a Tcl 9 list's shares
    # the list's storage.
    set t1 [measure 5 {} {lrange $ia 100000 899999} 10]
    set t2 [measure 5 {} {lrange $il 100000 899999} 10]
    row "lrange 8e5 of intarray 1e6" $t1 "lrange of list" $t2
    set t1 [measure 5 {} {lreverse $ia} 10]
    set t2 [measure 5 {} {lreverse $il} 10]
    row "lreverse intarray 1e6" $t1 "lreverse of list" $t2
    # A value that is not there: every element is compared.
    set t1 [measure 5 {} {expr {"-1" in $ia}} 10]
    set t2 [measure 5 {} {expr {"-1" in $il}} 10]
    row "in intarray 1e6 (absent)" $t1 "in list" $t2
    set t1 [measure 5 {} {expr {"5000.5" in $da}} 10]
    set t2 [measure 5 {} {expr {"5000.5" in $dl}} 10]
    row "in doublearray 1e6 (absent)" $t1 "in list" $t2
}

# ---- 10^7 elements ---------------------------------------------------------

if {!$quick} {
    # Integers: Tcl's reading of 10^7 doubles alone takes over 20 seconds.
    set big [string range [nvec concat {*}[lrepeat 10 $ia]] 0 end]
    set t1 [measure 3 {set s [fresh $big]} {nvec new intarray -values $s}]
    set t2 [measure 1 {set s [fresh $big]} {llength $s; tcl::mathfunc::max {*}$s}]
    row "new intarray string 1e7" $t1 "llength + numbers" $t2 10
    set list [split $big " "]
    set t1 [measure 3 {set l [lrange $list 0 end]} {nvec new intarray -values $l}]
    set t2 [measure 1 {} {tcl::mathfunc::max {*}$list}]
    row "new intarray list 1e7" $t1 "numbers of a list" $t2
    unset big list s l
    if {$tcl9} {
        # Constant time whatever the length: against the same commands on
        # the list of 10^6 numbers.
        set big [nvec concat {*}[lrepeat 10 $ia]]
        set t1 [measure 5 {} {
            for {set k 0} {$k < 1000} {incr k} {llength $big; lindex $big end; lindex $big 5000000}
        }]
        set t2 [measure 5 {} {
            for {set k 0} {$k < 1000} {incr k} {llength $il; lindex $il end; lindex $il 500000}
        }]
        row "1000 llength+lindex intarray 1e7" $t1 "same on list 1e6" $t2
        unset big
    }
}

# ---- the mesh toolkit against numpy ----------------------------------------

source [file join [file dirname [info script]] rows_masks.tcl]
source [file join [file dirname [info script]] rows_tables.tcl]

# ---- memory ----------------------------------------------------------------

# Resident memory taken by 10^6 doubles, measured in a fresh interpreter
# (a child tclsh) as the growth of its resident set (/proc/self/statm)
# while it builds the value: a doublearray, or a list of distinct double
# objects without strings (the least a list of numbers can take).
set memScript {
    set auto_path [linsert $auto_path 0 [lindex $argv 0]]
    package require nvec
    proc rss {} {
        set f [open /proc/self/statm]
        set pages [lindex [read $f] 1]
        close $f
        return [expr {$pages * 4096}]
    }
    set n 1000000
    set r0 [rss]
    if {[lindex $argv 1] eq "nvec"} {
        set v [nvec new doublearray $n 0.5]
    } elseif {[lindex $argv 1] eq "read"} {
        # Tcl 9: 10^7 ints read by llength and lindex, then by foreach in
        # a procedure; the growth after each.
        set v [nvec new_from_to intarray 1 [expr {10 * $n}]]
        llength $v
        lindex $v end
        set r1 [rss]
        apply {v {foreach x $v {}}} $v
        puts [list [expr {$r1 - $r0}] [expr {[rss] - $r0}]]
        exit
    } else {
        set v {}
        for {set i 0} {$i < $n} {incr i} {lappend v [expr {$i * 0.5}]}
    }
    puts [expr {[rss] - $r0}]
}
set f [file tempfile memFile nvec-memory.tcl]
puts $f $memScript
close $f
set memNvec [exec [info nameofexecutable] $memFile $pkgDir nvec]
set memList [exec [info nameofexecutable] $memFile $pkgDir list]
if {$tcl9 && !$quick} {
    lassign [exec [info nameofexecutable] $memFile $pkgDir read] memRead memLoop
}
file delete $memFile
puts stderr ""

# ---- table -----------------------------------------------------------------

puts ""
puts "nvec against Tcl lists (median of 5 runs, of 3 where runs take over half a second,"
puts "one run for the Tcl side of the 1e7 rows; times in ms of $clockName;"
puts "ratio = Tcl / nvec, above 1 nvec is faster; target: the least ratio wanted;"
puts "where, take and apply against numpy: each side's best run over 3 blocks of 5, in turn)"
puts ""
puts [format "%-32s %10s  %-20s %10s %8s  %s" row nvec alternative time ratio target]
foreach r $rows {
    lassign $r label a altLabel b target
    set ratio [expr {$b / $a}]
    set t -
    if {$target ne ""} {
        set t [format ">=%s %s" $target [expr {$ratio >= $target ? "ok" : "NO"}]]
    }
    puts [format "%-32s %10.3f  %-20s %10.3f %8.2f  %s" $label [expr {$a * 1e3}] $altLabel \
              [expr {$b * 1e3}] $ratio $t]
}
set packed [expr {8 * 1000000 + 8}]
puts [format "%-32s %10.1f  %-20s %10.1f %8.2f  %s" "memory doublearray 1e6 (MB)" \
          [expr {$memNvec / 1e6}] "list of doubles" [expr {$memList / 1e6}] \
          [expr {double($memList) / $memNvec}] "-"]
if {[info exists memRead]} {
    set payload [expr {4 * 10000000 + 4}]
    foreach {label mem} [list "memory intarray 1e7 lindex (MB)" $memRead \
                             "memory ... then foreach (MB)" $memLoop] {
        puts [format "%-32s %10.1f  %-20s %10.1f %8.2f  %s" $label [expr {$mem / 1e6}] \
                  "its payload" [expr {$payload / 1e6}] [expr {double($payload) / $mem}] "-"]
    }
}
puts ""
puts "Memory: growth of the resident set (/proc/self/statm) of a fresh interpreter while it"
puts [format "builds 10^6 doubles. The array's payload is %d bytes (8 per element plus the" $packed]
puts [format "count); the list takes %.1f bytes per element (a Tcl_Obj for each number and" \
          [expr {$memList / 1e6}]]
puts [format "a pointer to it), %.1f times more." [expr {double($memList) / $memNvec}]]
puts "foreach: the target, at most 1.5 times Tcl's time per iteration, is a ratio of 0.67."
if {[info exists memRead]} {
    puts "Memory of intarray 1e7: the growth while a fresh interpreter builds it and runs llength"
    puts "and lindex on it, then foreach in a procedure. Tcl 9 makes neither its string nor a"
    puts "list of it; Tcl 9.0.1's foreach works on a copy of the value it loops over, so the"
    puts "loop takes a second payload for its time (the heap keeps it afterwards, see"
    puts "GLIBC_TUNABLES in scripts/bench)."
}

# ---- against vqsort and numpy ---------------------------------------------

source [file join [file dirname [info script]] rows_ordering.tcl]
