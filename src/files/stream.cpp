#include "files/stream.hpp"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace textfile {

namespace {

bool isRegular(std::FILE* stream) {
    struct stat info {};
    return fstat(fileno(stream), &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG;
}

bool isDirectory(std::FILE* stream) {
    struct stat info {};
    return fstat(fileno(stream), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR;
}

} // namespace

int lastError() { return errno != 0 ? errno : EIO; }

void reportError(const char* label, int err) {
    std::fprintf(stderr, "%s: %s\n", label, std::strerror(err));
}

bool closeFile(std::FILE* stream) {
    errno = 0;
    if (std::fclose(stream) != 0) {
        reportError("\nError", lastError());
        return false;
    }
    return true;
}

std::FILE* openForCreate(const char* name) {
#ifdef _WIN32
    const int fd = _open(name, _O_RDWR | _O_CREAT | _O_TEXT, _S_IREAD | _S_IWRITE);
#else
    const int fd = open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
#endif
    if (fd == -1) {
        return nullptr;
    }
    // fdopen never truncates, whatever its mode.
    std::FILE* stream = fdopen(fd, "w+");
    if (stream == nullptr) {
        const int err = errno;
        close(fd);
        errno = err;
        return nullptr;
    }
    // The text is written in large pieces: a buffer would only split them in two.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

int emptyFile(std::FILE* stream) {
    if (!isRegular(stream)) {
        return 0;
    }
#ifdef _WIN32
    return _chsize_s(_fileno(stream), 0) == 0 ? 0 : lastError();
#else
    return ftruncate(fileno(stream), 0) == 0 ? 0 : lastError();
#endif
}

int flushToDisk(std::FILE* stream) {
    errno = 0;
    if (std::fflush(stream) != 0) {
        return lastError();
    }
    if (!isRegular(stream)) {
        return 0;
    }
#ifdef _WIN32
    return _commit(_fileno(stream)) == 0 ? 0 : lastError();
#else
    return fsync(fileno(stream)) == 0 ? 0 : lastError();
#endif
}

int checkStillNamed(std::FILE* stream, const char* name) {
#ifdef _WIN32
    (void)stream;
    (void)name;
    return 0;
#else
    struct stat named {};
    struct stat opened {};
    if (stat(name, &named) != 0) {
        return errno;
    }
    if (fstat(fileno(stream), &opened) != 0) {
        return errno;
    }
    if (named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
        return 0;
    }
    return (named.st_mode & S_IFMT) == S_IFDIR ? EISDIR : ESTALE;
#endif
}

std::FILE* openForReading(const char* name) {
    std::FILE* stream = std::fopen(name, "r");
    // Some platforms open a directory for reading; it is still no file to show.
    if (stream != nullptr && isDirectory(stream)) {
        std::fclose(stream);
        errno = EISDIR;
        return nullptr;
    }
    return stream;
}

long readSome(std::FILE* stream, char* buffer, std::size_t size) {
#ifdef _WIN32
    // In text mode, _read turns CR LF into a line feed and stops at a Ctrl+Z byte.
    return _read(_fileno(stream), buffer, size > INT_MAX ? INT_MAX : static_cast<unsigned>(size));
#else
    for (;;) {
        const ssize_t count = read(fileno(stream), buffer, size);
        if (count != -1 || errno != EINTR) {
            return static_cast<long>(count);
        }
    }
#endif
}

} // namespace textfile
