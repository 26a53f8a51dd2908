#!/usr/bin/env bash
# Measures textfile against what a user would run instead, and prints one table:
# time ratios (median of rounds that each run both commands, so that a busy machine
# slows both alike), peak resident memory, and the start-up cost in instructions.
#
#   bench/bench.sh [PROGRAM]     PROGRAM defaults to build/textfile
#   QUICK=1 bench/bench.sh       small sizes and few runs: checks that the benchmark works
#
# Data is made in a scratch directory under ${TMPDIR:-/tmp} and removed afterwards; the
# full run needs about 1.7 GiB there.
set -euo pipefail

program=$(realpath "${1:-build/textfile}")
if [ "${QUICK:-0}" = 1 ]; then
    file_mib=8 line_mib=2 endless_mib=16 rounds=1 runs=2
else
    file_mib=256 line_mib=64 endless_mib=1024 rounds=5 runs=5
fi

# The public tools it uses, installed from Debian's packages when missing.
need=()
command -v hyperfine >/dev/null || need+=(hyperfine)
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
# time it takes to read them, by where their pages lie in memory.) No command holds a
# comma, which would split its field of hyperfine's CSV.
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

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# compare OURS THEIRS [PREPARE [RUNS]]: runs PREPARE, if given, before every run of
# either; sets ratio to textfile's time over its peer's, the median over the rounds of the ratio of the two medians in each round; cpu_ratio likewise for the CPU time
# (user and system, mean of a round); and ours_ms and theirs_ms to the medians of those
# medians.
compare() {
    local round ratios=() cpu_ratios=() ours=() theirs=()
    for round in $(seq "$rounds"); do
        hyperfine --warmup 1 --runs "${4:-$runs}" --prepare "${3:-true}" --export-csv times.csv "$1" "$2" >/dev/null 2>&1
        ours+=("$(awk -F, 'NR == 2 { print $4 * 1000 }' times.csv)")
        theirs+=("$(awk -F, 'NR == 3 { print $4 * 1000 }' times.csv)")
        ratios+=("$(awk -F, 'NR == 2 { a = $4 } NR == 3 { b = $4 } END { printf "%.2f", a / b }' times.csv)")
        cpu_ratios+=("$(awk -F, 'NR == 2 { a = $5 + $6 } NR == 3 { b = $5 + $6 } END { printf "%.2f", a / b }' times.csv)")
    done
    ours_ms=$(printf '%s\n' "${ours[@]}" | median)
    theirs_ms=$(printf '%s\n' "${theirs[@]}" | median)
    ratio=$(printf '%s\n' "${ratios[@]}" | median)
    cpu_ratio=$(printf '%s\n' "${cpu_ratios[@]}" | median)
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

# window INPUT PREPARE: the milliseconds from the first write of the text into the file
# (descriptor 3) to the end of the cut to its length, the time in which only SIGKILL or a
# power cut could leave it half-changed; measured under strace, so an upper bound.
window() {
    bash -c "$2" && sync
    strace -f --seccomp-bpf -ttt -T -e trace=write,sendfile,ftruncate -o window.trace \
        "$program" <"$1" >/dev/null
    awk '$3 ~ /^(write|sendfile)\(3,/ && !start { start = $2 }
         $3 ~ /^ftruncate\(3,/ { gsub(/[<>]/, "", $NF); end = $2 + $NF }
         END { printf "%.2f", (end - start) * 1000 }' window.trace
}

row() { printf '| %s | %s | %s | %s | %s | %s |\n' "$@"; }
ms() { printf '%.0f ms' "$1"; }

echo "| case | textfile | peer | ratio | CPU ratio | textfile's peak memory |"
echo "|---|---|---|---|---|---|"
compare "'$program' <open.in | cat >/dev/null" "cat file.bin | cat >/dev/null"
row "open ${file_mib} MiB, piped on" "$(ms "$ours_ms")" "$(ms "$theirs_ms") \`cat FILE \| cat\`" "$ratio" "$cpu_ratio" \
    "$(peak "TEXTFILE <open.in | cat >/dev/null") KiB"
# Every timed run that writes a file starts settled: the output of the run before is
# removed and its dirty pages are flushed (untimed), so that no run pays for the
# write-back of another.
compare "'$program' <open.in >shown.out" "cat file.bin >cat.out" 'rm -f shown.out cat.out && sync'
row "open ${file_mib} MiB, to a file" "$(ms "$ours_ms")" "$(ms "$theirs_ms") \`cat FILE > out\`" "$ratio" "$cpu_ratio" \
    "$(peak "TEXTFILE <open.in >shown.out") KiB"
# Each create makes a new file, as its peer does.
new='rm -f line.out cat.out dd.out && sync'
compare "'$program' <create.in >/dev/null" "cat line.txt >cat.out" "$new"
row "create, one ${line_mib} MiB line, new file" "$(ms "$ours_ms")" "$(ms "$theirs_ms") \`cat LINE > out\`" "$ratio" "$cpu_ratio" \
    "$(peak "TEXTFILE <create.in") KiB"
compare "'$program' <create.in >/dev/null" "$dd_line of=dd.out" "$new"
row "create, one ${line_mib} MiB line, new file, durable peer" "$(ms "$ours_ms")" \
    "$(ms "$theirs_ms") \`dd bs=1M conv=fsync\`" "$ratio" "$cpu_ratio" ""
# Replacing a file's text: textfile keeps the new text aside until its line has ended.
old='printf old >line.out && printf old >dd.out && sync'
compare "'$program' <create.in >/dev/null" "$dd_line of=dd.out" "$old"
row "create, one ${line_mib} MiB line, replacing a file's text" "$(ms "$ours_ms")" \
    "$(ms "$theirs_ms") \`dd bs=1M conv=fsync\`" "$ratio" "$cpu_ratio" \
    "$(peak "printf old >line.out && TEXTFILE <create.in") KiB"
compare "'$program' <short.in >/dev/null" "'$program' <short-new.in >/dev/null" \
    "printf old >short.out && rm -f short-new.out && sync" $((runs * 40))
row "create, a 100-byte line, replacing a file's text" "$(ms "$ours_ms")" \
    "$(ms "$theirs_ms") textfile making a new file" "$ratio" "$cpu_ratio" \
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
