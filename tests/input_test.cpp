// The input reader where the end-to-end tests cannot reach: a line whose bytes arrive in
// separate reads, and the answer limit to the byte.
#include "console/input.hpp"
#include "files/copy.hpp"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace textfile {
namespace {

// Standard input, for one test: each of the given parts arrives as one read (a socket of
// records, written whole before the test reads; a part is smaller than what the reader
// asks for), or a whole file. Nothing runs beside the test, so it runs under an emulator
// that starts no threads or processes too.
class Input : public ::testing::Test {
  protected:
    void feed(const std::vector<std::string>& parts) {
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
        for (const std::string& part : parts) {
            ASSERT_EQ(write(ends[1], part.data(), part.size()), static_cast<ssize_t>(part.size()));
        }
        close(ends[1]);
        becomeInput(ends[0]);
    }
    void feedFile(const std::string& contents) {
        FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(contents.data(), 1, contents.size(), file), contents.size());
        ASSERT_EQ(std::fflush(file), 0);
        std::rewind(file);
        becomeInput(dup(fileno(file)));
        std::fclose(file);
    }
    void SetUp() override { saved_ = dup(STDIN_FILENO); }
    void TearDown() override {
        dup2(saved_, STDIN_FILENO);
        close(saved_);
    }
    std::string answer() {
        readAnswer(answer_);
        return answer_.tooLong ? "(too long)" : answer_.text.data();
    }

  private:
    void becomeInput(int file) {
        ASSERT_EQ(dup2(file, STDIN_FILENO), STDIN_FILENO);
        close(file);
        resetInput();
    }
    int saved_ = -1;
    Answer answer_{};
};

TEST_F(Input, GathersAnswersAndTextFromPiecesAsTheyArrive) {
    feed({"cre", "ate", "\nna", std::string("me\0dropped", 10), "\nthe ",
          std::string("text\nzero\0dropped", 18), "\nnext"});
    EXPECT_EQ(answer(), "create");
    EXPECT_EQ(answer(), "name");
    const LineText text = gatherLine();
    EXPECT_TRUE(text.whole);
    EXPECT_EQ(std::string(text.data, text.size), "the text");
    const LineText cut = gatherLine(); // its zero byte arrives before its line feed
    EXPECT_TRUE(cut.whole);
    EXPECT_EQ(std::string(cut.data, cut.size), "zero");
    EXPECT_EQ(answer(), "next");
    EXPECT_EQ(answer(), "");
}

// A line longer than the input buffer is handed out in pieces, which copyLine writes, its
// text up to the zero byte, from the first byte on; the next line is read after it.
TEST_F(Input, LeavesALineLongerThanTheBufferToBeCopiedWhole) {
    const std::string text(3 * 1024 * 1024 / 2, 't');
    feedFile("create\n" + text + std::string("\0dropped\n", 9) + "next\n");
    EXPECT_EQ(answer(), "create");
    EXPECT_FALSE(gatherLine().whole);
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    long long written = 0;
    EXPECT_EQ(copyLine(fileno(file), 0, written, 0), 0);
    EXPECT_EQ(written, static_cast<long long>(text.size()));
    std::string copied(text.size() + 1, '\0');
    std::rewind(file);
    copied.resize(std::fread(copied.data(), 1, copied.size(), file));
    std::fclose(file);
    EXPECT_EQ(copied, text);
    EXPECT_EQ(answer(), "next");
}

TEST_F(Input, TakesTheLongestAnswerAndRefusesOneByteMore) {
    const std::string longest(kAnswerLimit, 'a');
    feed({longest.substr(0, 1000), longest.substr(1000) + "\nnext\n", longest, "\n", longest,
          "b\n"});
    EXPECT_EQ(answer(), longest);
    EXPECT_EQ(answer(), "next");
    EXPECT_EQ(answer(), longest); // its line feed arrives in a read of its own
    EXPECT_EQ(answer(), "(too long)");
}

} // namespace
} // namespace textfile
