#!/usr/bin/env bash
# The .deb that the package command made: its metadata, an install with dpkg -i into a throw-away
# root, the tool (under VARNELT_EMULATOR where it is another processor's) and the manual page that
# landed there, and a purge that leaves nothing behind.
#
#   check_deb.sh DEB DOCUMENTS MAINTAINER    (DOCUMENTS: the build's doc/, made from doc/*.in)
set -euo pipefail
deb=$1
documents=$2
maintainer=$3
. "$(dirname "$0")/installed_tool.sh"

if ! command -v dpkg >/dev/null; then
    echo "skipped: dpkg is not installed (not a Debian system)"
    exit 0
fi
[ -f "$deb" ] || { echo "no $deb: the packages test makes it"; exit 1; }

field() { dpkg-deb --field "$deb" "$1"; }
problems=()
[ "$(field Package)" = varnelt ] || problems+=("Package: $(field Package)")
[ "$(field Section)" = utils ] || problems+=("Section: $(field Section)")
[ "$(field Maintainer)" = "$maintainer" ] || problems+=("Maintainer: $(field Maintainer)")
[ -z "$(field Depends)" ] || problems+=("Depends: $(field Depends), for a static binary")
# The libraries linked in, the C library's and GCC's run-time's sources: "source (= version), ...".
[[ $(field Built-Using) =~ ^[a-z0-9.+-]+\ \(=\ [^\)]+\),\ [a-z0-9.+-]+\ \(=\ [^\)]+\) ]] ||
    problems+=("Built-Using: $(field Built-Using)")
[ "$(field Description | wc -l)" -gt 1 ] || problems+=("Description has no long part")
if [ ${#problems[@]} -gt 0 ]; then
    printf 'control field %s\n' "${problems[@]}"
    exit 1
fi

root=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$root" "$work"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# As root this is the README's "sudo dpkg -i"; as anyone else dpkg needs telling that the root
# is a folder of one's own, and its helpers in sbin.
dpkg=(dpkg "--root=$root" --log=/dev/null)
[ "$(id -u)" -eq 0 ] || dpkg+=(--force-not-root)
export PATH=$PATH:/usr/sbin:/sbin

# Another processor's package installs where dpkg is told of that architecture, as on a
# multi-architecture system.
architecture=$(field Architecture)
[ "$architecture" = "$(dpkg --print-architecture)" ] || "${dpkg[@]}" --add-architecture "$architecture"

# An empty root: any dependency at all would stop the install here.
"${dpkg[@]}" --install "$deb" >/dev/null
"${dpkg[@]}" --status varnelt | grep -q '^Status: install ok installed' ||
    { echo "dpkg does not count varnelt as installed"; exit 1; }

tool=$root/usr/bin/varnelt
check_tool "$tool" "$work"
if command -v readelf >/dev/null && readelf -d "$tool" | grep -q NEEDED; then
    echo "$tool needs shared libraries, and the package declares none:"
    readelf -d "$tool" | grep NEEDED
    exit 1
fi
page=$root/usr/share/man/man1/varnelt.1.gz
gzip -dc "$page" | cmp -s - "$documents/varnelt.1" ||
    { echo "$page is not the build's doc/varnelt.1, compressed"; exit 1; }
if command -v man >/dev/null; then
    check_manual "$root/usr/share/man"
fi
cmp -s "$root/usr/share/doc/varnelt/copyright" "$documents/copyright" ||
    { echo "the copyright file is not the build's doc/copyright"; exit 1; }
for file in changelog.gz README.md NEWS; do
    [ -f "$root/usr/share/doc/varnelt/$file" ] || { echo "no /usr/share/doc/varnelt/$file"; exit 1; }
done

"${dpkg[@]}" --purge varnelt >/dev/null
left=$(find "$root" -mindepth 1 -path "$root/var" -prune -o -print)
[ -z "$left" ] || { echo "the purge left:"; echo "$left"; exit 1; }
echo "$(basename "$deb") installs into an empty root, works, and purges clean"
