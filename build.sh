#!/usr/bin/env bash
# Builds textfile and then:
#   ./build.sh run        starts it (build/textfile)
#   ./build.sh test       runs every test
#   ./build.sh windows    cross-builds build-windows/textfile.exe and runs its tests under Wine
#   ./build.sh sanitize   runs every test on a build with AddressSanitizer and UBSan
#   ./build.sh checks     runs clang-format, clang-tidy and cppcheck over the sources
#   ./build.sh fuzz [S]   runs the libFuzzer target for S seconds (default 60)
#   ./build.sh package    lints the manual page, builds the Debian package, lints it, and
#                         installs, tries and removes it (this needs root, or sudo)
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
    install_missing unzip
    cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake ${TEXTFILE_CMAKE_ARGS:-} >&2
    cmake --build build-windows -j "$(nproc)" >&2
    ctest --test-dir build-windows --output-on-failure
    (cd build-windows && cpack >&2)
    unzip -l build-windows/textfile-*-windows-x86.zip
    ;;
package)
    install_missing cmake make g++ dpkg-dev lintian groff mandoc man-db
    cmake -S . -B build-package -DBUILD_TESTING=OFF ${TEXTFILE_CMAKE_ARGS:-} >&2
    cmake --build build-package -j "$(nproc)" >&2
    bash packaging/check.sh build-package
    ;;
sanitize)
    install_missing cmake make g++ libgtest-dev tmux strace
    cmake -S . -B build-sanitize -DTEXTFILE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        ${TEXTFILE_CMAKE_ARGS:-} >&2
    cmake --build build-sanitize -j "$(nproc)" >&2
    exec ctest --test-dir build-sanitize --output-on-failure
    ;;
checks)
    install_missing cmake make g++ libgtest-dev clang-format clang-tidy cppcheck
    sources=$(git ls-files '*.cpp' '*.hpp')
    clang-format --dry-run --Werror $sources
    cmake -S . -B build -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >&2
    programs=$(git ls-files 'src/*.cpp')
    clang-tidy -p build --quiet $programs 2> >(grep -v "warnings generated" >&2)
    cppcheck --enable=warning,style,performance,portability --error-exitcode=1 --inline-suppr \
        --std=c++17 --quiet -I src src
    echo "checks: clang-format, clang-tidy and cppcheck found nothing"
    ;;
fuzz)
    install_missing cmake make clang libclang-rt-14-dev
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTEXTFILE_FUZZ=ON -DBUILD_TESTING=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TEXTFILE_CMAKE_ARGS:-} >&2
    cmake --build build-fuzz -j "$(nproc)" --target dialogue_fuzzer >&2
    exec bash tests/fuzz/run.sh "${2:-60}" build-fuzz/tests/fuzz/dialogue_fuzzer
    ;;
*)
    echo "usage: $0 [run|test|windows|sanitize|checks|fuzz [SECONDS]]" >&2
    exit 2
    ;;
esac
