# The command prompt: which answers run a command, and how every run ends.
. "$(dirname "$0")/lib.sh"

test_case "close ends the run without another word"
input 'close\n'
run
expect_run "$ASK_COMMAND" ''
run --help extra arguments
expect_run "$ASK_COMMAND" ''

test_case "a command word matches only as the whole line, byte for byte"
for word in '' 'Open' ' open' 'open\t' 'CREATE' 'create ' 'clos' 'closed'; do
    input "$word\nclose\n"
    run
    expect_run "$ASK_COMMAND$UNKNOWN" ''
done

test_case "a carriage return before the line feed is a line end on Windows only"
input 'close\r\n'
run
if on_posix; then expect_run "$ASK_COMMAND$UNKNOWN" ''; else expect_run "$ASK_COMMAND" ''; fi

test_case "the end of input at the command prompt is an unknown command"
: >in
run
expect_run "$ASK_COMMAND$UNKNOWN" ''

test_case "a zero byte ends the command word"
input 'close\0open\nopen\n'
run
expect_run "$ASK_COMMAND" ''

test_case "one command per run"
input 'create\nfirst\none\nopen\nfirst\n'
run
expect_run "$ASK_COMMAND$ASK_NAME$ASK_TEXT$CREATED" ''

test_case "a command line past 64 KiB is an unknown command and nothing more is read"
{ head -c 70000 /dev/zero | tr '\0' 'c'; printf '\ncreate\nx\ny\n'; } >in
run
expect_run "$ASK_COMMAND$UNKNOWN" ''
expect_missing x

test_case "a line without an end ends the run in bounded memory"
with_memory_limit textfile </dev/zero >out 2>err
status=$?
expect_run "$ASK_COMMAND$UNKNOWN" ''

test_case "output written before an error report precedes it on a shared stream"
input 'open\nmissing\n'
: >err
textfile <in >out 2>&1
status=$?
expect_run "$ASK_COMMAND$ASK_LOCATION$NL$NO_SUCH_FILE" ''

finish
