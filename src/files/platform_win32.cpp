// The platform layer on Windows, through the C runtime's descriptors in text mode.
#include "files/platform.hpp"

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace textfile::platform {

namespace {

// Whether the file is a regular file (64-bit sizes: a file past 2 GiB is one too).
bool isRegular(int file) noexcept {
    struct _stat64 info {};
    return _fstat64(file, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
}

// One call moves at most this much: the runtime counts in int.
unsigned int callSize(std::size_t size) noexcept {
    return size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
}

} // namespace

// The runtime keeps descriptors 0 to 2 for the standard streams even when the program
// was started without them, and Windows raises no signal for a pipe nobody reads.
void setUpStandardStreams() noexcept {}

int openForCreate(const char* name, int& file) noexcept {
    file = _open(name, _O_RDWR | _O_CREAT | _O_TEXT | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    return file == -1 ? errno : 0;
}

// Windows refuses to open a directory as a file (EACCES).
int openForReading(const char* name, int& file) noexcept {
    file = _open(name, _O_RDONLY | _O_TEXT | _O_NOINHERIT);
    return file == -1 ? errno : 0;
}

int closeFile(int file) noexcept { return _close(file) == 0 ? 0 : errno; }

int emptyFile(int file) noexcept { return isRegular(file) ? _chsize_s(file, 0) : 0; }

int syncFile(int file) noexcept {
    if (!isRegular(file)) {
        return 0;
    }
    return _commit(file) == 0 ? 0 : errno;
}

int checkStillNamed(int /*file*/, const char* /*name*/) noexcept { return 0; }

Transfer readBlock(int file, char* buffer, std::size_t size) noexcept {
    const int count = _read(file, buffer, callSize(size));
    return count >= 0 ? Transfer{static_cast<std::size_t>(count), 0} : Transfer{0, errno};
}

int writeAll(int file, const char* data, std::size_t size) noexcept {
    while (size > 0) {
        const int count = _write(file, data, callSize(size));
        if (count < 0) {
            return errno;
        }
        if (count == 0) {
            return ENOSPC;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return 0;
}

Sink sinkOf(int file) noexcept { return isRegular(file) ? Sink::regularFile : Sink::other; }

Transfer sendToPipe(int /*to*/, int /*from*/, std::size_t /*size*/) noexcept { return {0, ENOSYS}; }

} // namespace textfile::platform
