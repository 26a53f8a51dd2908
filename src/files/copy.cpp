#include "files/copy.hpp"

#include "platform/platform.hpp"

#include <array>
#include <cerrno>

namespace textfile {

namespace {

// One block serves the whole run: a run shows a file or stores a text, never both.
// Page-aligned, as the files' own pages are.
alignas(4096) std::array<char, kLargestBlock> block;

// A zero-copy call moves at most this much.
constexpr std::size_t kLargestZeroCopy = std::size_t{1} << 30;

// Errors of a zero-copy call that come from its writing side.
bool writeError(int err) noexcept {
    return err == EPIPE || err == EAGAIN || err == ENOSPC || err == EFBIG;
}

} // namespace

Copied copyInBlocks(int to, int from, std::size_t blockSize, long long end) noexcept {
    for (;;) {
        std::size_t size = blockSize < block.size() ? blockSize : block.size();
        if (end >= 0) {
            long long position = 0;
            if (const int err = platform::positionOf(from, position)) {
                return {err, false};
            }
            if (position >= end) {
                return {0, false};
            }
            const auto left = static_cast<unsigned long long>(end - position);
            size = left < size ? static_cast<std::size_t>(left) : size;
        }
        const platform::Transfer read = platform::readBlock(from, block.data(), size);
        if (read.error != 0 || read.count == 0) {
            return {read.error, false};
        }
        if (const int err = platform::writeAll(to, block.data(), read.count)) {
            return {err, true};
        }
    }
}

namespace {

// Moves `from` into `to` by zero-copy calls; if `writeBack`, in pieces of kWriteBackChunk,
// each sent on to the storage device at once.
Copied zeroCopyAll(int to, int from, std::size_t blockSize, bool writeBack) noexcept {
    const std::size_t moveSize =
        writeBack ? static_cast<std::size_t>(kWriteBackChunk) : kLargestZeroCopy;
    long long offset = 0;
    for (;;) {
        const platform::Transfer moved = platform::zeroCopy(to, from, moveSize);
        if (moved.error == ENOSYS || moved.error == EINVAL) {
            return copyInBlocks(to, from, blockSize, -1); // from where the moving stopped
        }
        if (moved.error != 0 || moved.count == 0) {
            return {moved.error, writeError(moved.error)};
        }
        if (writeBack) {
            platform::startWriteback(to, offset, static_cast<long long>(moved.count));
        }
        offset += static_cast<long long>(moved.count);
    }
}

// Copies the `held` bytes the relay holds into `to` through the block, for a destination
// that takes no moves from it.
Copied emptyThroughBlock(int to, int readEnd, std::size_t held) noexcept {
    while (held > 0) {
        const std::size_t size = held < block.size() ? held : block.size();
        const platform::Transfer read = platform::readBlock(readEnd, block.data(), size);
        if (read.error != 0 || read.count == 0) {
            return {read.error != 0 ? read.error : EIO, false};
        }
        if (const int err = platform::writeAll(to, block.data(), read.count)) {
            return {err, true};
        }
        held -= read.count;
    }
    return {0, false};
}

// Moves `from` into `to` through the relay, a relay's worth at a time: each is moved in
// whole before the next, so the relay is empty whenever `from` is read. Where a file takes
// no moves, what is left goes through the block, from where the moving stopped.
Copied relayAll(int to, int from, const platform::Relay& relay) noexcept {
    for (;;) {
        const platform::Transfer in = platform::relayMove(relay.writeEnd, from, relay.size);
        if (in.error == ENOSYS || in.error == EINVAL) {
            return copyInBlocks(to, from, kLargestBlock, -1);
        }
        if (in.error != 0 || in.count == 0) {
            return {in.error, false};
        }
        for (std::size_t held = in.count; held > 0;) {
            const platform::Transfer out = platform::relayMove(to, relay.readEnd, held);
            if (out.error == ENOSYS || out.error == EINVAL) {
                const Copied emptied = emptyThroughBlock(to, relay.readEnd, held);
                return emptied.error != 0 ? emptied : copyInBlocks(to, from, kLargestBlock, -1);
            }
            if (out.error != 0 || out.count == 0) {
                return {out.error != 0 ? out.error : ENOSPC, true}; // as writeAll counts it
            }
            held -= out.count;
        }
    }
}

} // namespace

Copied copyIntoFile(int to, int from) noexcept {
    platform::Relay relay{};
    if (platform::openRelay(relay, kLargestBlock) != 0) {
        return copyInBlocks(to, from, kLargestBlock, -1);
    }
    const Copied copied = relayAll(to, from, relay);
    platform::closeRelay(relay);
    return copied;
}

Copied copyAll(int to, int from, std::size_t blockSize) noexcept {
    return zeroCopyAll(to, from, blockSize, false);
}

Copied copyAllToDisk(int to, int from) noexcept {
    return zeroCopyAll(to, from, kLargestBlock, true);
}

} // namespace textfile
