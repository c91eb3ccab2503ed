#!/usr/bin/env bash
# The README's long fuzz runs, as it shows them, from the build folder, for seconds instead of
# minutes: the programs, the options and the folders they name are there and work.
#
#   fuzz_long_run.sh SOURCE BUILD
set -euo pipefail
source_dir=$1
build=$2
. "$(dirname "$0")/doc_helpers.sh"

# The README runs them from build/ beside tests/; this build may be anywhere, so they run in a
# folder laid out like that, whose build/fuzz is this build's and whose tests/ is the sources'.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/build"
ln -s "$build/fuzz" "$work/build/fuzz"
ln -s "$source_dir/tests" "$work/tests"

commands=$(readme_section "## Tests" | grep -E '^ *fuzz/[a-z]+_fuzz ' | sed 's/^ *//' || true)
[ -n "$commands" ] || { echo "the README shows no long fuzz run"; exit 1; }
while read -r command; do
    [[ $command == *-max_total_time=600* ]] || fail "no -max_total_time=600 in: $command"
    echo "running: $command (for 3 seconds)"
    (cd "$work/build" && bash -c "${command/-max_total_time=600/-max_total_time=3}") >"$build/fuzz/long_run.log" 2>&1 ||
        { fail "$command"; tail -5 "$build/fuzz/long_run.log"; }
done <<<"$commands"
[ $failures = 0 ] || exit 1
echo "the long runs start and end as the README shows"
