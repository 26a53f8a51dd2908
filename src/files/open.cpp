#include "console/answer.hpp"
#include "files/commands.hpp"
#include "files/stream.hpp"

#include <cerrno>
#include <vector>

namespace textfile {

namespace {

// Large blocks keep the number of system calls per byte as low as cat's.
constexpr std::size_t kBlockSize = std::size_t{128} * 1024;

// Copies the file to standard output. A failed read or write is reported at once and
// ends the display.
void showContents(std::FILE* file) {
    std::vector<char> block(kBlockSize);
    for (;;) {
        const long count = readSome(file, block.data(), block.size());
        if (count == 0) {
            return;
        }
        if (count < 0) {
            reportError("Error", errno);
            return;
        }
        const auto size = static_cast<std::size_t>(count);
        errno = 0;
        if (std::fwrite(block.data(), 1, size, stdout) != size) {
            reportError("Error", lastError());
            return;
        }
    }
}

} // namespace

void openFile() {
    showPrompt("Please enter the location of the file you would like to open: ");
    const Answer fName = readAnswer();
    std::fputs("\n", stdout);
    if (fName.tooLong) {
        reportError("Error", ENAMETOOLONG);
        return;
    }
    std::FILE* file = openForReading(fName.text.c_str());
    if (file == nullptr) {
        reportError("Error", errno);
        return;
    }
    showContents(file);
    closeFile(file);
    std::fputs("\n", stdout);
}

} // namespace textfile
