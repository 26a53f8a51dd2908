# The open command: the file shown byte for byte between two line feeds, and every
# failure reported.
. "$(dirname "$0")/lib.sh"

# expect_shown FILE: the run showed FILE whole and reported nothing.
expect_shown() {
    { printf '%b' "$ASK_COMMAND$ASK_LOCATION$NL"; shown "$1"; printf '%b' "$NL"; } >shown.expected
    expect_same shown.expected out
    expect_err ''
    expect_status 0
}

test_case "a file is shown exactly between two line feeds"
printf 'two lines\nand no end' >plain.txt
printf 'ends in a line feed\n' >ended.txt
printf 'x' >one.txt
: >empty.txt
printf 'bytes \0\1\177\200\377 \r\n\t%%s\\\\ \32 after ctrl-z\n' >binary.bin
for file in plain.txt ended.txt one.txt empty.txt binary.bin; do
    input "open\n$file\n"
    run
    expect_shown "$file"
done
input 'open\nempty.txt\n'
run
expect_run "$ASK_COMMAND$ASK_LOCATION$NL$NL" ''
if on_posix; then
    # Into a pipe, a file the system cannot move without a copy through the program.
    input 'open\n/proc/self/uid_map\n'
    textfile <in 2>err | cat >out
    status=${PIPESTATUS[0]}
    expect_shown /proc/self/uid_map
fi

test_case "a large file is shown whole in bounded memory"
head -c 50000000 /dev/urandom >large.bin
input 'open\nlarge.bin\n'
with_memory_limit textfile <in >out 2>err
status=$?
expect_shown large.bin
if on_posix && has native; then
    # ... into a file opened to append,
    : >out
    textfile <in >>out 2>err
    status=$?
    expect_shown large.bin
fi
test_case "a file that shrinks, grows or fails while it is shown shows only bytes it held"
if on_posix && needs strace; then
    # Into a pipe and into a file. Stopped after its first read, the file is cut, or grown;
    # or each call that reads it fails. What is shown is what it held when showing began,
    # or a part of it and the closing line feed with one report; never more.
    { printf '%b' "$ASK_COMMAND$ASK_LOCATION\n"; cat large.bin; printf '\n'; } >whole
    printf 'Error: %s\n' "$(error_text EIO)" >read.failed
    printf '\nError: %s\n' "$(error_text EIO)" >close.failed
    input 'open\nchanging.bin\n'
    # show_under_strace OPTIONS...: the program under strace with OPTIONS, with `in` as
    # its input, into a pipe or a file as $sink says.
    show_under_strace() {
        local redirect='>out'
        [ $sink = file ] || redirect='| cat >out'
        ASAN_OPTIONS=detect_leaks=0 sh -c "strace $* '$TEXTFILE' <in 2>err $redirect"
    }
    # a_part_shown: `out` is the start of `whole`, ended by a line feed.
    a_part_shown() { cmp -s -n "$(($(stat -c %s out) - 1))" out whole && [ -z "$(tail -c 1 out)" ]; }
    for sink in pipe file; do
        for change in 'truncate -s 4196' 'truncate -s 0' 'tee -a'; do
            case_name="a file shown into a $sink, changed by '$change'"
            cp large.bin changing.bin
            rm -f trace
            show_under_strace -o trace -P "'$(pwd -P)/changing.bin'" -e inject=read:signal=SIGSTOP:when=1 &
            eventually "the first read to end" grep -qs 'stopped by SIGSTOP' trace
            $change changing.bin <large.bin >/dev/null
            pkill -CONT -x -f "$TEXTFILE"
            wait
            expect_err ''
            if [ "$change" = 'tee -a' ]; then expect_same whole out; else
                a_part_shown && pass || fail "more than the file held was shown"; fi
        done
        cp large.bin changing.bin
        for call in read %fstat lseek,_llseek close; do
            case_name="a file shown into a $sink whose $call fails"
            show_under_strace -o /dev/null -P "'$(pwd -P)/changing.bin'" -e inject=$call:error=EIO
            if [ ! -s err ]; then cmp -s out whole; else { cmp -s out whole || a_part_shown; } &&
                { cmp -s err read.failed || cmp -s err close.failed; }; fi &&
                pass || fail "what was shown or reported is wrong: $(cat err)"
        done
    done
fi

test_case "a file that cannot be opened is reported after the line feed"
mkdir -p folder
input 'open\nmissing.txt\n'
run
expect_run "$ASK_COMMAND$ASK_LOCATION$NL" "$NO_SUCH_FILE"
input 'open\n\n'
run
expect_run "$ASK_COMMAND$ASK_LOCATION$NL" "$NO_SUCH_FILE"
input 'open\nfolder\n'
run
expect_run "$ASK_COMMAND$ASK_LOCATION$NL" "Error: $IS_A_DIRECTORY$NL"
{ printf 'open\n'; head -c 70000 /dev/zero | tr '\0' 'L'; printf '\n'; } >in
run
expect_run "$ASK_COMMAND$ASK_LOCATION$NL" "Error: $(error_text ENAMETOOLONG)$NL"

test_case "the file standard output writes to is shown as far as it reached"
input 'open\nown.out\n'
: >own.out
timeout 60 "${PROGRAM[@]}" <in >own.out 2>err
status=$?
expect_err ''
expect_status 0
expect_bytes own.out "$ASK_COMMAND$ASK_LOCATION$NL$ASK_COMMAND$ASK_LOCATION$NL$NL"
if on_posix; then
    # Its own pipes hold nothing to show: reading one would wait on its own writing.
    input 'open\n/dev/stdout\n'
    timeout 60 "${PROGRAM[@]}" <in 2>err | cat >out
    status=${PIPESTATUS[0]}
    expect_run "$ASK_COMMAND$ASK_LOCATION\n\n" ''
    input 'open\n/dev/stderr\n'
    timeout 60 "${PROGRAM[@]}" <in 2>&1 >out | cat >err
    status=${PIPESTATUS[0]}
    expect_run "$ASK_COMMAND$ASK_LOCATION\n\n" ''
    # Appended to, past the largest block: shown once, as far as it reached.
    head -c 1500000 /dev/zero | tr '\0' o >own.out
    { cat own.out; printf '%b' "$ASK_COMMAND$ASK_LOCATION\n"; } >own.part
    { cat own.part own.part; printf '\n'; } >own.expected
    input 'open\nown.out\n'
    (ulimit -f 10000 && textfile <in >>own.out 2>err)
    status=$?
    expect_err ''
    expect_status 0
    expect_same own.expected own.out
fi

# Devices, /proc and file permissions as POSIX systems (and Linux) have them.
if on_posix; then
    test_case "a failed read or close is reported and the display still ends with its line feed"
    input 'open\n/proc/self/mem\n'
    run
    expect_run "$ASK_COMMAND$ASK_LOCATION\n\n" "Error: $(error_text EIO)\n"
    if needs strace; then
        input 'open\nplain.txt\n'
        ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -P "$(pwd -P)/plain.txt" \
            -e inject=close:error=EIO "$TEXTFILE" <in >out 2>err
        status=$?
        expect_run "$ASK_COMMAND$ASK_LOCATION\ntwo lines\nand no end\n" "\nError: $(error_text EIO)\n"
    fi

    test_case "output that cannot be written is reported, once"
    input 'open\nplain.txt\n'
    textfile <in >/dev/full 2>err
    status=$?
    expect_err "Error: $(error_text ENOSPC)\n"
    expect_status 0
    input 'open\nlarge.bin\n'
    (ulimit -f 1 && textfile <in >limited.out 2>err)
    status=$?
    expect_err "Error: $(error_text EFBIG)\n"
    expect_status 0

    test_case "a reader that goes away is reported; the run still ends with status 0"
    input 'open\nlarge.bin\n'
    textfile <in 2>err | head -c 1 >/dev/null
    status=${PIPESTATUS[0]}
    expect_err "Error: $(error_text EPIPE)\n"
    expect_status 0

    test_case "a read-only file is shown; a file the user may not read is refused"
    setup_user_dir
    printf 'read only\n' >"$USER_DIR/work/readonly.txt"
    chmod 444 "$USER_DIR/work/readonly.txt"
    printf 'secret' >"$USER_DIR/work/secret.txt"
    chmod 200 "$USER_DIR/work/secret.txt"
    [ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$USER_DIR/work/readonly.txt" "$USER_DIR/work/secret.txt"
    input 'open\nreadonly.txt\n'
    run_as_user
    expect_shown "$USER_DIR/work/readonly.txt"
    input 'open\nsecret.txt\n'
    run_as_user
    expect_run "$ASK_COMMAND$ASK_LOCATION\n" "Error: $(error_text EACCES)\n"
fi

finish
