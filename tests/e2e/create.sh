# The create command: what it stores, when it confirms, and what it refuses.
. "$(dirname "$0")/lib.sh"

test_case "a new file holds exactly the typed line"
input 'create\nnotes.txt\n  50%% off: %%s %%d \\\\n\ttab\rcr \nnext line\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes notes.txt '  50%% off: %%s %%d \\\\n\ttab\rcr '

test_case "an existing file is replaced by the new text"
printf 'a much longer old text\nwith two lines\n' >old.txt
input 'create\nold.txt\nnew\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes old.txt 'new'

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
head -c 33554432 /dev/urandom | tr -d '\n\0\032' >long.expected
{ printf 'create\nlong.txt\n'; cat long.expected; printf '\nnot part of it\n'; } >in
with_memory_limit textfile <in >out 2>err
status=$?
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_same long.expected long.txt

test_case "a zero byte at the end of a piece drops the pieces after it"
head -c 65535 /dev/zero | tr '\0' 'e' >edge.expected
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
expect_run "$ASK_COMMAND$ASK_NAME" "Error: File name too long$NL"
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
ASAN_OPTIONS=detect_leaks=0 strace -f -o trace -e trace=fsync,write -- ${EMULATOR:+"$EMULATOR"} "$TEXTFILE" <in >out 2>err
status=$?
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
# The text is written to the file, synced, and only then confirmed.
sed -n -e 's/^[0-9 ]*write([0-9]*, "durable".*/text/p' -e 's/^[0-9 ]*fsync(.*) *= 0$/fsync/p' \
    -e 's/^[0-9 ]*write([0-9]*, "File created.*/confirmation/p' trace | uniq >out
expect_out 'text\nfsync\nconfirmation\n'

# Devices and file permissions as Linux has them.
if on_linux; then
    test_case "a text that cannot be stored is reported and not confirmed"
    input 'create\n/dev/full\nlost text\n'
    run
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT" '\nError: No space left on device\n'

    test_case "a regular file that cannot take the whole text is reported and not confirmed"
    input "create\nlimited.txt\n$(printf 'x%.0s' $(seq 5000))\n"
    (trap '' XFSZ && ulimit -f 1 && textfile <in >out 2>err)
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT" '\nError: File too large\n'

    test_case "a device that takes the text is confirmed"
    input 'create\n/dev/null\nthrown away\n'
    run
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''

    test_case "files the user may not write are refused and left alone"
    setup_user_dir
    printf 'read only' >"$USER_DIR/work/readonly.txt"
    chmod 444 "$USER_DIR/work/readonly.txt"
    mkdir "$USER_DIR/work/locked"
    chmod 555 "$USER_DIR/work/locked"
    input 'create\nreadonly.txt\ntext\n'
    run_as_user
    expect_run "$ASK_COMMAND$ASK_NAME" 'Error: Permission denied\n'
    expect_bytes "$USER_DIR/work/readonly.txt" 'read only'
    input 'create\nlocked/new.txt\ntext\n'
    run_as_user
    expect_run "$ASK_COMMAND$ASK_NAME" 'Error: Permission denied\n'
    expect_missing "$USER_DIR/work/locked/new.txt"
fi

finish
