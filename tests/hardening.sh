# The Linux program is built hardened: position-independent, relocations read-only before
# it starts (full RELRO), stack canaries, and checked buffer functions where the C library
# has them.
set -u
program=$1
failed=0
check() {
    if grep -qE "$3" <<<"$2"; then echo "ok: $1"; else echo "FAIL: $1"; failed=1; fi
}
check "position-independent executable" "$(readelf -h "$program")" 'Type: +DYN'
check "bound at start-up" "$(readelf -d "$program")" 'BIND_NOW|Flags: NOW'
check "read-only relocations" "$(readelf -l "$program")" 'GNU_RELRO'
# A static program has its symbols in its own table, a dynamic one those it takes from the C
# library in its dynamic table: either names the checks it calls.
symbols=$(readelf --syms -W "$program")
check "stack protector" "$symbols" '__stack_chk_fail'
if [ -n "${TEXTFILE_UNFORTIFIED:-}" ]; then
    echo "left out: fortified buffer functions: the C library has none (as musl)"
else
    check "fortified buffer functions" "$symbols" '__[a-z]+_chk'
fi
exit "$failed"
