# Run from the top of a git checkout. Builds the release artifacts of the last commit
# twice, from two fresh clones in directories of different names, a few seconds apart, and
# checks that they are the same to the bit: the Linux program, the Debian package, the
# Windows program and its ZIP, and their SHA256SUMS. On a difference it fails and shows
# it, with diffoscope where it is installed. Both builds run under umask 022, as build.sh
# does: CPack gives the Debian package's members the modes of its own files.
set -euo pipefail
top=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# build DIRECTORY: a fresh clone, built in DIRECTORY.
build() {
    (
        umask 022
        git clone --quiet "$top" "$1"
        cd "$1"
        for preset in package windows; do
            cmake --preset "$preset" -DBUILD_TESTING=OFF >/dev/null
            cmake --build --preset "$preset" >/dev/null
            cpack --preset "$preset" >/dev/null
        done
    )
}
artifacts=(build-package/textfile build-package/textfile_*.deb build-package/SHA256SUMS
    build-windows/textfile.exe build-windows/textfile-*.zip build-windows/SHA256SUMS)

build "$work/first"
sleep 2
build "$work/second-build-elsewhere"

status=0
for pattern in "${artifacts[@]}"; do
    first=$(cd "$work/first" && ls $pattern)
    (cd "$work/first" && sha256sum "$first")
    (cd "$work/second-build-elsewhere" && sha256sum "$first")
    if ! cmp -s "$work/first/$first" "$work/second-build-elsewhere/$first"; then
        echo "reproducible: $first differs between the two builds" >&2
        status=1
        if command -v diffoscope >/dev/null; then
            diffoscope "$work/first/$first" "$work/second-build-elsewhere/$first" >&2 || true
        else
            cmp -l "$work/first/$first" "$work/second-build-elsewhere/$first" | head -20 >&2 || true
        fi
    fi
done
[ "$status" -eq 0 ] && echo "reproducible: both builds made the same artifacts"
exit "$status"
