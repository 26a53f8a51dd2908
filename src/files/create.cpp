#include "console/answer.hpp"
#include "console/console.hpp"
#include "files/commands.hpp"
#include "files/copy.hpp"
#include "platform/platform.hpp"

#include <cerrno>

namespace textfile {

namespace {

// Whether the file is a regular file with at least one byte in it.
bool holdsText(int file) noexcept {
    long long size = 0;
    return platform::sizeOf(file, size) == 0 && size > 0;
}

// Puts the text in place of the file's contents: it is written over them and the file is
// then cut to its length. Before the first byte changes, the space the text needs is
// reserved, so that a full disk or the file-size limit is found while the file still
// holds its old text; and from then until the file holds the whole text at its length,
// the signals that would end the run wait. `write` writes the text from the file's start.
template <typename Write>
int replaceContents(int file, long long length, const Write& write) noexcept {
    if (const int err = platform::reserveSpace(file, length)) {
        return err;
    }
    if (const int err = platform::seekTo(file, 0)) {
        return err;
    }
    platform::holdSignals();
    int err = write();
    if (err == 0) {
        err = platform::cutFile(file, length);
    }
    platform::releaseSignals();
    return err;
}

// A text too long for the input buffer is kept in `temporary` first, unlocked (another
// run need not wait for this one's input), and put in place under the lock once its line
// has ended: input that fails or stops, or a temporary space that is full, leaves the file
// as it was.
int replaceThroughTemporary(int file, int temporary) noexcept {
    long long written = 0;
    if (const int err = copyLine(temporary, written, 0)) {
        return err;
    }
    if (const int err = platform::lockFile(file)) {
        return err;
    }
    return replaceContents(file, written, [&]() noexcept {
        if (const int err = platform::seekTo(temporary, 0)) {
            return err;
        }
        return copyAllToDisk(file, temporary).error;
    });
}

// Stores the text answer in the file `name` leads to. Nothing is touched before the text
// has arrived: a run stopped at the text prompt, or whose input fails there, leaves the
// file as it was. The file is then locked, so that runs storing into it at once take
// turns. A text whose whole line fits in the input buffer goes from there into a regular
// file (see replaceContents); a longer one goes through a temporary file if the file holds
// text. A file that is no regular file, or an empty one given a long text, takes the text
// straight as it arrives, in bounded memory; so does a file with text where no temporary
// file can be made, emptied first. The file stays locked until it is closed. Returns 0
// once the text is stored and durable, or the first error number.
int storeText(int file, const char* name) noexcept {
    const LineText text = gatherLine();
    if (text.error != 0) {
        return text.error;
    }
    if (const int err = platform::lockFile(file)) {
        return err;
    }
    int temporary = -1;
    int err = 0;
    if (text.whole && platform::isRegularFile(file)) {
        err = replaceContents(file, static_cast<long long>(text.size), [&]() noexcept {
            return platform::writeAll(file, text.data, text.size);
        });
    } else if (holdsText(file) && platform::openTemporary(name, temporary) == 0) {
        platform::unlockFile(file);
        err = replaceThroughTemporary(file, temporary);
        platform::closeFile(temporary);
    } else if (text.whole) {
        err = platform::writeAll(file, text.data, text.size);
    } else {
        // A regular file has what is written sent on to the disk as it goes.
        const long long writeBackEvery = platform::isRegularFile(file) ? kWriteBackChunk : 0;
        long long written = 0;
        err = platform::cutFile(file, 0);
        err = err != 0 ? err : copyLine(file, written, writeBackEvery);
    }
    return err != 0 ? err : platform::syncFile(file);
}

} // namespace

void createFile() noexcept {
    Answer name;
    askAnswer("Please enter a name for the new file: ", name);
    if (name.tooLong) {
        reportError("Error", ENAMETOOLONG);
        return;
    }
    int file = -1;
    bool created = false;
    if (const int err = platform::openForCreate(name.text.data(), file, created)) {
        reportError("Error", err);
        return;
    }
    say("\nPlease enter the text you would like to be placed in the file: \n");
    int err = storeText(file, name.text.data());
    if (err == 0) {
        // The name may have been removed or replaced while the program waited: the text
        // then went nowhere the user can find it.
        err = platform::checkStillNamed(file, name.text.data());
    }
    // The file is closed on every path, and a failure reported once: the first one.
    const int closed = platform::closeFile(file);
    if (err == 0) {
        err = closed;
    }
    // A new file's name is made durable once the file is closed: a descriptor is then free
    // for its directory even at the open-file limit.
    if (err == 0 && created) {
        err = platform::syncDirectoryOf(name.text.data());
    }
    if (err != 0) {
        reportError("\nError", err);
        return;
    }
    say("File created sucessfully!\n");
}

} // namespace textfile
