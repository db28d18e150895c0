# Rows of bench/compare.tcl: reduce, histogram, text and byteswap against
# numpy doing the same job on the same numbers in the same run
# (bench/numpy_tables.py, with Debian's python3-numpy, a dependency of the
# benchmark only). The arrays go to numpy as raw files written with
# get_binary. Sourced by compare.tcl, whose data ($da, $ia, $il), measure,
# row and quick it uses; targets: at least as fast as numpy, text at least
# 5 times faster than np.savetxt.

# In a scope of its own, away from compare.tcl's variables.
apply {{} {
    global da ia il quick env
    # A python3 that has numpy: Debian's own first (another python3 may
    # come first on PATH).
    set python ""
    foreach candidate [list /usr/bin/python3 {*}[auto_execok python3]] {
        if {[file executable $candidate] && ![catch {exec $candidate -c "import numpy"}]} {
            set python $candidate
            break
        }
    }
    if {$python eq ""} {
        puts stderr "\nno python3 with numpy: the rows against numpy are left out"
        return
    }
    # Data: d the doubles (whole points of 3), g whole groups of 8 points
    # of them, i the integers, h integers below 2^20 for the counts; 1e7 by
    # ten copies. Copies all: byteswap works in place.
    set hl [nvec new intarray -values [lmap x $il {expr {$x % 1048576}}]]
    set data [dict create d6 [nvec range $da 0 999998] i6 [nvec clone $ia] h6 $hl \
                  g6 [nvec range $da 0 999983]]
    set sizes 6
    if {!$quick} {
        lappend sizes 7
        foreach {name a} $data {
            dict set data [string index $name 0]7 [nvec concat {*}[lrepeat 10 $a]]
        }
        dict set data g7 [nvec range [dict get $data d7] 0 9999983]
    }
    set dir [file join [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}] \
                 nvec-bench-tables-[pid]]
    file mkdir $dir
    dict for {name a} $data {
        set f [open [file join $dir $name.bin] wb]
        puts -nonewline $f [nvec get_binary $a]
        close $f
    }
    # job, its data, row label, nvec script (on $a, the job's data),
    # numpy's label, target.
    set jobRows {
        min        d "reduce min -dim 3 double"   {nvec reduce $a min -dim 3}   "np reshape.min(0)" 1
        max        d "reduce max -dim 3 double"   {nvec reduce $a max -dim 3}   "np reshape.max(0)" 1
        gsum       g "reduce sum -dim 3 -group 8" {nvec reduce $a sum -dim 3 -group 8} "np reshape.sum(1)" 1
        bincount   h "histogram int 2^20 bins"    {nvec histogram $a 1048576}   "np.bincount"       1
        savetxt-d  d "text -columns 3 double"     {nvec text $a -columns 3}     "np.savetxt %.18e"  5
        savetxt-i  i "text -columns 8 int"        {nvec text $a -columns 8}     "np.savetxt %d"     5
        byteswap-d d "byteswap double"            {nvec byteswap $a}            "np byteswap(True)" 1
        byteswap-i i "byteswap int"               {nvec byteswap $a}            "np byteswap(True)" 1
    }
    set jobArgs {}
    foreach size $sizes {
        foreach {job file label script altLabel target} $jobRows {lappend jobArgs $job:$file$size}
    }
    set numpyScript [file join [file dirname [info script]] numpy_tables.py]
    foreach {jobArg t} [exec $python $numpyScript $dir {*}$jobArgs] {
        set numpyTime($jobArg) $t
    }
    file delete -force $dir
    foreach size $sizes {
        foreach {job file label script altLabel target} $jobRows {
            set a [dict get $data $file$size]
            set reps [expr {$size == 7 && [string match savetxt* $job] ? 3 : 5}]
            row "$label 1e$size" [measure $reps {} $script] $altLabel $numpyTime($job:$file$size) \
                $target
        }
    }
}}
