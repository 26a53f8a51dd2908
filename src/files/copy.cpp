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

// A file shown into a file is copied from views of this much of it at a time, each mapped
// where the one before was. (256 KiB measured slower, 512 KiB and 2 MiB no faster.)
constexpr std::size_t kViewSize = std::size_t{1024} * 1024;

// Writes the `size` bytes of `view` into `to`; `done` counts what went. An error writing
// `to` ends the copy; EFAULT, a view that could not be read, ends only the view (0).
Copied writeView(int to, const char* view, std::size_t size, std::size_t& done) noexcept {
    for (done = 0; done < size;) {
        const platform::Transfer wrote = platform::writeSome(to, view + done, size - done);
        if (wrote.error == EFAULT) {
            return {0, false};
        }
        if (wrote.error != 0 || wrote.count == 0) {
            return {wrote.error != 0 ? wrote.error : ENOSPC, true}; // as writeAll counts it
        }
        done += wrote.count;
    }
    return {0, false};
}

// Copies the file from views of it, as far as they go; returns where they stopped in
// `offset`.
Copied copyViews(int to, int from, long long size, long long& offset) noexcept {
    const char* view = nullptr;
    Copied copied{0, false};
    while (offset < size && platform::mapView(from, offset, kViewSize, view) == 0) {
        const auto left = static_cast<unsigned long long>(size - offset);
        const std::size_t part = left < kViewSize ? static_cast<std::size_t>(left) : kViewSize;
        std::size_t done = 0;
        copied = writeView(to, view, part, done);
        offset += static_cast<long long>(done);
        if (copied.error != 0 || done < part) {
            break;
        }
    }
    platform::unmapView(view, kViewSize);
    return copied;
}

} // namespace

Copied copyIntoFile(int to, int from) noexcept {
    long long size = 0;
    long long offset = 0;
    if (const int err = platform::sizeOf(from, size)) {
        return {err, false};
    }
    const Copied copied = copyViews(to, from, size, offset);
    if (copied.error != 0) {
        return copied;
    }
    // The rest, by reading: what the views did not reach, and whatever the file holds now
    // past the size it had (or the error that stopped a view, found again by reading).
    if (offset > 0) {
        if (const int err = platform::seekTo(from, offset)) {
            return {err, false};
        }
    }
    return copyInBlocks(to, from, kLargestBlock, -1);
}

Copied copyAll(int to, int from, std::size_t blockSize) noexcept {
    return zeroCopyAll(to, from, blockSize, false);
}

Copied copyAllToDisk(int to, int from) noexcept {
    return zeroCopyAll(to, from, kLargestBlock, true);
}

} // namespace textfile
