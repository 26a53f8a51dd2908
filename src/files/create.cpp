#include "console/answer.hpp"
#include "console/console.hpp"
#include "files/commands.hpp"
#include "files/copy.hpp"
#include "files/platform.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace textfile {

namespace {

// Text is written so that its large writes start at multiples of this size in the file.
// The answers before the text shift it against the blocks it is read in, so one of the two
// copies is unaligned; into the file's pages that measured 40% more system time than out
// of the program's buffer.
constexpr std::size_t kWriteAlignment = std::size_t{1024} * 1024;

// Writes `size` bytes that belong at offset `written` in the file, in two writes where
// they cross a multiple of kWriteAlignment: the part before it, then the rest.
int writeAligned(int file, const char* data, std::size_t size, std::size_t written) noexcept {
    const std::size_t head =
        std::min(size, (kWriteAlignment - written % kWriteAlignment) % kWriteAlignment);
    if (head > 0 && head < size) {
        if (const int err = platform::writeAll(file, data, head)) {
            return err;
        }
        data += head;
        size -= head;
    }
    return platform::writeAll(file, data, size);
}

// Writes the text of the current line to `to`, starting with `piece` and reading on until
// the line ends: the bytes before the line's first zero byte; the rest of the line is
// read and dropped. Sets `written` to the bytes written. Returns 0, or the first error
// number (a failed input read included: a text cut short is not stored).
int copyText(Piece piece, int to, std::size_t& written) noexcept {
    written = 0;
    bool textEnded = false;
    for (;;) {
        if (!textEnded) {
            removeNewline(piece.data, piece.size);
            const void* zero = std::memchr(piece.data, '\0', piece.size);
            const std::size_t size =
                zero != nullptr
                    ? static_cast<std::size_t>(static_cast<const char*>(zero) - piece.data)
                    : piece.size;
            if (const int err = writeAligned(to, piece.data, size, written)) {
                return err;
            }
            written += size;
            textEnded = zero != nullptr;
        }
        if (piece.lineEnd || piece.size == 0) {
            return 0;
        }
        piece = readPiece(SIZE_MAX);
        if (piece.error != 0) {
            return piece.error;
        }
    }
}

// Keeps the whole text in `temporary` first, then replaces the file's contents with it,
// under the file's lock. Until the text's line has ended, the file is not touched: input
// that fails or stops, or a temporary space that is full, leaves it as it was.
int replaceThroughTemporary(int file, int temporary, const Piece& first) noexcept {
    std::size_t written = 0;
    if (const int err = copyText(first, temporary, written)) {
        return err;
    }
    if (const int err = platform::lockFile(file)) {
        return err;
    }
    if (const int err = platform::emptyFile(file)) {
        return err;
    }
    if (const int err = platform::rewindFile(temporary)) {
        return err;
    }
    return copyAll(file, temporary, kLargestBlock).error;
}

// Stores the text answer in the file `name` leads to. Nothing is touched before the text
// starts to arrive: a run stopped at the text prompt, or whose input fails there, leaves
// the file as it was. The file is then locked, so that runs storing into it at once take
// turns, and under the lock it is decided how the text goes in. A new or empty file, or
// one that is no regular file, takes the text straight as it arrives, in bounded memory.
// A file with contents keeps them until the whole line has arrived (see
// replaceThroughTemporary); where no temporary file can be made, it is emptied and takes
// the text straight too. The file stays locked until it is closed. Returns 0 once the
// text is stored and durable, or the first error number.
int storeText(int file, const char* name) noexcept {
    const Piece first = readPiece(SIZE_MAX);
    if (first.error != 0) {
        return first.error;
    }
    if (const int err = platform::lockFile(file)) {
        return err;
    }
    int temporary = -1;
    if (platform::holdsData(file) && platform::openTemporary(name, temporary) == 0) {
        // The text is gathered unlocked: another run need not wait for this one's input.
        platform::unlockFile(file);
        const int err = replaceThroughTemporary(file, temporary, first);
        platform::closeFile(temporary);
        if (err != 0) {
            return err;
        }
    } else {
        if (const int err = platform::emptyFile(file)) {
            return err;
        }
        std::size_t written = 0;
        if (const int err = copyText(first, file, written)) {
            return err;
        }
    }
    return platform::syncFile(file);
}

} // namespace

void createFile() noexcept {
    static Answer name;
    askAnswer("Please enter a name for the new file: ", name);
    if (name.tooLong) {
        reportError("Error", ENAMETOOLONG);
        return;
    }
    int file = -1;
    bool created = false;
    if (const int err = platform::openForCreate(name.text.data(), file, created)) {
        reportError("Error", err);
        return;
    }
    say("\nPlease enter the text you would like to be placed in the file: \n");
    int err = storeText(file, name.text.data());
    if (err == 0) {
        // The name may have been removed or replaced while the program waited: the text
        // then went nowhere the user can find it.
        err = platform::checkStillNamed(file, name.text.data());
    }
    if (err == 0 && created) {
        err = platform::syncDirectoryOf(name.text.data());
    }
    // The file is closed on every path, and a failure reported once: the first one.
    const int closed = platform::closeFile(file);
    if (err == 0) {
        err = closed;
    }
    if (err != 0) {
        reportError("\nError", err);
        return;
    }
    say("File created sucessfully!\n");
}

} // namespace textfile
