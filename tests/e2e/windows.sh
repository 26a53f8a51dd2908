# What only the Windows build does: text-mode answers, Windows' rules for names, its
# folder for temporary files and its console's Ctrl+C.
. "$(dirname "$0")/lib.sh"

test_case "a CR LF typed at a prompt is a plain line end"
input 'create\r\ncrlf.txt\r\ntyped on Windows\r\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes crlf.txt 'typed on Windows'

test_case "a Ctrl+Z typed ends the input"
input 'create\nctrl-z.txt\nbefore\032after\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes ctrl-z.txt 'before'

test_case "a file's CR LF line ends are shown as they are, a bare line feed as CR LF"
printf 'dos\r\nunix\nlone\rcr' >mixed.txt
input 'open\nmixed.txt\n'
run
expect_run "$ASK_COMMAND$ASK_LOCATION\r\ndos\r\nunix\r\nlone\rcr\r\n" ''

test_case "trailing blanks and dots of a name are dropped"
input 'create\nplain. . \ntext\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_bytes plain 'text'

test_case "the null device takes the text and is confirmed"
input 'create\nNUL\nthrown away\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''

test_case "a file shown into itself stops at its Ctrl+Z, as it does shown into another file"
{ printf 'before\032'; head -c 1100000 /dev/zero | tr '\0' a; } >same.txt
cp same.txt same.before
input 'open\nsame.txt\n'
textfile <in >>same.txt 2>err
status=$?
tail -c +$(($(stat -c %s same.before) + 1)) same.txt >out
expect_run "$ASK_COMMAND$ASK_LOCATION\r\nbefore\r\n" ''
head -c "$(stat -c %s same.before)" same.txt >kept
expect_same same.before kept

test_case "a file another program has mapped is refused before it changes"
printf 'text, which is longer than the new one' >mapped.txt
rm -f holding && mkfifo holding
("${EMULATOR[@]}" "$TEXTFILE_MAP_FILE" mapped.txt <holding >held 2>&1) &
holder=$!
exec 4>holding
eventually "the file to be mapped" grep -q mapped held
input 'create\nmapped.txt\nNEW TEXT\n'
run
exec 4>&-
wait "$holder"
expect_run "$ASKED" "\r\nError: $(error_text EACCES)\r\n"
expect_bytes mapped.txt 'text, which is longer than the new one'

# At Wine's console (a terminal, here tmux's), input is read as the console gives it, in
# UTF-16; Wine's console takes the code page 437 here.
if command -v tmux >/dev/null; then
    export TERM=xterm
    # Each console has a tmux server of its own: one just told to end may refuse a new one.
    consoles=0
    tmux_() { tmux -S "$SCRATCH/tmux.$consoles" "$@"; }
    trap 'for socket in "$SCRATCH"/tmux.*; do tmux -S "$socket" kill-server 2>/dev/null; done; cleanup' EXIT
    # at_console: starts the program at a console of its own; its status goes to `status`.
    at_console() {
        rm -f status
        tmux_ kill-server 2>/dev/null
        consoles=$((consoles + 1))
        tmux_ new-session -d -x 120 -y 20 -c "$SCRATCH" \
            "LANG=C.UTF-8 $(printf '%q ' "${PROGRAM[@]}"); echo \$? >status; sleep 600"
        eventually "the command prompt" screen_shows 'Please enter a command:'
    }
    screen_shows() { tmux_ capture-pane -p | grep -qF -- "$1"; }
    type_line() { tmux_ send-keys -l -- "$1" && tmux_ send-keys Enter; }

    test_case "at a console, a name is read in its code page and names the file the user sees"
    at_console
    type_line create
    type_line 'café.txt'
    eventually "the text prompt" screen_shows 'placed in the file:'
    type_line 'naïve'
    eventually "the program to end" test -s status
    expect_bytes status '0\n'
    # The text is kept in the console's code page.
    expect_bytes 'café.txt' 'na\213ve'

    test_case "Ctrl+C at a console's text prompt ends the run and stores nothing"
    printf 'precious' >interrupted.txt
    at_console
    type_line create
    type_line interrupted.txt
    eventually "the text prompt" screen_shows 'placed in the file:'
    tmux_ send-keys -l 'not this' && tmux_ send-keys C-c
    # (Wine's console ends a program on Ctrl+C with status 0, Windows' with 0xC000013A.)
    eventually "the program to end" test -s status
    if screen_shows 'File created'; then fail "the run went on after Ctrl+C"; else pass; fi
    expect_bytes interrupted.txt 'precious'
    tmux_ kill-server
else
    echo "left out of the console's cases: what needs tmux"
fi

# Wine takes TEMP and TMP from its registry, not from the environment: a program started
# through cmd has them as cmd sets them. This run's copy of the program has a name of its
# own, for taskkill /F to end it as Windows ends a program, at once.
copy="textfile-$$.exe"
cp "$TEXTFILE" "$copy"
# begin_dialogue_with_temp FOLDER: begin_dialogue, with TEMP and TMP naming FOLDER.
begin_dialogue_with_temp() { begin_dialogue "$EMULATOR" cmd /c "set TEMP=$1&& set TMP=$1&& $copy"; }
# temporary_in FOLDER: whether a temporary file in FOLDER holds part of the text.
temporary_in() { find "$1" -maxdepth 1 -name 'txt*.tmp' -size +100k | grep -q .; }

test_case "a long text is kept in the temporary folder, or else beside the file, until its line ends"
head -c 3000000 /dev/urandom | tr -d '\n\0\032\r' >long.expected
# A name outside the ANSI code page, which Windows' narrow calls turn into '?'.
mkdir 'temp-ж☃'
unicode=$("$EMULATOR" winepath -w "$PWD/temp-ж☃")
for folder in 'temp-ж☃' .; do
    if [ "$folder" = . ]; then temp='C:\no such folder'; else temp=$unicode; fi
    printf 'precious' >kept.txt
    begin_dialogue_with_temp "$temp"
    say 'create\nkept.txt\n'
    await 'placed in the file'
    head -c 2000000 long.expected >&3
    eventually "the text in a temporary file in $folder" temporary_in "$folder"
    "$EMULATOR" taskkill /F /IM "$copy" >/dev/null 2>&1
    end_dialogue
    expect_bytes kept.txt 'precious'
done
begin_dialogue_with_temp 'C:\no such folder'
say 'create\nkept.txt\n'
cat long.expected >&3
say '\n'
end_dialogue
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''
expect_same long.expected kept.txt
left=$(find . 'temp-ж☃' -maxdepth 1 -name 'txt*.tmp')
if [ -z "$left" ]; then pass; else fail "temporary files were left: $left"; fi

# drive LETTER FOLDER: Wine's drive LETTER: is FOLDER, until the tests end.
drive() {
    ln -sfn "$PWD/$2" "$WINEPREFIX/dosdevices/$1:"
    drives+=("$WINEPREFIX/dosdevices/$1:")
}
drives=()
trap 'rm -f "${drives[@]}"; mountpoint -q full && umount full; cleanup' EXIT

test_case "a name relative to a drive's current folder has its temporary file made in that folder"
mkdir -p lettered/sub
drive u lettered
printf 'precious' >lettered/sub/kept.txt
begin_dialogue "${EMULATOR[@]}" cmd /c "set TEMP=C:\\no such folder&& set TMP=C:\\no such folder&& cd /d U:\\sub&& $("${EMULATOR[@]}" winepath -w "$PWD/$copy")"
say 'create\nU:kept.txt\n'
await 'placed in the file'
head -c 2000000 long.expected >&3
eventually "the text in a temporary file in the drive's current folder" temporary_in lettered/sub
"${EMULATOR[@]}" taskkill /F /IM "$copy" >/dev/null 2>&1
end_dialogue
expect_bytes lettered/sub/kept.txt 'precious'

test_case "a drive that fills up refuses a text, short or long, before the old text changes"
mkdir full
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=512k textfile-full full 2>/dev/null; then
    drive t full
    for size in 600000 2000000; do
        printf 'precious' >full/keep.txt
        { printf 'create\nT:\\keep.txt\n'; head -c $size /dev/zero | tr '\0' f; printf '\n'; } >in
        run
        expect_run "$ASKED" "\r\nError: $(error_text ENOSPC)\r\n"
        expect_bytes full/keep.txt 'precious'
    done
    umount full
else
    echo "left out of '$case_name': what needs a tmpfs mounted (as root)"
fi

test_case "a Ctrl+C while a kept text is put in place waits until the file holds all of it"
head -c 67108864 /dev/zero | tr '\0' x >huge.expected
{ printf 'create\nheld.txt\n'; cat huge.expected; printf '\n'; } >in
printf 'old text' >held.txt
# Wine gives a SIGINT to the program as a Ctrl+C: strace delivers one at the third write into
# the file, once the text is being put in place.
if command -v strace >/dev/null; then
    strace -f -o /dev/null -P "$PWD/held.txt" -e inject=write,pwrite64:signal=SIGINT:when=3 \
        "${EMULATOR[@]}" "$TEXTFILE" <in >out 2>err
    expect_same huge.expected held.txt
    if grep -qF 'File created' out; then fail "the run went on after the Ctrl+C"; else pass; fi
else
    echo "left out of '$case_name': what needs strace"
fi

finish
