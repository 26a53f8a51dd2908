# What only the Windows build does: text-mode answers and Windows' rules for names.
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

finish
