# Faults from outside, on POSIX systems: the program reports each clearly (or does what its
# README says), ends with status 0 unless a signal ends it, and touches no other file.
. "$(dirname "$0")/lib.sh"

test_case "a file removed or replaced while its text is typed is reported, not confirmed"
for replacement in none directory file; do
    rm -rf vanishing.txt
    begin_dialogue
    say 'create\nvanishing.txt\n'
    await 'placed in the file'
    rm vanishing.txt
    case $replacement in
    directory) mkdir vanishing.txt ;;
    file) printf 'other' >vanishing.txt ;;
    esac
    say 'the text\n'
    end_dialogue
    case $replacement in
    none) expect_err "\nError: $(error_text ENOENT)\n" ;;
    directory) expect_err "\nError: $(error_text EISDIR)\n" ;;
    file) expect_err "\nError: $(error_text ESTALE)\n" && expect_bytes vanishing.txt 'other' ;;
    esac
    expect_out "$ASK_COMMAND$ASK_NAME$ASK_TEXT"
    expect_status 0
done

test_case "a signal at any prompt ends the run and leaves every file as it was"
printf 'precious' >kept.txt
for signal in TERM HUP; do
    for prompt in command name text; do
        begin_dialogue
        case $prompt in
        command) await 'enter a command' ;;
        name) say 'create\n' && await 'name for the new file' ;;
        text) say 'create\nkept.txt\n' && await 'placed in the file' ;;
        esac
        kill -s "$signal" "$pid"
        end_dialogue
        expect_status $((128 + $(kill -l "$signal")))
        expect_bytes kept.txt 'precious'
    done
done
# Started with SIGTERM blocked, a run keeps it blocked: one sent meanwhile stays pending, and
# the run stores and confirms.
printf 'precious' >kept.txt
begin_dialogue perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM)); exec @ARGV' \
    "${PROGRAM[@]}"
say 'create\nkept.txt\n'
await 'placed in the file'
kill -s TERM "$pid"
say 'stored all the same\n'
end_dialogue
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes kept.txt 'stored all the same'
printf 'precious' >kept.txt
# ... or as a long text's temporary file is made beside it: no name of it is left.
mkdir aside
if needs strace; then
    printf 'precious' >aside/kept.txt
    { printf 'create\naside/kept.txt\n'; head -c 1200000 /dev/zero | tr '\0' t; printf '\n'; } >in
    find_open 'O_TMPFILE\|/\.textfile-'
    printf 'precious' >aside/kept.txt
    (ASAN_OPTIONS=detect_leaks=0 exec strace -o /dev/null \
        -e inject="$open_call:signal=SIGTERM:when=$open_nth" "$TEXTFILE" <in >out 2>err)
    status=$?
    expect_status 143
    expect_bytes aside/kept.txt 'precious'
    expect_bytes <(ls -A aside) 'kept.txt\n'
fi

test_case "each call that stores a text, failing or signalled, leaves the old text or the whole new one"
if needs strace; then
    # A text within the input buffer and one kept aside (past 1 MiB), each over an old text
    # shorter and longer than itself. Every call on the file from its lock to its close fails
    # with each error, or delivers each signal that ends a run. Signals wait while the file
    # changes, so a signalled run leaves either text whole; a failure before the old text
    # changed leaves it whole, and after the whole new one is in, that one. Only a write that
    # fails after the first byte changed leaves a mix: part of each, or the old text cut to a
    # shorter one's length. A confirmation means the new text, and a failure is reported once.
    # (A 32-bit program makes the calls with 64 in their names, and _llseek.)
    calls='flock %fstat fallocate ftruncate,ftruncate64 lseek,_llseek write sendfile,sendfile64
        sync_file_range fsync close'
    faults=$(for call in $calls; do
        printf '%s ' "$call":error={EIO,ENOSPC,EDQUOT,EPERM} "$call:error=EIO:when=2+" \
            "$call:error=EINTR:when=1" \
            "$call":signal=SIG{INT,TERM,HUP,QUIT,USR1,ALRM}:when=1
    done)
    printf 'a new text' >short.text
    head -c 1200000 /dev/zero | tr '\0' N >long.text
    printf 'old' >shorter.old
    head -c 1300000 /dev/zero | tr '\0' O >longer.old
    printf '%b' "$ASKED" >asked
    printf '%b' "$ASKED$CREATED" >confirmed
    for text in short long; do
        { printf 'create\nwindow.txt\n'; cat $text.text; printf '\n'; } >in
        for old in shorter longer; do
            head -c "$(stat -c %s $text.text)" $old.old >cut.old
            for fault in $faults; do
                case_name="$fault, $text text over a $old old one"
                cp $old.old window.txt
                (ulimit -c 0 && ASAN_OPTIONS=detect_leaks=0 exec strace -o /dev/null -P "$(pwd -P)/window.txt" \
                    -e inject="$fault" "$TEXTFILE" <in >out 2>err)
                status=$?
                if cmp -s window.txt $text.text; then held=new
                elif cmp -s window.txt $old.old; then held=old
                elif cmp -s window.txt cut.old && [[ $fault == @(lseek|write|sendfile)[,:]* ]]; then held=cut
                # A write that fails once the old text began to change, as a failing disk does.
                elif [[ $fault == @(write|sendfile)*:error=EIO:when=2+ ]]; then held=part
                else held=a-mix; fi
                signal=${fault#*signal=SIG}
                error=${fault#*error=}
                if cmp -s out confirmed; then
                    [ $held = new ] && [ ! -s err ] && [ $status -eq 0 ]
                elif [[ $fault == *:signal=* ]]; then
                    [[ $held == @(old|new) ]] && [ ! -s err ] &&
                        [ $status -eq $((128 + $(kill -l "${signal%%:*}"))) ]
                else
                    printf '\nError: %s\n' "$(error_text "${error%%:*}")" >reported
                    [ $held != a-mix ] && cmp -s out asked && cmp -s err reported && [ $status -eq 0 ]
                fi && pass || fail "status $status, the file holds $held, reported: $(cat err)"
            done
        done
    done
    # A file whose length is already the text's is never cut: a cut that would fail is not tried.
    printf 'old text' >window.txt
    printf 'create\nwindow.txt\nnew text\n' >in
    case_name="ftruncate:error=EIO, a text as long as the old one"
    traced ftruncate,ftruncate64:error=EIO -P "$(pwd -P)/window.txt"
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_bytes window.txt 'new text'
    # From a pipe, a long text arrives in pieces of any size, and a piece that crosses a MiB
    # of the file is written in two. Into an empty file, any one write that fails is reported.
    { printf 'create\nwindow.txt\n'; head -c 2200000 /dev/zero | tr '\0' P; printf '\n'; } >in
    tail -n 1 in | head -c -1 >long.text
    for when in $(seq 40); do
        case_name="write:error=EIO:when=$when, a text from a pipe"
        : >window.txt
        cat in | (ASAN_OPTIONS=detect_leaks=0 exec strace -o /dev/null -P "$(pwd -P)/window.txt" \
            -e inject=write:error=EIO:when=$when "$TEXTFILE" >out 2>err)
        status=$?
        if cmp -s out confirmed; then cmp -s window.txt long.text && [ ! -s err ]
        else cmp -s out asked && [ "$(cat err)" = "$(printf '\nError: %s' "$(error_text EIO)")" ]
        fi && [ $status -eq 0 ] && pass || fail "status $status, reported: $(cat err)"
    done
fi

test_case "a failed sync or close is reported; a file that cannot be synced or locked is no failure"
# In each case the file holds the text: a failure after it was written is still reported.
input 'create\nsynced.txt\nkept\n'
: >synced.txt
if traced fsync:error=EROFS; then
    expect_run "$ASKED" "\nError: $(error_text EROFS)\n"
    expect_bytes synced.txt 'kept'
    for unsupported in fsync:error=EINVAL {fsync,flock}:error=EOPNOTSUPP flock:error=ENOLCK; do
        : >synced.txt
        traced "$unsupported"
        expect_run "$ASKED$CREATED" ''
        expect_bytes synced.txt 'kept'
    done
    : >synced.txt
    closes=$(calls_made close)
    : >synced.txt
    traced close:error=EIO:when=$closes
    expect_run "$ASKED" "\nError: $(error_text EIO)\n"
    expect_bytes synced.txt 'kept'
    # A file made by someone else between looking for it and making it is taken as made here.
    rm synced.txt
    find_open O_EXCL
    rm synced.txt
    traced "$open_call:error=EEXIST:when=$open_nth"
    expect_run "$ASKED$CREATED" ''
    expect_bytes synced.txt 'kept'
    # A new file's directory, synced after the file; one that cannot be synced at all.
    rm synced.txt
    traced fsync:error=EIO:when=2
    expect_run "$ASKED" "\nError: $(error_text EIO)\n"
    expect_bytes synced.txt 'kept'
    rm synced.txt
    traced fsync:error=EINVAL:when=2
    expect_run "$ASKED$CREATED" ''
    expect_bytes synced.txt 'kept'
    head -c 1200000 /dev/zero | tr '\0' s >aside.expected
    { printf 'create\nsynced.txt\n'; cat aside.expected; printf '\n'; } >in
    # Where no temporary file can be made, a file with text is emptied and then takes a
    # long text as it arrives.
    printf 'precious' >synced.txt
    find_open 'O_TMPFILE\|/\.textfile-'
    head -c 3000000 /dev/zero >synced.txt
    traced "$open_call:error=EACCES:when=$open_nth+"
    expect_run "$ASKED$CREATED" ''
    expect_same aside.expected synced.txt
fi

test_case "a file cut, grown, removed or replaced by another program while its text is stored"
if needs strace; then
    # Stopped once the part of the text past the old one is written, the file is changed by a
    # program that ignores the lock. A grown file is cut to the text; one cut, removed or
    # replaced is reported, not confirmed, and a replacement is left alone.
    input 'create\nwindow.txt\na new and longer text\n'
    for change in 'truncate -s 2' 'tee -a' 'rm' 'replace'; do
        case_name="a file changed by '$change' while its text is stored"
        printf 'old text' >window.txt
        rm -f trace
        (ASAN_OPTIONS=detect_leaks=0 exec strace -o trace -P "$(pwd -P)/window.txt" \
            -e inject=write:signal=SIGSTOP:when=1 "$TEXTFILE" <in >out 2>err) &
        eventually "the text's first part to be written" grep -qs 'stopped by SIGSTOP' trace
        case $change in
        replace) printf 'other' >other.txt && mv other.txt window.txt ;;
        rm) rm window.txt ;;
        *) $change window.txt <in >/dev/null ;;
        esac
        pkill -CONT -x -f "$TEXTFILE"
        wait $!
        status=$?
        case $change in
        tee*) expect_run "$ASKED$CREATED" '' && expect_bytes window.txt 'a new and longer text' ;;
        truncate*) expect_run "$ASKED" "\nError: $(error_text ESTALE)\n" ;;
        rm) expect_run "$ASKED" "\n$NO_SUCH_FILE" ;;
        replace) expect_run "$ASKED" "\nError: $(error_text ESTALE)\n" && expect_bytes window.txt 'other' ;;
        esac
    done
fi

test_case "input that cannot be read, at once or in the middle of an answer or a text, is no answer"
mkdir -p folder
textfile <folder >out 2>err
status=$?
expect_run "$ASK_COMMAND$UNKNOWN" ''
if needs strace; then
    # The name's first part arrives, and the read after it fails: the name is empty, and no
    # file of that part is made.
    input ''
    first_read=$(nth_call read '^read(0,')
    input 'create\nhalf'
    traced read:error=EIO:when=$((first_read + 1))
    expect_run "$ASK_COMMAND$ASK_NAME" "$NO_SUCH_FILE"
    expect_missing half
    # A long text whose input fails after its first read: reported, and the file keeps its text.
    printf 'precious' >kept.txt
    { printf 'create\nkept.txt\n'; head -c 3000000 /dev/zero | tr '\0' z; printf '\n'; } >in
    traced read:error=EIO:when=$((first_read + 1))
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT" "\nError: $(error_text EIO)\n"
    expect_bytes kept.txt 'precious'
fi

test_case "a name may hold every byte but the line feed, the slash and the zero byte"
name=$(printf "$(printf '\\%03o' $(seq 1 9) $(seq 11 46) $(seq 48 255))")
input "create\n$name\nany byte\n"
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes "$name" 'any byte'
input "open\n$name\n"
run
expect_run "$ASK_COMMAND$ASK_LOCATION\nany byte\n" ''

test_case "a path past the system's limit is refused by the system"
path=$(printf 'x/%.0s' $(seq 2100))f
for command in create open; do
    input "$command\n$path\ntext\n"
    run
    expect_err "Error: $(error_text ENAMETOOLONG)\n"
    expect_status 0
done

test_case "with standard output closed, a file is shown into nothing and nothing is reported"
printf 'shown' >shown.txt
input 'open\nshown.txt\n'
textfile <in >&- 2>err
status=$?
expect_err ''
expect_status 0

test_case "in the least address space it starts in, every command works"
if needs native unsanitized; then
    # The program allocates nothing once started, so what it needs to start is all it needs.
    starts() { { (ulimit -v "$1" && exec "$TEXTFILE" <in >/dev/null 2>&1); } 2>/dev/null; }
    input 'close\n'
    low=0 high=65536
    while [ $((high - low)) -gt 16 ]; do
        middle=$(((low + high) / 2))
        if starts "$middle"; then high=$middle; else low=$middle; fi
    done
    input 'create\nlimited.txt\nstored in the least memory\n'
    (ulimit -v "$high" && textfile <in >out 2>err)
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    input 'open\nlimited.txt\n'
    (ulimit -v "$high" && textfile <in >out 2>err)
    status=$?
    expect_run "$ASK_COMMAND$ASK_LOCATION\nstored in the least memory\n" ''
    # ... and on the least stack that storing into a new file takes, replacing a sparse
    # file's text works too: what that needs (filling its holes, where they cannot be
    # reserved) is of the program's own, not on the stack.
    stored() { { (ulimit -s "$1" && exec "$TEXTFILE" <in >/dev/null 2>&1); } 2>/dev/null && [ -s new.txt ]; }
    input 'create\nnew.txt\nstored on the least stack\n'
    low=0 high=8192
    while [ $((high - low)) -gt 4 ]; do
        middle=$(((low + high) / 2))
        rm -f new.txt
        if stored "$middle"; then high=$middle; else low=$middle; fi
    done
    rm -f new.txt
    # That is less than the stack Linux gives a program as it starts (128 KiB): the stack
    # never grows during a command, where a limit on address space would stop it halfway.
    if [ "$high" -lt 128 ]; then pass; else fail "storing takes $high KiB of stack"; fi
    truncate -s 3000000 limited.txt
    input 'create\nlimited.txt\nstored on the least stack\n'
    (ulimit -s "$((high + 8))" && textfile <in >out 2>err)
    status=$?
    expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
    expect_bytes limited.txt 'stored on the least stack'
    rm limited.txt
fi

test_case "no file but the named ones was touched"
ls -A | grep -avxE 'answers|err|expected|in|out|listing.*' | sort >listing
printf '%s\n' aside aside.expected asked confirmed cut.old folder kept.txt long.text longer.old "$name" reported trace \
    short.text shorter.old shown.txt synced.txt vanishing.txt window.txt | sort >listing.expected
# (Some of them only where the cases that make them ran.)
comm -23 listing listing.expected >listing.other
expect_same /dev/null listing.other

finish
