# Rows of bench/compare.tcl: where, take and apply against numpy doing the
# same job on the same numbers in the same run (bench/numpy_masks.py, with
# Debian's python3-numpy, a dependency of the benchmark only). The arrays
# go to numpy as raw files written with get_binary. Sourced by compare.tcl,
# whose data ($da, $ia), measure, row and quick it uses; target 1: at least
# as fast as numpy.

# A python3 that has numpy: Debian's own first (another python3 may come
# first on PATH).
set python ""
foreach candidate [list /usr/bin/python3 {*}[auto_execok python3]] {
    if {[file executable $candidate] && ![catch {exec $candidate -c "import numpy"}]} {
        set python $candidate
        break
    }
}

proc writeRaw {path array} {
    set f [open $path wb]
    puts -nonewline $f [nvec get_binary $array]
    close $f
}

# In a scope of its own, away from compare.tcl's variables.
apply {{python} {
    global da ia M quick env
    if {$python eq ""} {
        puts stderr "\nno python3 with numpy: the rows against numpy are left out"
        return
    }
    set dir [file join [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}] nvec-bench-masks-[pid]]
    file mkdir $dir
    # Per size: doubles in [-1000, 1000), integers in [0, 10^7), element
    # positions and point positions (for take -dim 3) spread over the array.
    set sizes [expr {$quick ? {1000000} : {1000000 10000000}}]
    foreach n $sizes {
        set copies [expr {$n / $M}]
        set d($n) [nvec concat {*}[lrepeat $copies $da]]
        set i($n) [nvec concat {*}[lrepeat $copies $ia]]
        # (The earlier rows have incremented $ia in place: some elements
        # have reached 10^7.)
        set idx($n) [nvec apply [nvec concat {*}[lrepeat $copies $ia]] / [expr {10 / $copies}]]
        nvec apply $idx($n) min [expr {$n - 1}]
        set pts($n) [nvec apply [nvec clone $idx($n)] / 4]
        set xyz($n) [nvec range $d($n) 0 [expr {$n / 3 * 3 - 1}]]
        set rev($n) [nvec reverse [nvec clone $d($n)]]
        foreach {name var} {d d i i idx idx p pts} {
            writeRaw [file join $dir $name$n.bin] [set ${var}($n)]
        }
    }
    foreach {name n t} [exec $python [file join [file dirname [info script]] numpy_masks.py] $dir 5 {*}$sizes] {
        set numpyTime($name,$n) $t
    }
    file delete -force $dir
    foreach n $sizes {
        set label [expr {$n == 1000000 ? "1e6" : "1e7"}]
        set count [expr {$n == 1000000 ? 10 : 1}]
        set t [measure 5 {} {nvec where $d($n) < 0.0} $count]
        row "where doublearray $label" $t "np.flatnonzero(a<v)" $numpyTime(where_d,$n) 1
        set t [measure 5 {} {nvec where $i($n) < 5000000} $count]
        row "where intarray $label" $t "np.flatnonzero(a<v)" $numpyTime(where_i,$n) 1
        set t [measure 5 {} {nvec take $d($n) $idx($n)} $count]
        row "take doublearray $label" $t "np.take" $numpyTime(take_d,$n) 1
        set t [measure 5 {} {nvec take $xyz($n) $pts($n) -dim 3} $count]
        row "take -dim 3 doublearray $label" $t "np.take axis=0" $numpyTime(take3_d,$n) 1
        set t [measure 5 {set a [nvec clone $d($n)]} {nvec apply $a + $rev($n)} $count]
        row "apply + doublearray $label" $t "np.add out=a" $numpyTime(add_d,$n) 1
        set t [measure 5 {set a [nvec clone $xyz($n)]} {nvec apply $a * {1.5 -1.0 2.0}} $count]
        row "apply * xyz doublearray $label" $t "np.multiply out=a" $numpyTime(mul3_d,$n) 1
    }
}} $python
