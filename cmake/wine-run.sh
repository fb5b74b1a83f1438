#!/bin/sh
# Runs one Windows test program under Wine: wine-run.sh WINE PROGRAM [ARGS].
# Under load Wine now and then fails to start a program at all: it exits at
# once with nothing written, and no test ran. Only that start is tried once
# more; a program that ran and failed is never run again.
out=$(mktemp) && err=$(mktemp) || exit 1
trap 'rm -f "$out" "$err"' EXIT
for try in 1 2; do
    "$@" </dev/null >"$out" 2>"$err"
    code=$?
    if [ "$code" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ] && [ "$try" -eq 1 ]; then
        sleep 1
        continue
    fi
    break
done
cat "$out"
cat "$err" >&2
exit "$code"
