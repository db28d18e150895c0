# A mesh workflow with nvec: build a structured hexahedral grid, move it,
# measure it, cut a sub-block out of it and write that sub-block as a legacy
# ASCII VTK unstructured grid that ParaView opens.
#
# Usage: tclsh8.6 examples/demo.tcl ?<output folder>? ?<cells per axis>?
#   output folder   where subblock.vtk is written (default: out/ in the
#                   repository root); created when missing
#   cells per axis  n, the grid has n x n x n cells (default 100, a million
#                   cells); at least 2
# The package is looked up in $NVEC_PKG_DIR when that is set, else in the
# build folder's package directory build/lib/nvec.

package require Tcl 8.6-

set root [file dirname [file dirname [file normalize [info script]]]]
# The build's package directory goes first, ahead of an installed nvec.
if {[info exists env(NVEC_PKG_DIR)]} {
    set auto_path [linsert $auto_path 0 [file normalize $env(NVEC_PKG_DIR)]]
} else {
    set auto_path [linsert $auto_path 0 [file join $root build lib nvec]]
}
package require nvec

set outDir [file join $root out]
set n 100
if {[llength $argv] > 2} {
    puts stderr "usage: [file tail [info script]] ?<output folder>? ?<cells per axis>?"
    exit 2
}
if {[llength $argv] >= 1} {
    set outDir [lindex $argv 0]
}
if {[llength $argv] >= 2} {
    set n [lindex $argv 1]
}
if {![string is integer -strict $n] || $n < 2} {
    puts stderr "cells per axis must be an integer of at least 2, not \"$n\""
    exit 2
}

# Runs a script in the caller's scope and stores its result in the
# caller's variable varName (none when empty), then prints the label, the
# time the script took and the note, substituted in the caller's scope.
set totalUs 0
proc step {varName label note script} {
    set t0 [clock microseconds]
    set result [uplevel 1 $script]
    set us [expr {[clock microseconds] - $t0}]
    incr ::totalUs $us
    if {$varName ne ""} {
        upvar 1 $varName var
        set var $result
    }
    set line [format "  %-30s %9.1f ms  %s" $label [expr {$us / 1000.0}] [uplevel 1 [list subst $note]]]
    puts [string trimright $line]
}

set nodesPerAxis [expr {$n + 1}]
puts "nvec [package present nvec] demo: structured hexahedral grid of $n x $n x $n cells"

# 1. The grid: the cell-to-node table and the node coordinates, unit
#    spacing, nodes numbered x fastest.
step conn "connectivities" {[expr {[nvec length $conn] / 8}] hexahedra} {
    nvec new_structured_connectivities [list $nodesPerAxis $nodesPerAxis $nodesPerAxis]
}
step coords "coordinates" {[expr {[nvec length $coords] / 3}] nodes} {
    set axis [nvec new_n_from_increment floatarray $nodesPerAxis 0 1]
    nvec new_structured_coordinates [list $axis $axis $axis]
}

# 2. Move the nodes: 30 degrees about z, then a shift.
set angle [expr {acos(-1) / 6}]
set c [expr {cos($angle)}]
set s [expr {sin($angle)}]
set rotation [list $c [expr {-$s}] 0 $s $c 0 0 0 1]
set shift {10 20 5}
step {} "rotate 30 degrees about z" {} {nvec rotate $coords $rotation}
step {} "translate by $shift" {} {nvec translate $coords $shift}

# 3. Bounding box: the smallest and largest x, y and z over all nodes.
step box "bounding box (reduce)" {} {
    set box {}
    foreach lo [nvec reduce $coords min -dim 3] hi [nvec reduce $coords max -dim 3] {
        lappend box $lo $hi
    }
    set box
}
puts [format "      x \[%.4f, %.4f\]  y \[%.4f, %.4f\]  z \[%.4f, %.4f\]" {*}$box]

# 4. A central sub-block of m x m x m cells from cell (a, a, a) on: the
#    cells whose centre, in the grid's own axes, lies inside the box from
#    (a, a, a) to (a + m, a + m, a + m), that is whose smallest centre
#    coordinate is above a and largest below a + m. Cell (i, j, k) has its
#    centre at (i + 0.5, j + 0.5, k + 0.5) and number i + j*n + k*n*n, so
#    the block's first layer (k = a) is found among the n x n centres of
#    that layer, and each further layer holds the same cells n*n numbers
#    on. Then the cells' node numbers, the nodes they use (counted at least
#    once), renumbered to positions among those, and their coordinates.
set m [expr {max(1, $n / 2)}]
set a [expr {($n - $m) / 2}]
step cells "sub-block cells (where)" {[nvec length $cells] cells} {
    set centre [nvec new_n_from_increment floatarray $n 0.5 1]
    set layer [nvec new_structured_coordinates \
        [list $centre $centre [nvec new floatarray 1 [expr {$a + 0.5}]]]]
    set first [nvec intersection -sorted [nvec where [nvec reduce $layer min -group 3] > $a] \
        [nvec where [nvec reduce $layer max -group 3] < [expr {$a + $m}]]]
    set layers {}
    for {set k $a} {$k < $a + $m} {incr k} {
        lappend layers [nvec incr [nvec clone $first] [expr {$k * $n * $n}]]
    }
    nvec concat {*}$layers
}
step subConn "take its cells" {[nvec length $subConn] node numbers} {
    nvec take $conn $cells -dim 8
}
step nodes "nodes used (histogram, where)" {[nvec length $nodes] nodes} {
    nvec where [nvec histogram $subConn [expr {[nvec length $coords] / 3}]] > 0
}
step {} "renumber to local positions" {} {nvec renumber $subConn $nodes}
step points "take their coordinates" {[nvec length $points] values} {
    nvec take $coords $nodes -dim 3
}

# 5. The VTK cell records "8 n0 ... n7": split the table into its eight
#    corner planes, put a plane of 8s in front and interleave the nine.
set cellCount [expr {[nvec length $subConn] / 8}]
step records "cell records (interleave)" {} {
    set planar [nvec deinterleave [nvec clone $subConn] 8]
    nvec interleave [nvec concat [nvec new intarray $cellCount 8] $planar] 9
}

# 6. The legacy ASCII file: one point and one cell per line, each table
#    written by one nvec text.
file mkdir $outDir
set path [file normalize [file join $outDir subblock.vtk]]
set pointCount [expr {[nvec length $points] / 3}]
step {} "write VTK file" {[file size $path] bytes} {
    set f [open $path w]
    fconfigure $f -translation lf -buffering full -buffersize 1048576
    puts $f "# vtk DataFile Version 3.0"
    puts $f "nvec demo: sub-block of a $n x $n x $n hexahedral grid"
    puts $f "ASCII"
    puts $f "DATASET UNSTRUCTURED_GRID"
    puts $f "POINTS $pointCount float"
    puts -nonewline $f [nvec text $points -columns 3]
    puts $f "CELLS $cellCount [nvec length $records]"
    puts -nonewline $f [nvec text $records -columns 9]
    puts $f "CELL_TYPES $cellCount"
    puts -nonewline $f [string repeat "12\n" $cellCount]
    close $f
}

puts [format "  %-30s %9.1f ms" "total" [expr {$totalUs / 1000.0}]]
puts "wrote $path"
puts "  $pointCount points, $cellCount hexahedra (of [expr {[nvec length $conn] / 8}] cells, [expr {[nvec length $coords] / 3}] nodes)"
