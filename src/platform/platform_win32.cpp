// The platform layer on Windows, through the C runtime's descriptors: a file shown is read
// in text mode, the file stored into is written in binary mode.
#include "platform/platform.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

// The build sets the Windows version whose declarations the layer uses.
static_assert(_WIN32_WINNT >= 0x0602, "FILE_ID_INFO needs _WIN32_WINNT 0x0602 (Windows 8)");

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

// One call moves at most this much: the runtime counts in int.
unsigned int callSize(std::size_t size) noexcept {
    return size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
}

bool isRegularFile(int file) noexcept { return regularSize(file) >= 0; }

HANDLE handleOf(int file) noexcept { return reinterpret_cast<HANDLE>(_get_osfhandle(file)); }

// The whole file, as far as it may ever grow, for LockFileEx and UnlockFileEx.
constexpr DWORD kAllBytes = MAXDWORD;

// The error number for a failure of a Windows call, as far as the program tells them apart.
int errnoOf(DWORD error) noexcept {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
    case ERROR_INSUFFICIENT_BUFFER:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

// Room for a path the ANSI calls could take, and its terminating zero.
using PathBuffer = std::array<wchar_t, MAX_PATH + 1>;

// Makes a file of a unique name in `directory` and opens it, to be deleted when it is
// closed, whatever ends the program.
int openTemporaryIn(const wchar_t* directory, int& file) noexcept {
    PathBuffer name{};
    file = -1;
    if (GetTempFileNameW(directory, L"txt", 0, name.data()) == 0) {
        return errnoOf(GetLastError());
    }
    file = _wopen(name.data(), _O_RDWR | _O_BINARY | _O_TEMPORARY | _O_NOINHERIT);
    if (file == -1) {
        const int err = errno;
        DeleteFileW(name.data());
        return err;
    }
    return 0;
}

// The user's folder for temporary files, in `directory`. The wide call, since the ANSI one
// turns a character outside the ANSI code page into '?'.
int temporaryFolder(PathBuffer& directory) noexcept {
    const DWORD length = GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
    if (length == 0) {
        return errnoOf(GetLastError());
    }
    return length < directory.size() ? 0 : ENAMETOOLONG;
}

// The directory part of `name`, a name as the runtime's _open takes it (in the ANSI code
// page), in `directory`: up to its last separator, which is kept ("C:\" stays a root), or
// a drive's "C:", or "." for a bare name. Split after the conversion, since a double-byte
// character may end with the byte of a backslash.
int directoryOf(const char* name, PathBuffer& directory) noexcept {
    const int size = static_cast<int>(directory.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, name, -1, directory.data(), size) - 1;
    if (length < 0) {
        return errnoOf(GetLastError());
    }
    int end = length;
    while (end > 0 && directory[end - 1] != L'\\' && directory[end - 1] != L'/') {
        --end;
    }
    if (end == 0 && length >= 2 && directory[1] == L':') {
        end = 2;
    }
    if (end == 0) {
        directory[end++] = L'.';
    }
    directory[end] = L'\0';
    return 0;
}

// Held by the main thread while signals wait (see holdSignals), and taken for good by the
// thread that handles the first console event.
SRWLOCK signalWindow = SRWLOCK_INIT;

// Runs on a thread of its own for each console event, all of which end the run. It waits
// for the window to close, and then goes on to the next handler, the system's, which ends
// the process. The lock is never released: the main thread cannot open another window
// before the process ends.
BOOL WINAPI endAfterWindow(DWORD /*event*/) noexcept {
    AcquireSRWLockExclusive(&signalWindow);
    return FALSE;
}

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
// made here does not matter. Binary mode, since in text mode the runtime cuts off a
// Ctrl+Z that ends the file as it opens it; the stored text holds no line feed to turn.
int openForCreate(const char* name, int& file, bool& created) noexcept {
    created = false;
    file = _open(name, _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
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

// The user's folder may be missing or unwritable; the folder of `beside` is tried then.
// (`near` is a macro of <windows.h>.) The error returned is the last one.
int openTemporary(const char* beside, int& file) noexcept {
    PathBuffer directory{};
    file = -1;
    int err = temporaryFolder(directory);
    if (err == 0) {
        err = openTemporaryIn(directory.data(), file);
    }
    if (err != 0) {
        err = directoryOf(beside, directory);
        if (err == 0) {
            err = openTemporaryIn(directory.data(), file);
        }
    }
    return err;
}

// In text mode the position is where the file is read, whatever fewer bytes arrive. It is
// asked of Windows, not of the runtime, whose seek forgets that a Ctrl+Z ended the text.
int positionOf(int file, long long& position) noexcept {
    LARGE_INTEGER now{};
    if (SetFilePointerEx(handleOf(file), LARGE_INTEGER{}, &now, FILE_CURRENT) == 0) {
        return errnoOf(GetLastError());
    }
    position = now.QuadPart;
    return 0;
}

int cutFile(int file, long long length) noexcept { return _chsize_s(file, length); }

// Windows keeps no limit on the size of a program's files.
int checkSizeLimit(long long /*length*/) noexcept { return 0; }

// A file has holes on Windows only where a program asked for them (a sparse file), so writing
// over its old text needs no new space; what is written past its end finds out whether it fits.
int reserveSpace(int /*file*/, long long /*length*/) noexcept { return 0; }

void releaseSpace(int /*file*/, long long /*length*/) noexcept {}

// The window is an exclusive lock, so an event that arrives inside it waits for
// releaseSignals, and one that arrives outside takes the lock at once and ends the run;
// holdSignals then waits for that end. Not nested: a second holdSignals would wait for
// ever. Only console events wait: TerminateProcess (taskkill /F) cannot be held, and
// Windows ends a process whose handler still waits some seconds after the console's close.
void holdSignals() noexcept {
    static bool handled = false;
    if (!handled) {
        handled = SetConsoleCtrlHandler(endAfterWindow, TRUE) != 0;
    }
    AcquireSRWLockExclusive(&signalWindow);
}

void releaseSignals() noexcept { ReleaseSRWLockExclusive(&signalWindow); }

int syncFile(int file) noexcept {
    if (!isRegularFile(file)) {
        return 0;
    }
    return _commit(file) == 0 ? 0 : errno;
}

int syncDirectoryOf(const char* /*name*/) noexcept { return 0; }

int checkStillNamed(int /*file*/, const char* /*name*/) noexcept { return 0; }

// Windows' runtime knows no ESTALE.
int changedMeanwhile() noexcept { return EIO; }

Transfer readBlock(int file, char* buffer, std::size_t size) noexcept {
    const int count = _read(file, buffer, callSize(size));
    return count >= 0 ? Transfer{static_cast<std::size_t>(count), 0} : Transfer{0, errno};
}

namespace {

// Whether two handles lead to the same file: the same file identity on the same volume.
// A volume of 0 is unknown, as for a handle that Wine made from a file of its system.
bool sameHandleFile(HANDLE one, HANDLE two) noexcept {
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

bool sameFile(int one, int two) noexcept { return sameHandleFile(handleOf(one), handleOf(two)); }

Sink sinkOf(int file) noexcept { return isRegularFile(file) ? Sink::regularFile : Sink::other; }

// Windows writes a file's data out in its own time; _commit waits for all of it.
void startWriteback(int /*file*/, long long /*offset*/, long long /*length*/) noexcept {}

Transfer zeroCopy(int /*to*/, int /*from*/, std::size_t /*size*/) noexcept { return {0, ENOSYS}; }

int sizeOf(int file, long long& size) noexcept {
    size = regularSize(file);
    return 0;
}

int seekTo(int file, long long offset) noexcept {
    return _lseeki64(file, offset, SEEK_SET) == -1 ? errno : 0;
}

Transfer writeSome(int file, const char* data, std::size_t size) noexcept {
    const int count = _write(file, data, callSize(size));
    return count >= 0 ? Transfer{static_cast<std::size_t>(count), 0} : Transfer{0, errno};
}

} // namespace textfile::platform
