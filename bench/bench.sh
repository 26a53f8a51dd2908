#!/usr/bin/env bash
# Measures textfile against what a user would run instead, and prints one table: times
# and their ratios, peak resident memory, and the start-up cost in instructions.
#
#   bench/bench.sh [PROGRAM]     PROGRAM defaults to build/textfile
#   QUICK=1 bench/bench.sh       small sizes and 2 pairs: checks that the benchmark works
#   PAIRS=N bench/bench.sh       N pairs of runs in each timed row instead (9 by default)
#
# How a row is timed: the two commands run alternately, A B A B ..., after one untimed
# warm-up run of each, and every run starts settled: the row's PREPARE command (for
# example `rm -f out && sync`) runs, untimed, before each single run of either. Each pair
# (A_i, B_i) gives a ratio A_i / B_i; the row reports the median of those ratios with
# their spread, the interquartile range (from the first to the third quartile), and the
# same for the CPU time (user plus system); the times shown are each command's median.
#
# Why alternate: on this virtual machine, timed in blocks (all runs of A, then all of B),
# page-cache reclaim and write-back differ from block to block, and put `cat > file` at
# 2.2 times its alternating time. A pair's two runs see nearly the same machine, so a
# busy machine slows both alike and the ratio holds. Why quartiles rather than the lowest
# and highest ratio: now and then a single run takes several times its usual time here,
# and one such run would set the range alone.
#
# Every run is timed by a small C program (bench/timer.c, built here with cc) that runs
# `sh -c COMMAND` and reads the clock and the child's resource usage. The shell's own
# start, 1.1 to 1.6 ms here, is taken off each time, as hyperfine does, so that it does
# not pull the ratios of the shortest runs towards 1. It depends on the state the machine
# is left in, so each pair also times an empty command, settled the same way, and the
# row takes off the median of those.
#
# Data is made in a scratch directory under ${TMPDIR:-/tmp} and removed afterwards; the
# full run needs about 1.7 GiB there and takes about half a minute on a 2-core machine.
set -euo pipefail

program=$(realpath "${1:-build/textfile}")
bench=$(dirname "$(realpath "$0")")
if [ "${QUICK:-0}" = 1 ]; then
    file_mib=8 line_mib=2 endless_mib=16 pairs=${PAIRS:-2}
else
    file_mib=256 line_mib=64 endless_mib=1024 pairs=${PAIRS:-9}
fi

# The public tools it uses, installed from Debian's packages when missing.
need=()
[ -x /usr/bin/time ] || need+=(time)
command -v valgrind >/dev/null || need+=(valgrind)
command -v cc >/dev/null || need+=(gcc)
command -v strace >/dev/null || need+=(strace)
if [ "${#need[@]}" -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >&2
fi

data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
cd "$data"
head -c $((file_mib << 20)) /dev/urandom >file.bin
head -c $((line_mib << 20)) /dev/zero | tr '\0' 'x' >line.txt
truncate -s $((endless_mib << 20)) large.bin
printf 'open\nfile.bin\n' >open.in
printf 'open\nlarge.bin\n' >open-large.in
{ printf 'create\nline.out\n'; cat line.txt; printf '\n'; } >create.in
# dd, the durable peer, copies the line out of create.in itself: the same pages of the
# page cache as textfile reads. (Two files of the same bytes can differ by 20% in the CPU
# time it takes to read them, by where their pages lie in memory.)
answers=$(printf 'create\nline.out\n' | wc -c)
dd_line="dd if=create.in iflag=skip_bytes iflag=count_bytes skip=$answers count=$((line_mib << 20)) bs=1M conv=fsync status=none"
head -c 100 /dev/zero | tr '\0' s >short.txt
{ printf 'create\nshort.out\n'; cat short.txt; printf '\n'; } >short.in
{ printf 'create\nshort-new.out\n'; cat short.txt; printf '\n'; } >short-new.in
head -c $((512 << 10)) /dev/zero | tr '\0' m >mid.txt
{ printf 'create\nline.out\n'; cat mid.txt; printf '\n'; } >mid.in
printf 'close\n' >close.in
printf '#include <stdio.h>\nint main(void) { fputs("Please enter a command: ", stdout); return 0; }\n' >prompt.c
cc -O2 -o prompt prompt.c

cc -O2 -o timer "$bench/timer.c"

# quartiles: of the numbers read, one a line, prints the median and the first and third
# quartiles (interpolated between the nearest two, as spreadsheets and R do); nothing
# when there are none.
quartiles() {
    sort -g | awk '{ v[NR] = $1 }
        function q(p,  h, i) { h = (NR - 1) * p + 1; i = int(h); return v[i] + (h - i) * (v[i + 1] - v[i]) }
        END { if (NR) print q(0.5), q(0.25), q(0.75) }'
}

# settled PREPARE COMMAND: runs PREPARE, untimed, then COMMAND under the timer, which
# prints "WALL CPU" in seconds. A failure of either ends the benchmark.
settled() {
    sh -c "$1" && ./timer "$2"
}

# pair_stats EXPRESSION [CONDITION]: the median and the first and third quartiles, over
# the pairs in pairs.txt that meet CONDITION, of an awk expression of the pair's times
# less the shell's start: a and b are the two commands' wall-clock times, ca and cb their
# CPU times. pairs.txt holds a line for each pair: "WALL CPU" of OURS, of THEIRS and of
# the empty command.
pair_stats() {
    awk -v sw="$shell_wall" -v sc="$shell_cpu" \
        "{ a = \$1 - sw; ca = \$2 - sc; b = \$3 - sw; cb = \$4 - sc } ${2:-1} { print $1 }" pairs.txt | quartiles
}

# compare OURS THEIRS [PREPARE [PAIRS]]: runs one warm-up of each, then PAIRS pairs (by
# default $pairs): OURS, THEIRS, and an empty command for the shell's start, each run
# settled by PREPARE. PREPARE defaults to `sync`, so that even a row that writes nothing
# is not timed while the data made above, or the output of a row before, is written back.
# Sets ours_ms and theirs_ms to the commands' median times; ratio, ratio_low and
# ratio_high to the median and the first and third quartiles of the pairs' ratios of
# textfile's time over its peer's; and cpu_ratio, cpu_low and cpu_high likewise for the
# CPU time (over the pairs whose CPU times are both above the shell's; empty if none is).
compare() {
    local prepare=${3:-sync} count=${4:-$pairs} i ours theirs shell
    settled "$prepare" "$1" >/dev/null
    settled "$prepare" "$2" >/dev/null
    : >pairs.txt
    for ((i = 0; i < count; i++)); do
        ours=$(settled "$prepare" "$1")
        theirs=$(settled "$prepare" "$2")
        shell=$(settled "$prepare" '')
        echo "$ours $theirs $shell" >>pairs.txt
    done
    shell_wall=$(awk '{ print $5 }' pairs.txt | quartiles | cut -d' ' -f1)
    shell_cpu=$(awk '{ print $6 }' pairs.txt | quartiles | cut -d' ' -f1)
    read -r ours_ms _ < <(pair_stats 'a * 1000')
    read -r theirs_ms _ < <(pair_stats 'b * 1000')
    read -r ratio ratio_low ratio_high < <(pair_stats 'a / b' 'b > 0')
    read -r cpu_ratio cpu_low cpu_high < <(pair_stats 'ca / cb' 'ca > 0 && cb > 0') || true
}

# spread MEDIAN LOW HIGH: a ratio's cell, "median (first–third quartile)", or "n/a".
spread() {
    if [ -n "$1" ]; then printf '%.2f (%.2f–%.2f)' "$1" "$2" "$3"; else printf 'n/a'; fi
}

# peak [SHELL COMMAND]: textfile's peak resident memory in KiB when run by the command,
# in which "TEXTFILE" stands for the measured program.
peak() {
    local measured="/usr/bin/time -f %M -o peak.txt '$program'"
    bash -c "${1//TEXTFILE/$measured}" >/dev/null 2>&1 || true
    cat peak.txt
}

# instructions COMMAND...: instructions executed, counted by callgrind, with close.in as input.
instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" <close.in 2>&1 >/dev/null |
        sed -n 's/.*Collected : //p'
}

# window INPUT PREPARE: the milliseconds in which the signals that end a run wait while the
# file changes, from the mask that holds them to the one that lets them go, the time in which
# only SIGKILL or a power cut could leave it half-changed; measured under strace, so an upper
# bound.
window() {
    bash -c "$2" && sync
    strace -f --seccomp-bpf -ttt -e trace=rt_sigprocmask -o window.trace "$program" <"$1" >/dev/null
    awk '/ rt_sigprocmask\(SIG_BLOCK, \[HUP INT QUIT TERM\]/ && !start { start = $2 }
         / rt_sigprocmask\(SIG_SETMASK/ && start && !end { end = $2 }
         END { printf "%.2f", (end - start) * 1000 }' window.trace
}

row() { printf '| %s | %s | %s | %s | %s | %s |\n' "$@"; }
# ms MILLISECONDS: a time's cell, to a tenth below 10 ms, where whole milliseconds say little.
ms() { awk -v t="$1" 'BEGIN { printf (t < 10 ? "%.1f ms" : "%.0f ms"), t }'; }

# timed_row CASE PEER [PEAK]: the row of the last compare; PEER names the peer's command,
# PEAK is the peak memory cell.
timed_row() {
    row "$1" "$(ms "$ours_ms")" "$(ms "$theirs_ms") $2" "$(spread "$ratio" "$ratio_low" "$ratio_high")" \
        "$(spread "$cpu_ratio" "$cpu_low" "$cpu_high")" "${3:-}"
}

echo "| case | textfile | peer | ratio | CPU ratio | textfile's peak memory |"
echo "|---|---|---|---|---|---|"
compare "'$program' <open.in | cat >/dev/null" "cat file.bin | cat >/dev/null"
timed_row "open ${file_mib} MiB, piped on" "\`cat FILE \| cat\`" "$(peak "TEXTFILE <open.in | cat >/dev/null") KiB"
# Every timed run that writes a file starts settled: the output of the run before is
# removed and its dirty pages are flushed (untimed), so that no run pays for the
# write-back of another.
compare "'$program' <open.in >shown.out" "cat file.bin >cat.out" 'rm -f shown.out cat.out && sync'
timed_row "open ${file_mib} MiB, to a file" "\`cat FILE > out\`" "$(peak "TEXTFILE <open.in >shown.out") KiB"
# Each create makes a new file, as its peer does.
new='rm -f line.out cat.out dd.out && sync'
compare "'$program' <create.in >/dev/null" "cat line.txt >cat.out" "$new"
timed_row "create, one ${line_mib} MiB line, new file" "\`cat LINE > out\`" "$(peak "TEXTFILE <create.in") KiB"
compare "'$program' <create.in >/dev/null" "$dd_line of=dd.out" "$new"
timed_row "create, one ${line_mib} MiB line, new file, durable peer" "\`dd bs=1M conv=fsync\`"
# Replacing a file's text: textfile keeps the new text aside until its line has ended.
old='printf old >line.out && printf old >dd.out && sync'
compare "'$program' <create.in >/dev/null" "$dd_line of=dd.out" "$old"
timed_row "create, one ${line_mib} MiB line, replacing a file's text" "\`dd bs=1M conv=fsync\`" \
    "$(peak "printf old >line.out && TEXTFILE <create.in") KiB"
# A run of about a millisecond varies by a good part of itself: this row takes twenty
# times the pairs.
short_pairs=$((pairs * 20))
compare "'$program' <short.in >/dev/null" "'$program' <short-new.in >/dev/null" \
    "printf old >short.out && rm -f short-new.out && sync" "$short_pairs"
timed_row "create, a 100-byte line, replacing a file's text" "textfile making a new file" \
    "$(peak "printf old >short.out && TEXTFILE <short.in") KiB"
long_window=$(window create.in "$old")
mid_window=$(window mid.in "$old")
row "replacing: signals wait, ${line_mib} MiB line" "$long_window ms" "" \
    "$(awk -v w="$long_window" -v m="$line_mib" 'BEGIN { printf "%.2f ms/MiB", w / m }')" "" ""
row "replacing: signals wait, 512 KiB line" "$mid_window ms" "" "" "" ""
row "open ${endless_mib} MiB" "" "" "" "" "$(peak "TEXTFILE <open-large.in") KiB"
row "a command line without an end" "" "" "" "" "$(peak "TEXTFILE </dev/zero") KiB"
row "create, a ${endless_mib} MiB line without an end" "" "" "" "" \
    "$(peak "{ printf 'create\\n/dev/null\\n'; head -c $((endless_mib << 20)) /dev/zero | tr '\\0' x; } | TEXTFILE") KiB"
ours=$(instructions "$program")
theirs=$(instructions ./prompt)
row "start-up: a close run (instructions)" "$ours" "$theirs C program printing the prompt" \
    "$(awk -v a="${ours//,/}" -v b="${theirs//,/}" 'BEGIN { printf "%.1f", a / b }')" "" ""
# The table's note: how its times and ratios were taken.
echo
echo "Times: each command's median, less the shell's start (the median of an empty command timed"
echo "with each pair). Ratios: the median over $pairs pairs ($short_pairs for the 100-byte line) of each pair's"
echo "ratio, the two commands run one after the other and each run settled first; in brackets the"
echo "interquartile range of those ratios (from the first to the third quartile)."
