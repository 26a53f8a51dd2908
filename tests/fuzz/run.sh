#!/bin/bash
# Fuzzes the dialogue for a bounded time on a scratch copy of the seed corpus, so that the
# repository's corpus is left as it is. Exits nonzero on any finding, whose reproducer is
# then kept and named.
#   tests/fuzz/run.sh [SECONDS] [FUZZER]   (defaults: 60, build-fuzz/tests/fuzz/dialogue_fuzzer)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-60}
fuzzer=$(realpath "${2:-$here/../../build-fuzz/tests/fuzz/dialogue_fuzzer}")

# A directory of its own that the unprivileged user may use, with the fuzzer copied in
# (the clone it came from may be out of that user's reach); the runs' scratch files go to
# memory where it can be had, as create syncs every file.
work=$(mktemp -d)
scratch=$work
if [ -w /dev/shm ]; then scratch=$(mktemp -d -p /dev/shm); fi
trap 'rm -rf "$work" "$scratch"' EXIT
mkdir "$work/corpus" "$work/findings"
cp "$fuzzer" "$work/dialogue_fuzzer"
cp "$here"/corpus/* "$work/corpus/"

# Lines around the 64 KiB answer limit, and a text past it (a text has no such limit),
# made here rather than kept in the repository.
pad() { head -c "$1" /dev/zero | tr '\0' x; }
limit=65536
{ printf 'create\0'; pad $((limit - 7)); printf '\nname\ntext\n'; } >"$work/corpus/word-at-limit"
{ printf 'create\0'; pad $((limit - 6)); printf '\nname\ntext\n'; } >"$work/corpus/word-past-limit"
{ printf 'create\nn\0'; pad $((limit - 2)); printf '\ntext\n'; } >"$work/corpus/name-at-limit"
{ printf 'create\nn\0'; pad $((limit - 1)); printf '\ntext\n'; } >"$work/corpus/name-past-limit"
{ printf 'open\n'; pad $((limit + 1)); printf '\n'; } >"$work/corpus/location-past-limit"
{ printf 'create\nlong\n'; pad $((limit + 3)); printf '\0tail\n'; } >"$work/corpus/text-past-limit"

run=()
if [ "$(id -u)" = 0 ]; then
    chown -R nobody:nogroup "$work" "$scratch"
    run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
cd "$work"
status=0
"${run[@]}" env HOME="$work" DIALOGUE_FUZZ_SCRATCH="$scratch" \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ./dialogue_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
    -max_len=140000 -print_final_stats=1 -artifact_prefix="$work/findings/" "$work/corpus" ||
    status=$?
if [ "$status" != 0 ] || [ -n "$(ls -A "$work/findings")" ]; then
    kept=$(mktemp -d "${TMPDIR:-/tmp}/dialogue-findings.XXXXXX")
    cp -r "$work/findings/." "$kept/"
    echo "dialogue_fuzzer: finding (status $status); reproducers kept in $kept" >&2
    exit 1
fi
