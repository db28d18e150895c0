# Rows of bench/compare.tcl: where, take and apply against numpy doing the
# same job on the same numbers in the same run (bench/numpy_masks.py, with
# Debian's python3-numpy, a dependency of the benchmark only). The arrays
# go to numpy as raw files written with get_binary. Sourced by compare.tcl,
# whose data ($da, $ia), best, least, row and quick it uses; target 1: at
# least as fast as numpy.

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
    # Each side is timed in three blocks, numpy's and nvec's in turn, and a
    # row takes each side's best run: on a machine shared with other work
    # the load of the moment only adds time, and these ratios lie near 1,
    # where a phase of load that falls on one side alone would decide them.
    set jobs {
        where_d  "where doublearray"       {}                        {nvec where $d($n) < 0.0}
            "np.flatnonzero(a<v)"
        where_i  "where intarray"          {}                        {nvec where $i($n) < 5000000}
            "np.flatnonzero(a<v)"
        take_d   "take doublearray"        {}                        {nvec take $d($n) $idx($n)}
            "np.take"
        take3_d  "take -dim 3 doublearray" {}                        {nvec take $xyz($n) $pts($n) -dim 3}
            "np.take axis=0"
        add_d    "apply + doublearray"     {set a [nvec clone $d($n)]}   {nvec apply $a + $rev($n)}
            "np.add out=a"
        mul3_d   "apply * xyz doublearray" {set a [nvec clone $xyz($n)]} {nvec apply $a * {1.5 -1.0 2.0}}
            "np.multiply out=a"
    }
    foreach n $sizes {
        foreach {name label setup body altLabel} $jobs {
            set numpyTime($name,$n) ""
            set nvecTime($name,$n) ""
        }
    }
    for {set block 0} {$block < 3} {incr block} {
        foreach {name n t} [exec $python [file join [file dirname [info script]] numpy_masks.py] \
                                $dir 5 {*}$sizes] {
            set numpyTime($name,$n) [least $numpyTime($name,$n) $t]
        }
        foreach n $sizes {
            set count [expr {$n == 1000000 ? 10 : 1}]
            foreach {name label setup body altLabel} $jobs {
                set nvecTime($name,$n) [least $nvecTime($name,$n) [best 5 $setup $body $count]]
            }
        }
    }
    file delete -force $dir
    foreach n $sizes {
        set size [lindex {1e6 1e7} [expr {$n != 1000000}]]
        foreach {name label setup body altLabel} $jobs {
            row "$label $size" $nvecTime($name,$n) $altLabel $numpyTime($name,$n) 1
        }
    }
}} $python
