# Rows of bench/compare.tcl against numpy: reduce, histogram, text and
# byteswap, each beside the numpy call that does the same job, on the same
# numbers (written with get_binary and read back with np.fromfile) in the
# same run. Sourced by compare.tcl, whose measure, row, $da, $ia, $il and
# $quick it uses. Skipped when no python3 with numpy is found.

proc numpyPython {} {
    foreach python {/usr/bin/python3 python3} {
        if {![catch {exec $python -c "import numpy"}]} {return $python}
    }
    return ""
}

set python [numpyPython]
if {$python eq ""} {
    puts stderr "\nno python3 with numpy: the rows against numpy are left out"
    return
}

# Data: d the doubles (whole points of 3), g whole groups of 8 points of
# them, i the integers, h integers below 2^20 for the counts; 1e7 by ten
# copies.
set hl [nvec new intarray -values [lmap x $il {expr {$x % 1048576}}]]
set data [dict create d6 [nvec range $da 0 999998] i6 $ia h6 $hl g6 [nvec range $da 0 999983]]
if {!$quick} {
    foreach {name a} $data {
        dict set data [string index $name 0]7 [nvec concat {*}[lrepeat 10 $a]]
    }
    dict set data g7 [nvec range [dict get $data d7] 0 9999983]
}
set numpyDir [file join [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}] nvec-bench-[pid]]
file mkdir $numpyDir
dict for {name a} $data {
    set f [open [file join $numpyDir $name.bin] wb]
    puts -nonewline $f [nvec get_binary $a]
    close $f
}

# job, its data, row label, nvec script (on $a, the job's data), numpy's
# label, target.
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
set sizes [expr {$quick ? {6} : {6 7}}]
set specs {}
foreach size $sizes {
    foreach {job file label script altLabel target} $jobRows {lappend specs $job:$file$size}
}
set numpyTimes [dict create]
set numpyScript [file join [file dirname [info script]] numpy_tables.py]
foreach line [split [string trim [exec $python $numpyScript $numpyDir {*}$specs]] \n] {
    dict set numpyTimes {*}$line
}
file delete -force $numpyDir
foreach size $sizes {
    foreach {job file label script altLabel target} $jobRows {
        set a [dict get $data $file$size]
        set reps [expr {$size == 7 && [string match savetxt* $job] ? 3 : 5}]
        row "$label 1e$size" [measure $reps {} $script] $altLabel \
            [dict get $numpyTimes $job:$file$size] $target
    }
}
unset data hl a
