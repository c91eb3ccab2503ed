#!/usr/bin/env bash
# The README's commands that run the tool from the source folder, run as it shows them in a
# folder whose build/ is this build: the quick start's sample resize, with what "The first
# prints:" shows, and the Windows section's run under Wine.
#
#   quick_start.sh SOURCE BUILD linux|windows
set -euo pipefail
source_dir=$1
build=$2
which=$3
. "$(dirname "$0")/doc_helpers.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$build" "$work/build"

if [ "$which" = linux ]; then
    section=$(readme_section "## Quick start")
    line=$(grep -A1 '^# build the tool and resize a sample file' <<<"$section" | tail -1)
    # The build itself is what the quick start runs; the rest runs here.
    command=$line
    while [[ $command == cmake\ * ]]; do command=${command#* && }; done
    [[ $command == *varnelt* ]] || { echo "no run of varnelt in the quick start: $line"; exit 1; }
    shown=$(sed -n '/^The first prints:/,$p' <<<"$section" | fenced_block 1)
else
    section=$(readme_section "## Windows")
    command=$(fenced_block 1 <<<"$section" | grep -m1 'Varnelt.exe') ||
        { echo "no run of Varnelt.exe in the Windows section"; exit 1; }
    head -c 3000 /dev/urandom >"$work/sample.bin"
    shown=""
fi
echo "running: $command"
code=0
(cd "$work" && bash -c "$command") >"$work/.out" 2>"$work/.err" || code=$?
out=$(cat "$work/.out"; echo x)
out=${out%x}

# The size follows the file name in the tool's command line: varnelt sample.bin <size>.
[[ $command =~ (varnelt|Varnelt\.exe)\ sample\.bin\ ([^ ;]+) ]] || { echo "no size in: $command"; exit 1; }
bytes=$(value_of "${BASH_REMATCH[2]}")
[ "$(stat -c %s "$work/sample.bin")" = "$bytes" ] || fail "sample.bin is $(stat -c %s "$work/sample.bin") bytes, not $bytes"
if [ "$which" = linux ]; then
    # What it prints: the transcript the README shows, then the ls -l line with the new size.
    expected=$(as_printed <<<"$shown")$'\n'
    [ "${out:0:${#expected}}" = "$expected" ] || fail "it printed $(cat -A <<<"$out"), the README shows $shown"
    [[ ${out:${#expected}} == *" $bytes "*sample.bin* ]] || fail "ls -l does not show $bytes bytes: ${out:${#expected}}"
else
    [ $code = 0 ] || fail "exit code $code: $(cat -A <<<"$out") $(cat "$work/.err")"
    [ "$(shown_position)" = "$(position_text "$bytes")" ] || fail "unexpected transcript: $(cat -A <<<"$out")"
fi
[ $failures = 0 ] || exit 1
echo "as the README shows"
