#pragma once

#include <cstddef>
#include <cstdio>

namespace textfile {

/// The error number of a stdio call that just failed, which need not have set one (EIO
/// then). Clear errno before the call.
int lastError();

/// Writes "<label>: <the platform's text for err>" and a line feed to standard error, as
/// perror does, for an error number saved at the call that failed.
void reportError(const char* label, int err);

/// Closes the stream, which flushes it; a failure is reported with the label "\nError".
/// The stream is released either way. Returns whether the close succeeded.
bool closeFile(std::FILE* stream);

/// Opens `name` in text mode, unbuffered, for the create command. The file is created if
/// missing; an existing file keeps its contents until emptyFile. Fails where mode "w+"
/// would fail (a missing directory, a directory, no permission to read and write).
/// Returns nullptr with errno set on failure.
std::FILE* openForCreate(const char* name);

/// Cuts a regular file to length zero; a device or pipe is left alone.
/// Returns 0 or an error number.
int emptyFile(std::FILE* stream);

/// Flushes the stream and, for a regular file, makes its data durable on the storage
/// device. Returns 0 or an error number.
int flushToDisk(std::FILE* stream);

/// Whether `name` still leads to the open file, which may have been removed or replaced
/// while the program waited for its text. Returns 0, or an error number: ENOENT when the
/// name is gone, EISDIR when a directory took its place, ESTALE when another file did.
/// Windows lets no one remove or replace a file the program holds open: there it is 0.
int checkStillNamed(std::FILE* stream, const char* name);

/// Opens an existing file in text mode for reading only; a directory is refused with
/// EISDIR. Returns nullptr with errno set on failure.
std::FILE* openForReading(const char* name);

/// Reads what the file has ready, up to `size` bytes, without waiting for the buffer to
/// fill: a pipe or terminal is shown as its data arrives. Returns the count, 0 at the end
/// of the file, or -1 with errno set.
long readSome(std::FILE* stream, char* buffer, std::size_t size);

} // namespace textfile
