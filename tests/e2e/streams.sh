# Standard streams the program is started without: no file it opens may take their place.
. "$(dirname "$0")/lib.sh"

test_case "with standard output closed, the file gets only its text"
input 'create\nout-closed.txt\nonly this\n'
textfile <in >&- 2>err
status=$?
expect_bytes out-closed.txt 'only this'
expect_err ''
expect_status 0

test_case "with standard error closed, the file gets only its text"
input 'create\nerr-closed.txt\nonly this\n'
textfile <in >out 2>&-
status=$?
expect_bytes err-closed.txt 'only this'
expect_out "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED"
expect_status 0

test_case "with standard output and error closed, the file gets only its text"
input 'create\nboth-closed.txt\nonly this\n'
textfile <in >&- 2>&-
status=$?
expect_bytes both-closed.txt 'only this'
expect_status 0

test_case "with standard input closed, the run has no answers"
textfile <&- >out 2>err
status=$?
expect_run "$ASK_COMMAND$UNKNOWN" ''

finish
