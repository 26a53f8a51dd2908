#pragma once

// Copying one open file into another, shared by the commands: within the system where it
// can, else through one fixed block buffer.

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

/// Copies `from`, from its position, into `to` in blocks of `blockSize` (at most
/// kLargestBlock): until the end of `from`, or until its position `end` if that is not
/// negative.
Copied copyInBlocks(int to, int from, std::size_t blockSize, long long end) noexcept;

/// Copies `from`, from its position to its end, into `to`, moving it within the system
/// without a copy through the program where the system can, else as copyInBlocks does.
Copied copyAll(int to, int from, std::size_t blockSize) noexcept;

/// Copies the regular file `from`, from its start (where its position must be), to its end,
/// into the regular file `to`: from views of it mapped into memory, copied once within the
/// system, where the system can; else, and for whatever the views do not reach, as
/// copyInBlocks does, in the largest blocks.
Copied copyIntoFile(int to, int from) noexcept;

/// As copyAll, into a regular file `to`, from its start, that is synced next: what is
/// copied is sent on to the storage device as it goes, so that the sync waits less.
Copied copyAllToDisk(int to, int from) noexcept;

} // namespace textfile
