#!/usr/bin/env bash
# Checks, on the hardware flavour's portmem.o, that every register-window
# primitive is one device access of its stated width plus return: no call or
# jump (but the i386 position-independent code's program-counter thunk), one
# load of the window's base pointer dwMEM_IO_BASE (told by its relocation),
# reads of the caller's arguments on the stack, and exactly one other memory
# access.
set -euo pipefail
object=${1:?usage: check-hw-primitives.sh portmem.o}
listing=$(objdump -dr --no-show-raw-insn "$object")

# function  direction  width
checks="kovaoutp store 8
kovainp load 8
kovaoutpw store 16
kovainpw load 16
WriteTVReg store 16
ReadTVReg load 16
WriteAudioRegB store 8
ReadAudioRegB load 8
WriteAudioRegW store 16
ReadAudioRegW load 16
WriteAudioRegD store 32
ReadAudioRegD load 32"

status=0
while read -r fn dir width; do
    body=$(awk -v fn="$fn" '
        $0 ~ "<" fn ">:$" { inside = 1; next }
        inside && /^$/ { exit }
        inside && /^[ \t]+[0-9a-f]+: R_/ { if (n) line[n] = line[n] " @" $3; next }   # relocation of the line above
        inside { sub(/^ *[0-9a-f]+:\t/, ""); sub(/ *#.*/, ""); line[++n] = $0; if ($1 == "ret") exit }
        END { for (i = 1; i <= n; i++) print line[i] }' <<<"$listing")
    if [[ -z $body ]]; then
        echo "FAIL $fn: not found in $object"; status=1; continue
    fi
    verdict=$(awk -v dir="$dir" -v width="$width" '
        function reg_width(r) {
            if (r ~ /^%(e[a-ds][xip]|e[sd]i|r[0-9]+d)$/) return 32
            if (r ~ /^%([a-d]l|[sd]il|[sb]pl|r[0-9]+b)$/) return 8
            if (r ~ /^%([a-d]x|[sd]i|[sb]p|r[0-9]+w)$/) return 16
            return 64
        }
        {
            op = $1
            reloc = ""
            if ($NF ~ /^@/) reloc = substr($NF, 2)
            if (op == "call" && reloc ~ /^__x86\.get_pc_thunk\.[a-z]+$/) next   # i386 PIC: own address
            if (op ~ /^(call|jmp|j[a-z]+)$/) { bad = bad " " op; next }
            if (reloc ~ /^dwMEM_IO_BASE([-+]0x[0-9a-f]+)?$/) { base++; next }    # the base pointer
            if (reloc == "_GLOBAL_OFFSET_TABLE_" && op == "add") next           # i386 PIC: GOT address
            if (reloc != "") { bad = bad " reloc-" reloc; next }
            if (op == "lea" || op == "ret" || op ~ /^(nop|xchg)/) next
            if ($2 !~ /\(%/) next                         # no memory operand
            if ($2 ~ /\(%(esp|rsp)\)/) next               # an argument on the stack
            n++
            split($2, ops, ",")
            if (dir == "store") {
                if ($2 !~ /^%/ || ops[2] !~ /\(/) { bad = bad " not-a-store"; next }
                w = reg_width(ops[1])
            } else {
                if (op == "movzbl" || op == "movzbw") w = 8
                else if (op == "movzwl") w = 16
                else if (op == "mov") w = reg_width(ops[length(ops)])
                else { bad = bad " " op; next }
            }
            if (w != width) bad = bad " width-" w
        }
        END {
            if (n != 1) bad = bad " accesses-" n
            if (base != 1) bad = bad " base-loads-" base + 0
            print (bad == "" ? "ok" : bad)
        }' <<<"$body")
    if [[ $verdict == ok ]]; then
        echo "ok   $fn: one $width-bit $dir"
    else
        echo "FAIL $fn:$verdict"; echo "$body" | sed 's/^/       /'; status=1
    fi
done <<<"$checks"
exit $status
