#!/usr/bin/env bash
# Runs the bash completion of capview, kovasim, kovarun and kovactl on command lines as
# a user types them, and feeds every indexed register name that it offers to
# kovasim --set, which must accept them all.
#   check_completion.sh COMPLETION_FILE KOVASIM [EMULATOR]
set -uo pipefail
source "$1"
_kova_kovactl_command=${KOVACTL:-}
kovasim=("${@:2}")
_kova_kovasim_command="${kovasim[*]}"
failures=0

# complete LINE: COMPREPLY for the command line LINE (cursor at its end),
# split into words as bash splits them.
complete_line() {
    local line=$1 command
    COMP_LINE=$line COMP_POINT=${#line}
    read -r -a COMP_WORDS <<<"${line//=/ = }"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    command=${COMP_WORDS[0]}
    COMPREPLY=()
    "_kova_$command"
}

# expect LINE WORDS...: the completion of LINE offers exactly WORDS.
expect() {
    local line=$1
    shift
    complete_line "$line"
    if [[ "${COMPREPLY[*]}" != "$*" ]]; then
        echo "FAIL '$line': got '${COMPREPLY[*]}', expected '$*'"
        ((failures++))
    fi
}

# expect_has LINE WORD...: the completion of LINE offers each WORD.
expect_has() {
    local line=$1 word
    shift
    complete_line "$line"
    for word; do
        if [[ " ${COMPREPLY[*]} " != *" $word "* ]]; then
            echo "FAIL '$line': '$word' not among '${COMPREPLY[*]}'"
            ((failures++))
        fi
    done
}

expect 'capview --sh' --shrinkx --shrinky
expect 'capview -s ' 0 1 2 3
expect 'capview -w ' 
expect 'kovasim --fail mmap' mmap-fb mmap-mmio
expect 'kovasim --fail=i' iopl
expect 'kovasim --set GRE8' GRE8
expect 'kovasim --set GRE5' GRE5@00 GRE5@01 GRE5@03 GRE5@05 GRE5@08 GRE5@80
expect 'kovasim --set srd' SRD0 SRD1 SRD2 SRD3 SRD4 SRD5 SRD6 SRD7 SRD8 SRD9 SRDA SRDB SRDC SRDD SRDE SRDF
expect 'kovasim --set GRBA' GRBA@00 GRBA@01 GRBA@02 GRBA@40
expect 'kovasim --set TVE43' TVE430 TVE431 TVE432 TVE433 TVE434 TVE435 TVE436 TVE437 TVE438 TVE439 \
    TVE43A TVE43B TVE43C TVE43D TVE43E TVE43F
expect 'kovasim --set GRE8=0'
expect 'kovasim --set GRE8=01 --tr' --trace
expect 'kovasim --version --fa' --fail
expect 'kovasim -- -s ' 0 1 2 3
expect 'kovasim --set GRE8=01 -b --bob' --bobmode
expect 'kovasim -b --trace' --trace
expect 'kovasim -b --png x --sta' --state-dir
expect 'kovasim --source n' ntsc none
expect 'kovaview --no-p' --no-pacing
expect 'kovaview --source n' ntsc none
expect 'kovaview --fields 5 -- -s ' 0 1 2 3
expect_has 'kovasim --' --trace --set --fail --dump --version --synclock
# Every option of kovasim --help is completed.
expect_has 'kovasim --' $("${kovasim[@]}" --help | sed -n 's/^  \(--[a-z0-9-]*\).*/\1/p')
# kovarun's options are the program's own list: an option that only the
# program names is offered, its value by its placeholder or choices.
listing=$(mktemp)
printf '#!/bin/sh\n[ "$1" = --list-options ] && printf "%%s\\n" "--only-listed a|b" "--dir DIR" "--flag"\n' >"$listing"
chmod +x "$listing"
_kova_kovarun_command=$listing
expect 'kovarun --only' --only-listed
expect 'kovarun --only-listed ' a b
expect 'kovarun --only-listed=' a b
expect 'kovarun --flag --dir /' $(compgen -d -- /)
expect 'kovarun --only-listed a --' --only-listed --dir --flag --
expect_has 'kovarun --flag -- ech' echo
# kovatrace's completion is the same, on kovatrace's own list.
_kova_kovatrace_command=$listing
expect 'kovatrace --flag --only-listed ' a b
expect_has 'kovatrace --dir / -- ech' echo
rm -f "$listing"
expect 'kovactl --fail mmap-' mmap-fb mmap-mmio
expect 'kovactl --sim ' status reg detect dac wait clock screen draw blank overlay capture synclock genlock \
    videoclock crt fetch grab screenshot card trace help
expect 'kovactl --st' --state-dir
expect 'kovactl card ' create reset dump info
expect 'kovactl trace ' decode diff
expect 'kovactl --sim --set GRE8=01 reg ' get set dump
expect 'kovactl reg get CR1' CR10 CR11 CR12 CR13 CR14 CR15 CR16 CR17 CR18 CR19 CR1A CR1B CR1C CR1D CR1E CR1F
expect 'kovactl reg dump O' OVL0 OVL1
expect 'kovactl dac tv ' off on
expect 'kovactl overlay 1 scale ' weave bob
expect 'kovactl capture 0 polarity ' normal inverted
expect 'kovactl --sim grab --format ' y4m png
expect 'kovactl grab --frames 2 -' --engine --frames --format -o --source
expect 'kovactl synclock on ' 0 1 2 3
expect 'kovactl synclock on 3 --standard ' pal ntsc
expect 'kovactl synclock on 3 --' --standard --clock --variant --no-color
expect 'kovactl -y synclock o' on off
expect 'kovactl help syn' synclock

expect 'kovactl reg set OVL1:D' OVL1:D0 OVL1:D1 OVL1:D2 OVL1:D3 OVL1:D4 OVL1:D5 OVL1:D6 OVL1:D7 OVL1:D8 OVL1:D9 \
    OVL1:DA OVL1:DB OVL1:DC OVL1:DD OVL1:DE OVL1:DF
expect_has 'kovactl reg get C' CAP0: CAP1: CR12
expect 'kovactl genlock output on 2 --standard ' pal ntsc
expect 'kovactl reg get sync_st' SYNC_STATUS
expect 'kovactl reg get CAP1:capture_a' CAP1:CAPTURE_ADDRESS
expect 'kovactl --card c --state-dir d reg ' get set dump
# Every global option of kovactl's table (its help options) is offered.
[[ -n ${KOVACTL:-} ]] && expect_has 'kovactl -' $($KOVACTL help options | sed 's/^  //; s/  .*//; s/,//; s/ [A-Z=]*$//')

# Every command word, choice and option of kovactl's own command table (its
# help) is offered where the table has it.
if [[ -n ${KOVACTL:-} ]]; then
    while read -r -a synopsis; do
        line='kovactl'
        for token in "${synopsis[@]}"; do
            optional=0
            [[ $token == \[* ]] && optional=1
            token=${token#[}
            token=${token%]}
            if [[ $token == --* ]]; then
                expect_has "$line --" "$token"
                line+=" $token"
            elif [[ $token =~ ^[A-Z0-9=]+$ ]]; then
                ((optional)) || line+=" 1"
            else
                # Choices; placeholders among them (FILE, FILE.png, - for
                # standard output) are the user's to type.
                choices=()
                for choice in ${token//|/ }; do
                    [[ $choice =~ [A-Z] || $choice == - ]] || choices+=("$choice")
                done
                ((${#choices[@]} == 0)) || expect_has "$line " "${choices[@]}"
                ((optional)) || line+=" ${token%%|*}"
            fi
        done
    done < <($KOVACTL help | sed -n '/^commands:/,$p' | grep '^  [a-z]' | sed 's/^  //; s/  .*//')
else
    echo "FAIL KOVACTL not set"
    ((failures++))
fi

# Every indexed register name offered is one that kovasim accepts.
names=($(_kova_indexed_names))
if ((${#names[@]} < 768)); then
    echo "FAIL only ${#names[@]} register names"
    ((failures++))
fi
sets=()
for name in "${names[@]}"; do sets+=(--set "$name=00"); done
sets+=(--set GR35=E0) # keep the aperture where capview -q maps it
if ! "${kovasim[@]}" "${sets[@]}" -q >/dev/null 2>/tmp/kova_completion_$$.err; then
    echo "FAIL kovasim rejects an offered register name:"
    head -1 /tmp/kova_completion_$$.err
    ((failures++))
fi
rm -f /tmp/kova_completion_$$.err

echo "completion: $failures failures"
exit $((failures != 0))
