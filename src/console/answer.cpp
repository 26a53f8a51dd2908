#include "console/answer.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

namespace textfile {

namespace {

// Any byte but zero: see readPiece.
constexpr char kFill = '\x7f';

} // namespace

void showPrompt(const char* prompt) { std::fputs(prompt, stdout); }

Piece readPiece(char* buffer, std::size_t capacity, std::FILE* in) {
    if (capacity < 2 || capacity > INT_MAX) {
        return {0, false, EINVAL};
    }
    // fgets does not say how much it read, and the input may hold zero bytes of its
    // own. It stops after the first line feed, so a line feed in the buffer ends the
    // data; otherwise, with the buffer filled with a nonzero byte first, the last zero
    // byte in it is the one fgets wrote after the data.
    std::memset(buffer, kFill, capacity);
    errno = 0;
    if (std::fgets(buffer, static_cast<int>(capacity), in) == nullptr) {
        // After a failed read the buffer's contents are undefined, even if some data came.
        const int err = errno != 0 ? errno : EIO;
        return {0, false, std::ferror(in) != 0 ? err : 0};
    }
    if (const void* lineFeed = std::memchr(buffer, '\n', capacity - 1)) {
        return {static_cast<std::size_t>(static_cast<const char*>(lineFeed) - buffer) + 1, true, 0};
    }
    std::size_t size = capacity - 1;
    while (buffer[size] != '\0') {
        --size;
    }
    return {size, false, 0};
}

Answer readAnswer(std::FILE* in) {
    // Most answers fit in one piece; a longer line is gathered up to the limit.
    std::array<char, 4096> piece{};
    std::string line;
    for (;;) {
        const Piece read = readPiece(piece.data(), piece.size(), in);
        if (read.error != 0) {
            return {std::string(), false};
        }
        line.append(piece.data(), read.size);
        if (line.size() - (read.lineEnd ? 1 : 0) > kAnswerLimit) {
            return {std::string(), true};
        }
        if (read.lineEnd || read.size == 0) {
            break;
        }
    }
    removeNewline(line.data(), line.size());
    line.resize(std::strlen(line.c_str()));
    return {line, false};
}

Answer askAnswer(const char* prompt) {
    showPrompt(prompt);
    return readAnswer();
}

void removeNewline(char* buffer, std::size_t capacity) {
    if (auto* lineFeed = static_cast<char*>(std::memchr(buffer, '\n', capacity))) {
        *lineFeed = '\0';
    }
}

} // namespace textfile
