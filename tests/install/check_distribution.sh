#!/usr/bin/env bash
# A distribution's build of the source tarball, as its packager runs it, unprivileged (as nobody
# when run as root): the .deb with dpkg-buildpackage -us -uc from packaging/debian, its check step
# running the tests; the .rpm with rpmbuild -ba from packaging/rpm/varnelt.spec under --nocheck
# --without check, which must build no test. Then: the C library linked dynamically, the final
# binary's hardening (hardening-check where installed), and lintian --pedantic or rpmlint on the
# source and binary packages, with no finding.
#
#   check_distribution.sh deb|rpm TARBALL VERSION CHECK-HARDENING
set -euo pipefail
kind=$1
tarball=$2
version=$3
check_hardening=$4
if [ $kind = deb ]; then needed=(dpkg-buildpackage dh lintian); else needed=(rpmbuild rpmlint); fi
for tool in "${needed[@]}"; do
    command -v $tool >/dev/null ||
        { echo "skipped: $tool is not installed (Debian packages dpkg-dev, debhelper, lintian, rpm, rpmlint)"; exit 0; }
done
[ -f "$tarball" ] || { echo "no $tarball: the packages test makes it"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
top=varnelt-$version
tar -xzf "$tarball" -C "$work"
as_builder=()
if [ "$(id -u)" -eq 0 ]; then
    as_builder=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi
# In FOLDER, COMMAND as the builder, into build.log.
run() {
    [ ${#as_builder[@]} -eq 0 ] || chown -R nobody: "$work"
    (cd "$1" && shift && "${as_builder[@]}" env HOME="$work" "$@") >"$work/build.log" 2>&1 ||
        { tail -40 "$work/build.log"; echo "failed: $*"; exit 1; }
}

if [ $kind = deb ]; then
    cp "$tarball" "$work/varnelt_$version.orig.tar.gz"
    cp -r "$work/$top/packaging/debian" "$work/$top/debian"
    missing=$(cd "$work/$top" && dpkg-checkbuilddeps 2>&1) ||
        { echo "skipped: ${missing#dpkg-checkbuilddeps: error: }"; exit 0; }
    run "$work/$top" dpkg-buildpackage -us -uc
    grep -q '^100% tests passed' "$work/build.log" || { echo "the check step ran no test"; exit 1; }
    package=$work/varnelt_$version-1_$(dpkg --print-architecture).deb
    depends=$(dpkg-deb --field "$package" Depends)
    [[ $depends == *libc6* ]] || { echo "Depends: $depends: the C library is not linked dynamically"; exit 1; }
    bash "$check_hardening" "$work/$top/obj-$(dpkg-architecture -qDEB_HOST_MULTIARCH)" "${CXX:-c++}"
    "${as_builder[@]}" lintian --pedantic --fail-on error,warning,info,pedantic "$work"/*.changes || { echo "lintian --pedantic: findings"; exit 1; }
    echo "dpkg-buildpackage built $(basename "$package") from $(basename "$tarball"): tests passed, lintian --pedantic clean"
else
    mkdir -p "$work/rpmbuild/SOURCES"
    cp "$tarball" "$work/rpmbuild/SOURCES/"
    spec=$work/$top/packaging/rpm/varnelt.spec
    # The builder names itself as the packager, as a distribution's build system does.
    options=(--define "_topdir $work/rpmbuild" --define "packager Varnelt test build <nobody@localhost>"
             --nocheck --without check)
    # Where rpm's database knows no build requirement (rpm on Debian), they are not asked.
    rpm -q cmake >/dev/null 2>&1 || options+=(--nodeps)
    run "$work" rpmbuild -ba "${options[@]}" "$spec"
    ! grep -qE 'unit_tests|e2e_tests|^\+ ctest' "$work/build.log" || { echo "--nocheck --without check built or ran tests"; exit 1; }
    package=$(find "$work/rpmbuild/RPMS" -name "varnelt-$version-1*.rpm" ! -name '*debug*')
    rpm -qpR "$package" | grep -q '^libc\.so\.6' || { echo "the .rpm requires no libc.so.6: not linked dynamically"; exit 1; }
    # No error; warnings are shown. Where rpm is Debian's, its brp-strip keeps the symbols (Fedora's
    # find-debuginfo moves them to a debuginfo package) and its brp-compress fails under dash, so
    # the binary stays unstripped and the page uncompressed: rpmlint warns of both there.
    rpmlint -c "$work/$top/cmake/rpmlint.toml" "$package" "$work"/rpmbuild/SRPMS/*.src.rpm "$spec" ||
        { echo "rpmlint: errors"; exit 1; }
    echo "rpmbuild built $(basename "$package") from $(basename "$tarball") without tests; rpmlint: no error"
fi
