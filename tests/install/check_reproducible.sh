#!/usr/bin/env bash
# Two builds in two folders give the same packages: the packages that the packages test made in
# BUILD, against those of a second build of the same sources, with the same settings and the same
# SOURCE_DATE_EPOCH, in a folder of its own. Every artefact's checksum, and so SHA256SUMS itself,
# must be the same.
#
#   check_reproducible.sh BUILD SOURCE CMAKE-ARGUMENT...
set -euo pipefail
build=$1
source_dir=$2
shift 2
[ -n "${SOURCE_DATE_EPOCH:-}" ] || { echo "SOURCE_DATE_EPOCH is not set"; exit 1; }
[ -f "$build/SHA256SUMS" ] || { echo "no $build/SHA256SUMS: the packages test makes it"; exit 1; }
other=$(mktemp -d)
trap 'rm -rf "$other"' EXIT

cmake -S "$source_dir" -B "$other" -DBUILD_TESTING=OFF "$@" >"$other/configure.log" 2>&1 ||
    { cat "$other/configure.log"; exit 1; }
cmake --build "$other" --target packages -j2 >"$other/build.log" 2>&1 || { tail -30 "$other/build.log"; exit 1; }
if ! cmp -s "$build/SHA256SUMS" "$other/SHA256SUMS"; then
    echo "the packages differ between $build and a build in another folder:"
    diff "$build/SHA256SUMS" "$other/SHA256SUMS" || true
    exit 1
fi
echo "a build in another folder made the same $(wc -l <"$other/SHA256SUMS") packages, byte for byte"
