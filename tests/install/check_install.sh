#!/usr/bin/env bash
# The README's install command into a fresh prefix, and what landed there: the files the README
# lists, a tool that resizes a file, and (with "manual") a page that `man varnelt` renders.
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
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

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
    echo "man varnelt renders the installed page"
else
    check_tool "$prefix/bin/varnelt" "$prefix"
    # The README's uninstall, on this build's manifest: no file of the install is left.
    line=$(grep -m1 '^xargs rm < build/install_manifest.txt' "$source_dir/README.md") ||
        { echo "README shows no uninstall"; exit 1; }
    line=${line%%#*}
    bash -c "${line//build\//$build/}"
    left=$(find "$prefix" -type f ! -name file.bin ! -name out.txt)
    [ -z "$left" ] || { echo "the README's uninstall left:"; echo "$left"; exit 1; }
    echo "installed, working and uninstalled: ${listed[*]}"
fi
