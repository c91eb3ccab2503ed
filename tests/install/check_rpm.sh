#!/usr/bin/env bash
# An .rpm that the package command made: its header against the .deb of the same build, no
# requirement but rpm's own features, the files it lists, and the tool unpacked with rpm2cpio,
# which resizes a file (under VARNELT_EMULATOR where it is another processor's).
#
#   check_rpm.sh RPM DEB DOCUMENTS    (DOCUMENTS: the build's doc/, made from doc/*.in)
set -euo pipefail
rpm=$1
deb=$2
documents=$3
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
# Each licence of the field, Varnelt's own and the linked libraries', as the copyright file says it.
license=$(query '%{LICENSE}')
while read -r part; do
    grep -qF "$part" "$documents/copyright" || problems+=("License: $part, which the copyright file does not say")
done <<<"${license// AND /$'\n'}"
[[ $license == *" AND LGPL-2.1-or-later AND GPL-3.0-or-later WITH GCC-exception-3.1" ]] ||
    problems+=("License: $license, without the libraries linked in")
# The %changelog, from NEWS, opens with this version's entry.
[[ $(query '%{CHANGELOGNAME}') == *" - $(query '%{VERSION}')-1" ]] || problems+=("%changelog: $(query '%{CHANGELOGNAME}')")
required=$(rpm -qpR "$rpm" | grep -v '^rpmlib(' || true)
[ -z "$required" ] || problems+=("Requires: $required, for a static binary")
# Only its own files: no folder of the system's, no build-id links, the manual page compressed.
doc=/usr/share/doc/varnelt
files="/usr/bin/varnelt $doc $doc/NEWS $doc/README.md $doc/copyright /usr/share/man/man1/varnelt.1.gz"
[ "$(rpm -qpl "$rpm" | xargs)" = "$files" ] || problems+=("files: $(rpm -qpl "$rpm" | xargs)")
[ "$(rpm -qpd "$rpm" | xargs)" = "$doc/NEWS $doc/README.md $doc/copyright /usr/share/man/man1/varnelt.1.gz" ] ||
    problems+=("documentation: $(rpm -qpd "$rpm" | xargs)")
[ "$(rpm -qpL "$rpm")" = "$doc/copyright" ] || problems+=("licence files: $(rpm -qpL "$rpm" | xargs)")
if [ ${#problems[@]} -gt 0 ]; then
    printf '%s\n' "${problems[@]}"
    exit 1
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
(cd "$root" && rpm2cpio "$rpm" | cpio -idm --quiet)
check_tool "$root/usr/bin/varnelt" "$root"
gzip -dc "$root/usr/share/man/man1/varnelt.1.gz" | cmp -s - "$documents/varnelt.1" ||
    { echo "the manual page is not the build's doc/varnelt.1, compressed"; exit 1; }
echo "$(basename "$rpm") holds what it should, and its tool works"
