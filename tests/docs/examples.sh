#!/usr/bin/env bash
# The README's command line section and the manual page, example by example, against the tool:
# each example gives what the text says. The texts are read as they stand, so that an example
# changed in the text is checked as changed.
#
#   examples.sh readme|manual SOURCE TARGET TOOL...
#
# TARGET is linux or wine; TOOL... the command that starts the tool (wine and Varnelt.exe).
set -euo pipefail
document=$1
source_dir=$2
target=$3
shift 3
tool=("$@")
. "$(dirname "$0")/doc_helpers.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A transcript as the text shows it, run: the size is the position it shows, -s where it shows
# the sparse request, on a file with holes otherwise (an extension then takes no disk space).
check_transcript() {
    local shown=$1 where=$2 arguments
    [[ $shown =~ SetFilePointer\(0x([0-9A-F]+)\) ]] || { fail "$where: no position in the transcript"; return; }
    arguments=(f "0x${BASH_REMATCH[1]}")
    rm -f "$work/f"
    if grep -q '^Set sparse flag' <<<"$shown"; then
        arguments+=(-s)
        : >"$work/f"
    else
        truncate -s 1M "$work/f"
    fi
    run "${arguments[@]}"
    [ "$out" = "$(as_printed <<<"$shown")"$'\n' ] && [ $code = 0 ] ||
        fail "$where: varnelt ${arguments[*]} gave (exit $code) $(cat -A <<<"$out")"
}

# The size text sets the position to the byte count (on an empty file, with a hole).
check_size() {
    local text=$1 bytes=$2
    : >"$work/f"
    run f "$text" -s
    [ "$(shown_position)" = "$(position_text "$bytes")" ] ||
        fail "size $text: expected position $(position_text "$bytes"), got: $(cat -A <<<"$out")"
}

# Refused as an invalid size, exit code 1, before the file is looked at: a file stays as it was,
# and a missing one gives the same refusal. With -s, so that a size taken after all leaves a hole
# instead of reserving disk space.
check_refused() {
    local name
    printf 'abc' >"$work/f"
    for name in f missing; do
        run "$name" "$1" -s
        [ "$out" = "${eol}invalid size$eol" ] && [ $code = 1 ] ||
            fail "size '$1' on $name: expected invalid size, got (exit $code) $(cat -A <<<"$out")"
    done
    [ "$(stat -c %s "$work/f")" = 3 ] && [ "$(cat "$work/f")" = abc ] || fail "size '$1' changed the file"
    [ ! -e "$work/missing" ] || fail "size '$1' made a file"
}

# The exit codes: 0 success, 1 usage text, invalid size, a line too long or a failed step, 2 no file.
check_exit_codes() {
    local where=$1
    printf 'abc' >"$work/f"
    run f 2; [ $code = 0 ] || fail "$where: a resize exits with $code, not 0"
    run; [ $code = 1 ] || fail "$where: the usage text exits with $code, not 1"
    run f; [ $code = 1 ] || fail "$where: the usage text (one argument) exits with $code, not 1"
    run f 1.5G; [ $code = 1 ] || fail "$where: an invalid size exits with $code, not 1"
    run f 0 "$(printf 'x%.0s' {1..1300})"; [ $code = 1 ] || fail "$where: a line too long exits with $code, not 1"
    run f -1; [ $code = 1 ] && [[ $out == *"failed"* ]] || fail "$where: a failed step exits with $code, not 1"
    run missing 2; [ $code = 2 ] || fail "$where: a missing file exits with $code, not 2"
    run --help; [ $code = 0 ] && [[ $out == usage:* ]] || fail "$where: --help exits with $code, not 0"
    run --version; [ $code = 0 ] && [[ $out == [Vv]arnelt\ [0-9]*.[0-9]*$eol ]] ||
        fail "$where: --version gave (exit $code) $(cat -A <<<"$out")"
}

check_readme() {
    local section flat table line examples values i
    section=$(readme_section "## Command line")
    flat=$(tr '\n' ' ' <<<"$section")

    # The synopsis is what the usage text shows; Windows names the tool Varnelt.
    local synopsis
    synopsis=$(fenced_block 1 <<<"$section")
    [ "$target" = linux ] || synopsis=${synopsis^}
    run
    [[ $out == *"$synopsis$eol"* ]] && [ $code = 1 ] || fail "the usage text lacks \"$synopsis\""

    check_transcript "$(fenced_block 2 <<<"$section")" "README's transcript"

    # Size forms: | form | `example`, ... | bytes, ... | with bytes like 512·10^6 or 2^30.
    table=$(sed -n '/^### Size forms/,/^###* [^S]/p' <<<"$section" | grep '^| [^-f]' || true)
    [ -n "$table" ] || fail "README has no size table"
    while IFS='|' read -r _ _ examples values _; do
        read -ra examples <<<"$(grep -o '`[^`]*`' <<<"$examples" | tr -d '`' | tr '\n' ' ')"
        IFS=, read -ra values <<<"$values"
        [ ${#examples[@]} = ${#values[@]} ] || { fail "size table row: ${examples[*]} | ${values[*]}"; continue; }
        for i in "${!examples[@]}"; do
            local bytes
            bytes=$(sed 's/·/*/g; s/\^/**/g; s/ //g' <<<"${values[i]}")
            check_size "${examples[i]}" $((bytes))
            # Unit letters and the i in either case.
            [ "${examples[i],,}" = "${examples[i]}" ] || check_size "${examples[i],,}" $((bytes))
        done
    done <<<"$table"
    # "(`1KB` = 1000, `1KiB` = 1024)"
    while read -r text bytes; do
        check_size "$text" "$bytes"
    done < <(grep -oE '`[^`]+` = [0-9]+' <<<"$flat" | tr -d '`=')

    # "at most 9223372036854775807, `0x7FFFFFFFFFFFFFFF`, `7Ei` or `9223P`": all accepted.
    line=$(grep -oE 'at most [0-9]+(, `[^`]+`)+( or `[^`]+`)?' <<<"$flat" | head -1 || true)
    [ -n "$line" ] || fail "README states no largest size"
    local largest=${line#at most }
    largest=${largest%%,*}
    for text in $largest $(grep -o '`[^`]*`' <<<"$line" | tr -d '`'); do
        check_size "$text" "$(value_of "$text")"
    done
    check_size "$largest" 0x7FFFFFFFFFFFFFFF

    # "Anything else (`abc`, ..., an empty text, `-s` typed in the size's place) is refused"
    line=$(grep -oE 'Anything else \([^)]*\)' <<<"$flat" || true)
    [ -n "$line" ] || fail "README lists no refused sizes"
    for text in $(grep -o '`[^`]*`' <<<"$line" | tr -d '`'); do
        [ "$text" = -s ] && continue
        check_refused "$text"
    done
    [[ $line == *"an empty text"* ]] && check_refused ""
    [[ $line == *'`-s` typed in the size'* ]] && check_refused -s

    # "A negative size passes this check and is refused by the system when the position is set."
    printf 'abc' >"$work/f"
    run f -1
    [[ $out == *"SetFilePointer(0xFFFFFFFFFFFFFFFF)... failed"* ]] && [ $code = 1 ] ||
        fail "a negative size: (exit $code) $(cat -A <<<"$out")"

    # "-s ... `-s` followed by ASCII letters only (`-s`, `-sparse`)"
    [[ $flat == *'`-s` followed by ASCII letters only (`-s`, `-sparse`)'* ]] ||
        fail "README no longer says how -s may be typed: update this check"
    : >"$work/f"; run f 1 -sparse
    [[ $out == *"Set sparse flag... ok"* ]] || fail "-sparse is not taken for -s"

    # "Anything else after the size is refused with "<text>" ...: a third argument that does not
    # begin with `-s` (`-S`, ...), one where anything but letters follows the `-s` (`-s1`, ...), and
    # any fourth one (`-s b.bin`)."
    line=$(grep -oE 'Anything else after the size is refused with "[^"]+"' <<<"$flat" || true)
    [ -n "$line" ] || fail "README does not say how an argument after the size is refused"
    local refused
    refused=$(grep -oE 'does not begin with `-s` \([^)]*\), one where anything but letters follows the `-s` \([^)]*\), and any fourth one \([^)]*\)' <<<"$flat" || true)
    [ -n "$refused" ] || fail "README gives no examples of a refused argument after the size"
    printf 'abc' >"$work/f"
    while read -r extra; do
        run f 1 $extra
        [ "$out" = "$eol$(cut -d'"' -f2 <<<"$line")$eol" ] && [ $code = 1 ] && [ "$(cat "$work/f")" = abc ] ||
            fail "f 1 $extra: (exit $code) $(cat -A <<<"$out")"
    done < <(grep -o '`[^`]*`' <<<"$refused" | tr -d '`' | grep -v '^-s$')

    check_exit_codes "README"

    # "The raw command line may hold at most 1279 bytes." The Linux build composes it from its
    # arguments, joined by spaces: the tool's name without its folder, f, 0 and a long spelling
    # of the option.
    if [ "$target" = linux ]; then
        local most padding name=${tool[0]##*/}
        most=$(grep -oE 'may hold at most [0-9]+ bytes' <<<"$flat" | grep -oE '[0-9]+' || echo 0)
        padding=$((most - ${#name} - 6))
        printf 'abc' >"$work/f"
        run f 0 "-s$(printf 'x%.0s' $(seq $((padding - 1))))"
        [ $code = 0 ] || fail "a command line of $most bytes is refused: $(cat -A <<<"$out")"
        run f 0 "-s$(printf 'x%.0s' $(seq $padding))"
        [ "$out" = "${eol}command line too long$eol" ] || fail "a command line of $((most + 1)) bytes is taken"
    fi
}

check_manual() {
    local page=$source_dir/doc/varnelt.1.in description factors text bytes
    # The transcript in DESCRIPTION, between .RS and .RE.
    description=$(sed -n '/^\.SH DESCRIPTION/,/^\.SH /p' "$page" | sed -n '/^\.RS/,/^\.RE/p' | sed '1d;$d')
    [ -n "$description" ] || fail "the manual page shows no transcript"
    check_transcript "$description" "manual page's transcript"

    # SIZE FORMS: "K = 1000, M = 1000^2, ..." and "Ki = 1024, Mi = 1024^2, up to Ei = 1024^6".
    factors=$(sed -n '/^\.SH SIZE FORMS/,/^\.SH /p' "$page" | grep -oE '\b[KMGTPE]i? = [0-9]+(\^[0-9]+)?' || true)
    [ -n "$factors" ] || fail "the manual page states no unit factors"
    while read -r unit _ factor; do
        [ $((${factor/^/**})) = "${unit_factor[$unit]}" ] ||
            fail "the manual page has $unit = $factor; the tool multiplies by ${unit_factor[$unit]}"
        check_size "1$unit" "${unit_factor[$unit]}"
    done <<<"$factors"

    # EXAMPLES, in order on one file: each sets the file to its size.
    printf 'abc' >"$work/test.bin"
    while read -r name file text option; do
        [ "$name" = varnelt ] || continue
        bytes=$(value_of "$text")
        run "$file" "$text" ${option:+"${option//\\-/-}"}
        [ $code = 0 ] && [ "$(shown_position)" = "$(position_text "$bytes")" ] &&
            [ "$(stat -c %s "$work/$file")" = "$bytes" ] ||
            fail "manual page example \"$name $file $text $option\": (exit $code) $(cat -A <<<"$out")"
    done < <(sed -n '/^\.SH EXAMPLES/,/^\.SH /p' "$page" | sed -n '/^\.nf/,/^\.fi/p')

    check_exit_codes "manual page"
}

case $document in
readme) check_readme ;;
manual) check_manual ;;
*) echo "readme or manual, not $document"; exit 2 ;;
esac
if [ $failures -gt 0 ]; then
    echo "$failures of the $document's examples do not hold for the $target build"
    exit 1
fi
echo "the $document's examples hold for the $target build"
