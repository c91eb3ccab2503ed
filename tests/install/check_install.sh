#!/usr/bin/env bash
# The README's install command into a fresh prefix, and what landed there: the files the README
# lists, a tool that resizes a file, and (with "manual") a page that `man varnelt` renders; then
# the README's uninstall, beside a package's files.
#
#   check_install.sh BUILD SOURCE [manual]
set -euo pipefail
build=$1
source_dir=$2
mode=${3:-tool}
. "$(dirname "$0")/installed_tool.sh"

if [ "$mode" = manual ] && ! command -v man >/dev/null; then
    echo "skipped: man is not installed (Debian package man-db)"
    exit 0
fi
prefix=$(realpath "$(mktemp -d)")
package=$(mktemp -d)
trap 'rm -rf "$prefix" "$package"' EXIT
mkdir "$prefix/bin" # as /usr/local/bin is there before any install

# "cmake --install build --prefix /usr/local --strip   # bin/varnelt, share/man/man1/varnelt.1, ..."
line=$(grep -m1 'cmake --install build ' "$source_dir/README.md") ||
    { echo "README shows no cmake --install command"; exit 1; }
cmake --install "$build" --prefix "$prefix" --strip >/dev/null
read -ra listed <<<"$(tr ',' ' ' <<<"${line#*# }")"
for file in "${listed[@]}"; do
    [ -f "$prefix/$file" ] || { echo "README says $file is installed; it is not"; exit 1; }
done

if [ "$mode" = manual ]; then
    check_manual "$prefix/share/man"
    # The README's look at the page before installing it.
    line=$(grep -m1 '^man -l build/' "$source_dir/README.md") || { echo "README shows no man -l"; exit 1; }
    line=${line%%#*}
    rendered=$(MANWIDTH=80 bash -c "${line//build\//$build/}" 2>&1) || { echo "$line failed: $rendered"; exit 1; }
    grep -q "varnelt - set the size of an existing file" <<<"$rendered" || { echo "$line: $rendered"; exit 1; }
    # Lines within 80 bytes, and a date and markup that mandoc reads.
    long=$(awk 'length > 80 { print FILENAME ":" FNR ": " length " bytes" }' "$build/doc/varnelt.1")
    [ -z "$long" ] || { echo "$long"; exit 1; }
    if command -v mandoc >/dev/null; then
        lint=$(mandoc -T lint -W style "$build/doc/varnelt.1" 2>&1) || true
        [ -z "$lint" ] || { echo "mandoc -T lint:"; echo "$lint"; exit 1; }
    else
        echo "mandoc is not installed (Debian package mandoc): mandoc -T lint not run"
    fi
    echo "man varnelt renders the installed page"
else
    check_tool "$prefix/bin/varnelt" "$prefix"
    # A package's files beside it: the packages step installs the same files below /usr into its
    # staging folder, which rewrites CMake's install_manifest.txt with /usr paths.
    DESTDIR=$package cmake --install "$build" --prefix /usr >/dev/null
    # The README's uninstall, for this prefix: every file of the install goes, and the folders it
    # made; a folder that was there before stays, and so does every file of the package.
    line=$(grep -m1 '^cmake -P build/uninstall/usr/local.cmake' "$source_dir/README.md") ||
        { echo "README shows no uninstall"; exit 1; }
    line=${line%%#*}
    line=${line//build\/uninstall\/usr\/local.cmake/$build/uninstall$prefix.cmake}
    bash -c "$line"
    left=$(cd "$prefix" && find . -mindepth 1 ! -name file.bin ! -name out.txt)
    [ "$left" = ./bin ] || { echo "the README's uninstall left (of the install, beside ./bin that was there):"; echo "$left"; exit 1; }
    kept=$(cd "$package" && find . -type f | sort | xargs)
    [ "$(wc -w <<<"$kept")" = ${#listed[@]} ] || { echo "the uninstall took a package's files; left: $kept"; exit 1; }
    echo "installed, working and uninstalled: ${listed[*]}"
fi
