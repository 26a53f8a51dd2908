#include "console/answer.hpp"

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
    // fgets does not say how much it read, and the input may hold zero bytes of its
    // own. Filling the buffer with a nonzero byte first makes the last zero byte in it
    // the one fgets wrote after the data.
    if (capacity < 2 || capacity > INT_MAX) {
        return {0, false, EINVAL};
    }
    std::memset(buffer, kFill, capacity);
    errno = 0;
    if (std::fgets(buffer, static_cast<int>(capacity), in) == nullptr) {
        // After a failed read the buffer's contents are undefined, even if some data came.
        const int err = errno != 0 ? errno : EIO;
        return {0, false, std::ferror(in) ? err : 0};
    }
    std::size_t size = capacity - 1;
    while (buffer[size] != '\0') {
        --size;
    }
    return {size, size > 0 && buffer[size - 1] == '\n', 0};
}

Answer readAnswer(std::FILE* in) {
    // Room for the longest answer, its line feed and the zero byte after them: a piece
    // that fills it without a line feed is longer than any answer may be.
    std::string line(kAnswerLimit + 2, '\0');
    const Piece piece = readPiece(line.data(), line.size(), in);
    if (!piece.lineEnd && piece.size > kAnswerLimit) {
        return {std::string(), true};
    }
    line.resize(piece.size);
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
