# The Windows program's image: a 32-bit x86 console program (PE32, machine i386, console
# subsystem) that needs no DLL beyond Windows' own, carries a manifest asking to run as
# the invoking user, and a version resource with the project's version (the second
# argument, as project(VERSION) sets it). Read from the file itself; no Windows tools needed.
set -u
image=$1
version=$2
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

# Resources by type and name: 16 (RT_VERSION) and 24 (RT_MANIFEST, the manifest Windows
# reads at process creation), each with name 1.
resources=$($objdump -p "$image" | sed -n '/Resource Directory section/,$p' |
    awk '/^[0-9a-f]+   Entry: ID:/ { type = $4 } /^[0-9a-f]+     Entry: ID:/ { printf "%s/%s ", type, $4 }')
check "version and manifest resources" "$resources" "0x000010,/0x000001, 0x000018,/0x000001, "
rsrc=$(mktemp)
trap 'rm -f "$rsrc"' EXIT
i686-w64-mingw32-objcopy -O binary --only-section=.rsrc "$image" "$rsrc"
check "asInvoker, no UI access" \
    "$(grep -ac 'requestedExecutionLevel level="asInvoker" uiAccess="false"' "$rsrc")" 1
check "supported Windows versions declared" "$(grep -ao 'supportedOS Id' "$rsrc" | wc -l)" 4
check "manifest version" "$(grep -ao 'name="textfile" version="[0-9.]*"' "$rsrc")" \
    "name=\"textfile\" version=\"$version.0\""

# The version resource: the numbers of VS_FIXEDFILEINFO (after its signature 0xFEEF04BD)
# and the strings Explorer shows, UTF-16 here, read with the zero bytes dropped.
IFS=. read -r major minor patch <<<"$version"
fixed=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$rsrc" | head -1 | cut -d: -f1)
numbers() { od -An -tu4 -j "$((fixed + $1))" -N8 "$rsrc" | awk '{ print $1, $2 }'; }
expected="$((major << 16 | minor)) $((patch << 16))"
check "file version number" "$(numbers 8)" "$expected"
check "product version number" "$(numbers 16)" "$expected"
strings=$(tr -d '\0' <"$rsrc")
for field in "FileVersion$version" "ProductVersion$version" ProductNametextfile \
    OriginalFilenametextfile.exe "FileDescriptionCreate and show plain text files" LegalCopyright; do
    check "version string ${field%%[0-9]*}" "$(grep -aoF -- "$field" <<<"$strings" | head -1)" "$field"
done
exit "$failed"
