# Writes the seed corpus of command_fuzz, fuzz/corpus/command: a program
# per form of the subcommands, C interface calls, representation changes,
# scripts and the memory modes, in the encoding that command_fuzz.cpp
# reads, the inputs of past findings among them. (The seeds of parse_fuzz,
# fuzz/corpus/parse, are plain text files.)
# Usage: tclsh8.6 fuzz/make_seeds.tcl

set here [file dirname [file normalize [info script]]]
proc writeSeed {dir name bytes} {
    file mkdir $dir
    set f [open [file join $dir $name] wb]
    puts -nonewline $f $bytes
    close $f
}

# The words of command_fuzz.cpp's grammar (Word()), one procedure a kind.
proc b {args} { binary format c* $args }
set commands {length type incr scale translate rotate new new_from_to new_n_from_increment
    new_structured_connectivities new_structured_coordinates clone set get interleave deinterleave
    range concat search sort reverse sum minimum maximum insert remove replace resize intersection
    union substraction renumber snap get_binary vector_sum foreach replace_value swap permute
    extract capi llength expr string lindex eval n lengthx where take assign argsort apply reduce
    histogram text byteswap}
set types {chararray c shortarray s intarray i longarray w longlongarray w floatarray r doublearray q}
proc var {k} { b $k }                          ;# O: the value of a<k>
proc fresh {type values {kind O}} {            ;# O or L: a fresh array of up to 16 values
    set t [lsearch [dict keys $::types] $type]
    set data [binary format [dict get $::types $type]* $values]
    return [b [expr {$kind eq "O" ? 100 : 200}] [llength $values] $t]$data
}
proc type {name} { b [lsearch [dict keys $::types] $name] }
proc size {n} { b $n }
proc index {i} { b [expr {$i + 3}] }
proc int {v} { b [expr {($v + 24) * 2}] }          ;# N: an integer from -24 to 25
proc num {x} { return [b 140][binary format Q $x] }  ;# N: a double
proc list_ {args} { return [b [llength $args]][b {*}[lmap v $args {expr {$v + 8}}]] }
proc script {k} { b 0 $k }
proc varname {k} { for {set x 0} {$x % 3 || $x % 8 != $k} {incr x} {}; b $x }  ;# W: a<k>
proc xname {} { b 1 }                                                           ;# W: x
proc opt {} { b 0 }                            ;# an option word ([b 0 k]: the k-th operator of R)
proc keep {} { b 0 }                           ;# an optional word: present or skipped
proc skip {} { b 1 }
proc bytes {data} { return [b 1 [string length $data]]$data }
# A call: the command, the shape (its form), the words, the variable kept.
proc call {name form words {into 0}} {
    return [b [lsearch $::commands $name] 0 $form]$words[b $into]
}

set a [fresh doublearray {3 1 2 1.5 -0.0 7 8 9 10}]
set i [fresh intarray {4 2 0 3 1 5}]
set sorted [fresh intarray {1 3 5 7}]
set sorted2 [fresh intarray {2 3 4 7 9}]
set programs [dict create \
    length [call length 0 [fresh chararray {200 1 44}]] \
    incr [call incr 0 $i[keep][int 2][keep][index 1]] \
    rotate [call rotate 0 $a[b 9 8 9 8 9 8 8 8 8 9]] \
    new_from_to [call new_from_to 0 [type chararray][int -3][int 12]] \
    new_n_from_increment [call new_n_from_increment 0 [type intarray][size 9][num -2][num 0.75]] \
    connectivities [call new_structured_connectivities 0 [list_ 3 4 2][keep][int 2]] \
    coordinates [call new_structured_coordinates 0 [list_ 1 2 3]] \
    set_binary [call set 2 [fresh shortarray {1 2 3}][opt][bytes 12345678]] \
    search [call search 0 [keep][opt][keep][opt][int 1]$sorted[int 5]] \
    sort [call sort 0 [keep][opt]$i] \
    sets [call intersection 0 [keep][opt]$sorted$sorted2][call union 0 [keep][opt]$sorted$sorted2][call substraction 0 [keep][opt]$sorted$sorted2] \
    renumber [call renumber 0 [fresh intarray {0 5 2 5}][fresh intarray {2 5 0} L][keep][fresh intarray {9 8 7} L]] \
    snap [call snap 0 $a[num 1][num 0.75][index 0][int 1]] \
    foreach [call foreach 0 [xname]$i[script 20]] \
    foreach_inplace [call clone 0 $i 0][call foreach 0 [xname][var 0][script 8]] \
    permute [call permute 0 $i[b 2 0 0 0 0 0]] \
    masks [call where 0 $a[b 0 2][int 3]][call take 0 $a[b 2 0 0 0 0 0][keep][opt][int 1]][call assign 1 $a[list_ 0 2][fresh doublearray {5 6}][skip]][call apply 1 $a[b 0 6]$a][call apply 0 $i[b 0 9][int 0]] \
    tables [call argsort 0 $a][call reduce 0 $a[b 0 12][keep][opt][int 3][skip]][call histogram 0 $i[keep][int 6]][call text 0 $a[keep][opt][int 3]][call byteswap 0 $a] \
    extract [call extract 0 $i[b 2 0 0 0 0 0][keep][opt][int 1]] \
    c_interface [call capi 0 [b 0 0][type intarray][varname 1][bytes [b 5 1 2 3 4]] 1][call capi 0 [b 0 3][type intarray][varname 1][bytes [b 30]]][call capi 0 [b 0 2][type doublearray][varname 1][bytes x]] \
    shimmer [call sort 0 [keep][opt]$i 1][call llength 0 [var 1]][call expr 0 [var 1]][call string 0 [opt][var 1]][call length 0 [var 1]] \
    coroutine [call clone 0 $i 0][call eval 0 [script 25]][call eval 0 [script 28]][call eval 0 [script 28]][call eval 0 [script 24]] \
]
# The memory modes: the second attempting allocation fails; a 128-byte limit.
dict set programs shortage [b 1 2][call concat 0 $i$i[b 2]$i$i]
dict set programs tiny_limit [b 2 2][call new 0 [type doublearray][size 30][skip]]
# Inputs of past findings: Tcl_SetDoubleArrayLength of 600000000 panicked
# (refused now); a doublearray holding 2^785 printed as text that read back
# as another number.
dict set programs finding_set_length [call capi 0 [b 0 0][type doublearray][varname 0][bytes [b 4]] 0][call capi 0 [b 0 3][type doublearray][varname 0][bytes [b 225]]]
dict set programs finding_power_of_two [call capi 0 [b 0 0][type doublearray][varname 0][bytes [binary format q [expr {2.0**785}]]x] 0]
dict for {name program} $programs {
    writeSeed [file join $here corpus command] $name [expr {$name in {shortage tiny_limit} ? "" : [b 0]}]$program
}
puts "[dict size $programs] command seeds"
