// The line reader's boundaries: where a line, a zero byte or the fill byte meet the edge
// of a piece. The end-to-end tests cannot place input that precisely.
#include "console/answer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace textfile {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File inputOf(const std::string& bytes) {
    File file(std::tmpfile(), std::fclose);
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    return file;
}

TEST(ReadAnswer, TakesOneLineWithoutItsLineFeed) {
    File in = inputOf("create\nname\n\nlast");
    EXPECT_EQ(readAnswer(in.get()).text, "create");
    EXPECT_EQ(readAnswer(in.get()).text, "name");
    EXPECT_EQ(readAnswer(in.get()).text, "");
    EXPECT_EQ(readAnswer(in.get()).text, "last");
    const Answer atEnd = readAnswer(in.get());
    EXPECT_EQ(atEnd.text, "");
    EXPECT_FALSE(atEnd.tooLong);
}

TEST(ReadAnswer, EndsAtAZeroByteAndDropsTheRestOfTheLine) {
    File in = inputOf(std::string("open\0junk\nnext\n", 15));
    EXPECT_EQ(readAnswer(in.get()).text, "open");
    EXPECT_EQ(readAnswer(in.get()).text, "next");
}

TEST(ReadAnswer, KeepsBytesThatLookLikeTheBufferFill) {
    File in = inputOf("\x7f\x7f\n\x7f");
    EXPECT_EQ(readAnswer(in.get()).text, "\x7f\x7f");
    EXPECT_EQ(readAnswer(in.get()).text, "\x7f");
}

TEST(ReadAnswer, TakesTheLongestAnswerAndRefusesOneByteMore) {
    const std::string longest(kAnswerLimit, 'a');
    File in = inputOf(longest + "\nnext\n" + longest + "b");
    const Answer whole = readAnswer(in.get());
    EXPECT_FALSE(whole.tooLong);
    EXPECT_EQ(whole.text, longest);
    EXPECT_EQ(readAnswer(in.get()).text, "next");
    EXPECT_TRUE(readAnswer(in.get()).tooLong);
}

TEST(ReadPiece, SplitsALongLineAndMarksOnlyItsLastPiece) {
    File in = inputOf(std::string(10, 'x') + std::string("\0y\n", 3));
    char buffer[8];
    const Piece first = readPiece(buffer, sizeof buffer, in.get());
    EXPECT_EQ(first.size, 7u);
    EXPECT_FALSE(first.lineEnd);
    const Piece second = readPiece(buffer, sizeof buffer, in.get());
    EXPECT_EQ(second.size, 6u);
    EXPECT_TRUE(second.lineEnd);
    EXPECT_EQ(std::string(buffer, second.size), std::string("xxx\0y\n", 6));
    EXPECT_EQ(readPiece(buffer, sizeof buffer, in.get()).size, 0u);
}

} // namespace
} // namespace textfile
