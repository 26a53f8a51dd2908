#include "files/store.hpp"

#include "console/console.hpp"
#include "platform/platform.hpp"

#include <cerrno>

namespace textfile {

namespace {

// From the text's arrival to a durable file; the file stays locked until it is closed.
int putDurably(int file, const char* name, PutText put) noexcept {
    const LineText text = gatherLine();
    if (text.error != 0) {
        return text.error;
    }
    if (const int err = platform::lockFile(file)) {
        return err;
    }
    if (const int err = put(file, name, text)) {
        return err;
    }
    if (const int err = platform::syncFile(file)) {
        return err;
    }
    // The name may have been removed or replaced while the program waited: the text then
    // went nowhere the user can find it.
    return platform::checkStillNamed(file, name);
}

} // namespace

void storeText(const Answer& name, PutText put) noexcept {
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
    int err = putDurably(file, name.text.data(), put);
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
