#!/usr/bin/env bash
# Checks, on the hardware flavour's portmem.o, that every register-window
# primitive is one device access of its stated width plus return: no call, no
# jump, and exactly one memory access other than reading the window's base
# pointer and the caller's arguments on the stack.
set -euo pipefail
object=${1:?usage: check-hw-primitives.sh portmem.o}
listing=$(objdump -d --no-show-raw-insn "$object")

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
        inside { sub(/^ *[0-9a-f]+:\t/, ""); sub(/ *#.*/, ""); print; if ($1 == "ret") exit }' <<<"$listing")
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
            if (op ~ /^(call|jmp|j[a-z]+)$/) { bad = bad " " op; next }
            if (op == "lea" || op == "ret" || op ~ /^(nop|xchg)/) next
            line = $0
            if (line !~ /\(%/) next                       # no memory operand (or an absolute base load)
            if (line ~ /\(%(rip|esp|rsp)\)/) next         # the base pointer or a stack argument
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
            print (bad == "" ? "ok" : bad)
        }' <<<"$body")
    if [[ $verdict == ok ]]; then
        echo "ok   $fn: one $width-bit $dir"
    else
        echo "FAIL $fn:$verdict"; echo "$body" | sed 's/^/       /'; status=1
    fi
done <<<"$checks"
exit $status
