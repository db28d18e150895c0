# The ordering rows, sourced by bench/compare.tcl after its own table:
# nvec's sort, sort -unique, argsort and search against Highway's vqsort
# (bench/vqsort_probe.cpp, built beside the shell when libhwy-dev is
# there) and numpy (bench/numpy_ordering.py, python3-numpy), every side on
# the same elements in the same run. numpy writes the elements, as raw
# bytes that nvec reads with `new -binary` and the probe with fread.
#
# Shapes: random (integers uniform over the type's range, floating values
# uniform in [-1000, 1000)), sorted, reversed, few (integers in [0, 1000),
# for chararray [0, 100)). Each side is timed in ordBlocks blocks of 5
# runs (3 at 10^7), the blocks of nvec, vqsort and numpy taken in turn,
# and a row shows each side's best run (least processor time): on a
# machine shared with other work, the load of the moment only adds time,
# and phases of load that last seconds would otherwise fall on one side
# of a ratio and not the other. nvec's sort and argsort of an array are
# timed in the same blocks, run by run in turn. vqsort is run with the
# fastest of the instruction sets it supports on this processor (the
# probe's comment says why).

# Debian's python3 first: python3-numpy installs for it, and a python3
# found first on the path may be another one.
set ordPython ""
foreach candidate [list /usr/bin/python3 [auto_execok python3]] {
    if {$candidate ne "" && ![catch {exec {*}$candidate -c "import numpy"}]} {
        set ordPython $candidate
        break
    }
}
if {$ordPython eq ""} {
    puts "\nordering rows left out: python3 with numpy is needed (Debian's python3-numpy)"
    return
}
set ordScript [file join [file dirname [file normalize [info script]]] numpy_ordering.py]
set ordProbe [file join [file dirname [info nameofexecutable]] nvec_vqsort_probe]
if {![file executable $ordProbe]} {set ordProbe ""}
# The C type of each array type for the probe: vqsort has no 8-bit sort.
set ordCType [dict create chararray "" shortarray int16 intarray int32 \
    longarray [expr {$tcl_platform(wordSize) == 8 ? "int64" : "int32"}] longlongarray int64 \
    floatarray float doublearray double]
set ordFile [file join [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}] \
    nvec-ordering-[pid].bin]

set ordRows {}
# A row: label, nvec's seconds, vqsort's and numpy's ("" when absent), the
# peer whose time bounds nvec's (vqsort, numpy or sort, the nvec sort time
# of the same array), that time, and the largest ratio nvec / bound wanted.
proc ordRow {label t vq np bound boundTime limit} {
    lappend ::ordRows [list $label $t $vq $np $bound $boundTime $limit]
    puts -nonewline stderr "."
    flush stderr
}

# numpy writes the elements of a shape to the data file; they are read
# into a fresh array.
proc ordData {type n shape} {
    exec {*}$::ordPython $::ordScript gen $type $n $shape 2026 $::ordFile
    set f [open $::ordFile rb]
    set a [nvec new $type -binary [read $f]]
    close $f
    return $a
}
proc ordNumpy {type rounds args} {
    exec {*}$::ordPython $::ordScript time $type $::ordFile $rounds {*}$args
}
# vqsort's times for the probe's ops, or "" for each.
proc ordVqsort {type rounds args} {
    set c [dict get $::ordCType $type]
    if {$::ordProbe eq "" || $c eq ""} {return [lrepeat [llength $args] ""]}
    lmap line [split [exec $::ordProbe $c $::ordFile $rounds {*}$args] \n] {lindex $line 0}
}

# Blocks per side and row.
set ordBlocks 3

# sort of one shape at one length; for random and few-distinct elements
# also argsort, and at 10^6 sort -unique.
proc ordSortRows {type n label shape rounds} {
    set a [ordData $type $n $shape]
    # One untimed run of each first, as the probe makes one: the heap grows
    # for the work buffers once, not within the timed runs.
    nvec sort [nvec clone $a]
    set unique [expr {$shape in {random few} && $n == $::M}]
    set arg [expr {$shape in {random few}}]
    if {$arg} {nvec argsort $a}
    if {$unique} {nvec sort -unique [nvec clone $a]}
    set ops sort
    if {$arg} {lappend ops argsort}
    if {$unique} {lappend ops unique}
    foreach k {sort argsort unique vqSort vqUnique npSort npArgsort npUnique} {set t($k) ""}
    for {set block 0} {$block < $::ordBlocks} {incr block} {
        for {set r 0} {$r < $rounds} {incr r} {
            set t(sort) [least $t(sort) [best 1 {set b [nvec clone $a]} {nvec sort $b}]]
            if {$arg} {
                set t(argsort) [least $t(argsort) [best 1 {} {nvec argsort $a}]]
            }
            if {$unique} {
                set t(unique) [least $t(unique) \
                    [best 1 {set b [nvec clone $a]} {nvec sort -unique $b}]]
            }
        }
        lassign [ordVqsort $type $rounds sort {*}[expr {$unique ? "unique" : ""}]] vqSort vqUnique
        lassign [ordNumpy $type $rounds {*}$ops] npSort npArgsort npUnique
        foreach k {vqSort vqUnique npSort npArgsort npUnique} {
            set t($k) [least $t($k) [set $k]]
        }
    }
    set bound [expr {$t(vqSort) eq "" ? "numpy" : "vqsort"}]
    ordRow "sort $type $label $shape" $t(sort) $t(vqSort) $t(npSort) $bound \
        [expr {$t(vqSort) eq "" ? $t(npSort) : $t(vqSort)}] [expr {$t(vqSort) eq "" ? 1.0 : 1.25}]
    if {$unique} {
        ordRow "sort -unique $type $label $shape" $t(unique) $t(vqUnique) $t(npUnique) $bound \
            [expr {$t(vqUnique) eq "" ? $t(npUnique) : $t(vqUnique)}] \
            [expr {$t(vqUnique) eq "" ? 1.0 : 1.25}]
    }
    if {$arg} {
        ordRow "argsort $type $label $shape" $t(argsort) "" $t(npArgsort) sort $t(sort) 1.5
    }
}

# Linear search for a value that is not there (every element read), and
# sorted search for one that is, against numpy on the same elements.
proc ordSearchRows {type} {
    # numpy reads the data file, which holds the few-distinct elements
    # first, then the sorted ones.
    set a [ordData $type $::M few]
    set missing [expr {$type eq "chararray" ? 200 : 1000}]
    foreach k {search sorted npSearch npSorted} {set t($k) ""}
    for {set block 0} {$block < $::ordBlocks} {incr block} {
        set t(search) [least $t(search) [best 5 {} {nvec search $a $missing} 20]]
        set t(npSearch) [least $t(npSearch) [ordNumpy $type 5 search:$missing]]
    }
    set s [ordData $type $::M sorted]
    set v [nvec get $s [expr {$::M / 3}]]
    if {[string is double -strict $v]} {set v [expr {$v}]}
    for {set block 0} {$block < $::ordBlocks} {incr block} {
        set t(sorted) [least $t(sorted) [best 5 {} {nvec search -sorted $s $v} 20000]]
        set t(npSorted) [least $t(npSorted) [ordNumpy $type 5 searchsorted:$v]]
    }
    ordRow "search $type 1e6 (absent)" $t(search) "" $t(npSearch) numpy "" 1.0
    ordRow "search -sorted $type 1e6" $t(sorted) "" $t(npSorted) numpy "" 1.0
}

foreach type {chararray shortarray intarray longarray longlongarray floatarray doublearray} {
    ordSortRows $type $M 1e6 random 5
    foreach shape {sorted reversed few} {
        ordSortRows $type $M 1e6 $shape 5
    }
    if {!$quick} {
        ordSortRows $type [expr {10 * $M}] 1e7 random 3
    }
    ordSearchRows $type
}
file delete $ordFile
puts stderr ""

puts ""
puts "nvec against vqsort (Highway [expr {$ordProbe eq "" ? "absent" : "1.0.3 as Debian packages it"}])\
    and numpy [exec {*}$ordPython -c "import numpy; print(numpy.__version__)"], on the same elements"
puts "(best of $ordBlocks blocks of 5 runs, of 3 at 1e7, the sides' blocks in turn; times in ms"
puts "of $clockName; ratio = nvec / peer, below 1 nvec is faster; target: the largest ratio"
puts "wanted against the peer named, sort meaning nvec's sort of the same array)"
puts ""
puts [format "%-34s %9s %9s %9s %7s %7s  %s" row nvec vqsort numpy /vqsort /numpy target]
foreach r $ordRows {
    lassign $r label t vq np bound boundTime limit
    set cells [list $label [format %9.3f [expr {$t * 1e3}]]]
    foreach peer [list $vq $np] {
        lappend cells [if {$peer eq ""} {format %9s -} else {format %9.3f [expr {$peer * 1e3}]}]
    }
    foreach peer [list $vq $np] {
        lappend cells [if {$peer eq ""} {format %7s -} else {format %7.2f [expr {$t / $peer}]}]
    }
    if {$boundTime eq ""} {set boundTime $np}
    set ratio [expr {$t / $boundTime}]
    lappend cells [format "%s <=%s %s%s" $bound $limit [expr {$ratio <= $limit ? "ok" : "NO"}] \
        [expr {$bound eq "sort" ? [format " (%.2f)" $ratio] : ""}]]
    puts [format "%-34s %s %s %s %s %s  %s" {*}$cells]
}
