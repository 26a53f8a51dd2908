#pragma once

// Every call whose form differs between POSIX and Windows. CMake builds one of
// platform_posix.cpp and platform_win32.cpp. Files are the runtime's descriptors; on
// Windows they are opened in text mode, so the runtime turns CR LF into a line feed and
// ends a read at Ctrl+Z, and turns a written line feed into CR LF.
//
// Each call returns 0 or the error number of the call that failed, saved at once, or a
// Transfer that carries one. None of them reports anything.

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
/// was started without is opened on the null device, so that no file opened later takes
/// its place; and a write to a pipe nobody reads fails with EPIPE instead of ending the run.
void setUpStandardStreams() noexcept;

/// Opens `name` for reading and writing, creating it if missing, without emptying it:
/// an existing file keeps its contents until emptyFile. Fails where the C runtime's mode
/// "w+" fails (a missing directory, a directory, no permission to read and write).
int openForCreate(const char* name, int& file) noexcept;

/// Opens an existing file for reading only; a directory is refused with EISDIR where the
/// system would open it.
int openForReading(const char* name, int& file) noexcept;

/// Closes the file; the descriptor is released whatever the result.
int closeFile(int file) noexcept;

/// Cuts a regular file to length zero; a device or pipe is left alone.
int emptyFile(int file) noexcept;

/// Makes a regular file's data durable on its storage device; others need nothing.
int syncFile(int file) noexcept;

/// Whether `name` still leads to the open file, which may have been removed or replaced
/// while the program waited: 0, ENOENT when the name is gone, EISDIR when a directory took
/// its place, ESTALE when another file did. Windows lets no one remove or replace a file
/// the program holds open, so there it is always 0.
int checkStillNamed(int file, const char* name) noexcept;

/// Reads what the file has ready, up to `size` bytes, without waiting for more: a pipe or
/// terminal gives its data as it arrives.
Transfer readBlock(int file, char* buffer, std::size_t size) noexcept;

/// Writes all `size` bytes, however many calls it takes.
int writeAll(int file, const char* data, std::size_t size) noexcept;

/// What `file` writes into.
Sink sinkOf(int file) noexcept;

/// Moves up to `size` bytes from the file `from` (at its position, which advances) into
/// the pipe `to` without copying them through the program. ENOSYS where the system has no
/// such call, EINVAL where `from` cannot be read that way: the caller then copies in blocks.
Transfer sendToPipe(int to, int from, std::size_t size) noexcept;

} // namespace textfile::platform
