// The platform layer on Windows, through the C runtime's descriptors: a file shown is read
// in text mode, the file stored into is written in binary mode.
#include "platform/platform.hpp"

#include "platform/console_input.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace textfile::platform {

namespace {

// One call moves at most this much: the runtime counts in int.
unsigned int callSize(std::size_t size) noexcept {
    return size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
}

bool isRegularFile(int file) noexcept {
    long long size = -1;
    return sizeOf(file, size) == 0 && size >= 0;
}

HANDLE handleOf(int file) noexcept { return reinterpret_cast<HANDLE>(_get_osfhandle(file)); }

// The whole file, as far as it may ever grow, for LockFileEx and UnlockFileEx.
constexpr DWORD kAllBytes = MAXDWORD;

// The error number for a failure of a Windows call, as far as the program tells them apart.
// (The runtime reports some of these wrongly: a file mapped by another program as EINVAL,
// and ERROR_ACCESS_DENIED from a write as EBADF.)
int errnoOf(DWORD error) noexcept {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_NO_UNICODE_TRANSLATION:
        return EILSEQ;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
    case ERROR_INSUFFICIENT_BUFFER:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

int lastError() noexcept { return errnoOf(GetLastError()); }

// Whether the program's standard input is a console, which is read as UTF-16 (readConsole).
bool inputIsConsole() noexcept {
    DWORD mode = 0;
    return GetConsoleMode(handleOf(kStandardInput), &mode) != 0;
}

// The code page of the bytes the program reads: a console's input code page, whose bytes a
// name typed there is read as (see readConsole), else the ANSI code page, the one the
// runtime takes names from a pipe or a file in.
UINT inputCodePage() noexcept {
    const UINT consolePage = inputIsConsole() ? GetConsoleCP() : 0;
    return consolePage != 0 ? consolePage : CP_ACP;
}

// Room for the longest name Windows takes, and its terminating zero.
using NameBuffer = std::array<wchar_t, 32768>;

// `name`, in the input's code page, as Windows' wide calls take it.
int wideName(const char* name, NameBuffer& wide) noexcept {
    const int size = static_cast<int>(wide.size());
    const UINT codePage = inputCodePage();
    // Bytes the code page does not hold are an error, not another name; a few code pages
    // (UTF-7, ISO 2022) take no flags at all.
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, name, -1, wide.data(), size);
    if (length == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        length = MultiByteToWideChar(codePage, 0, name, -1, wide.data(), size);
    }
    return length != 0 ? 0 : lastError();
}

// Opens a new file in `directory` (that ends with a separator or not), named txt and
// eight hexadecimal digits, to be deleted when it is closed, whatever ends the program. Made
// and opened in one call, so that no kill leaves an empty name behind.
int openTemporaryIn(const wchar_t* directory, int& file) noexcept {
    static NameBuffer name{};
    file = -1;
    const std::size_t length = std::wcslen(directory);
    const bool separated =
        length > 0 && (directory[length - 1] == L'\\' || directory[length - 1] == L'/');
    static unsigned int next = GetCurrentProcessId() * 2654435761U + GetTickCount();
    for (int tries = 0; tries < 100; ++tries) {
        const int written = _snwprintf(name.data(), name.size(), L"%ls%lstxt%08x.tmp", directory,
                                       separated ? L"" : L"\\", next++);
        if (written < 0 || static_cast<std::size_t>(written) >= name.size()) {
            return ENAMETOOLONG;
        }
        const HANDLE handle =
            CreateFileW(name.data(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return lastError();
        }
        file = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
        if (file == -1) {
            CloseHandle(handle);
            return EMFILE;
        }
        return 0;
    }
    return EEXIST;
}

// The user's folder for temporary files, in `directory`. The wide call, since the ANSI one
// turns a character outside the ANSI code page into '?'.
int temporaryFolder(NameBuffer& directory) noexcept {
    const DWORD length = GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
    if (length == 0) {
        return lastError();
    }
    return length < directory.size() ? 0 : ENAMETOOLONG;
}

// The directory part of `name`, a name in the input's code page, in `directory`: up to its
// last separator, which is kept ("C:\\" stays a root), or a drive's current directory "C:."
// for a name relative to it ("C:" alone is taken for the root), or "." for a bare name. Split
// after the conversion, since a double-byte character may end with the byte of a backslash.
int directoryOf(const char* name, NameBuffer& directory) noexcept {
    if (const int err = wideName(name, directory)) {
        return err;
    }
    std::size_t end = std::wcslen(directory.data());
    const bool onDrive = end >= 2 && directory[1] == L':';
    while (end > 0 && directory[end - 1] != L'\\' && directory[end - 1] != L'/') {
        --end;
    }
    if (end == 0 && onDrive) {
        end = 2;
    }
    if (end == 0 || (end == 2 && onDrive)) {
        directory[end++] = L'.';
    }
    directory[end] = L'\0';
    return 0;
}

// Set once a console event has come: the run is about to end.
HANDLE consoleEvent = nullptr;

// Held by the main thread while signals wait (see holdSignals), and taken for good by the
// thread that handles the first console event.
SRWLOCK signalWindow = SRWLOCK_INIT;

// Runs on a thread of its own for each console event, all of which end the run. It waits
// for the window to close, and then goes on to the next handler, the system's, which ends
// the process. The lock is never released: the main thread cannot open another window
// before the process ends.
BOOL WINAPI endAfterWindow(DWORD /*event*/) noexcept {
    SetEvent(consoleEvent);
    AcquireSRWLockExclusive(&signalWindow);
    return FALSE;
}

// Text typed at a console: read as UTF-16 and made into the bytes of the console's input
// code page, as many as the reader asks for at a time.
struct ConsoleInput {
    // 8 KiB a read: every console takes that (Windows 7's refuses a read past its 64 KiB
    // buffer).
    std::array<wchar_t, 4096> units;
    std::size_t held; // units kept from the last read: the first half of a character
    std::array<char, 4096 * 4> bytes;
    std::size_t begin; // bytes[begin, end) are not yet handed out
    std::size_t end;
    bool ended; // a Ctrl+Z ended the input
};
ConsoleInput console;

// After a read that Ctrl+C or Ctrl+Break cut short: the run ends once the console's event
// reaches endAfterWindow, on a thread of its own, which may come after the read returned.
// Without one soon, the read was cut short otherwise, and the caller reads again.
void awaitConsoleEvent() noexcept {
    if (WaitForSingleObject(consoleEvent, 500) == WAIT_OBJECT_0) {
        Sleep(INFINITE);
    }
}

// The code page of GB 18030, which holds every character.
constexpr UINT kGb18030 = 54936;

// The units of one console read, from console.units[console.held] on, as bytes.
int takeConsoleUnits(std::size_t count) noexcept {
    const ConsoleText text = takeConsoleText(console.units.data(), console.held + count);
    const UINT codePage = inputCodePage();
    const int units = static_cast<int>(text.units);
    const int bytes = static_cast<int>(console.bytes.size());
    int converted = 0;
    if (units > 0) {
        // A character the code page lacks is an error, not a '?' in its place. UTF-8 and
        // GB 18030 hold every character, and are told only to refuse a broken one; a few
        // code pages (UTF-7, ISO 2022) take no flags at all, and Wine takes none for GB 18030.
        BOOL lacking = FALSE;
        const bool whole = codePage == CP_UTF8 || codePage == kGb18030;
        converted = WideCharToMultiByte(
            codePage, whole ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, console.units.data(),
            units, console.bytes.data(), bytes, nullptr, whole ? nullptr : &lacking);
        if (converted == 0 &&
            (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER)) {
            converted = WideCharToMultiByte(codePage, 0, console.units.data(), units,
                                            console.bytes.data(), bytes, nullptr, nullptr);
        }
        if (converted == 0 || lacking) {
            return converted == 0 ? lastError() : EILSEQ;
        }
    }
    console.begin = 0;
    console.end = static_cast<std::size_t>(converted);
    console.held = text.held ? 1 : 0;
    if (text.held) {
        console.units[0] = console.units[text.units];
    }
    console.ended = text.ended;
    return 0;
}

// Reads a console as readBlock reads a file: at least one byte, or the end of input.
Transfer readConsole(HANDLE handle, char* buffer, std::size_t size) noexcept {
    while (console.begin == console.end) {
        if (console.ended) {
            return {0, 0};
        }
        DWORD count = 0;
        const DWORD room = static_cast<DWORD>(console.units.size() - console.held);
        const bool succeeded =
            ReadConsoleW(handle, console.units.data() + console.held, room, &count, nullptr) != 0;
        const DWORD error = succeeded ? 0 : GetLastError();
        switch (classifyConsoleRead(succeeded, count, error == ERROR_OPERATION_ABORTED)) {
        case ConsoleRead::failed:
            return {0, errnoOf(error)};
        case ConsoleRead::interrupted:
            awaitConsoleEvent();
            break;
        case ConsoleRead::text:
            if (const int err = takeConsoleUnits(count)) {
                return {0, err};
            }
            break;
        }
    }
    const std::size_t count = std::min(size, console.end - console.begin);
    std::memcpy(buffer, console.bytes.data() + console.begin, count);
    console.begin += count;
    return {count, 0};
}

} // namespace

// The runtime keeps descriptors 0 to 2 for the standard streams, so no file takes their
// place; one the program was started without is put on the null device all the same, so
// that writing to it is no failure. Windows raises no signal for a pipe nobody reads or
// a file grown too large. The console's events are handled from here on (see holdSignals).
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
    consoleEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(endAfterWindow, TRUE);
}

// Windows keeps no FIFOs, and its directories need no syncing, so whether the file was
// made here does not matter. Binary mode, since in text mode the runtime cuts off a
// Ctrl+Z that ends the file as it opens it; the stored text holds no line feed to turn.
int openForCreate(const char* name, int& file, bool& created) noexcept {
    static NameBuffer wide{};
    created = false;
    file = -1;
    if (const int err = wideName(name, wide)) {
        return err;
    }
    file = _wopen(wide.data(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    return file == -1 ? errno : 0;
}

// Windows refuses to open a directory as a file (EACCES).
int openForReading(const char* name, int& file) noexcept {
    static NameBuffer wide{};
    file = -1;
    if (const int err = wideName(name, wide)) {
        return err;
    }
    file = _wopen(wide.data(), _O_RDONLY | _O_TEXT | _O_NOINHERIT);
    return file == -1 ? errno : 0;
}

// The lock is released before the close: Windows frees a closed file's locks only in
// its own time, and another run may be waiting for this one.
int closeFile(int file) noexcept {
    unlockFile(file);
    return _close(file) == 0 ? 0 : errno;
}

// Only files on disk are locked. A file system without locks refuses them, and the file is
// then used unlocked.
int lockFile(int file) noexcept {
    const HANDLE handle = handleOf(file);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        return 0;
    }
    OVERLAPPED whole{};
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, kAllBytes, kAllBytes, &whole) != 0) {
        return 0;
    }
    const DWORD error = GetLastError();
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ? 0 : errnoOf(error);
}

void unlockFile(int file) noexcept {
    OVERLAPPED whole{};
    UnlockFileEx(handleOf(file), 0, kAllBytes, kAllBytes, &whole);
}

// The user's folder may be missing or unwritable; the folder of `beside` is tried then.
// The error returned is the last one.
int openTemporary(const char* beside, int& file) noexcept {
    static NameBuffer directory{};
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
        return lastError();
    }
    position = now.QuadPart;
    return 0;
}

// Through Windows, whose error tells a file another program has mapped (which cannot be
// cut) from one that may not be written; the file's position stays where it was.
int cutFile(int file, long long length) noexcept {
    const HANDLE handle = handleOf(file);
    LARGE_INTEGER was{};
    LARGE_INTEGER at{};
    at.QuadPart = length;
    if (SetFilePointerEx(handle, LARGE_INTEGER{}, &was, FILE_CURRENT) == 0 ||
        SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) == 0) {
        return lastError();
    }
    const int err = SetEndOfFile(handle) != 0 ? 0 : lastError();
    if (SetFilePointerEx(handle, was, nullptr, FILE_BEGIN) == 0 && err == 0) {
        return lastError();
    }
    return err;
}

// Windows keeps no limit on the size of a program's files.
int checkSizeLimit(long long /*length*/) noexcept { return 0; }

namespace {

// Where writing over a file's text may need new space, the space free beyond that text's
// length: 1 MiB, for what the file system needs to keep track of it.
constexpr unsigned long long kFreeSpaceMargin = 1024 * 1024;

// The space the user may still take on the volume that holds `file`.
int freeSpaceOf(HANDLE file, unsigned long long& free) noexcept {
    static NameBuffer path{};
    static NameBuffer volume{};
    const auto size = static_cast<DWORD>(path.size());
    const DWORD length = GetFinalPathNameByHandleW(file, path.data(), size, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= size) {
        return length == 0 ? lastError() : ENAMETOOLONG;
    }
    ULARGE_INTEGER available{};
    if (GetVolumePathNameW(path.data(), volume.data(), size) == 0 ||
        GetDiskFreeSpaceExW(volume.data(), &available, nullptr, nullptr) == 0) {
        return lastError();
    }
    free = available.QuadPart;
    return 0;
}

} // namespace

// Writing over a file's text needs no new space, unless the file is sparse (its holes get
// clusters) or compressed (new text may compress less than the old): then the volume must
// have the text's length free, and a margin (kFreeSpaceMargin). Windows offers no way to
// reserve that space for writing over, so this is a check; what is written past the file's
// end finds out whether that part fits.
int reserveSpace(int file, long long length) noexcept {
    const HANDLE handle = handleOf(file);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info) == 0) {
        return lastError();
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_COMPRESSED)) == 0) {
        return 0;
    }
    unsigned long long free = 0;
    if (const int err = freeSpaceOf(handle, free)) {
        return err;
    }
    return free >= static_cast<unsigned long long>(length) + kFreeSpaceMargin ? 0 : ENOSPC;
}

void releaseSpace(int /*file*/, long long /*length*/) noexcept {}

// The window is an exclusive lock, so an event that arrives inside it waits for
// releaseSignals, and one that arrives outside takes the lock at once and ends the run;
// holdSignals then waits for that end. Not nested: a second holdSignals would wait for
// ever. Only console events wait: TerminateProcess (taskkill /F) cannot be held, and
// Windows ends a process whose handler still waits some seconds after the console's close.
void holdSignals() noexcept { AcquireSRWLockExclusive(&signalWindow); }

void releaseSignals() noexcept { ReleaseSRWLockExclusive(&signalWindow); }

// A file that is no regular file needs nothing; one whose kind cannot be found out is a failure.
int syncFile(int file) noexcept {
    long long size = -1;
    if (const int err = sizeOf(file, size)) {
        return err;
    }
    if (size < 0) {
        return 0;
    }
    return FlushFileBuffers(handleOf(file)) != 0 ? 0 : lastError();
}

int syncDirectoryOf(const char* /*name*/) noexcept { return 0; }

int checkStillNamed(int /*file*/, const char* /*name*/) noexcept { return 0; }

// Windows' runtime knows no ESTALE.
int changedMeanwhile() noexcept { return EIO; }

// A console is read as UTF-16 (readConsole); files and pipes through the runtime, which in
// text mode turns CR LF into a line feed and ends the input at a Ctrl+Z.
Transfer readBlock(int file, char* buffer, std::size_t size) noexcept {
    DWORD mode = 0;
    const HANDLE handle = handleOf(file);
    if (GetConsoleMode(handle, &mode) != 0) {
        return readConsole(handle, buffer, size);
    }
    const int count = _read(file, buffer, callSize(size));
    return count >= 0 ? Transfer{static_cast<std::size_t>(count), 0} : Transfer{0, errno};
}

namespace {

// Whether two handles lead to the same file: the same file index on the same volume, as every
// supported Windows tells them.
bool sameHandleFile(HANDLE one, HANDLE two) noexcept {
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return GetFileInformationByHandle(one, &first) != 0 &&
           GetFileInformationByHandle(two, &second) != 0 &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

} // namespace

bool sameFile(int one, int two) noexcept { return sameHandleFile(handleOf(one), handleOf(two)); }

Sink sinkOf(int file) noexcept { return isRegularFile(file) ? Sink::regularFile : Sink::other; }

// Windows writes a file's data out in its own time; FlushFileBuffers waits for all of it.
void startWriteback(int /*file*/, long long /*offset*/, long long /*length*/) noexcept {}

Transfer zeroCopy(int /*to*/, int /*from*/, std::size_t /*size*/) noexcept { return {0, ENOSYS}; }

int sizeOf(int file, long long& size) noexcept {
    struct _stat64 info {};
    if (_fstat64(file, &info) != 0) {
        return errno;
    }
    size = (info.st_mode & _S_IFMT) == _S_IFREG ? info.st_size : -1;
    return 0;
}

int seekTo(int file, long long offset) noexcept {
    return _lseeki64(file, offset, SEEK_SET) == -1 ? errno : 0;
}

// The standard streams are text streams, written through the runtime, which turns a line
// feed into CR LF. Every file the layer opens for writing is binary and is written through
// Windows itself: the runtime takes a write that filled the disk part-way for a failure
// (under Wine) and reports some errors wrongly (see errnoOf).
Transfer writeSome(int file, const char* data, std::size_t size) noexcept {
    if (file > kStandardError) {
        DWORD count = 0;
        if (WriteFile(handleOf(file), data, callSize(size), &count, nullptr) == 0) {
            return {0, lastError()};
        }
        return {count, 0};
    }
    const int count = _write(file, data, callSize(size));
    return count >= 0 ? Transfer{static_cast<std::size_t>(count), 0} : Transfer{0, errno};
}

} // namespace textfile::platform
