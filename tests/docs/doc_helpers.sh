# Sourced by the documentation checks: reading the README and the manual page, and running the
# tool in a folder of its own.

failures=0
fail() {
    echo "FAIL: $*"
    if [ -s "${work:-}/.err" ]; then
        echo "  standard error of the last run:"
        sed 's/^/  /' "$work/.err"
    fi
    failures=$((failures + 1))
}

# The README's section with this heading ("## Quick start"), up to the next section.
readme_section() { sed -n "/^$1\$/,/^## [^#]/p" "$source_dir/README.md"; }

# The Nth fenced block (1 for the first) of the text on standard input, without its fences.
fenced_block() { awk -v want="$1" '/^```/ { fence++; next } fence == 2 * want - 1'; }

# The line end the tool writes: CR LF on Windows (the wine target), LF on Linux.
eol=$'\n'
[ "${target:-linux}" != wine ] || eol=$'\r\n'
# Standard input with the line ends the tool writes.
as_printed() { if [ "$eol" = $'\n' ]; then cat; else sed 's/$/\r/'; fi; }

# run ARGUMENT...: the tool (the command in $tool) in the folder $work; sets $out, every byte it
# wrote, and $code, its exit code.
run() {
    code=0
    (cd "$work" && exec "${tool[@]}" "$@") >"$work/.out" 2>"$work/.err" </dev/null || code=$?
    out=$(cat "$work/.out"; echo x)
    out=${out%x}
}

# The position the last run showed, as hexadecimal digits: SetFilePointer(0x<digits>).
shown_position() {
    [[ $out =~ SetFilePointer\(0x([0-9A-F]+)\) ]] && echo "${BASH_REMATCH[1]}"
}

# How the tool shows a byte count: 8 hexadecimal digits, or 16 when it needs more than 32 bits.
position_text() {
    if (($1 >= 0 && $1 <= 0xFFFFFFFF)); then printf '%08X' "$1"; else printf '%016X' "$1"; fi
}

# The byte count of a size text in the documented forms: decimal, 0x and hexadecimal, a decimal
# count with a unit letter (powers of 1000) or a unit letter and i (powers of 1024), in either
# case, and an optional final B.
declare -A unit_factor=([K]=1000 [Ki]=1024)
previous=K
for letter in M G T P E; do
    unit_factor[$letter]=$((unit_factor[$previous] * 1000))
    unit_factor[${letter}i]=$((unit_factor[${previous}i] * 1024))
    previous=$letter
done
value_of() {
    local text=$1 upper=${1^^}
    if [[ $text =~ ^0x([0-9A-Fa-f]+)$ ]]; then
        echo $((16#${BASH_REMATCH[1]}))
    elif [[ $upper =~ ^(-?)([0-9]+)(([KMGTPE])(I?))?B?$ ]]; then
        local sign=${BASH_REMATCH[1]}1 digits=${BASH_REMATCH[2]} unit=${BASH_REMATCH[4]}${BASH_REMATCH[5]:+i}
        local factor=1
        [ -z "$unit" ] || factor=${unit_factor[$unit]}
        echo $((sign * 10#$digits * factor))
    else
        echo "no size form: $text" >&2
        return 1
    fi
}
