#pragma once

// The input reader: every piece of input is read from standard input through one fixed
// buffer of the program's own, with no allocation and no stdio. It only reads: what is
// read goes elsewhere through the views it hands out.

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

/// A piece of the current input line, straight from the input buffer: valid until the
/// next read.
struct Piece {
    const char* data;
    std::size_t size; ///< bytes, the line feed included; 0 at the end of input or on error
    bool lineEnd;     ///< the piece ends with the line's line feed
    int error;        ///< 0, or the error number of a read that failed
};

/// Forgets whatever was read ahead: the next read starts afresh on standard input.
void resetInput() noexcept;

/// Reads the next piece of the current line: what is buffered or arrives in one read, at
/// most `most` bytes, up to and including the line feed.
Piece readPiece(std::size_t most) noexcept;

/// The text of the current line: the bytes before its line feed and before its first
/// zero byte.
struct LineText {
    const char* data; ///< in the input buffer: valid until the next read
    std::size_t size;
    bool whole; ///< the whole line (through its line feed, or the end of input) was read
    int error;  ///< 0, or the error number of a read that failed
};

/// Reads the current line into the input buffer, as far as it fits there. If it all fits,
/// the line is taken (the next read starts after it) and its text is `whole`; if not,
/// nothing is taken, and nextLinePiece hands it out.
LineText gatherLine() noexcept;

/// A piece of the current line's text, straight from the input buffer: valid until the next
/// read. A line too long for the buffer is handed out in pieces as it arrives.
struct LinePiece {
    const char* data;
    std::size_t size; ///< bytes of the text: none once a zero byte has ended it
    bool lineEnd;     ///< the line ended here (its line feed, or the end of input)
    int error;        ///< 0, or the error number of a read that failed
};

/// Takes the next piece of the current line's text: the bytes before its line feed and
/// before its first zero byte, as they arrive; the rest of the line, after a zero byte, is
/// read through and handed out empty.
LinePiece nextLinePiece() noexcept;

/// Reads one line of input as an answer. The end of input, or a read that fails, gives
/// an empty answer.
void readAnswer(Answer& answer) noexcept;

/// Cuts the line in `buffer` at its first line feed, looking at most `capacity` bytes
/// far; without a line feed in reach the buffer is left as it is.
void removeNewline(char* buffer, std::size_t capacity) noexcept;

} // namespace textfile
