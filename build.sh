#!/usr/bin/env bash
# Builds textfile in build/, then starts it (./build.sh run) or runs every test
# (./build.sh test). Debian packages the build and the tests need are installed first
# when they are missing.
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake make g++ libgtest-dev tmux strace)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing ${missing[*]}" >&2
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

cmake -S . -B build ${TEXTFILE_CMAKE_ARGS:-} >&2
cmake --build build -j "$(nproc)" >&2

case "${1:-run}" in
run) exec build/textfile ;;
test) exec ctest --test-dir build --output-on-failure ;;
*)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
