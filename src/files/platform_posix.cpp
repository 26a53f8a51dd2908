// The platform layer on POSIX systems.
#include "files/platform.hpp"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/sendfile.h>
#endif

namespace textfile::platform {

namespace {

// The type bits of the file's mode, or 0 if it cannot be found out.
mode_t typeOf(int file) noexcept {
    struct stat info {};
    return fstat(file, &info) == 0 ? info.st_mode & S_IFMT : 0;
}

} // namespace

void setUpStandardStreams() noexcept {
    // open() takes the lowest free descriptor, which is the missing one as long as the
    // streams are checked in order.
    for (int fd = kStandardInput; fd <= kStandardError; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            open("/dev/null", fd == kStandardInput ? O_RDONLY : O_WRONLY);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
}

int openForCreate(const char* name, int& file) noexcept {
    file = open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    return file == -1 ? errno : 0;
}

int openForReading(const char* name, int& file) noexcept {
    file = open(name, O_RDONLY | O_CLOEXEC);
    if (file == -1) {
        return errno;
    }
    if (typeOf(file) == S_IFDIR) {
        close(file);
        file = -1;
        return EISDIR;
    }
    return 0;
}

int closeFile(int file) noexcept { return close(file) == 0 ? 0 : errno; }

int emptyFile(int file) noexcept {
    if (typeOf(file) != S_IFREG) {
        return 0;
    }
    return ftruncate(file, 0) == 0 ? 0 : errno;
}

int syncFile(int file) noexcept {
    if (typeOf(file) != S_IFREG) {
        return 0;
    }
    return fsync(file) == 0 ? 0 : errno;
}

int checkStillNamed(int file, const char* name) noexcept {
    struct stat named {};
    struct stat opened {};
    if (stat(name, &named) != 0 || fstat(file, &opened) != 0) {
        return errno;
    }
    if (named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
        return 0;
    }
    return (named.st_mode & S_IFMT) == S_IFDIR ? EISDIR : ESTALE;
}

Transfer readBlock(int file, char* buffer, std::size_t size) noexcept {
    for (;;) {
        const ssize_t count = read(file, buffer, size);
        if (count >= 0) {
            return {static_cast<std::size_t>(count), 0};
        }
        if (errno != EINTR) {
            return {0, errno};
        }
    }
}

int writeAll(int file, const char* data, std::size_t size) noexcept {
    while (size > 0) {
        const ssize_t count = write(file, data, size);
        if (count > 0) {
            data += count;
            size -= static_cast<std::size_t>(count);
        } else if (count == 0) {
            return ENOSPC; // a write that takes nothing would be tried for ever
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

Sink sinkOf(int file) noexcept {
    switch (typeOf(file)) {
    case S_IFIFO:
        return Sink::pipe;
    case S_IFREG:
        return Sink::regularFile;
    default:
        return Sink::other;
    }
}

Transfer sendToPipe(int to, int from, std::size_t size) noexcept {
#if defined(__linux__)
    for (;;) {
        const ssize_t count = sendfile(to, from, nullptr, size);
        if (count >= 0) {
            return {static_cast<std::size_t>(count), 0};
        }
        if (errno != EINTR) {
            return {0, errno};
        }
    }
#else
    (void)to;
    (void)from;
    (void)size;
    return {0, ENOSYS};
#endif
}

} // namespace textfile::platform
