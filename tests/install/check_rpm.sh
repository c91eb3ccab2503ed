#!/usr/bin/env bash
# An .rpm that the package command made: its header against the .deb of the same build, no
# requirement but rpm's own features, the files it lists, and the tool unpacked with rpm2cpio,
# which resizes a file (under VARNELT_EMULATOR where it is another processor's).
#
#   check_rpm.sh RPM DEB SOURCE
set -euo pipefail
rpm=$1
deb=$2
source_dir=$3
. "$(dirname "$0")/installed_tool.sh"
[ -f "$rpm" ] || { echo "no $rpm: the packages test makes it"; exit 1; }

query() { rpm -qp --qf "$1" "$rpm"; }
problems=()
processor=${rpm%.rpm}
processor=${processor##*.}
[ "$(query '%{ARCH}')" = "$processor" ] || problems+=("Architecture: $(query '%{ARCH}')")
description=$(dpkg-deb --field "$deb" Description)
[ "$(query '%{SUMMARY}')" = "$(head -1 <<<"$description")" ] || problems+=("Summary: $(query '%{SUMMARY}')")
[ "$(query '%{DESCRIPTION}')" = "$(tail -n +2 <<<"$description" | sed 's/^ //')" ] ||
    problems+=("Description: $(query '%{DESCRIPTION}')")
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/varnelt/copyright | grep -qF "$(query '%{LICENSE}')" ||
    problems+=("License: $(query '%{LICENSE}'), which the .deb's copyright file does not say")
required=$(rpm -qpR "$rpm" | grep -v '^rpmlib(' || true)
[ -z "$required" ] || problems+=("Requires: $required, for a static binary")
# Only its own files: no folder of the system's, no build-id links, the manual page compressed.
files=$'/usr/bin/varnelt\n/usr/share/doc/varnelt\n/usr/share/doc/varnelt/README.md\n/usr/share/man/man1/varnelt.1.gz'
[ "$(rpm -qpl "$rpm")" = "$files" ] || problems+=("files: $(rpm -qpl "$rpm" | tr '\n' ' ')")
[ "$(rpm -qpd "$rpm")" = "$(tail -2 <<<"$files")" ] || problems+=("documentation: $(rpm -qpd "$rpm" | tr '\n' ' ')")
if [ ${#problems[@]} -gt 0 ]; then
    printf '%s\n' "${problems[@]}"
    exit 1
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
(cd "$root" && rpm2cpio "$rpm" | cpio -idm --quiet)
check_tool "$root/usr/bin/varnelt" "$root"
gzip -dc "$root/usr/share/man/man1/varnelt.1.gz" | cmp -s - "$source_dir/doc/varnelt.1" ||
    { echo "the manual page is not doc/varnelt.1, compressed"; exit 1; }
echo "$(basename "$rpm") holds what it should, and its tool works"
