#include "console/console.hpp"
#include "files/copy.hpp"
#include "files/store.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cerrno>

namespace textfile {

namespace {

// After a failure to put a text in place, whose first `kept` bytes were to be written over
// the old text: the file is cut back to `old` bytes where its old text is still whole, which
// drops whatever was written past it, or else to its own size; the space reserved for it is
// given back.
void giveBack(int file, long long old, long long kept, bool changed) noexcept {
    long long size = old;
    if (!changed || platform::sizeOf(file, size) == 0) {
        (void)platform::cutFile(file, size);
    }
    platform::releaseSpace(file, kept);
}

// Puts the text in place of the file's contents: `length` bytes, of which `write(begin, end)`
// writes those from `begin` to `end` at the file's position, which is `begin`. The order makes each
// way to fail show itself before a byte of the old text changes. The part of the text past the old
// text's end is written first, so that a full disk, a quota or the file-size limit is found there;
// then the holes under the rest get their space (see reserveSpace); a text shorter than the old one
// has the file cut to its length, so that a cut that fails changes nothing; and only then is the
// old text written over. From the first change until the file holds the whole text at its length,
// the signals that would end the run wait. On a failure before the old text changed, the file keeps
// it whole, and its size and space as they were.
template <typename Write>
int replaceContents(int file, long long length, const Write& write) noexcept {
    long long old = 0;
    if (const int err = platform::sizeOf(file, old)) {
        return err;
    }
    if (const int err = platform::checkSizeLimit(length)) {
        return err;
    }
    const long long kept = std::min(old, length);
    platform::holdSignals();
    int err = 0;
    if (length > old && (err = platform::seekTo(file, old)) == 0) {
        err = write(old, length);
    }
    if (err == 0) {
        err = platform::reserveSpace(file, kept);
    }
    bool changed = false; // whether a byte of the old text may have changed
    if (err == 0 && length < old) {
        err = platform::cutFile(file, length);
        changed = err == 0;
    }
    if (err == 0 && (err = platform::seekTo(file, 0)) == 0) {
        err = write(0, kept);
        // A write that failed before its first byte changed nothing.
        long long position = 0;
        changed = changed || err == 0 || platform::positionOf(file, position) != 0 || position > 0;
    }
    // Another program that ignores the lock may have changed the file meanwhile: what it
    // wrote past the text goes, and a file it cut holds no longer the whole text.
    long long size = length;
    if (err == 0 && (err = platform::sizeOf(file, size)) == 0 && size != length) {
        err = size < length ? platform::changedMeanwhile() : platform::cutFile(file, length);
    }
    if (err != 0) {
        giveBack(file, old, kept, changed);
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
    if (const int err = copyLine(temporary, 0, written, 0)) {
        return err;
    }
    if (const int err = platform::lockFile(file)) {
        return err;
    }
    return replaceContents(file, written, [&](long long begin, long long end) noexcept {
        return copyAllToDisk(file, temporary, begin, end);
    });
}

// Puts the text in place of the file's contents. A text whose whole line fits in the input
// buffer goes from there into a regular file (see replaceContents); a longer one goes through a
// temporary file if the file holds text. A file that is no regular file, or an empty one given a
// long text, takes the text straight as it arrives, in bounded memory; so does a file with text
// where no temporary file can be made, emptied first.
int replaceText(int file, const char* name, const LineText& text) noexcept {
    long long size = 0; // -1 for a file that is no regular file
    if (const int err = platform::sizeOf(file, size)) {
        return err;
    }
    if (text.whole && size >= 0) {
        return replaceContents(file, static_cast<long long>(text.size),
                               [&](long long begin, long long end) noexcept {
                                   return platform::writeAll(file, text.data + begin,
                                                             static_cast<std::size_t>(end - begin));
                               });
    }
    int temporary = -1;
    if (size > 0 && platform::openTemporary(name, temporary) == 0) {
        platform::unlockFile(file);
        const int err = replaceThroughTemporary(file, temporary);
        platform::closeFile(temporary);
        return err;
    }
    if (text.whole) {
        return platform::writeAll(file, text.data, text.size);
    }
    // A regular file is emptied, and has what is written sent on to the disk as it goes.
    long long written = 0;
    const int err = size >= 0 ? platform::cutFile(file, 0) : 0;
    return err != 0 ? err : copyLine(file, 0, written, size >= 0 ? kWriteBackChunk : 0);
}

} // namespace

void createFile() noexcept {
    Answer name;
    askAnswer("Please enter a name for the new file: ", name);
    storeText(name, replaceText);
}

} // namespace textfile
