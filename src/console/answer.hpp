#pragma once

// Console answers: every piece of input is read from standard input through one fixed
// buffer of the program's own, with no allocation and no stdio.

#include <array>
#include <cstddef>

namespace textfile {

/// Longest line, without its line feed, taken as a command word, a file name or a
/// location: far above any real path, and low enough that an endless line cannot make
/// the program grow.
inline constexpr std::size_t kAnswerLimit = std::size_t{64} * 1024;

/// One console answer, in storage of the asking operation's own. The line may hold at
/// most kAnswerLimit bytes in all, whatever comes after a zero byte in it: the bound is on
/// what is read, not on what is kept.
struct Answer {
    std::array<char, kAnswerLimit + 2> text; ///< the line up to its first zero byte, ended by one
    bool tooLong; ///< the line ran past kAnswerLimit; the rest of it was left unread
};

/// A piece of the current input line, straight from the input buffer: valid, and
/// writable, until the next read.
struct Piece {
    char* data;
    std::size_t size; ///< bytes, the line feed included; 0 at the end of input or on error
    bool lineEnd;     ///< the piece ends with the line's line feed
    int error;        ///< 0, or the error number of a read that failed
};

/// Forgets whatever was read ahead: the next read starts afresh on standard input.
void resetInput() noexcept;

/// Reads the next piece of the current line: what is buffered or arrives in one read, at
/// most `most` bytes, up to and including the line feed.
Piece readPiece(std::size_t most) noexcept;

/// Reads one line of input as an answer. The end of input, or a read that fails, gives
/// an empty answer.
void readAnswer(Answer& answer) noexcept;

/// Writes the prompt to standard output, then reads the answer.
void askAnswer(const char* prompt, Answer& answer) noexcept;

/// Cuts the line in `buffer` at its first line feed, looking at most `capacity` bytes
/// far; without a line feed in reach the buffer is left as it is.
void removeNewline(char* buffer, std::size_t capacity) noexcept;

} // namespace textfile
