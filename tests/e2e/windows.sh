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

test_case "a Ctrl+C while a kept text is put in place waits until the file holds all of it"
head -c 67108864 /dev/zero | tr '\0' x >huge.expected
{ printf 'create\nheld.txt\n'; cat huge.expected; printf '\n'; } >in
printf 'old text' >held.txt
# Wine gives a SIGINT to the program as a Ctrl+C.
("$EMULATOR" "$TEXTFILE" <in >out 2>err) &
pid=$!
# The file's size changes only once the text is being put in place.
deadline=$((SECONDS + 60))
while [ "$(stat -c %s held.txt)" -eq 8 ] && [ "$SECONDS" -lt "$deadline" ]; do :; done
kill -s INT "$pid"
wait "$pid"
expect_same huge.expected held.txt
if grep -qF 'File created' out; then fail "the run went on after the Ctrl+C"; else pass; fi

finish
