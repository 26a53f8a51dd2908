#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace textfile {

/// Longest line, without its line feed, taken as a command word, a file name or a
/// location: far above any real path, and low enough that an endless line cannot make
/// the program grow.
inline constexpr std::size_t kAnswerLimit = std::size_t{64} * 1024;

/// One console answer. The line may hold at most kAnswerLimit bytes in all, whatever
/// comes after a zero byte in it: the bound is on what is read, not on what is kept.
struct Answer {
    std::string text; ///< the line up to its first zero byte, without its line feed
    bool tooLong;     ///< the line ran past kAnswerLimit; the rest of it was left unread
};

/// A piece of one input line as read by readPiece.
struct Piece {
    std::size_t size; ///< bytes read, the line feed included; 0 at the end of input or on error
    bool lineEnd;     ///< the piece ends with the line's line feed
    int error;        ///< 0, or the error number of a read that failed
};

/// Writes a prompt to standard output; it is on the screen before the program waits.
void showPrompt(const char* prompt);

/// Reads the next piece of the current input line into `buffer`: at most `capacity` - 1
/// bytes, stopping after a line feed, followed by a zero byte. Zero bytes in the input
/// are kept.
Piece readPiece(char* buffer, std::size_t capacity, std::FILE* in = stdin);

/// Reads one line of input as an answer of at most kAnswerLimit bytes. The end of input,
/// or a read that fails, gives an empty answer.
Answer readAnswer(std::FILE* in = stdin);

/// showPrompt, then readAnswer.
Answer askAnswer(const char* prompt);

/// Cuts the line in `buffer` at its first line feed, looking at most `capacity` bytes
/// far; without a line feed in reach the buffer is left as it is.
void removeNewline(char* buffer, std::size_t capacity);

} // namespace textfile
