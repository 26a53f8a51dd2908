# Standard streams the program is started without: no file it opens may take their place.
. "$(dirname "$0")/lib.sh"

test_case "with standard output (and error) closed, the file gets only its text"
input 'create\nout-closed.txt\nonly this\n'
textfile <in >&- 2>err
status=$?
expect_bytes out-closed.txt 'only this'
# Wine puts a directory of its own where standard output was closed, and writes to it
# fail: that is reported, as any failed output is.
if on_posix; then expect_err ''; else expect_err "Error: $(error_text EBADF)$NL"; fi
expect_status 0
input 'create\nboth-closed.txt\nonly this\n'
textfile <in >&- 2>&-
status=$?
expect_bytes both-closed.txt 'only this'
expect_status 0

if on_posix; then
    test_case "output that cannot be written is reported at the end of a create, not silently lost"
    input 'create\nunseen.txt\nstored all the same\n'
    textfile <in >/dev/full 2>err
    status=$?
    expect_err "Error: $(error_text ENOSPC)\n"
    expect_status 0
    expect_bytes unseen.txt 'stored all the same'
    # With standard error closed too, that report goes nowhere, and not into the file.
    input 'create\nunheard.txt\nstored all the same\n'
    textfile <in >/dev/full 2>&-
    status=$?
    expect_status 0
    expect_bytes unheard.txt 'stored all the same'

    test_case "a standard stream the program is started without is opened on the null device"
    begin_dialogue --without-stderr
    await "$ASK_COMMAND"
    expect_bytes <(readlink "/proc/$pid/fd/2") '/dev/null\n'
    end_dialogue
    test_case "without a null device, a standard stream is opened on a directory"
    if needs namespace; then
        # Without a null device, a place that takes no writes: the prompts fail, and are
        # reported, instead of going into the file.
        input 'create\nno-null.txt\nonly this\n'
        unshare -m sh -c 'mount -t tmpfs none /dev && exec "$@" <in >&- 2>err' sh "${PROGRAM[@]}"
        status=$?
        expect_bytes no-null.txt 'only this'
        expect_err "Error: $(error_text EBADF)\n"
        expect_status 0
    fi
fi

finish
