#include "files/copy.hpp"

#include "console/input.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <cerrno>

namespace textfile {

namespace {

// One block serves the whole run: a run shows a file or stores a text, never both.
// Page-aligned, as the files' own pages are.
alignas(4096) std::array<char, kLargestBlock> block;

// How much is left to copy from `position` up to `end`, at most `most`.
std::size_t leftOf(long long position, long long end, std::size_t most) noexcept {
    if (end < 0) {
        return most;
    }
    const auto left = static_cast<unsigned long long>(std::max(end - position, 0LL));
    return left < most ? static_cast<std::size_t>(left) : most;
}

// A long text is written so that its large writes start at multiples of this size in the
// file. The answers before the text shift it against the blocks it is read in, so one of
// the two copies is unaligned; into the file's pages that measured 40% more system time
// than out of the program's buffer.
constexpr std::size_t kWriteAlignment = std::size_t{1024} * 1024;

// Writes `size` bytes that belong at offset `written` in the file, in two writes where
// they cross a multiple of kWriteAlignment: the part before it, then the rest.
int writeAligned(int file, const char* data, std::size_t size, long long written) noexcept {
    const auto offset =
        static_cast<std::size_t>(static_cast<unsigned long long>(written) % kWriteAlignment);
    const std::size_t head = std::min(size, (kWriteAlignment - offset) % kWriteAlignment);
    if (head > 0 && head < size) {
        if (const int err = platform::writeAll(file, data, head)) {
            return err;
        }
        data += head;
        size -= head;
    }
    return platform::writeAll(file, data, size);
}

} // namespace

Copied copyInBlocks(int to, int from, std::size_t blockSize, long long end) noexcept {
    for (;;) {
        std::size_t size = std::min(blockSize, block.size());
        if (end >= 0) {
            long long position = 0;
            if (const int err = platform::positionOf(from, position)) {
                return {err, false};
            }
            size = leftOf(position, end, size);
            if (size == 0) {
                return {0, false};
            }
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

// Moves `from`, from its position `position`, into `to` at the same place by zero-copy calls,
// in pieces of kWriteBackChunk, each sent on to the storage device at once.
int zeroCopyAll(int to, int from, long long position, long long end) noexcept {
    for (;;) {
        const std::size_t size = leftOf(position, end, static_cast<std::size_t>(kWriteBackChunk));
        if (size == 0) {
            return 0;
        }
        const platform::Transfer moved = platform::zeroCopy(to, from, size);
        if (moved.error == ENOSYS || moved.error == EINVAL) {
            return copyInBlocks(to, from, kLargestBlock, end).error; // from where it stopped
        }
        if (moved.error != 0 || moved.count == 0) {
            return moved.error;
        }
        platform::startWriteback(to, position, static_cast<long long>(moved.count));
        position += static_cast<long long>(moved.count);
    }
}

} // namespace

int copyAllToDisk(int to, int from, long long begin, long long end) noexcept {
    if (const int err = platform::seekTo(from, begin)) {
        return err;
    }
    return zeroCopyAll(to, from, begin, end);
}

int copyLine(int to, long long offset, long long& written, long long writeBackEvery) noexcept {
    written = 0;
    long long sent = 0; // written and sent on to the storage device
    for (;;) {
        const LinePiece piece = nextLinePiece();
        if (piece.error != 0) {
            return piece.error;
        }
        if (const int err = writeAligned(to, piece.data, piece.size, offset + written)) {
            return err;
        }
        written += static_cast<long long>(piece.size);
        for (; writeBackEvery > 0 && written - sent >= writeBackEvery; sent += writeBackEvery) {
            platform::startWriteback(to, offset + sent, writeBackEvery);
        }
        if (piece.lineEnd) {
            return 0;
        }
    }
}

} // namespace textfile
