#pragma once

// Copies into an open file: of another file, within the system where it can, else through one
// fixed block buffer (each reads `from` from its position up to the position `end`, or to its
// end where `end` is negative); and of the current input line, as it arrives.

#include <cstddef>

namespace textfile {

/// The largest block copyInBlocks takes.
inline constexpr std::size_t kLargestBlock = std::size_t{1024} * 1024;

/// A copy into a file that is synced next sends each this much on to the storage device
/// as soon as it is in: the device writes while the rest is copied, and the sync has less
/// left to wait for. (For 64 MiB onto an ext4 disk, 8 MiB measured best, 4 MiB next.)
inline constexpr long long kWriteBackChunk = 8LL * 1024 * 1024;

/// How a copy ended: 0, or the error number of the call that failed, and whether that
/// call was writing into the destination (rather than reading the source).
struct Copied {
    int error;
    bool writing;
};

/// Copies `from` into `to` in blocks of `blockSize` (at most kLargestBlock).
Copied copyInBlocks(int to, int from, std::size_t blockSize, long long end) noexcept;

/// Copies `from`, from its position `begin`, into the regular file `to` at the same place
/// (where `to`'s position must be), moving it within the system without a copy through the
/// program where the system can, else as copyInBlocks does. `to` is synced next, so what is
/// copied is sent on to the storage device as it goes, and the sync waits less. Returns 0 or
/// the error number. (A file another program may change meanwhile is never moved that way: the
/// system moves references to its pages, which show a cut as zeros.)
int copyAllToDisk(int to, int from, long long begin, long long end) noexcept;

/// Writes the text of the current input line into `to`, at its position, which is `offset`,
/// as it arrives, in bounded memory; the rest of the line, after a zero byte, is read and
/// dropped. Sets `written` to the bytes written, counted as file offsets are (a text may
/// outgrow the memory a 32-bit program can count). If `writeBackEvery` is above 0, `to` is a
/// regular file that is synced next: each `writeBackEvery` bytes written are sent on to its
/// storage device at once, so that the sync has less left to wait for. Returns 0, or the first
/// error number: a failed write, or a failed read (a text cut short is not all written).
int copyLine(int to, long long offset, long long& written, long long writeBackEvery) noexcept;

} // namespace textfile
