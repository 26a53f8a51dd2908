#!/usr/bin/env bash
# Measures textfile against cat: "open" of a large file piped on, and the peak resident
# memory of "open" and of "create" with one long line. Runs alternate between the two
# programs and the median of the time ratios is printed, which holds up on a busy machine.
#
#   bench/bench.sh [PROGRAM]        PROGRAM defaults to build/textfile
#   QUICK=1 bench/bench.sh          small sizes: checks that the benchmark runs
set -euo pipefail

program=$(realpath "${1:-build/textfile}")
if [ "${QUICK:-0}" = 1 ]; then
    file_mib=4 line_mib=1 runs=3
else
    file_mib=256 line_mib=64 runs=11
fi
command -v /usr/bin/time >/dev/null || { echo "bench: GNU time (/usr/bin/time) is needed" >&2; exit 1; }

data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
head -c $((file_mib << 20)) /dev/urandom >"$data/file.bin"
printf 'open\n%s\n' "$data/file.bin" >"$data/open.in"
{ printf 'create\n%s\n' "$data/line.out"; head -c $((line_mib << 20)) /dev/zero | tr '\0' 'x'; printf '\n'; } \
    >"$data/create.in"

now() { date +%s%N; }
# nanos COMMAND: wall time of one run of a shell command, in nanoseconds.
nanos() {
    local start
    start=$(now)
    bash -c "$1" >/dev/null 2>&1
    echo $(($(now) - start))
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ratios=()
for _ in $(seq "$runs"); do
    ours=$(nanos "'$program' <'$data/open.in' | cat >/dev/null")
    theirs=$(nanos "cat '$data/file.bin' | cat >/dev/null")
    ratios+=("$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.3f", a / b }')")
done
open_ratio=$(printf '%s\n' "${ratios[@]}" | median)

peak() { /usr/bin/time -f '%M' bash -c "exec '$program' <'$1' >/dev/null" 2>&1 | tail -1; }

printf '%-52s %s\n' "case" "figure"
printf '%-52s %s\n' "open ${file_mib} MiB, piped on: time / cat's (median of $runs)" "$open_ratio"
printf '%-52s %s KiB\n' "open ${file_mib} MiB: peak resident memory" "$(peak "$data/open.in")"
printf '%-52s %s KiB\n' "create, one ${line_mib} MiB line: peak resident memory" "$(peak "$data/create.in")"
