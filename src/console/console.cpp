#include "console/console.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace textfile {

namespace {

// Standard input is read in blocks of this size: a long text line arrives in few calls.
constexpr std::size_t kInputBlock = std::size_t{128} * 1024;

void reopenClosedStandardStreams() {
#ifndef _WIN32
    // open() takes the lowest free descriptor, which is the closed one as long as the
    // streams are checked in order.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
#endif
}

} // namespace

void prepareConsole() {
    reopenClosedStandardStreams();
#ifndef _WIN32
    // A reader that goes away makes a write fail with EPIPE, reported like any failed
    // write, instead of ending the run with a signal and a nonzero status.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // The runtime's stream keeps the buffer for the whole run, so it has static storage.
    static std::array<char, kInputBlock> inputBuffer;
    std::setvbuf(stdin, inputBuffer.data(), _IOFBF, inputBuffer.size());
    // Unbuffered: every prompt is shown before the program waits for its answer, and
    // everything written here precedes an error report that follows it on standard error.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

} // namespace textfile
