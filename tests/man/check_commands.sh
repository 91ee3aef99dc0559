#!/usr/bin/env bash
# The commands of kovactl's man page are those of its command table: every
# command word of the table (as "kovactl help" lists it) is in the man page's
# entry for that command, and every command the man page names is in the table.
#   check_commands.sh MAN_PAGE KOVACTL [EMULATOR...]
set -uo pipefail
page=$1
shift
failures=0

# The COMMANDS section, one entry a line: the .TP/.TQ tags first, then the
# text, roff markup stripped ("dac crt|tv|ram|power off|on DAC switches ...").
entries=$(sed -n '/^\.SH COMMANDS/,/^\.SH /p' "$page" | sed '1d;$d' | awk '
    /^\.TP/ { if (entry != "") print entry; entry = ""; tag = 1; next }
    /^\.TQ/ { entry = entry " ,"; tag = 1; next }
    { line = $0; sub(/^\.[A-Z]+ ?/, "", line); if (tag) line = line " ::"; tag = 0; entry = entry " " line }
    END { print entry }' | sed 's/\\f[BIRP]//g; s/\\-/-/g; s/\\&//g; s/\\ / /g; s/"//g; s/ *\[/ [/g')

# The man page entries that name command NAME (as a tag's first word).
entries_of() {
    local name=$1 entry tags
    while read -r entry; do
        tags=${entry%::*} tags=${tags//::/,}
        [[ " ${tags//,/ , } " =~ (^|[ ,])" $name " ]] && echo "$entry"
    done <<<"$entries"
}

names=()
while read -r -a synopsis; do
    name=${synopsis[0]} word=${synopsis[1]-}
    [[ $word == N ]] && word=${synopsis[2]-}
    [[ " ${names[*]} " == *" $name "* ]] || names+=("$name")
    text=$(entries_of "$name")
    if [[ -z $text ]]; then
        echo "FAIL man page has no entry for \"$name\""
        ((failures++))
    elif [[ $word =~ ^[a-z][a-z-]*$ ]] && ! grep -Eq "(^|[][ |,;.:()])$word($|[][ |,;.:()])" <<<"$text"; then
        echo "FAIL man page entry of \"$name\" lacks \"$word\""
        ((failures++))
    fi
done < <("$@" help | sed -n '/^commands:/,$p' | sed -n 's/^  \([a-z][^ ]*\( [^ ]\{1,\}\)*\).*/\1/p')

if ((${#names[@]} < 10)); then
    echo "FAIL only ${#names[@]} commands in the table"
    ((failures++))
fi
while read -r entry; do
    tags=${entry%::*} tags=${tags//::/,}
    for tag in ${tags//,/ , }; do
        [[ $tag == , ]] && { first=1; continue; }
        if ((${first-1})) && [[ $tag =~ ^[a-z] && $tag != help && " ${names[*]} " != *" $tag "* ]]; then
            echo "FAIL man page names \"$tag\", which is not in the table"
            ((failures++))
        fi
        first=0
    done
    first=1
done <<<"$entries"

# Every global option of the program's table ("help options") is in the
# OPTIONS section.
options=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed 's/\\-/-/g')
while read -r option; do
    for name in ${option//,/}; do
        [[ $name == -* ]] || continue
        if ! grep -Eq -- "(^|[^a-z-])$name([^a-z-]|$)" <<<"$options"; then
            echo "FAIL man page has no option \"$name\""
            ((failures++))
        fi
    done
done < <("$@" help options | sed 's/^  //; s/  .*//')

echo "man page commands: $failures failures"
exit $((failures != 0))
