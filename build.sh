#!/usr/bin/env bash
# Builds textfile and then:
#   ./build.sh run        starts it (build/textfile)
#   ./build.sh test       runs every test
#   ./build.sh windows    cross-builds build-windows/textfile.exe and runs its tests under Wine
# Debian packages the chosen step needs are installed first when they are missing.
set -euo pipefail
cd "$(dirname "$0")"

# install_missing [--with-recommends] PACKAGE...: installs the packages not yet installed.
install_missing() {
    local options=(--no-install-recommends) missing=() package
    if [ "$1" = --with-recommends ]; then
        options=()
        shift
    fi
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
    done
    [ "${#missing[@]}" -gt 0 ] || return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing ${missing[*]}" >&2
    if [[ "${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${options[@]}" "${missing[@]}" >&2
}

step=${1:-run}
case "$step" in
run | test)
    install_missing cmake make g++ libgtest-dev tmux strace
    cmake -S . -B build ${TEXTFILE_CMAKE_ARGS:-} >&2
    cmake --build build -j "$(nproc)" >&2
    if [ "$step" = run ]; then
        exec build/textfile
    fi
    exec ctest --test-dir build --output-on-failure
    ;;
windows)
    install_missing cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686 strace
    install_missing --with-recommends wine wine32:i386
    cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake ${TEXTFILE_CMAKE_ARGS:-} >&2
    cmake --build build-windows -j "$(nproc)" >&2
    exec ctest --test-dir build-windows --output-on-failure
    ;;
*)
    echo "usage: $0 [run|test|windows]" >&2
    exit 2
    ;;
esac
