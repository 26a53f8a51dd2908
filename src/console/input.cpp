#include "console/input.hpp"

#include "platform/platform.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace textfile {

namespace {

// Standard input is read in blocks of this size: a long text line arrives in few calls.
constexpr std::size_t kInputBlock = std::size_t{1024} * 1024;

// What was read from standard input and not yet taken: data[begin, end). A line feed is
// kept at data[end], after the input, so that a search for the end of a line stops there
// at the latest.
struct InputBuffer {
    alignas(4096) std::array<char, kInputBlock + 1> data; // page-aligned: copied into fastest
    std::size_t begin;
    std::size_t end;
    bool ended;     // the input has ended: no read is tried again, as a terminal's Ctrl+D is final
    bool textEnded; // a zero byte ended the text of the line nextLinePiece hands out
};
InputBuffer input;

// Sets where the buffered input ends, and keeps the line feed after it.
void endInputAt(std::size_t end) noexcept {
    input.end = end;
    input.data[end] = '\n';
}

// Reads more input after what is buffered. Returns 0 at the end of input too.
int readMore() noexcept {
    const platform::Transfer read = platform::readBlock(
        platform::kStandardInput, input.data.data() + input.end, kInputBlock - input.end);
    endInputAt(input.end + read.count);
    input.ended = read.error == 0 && read.count == 0;
    return read.error;
}

// Reads afresh into the empty buffer, unless the input has ended.
int refillIfEmpty() noexcept {
    if (input.begin != input.end || input.ended) {
        return 0;
    }
    input.begin = 0;
    endInputAt(0);
    return readMore();
}

// Not found, as a position in the buffer.
constexpr std::size_t kNowhere = SIZE_MAX;

// The position of the first line feed in the buffered input from `from` on, or input.end
// if there is none. Until a zero byte has ended the line's text (`zero` is kNowhere), one
// search looks for both, and the first zero byte's position is kept in `zero`; after it,
// only the line feed is sought.
std::size_t findLineFeed(std::size_t from, std::size_t& zero) noexcept {
    char* const data = input.data.data();
    if (zero == kNowhere) {
        // strchr stops at a line feed or at a zero byte, whichever comes first: at the line
        // feed after the input at the latest.
        if (const char* lineFeed = std::strchr(data + from, '\n')) {
            return static_cast<std::size_t>(lineFeed - data);
        }
        zero = from + std::strlen(data + from);
        from = zero + 1;
    }
    const void* lineFeed = std::memchr(data + from, '\n', input.end - from);
    return lineFeed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lineFeed) - data)
                               : input.end;
}

} // namespace

void resetInput() noexcept {
    input.begin = 0;
    endInputAt(0);
    input.ended = false;
    input.textEnded = false;
}

Piece readPiece(std::size_t most) noexcept {
    if (const int err = refillIfEmpty()) {
        return {nullptr, 0, false, err};
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
    std::size_t searched = input.begin; // the line is known to hold no line feed before it
    std::size_t zero = kNowhere;
    for (;;) {
        const std::size_t lineFeed = findLineFeed(searched, zero);
        if (lineFeed < input.end || input.ended) {
            const char* start = input.data.data() + input.begin;
            const std::size_t text = std::min(zero, lineFeed) - input.begin;
            input.begin = lineFeed < input.end ? lineFeed + 1 : lineFeed;
            return {start, text, true, 0};
        }
        searched = input.end;
        if (const std::size_t shift = input.begin) {
            std::memmove(input.data.data(), input.data.data() + shift, input.end - shift);
            input.begin = 0;
            endInputAt(input.end - shift);
            searched -= shift;
            zero = zero == kNowhere ? kNowhere : zero - shift;
        }
        if (input.end == kInputBlock) {
            return {nullptr, 0, false, 0};
        }
        if (const int err = readMore()) {
            return {nullptr, 0, false, err};
        }
    }
}

LinePiece nextLinePiece() noexcept {
    if (const int err = refillIfEmpty()) {
        return {nullptr, 0, false, err};
    }
    // Once a zero byte has ended the text, the rest of the line is only sought through.
    std::size_t zero = input.textEnded ? input.begin : kNowhere;
    const std::size_t lineFeed = findLineFeed(input.begin, zero);
    const char* data = input.data.data() + input.begin;
    const std::size_t size = input.textEnded ? 0 : std::min(zero, lineFeed) - input.begin;
    input.textEnded = zero != kNowhere;
    const bool lineEnd = lineFeed < input.end;
    const std::size_t taken = (lineEnd ? lineFeed + 1 : lineFeed) - input.begin;
    input.begin += taken;
    const bool ended = lineEnd || taken == 0;
    if (ended) {
        input.textEnded = false;
    }
    return {data, size, ended, 0};
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

void removeNewline(char* buffer, std::size_t capacity) noexcept {
    if (auto* lineFeed = static_cast<char*>(std::memchr(buffer, '\n', capacity))) {
        *lineFeed = '\0';
    }
}

} // namespace textfile
