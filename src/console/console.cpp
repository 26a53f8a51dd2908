#include "console/console.hpp"

#include <cerrno>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace textfile {

namespace {

// Input is taken in large reads: a long text line arrives in few system calls.
constexpr std::size_t kInputBuffer = 64 * 1024;

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
    std::setvbuf(stdin, nullptr, _IOFBF, kInputBuffer);
    // Unbuffered: every prompt is shown before the program waits for its answer, and
    // everything written here precedes an error report that follows it on standard error.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

} // namespace textfile
