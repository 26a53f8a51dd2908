# The Windows program's image: a 32-bit x86 console program (PE32, machine i386, console
# subsystem) that needs no DLL beyond Windows' own and carries a manifest asking to run as
# the invoking user. Read from the file itself; no Windows tools needed.
set -u
image=$1
failed=0
check() {
    if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: found '$2', expected '$3'"; failed=1; fi
}
# u16 OFFSET / u32 OFFSET: a little-endian number read from the image.
u16() { od -An -tu2 -j "$1" -N2 "$image" | tr -d ' '; }
u32() { od -An -tu4 -j "$1" -N4 "$image" | tr -d ' '; }

check "MZ header" "$(head -c2 "$image")" "MZ"
pe=$(u32 60)
check "PE signature" "$(od -An -c -j "$pe" -N4 "$image" | tr -d ' ')" 'PE\0\0'
check "machine i386 (0x14c)" "$(u16 $((pe + 4)))" 332
check "PE32 optional header (0x10b)" "$(u16 $((pe + 24)))" 267
check "console subsystem (3)" "$(u16 $((pe + 24 + 68)))" 3

objdump=i686-w64-mingw32-objdump
dlls=$($objdump -p "$image" | awk '/DLL Name:/ { print tolower($3) }' | sort -u | tr '\n' ' ')
check "DLLs: Windows' own only" "$dlls" "kernel32.dll msvcrt.dll "

# Resource type 24 (RT_MANIFEST), name 1: the manifest Windows reads at process creation.
resources=$($objdump -p "$image" | sed -n '/Resource Directory section/,$p' | grep -o 'Entry: ID: 0x[0-9a-f]*' | head -2 | tr '\n' ' ')
check "manifest resource" "$resources" "Entry: ID: 0x000018 Entry: ID: 0x000001 "
rsrc=$(mktemp)
trap 'rm -f "$rsrc"' EXIT
i686-w64-mingw32-objcopy -O binary --only-section=.rsrc "$image" "$rsrc"
check "asInvoker, no UI access" \
    "$(grep -ac 'requestedExecutionLevel level="asInvoker" uiAccess="false"' "$rsrc")" 1
check "supported Windows versions declared" "$(grep -ao 'supportedOS Id' "$rsrc" | wc -l)" 4
exit "$failed"
