# Sourced by the install checks: what every way of installing must give.

# The installed TOOL, started in the folder WORK, cuts a file of six bytes to three. Another
# processor's tool runs under the emulator in VARNELT_EMULATOR.
check_tool() {
    local tool=$1 work=$2
    [ -x "$tool" ] || { echo "no $tool"; return 1; }
    printf 'abcdef' >"$work/file.bin"
    (cd "$work" && ${VARNELT_EMULATOR:+"$VARNELT_EMULATOR"} "$tool" file.bin 3) >"$work/out.txt"
    local expected=$'OpenFile... ok\nSetFilePointer(0x00000003)... ok\nSetEndOfFile... ok\nCloseFile... ok\n'
    [ "$(cat "$work/out.txt"; echo x)" = "${expected}x" ] ||
        { echo "unexpected transcript from $tool:"; cat -A "$work/out.txt"; return 1; }
    [ "$(cat "$work/file.bin")" = abc ] || { echo "$tool did not cut the file to 3 bytes"; return 1; }
}

# `man varnelt`, as the README shows it, finds and renders the page installed below MANDIR.
check_manual() {
    local mandir=$1 rendered
    rendered=$(MANPATH=$mandir MANWIDTH=80 man varnelt 2>&1) ||
        { echo "man varnelt failed:"; echo "$rendered" | head; return 1; }
    grep -q "varnelt - set the size of an existing file" <<<"$rendered" ||
        { echo "man varnelt did not render the page:"; echo "$rendered" | head; return 1; }
}
