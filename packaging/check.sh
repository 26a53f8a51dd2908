# Run from the top of the source tree. Checks the manual page and the Debian package made
# in the build directory given (`cmake --workflow --preset package` makes it there):
# both lint clean, and the package installs, runs from PATH and removes cleanly.
set -euo pipefail
build=$1
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

echo "== manual page: groff -man -ww and mandoc -Tlint"
lint=$( { groff -man -ww -z "$build/textfile.1"; mandoc -Tlint -W style "$build/textfile.1"; } 2>&1 || true)
if [ -n "$lint" ]; then
    echo "$lint"
    exit 1
fi

echo "== Debian package"
package=$(ls "$build"/textfile_*_"$(dpkg --print-architecture)".deb)
dpkg-deb --info "$package"
dpkg-deb --contents "$package"
echo "== lintian"
lintian --fail-on error,warning "$package"

echo "== installed, tried and removed"
"${sudo[@]}" dpkg -i "$package" >/dev/null
trap '"${sudo[@]}" dpkg -r textfile >/dev/null 2>&1 || true' EXIT
work=$(mktemp -d)
(
    cd "$work"
    [ "$(command -v textfile)" = /usr/bin/textfile ]
    printf 'create\nnotes.txt\ninstalled\n' | textfile >/dev/null
    shown=$(printf 'open\nnotes.txt\n' | textfile)
    [ "$shown" = "$(printf 'Please enter a command: Please enter the location of the file you would like to open: \ninstalled')" ]
    man -w textfile >/dev/null
)
rm -rf "$work"
"${sudo[@]}" dpkg -r textfile >/dev/null
trap - EXIT
if command -v textfile >/dev/null || [ -e /usr/share/man/man1/textfile.1.gz ]; then
    echo "package: textfile was not removed" >&2
    exit 1
fi
echo "package: built, lint-free, installed, tried and removed"
