# Writes the seed corpora of the fuzzers: fuzz/corpus/parse (number lists
# in the forms the parser meets) and fuzz/corpus/command (one program per
# form of every subcommand, plus C interface calls, representation changes
# and scripts, in the byte encoding that command_fuzz.cpp decodes).
# Usage: tclsh8.6 fuzz/make_seeds.tcl

set here [file dirname [file normalize [info script]]]

proc writeSeed {dir name bytes} {
    set f [open [file join $dir $name] wb]
    puts -nonewline $f $bytes
    close $f
}

# ---- parse ----

set parseDir [file join $here corpus parse]
file mkdir $parseDir
set parseSeeds {
    ints       {1 2 3 -4 0 255 256 -1}
    limits     {2147483647 -2147483648 2147483648 9223372036854775807 -9223372036854775809}
    spaces     "  1\t2\n3\r\v4\f 5"
    floats     {0.5 -0.0 1e-5 1.7976931348623157e308 4.9e-324 1e400 -1e400 .5 5.}
    words      {nan -nan NaN inf -Inf infinity nan(123)}
    hex        {0x1p3 -0x1.8p1 0x10 +7 +0.5}
    abutting   {1-2-3+4.5e3-6}
    powers     {18446744073709551616 5.9604644775390625e-8 2.0349165139403852e+236 0.5 1024}
    halfway    {1024e23 4294967296e23 1e23 -65536e23}
    floatedge  {3.4028235677973366e38 3.4028235677973362e38 1.4e-45 1e-46}
    junk       {1 2 x}
    trailing   {1 2 }
    empty      {}
    long       {123456789012345678901234567890.5 0.000000000000000000000000000000000000000000001}
}
foreach {name text} $parseSeeds {
    writeSeed $parseDir $name.txt $text
}

# ---- command ----
#
# The encoding, as Program in command_fuzz.cpp reads it: a memory-mode
# byte, then operations. A subcommand operation is: byte 0 (subcommand),
# the subcommand number, 0 (follow the pattern), the form number, the
# words of the form, then the slot (0-7) that keeps an OK result.

set commandDir [file join $here corpus command]
file mkdir $commandDir

set typeNumber {
    chararray 0 shortarray 1 intarray 2 longarray 3 longlongarray 4 floatarray 5 doublearray 6
}
set elemFormat {0 c 1 s 2 i 3 w 4 w 5 r 6 q}

proc bytes {args} { binary format c* $args }

# An array of the given type and values, made inline (at most 16 values).
proc fresh {type values} {
    global typeNumber elemFormat
    set t [dict get $typeNumber $type]
    set data [binary format [dict get $elemFormat $t]* $values]
    return [bytes 150 $t [llength $values]]$data
}
proc slot {n} { bytes $n }
proc type {name} { global typeNumber; bytes [dict get $typeNumber $name] }
proc size {n} { bytes $n }
proc index {v} { bytes 0 [expr {$v + 3}] 0 }
proc int {v} { bytes 0 [expr {$v + 5}] 0 }
proc dbl {x} { bytes 0 [expr {int($x * 4) + 24}] }
proc value {v} { return [bytes 1][int $v] }
proc vdbl {x} { return [bytes 0][dbl $x] }
proc nums {args} {
    set out [bytes [llength $args]]
    foreach v $args { append out [value $v] }
    return $out
}
proc opt {} { bytes 0 }
proc skip {} { bytes 1 }
proc keep {} { bytes 0 }
proc bin {data} { return [bytes 1 [string length $data]]$data }
proc counts {args} {
    set out [bytes [expr {[llength $args] - 1}]]
    foreach c $args { append out [bytes $c] }
    return $out
}
proc axes {args} {
    set out [bytes [expr {[llength $args] - 1}]]
    foreach k $args { append out [bytes [expr {$k - 1}] 8] [string repeat [bytes 2] $k] }
    return $out
}
proc script {n} { bytes $n }
proc varname {n} { bytes $n }
proc perm {n} { return [bytes 2][string repeat [bytes 0] [expr {$n - 1}]] }
proc ids {args} {
    set out [bytes [llength $args]]
    foreach v $args { append out [bytes $v] }
    return $out
}

set subNumber {}
set i 0
foreach name {
    length type incr scale translate rotate new new_from_to new_n_from_increment
    new_structured_connectivities new_structured_coordinates clone set get interleave
    deinterleave range concat search sort reverse sum minimum maximum insert remove replace
    resize intersection union substraction renumber snap get_binary vector_sum foreach
    replace_value swap permute extract
} {
    dict set subNumber $name $i
    incr i
}

proc call {name form words {into 0}} {
    global subNumber
    return [bytes 0 [dict get $subNumber $name] 0 $form]$words[bytes $into]
}

set a [fresh doublearray {3 1 2 1.5 -0.0 7 8 9 10}]
set i [fresh intarray {4 2 0 3 1 5}]
set s [fresh shortarray {1 2 3}]
set c [fresh chararray {200 1 44}]
set sorted [fresh intarray {1 3 5 7}]
set sorted2 [fresh intarray {2 3 4 7 9}]

set programs [dict create]
dict set programs length [call length 0 $a]
dict set programs type [call type 0 $c]
dict set programs incr [call incr 0 $i[keep][dbl 2][keep][index 1]]
dict set programs scale [call scale 0 $a[dbl 0.5][keep][index -1]]
dict set programs translate [call translate 0 $a[bytes 2][value 1][value 2][value 3]]
dict set programs rotate [call rotate 0 $a[bytes 2][value 0][value 1][value 0][value 1][value 0][value 0][value 0][value 0][value 1]]
dict set programs new_size [call new 0 [type floatarray][size 12][keep][vdbl 1.5]]
dict set programs new_values [call new 1 [type longarray][opt][nums 1 -2 3]]
dict set programs new_binary [call new 2 [type shortarray][opt][bin abcdef]]
dict set programs new_from_to [call new_from_to 0 [type chararray][int -3][int 12]]
dict set programs new_n_from_increment [call new_n_from_increment 0 [type intarray][size 9][dbl -2][dbl 0.75]]
dict set programs connectivities [call new_structured_connectivities 0 [counts 3 4 2][keep][int 2]]
dict set programs coordinates [call new_structured_coordinates 0 [axes 3 2 2]]
dict set programs clone [call clone 0 $s]
dict set programs set_whole [call set 0 $a[nums 1 2 3]]
dict set programs set_run [call set 1 $a[index 2][nums 5 6]]
dict set programs set_binary [call set 2 $s[opt][bin 12345678]]
dict set programs get [call get 0 $i[index 4]]
dict set programs interleave [call interleave 0 $i[int 2]]
dict set programs deinterleave [call deinterleave 0 $i[int 3]]
dict set programs range [call range 0 $a[index 1][index 5]]
dict set programs concat [call concat 0 $i$i[bytes 1]$i]
dict set programs search [call search 0 [keep][opt][keep][opt][int 1]$sorted[value 5]]
dict set programs sort [call sort 0 [keep][opt]$i]
dict set programs reverse [call reverse 0 $a[keep][int 3]]
dict set programs sum [call sum 0 $c]
dict set programs minimum [call minimum 0 $a[keep][opt]]
dict set programs maximum [call maximum 0 $i[skip]]
dict set programs insert [call insert 0 $i[index 2]$i]
dict set programs remove [call remove 0 $a[index 1][keep][index 3]]
dict set programs replace [call replace 0 $a[index 1][index 2]$a]
dict set programs resize [call resize 0 [keep][opt]$s[size 7]]
dict set programs intersection [call intersection 0 [keep][opt]$sorted$sorted2]
dict set programs union [call union 0 [keep][opt]$sorted$sorted2]
dict set programs substraction [call substraction 0 [keep][opt]$sorted$sorted2]
dict set programs renumber [call renumber 0 [fresh intarray {0 5 2 5}][ids 2 5 0][keep][ids 9 8 7]]
dict set programs snap [call snap 0 $a[dbl 1][dbl 0.75][index 0][int 1]]
dict set programs get_binary [call get_binary 0 $s]
dict set programs vector_sum [call vector_sum 0 [keep][opt][type intarray]$i$i[bytes 0]]
dict set programs foreach [call foreach 0 [varname 0]$i[script 27]]
dict set programs foreach_inplace [call clone 0 $i 0][call foreach 0 [varname 0][slot 0][script 9]]
dict set programs foreach_break [call foreach 0 [varname 1]$a[script 1]]
dict set programs replace_value [call replace_value 0 $i[value 2][value 9]]
dict set programs swap [call swap 0 $a[index 0][index 8]]
dict set programs permute [call permute 0 $i[perm 6]]
dict set programs extract [call extract 0 $i[perm 6][keep][opt][int 1]]
# C interface: new, set length, get, and the direct length setter.
dict set programs c_interface [bytes 160 0 0 0 5 1 2 3 4 5 160 3 0 2 30 160 2 0 6 160 4 0 2 3]
# Representation changes between subcommands: list, duplicate, string.
dict set programs shimmer [call sort 0 [keep][opt]$i 1][bytes 190 0 1 190 5 1 2 190 3 2][call length 0 [slot 1]]
# A coroutine suspended inside foreach, resumed, then deleted.
dict set programs coroutine [call clone 0 $i 0][bytes 215 0 215 4 215 4 215 8]
# The whole memory mode: the third attempting allocation fails.
dict set programs shortage [bytes 1 2][call concat 0 $i$i[bytes 2]$i$i]
dict set programs tiny_limit [bytes 2 1][call new 0 [type doublearray][size 30][skip]]

# Inputs of past findings, kept as regression seeds: a doublearray length
# of 600000000 through Tcl_SetDoubleArrayLength (it panicked), and a
# doublearray holding 2^785, whose string form read back as another number.
dict set programs finding_set_length [bytes 160 0 0 6 3][string repeat [bytes 0] 24][bytes 160 3 0 6 226]
dict set programs finding_power_of_two [bytes 160 0 1 6 1][binary format q [expr {2.0**785}]]

dict for {name program} $programs {
    # Memory mode 0 unless the program starts with its own.
    if {![string match shortage* $name] && ![string match tiny* $name]} {
        set program [bytes 0]$program
    }
    writeSeed $commandDir $name $program
}
puts "[llength [glob -dir $parseDir *]] parse seeds, [dict size $programs] command seeds"
