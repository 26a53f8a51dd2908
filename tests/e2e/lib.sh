# Shared by the end-to-end tests. A test script is run with the program's path, then the
# emulator command that runs it where it cannot run natively (Wine for the Windows build,
# qemu for another processor), if any. TEXTFILE_TARGET (posix or windows) names the system
# the program was built for, TEXTFILE_WITHOUT the calls beyond POSIX a POSIX build does
# without, taking POSIX's way instead, and TEXTFILE_WORD_BITS its word size. It runs the
# program in a scratch directory and checks standard output, standard error, the files
# left behind and the exit status, byte for byte.
set -u

TEXTFILE=$(realpath "$1")
shift
EMULATOR=("$@")
PROGRAM=("${EMULATOR[@]}" "$TEXTFILE")
SCRATCH=$(mktemp -d)
cleanup() {
    chmod -R u+rwx "$SCRATCH" 2>/dev/null
    rm -rf "$SCRATCH"
}
trap cleanup EXIT
cd "$SCRATCH" || exit 1

# The C library's texts for error numbers, which the program reports as "Error: TEXT": the
# program TEXTFILE_ERROR_TEXTS, built with the same C library, gives a line "NAME TEXT" for
# each name it knows. It runs once, as the program does (under the emulator, if any); a
# Windows program ends its lines with CR LF.
declare -A ERROR_TEXTS=()
if [ -z "${TEXTFILE_ERROR_TEXTS:-}" ]; then
    echo "lib.sh: TEXTFILE_ERROR_TEXTS names no program that gives the error texts" >&2
    exit 1
elif ! error_texts=$("${EMULATOR[@]}" "$TEXTFILE_ERROR_TEXTS") || [ -z "$error_texts" ]; then
    echo "lib.sh: $TEXTFILE_ERROR_TEXTS gave no error texts" >&2
    exit 1
fi
while IFS= read -r line; do
    ERROR_TEXTS[${line%% *}]=${line#* }
done <<<"${error_texts//$'\r'/}"
# error_text NAME: the C library's text for the error number NAME (EIO, ENOSPC...). A name
# without a text ends the whole script, even from within $(...): a case that expected an
# empty text would test nothing.
error_text() {
    if [ -z "${ERROR_TEXTS[$1]+known}" ]; then
        echo "lib.sh: $TEXTFILE_ERROR_TEXTS gives no text for the error $1" >&2
        kill -s TERM $$
        exit 1
    fi
    printf '%s' "${ERROR_TEXTS[$1]}"
}

# Where the systems differ. On Windows, standard input, output and error and the files
# are text streams: a line feed is written as CR LF and a CR LF typed or read arrives as a
# line feed, and a Ctrl+Z byte ends the text read; the runtime refuses a directory as an
# access error.
if [ "${TEXTFILE_TARGET:-posix}" = windows ]; then
    NL='\r\n'
    IS_A_DIRECTORY=$(error_text EACCES)
else
    NL='\n'
    IS_A_DIRECTORY=$(error_text EISDIR)
fi
# on_posix: whether the program was built for a POSIX system (devices, permissions, links
# and signals as POSIX has them).
on_posix() { [ "${TEXTFILE_TARGET:-posix}" = posix ]; }

# built_without CALL: whether the program takes POSIX's way instead of CALL.
built_without() { [[ " ${TEXTFILE_WITHOUT:-} " == *" $1 "* ]]; }

# has WHAT...: whether this run has everything in WHAT; sets `missing` to what it lacks.
#   native      the program run without an emulator (strace, its memory, its processes)
#   strace      strace, able to trace the program
#   fd-listing  the program lists its descriptors in /proc (built with getdents64)
#   namespace   a mount namespace of the test's own, for a tmpfs mounted in it (as root)
#   unsanitized a program without the sanitizers' own memory and checks
#   space:N     N GiB free on the scratch directory's file system
#   loop        loop devices, for file systems made on images (as root)
#   mkfs:TYPE   the tool that makes a file system of TYPE (mkfs.TYPE)
#   fs:TYPE     a kernel that mounts file systems of TYPE (loading its module, if it has one)
has() {
    local what
    missing=()
    for what; do
        case $what in
        native) [ ${#EMULATOR[@]} -eq 0 ] || missing+=("the program run natively") ;;
        strace)
            [ ${#EMULATOR[@]} -eq 0 ] && strace -o /dev/null true 2>/dev/null ||
                missing+=("strace of the program itself")
            ;;
        fd-listing)
            ! built_without getdents64 && [ -d /proc/self/fd ] ||
                missing+=("descriptors listed in /proc")
            ;;
        namespace)
            [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null || missing+=("a mount namespace")
            ;;
        unsanitized) [ -z "${TEXTFILE_SANITIZED:-}" ] || missing+=("a program without sanitizers") ;;
        space:*)
            [ "$(df -Pk . | awk 'NR == 2 { print $4 }')" -ge $((${what#space:} * 1048576)) ] ||
                missing+=("${what#space:} GiB free on disk")
            ;;
        loop) [ "$(id -u)" -eq 0 ] && losetup -f >/dev/null 2>&1 || missing+=("loop devices") ;;
        mkfs:*) command -v "mkfs.${what#mkfs:}" >/dev/null || missing+=("mkfs.${what#mkfs:}") ;;
        fs:*)
            grep -qw "${what#fs:}\$" /proc/filesystems ||
                { modprobe -q "${what#fs:}" 2>/dev/null && grep -qw "${what#fs:}\$" /proc/filesystems; } ||
                missing+=("${what#fs:} in the kernel")
            ;;
        *) missing+=("'$what', which lib.sh does not know") ;;
        esac
    done
    [ ${#missing[@]} -eq 0 ]
}
# needs WHAT...: `has`, and where something is missing, says so in one line naming the
# case; the caller leaves out what needs it.
needs() {
    has "$@" && return 0
    local IFS=,
    echo "left out of '${case_name:-$0}': what needs ${missing[*]}"
    return 1
}

# textfile [ARGS...]: starts the program (under the emulator, if any).
textfile() { "${PROGRAM[@]}" "$@"; }

# shown FILE: the bytes "open" writes for FILE's contents.
shown() {
    if on_posix; then
        cat "$1"
    else
        perl -0777 -pe 's/\x1a.*//s; s/\r\n/\n/g; s/\n/\r\n/g' "$1"
    fi
}

# with_memory_limit COMMAND...: runs COMMAND in 64 MiB of address space, in which a
# program that held a whole long line or file would fail. An emulator or a sanitized
# program needs more than that for itself, so there the limit is left out, with a line.
with_memory_limit() {
    if has native unsanitized; then
        (ulimit -v 65536 && "$@")
    else
        # (Said at the end: the caller has redirected standard output.)
        notes+=("no memory limit: $case_name: needs ${missing[*]}")
        "$@"
    fi
}

# The program's own texts; printf %b escapes.
ASK_COMMAND='Please enter a command: '
ASK_NAME='Please enter a name for the new file: '
ASK_TEXT="${NL}Please enter the text you would like to be placed in the file: $NL"
ASK_LOCATION='Please enter the location of the file you would like to open: '
CREATED="File created sucessfully!$NL"
ASKED="$ASK_COMMAND$ASK_NAME$ASK_TEXT" # a create run's prompts, when its text is not stored
UNKNOWN="No such command exists. Application will now exit.$NL"
NO_SUCH_FILE="Error: $(error_text ENOENT)$NL"

passed=0
failed=0
notes=()
case_name=""

# test_case NAME: starts a group of checks.
test_case() {
    case_name=$1
    rm -f in out err expected
}

pass() { passed=$((passed + 1)); }
fail() {
    failed=$((failed + 1))
    printf "FAIL: %s: %s (line %s)\n" "$case_name" "$1" "${BASH_LINENO[*]}"
}

# input FORMAT: the bytes of FORMAT (printf %b escapes) become the next run's input.
input() { printf '%b' "$1" >in; }

# run [ARGS...]: runs the program with `in` as standard input; standard output goes to
# `out`, standard error to `err`, and the exit status to $status.
run() {
    textfile "$@" <in >out 2>err
    status=$?
}

# expect_same EXPECTED ACTUAL: two files hold the same bytes.
expect_same() {
    if cmp -s "$1" "$2"; then
        pass
    else
        fail "$2 differs from what was expected"
        od -An -c "$1" | head -3 | sed 's/^/  expected: /'
        od -An -c "$2" 2>&1 | head -3 | sed 's/^/  actual:   /'
    fi
}
# expect_bytes FILE FORMAT: FILE holds exactly the bytes of FORMAT.
expect_bytes() {
    printf '%b' "$2" >expected
    expect_same expected "$1"
}
expect_out() { expect_bytes out "$1"; }
expect_err() { expect_bytes err "$1"; }
expect_status() {
    if [ "$status" -eq "${1:-0}" ]; then pass; else fail "exit status $status, expected ${1:-0}"; fi
}
# expect_run OUT ERR: the usual three checks of a finished run with status 0.
expect_run() {
    expect_out "$1"
    expect_err "$2"
    expect_status 0
}
expect_missing() {
    if [ -e "$1" ]; then fail "$1 exists but should not"; else pass; fi
}
# eventually WHAT COMMAND...: waits up to 20 s for COMMAND to succeed; fails the check,
# naming WHAT, if it never does.
eventually() {
    local what=$1 tries
    shift
    for tries in $(seq 200); do
        "$@" && return 0
        sleep 0.1
    done
    fail "gave up waiting for $what"
    return 1
}

# waiting_in PID WHAT: whether the process PID sleeps in the kernel, waiting for WHAT: `input`
# (a read of an empty pipe), `lock` (a file lock another holds) or `partner` (the other end
# of a FIFO it opens). Known only to Linux
# (/proc/PID/wchan); elsewhere, or under an emulator, it is never seen.
waiting_in() {
    local wchan
    wchan=$(cat "/proc/$1/wchan" 2>/dev/null) || return 1
    case $2 in
    input) [[ $wchan == *pipe_read* || $wchan == pipe_wait* ]] ;;
    lock) [[ $wchan == *lock_inode_wait* ]] ;;
    partner) [[ $wchan == wait_for_partner* ]] ;;
    *) return 1 ;;
    esac
}
# await_wait PID WHAT: waits until PID waits for WHAT (waiting_in), where a run can be seen
# waiting; elsewhere it goes on at once, so that what follows is only less sure to come
# while PID waits.
await_wait() {
    if has native && [ -e "/proc/$1/wchan" ]; then
        eventually "the program to wait for $2" waiting_in "$1" "$2"
    fi
}

# Runs under strace (only where `needs strace` holds; each says so where it does not):
#   traced INJECTION [OPTION...]: `run` under strace, with calls failing as its
#       -e inject=INJECTION says; OPTIONs go to strace (-P FILE: only the calls on FILE).
#   calls_made CALL [PATTERN]: how many calls of CALL a run with `in` makes (those whose line
#       matches PATTERN, if given), as strace counts them: the number for a `when=`.
#   nth_call CALL PATTERN: the number, among a run's calls of CALL, of the first whose line
#       matches PATTERN.
traced() {
    needs strace || return 1
    ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -e "inject=$1" "${@:2}" "$TEXTFILE" <in >out 2>err
    status=$?
}
#   find_open PATTERN: sets open_call and open_nth to the call that opens the file whose line
#       matches PATTERN (open or openat, as the C library, or a sanitizer, makes it) and its
#       number among that call's calls: the CALL and the number for a `when=`.
calls_made() {
    ASAN_OPTIONS=detect_leaks=0 strace -e trace="$1" "$TEXTFILE" <in 2>&1 >/dev/null |
        grep "^$1(" | grep -c -- "${2:-}"
}
nth_call() {
    ASAN_OPTIONS=detect_leaks=0 strace -e trace="$1" "$TEXTFILE" <in 2>&1 >/dev/null |
        grep "^$1(" | grep -n -- "$2" | head -1 | cut -d: -f1
}
find_open() {
    local opens
    opens=$(ASAN_OPTIONS=detect_leaks=0 strace -e trace='/^open(at)?$' "$TEXTFILE" <in 2>&1 >/dev/null |
        grep -E '^open(at)?\(')
    open_call=$(grep -m1 -- "$1" <<<"$opens") || { fail "no open of a file matching '$1'" && return 1; }
    open_call=${open_call%%(*}
    open_nth=$(grep "^$open_call(" <<<"$opens" | grep -n -- "$1" | head -1 | cut -d: -f1)
}

# A dialogue driven step by step: the program ($pid) reads its answers from a FIFO, fed
# by `say`, and writes to `out` and `err` (or, with --without-stderr, has no standard error).
# A COMMAND given starts the program instead of the plain textfile.
begin_dialogue() {
    local without_stderr=
    if [ "${1:-}" = --without-stderr ]; then
        without_stderr=1
        shift
    fi
    [ $# -gt 0 ] || set -- "${PROGRAM[@]}"
    rm -f answers && mkfifo answers
    if [ -n "$without_stderr" ]; then
        (exec "$@" <answers >out 2>&-) &
    else
        (exec "$@" <answers >out 2>err) &
    fi
    pid=$!
    exec 3>answers
}
say() { printf '%b' "$1" >&3; }
# await TEXT: waits until the program has written TEXT to standard output.
await() { eventually "'$1' on standard output" grep -qF -- "$1" out; }
end_dialogue() {
    exec 3>&-
    { wait "$pid"; } 2>/dev/null
    status=$?
}

# Running as an unprivileged user: root may read and write what others may not, so
# permission cases run as nobody when the tests run as root. USER_DIR is a directory that
# user may work in, USER_TEXTFILE a copy of the program that user may start, and
# USER_PROGRAM the command that starts it.
setup_user_dir() {
    USER_DIR=$(mktemp -d)
    chmod 755 "$USER_DIR"
    cp "$TEXTFILE" "$USER_DIR/textfile"
    mkdir "$USER_DIR/work"
    if [ "$(id -u)" -eq 0 ]; then
        chown nobody:nogroup "$USER_DIR/work"
    fi
    USER_TEXTFILE=$USER_DIR/textfile
    USER_PROGRAM=("${EMULATOR[@]}" "$USER_TEXTFILE")
    trap 'cleanup; chmod -R u+rwx "$USER_DIR" 2>/dev/null; rm -rf "$USER_DIR"' EXIT
}
if [ "$(id -u)" -eq 0 ]; then
    AS_USER=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
    AS_USER=()
fi
as_user() { "${AS_USER[@]}" "$@"; }
# run_as_user: `run`, as the unprivileged user, in USER_DIR/work.
run_as_user() {
    (cd "$USER_DIR/work" && as_user "${USER_PROGRAM[@]}") <in >out 2>err
    status=$?
}

finish() {
    [ ${#notes[@]} -eq 0 ] || printf '%s\n' "${notes[@]}"
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
