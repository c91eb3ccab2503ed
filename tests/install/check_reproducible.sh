#!/usr/bin/env bash
# The same sources give the same packages whoever builds them, wherever and whenever: the packages
# that the packages test made in BUILD, against those of a second build of the same sources with
# the same settings, made under the other common umask (002 against 022), in another time zone, in
# a folder of its own, and with a distribution's own file-name map in its flags (dpkg-buildflags
# maps the unpacked sources, which hold the build folder, to "."). Every artefact's checksum, and
# so SHA256SUMS itself, must be the same.
#
#   check_reproducible.sh BUILD SOURCE CMAKE-ARGUMENT...   (the first build's settings and flags)
set -euo pipefail
build=$1
source_dir=$2
shift 2
[ -f "$build/SHA256SUMS" ] || { echo "no $build/SHA256SUMS: the packages test makes it"; exit 1; }
other=$(mktemp -d)
trap 'rm -rf "$other"' EXIT

# The first build's flags, with dpkg's map of this folder added.
arguments=("$@")
for i in "${!arguments[@]}"; do
    if [[ ${arguments[i]} == -DCMAKE_CXX_FLAGS=* ]]; then
        arguments[i]="${arguments[i]} -ffile-prefix-map=$other=."
    fi
done
if [ "$(umask)" = 0002 ]; then mask=022; else mask=002; fi
if [ "$(date +%z)" = +0545 ]; then zone=America/St_Johns; else zone=Asia/Kathmandu; fi
echo "second build: umask $mask (first: $(umask)), TZ=$zone (first: $(date +%Z)), dpkg's map of $other"
(
    umask $mask
    export TZ=$zone
    cmake -S "$source_dir" -B "$other/obj" -DBUILD_TESTING=OFF "${arguments[@]}" >"$other/configure.log" 2>&1 ||
        { cat "$other/configure.log"; exit 1; }
    cmake --build "$other/obj" --target packages -j2 >"$other/build.log" 2>&1 || { tail -30 "$other/build.log"; exit 1; }
)
if ! cmp -s "$build/SHA256SUMS" "$other/obj/SHA256SUMS"; then
    echo "the packages differ between $build and the second build:"
    diff "$build/SHA256SUMS" "$other/obj/SHA256SUMS" || true
    exit 1
fi
echo "the second build made the same $(wc -l <"$other/obj/SHA256SUMS") packages, byte for byte"
