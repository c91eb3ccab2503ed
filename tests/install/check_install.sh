#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses what landed there: the tool resizes a file and
# the manual page renders.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
tool=$prefix/bin/varnelt
page=$prefix/share/man/man1/varnelt.1
[ -x "$tool" ] || { echo "no $tool"; exit 1; }
[ -f "$page" ] || { echo "no $page"; exit 1; }

printf 'abcdef' >"$prefix/file.bin"
(cd "$prefix" && "$tool" file.bin 3) >"$prefix/out.txt"
expected=$'OpenFile... ok\r\nSetFilePointer(0x00000003)... ok\r\nSetEndOfFile... ok\r\nCloseFile... ok\r\n'
[ "$(cat "$prefix/out.txt"; echo x)" = "${expected}x" ] || { echo "unexpected transcript:"; cat -A "$prefix/out.txt"; exit 1; }
[ "$(cat "$prefix/file.bin")" = abc ] || { echo "file not cut to 3 bytes"; exit 1; }

if command -v man >/dev/null; then
    rendered=$(MANWIDTH=80 man -l "$page" 2>&1)
    grep -q "varnelt - set the size of an existing file" <<<"$rendered" ||
        { echo "man -l did not render the page:"; echo "$rendered" | head; exit 1; }
else
    echo "man is not installed: the page was installed but not rendered"
fi
echo "installed and working"
