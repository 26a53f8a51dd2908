// How a read of a Windows console is taken: the decisions hold no call of Windows, so they
// are tested here; the console itself only under Wine, which cannot show Ctrl+C's 0-unit reads
// or a Ctrl+Z typed mid-line.
#include "platform/console_input.hpp"

#include <gtest/gtest.h>

#include <string>

namespace textfile::platform {
namespace {

TEST(ConsoleInput, AReadWithNoUnitWasCutShortAndIsNeverTheEndOfInput) {
    EXPECT_EQ(classifyConsoleRead(true, 0, false), ConsoleRead::interrupted);
    EXPECT_EQ(classifyConsoleRead(false, 0, true), ConsoleRead::interrupted);
    EXPECT_EQ(classifyConsoleRead(false, 0, false), ConsoleRead::failed);
    EXPECT_EQ(classifyConsoleRead(true, 1, false), ConsoleRead::text);
}

// Takes `typed` as one read, and gives what is kept, then "|ended" or "|held" as the read says.
std::u16string take(std::u16string typed) {
    const ConsoleText text = takeConsoleText(typed.data(), typed.size());
    return typed.substr(0, text.units) + (text.ended ? u"|ended" : u"") +
           (text.held ? u"|held" : u"");
}

TEST(ConsoleInput, LineEndsLoseTheirCarriageReturnAndCtrlZEndsTheInputMidLine) {
    EXPECT_EQ(take(u"caf\u00e9.txt\r\n"), u"caf\u00e9.txt\n");
    EXPECT_EQ(take(u"before\x1a"
                   u"after\r\n"),
              u"before|ended");
    EXPECT_EQ(take(u"\x1a\r\n"), u"|ended");
    EXPECT_EQ(take(u"a snowman \u2603 and a clef \U0001D11E\r\n"),
              u"a snowman \u2603 and a clef \U0001D11E\n");
    // A character split between two reads: its first half waits for the second.
    EXPECT_EQ(take(std::u16string(u"clef \xD834")), u"clef |held");
}

} // namespace
} // namespace textfile::platform
