#!/usr/bin/env bash
# The README's package command, and the packages it says the build folder then holds, with the
# files each must carry (the .deb's are install_deb's to check).
#
#   check_packages.sh BUILD SOURCE WINDOWS    (WINDOWS: ON where the build makes Varnelt.exe)
set -euo pipefail
build=$1
source_dir=$2
windows=$3

# The names in the README's "Install and packages" section: build/<name>.
names=$(sed -n '/^## Install and packages/,/^## [^#]/p' "$source_dir/README.md" |
        grep -oE 'build/[^ ]+\.(tar\.gz|deb|zip)' | sed 's|^build/||')
[ -n "$names" ] || { echo "README names no packages"; exit 1; }
# Made anew, so that a package left from an earlier build cannot pass.
for name in $names; do rm -f "$build/$name"; done
cmake --build "$build" --target packages >/dev/null
status=0
for name in $names; do
    path=$build/$name
    case $name in
    *.zip) [ "$windows" = ON ] || { echo "no Varnelt.exe here: $name is not made"; continue; } ;;
    esac
    [ -f "$path" ] || { echo "README names $name; the package command did not make it"; status=1; continue; }
    case $name in
    *.tar.gz) contents=$(tar -tzf "$path"); wanted="bin/varnelt share/man/man1/varnelt.1" ;;
    *.zip) contents=$(cmake -E tar tf "$path"); wanted="Varnelt.exe README.md" ;;
    *.deb) echo "$name: made (installed and looked into by install_deb)"; continue ;;
    esac
    for file in $wanted; do
        grep -qE "(^|[ /])$file\$" <<<"$contents" || { echo "$name lacks $file"; status=1; }
    done
    echo "$name: made, with $wanted"
done
exit $status
