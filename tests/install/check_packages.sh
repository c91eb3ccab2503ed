#!/usr/bin/env bash
# The README's package command: the packages it names are the ones this build makes (a name that
# needs a sub-build is let off where that is not built), with the files each must carry (the
# .deb's and .rpm's are install_deb_* and install_rpm_*'s to check), and SHA256SUMS checks them all.
#
#   check_packages.sh BUILD SOURCE PACKAGE...    (PACKAGE...: the files this build's step makes)
set -euo pipefail
build=$1
source_dir=$2
shift 2
made=("$@")

# The names in the README's "Install and packages" section: build/<name>.
names=$(sed -n '/^## Install and packages/,/^## [^#]/p' "$source_dir/README.md" |
        grep -oE 'build/[^ ]+\.(tar\.gz|deb|rpm|zip)|build/SHA256SUMS' | sed 's|^build/||' | sort -u)
[ -n "$names" ] || { echo "README names no packages"; exit 1; }
# The day of the newest NEWS entry, 00:00 UTC, dates every package.
epoch=$(date -u -d "$(sed -n 's/^Varnelt [0-9.]*, \([0-9-]*\)$/\1/p' "$source_dir/NEWS" | head -1)" +%s)
# Made anew, so that a package left from an earlier build cannot pass.
for name in $names; do rm -f "$build/$name"; done
# The list of the user's last install, which the packages step must leave alone.
manifest=$build/install_manifest.txt
[ ! -f "$manifest" ] || cp "$manifest" "$build/manifest.before"
echo /usr/local/bin/varnelt >"$manifest"
cmake --build "$build" --target packages >/dev/null
status=0
[ "$(cat "$manifest")" = /usr/local/bin/varnelt ] ||
    { echo "the packages step rewrote install_manifest.txt:"; cat "$manifest"; status=1; }
[ ! -f "$build/manifest.before" ] || mv "$build/manifest.before" "$manifest"
for name in "${made[@]}" SHA256SUMS; do
    grep -qxF "$name" <<<"$names" || { echo "the package step makes $name; README does not name it"; status=1; }
done
for name in $names; do
    path=$build/$name
    if [ "$name" != SHA256SUMS ] && ! printf '%s\n' "${made[@]}" | grep -qxF "$name"; then
        echo "$name: not made by this build (its sub-build is off or cannot be built here)"
        continue
    fi
    [ -f "$path" ] || { echo "README names $name; the package command did not make it"; status=1; continue; }
    case $name in
    *-linux-*.tar.gz)
        contents=$(tar -tzf "$path"); wanted="bin/varnelt share/man/man1/varnelt.1 share/doc/varnelt/copyright"
        # The README's install of it keeps the folders already there as they are.
        line=$(grep -m1 -o 'tar -xzf varnelt-[^`]*-C /usr/local' "$source_dir/README.md") ||
            { echo "README shows no install of $name"; status=1; continue; }
        prefix=$(mktemp -d)
        mkdir -m 2775 "$prefix/bin"
        (cd "$build" && bash -c "${line%/usr/local}$prefix")
        mode=$(stat -c %a "$prefix/bin")
        rm -rf "$prefix"
        [ "$mode" = 2775 ] || { echo "README's \"$line\" made a folder of mode 2775 $mode"; status=1; } ;;
    *.tar.gz)
        # The sources: the files git tracks, the packaging among them, and no build folder.
        contents=$(tar -tzf "$path"); wanted="CMakeLists.txt packaging/debian/rules packaging/rpm/varnelt.spec"
        ! grep -qE '(^|/)(CMakeCache\.txt|install_manifest\.txt)$' <<<"$contents" ||
            { echo "$name holds a build folder"; status=1; } ;;
    *.zip)
        contents=$(cmake -E tar tf "$path"); wanted="Varnelt.exe README.txt"
        # A Windows user's README: every line ends in CR LF.
        unpacked=$(mktemp -d)
        (cd "$unpacked" && cmake -E tar xf "$path" README.txt)
        lf=$(grep -cv $'\r$' "$unpacked/README.txt" || true)
        rm -rf "$unpacked"
        [ "$lf" = 0 ] || { echo "$name: README.txt has $lf lines without CR LF"; status=1; }
        # Dated in UTC by the one rule, whatever the builder's time zone, and no owner's uid or gid.
        python3 - "$path" "$epoch" <<'PY' || status=1
import sys, time, zipfile
path, epoch = sys.argv[1], int(sys.argv[2])
for info in zipfile.ZipFile(path).infolist():
    if info.date_time != time.gmtime(epoch)[:6] or info.extra:
        sys.exit(f"{path}: {info.filename} dated {info.date_time} (local time?), extra fields {info.extra!r}")
PY
        # The manifests a Windows packager takes, as the packages step makes them given an address:
        # the version, the .zip's address and the checksum SHA256SUMS has for it.
        manifests=$(mktemp -d)
        version=${name#varnelt-}
        version=${version%%-*}
        (cd "$manifests" && cmake -DZIP="$path" -DURL=https://example.org/releases/ -DVERSION="$version" \
            -DPUBLISHER=Varnelt -DLICENSE="All rights reserved" -P "$source_dir/cmake/windows_manifests.cmake")
        sum=$(sha256sum "$path" | cut -d' ' -f1)
        python3 - "$manifests" "https://example.org/releases/$name" "$sum" "$version" <<'PY' || status=1
import json, sys
folder, address, sha, version = sys.argv[1:]
scoop = json.load(open(folder + "/scoop/varnelt.json"))["architecture"]["64bit"]
installer = open(folder + "/winget/Varnelt.Varnelt.installer.yaml").read()
wanted = [f'InstallerUrl: "{address}"', f"InstallerSha256: {sha.upper()}", f"PackageVersion: {version}\n"]
if scoop != {"url": address, "hash": sha} or any(line not in installer for line in wanted):
    sys.exit(f"the manifests do not name {address} with {sha}: {scoop}\n{installer}")
PY
        rm -rf "$manifests"
        ;;
    SHA256SUMS) contents=$(cut -d' ' -f3 "$path"); wanted="${made[*]}" ;;
    *) echo "$name: made (installed and looked into by its own test)"; continue ;;
    esac
    for file in $wanted; do
        grep -qE "(^|[ /])${file//./\\.}\$" <<<"$contents" || { echo "$name lacks $file"; status=1; }
    done
    echo "$name: made, with $wanted"
done
(cd "$build" && sha256sum -c SHA256SUMS) || status=1

# The distributions' packaging says what NEWS says: its version, and each changelog's items as the
# build made them from NEWS (doc/changelog, doc/changelog.rpm).
version=$(sed -n 's/^Varnelt \([0-9.]*\), .*/\1/p' "$source_dir/NEWS" | head -1)
debian=$source_dir/packaging/debian/changelog
recipe=$source_dir/packaging/rpm/varnelt.spec
[ "$(head -1 "$debian")" = "varnelt ($version-1) unstable; urgency=medium" ] ||
    { echo "packaging/debian/changelog does not open with $version-1"; status=1; }
grep -qx "Version: *$version" "$recipe" || { echo "the RPM recipe's Version is not $version"; status=1; }
cmp -s <(grep '^  ' "$debian") <(grep '^  ' "$build/doc/changelog") ||
    { echo "packaging/debian/changelog's items are not NEWS's"; status=1; }
cmp -s <(sed -n '/^%changelog/,$p' "$recipe" | grep '^[- ] ') <(grep '^[- ] ' "$build/doc/changelog.rpm") ||
    { echo "the RPM recipe's %changelog items are not NEWS's"; status=1; }

# The README's check of a download, as it stands, where one package lies beside SHA256SUMS.
line=$(sed -n '/^## Install and packages/,/^## [^#]/p' "$source_dir/README.md" | grep -m1 '^sha256sum -c') ||
    { echo "README shows no sha256sum -c"; exit 1; }
download=$(mktemp -d)
trap 'rm -rf "$download"' EXIT
cp "$build/SHA256SUMS" "$build/${made[1]}" "$download"
(cd "$download" && bash -c "${line%%#*}") || { echo "README's \"${line%%#*}\" fails on a download"; status=1; }
exit $status
