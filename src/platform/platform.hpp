#pragma once

// Every call whose form differs between POSIX and Windows. CMake builds one of
// platform_posix.cpp and platform_win32.cpp. Files are the runtime's descriptors. On
// Windows a file opened for reading is in text mode, so the runtime turns CR LF into a line
// feed and ends a read at Ctrl+Z; a file opened for writing is in binary mode, as the runtime
// would otherwise change the file at open (it drops a Ctrl+Z that ends it).
//
// Each call returns 0 or the error number of the call that failed, saved at once, or a
// Transfer that carries one. None of them reports anything.

#include <cerrno>
#include <cstddef>

namespace textfile::platform {

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

/// Bytes moved by one call, or the error number of the call that failed (count 0 then).
/// A count of 0 without an error is the end of the file.
struct Transfer {
    std::size_t count;
    int error;
};

/// Where a descriptor leads, as far as the choice of how to copy into it goes.
enum class Sink { pipe, regularFile, other };

/// Prepares the standard streams before the dialogue: a standard descriptor the program
/// was started without is opened on the null device (or, without one, on a directory,
/// which takes no writes), so that no file opened later takes its place; and a write to a pipe
/// nobody reads (EPIPE), or past the file-size limit (EFBIG), fails instead of ending the run with
/// a signal.
void setUpStandardStreams() noexcept;

/// Opens `name` for reading and writing, creating it if missing, without emptying it: an
/// existing file keeps its contents until they are written over. Fails for a missing directory,
/// a directory, a file that may not be both read and written, and a FIFO that nobody but this
/// run could read (ENXIO): nobody else, or only this run itself, through a descriptor it was
/// started with, would never take what is written. A FIFO with another reader is opened for
/// writing only. `created` tells whether this call made the file.
int openForCreate(const char* name, int& file, bool& created) noexcept;

/// Opens an existing file for reading only; a directory is refused with EISDIR where the
/// system would open it.
int openForReading(const char* name, int& file) noexcept;

/// Closes the file, which releases its lock; the descriptor is released whatever the
/// result.
int closeFile(int file) noexcept;

/// Takes an exclusive lock on the file, waiting while another program holds one. A lock
/// this run holds already goes on at once, without waiting: one taken through `file`
/// itself, or one held through a descriptor the program was started with (as
/// `flock FILE textfile` gives it), which is this run's own. Where the file system has no locks,
/// the file is used unlocked (0).
int lockFile(int file) noexcept;

/// Releases the lock lockFile took.
void unlockFile(int file) noexcept;

/// Opens a new temporary file for reading and writing, that is gone once closed, however
/// the program ends: on POSIX in $TMPDIR or /tmp, else in the directory of `beside`, with no
/// name anyone could open; on Windows in the user's folder for temporary files, else in the
/// directory of `beside`.
int openTemporary(const char* beside, int& file) noexcept;

/// The file's position, in `position`.
int positionOf(int file, long long& position) noexcept;

/// Sets the file's position to `offset`.
int seekTo(int file, long long offset) noexcept;

/// The size of a regular file, in `size`; -1 for any other file.
int sizeOf(int file, long long& size) noexcept;

/// Cuts a regular file to `length` bytes.
int cutFile(int file, long long length) noexcept;

/// EFBIG where the file-size limit keeps a file from holding `length` bytes; else 0. (A move
/// within the system, sendfile on Linux, is not held to the limit.)
int checkSizeLimit(long long length) noexcept;

/// Makes sure that writing over the first `length` bytes of a regular file needs no space
/// beyond what its file system has given it, before any of them changes: its holes get blocks
/// of the zeros they read as, reserved where the file system can, else written. ENOSPC or
/// EDQUOT where they do not fit, and then nothing reserved is kept. (Writing over old data on a
/// copy-on-write file system still needs new space.)
int reserveSpace(int file, long long length) noexcept;

/// Gives back the blocks reserveSpace reserved in the first `length` bytes of a regular file that
/// no write has filled since. Nothing where the system cannot tell them: blocks of zeros written
/// in its holes stay.
void releaseSpace(int file, long long length) noexcept;

/// From holdSignals until releaseSignals, the signals that end a run from outside (on POSIX
/// every one that can be held, SIGINT, SIGTERM, SIGHUP and SIGQUIT among them; on Windows
/// Ctrl+C, Ctrl+Break and the console's close) wait, and take effect as usual right after: a
/// file is never left half-changed by them. Held only around work that cannot wait on anyone, and
/// not nested. (Windows still ends a program some seconds after its console is closed, and no
/// program can hold off SIGKILL or TerminateProcess.)
void holdSignals() noexcept;
void releaseSignals() noexcept;

/// Makes a regular file's data durable on its storage device; others need nothing (0), and
/// neither does a file that cannot be synced at all (a kernel setting, for example).
int syncFile(int file) noexcept;

/// Starts writing `length` bytes at `offset` of a regular file to its storage device,
/// without waiting for them: a syncFile after it has less left to wait for. Nothing where
/// the system has no such call.
void startWriteback(int file, long long offset, long long length) noexcept;

/// Makes the entry for `name`, a file just created and closed, durable in the directory
/// that holds it (through any symbolic links). A directory that may not be read, and so
/// cannot be opened, has its whole file system synced instead; a file system that cannot
/// sync at all gives 0. Called once the file is closed, so that a descriptor is free for
/// the directory. Nothing on Windows, whose file systems keep their directories themselves.
int syncDirectoryOf(const char* name) noexcept;

/// The error number for a file that another program cut while the program stored into it:
/// ESTALE, as for one replaced, where the system has it; else EIO.
int changedMeanwhile() noexcept;

/// Whether `name` still leads to the open file, which may have been removed or replaced
/// while the program waited: 0, ENOENT when the name is gone, EISDIR when a directory took
/// its place, ESTALE when another file did. Windows lets no one remove or replace a file
/// the program holds open, so there it is always 0.
int checkStillNamed(int file, const char* name) noexcept;

/// Reads up to `size` bytes: one plain read, which waits until at least one byte (or the
/// end of the file) is there; a pipe or terminal then gives what it has, as it arrives.
Transfer readBlock(int file, char* buffer, std::size_t size) noexcept;

/// Whether two descriptors lead to the same file (the same device and inode, or volume and file
/// index).
bool sameFile(int one, int two) noexcept;

/// Writes up to `size` bytes in one call: the count written, or the error.
Transfer writeSome(int file, const char* data, std::size_t size) noexcept;

/// Writes all `size` bytes, however many calls it takes: the same on every system.
inline int writeAll(int file, const char* data, std::size_t size) noexcept {
    while (size > 0) {
        const Transfer wrote = writeSome(file, data, size);
        if (wrote.error != 0) {
            return wrote.error;
        }
        if (wrote.count == 0) {
            return ENOSPC; // a write that takes nothing would be tried for ever
        }
        data += wrote.count;
        size -= wrote.count;
    }
    return 0;
}

/// What `file` writes into.
Sink sinkOf(int file) noexcept;

/// Zero-copy: moves up to `size` bytes from the file `from` (at its position, which advances)
/// into `to` within the system, without copying them through the program.
/// ENOSYS where the system has no such call, EINVAL where the files cannot be moved between
/// that way: the caller then copies in blocks.
Transfer zeroCopy(int to, int from, std::size_t size) noexcept;

} // namespace textfile::platform
