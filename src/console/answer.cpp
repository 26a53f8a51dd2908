#include "console/answer.hpp"

#include "console/console.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace textfile {

namespace {

// Standard input is read in blocks of this size: a long text line arrives in few calls.
constexpr std::size_t kInputBlock = std::size_t{1024} * 1024;

// What was read from standard input and not yet taken: data[begin, end).
struct InputBuffer {
    alignas(4096) std::array<char, kInputBlock> data; // page-aligned: copied into fastest
    std::size_t begin;
    std::size_t end;
    bool ended; // the input has ended: no read is tried again, as a terminal's Ctrl+D is final
};
InputBuffer input;

// Reads more input after what is buffered. Returns 0 at the end of input too.
int readMore() noexcept {
    const platform::Transfer read = platform::readBlock(
        platform::kStandardInput, input.data.data() + input.end, input.data.size() - input.end);
    input.end += read.count;
    input.ended = read.error == 0 && read.count == 0;
    return read.error;
}

// The size of the text in `size` bytes of a line: the bytes before the first zero byte.
std::size_t textSize(const char* data, std::size_t size) noexcept {
    const void* zero = std::memchr(data, '\0', size);
    return zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - data) : size;
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

void resetInput() noexcept {
    input.begin = 0;
    input.end = 0;
    input.ended = false;
}

Piece readPiece(std::size_t most) noexcept {
    if (input.begin == input.end && !input.ended) {
        input.begin = 0;
        input.end = 0;
        if (const int err = readMore()) {
            return {nullptr, 0, false, err};
        }
    }
    const char* start = input.data.data() + input.begin;
    std::size_t size = input.end - input.begin;
    size = size < most ? size : most;
    const void* lineFeed = std::memchr(start, '\n', size);
    if (lineFeed != nullptr) {
        size = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - start) + 1;
    }
    input.begin += size;
    return {start, size, lineFeed != nullptr, 0};
}

LineText gatherLine() noexcept {
    std::size_t searched = 0; // bytes after input.begin known to hold no line feed
    for (;;) {
        const char* start = input.data.data() + input.begin;
        const std::size_t size = input.end - input.begin;
        const void* lineFeed = std::memchr(start + searched, '\n', size - searched);
        if (lineFeed != nullptr || input.ended) {
            const std::size_t line =
                lineFeed != nullptr
                    ? static_cast<std::size_t>(static_cast<const char*>(lineFeed) - start)
                    : size;
            input.begin += lineFeed != nullptr ? line + 1 : line;
            return {start, textSize(start, line), true, 0};
        }
        searched = size;
        if (input.begin > 0) {
            std::memmove(input.data.data(), start, size);
            input.begin = 0;
            input.end = size;
        }
        if (input.end == input.data.size()) {
            return {nullptr, 0, false, 0};
        }
        if (const int err = readMore()) {
            return {nullptr, 0, false, err};
        }
    }
}

int copyLine(int to, long long& written) noexcept {
    written = 0;
    bool textEnded = false;
    for (;;) {
        const Piece piece = readPiece(SIZE_MAX);
        if (piece.error != 0) {
            return piece.error;
        }
        if (!textEnded) {
            const std::size_t line = piece.lineEnd ? piece.size - 1 : piece.size;
            const std::size_t size = textSize(piece.data, line);
            if (const int err = writeAligned(to, piece.data, size, written)) {
                return err;
            }
            written += static_cast<long long>(size);
            textEnded = size < line;
        }
        if (piece.lineEnd || piece.size == 0) {
            return 0;
        }
    }
}

void readAnswer(Answer& answer) noexcept {
    // The line, its line feed included, is gathered up to one byte past the limit: that
    // byte is the line feed, or shows that the line is too long.
    std::size_t size = 0;
    answer.tooLong = false;
    for (;;) {
        const Piece piece = readPiece(kAnswerLimit + 1 - size);
        if (piece.error != 0) {
            size = 0;
            break;
        }
        std::memcpy(answer.text.data() + size, piece.data, piece.size);
        size += piece.size;
        if (piece.lineEnd || piece.size == 0) {
            break;
        }
        if (size > kAnswerLimit) {
            answer.tooLong = true;
            size = 0;
            break;
        }
    }
    answer.text[size] = '\0';
    removeNewline(answer.text.data(), size);
}

void askAnswer(const char* prompt, Answer& answer) noexcept {
    say(prompt);
    readAnswer(answer);
}

void removeNewline(char* buffer, std::size_t capacity) noexcept {
    if (auto* lineFeed = static_cast<char*>(std::memchr(buffer, '\n', capacity))) {
        *lineFeed = '\0';
    }
}

} // namespace textfile
