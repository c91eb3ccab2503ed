#!/usr/bin/env bash
# A distribution's build of the source tarball, as its packager runs it, unprivileged (as nobody
# when run as root): the .deb with dpkg-buildpackage -us -uc from packaging/debian, the .rpm with
# rpmbuild -ba from packaging/rpm/varnelt.spec. Built twice: once with the check step, which runs
# the tests, and once without (DEB_BUILD_OPTIONS=nocheck, which builds no test; rpmbuild --nocheck),
# under the other umask and in another time zone (the .deb also in another folder); both give the
# same package, byte for byte. rpmbuild --nocheck --without check builds no test either. Then: the C library linked dynamically, the final binary's
# hardening (hardening-check where VARNELT_HARDENING_CHECK names it), the .deb's flags' own
# -D_FORTIFY_SOURCE=3 never redefined, and lintian --pedantic or rpmlint on the source and binary
# packages.
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
as_builder=()
[ "$(id -u)" -ne 0 ] || as_builder=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
if [ "$(umask)" = 0002 ]; then mask=022; else mask=002; fi

# In FOLDER (below $work), COMMAND as the builder, into FOLDER.log.
run() {
    local folder=$1
    shift
    [ ${#as_builder[@]} -eq 0 ] || chown -R nobody: "$work"
    (cd "$folder" && "${as_builder[@]}" env HOME="$work" "$@") >"$folder.log" 2>&1 ||
        { tail -40 "$folder.log"; echo "failed: $*"; exit 1; }
}

# The sources unpacked in FOLDER, as each distribution's tools want them.
unpack() {
    mkdir -p "$1"
    tar -xzf "$tarball" -C "$1"
    if [ $kind = deb ]; then
        cp "$tarball" "$1/varnelt_$version.orig.tar.gz"
        cp -r "$1/$top/packaging/debian" "$1/$top/debian"
    else
        mkdir -p "$1/rpmbuild/SOURCES"
        cp "$tarball" "$1/rpmbuild/SOURCES/"
        # The source package records the modes of the recipe and the tarball as the packager keeps
        # them (an rpm build system's umask is 022): 0644 whatever this umask.
        chmod 0644 "$1/rpmbuild/SOURCES/$(basename "$tarball")" "$1/$top/packaging/rpm/varnelt.spec"
    fi
}

if [ $kind = deb ]; then
    # A distribution's own fortification level, which the project must not redefine.
    export DEB_CPPFLAGS_SET="-Wdate-time -D_FORTIFY_SOURCE=3"
    unpack "$work/first"
    missing=$(cd "$work/first/$top" && dpkg-checkbuilddeps 2>&1) ||
        { echo "skipped: ${missing#dpkg-checkbuilddeps: error: }"; exit 0; }
    run "$work/first/$top" dpkg-buildpackage -us -uc
    grep -q '^100% tests passed' "$work/first/$top.log" || { echo "the check step ran no test"; exit 1; }
    redefined=$(grep -c '_FORTIFY_SOURCE" redefined' "$work/first/$top.log" || true)
    [ "$redefined" = 0 ] || { echo "_FORTIFY_SOURCE=3 of the distribution's flags redefined $redefined times"; exit 1; }
    unpack "$work/second"
    (umask $mask && TZ=Asia/Kathmandu DEB_BUILD_OPTIONS=nocheck run "$work/second/$top" dpkg-buildpackage -us -uc)
    package=varnelt_$version-1_$(dpkg --print-architecture).deb
    depends=$(dpkg-deb --field "$work/first/$package" Depends)
    [[ $depends == *libc6* ]] || { echo "Depends: $depends: the C library is not linked dynamically"; exit 1; }
    bash "$check_hardening" "$work/first/$top/obj-$(dpkg-architecture -qDEB_HOST_MULTIARCH)" "${CXX:-c++}"
    # From the scratch folder: the builder may not enter the checkout (a folder only root may).
    (cd "$work" && "${as_builder[@]}" lintian --pedantic --fail-on error,warning,info,pedantic first/*.changes) ||
        { echo "lintian --pedantic: findings"; exit 1; }
else
    # As Fedora's build system asks it: the packager named, the build dated by the changelog.
    options=(--define "packager Varnelt test build <nobody@localhost>"
             --define "source_date_epoch_from_changelog 1" --define "use_source_date_epoch_as_buildtime 1"
             --define "clamp_mtime_to_source_date_epoch 1" --define "_buildhost reproducible")
    # Where rpm's database knows no build requirement (rpm on Debian), they are not asked.
    rpm -q cmake >/dev/null 2>&1 || options+=(--nodeps)
    # The source package holds the recipe as rpm expanded it, with the build's folder: both builds
    # are made in one folder, as an rpm build system's are (/builddir), one after the other.
    build=$work/build
    recipe=$build/$top/packaging/rpm/varnelt.spec
    unpack "$build"
    run "$build" rpmbuild -ba --define "_topdir $build/rpmbuild" "${options[@]}" "$recipe"
    mv "$build" "$work/first" && mv "$build.log" "$work/first.log"
    grep -q '^100% tests passed' "$work/first.log" || { echo "%check ran no test"; exit 1; }
    # --nocheck skips the check section; the same sources give the same packages.
    unpack "$build"
    (umask $mask && TZ=Asia/Kathmandu run "$build" rpmbuild -ba --define "_topdir $build/rpmbuild" \
        "${options[@]}" --nocheck "$recipe")
    mv "$build" "$work/second" && mv "$build.log" "$work/second.log"
    ! grep -q '^+ ctest' "$work/second.log" || { echo "rpmbuild --nocheck ran the tests"; exit 1; }
    # --without check also builds none (a package of other build requirements: not compared).
    unpack "$build"
    run "$build" rpmbuild -bb --define "_topdir $build/rpmbuild" "${options[@]}" --nocheck --without check "$recipe"
    mv "$build.log" "$work/third.log"
    recipe=$work/first/$top/packaging/rpm/varnelt.spec
    package=$(cd "$work/first/rpmbuild/RPMS" && find . -name "varnelt-$version-1*.rpm" ! -name '*debug*')
    rpm -qpR "$work/first/rpmbuild/RPMS/$package" | grep -q '^libc\.so\.6' ||
        { echo "the .rpm requires no libc.so.6: not linked dynamically"; exit 1; }
    # No error; warnings are shown. Where rpm is Debian's, its brp-strip keeps the symbols (Fedora's
    # find-debuginfo moves them to a debuginfo package) and its brp-compress fails under dash, so
    # the binary stays unstripped and the page uncompressed: rpmlint warns of both there.
    rpmlint -c "$work/first/$top/cmake/rpmlint.toml" "$work/first/rpmbuild/RPMS/$package" \
        "$work"/first/rpmbuild/SRPMS/*.src.rpm "$recipe" || { echo "rpmlint: errors"; exit 1; }
fi
log=$work/third.log
[ $kind = rpm ] || log=$work/second/$top.log
! grep -qE 'unit_tests|e2e_tests' "$log" || { echo "the build without its check step built tests"; exit 1; }
first=$(cd "$work/first" && find . -name "$(basename "$package")" -exec sha256sum {} +)
second=$(cd "$work/second" && find . -name "$(basename "$package")" -exec sha256sum {} +)
[ "$first" = "$second" ] || { echo "two builds differ:"; echo "$first"; echo "$second"; exit 1; }
echo "built $(basename "$package") from $(basename "$tarball") with and without its tests, under umask" \
     "$(umask) and $mask, byte for byte the same; lintian --pedantic or rpmlint: no finding that fails"
