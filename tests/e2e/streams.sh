# Standard streams the program is started without: no file it opens may take their place.
. "$(dirname "$0")/lib.sh"

test_case "with standard output (and error) closed, the file gets only its text"
input 'create\nout-closed.txt\nonly this\n'
textfile <in >&- 2>err
status=$?
expect_bytes out-closed.txt 'only this'
expect_err ''
expect_status 0
input 'create\nboth-closed.txt\nonly this\n'
textfile <in >&- 2>&-
status=$?
expect_bytes both-closed.txt 'only this'
expect_status 0

finish
