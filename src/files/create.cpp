#include "console/answer.hpp"
#include "files/commands.hpp"
#include "files/stream.hpp"

#include <cerrno>
#include <cstring>
#include <vector>

namespace textfile {

namespace {

// The text line is copied to the file in pieces of this size as it is read.
constexpr std::size_t kPieceSize = std::size_t{64} * 1024;

// Stores the text answer in the file, piece by piece as it arrives, so that a line of any
// length is kept whole in bounded memory. The file is emptied only when the answer (or
// the end of input) arrives: a run stopped at the text prompt, or whose input fails
// there, leaves an existing file as it was. The text ends at the line's first zero byte;
// the rest of the line is read and dropped. Returns 0 once the text is stored and
// durable, or the first error number (a failed input read included: a text cut short is
// not stored).
int storeText(std::FILE* file) {
    std::vector<char> buffer(kPieceSize + 1);
    Piece piece = readPiece(buffer.data(), buffer.size());
    if (piece.error != 0) {
        return piece.error;
    }
    if (const int err = emptyFile(file)) {
        return err;
    }
    bool textEnded = false;
    for (;;) {
        if (!textEnded) {
            removeNewline(buffer.data(), piece.size);
            const auto* zero =
                static_cast<const char*>(std::memchr(buffer.data(), '\0', piece.size));
            const std::size_t size =
                zero != nullptr ? static_cast<std::size_t>(zero - buffer.data()) : piece.size;
            errno = 0;
            if (std::fwrite(buffer.data(), 1, size, file) != size) {
                return lastError();
            }
            textEnded = zero != nullptr;
        }
        if (piece.lineEnd || piece.size == 0) {
            break;
        }
        piece = readPiece(buffer.data(), buffer.size());
        if (piece.error != 0) {
            return piece.error;
        }
    }
    return flushToDisk(file);
}

} // namespace

void createFile() {
    const Answer name = askAnswer("Please enter a name for the new file: ");
    if (name.tooLong) {
        reportError("Error", ENAMETOOLONG);
        return;
    }
    std::FILE* file = openForCreate(name.text.c_str());
    if (file == nullptr) {
        reportError("Error", errno);
        return;
    }
    showPrompt("\nPlease enter the text you would like to be placed in the file: \n");
    int err = storeText(file);
    if (err == 0) {
        // The name may have been removed or replaced while the program waited: the text
        // then went nowhere the user can find it.
        err = checkStillNamed(file, name.text.c_str());
    }
    if (err != 0) {
        // Reported as a failed close is, and only once: the stream is released without
        // closeFile, so that a close failing for the same cause adds no second report.
        reportError("\nError", err);
        std::fclose(file);
        return;
    }
    if (closeFile(file)) {
        std::fputs("File created sucessfully!\n", stdout);
    }
}

} // namespace textfile
