# The create command: what it stores, when it confirms, and what it refuses.
. "$(dirname "$0")/lib.sh"

test_case "a new file holds exactly the typed line, with the mode the umask leaves"
input 'create\nnotes.txt\n  50%% off: %%s %%d \\\\n\ttab\rcr \nnext line\n'
(umask 002 && textfile <in >out 2>err)
status=$?
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes notes.txt '  50%% off: %%s %%d \\\\n\ttab\rcr '
on_posix && expect_bytes <(stat -c %a notes.txt) '664\n'

test_case "an existing file is replaced by the new text, short or long, and stays the same file"
printf 'a much longer old text\nwith two lines\n' >old.txt
input 'create\nold.txt\nnew\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes old.txt 'new'
# Longer than what arrives in one read, so it is kept aside until its line has ended.
on_posix && ln old.txt old-link.txt
# (No CR in it: on Windows one before the line feed belongs to the line end.)
head -c 3000000 /dev/urandom | tr -d '\n\r\0\032' >long.expected
{ printf 'create\nold.txt\n'; cat long.expected; printf '\n'; } >in
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_same long.expected old.txt
on_posix && expect_same long.expected old-link.txt
# ... also where the end of input ends its line, over a file's text and into a new file.
{ printf 'create\nold.txt\n'; cat long.expected; } >in
for file in old.txt unended.txt; do
    printf 'old' >old.txt
    sed -i "2s/.*/$file/" in
    run
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_same long.expected $file
done

test_case "a text that never completes leaves an existing file as it was, and no other name"
mkdir kept aside
# (A file of one byte holds text too.) A long text waits in $TMPDIR, which keeps no name.
for kept in p:1200000 precious:300000 precious:1200000; do
    printf '%s' "${kept%:*}" >kept/kept.txt
    TMPDIR=$PWD/aside begin_dialogue
    say 'create\nkept/kept.txt\n'
    await 'placed in the file'
    head -c "${kept#*:}" /dev/zero | tr '\0' y >&3
    await_wait "$pid" input
    kill -s TERM "$pid"
    end_dialogue
    expect_status 143
    expect_bytes kept/kept.txt "${kept%:*}"
    expect_bytes <(ls -A kept) 'kept.txt\n'
    # (Windows takes TEMP, not TMPDIR; Wine keeps its server's files in TMPDIR.)
    if on_posix; then expect_bytes <(ls -A aside) ''; fi
done
# A directory that refuses removals keeps no name either.
if on_posix && chattr +a kept 2>/dev/null; then
    { printf 'create\nkept/kept.txt\n'; head -c 1200000 /dev/zero | tr '\0' a; printf '\n'; } >in
    textfile <in >out 2>err
    status=$?
    chattr -a kept
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_bytes <(ls -A kept; tr -d a <kept/kept.txt) "kept.txt\n"
    printf precious >kept/kept.txt
else
    echo "left out of '$case_name': a directory that refuses removals (chattr +a)"
fi
test_case "where no place takes a temporary file, a file with text takes a long text as it arrives"
# Neither $TMPDIR, /tmp nor the file's directory takes a new file: the file is emptied as
# its long text starts to arrive, and holds what arrived.
if on_posix && needs namespace; then
    setup_user_dir
    mkdir "$USER_DIR/work/closed" "$USER_DIR/work/closed/tmp"
    printf 'precious' >"$USER_DIR/work/closed/kept.txt"
    chmod 666 "$USER_DIR/work/closed/kept.txt"
    chmod 555 "$USER_DIR/work/closed" "$USER_DIR/work/closed/tmp"
    cp "$TEXTFILE" "$USER_DIR/work/closed"
    # (/tmp, which holds the test's own directories, is hidden once the program is there.)
    begin_dialogue unshare -m sh -c 'cd "$0" && mount -t tmpfs -o ro none /tmp &&
        TMPDIR=tmp exec "$@" ./textfile' "$USER_DIR/work/closed" "${AS_USER[@]}" "${EMULATOR[@]}"
    say 'create\nkept.txt\n'
    await 'placed in the file'
    head -c 1200000 /dev/zero | tr '\0' y >&3
    eventually "the text to arrive" test -s "$USER_DIR/work/closed/kept.txt"
    kill -s TERM "$pid"
    end_dialogue
    if [ -z "$(tr -d y <"$USER_DIR/work/closed/kept.txt")" ]; then pass; else fail "the file holds more than what arrived"; fi
fi

test_case "two runs storing into one name take turns, and the file ends with one whole text"
# A text longer than the input buffer streams into the new file under its lock.
begin_dialogue
say 'create\nshared.txt\n'
await 'placed in the file'
# Until the text arrives, the file is not locked.
if on_posix && ! flock -n shared.txt true; then fail "the file was locked before its text arrived"; else pass; fi
head -c 1200000 /dev/zero | tr '\0' a >&3
eventually "the first text to arrive" test -s shared.txt
input 'create\nshared.txt\nsecond\n'
(exec "${PROGRAM[@]}" <in >second.out 2>second.err) &
second=$!
eventually "the second run's text prompt" grep -qF 'placed in the file' second.out
await_wait "$second" lock
if grep -q 'File created' second.out; then fail "the second run stored while the first was storing"; else pass; fi
say '\n'
end_dialogue
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
wait "$second"
expect_bytes second.out "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED"
expect_bytes second.err ''
expect_bytes shared.txt 'second'
if on_posix; then
    # A run that holds the lock already, through a descriptor it was started with.
    input 'create\nshared.txt\nunder flock\n'
    timeout 60 flock shared.txt "${PROGRAM[@]}" <in >out 2>err
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_bytes shared.txt 'under flock'
    # ... whatever the number of that descriptor: listed, even past the descriptor limit;
    # tried, up to it.
    if has fd-listing native; then limit=8; else limit=64; fi
    timeout 60 bash -c 'exec 9<shared.txt && flock 9 && ulimit -n $0 && exec "$@" <in >out 2>err' \
        "$limit" "${PROGRAM[@]}"
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    # ... behind 500 other descriptors; and with no descriptor to spare to list them, for a
    # long text kept aside, which takes the lock anew.
    timeout 60 bash -c 'for fd in $(seq 10 509); do eval "exec $fd<in"; done;
        exec 600<shared.txt && flock 600 && exec "$@" <in >out 2>err' bash "${PROGRAM[@]}"
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    head -c 1200000 /dev/zero | tr '\0' f >aside.expected
    { printf 'create\nshared.txt\n'; cat aside.expected; printf '\n'; } >in
    timeout 60 flock shared.txt sh -c 'exec <in >out 2>err; ulimit -n 6; exec "$@"' sh "${PROGRAM[@]}"
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_same aside.expected shared.txt
    # hold_lock: another program takes the lock on shared.txt, and holds it until `release`,
    # which writes 'holder' into the file first.
    hold_lock() {
        rm -f held holding && mkfifo holding
        flock shared.txt sh -c ': >held; read -r _ <holding; printf holder >shared.txt' &
        holder=$!
        eventually "the other lock holder" test -e held
    }
    release() { echo >holding && wait "$holder"; }
    # A descriptor on the file that holds no lock makes the run wait for the holder.
    hold_lock
    input 'create\nshared.txt\nafter the holder\n'
    (exec "${PROGRAM[@]}" <in >out 2>err 5<shared.txt) &
    run_pid=$!
    await_wait "$run_pid" lock
    release
    wait "$run_pid"
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_bytes shared.txt 'after the holder'
    # A long text kept aside as it arrives waits for one who locked the file meanwhile.
    head -c 1200000 /dev/zero | tr '\0' b >aside.expected
    begin_dialogue
    say 'create\nshared.txt\n'
    await 'placed in the file'
    cat aside.expected >&3
    hold_lock
    say '\n'
    await_wait "$pid" lock
    release
    end_dialogue
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_same aside.expected shared.txt
fi

test_case "an empty line, or the end of input, at the text prompt stores an empty file"
input 'create\nempty.txt\n\nmore\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes empty.txt ''
printf 'old' >ended.txt
input 'create\nended.txt\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes ended.txt ''

test_case "a zero byte ends the text; the rest of its line is dropped"
input 'create\nzero.txt\nkept\0dropped\nnext\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes zero.txt 'kept'

test_case "a long text is stored whole, in bounded memory, without touching later lines"
# 32 MiB in several pieces, with no line feed; a program that held the whole line would
# run out of its 64 MiB of address space.
head -c 33554432 /dev/urandom | tr -d '\n\r\0\032' >long.expected
{ printf 'create\nlong.txt\n'; cat long.expected; printf '\nnot part of it\n'; } >in
with_memory_limit textfile <in >out 2>err
status=$?
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_same long.expected long.txt
# A 32-bit program cannot count a text past 4 GiB in its memory's terms: it replaces a
# file's text whole all the same. (The count is the same code on Windows; there it is not
# run through Wine's far slower text-mode input.)
if on_posix && [ "${TEXTFILE_WORD_BITS:-64}" = 32 ] && needs space:10; then
    size=$((4 * 1024 * 1024 * 1024 + 1000))
    { printf 'create\nlong.txt\n'; head -c "$size" /dev/zero | tr '\0' L; printf '\n'; } |
        textfile >out 2>err
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_bytes <(stat -c %s long.txt; tr -d L <long.txt | wc -c) "$size\n0\n"
    rm -f long.txt
fi

test_case "a zero byte that ends the first input block drops the blocks after it"
# The text fills the 1 MiB input block up to its last byte, the zero byte.
head -c 1048575 /dev/zero | tr '\0' 'e' >edge.expected
{ printf 'create\nedge.txt\n'; cat edge.expected; printf '\0'; head -c 100000 /dev/zero | tr '\0' 'r'; printf '\n'; } >in
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_same edge.expected edge.txt

test_case "a name of 255 characters is an ordinary answer"
name=$(printf 'n%.0s' $(seq 255))
input "create\n$name\ntext of the long name\n"
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes "$name" 'text of the long name'

test_case "a name past 64 KiB is refused and nothing of it is stored"
{ printf 'create\n'; head -c 70000 /dev/zero | tr '\0' 'L'; printf '\ntext\n'; } >in
run
expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text ENAMETOOLONG)$NL"
made=$(find . -name 'LLL*' -o -name text)
if [ -z "$made" ]; then pass; else fail "files were made: $made"; fi

test_case "a name that cannot be opened is reported before the text prompt"
mkdir folder
input 'create\nno/such/dir/file\ntext\n'
run
expect_run "$ASK_COMMAND$ASK_NAME" "$NO_SUCH_FILE"
input 'create\nfolder\ntext\n'
run
expect_run "$ASK_COMMAND$ASK_NAME" "Error: $IS_A_DIRECTORY$NL"
input 'create\n\ntext\n'
run
expect_run "$ASK_COMMAND$ASK_NAME" "$NO_SUCH_FILE"

test_case "the text is on disk before it is confirmed"
input 'create\ndurable.txt\ndurable\n'
# (A leak check cannot run under strace.)
ASAN_OPTIONS=detect_leaks=0 strace -f -y -o trace -e trace=fsync,write -- "${PROGRAM[@]}" <in >out 2>err
status=$?
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
# The text is written to the file, synced, and only then confirmed; on POSIX systems the
# new file's directory is synced too, after the file.
sed -n -e 's/^[0-9 ]*write([^,]*, "durable".*/text/p' \
    -e "s|^[0-9 ]*fsync([0-9]*<$(pwd -P)>) *= 0\$|directory|p" -e 's/^[0-9 ]*fsync(.*) *= 0$/fsync/p' \
    -e 's/^[0-9 ]*write([^,]*, "File created.*/confirmation/p' trace | uniq >out
if on_posix; then expect_out 'text\nfsync\ndirectory\nconfirmation\n'; else expect_out 'text\nfsync\nconfirmation\n'; fi
if needs strace; then
    # The directory synced holds the new entry: behind a symbolic link, at the open-file
    # limit, and through its file system where it may not be read.
    synced_directory() {
        ASAN_OPTIONS=detect_leaks=0 strace -f -y -o trace -e trace=fsync,syncfs,sync "$@" <in >out 2>err
        status=$?
        expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
        sed -n -e 's/^[0-9 ]*\(fsync\|syncfs\)([0-9]*<\(.*\)>) *= 0$/\1 \2/p' \
            -e 's/^[0-9 ]*sync() *= 0$/sync/p' trace | tail -1 >out
    }
    mkdir sub
    ln -s sub/target link
    input 'create\nlink\nbehind a link\n'
    synced_directory "$TEXTFILE"
    expect_out "fsync $(pwd -P)/sub\n"
    # ... a link in another directory, whose target is relative to that one.
    mkdir links
    ln -s ../sub/relative links/link
    input 'create\nlinks/link\nbehind a relative link\n'
    synced_directory "$TEXTFILE"
    expect_out "fsync $(pwd -P)/sub\n"
    expect_bytes sub/relative 'behind a relative link'
    input 'create\nsub/limited\nat the limit\n'
    synced_directory prlimit --nofile=4:4 "$TEXTFILE"
    expect_out "fsync $(pwd -P)/sub\n"
    if [ -w / ]; then
        # Directly in the root directory.
        input "create\n/textfile-test-$$\nat the root\n"
        synced_directory "$TEXTFILE"
        expect_out 'fsync /\n'
        expect_bytes "/textfile-test-$$" 'at the root'
        rm -f "/textfile-test-$$"
    fi
    setup_user_dir
    mkdir "$USER_DIR/work/unreadable"
    chmod 333 "$USER_DIR/work/unreadable"
    input 'create\nunreadable/new\nunlisted\n'
    synced_directory "${AS_USER[@]}" sh -c 'cd "$0" && exec "$1"' "$USER_DIR/work" "$USER_TEXTFILE"
    # (Only that file system where the system can sync one alone.)
    if built_without syncfs; then
        expect_out 'sync\n'
    else
        expect_out "syncfs $(cd "$USER_DIR/work" && pwd -P)/unreadable/new\n"
        # ... and a file system that cannot be synced at all takes the text all the same.
        input 'create\nunreadable/unsynced\nunsynced\n'
        ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null -e inject=syncfs:error=EINVAL \
            "${AS_USER[@]}" sh -c 'cd "$0" && exec "$1"' "$USER_DIR/work" "$USER_TEXTFILE" <in >out 2>err
        status=$?
        expect_run "$ASKED$CREATED" ''
    fi
fi

# Devices and file permissions as POSIX systems have them.
if on_posix; then
    test_case "a text that cannot be stored is reported and not confirmed"
    input 'create\n/dev/full\nlost text\n'
    run
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT" "\nError: $(error_text ENOSPC)\n"

    test_case "a text past the file-size limit or the free space is reported, not confirmed, and the old text stays"
    # Short and long: a text of exactly the limit is stored, one byte more is refused.
    # (bash counts the limit in KiB.)
    for limit in 1 2048; do
        for size in $((limit * 1024)) $((limit * 1024 + 1)); do
            printf 'precious' >limited.txt
            head -c "$size" /dev/zero | tr '\0' x >limited.expected
            { printf 'create\nlimited.txt\n'; cat limited.expected; printf '\n'; } >in
            (ulimit -f "$limit" && textfile <in >out 2>err)
            status=$?
            if [ "$size" = $((limit * 1024)) ]; then
                expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
                expect_same limited.expected limited.txt
            else
                expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT" "\nError: $(error_text EFBIG)\n"
                expect_bytes limited.txt 'precious'
            fi
        done
    done
    if needs namespace; then
        # On a 1 MiB file system: a text of most of the free space is stored; one past it
        # is refused before the file changes.
        { printf 'create\nsmall/notes\n'; head -c 700000 /dev/zero | tr '\0' N; printf '\n'; } >in
        head -c 700000 /dev/zero | tr '\0' N >fits.expected
        mkdir small
        unshare -m sh -c 'mount -t tmpfs -o size=1m none small && printf precious >small/notes &&
            "$@" <in >out 2>err; echo $? >status; cp small/notes fits.txt &&
            printf precious >small/notes && head -c 600000 /dev/zero >small/filler &&
            "$@" <in >full.out 2>full.err; cp small/notes full.txt' sh "${PROGRAM[@]}"
        status=$(cat status)
        expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
        expect_same fits.expected fits.txt
        expect_bytes full.out "$ASK_COMMAND$ASK_NAME$ASK_TEXT"
        expect_bytes full.err "\nError: $(error_text ENOSPC)\n"
        expect_bytes full.txt 'precious'
    fi
fi

if on_posix; then
    test_case "a FIFO nobody reads is refused; one with a reader, or a device, takes the text"
    mkfifo pipe.fifo
    input 'create\npipe.fifo\nthrough the pipe\n'
    timeout 20 "${PROGRAM[@]}" <in >out 2>err
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text ENXIO)\n"
    exec 5<>pipe.fifo
    timeout 20 "${PROGRAM[@]}" <in >out 2>err
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    read -r -t 5 -N 16 through <&5
    if [ "$through" = 'through the pipe' ]; then pass; else fail "the reader got '$through'"; fi
    # One that cannot be made to wait for its reader is refused, not written unwaited.
    if traced fcntl,fcntl64:error=EIO -P "$(pwd -P)/pipe.fifo"; then
        expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text EIO)\n"
    fi
    # A text longer than the pipe holds waits for a reader that comes later.
    head -c 300000 /dev/zero | tr '\0' w >slow.expected
    { printf 'create\npipe.fifo\n'; cat slow.expected; printf '\n'; } >in
    (exec "${PROGRAM[@]}" <in >out 2>err) &
    writer=$!
    eventually "the pipe to fill" sh -c 'grep -qs ") [SZ] " "$0" || ! test -e "$0"' "/proc/$writer/stat"
    exec 6<pipe.fifo 5<&-
    cat <&6 >slow.txt
    exec 6<&-
    wait "$writer"
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_same slow.expected slow.txt
    # A pipe that only the program itself reads, as its standard input, is no reader; nor is
    # one it reads through its standard output, or another descriptor of its own.
    { printf 'create\n/dev/stdin\n'; head -c 200000 /dev/zero | tr '\0' x; printf '\n'; } |
        timeout 20 "${PROGRAM[@]}" >out 2>err
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text ENXIO)\n"
    # (Opened for the program alone: a reader that timeout holds too would be another.)
    { printf 'create\npipe.fifo\n'; head -c 200000 /dev/zero | tr '\0' x; printf '\n'; } >in
    timeout 20 sh -c 'exec "$@" 1<>pipe.fifo' sh "${PROGRAM[@]}" <in 2>err
    status=$?
    expect_err "Error: $(error_text ENXIO)\n"
    expect_status 0
    timeout 20 sh -c 'exec "$@" 7<>pipe.fifo' sh "${PROGRAM[@]}" <in >out 2>err
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text ENXIO)\n"
    # ... above a limit on descriptors lowered since, or named through that descriptor.
    timeout 20 bash -c 'exec 7<>pipe.fifo; ulimit -n 5; exec "$@"' bash "${PROGRAM[@]}" <in >out 2>err
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text ENXIO)\n"
    sed -i '2s|.*|/proc/self/fd/7|' in
    timeout 20 sh -c 'exec "$@" 7<>pipe.fifo' sh "${PROGRAM[@]}" <in >out 2>err
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text ENXIO)\n"
    # A device, or a FIFO with a reader, takes a long text as it arrives.
    head -c 1200000 /dev/zero | tr '\0' v >slow.expected
    { printf 'create\n/dev/null\n'; cat slow.expected; printf '\n'; } >in
    run
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    sed -i '2s|.*|pipe.fifo|' in
    cat pipe.fifo >slow.txt &
    await_wait $! partner
    run
    # (A writer for a moment, in case the run did not open the FIFO: the reader then ends.)
    exec 9<>pipe.fifo 9<&-
    wait
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_same slow.expected slow.txt

    test_case "files the user may not write, or not read, are refused and left alone"
    setup_user_dir
    printf 'write only' >"$USER_DIR/work/writeonly.txt"
    chmod 200 "$USER_DIR/work/writeonly.txt"
    [ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$USER_DIR/work/writeonly.txt"
    input 'create\nwriteonly.txt\ntext\n'
    run_as_user
    expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text EACCES)\n"
    printf 'read only' >"$USER_DIR/work/readonly.txt"
    chmod 444 "$USER_DIR/work/readonly.txt"
    mkdir "$USER_DIR/work/locked"
    chmod 555 "$USER_DIR/work/locked"
    input 'create\nreadonly.txt\ntext\n'
    run_as_user
    expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text EACCES)\n"
    expect_bytes "$USER_DIR/work/readonly.txt" 'read only'
    input 'create\nlocked/new.txt\ntext\n'
    run_as_user
    expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text EACCES)\n"
    expect_missing "$USER_DIR/work/locked/new.txt"
fi

finish
