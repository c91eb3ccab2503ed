#!/usr/bin/env bash
# The hardening a distribution builds its packages with, read from the binaries of one build (the
# ones its packages carry, before they are stripped): read-only relocations bound at start-up, the
# stack protector, _FORTIFY_SOURCE's checked calls, and each object marked for control-flow
# protection (CET on x86-64, BTI and PAC on arm64).
#
#   check_hardening.sh BUILD
set -euo pipefail
build=$1
tool=$build/varnelt
[ -f "$tool" ] || { echo "no $tool"; exit 1; }
problems=()
readelf -lW "$tool" | grep -q '^ *GNU_RELRO ' || problems+=("no GNU_RELRO program header (-z relro)")
readelf -dW "$tool" | grep -q '(FLAGS) *BIND_NOW' || problems+=("no BIND_NOW in the dynamic section (-z now)")

libraries=("$build/libvarnelt_program.a" "$build/libvarnelt_posix.a")
undefined=$(readelf -sW "${libraries[@]}" | awk '$7 == "UND" { print $8 }' | sort -u)
grep -qx '__stack_chk_fail' <<<"$undefined" || problems+=("no object calls __stack_chk_fail (-fstack-protector-strong)")
grep -qE '^__[a-z]+_chk$' <<<"$undefined" || problems+=("no checked call such as __vsnprintf_chk (-D_FORTIFY_SOURCE)")

case $(readelf -hW "$tool" | sed -n 's/^ *Machine: *//p') in
*X86-64*) wanted='x86 feature: IBT, SHSTK' ;;
*AArch64*) wanted='AArch64 feature: BTI, PAC' ;;
*) wanted='' ;;
esac
if [ -n "$wanted" ]; then
    objects=$(readelf -hW "${libraries[@]}" | grep -c '^File: ')
    marked=$(readelf -nW "${libraries[@]}" | grep -c "$wanted" || true)
    [ "$marked" = "$objects" ] || problems+=("$marked of $objects objects marked \"$wanted\" (control-flow protection)")
fi
if [ ${#problems[@]} -gt 0 ]; then
    printf "$tool: %s\n" "${problems[@]}"
    exit 1
fi
echo "$tool: relro, bind-now, stack protector, fortified calls${wanted:+, $wanted}"
