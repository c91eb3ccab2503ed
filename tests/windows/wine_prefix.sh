#!/bin/sh
# Makes the Wine prefix the Windows tests share: wine_prefix.sh WINE. A start that failed (seen
# once on a fresh machine: "could not load kernel32.dll" in 0.04 s, the reason hidden by
# WINEDEBUG=-all) shows Wine's own errors and is tried again from an empty prefix.
wine=$1
log=$(mktemp) || exit 1
trap 'rm -f "$log"' EXIT
for try in 1 2 3; do
    WINEDEBUG=err+all "$wine" wineboot --init >"$log" 2>&1 && exit 0
    echo "wine_prefix: try $try failed; Wine said:" >&2
    head -n 40 "$log" >&2
    "${wine}server" -k 2>/dev/null
    rm -rf "$WINEPREFIX"
    sleep 2
done
exit 1
