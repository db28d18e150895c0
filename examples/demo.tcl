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

# 4. A central sub-block of cells: m x m x m cells starting at cell
#    (a, a, a). Cell (i, j, k) is number i + j*n + k*n*n; each row of the
#    block is a run of m consecutive cell numbers.
set m [expr {max(1, $n / 2)}]
set a [expr {($n - $m) / 2}]
step cells "sub-block cell numbers" {[nvec length $cells] cells} {
    set rows {}
    for {set k $a} {$k < $a + $m} {incr k} {
        for {set j $a} {$j < $a + $m} {incr j} {
            lappend rows [nvec new_n_from_increment intarray $m [expr {$a + $j * $n + $k * $n * $n}] 1]
        }
    }
    nvec concat {*}$rows
}
step subConn "extract its cells" {[nvec length $subConn] node numbers} {
    nvec extract $conn $cells -dim 8
}
step nodes "nodes used (sort -unique)" {[nvec length $nodes] nodes} {
    nvec sort -unique [nvec clone $subConn]
}
step {} "renumber to local positions" {} {nvec renumber $subConn $nodes}
step points "extract their coordinates" {[nvec length $points] values} {
    nvec extract $coords $nodes -dim 3
}

# 5. The VTK cell records "8 n0 ... n7": split the table into its eight
#    corner planes, put a plane of 8s in front and interleave the nine.
set cellCount [expr {[nvec length $subConn] / 8}]
step records "cell records (interleave)" {} {
    set planar [nvec deinterleave [nvec clone $subConn] 8]
    nvec interleave [nvec concat [nvec new intarray $cellCount 8] $planar] 9
}

# 6. The legacy ASCII file: one point and one cell per line, each table
#    written by one nvec text. The text is ASCII with newlines already, so
#    the channel takes it as bytes, without encoding or line-end work.
file mkdir $outDir
set path [file normalize [file join $outDir subblock.vtk]]
set pointCount [expr {[nvec length $points] / 3}]
step {} "write VTK file" {[file size $path] bytes} {
    set f [open $path w]
    fconfigure $f -translation binary -buffering full -buffersize 1048576
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
