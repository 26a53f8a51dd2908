// The platform layer on Windows, through the C runtime's descriptors in text mode.
#include "files/platform.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

// FILE_ID_INFO (Windows 8); the program still starts on Windows 7, which lacks only that.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#endif

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace textfile::platform {

namespace {

// The file's size if it is a regular file, else -1 (64-bit: a file past 2 GiB is one too).
long long regularSize(int file) noexcept {
    struct _stat64 info {};
    if (_fstat64(file, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        return -1;
    }
    return info.st_size;
}

bool isRegular(int file) noexcept { return regularSize(file) >= 0; }

// One call moves at most this much: the runtime counts in int.
unsigned int callSize(std::size_t size) noexcept {
    return size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
}

HANDLE handleOf(int file) noexcept { return reinterpret_cast<HANDLE>(_get_osfhandle(file)); }

// The whole file, as far as it may ever grow, for LockFileEx and UnlockFileEx.
constexpr DWORD kAllBytes = MAXDWORD;

} // namespace

// The runtime keeps descriptors 0 to 2 for the standard streams, so no file takes their
// place; one the program was started without is put on the null device all the same, so
// that writing to it is no failure. Windows raises no signal for a pipe nobody reads or
// a file grown too large.
void setUpStandardStreams() noexcept {
    for (int fd = kStandardInput; fd <= kStandardError; ++fd) {
        const intptr_t handle = _get_osfhandle(fd);
        if (handle == -1 || handle == -2) {
            const int null = _open("NUL", fd == kStandardInput ? _O_RDONLY : _O_WRONLY);
            if (null != -1 && null != fd) {
                _dup2(null, fd);
                _close(null);
            }
        }
    }
}

// Windows keeps no FIFOs, and its directories need no syncing, so whether the file was
// made here does not matter.
int openForCreate(const char* name, int& file, bool& created) noexcept {
    created = false;
    file = _open(name, _O_RDWR | _O_CREAT | _O_TEXT | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    return file == -1 ? errno : 0;
}

// Windows refuses to open a directory as a file (EACCES).
int openForReading(const char* name, int& file) noexcept {
    file = _open(name, _O_RDONLY | _O_TEXT | _O_NOINHERIT);
    return file == -1 ? errno : 0;
}

// The lock is released before the close: Windows frees a closed file's locks only in
// its own time, and another run may be waiting for this one.
int closeFile(int file) noexcept {
    unlockFile(file);
    return _close(file) == 0 ? 0 : errno;
}

// A device, or a file system without locks, refuses them; the file is then used unlocked.
int lockFile(int file) noexcept {
    OVERLAPPED whole{};
    LockFileEx(handleOf(file), LOCKFILE_EXCLUSIVE_LOCK, 0, kAllBytes, kAllBytes, &whole);
    return 0;
}

void unlockFile(int file) noexcept {
    OVERLAPPED whole{};
    UnlockFileEx(handleOf(file), 0, kAllBytes, kAllBytes, &whole);
}

bool holdsData(int file) noexcept { return regularSize(file) > 0; }

// A file of a unique name in the user's directory for temporary files, which Windows
// deletes when it is closed, whatever ends the program.
int openTemporary(const char* /*near*/, int& file) noexcept {
    std::array<char, MAX_PATH + 1> directory{};
    std::array<char, MAX_PATH + 1> name{};
    const DWORD length = GetTempPathA(static_cast<DWORD>(directory.size()), directory.data());
    if (length == 0 || length >= directory.size() ||
        GetTempFileNameA(directory.data(), "txt", 0, name.data()) == 0) {
        file = -1;
        return ENOENT;
    }
    file = _open(name.data(), _O_RDWR | _O_BINARY | _O_TEMPORARY | _O_NOINHERIT);
    if (file == -1) {
        const int err = errno;
        DeleteFileA(name.data());
        return err;
    }
    return 0;
}

int rewindFile(int file) noexcept { return _lseeki64(file, 0, SEEK_SET) == 0 ? 0 : errno; }

// In text mode the position is where the file is read, whatever fewer bytes arrive.
int positionOf(int file, long long& position) noexcept {
    position = _telli64(file);
    return position == -1 ? errno : 0;
}

int emptyFile(int file) noexcept { return isRegular(file) ? _chsize_s(file, 0) : 0; }

int syncFile(int file) noexcept {
    if (!isRegular(file)) {
        return 0;
    }
    return _commit(file) == 0 ? 0 : errno;
}

int syncDirectoryOf(const char* /*name*/) noexcept { return 0; }

int checkStillNamed(int /*file*/, const char* /*name*/) noexcept { return 0; }

Transfer readBlock(int file, char* buffer, std::size_t size) noexcept {
    const int count = _read(file, buffer, callSize(size));
    return count >= 0 ? Transfer{static_cast<std::size_t>(count), 0} : Transfer{0, errno};
}

namespace {

// Whether two handles lead to the same file: the same file identity on the same volume.
// A volume of 0 is unknown, as for a handle that Wine made from a file of its system.
bool sameFile(HANDLE one, HANDLE two) noexcept {
    FILE_ID_INFO first{};
    FILE_ID_INFO second{};
    if (GetFileInformationByHandleEx(one, FileIdInfo, &first, sizeof first) != 0 &&
        GetFileInformationByHandleEx(two, FileIdInfo, &second, sizeof second) != 0) {
        return std::memcmp(&first.FileId, &second.FileId, sizeof first.FileId) == 0 &&
               (first.VolumeSerialNumber == second.VolumeSerialNumber ||
                first.VolumeSerialNumber == 0 || second.VolumeSerialNumber == 0);
    }
    // Windows 7 knows only the older, shorter identity.
    BY_HANDLE_FILE_INFORMATION older{};
    BY_HANDLE_FILE_INFORMATION newer{};
    return GetFileInformationByHandle(one, &older) != 0 &&
           GetFileInformationByHandle(two, &newer) != 0 &&
           older.dwVolumeSerialNumber == newer.dwVolumeSerialNumber &&
           older.nFileIndexHigh == newer.nFileIndexHigh &&
           older.nFileIndexLow == newer.nFileIndexLow;
}

} // namespace

long long sizeIfSame(int file, int other) noexcept {
    return sameFile(handleOf(file), handleOf(other)) ? regularSize(file) : -1;
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

Transfer moveWithinSystem(int /*to*/, int /*from*/, std::size_t /*size*/) noexcept {
    return {0, ENOSYS};
}

} // namespace textfile::platform
