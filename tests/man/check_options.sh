#!/usr/bin/env bash
# check_options.sh PAGE PROGRAM...: every option that PROGRAM lists with
# --list-options (the table its help and completion come from) is in the
# OPTIONS section of its man page PAGE.
set -u
page=$1
shift
failures=0
options=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed 's/\\-/-/g')
listed=$("$@" --list-options) || { echo "FAIL $* --list-options"; exit 1; }
while read -r name _; do
    if ! grep -Eq -- "(^|[^a-z-])$name([^a-z-]|$)" <<<"$options"; then
        echo "FAIL man page has no option \"$name\""
        ((failures++))
    fi
done <<<"$listed"
echo "man page options: $failures failures"
exit $((failures != 0))
