#include "console/console.hpp"
#include "files/copy.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <cerrno>

namespace textfile {

namespace {

using platform::kStandardOutput;

// A file is shown through the program's own buffer, read and written as `cat` does: into a
// file in the largest blocks, elsewhere (a pipe, a terminal, a device) in blocks of 128 KiB.
// (Moving it within the system, without the copy, moves references to the file's pages,
// which show zeros where another program cuts the file before the reader has read them.)
constexpr std::size_t kOtherBlock = std::size_t{128} * 1024;

Copied copyOut(int file) noexcept {
    // The program's own pipes hold nothing to show: reading one would wait on its own writing.
    const std::array<int, 2> own{kStandardOutput, platform::kStandardError};
    if (std::any_of(own.begin(), own.end(), [&](int stream) noexcept {
            return platform::sinkOf(stream) == platform::Sink::pipe &&
                   platform::sameFile(file, stream);
        })) {
        return {0, false};
    }
    // A regular file is shown as far as it reached when showing began, so whatever is written
    // into it meanwhile is not: above all the program's own output, however the names reach the
    // file, which would otherwise be read back for ever. A file that tells no size (as in /proc)
    // is read to its end.
    long long size = 0;
    if (const int err = platform::sizeOf(file, size)) {
        return {err, false};
    }
    const bool intoFile = platform::sinkOf(kStandardOutput) == platform::Sink::regularFile;
    return copyInBlocks(kStandardOutput, file, intoFile ? kLargestBlock : kOtherBlock,
                        size > 0 ? size : -1);
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
