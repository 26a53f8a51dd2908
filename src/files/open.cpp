#include "console/answer.hpp"
#include "console/console.hpp"
#include "files/commands.hpp"
#include "files/copy.hpp"
#include "platform/platform.hpp"

#include <cerrno>

namespace textfile {

namespace {

using platform::kStandardOutput;

// How the file is copied out depends on where standard output leads (see the README's
// measurements): into a pipe the system moves it without a copy through the program;
// into a file it is written from views of it mapped into memory, copied once within the
// system, or in large blocks; elsewhere (a terminal, a device) blocks of 128 KiB.
constexpr std::size_t kOtherBlock = std::size_t{128} * 1024;

Copied copyOut(int file) noexcept {
    // The file standard output writes to is shown as far as it reached when it was
    // opened: what the program writes to it now is not shown again, so the run ends.
    const platform::OutputMatch output = platform::matchOutput(file, kStandardOutput);
    if (output.same) {
        // An empty file, or the program's own pipe, has nothing to show.
        return output.showable == 0
                   ? Copied{0, false}
                   : copyInBlocks(kStandardOutput, file, kLargestBlock, output.showable);
    }
    switch (platform::sinkOf(kStandardOutput)) {
    case platform::Sink::pipe:
        return copyAll(kStandardOutput, file, kOtherBlock);
    case platform::Sink::regularFile:
        return copyIntoFile(kStandardOutput, file);
    case platform::Sink::other:
        break;
    }
    return copyInBlocks(kStandardOutput, file, kOtherBlock, -1);
}

// Copies the file to standard output. Returns 0, or the error number of the read or
// write that failed and ended the display.
int showContents(int file) noexcept {
    const Copied copied = copyOut(file);
    if (copied.writing) {
        markOutputFailureReported();
    }
    return copied.error;
}

} // namespace

void openFile() noexcept {
    Answer fName;
    say("Please enter the location of the file you would like to open: ");
    readAnswer(fName);
    say("\n");
    if (fName.tooLong) {
        reportError("Error", ENAMETOOLONG);
        return;
    }
    int file = -1;
    if (const int err = platform::openForReading(fName.text.data(), file)) {
        reportError("Error", err);
        return;
    }
    if (const int err = showContents(file)) {
        reportError("Error", err);
    }
    if (const int err = platform::closeFile(file)) {
        reportError("\nError", err);
    }
    say("\n");
}

} // namespace textfile
