#!/usr/bin/env bash
# The hardening a distribution builds its packages with, read from the final binary of one build
# (the one its packages carry, before it is stripped): position independent, read-only relocations
# bound at start-up, the stack protector and _FORTIFY_SOURCE's checked calls, and the control-flow
# protection marks (IBT and SHSTK on x86-64, BTI and PAC on arm64). A binary carries a mark only
# where every object linked into it does: where the C library's objects lack one, the test says so
# plainly and holds Varnelt's own objects to it instead. Linked dynamically, the binary also passes
# hardening-check (devscripts; VARNELT_HARDENING_CHECK), told of the marks the C library prevents.
#
#   check_hardening.sh BUILD COMPILER    (COMPILER: the build's, which finds its C library)
set -euo pipefail
build=$1
compiler=$2
tool=$build/varnelt
[ -f "$tool" ] || { echo "no $tool"; exit 1; }
problems=()
readelf -hW "$tool" | grep -q '^ *Type: *DYN' || problems+=("not position-independent (-pie)")
readelf -lW "$tool" | grep -q '^ *GNU_RELRO ' || problems+=("no GNU_RELRO program header (-z relro)")
readelf -dW "$tool" | grep -q '(FLAGS) *BIND_NOW' || problems+=("no BIND_NOW in the dynamic section (-z now)")
symbols=$(readelf -sW "$tool" | awk '{ sub(/@.*/, "", $8); print $8 }' | sort -u)
grep -qx '__stack_chk_fail' <<<"$symbols" || problems+=("no call of __stack_chk_fail (-fstack-protector-strong)")
grep -qE '^__[a-z]+_chk$' <<<"$symbols" || problems+=("no checked call such as __vsnprintf_chk (-D_FORTIFY_SOURCE)")
# Varnelt's own objects call them, not only the C library's.
libraries=("$build/libvarnelt_program.a" "$build/libvarnelt_posix.a")
undefined=$(readelf -sW "${libraries[@]}" | awk '$7 == "UND" { print $8 }' | sort -u)
grep -qx '__stack_chk_fail' <<<"$undefined" || problems+=("no object of Varnelt's calls __stack_chk_fail")
grep -qE '^__[a-z]+_chk$' <<<"$undefined" || problems+=("no object of Varnelt's makes a checked call")

if readelf -dW "$tool" | grep -q '(NEEDED)'; then
    linked=dynamic
    c_library=()
    for file in Scrt1.o crti.o crtn.o; do c_library+=("$(realpath -m "$("$compiler" -print-file-name=$file)")"); done
else
    linked=static
    c_library=("$(realpath -m "$("$compiler" -print-file-name=libc.a)")")
fi
case $(readelf -hW "$tool" | sed -n 's/^ *Machine: *//p') in
*X86-64*) note='x86 feature'; marks=(IBT SHSTK) ;;
*AArch64*) note='AArch64 feature'; marks=(BTI PAC) ;;
*) note=''; marks=() ;;
esac
carried=$(readelf -nW "$tool" | sed -n "s/^ *Properties: *$note: //p")
have=()
prevented=()
for mark in "${marks[@]}"; do
    if grep -qw "$mark" <<<"$carried"; then have+=("$mark"); continue; fi
    objects=$(readelf -hW "${libraries[@]}" | grep -c '^File: ')
    marked=$(readelf -nW "${libraries[@]}" | grep "$note:" | grep -cw "$mark" || true)
    if [ "$marked" != "$objects" ]; then
        problems+=("$marked of $objects objects of Varnelt's marked $mark (control-flow protection)")
        continue
    fi
    files=$(readelf -hW "${c_library[@]}" | grep -c '^File: ' || true)
    [ "$files" -gt 0 ] || files=${#c_library[@]}
    unmarked=$((files - $(readelf -nW "${c_library[@]}" | grep "$note:" | grep -cw "$mark" || true)))
    if [ "$unmarked" -gt 0 ]; then
        prevented+=("$mark")
        echo "$mark: not in the $linked binary: $unmarked of $files objects of this system's C library" \
             "(${c_library[*]}) are unmarked, which drops the mark; all $objects objects of Varnelt's carry it"
    else
        problems+=("no $mark mark, though the C library's objects carry it")
    fi
done

if [ $linked = dynamic ] && [ -n "${VARNELT_HARDENING_CHECK:-}" ]; then
    options=()
    [ ${#prevented[@]} -eq 0 ] || options+=(--nocfprotection)
    "$VARNELT_HARDENING_CHECK" "${options[@]}" "$tool" || problems+=("hardening-check ${options[*]} fails")
elif [ $linked = dynamic ]; then
    echo "hardening-check is not installed (Debian package devscripts): not run"
fi
if [ ${#problems[@]} -gt 0 ]; then
    printf "$tool: %s\n" "${problems[@]}"
    exit 1
fi
echo "$tool ($linked): PIE, relro, bind-now, stack protector, fortified calls${have[*]:+, ${have[*]}}"
