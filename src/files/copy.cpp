#include "files/copy.hpp"

#include "files/platform.hpp"

#include <array>
#include <cerrno>

namespace textfile {

namespace {

// One block serves the whole run: a run shows a file or stores a text, never both.
// Page-aligned, as the files' own pages are.
alignas(4096) std::array<char, kLargestBlock> block;

// A move within the system moves at most this much in one call.
constexpr std::size_t kMove = std::size_t{1} << 30;

// Errors of a move within the system that come from its writing side.
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

Copied copyAll(int to, int from, std::size_t blockSize) noexcept {
    for (;;) {
        const platform::Transfer moved = platform::moveWithinSystem(to, from, kMove);
        if (moved.error == ENOSYS || moved.error == EINVAL) {
            return copyInBlocks(to, from, blockSize, -1); // from where the moving stopped
        }
        if (moved.error != 0 || moved.count == 0) {
            return {moved.error, writeError(moved.error)};
        }
    }
}

} // namespace textfile
