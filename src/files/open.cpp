#include "console/answer.hpp"
#include "console/console.hpp"
#include "files/commands.hpp"
#include "files/platform.hpp"

#include <array>
#include <cerrno>

namespace textfile {

namespace {

using platform::kStandardOutput;

// How the file is copied out depends on where standard output leads (see the README's
// measurements): into a pipe the system moves it without a copy through the program;
// into a file large blocks win; elsewhere (a terminal, a device) blocks of 128 KiB.
constexpr std::size_t kFileBlock = std::size_t{1024} * 1024;
constexpr std::size_t kOtherBlock = std::size_t{128} * 1024;
constexpr std::size_t kPipeMove = std::size_t{1} << 30;

alignas(4096) std::array<char, kFileBlock> block; // page-aligned, as the file's pages are

// Copies the file to standard output in blocks of `blockSize`, up to the position `end`
// in the file if it is not negative. Returns 0 or the error number of the failed call.
int copyInBlocks(int file, std::size_t blockSize, long long end) noexcept {
    for (;;) {
        const platform::Transfer read =
            end < 0 ? platform::readBlock(file, block.data(), blockSize)
                    : platform::readBlockBefore(file, block.data(), blockSize, end);
        if (read.error != 0 || read.count == 0) {
            return read.error;
        }
        if (const int err = platform::writeAll(kStandardOutput, block.data(), read.count)) {
            outputFailureReported();
            return err;
        }
    }
}

int moveIntoPipe(int file) noexcept {
    for (;;) {
        const platform::Transfer sent = platform::sendToPipe(kStandardOutput, file, kPipeMove);
        if (sent.error == ENOSYS || sent.error == EINVAL) {
            return copyInBlocks(file, kOtherBlock, -1); // from where the moving stopped
        }
        if (sent.error == EPIPE || sent.error == EAGAIN) {
            outputFailureReported();
        }
        if (sent.error != 0 || sent.count == 0) {
            return sent.error;
        }
    }
}

// Copies the file to standard output. Returns 0, or the error number of the read or
// write that failed and ended the display.
int showContents(int file) noexcept {
    // The file standard output writes to is shown as far as it reached when it was
    // opened: what the program writes to it now is not shown again, so the run ends.
    const long long end = platform::sizeIfSame(file, kStandardOutput);
    if (end >= 0) {
        return copyInBlocks(file, kFileBlock, end);
    }
    switch (platform::sinkOf(kStandardOutput)) {
    case platform::Sink::pipe:
        return moveIntoPipe(file);
    case platform::Sink::regularFile:
        return copyInBlocks(file, kFileBlock, -1);
    case platform::Sink::other:
        break;
    }
    return copyInBlocks(file, kOtherBlock, -1);
}

} // namespace

void openFile() noexcept {
    static Answer fName;
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
