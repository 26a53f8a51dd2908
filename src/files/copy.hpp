#pragma once

// Copying one open file into another, shared by the commands: within the system where it
// can, else through one fixed block buffer. Each copy reads `from` from its position up to the
// position `end`, or to its end where `end` is negative.

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

} // namespace textfile
