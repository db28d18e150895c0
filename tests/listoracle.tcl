# Tcl's list and string commands on array values against the same commands
# on the plain list that the array's string spells. Every case runs four
# times: on a fresh array and on the list, each byte-compiled inside a
# procedure and through a command name (not compiled inline). Results,
# error messages and the value's text afterwards must be identical; where
# the running Tcl gives arrays list procedures, the commands that read
# through them must also leave the array an array, without a string unless
# it is empty (Tcl asks an empty value for its string). One case is printed
# before it runs, so the parent names the case a crash stopped at.
# Usage: tclsh listoracle.tcl <package dir> <type> <seed>
# Prints "diff ..." per difference and "done <cases>" at the end.

lassign $argv pkgDir type seed
set auto_path [linsert $auto_path 0 $pkgDir]
package require nvec
expr {srand($seed)}
fconfigure stdout -buffering line

# The record names list procedures on Tcl 9.0.2 and later.
lassign [split [info patchlevel] .] major minor patch
set listProcs [expr {$major > 9 || ($major == 9 && ($minor > 0 || [string is digit $patch] && $patch >= 2))}]

# Values: the type's extremes, zeros, the non-finite values, random ones.
if {$type in {floatarray doublearray}} {
    set special {0.0 -0.0 NaN Inf -Inf 1.0 -1.0 0.1 1e300 -1e-300 5e-324 3.4028234663852886e+38 2.5
                 18446744073709551616}
    proc draw {} { expr {rand() < 0.5 ? (int(rand() * 2000) - 1000) / 8.0 : (rand() - 0.5) * 10.0**(int(rand() * 80) - 40)} }
} else {
    set bits [dict get {chararray 8 shortarray 16 intarray 32 longarray 0 longlongarray 64} $type]
    if {$bits == 0} {set bits [expr {8 * $tcl_platform(wordSize)}]}
    set lo [expr {$type eq "chararray" ? 0 : -2**($bits - 1)}]
    set hi [expr {$type eq "chararray" ? 255 : 2**($bits - 1) - 1}]
    set special [list $lo $hi 0 1 [expr {$lo + 1}] [expr {$hi - 1}] 5 7]
    proc draw {} { expr {$::lo + entier(rand() * ($::hi - $::lo + 1.0)) % ($::hi - $::lo + 1)} }
}
proc values {n} {
    lmap i [lrepeat $n 0] {
        if {rand() < 0.3} {lindex $::special [expr {int(rand() * [llength $::special])}]} else draw
    }
}
proc text {value} { set s ""; append s $value }

# Index words of every form, valid or not.
set indices {0 1 2 -1 99 end end-1 end+5 end-99 1+1 5-4 01 0x1 { 1} 9999999999 x end-x {}}
set cases {}
set oneIndex {}
foreach i $indices {
    # lindex reads through the list procedures for one index only, given in
    # a word that is no list (literals are shared, and another case may
    # have made one a list): a fresh one from format.
    set fresh "set i \[format %s [list $i]\]; @ \$v \$i"
    lappend cases lindex "@ \$v [list $i]" lindex $fresh
    if {[llength $i] == 1} {lappend oneIndex $fresh}
    foreach j {0 1 end 99 -1 {1 0}} {lappend cases lindex "@ \$v [list $i] [list $j]" lrange "@ \$v [list $i] [list $j]"}
}
lappend cases lindex {@ $v} lindex {@ $v {1 0}} lindex {@ $v 0 0 0} lindex {@ $v {} 1} lindex {@ $v end 2 1}
foreach x {0 0.0 -0 +0 00 1 1.0 0x1 18446744073709551616 1.8446744073709552e+19 -1 5 255 -128 32767 -32768 2147483647 -2147483648
           9223372036854775807 -9223372036854775808 2.5 NaN nan Inf -Inf inf 1e300 {} { 1}} {
    lappend cases expr "@ {[list $x] in \$v}" expr "@ {[list $x] ni \$v}" \
        lsearch "@ \$v [list $x]" lsearch "@ -exact -all \$v [list $x]" lsearch "@ -integer \$v [list $x]" \
        lsearch "@ -real -inline \$v [list $x]" lsearch "@ -not -start 1 \$v [list $x]"
}
lappend cases {*}{
    llength {@ $v}  lreverse {@ $v}  list {@ {*}$v}  join {@ $v ,}  concat {@ $v $v}  concat {@ $v}
    foreach {set s {}; @ x $v {lappend s $x}; set s}
    foreach {set s {}; @ {x y} $v z {a b c} {lappend s $x $y $z}; set s}
    foreach {set s {}; @ x $v {if {[string length $x] > 3} break; lappend s $x}; set s}
    lmap {@ {x y} $v {list $y $x}}  lmap {@ x $v y {1 2} {list $x $y}}  lmap {@ x $v {expr {$x + 1}}}
    lsearch {@ -index 5 [list $v] {}}  lsearch {@ -glob $v 1*}  lsearch {@ -regexp -all $v {^-}}
    lsearch {@ -sorted -integer $v 5}  lsearch {@ -index 0 $v 1}  lsearch {@ -all -subindices -index 0 [list $v] 0}
    lsort {@ $v}  lsort {@ -integer $v}  lsort {@ -real -unique $v}  lsort {@ -real -decreasing -indices $v}
    lsort {@ -index 5 [list $v $v]}  lsort {@ -dictionary $v}  lsort {@ -index 0 $v}  lsort {@ -stride 2 $v}
    lassign {list [@ $v x y] $x $y}  lassign {@ $v}
    linsert {@ $v 1 a}  linsert {@ $v end+1 9}  linsert {@ $v x 9}  lreplace {@ $v 0 1 x}  lreplace {@ $v 1 0}
    lreplace {@ $v end end}  lset {set w $v; @ w 0 X; set w}  lset {set w $v; @ w end 7; set w}
    lset {set w $v; @ w 1 1 z; set w}  lset {set w $v; @ w 99 z; set w}  lappend {set w $v; @ w 1 2; set w}
    lremove {@ $v 0}  lremove {@ $v end 0 0}  lrepeat {@ 2 {*}$v}  lrange {@ $v 0 end}
    string {@ length $v}  string {@ index $v 1}  string {@ range $v 1 6}  string {@ first " " $v}
    string {@ is list $v}  string {@ equal $v $v}  string {@ reverse $v}  string {@ map {1 one} $v}
    dict {@ size $v}  dict {@ get $v 1}  dict {@ keys $v}  dict {@ exists $v 0}
    expr {@ {[llength $v] + 1}}  expr {@ {$v + 1}}  expr {@ {$v == 5}}  expr {@ {$v eq "5"}}
    expr {@ {$v}}  expr {@ {-$v}}  expr {@ {$v * 2 < 0}}
}

# The code and result of one case on value v: compiled, or through a name.
proc run {v cmd script compiled} {
    set body "list \[catch {[string map [list @ [expr {$compiled ? $cmd : {$c}}]] $script]} m\] \$m"
    apply [list {v c} $body] $v $cmd
}
proc noString {v} { string match "*, no string representation" [tcl::unsupported::representation $v] }

set n 0
foreach size {0 1 1 2 3 7 2000} {
    set base [nvec new $type -values [values $size]]
    set txt [text $base]
    foreach {cmd script} $cases {
        incr n
        puts "case $n: $type size $size: $script"
        foreach compiled {1 0} {
            set a [nvec clone $base]
            set l [list {*}$txt]
            set got [run $a $cmd $script $compiled]
            set want [run $l $cmd $script $compiled]
            set bad {}
            if {$got ne $want} {lappend bad "result [string range $got 0 300] against [string range $want 0 300]"}
            if {$listProcs && ($cmd in {llength lrange lreverse foreach lmap} || $script in $oneIndex) &&
                    ([nvec type $a] ne $type || $size > 0 && ![noString $a])} {
                lappend bad "left [tcl::unsupported::representation $a]"
            }
            if {$listProcs && $cmd in {lrange lreverse} && [lindex $got 0] == 0 && [lindex $got 1] ne "" &&
                    [nvec type [lindex $got 1]] ne $type} {
                lappend bad "gave [tcl::unsupported::representation [lindex $got 1]]"
            }
            if {[text $a] ne $txt} {lappend bad "array now [string range [text $a] 0 300]"}
            if {$bad ne ""} {puts "diff $type size $size compiled $compiled: $script: [join $bad {; }]"}
        }
    }
}
puts "done $n"
