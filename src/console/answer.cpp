#include "console/answer.hpp"

#include "console/console.hpp"
#include "files/platform.hpp"

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

} // namespace

void resetInput() noexcept {
    input.begin = 0;
    input.end = 0;
    input.ended = false;
}

Piece readPiece(std::size_t most) noexcept {
    if (input.begin == input.end && !input.ended) {
        const platform::Transfer read =
            platform::readBlock(platform::kStandardInput, input.data.data(), input.data.size());
        if (read.error != 0) {
            return {nullptr, 0, false, read.error};
        }
        input.begin = 0;
        input.end = read.count;
        input.ended = read.count == 0;
    }
    char* start = input.data.data() + input.begin;
    std::size_t size = input.end - input.begin;
    size = size < most ? size : most;
    const void* lineFeed = std::memchr(start, '\n', size);
    if (lineFeed != nullptr) {
        size = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - start) + 1;
    }
    input.begin += size;
    return {start, size, lineFeed != nullptr, 0};
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
