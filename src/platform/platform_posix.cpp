// The platform layer on POSIX systems. Beyond POSIX.1-2008 (and flock, which the BSDs,
// macOS and Linux all have), it uses a system's own calls where the build found them: each
// TEXTFILE_HAS_ macro names one (see cmake/system-calls.cmake). Without one, or where a
// file system refuses it, the layer takes a way POSIX offers, described at each call; a
// build with TEXTFILE_PORTABLE takes those ways everywhere, so that they are tested.
#include "platform/platform.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#if TEXTFILE_HAS_SENDFILE
#include <sys/sendfile.h>
#endif

// A file past 2 GiB must be as usable as any other: on a 32-bit system the build asks for
// large-file support (_FILE_OFFSET_BITS=64).
static_assert(sizeof(off_t) >= 8, "off_t must have 64 bits: build with _FILE_OFFSET_BITS=64");

namespace textfile::platform {

namespace {

// The type bits of the file's mode, or 0 if it cannot be found out.
mode_t typeOf(int file) noexcept {
    struct stat info {};
    return fstat(file, &info) == 0 ? info.st_mode & S_IFMT : 0;
}

// What a call that moves bytes gave (read, write, sendfile), tried again while a signal
// interrupts it.
template <typename Call> Transfer retried(const Call& call) noexcept {
    for (;;) {
        const ssize_t count = call();
        if (count >= 0) {
            return {static_cast<std::size_t>(count), 0};
        }
        if (errno != EINTR) {
            return {0, errno};
        }
    }
}

// Whether an error from fsync means the file cannot be synced at all, rather than that
// its data may be lost: a kernel setting, a file system without the call. (EROFS is no
// such error: a file system that turned read-only after an error gives it, and the data
// is lost.)
bool cannotSync(int err) noexcept { return err == EINVAL || err == ENOTSUP; }

int retryingOpen(const char* name, int flags, mode_t mode = 0666) noexcept {
    for (;;) {
        const int file = open(name, flags | O_CLOEXEC, mode);
        if (file != -1 || errno != EINTR) {
            return file;
        }
    }
}

// Whether two descriptors lead to the same file.
bool sameFile(int one, int two) noexcept {
    struct stat first {};
    struct stat second {};
    return fstat(one, &first) == 0 && fstat(two, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// The directory part of `path` ("." for a bare name), in `directory`; nullptr if it does
// not fit.
const char* directoryPart(const char* path, std::array<char, PATH_MAX>& directory) noexcept {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        return ".";
    }
    const std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    if (length >= directory.size()) {
        return nullptr;
    }
    std::memcpy(directory.data(), path, length);
    directory[length] = '\0';
    return directory.data();
}

// The directory that holds the entry `name` leads to, through any symbolic links, in
// storage of its own; as `name` reads where it cannot be resolved.
const char* directoryOf(const char* name) noexcept {
    static std::array<char, PATH_MAX> resolved;
    static std::array<char, PATH_MAX> directory;
    const char* path = realpath(name, resolved.data()) != nullptr ? resolved.data() : name;
    return directoryPart(path, directory);
}

// A FIFO at `name` opened for writing without waiting, then made to wait for its reader
// as any write does: -1 with errno ENXIO when nobody reads it, or only this program
// through its standard input; -1 with errno 0 when `name` is no FIFO, or no longer one
// once opened (it is then opened as any other file is).
int openFifo(const char* name) noexcept {
    struct stat info {};
    if (stat(name, &info) != 0 || (info.st_mode & S_IFMT) != S_IFIFO) {
        errno = 0;
        return -1;
    }
    const int file = open(name, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (file == -1) {
        return -1;
    }
    int err = 0;
    if (typeOf(file) == S_IFIFO) {
        const int flags = fcntl(file, F_GETFL);
        if (sameFile(file, kStandardInput)) {
            err = ENXIO;
        } else if (flags != -1 && fcntl(file, F_SETFL, flags & ~O_NONBLOCK) != -1) {
            return file;
        } else {
            err = errno;
        }
    }
    close(file);
    errno = err;
    return -1;
}

// The signals that end a run from outside.
sigset_t endingSignals() noexcept {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaddset(&set, signal);
    }
    return set;
}

// Whether a descriptor on `file` other than itself, below the limit on descriptors (the
// most a program may have open), holds the lock on it: tried one by one. A flock lock
// belongs to one open file, so while it is held, only a descriptor of the holder's open
// file can take it (LOCK_NB; taking an exclusive lock held already changes nothing). The
// way for a system without /proc, with costs flock gives it: it cannot see a descriptor
// above the limit (one opened before the limit was lowered); a shared lock held through a
// descriptor tried becomes an exclusive one, or is lost where others hold it shared too;
// and a descriptor that held no lock takes it if the holder lets go just then (the run
// then stores under it, and the descriptor's open file keeps it until it is closed).
bool heldThroughTried(int file) noexcept {
    long count = sysconf(_SC_OPEN_MAX);
    count = count < 0 || count > INT_MAX ? INT_MAX : count;
    for (int other = 0; other < count; ++other) {
        if (other != file && fcntl(other, F_GETFD) != -1 && sameFile(other, file) &&
            flock(other, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
    }
    return false;
}

#if TEXTFILE_HAS_GETDENTS64
// The descriptor an entry of /proc/self/fdinfo is named for; -1 for "." and "..".
int descriptorNamed(const char* name) noexcept {
    char* end = nullptr;
    const long number = std::strtol(name, &end, 10);
    return end != name && *end == '\0' && number >= 0 && number <= INT_MAX
               ? static_cast<int>(number)
               : -1;
}

// Whether the descriptor's open file holds a flock lock: its /proc entry lists it.
bool holdsFlock(int fdinfo, const char* entry) noexcept {
    const int info = openat(fdinfo, entry, O_RDONLY | O_CLOEXEC);
    if (info == -1) {
        return false;
    }
    std::array<char, 4096> text{};
    const ssize_t size = read(info, text.data(), text.size() - 1);
    close(info);
    for (const char* line = text.data(); size > 0 && line != nullptr;) {
        if (std::strncmp(line, "lock:", 5) == 0 && std::strstr(line, "FLOCK") != nullptr) {
            return true;
        }
        line = std::strchr(line, '\n');
        line = line != nullptr ? line + 1 : nullptr;
    }
    return false;
}

// Whether a descriptor listed in /proc holds the lock on `file`, whatever its number, and
// without touching any lock: `own`. Fails where /proc cannot be read.
int heldThroughListed(int file, bool& own) noexcept {
    own = false;
    const int fdinfo = retryingOpen("/proc/self/fdinfo", O_RDONLY | O_DIRECTORY);
    if (fdinfo == -1) {
        return errno;
    }
    alignas(8) std::array<char, 8192> entries;
    for (ssize_t size; !own && (size = getdents64(fdinfo, entries.data(), entries.size())) > 0;) {
        for (ssize_t at = 0; !own && at < size;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries.data() + at);
            at += entry->d_reclen;
            const int other = descriptorNamed(entry->d_name);
            own = other != -1 && other != file && other != fdinfo && sameFile(other, file) &&
                  holdsFlock(fdinfo, entry->d_name);
        }
    }
    close(fdinfo);
    return 0;
}
#endif

// Whether a descriptor this program was started with holds the lock on `file` (as under
// `flock FILE textfile`): listed from /proc where it can be read, else tried.
bool heldThroughInherited(int file) noexcept {
#if TEXTFILE_HAS_GETDENTS64
    bool own = false;
    if (heldThroughListed(file, own) == 0) {
        return own;
    }
#endif
    return heldThroughTried(file);
}

// A file in `directory` for reading and writing that no name leads to, made the POSIX way:
// with a name, unlinked at once. The ending signals wait in between, so that no run
// leaves the name behind (only SIGKILL can end it there).
int openUnlinked(const char* directory, int& file) noexcept {
    std::array<char, PATH_MAX> path{};
    const int length = std::snprintf(path.data(), path.size(), "%s/.textfile-XXXXXX", directory);
    if (length < 0 || static_cast<std::size_t>(length) >= path.size()) {
        return ENAMETOOLONG;
    }
    const sigset_t ending = endingSignals();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &ending, &before);
    file = mkstemp(path.data());
    int err = file == -1 ? errno : 0;
    if (file != -1 && unlink(path.data()) != 0) {
        err = errno;
        close(file);
        file = -1;
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (file != -1) {
        fcntl(file, F_SETFD, FD_CLOEXEC);
    }
    return err;
}

// A file in `directory` that no name leads to: made nameless where the system and the
// file system can, else made and unlinked.
int openNameless(const char* directory, int& file) noexcept {
#if TEXTFILE_HAS_O_TMPFILE
    file = retryingOpen(directory, O_TMPFILE | O_RDWR, 0600);
    if (file != -1) {
        return 0;
    }
    // Any other error would stop the other way too.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return errno;
    }
#endif
    return openUnlinked(directory, file);
}

// Whether the file system holding `file` has room for it to hold `length` bytes now: the
// way without a reservation. It is a check, not a reservation (another program may still
// fill the disk before the text is in), and knows nothing of quotas. A file system that
// tells no sizes passes.
int checkFreeSpace(int file, long long length) noexcept {
    struct statvfs system {};
    struct stat info {};
    if (fstatvfs(file, &system) != 0 || fstat(file, &info) != 0 || system.f_frsize == 0 ||
        system.f_blocks == 0) {
        return 0;
    }
    const unsigned long long unit = system.f_frsize;
    const unsigned long long needed = (static_cast<unsigned long long>(length) + unit - 1) / unit;
    // The file's own blocks are written over; root may use the blocks kept for it.
    const unsigned long long held = static_cast<unsigned long long>(info.st_blocks) * 512 / unit;
    const unsigned long long free = geteuid() == 0 ? system.f_bfree : system.f_bavail;
    return needed <= held + free ? 0 : ENOSPC;
}

} // namespace

void setUpStandardStreams() noexcept {
    // open() takes the lowest free descriptor, which is the missing one as long as the
    // streams are checked in order. Without a null device (a /dev of someone else's
    // making), the root directory takes the place: reading or writing it fails, and is
    // reported as any failed input or output is, but no file can take it.
    for (int fd = kStandardInput; fd <= kStandardError; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF &&
            open("/dev/null", fd == kStandardInput ? O_RDONLY : O_WRONLY) == -1) {
            open("/", O_RDONLY | O_DIRECTORY);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

int openForCreate(const char* name, int& file, bool& created) noexcept {
    created = false;
    file = openFifo(name);
    if (file != -1 || errno != 0) {
        return file == -1 ? errno : 0;
    }
    // Opened first without creating, to know whether this run made the file.
    file = retryingOpen(name, O_RDWR);
    if (file == -1 && errno == ENOENT) {
        file = retryingOpen(name, O_RDWR | O_CREAT | O_EXCL);
        if (file == -1 && errno == EEXIST) {
            // Made meanwhile by someone else, or a link to a file still to be made: its
            // directory is synced all the same.
            file = retryingOpen(name, O_RDWR | O_CREAT);
        }
        created = file != -1;
    }
    return file == -1 ? errno : 0;
}

int openForReading(const char* name, int& file) noexcept {
    file = retryingOpen(name, O_RDONLY);
    if (file == -1) {
        return errno;
    }
    if (typeOf(file) == S_IFDIR) {
        close(file);
        file = -1;
        return EISDIR;
    }
    return 0;
}

int closeFile(int file) noexcept { return close(file) == 0 ? 0 : errno; }

int lockFile(int file) noexcept {
    int operation = LOCK_EX | LOCK_NB;
    for (;;) {
        if (flock(file, operation) == 0) {
            return 0;
        }
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) {
            return 0;
        }
        if (errno == EWOULDBLOCK && operation != LOCK_EX) {
            // Held elsewhere. Where this program holds it itself, through a descriptor it
            // was started with, waiting would never end.
            if (heldThroughInherited(file)) {
                return 0;
            }
            operation = LOCK_EX;
        } else if (errno != EINTR) {
            return errno;
        }
    }
}

void unlockFile(int file) noexcept { flock(file, LOCK_UN); }

bool isRegularFile(int file) noexcept { return typeOf(file) == S_IFREG; }

int openTemporary(const char* beside, int& file) noexcept {
    const char* tmpdir = std::getenv("TMPDIR");
    int err = ENOENT;
    for (const char* directory : {directoryOf(beside), tmpdir, "/tmp"}) {
        if (directory != nullptr && *directory != '\0') {
            err = openNameless(directory, file);
            if (err == 0) {
                return 0;
            }
        }
    }
    file = -1;
    return err;
}

int positionOf(int file, long long& position) noexcept {
    const off_t offset = lseek(file, 0, SEEK_CUR);
    position = offset;
    return offset == -1 ? errno : 0;
}

int cutFile(int file, long long length) noexcept {
    if (typeOf(file) != S_IFREG) {
        return 0;
    }
    return ftruncate(file, static_cast<off_t>(length)) == 0 ? 0 : errno;
}

int reserveSpace(int file, long long length) noexcept {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<unsigned long long>(length) > limit.rlim_cur) {
        return EFBIG;
    }
    if (length == 0 || typeOf(file) != S_IFREG) {
        return 0;
    }
#if TEXTFILE_HAS_FALLOCATE
    // The size is kept: until the text is written over it, the file holds its old text.
    for (;;) {
        if (fallocate(file, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            if (errno != EOPNOTSUPP && errno != ENOSYS) {
                return errno;
            }
            break;
        }
    }
#endif
    return checkFreeSpace(file, length);
}

namespace {

// The signal mask before holdSignals, for releaseSignals.
sigset_t heldFrom;

} // namespace

void holdSignals() noexcept {
    const sigset_t ending = endingSignals();
    sigprocmask(SIG_BLOCK, &ending, &heldFrom);
}

void releaseSignals() noexcept { sigprocmask(SIG_SETMASK, &heldFrom, nullptr); }

int syncFile(int file) noexcept {
    if (typeOf(file) != S_IFREG || fsync(file) == 0) {
        return 0;
    }
    return cannotSync(errno) ? 0 : errno;
}

void startWriteback(int file, long long offset, long long length) noexcept {
#if TEXTFILE_HAS_SYNC_FILE_RANGE
    sync_file_range(file, static_cast<off_t>(offset), static_cast<off_t>(length),
                    SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
    (void)offset;
    (void)length;
#endif
}

namespace {

// Syncs the whole file system that holds `path`, for a directory that cannot be opened
// to sync on its own: through any descriptor on it where the system can, else every file
// system (POSIX's sync, which on some systems only starts the writing).
int syncFileSystemOf(const char* path) noexcept {
#if TEXTFILE_HAS_SYNCFS
    for (const int flags : {O_RDONLY, O_WRONLY}) {
        const int file = retryingOpen(path, flags | O_NOCTTY | O_NONBLOCK);
        if (file != -1) {
            const int err = syncfs(file) == 0 || cannotSync(errno) ? 0 : errno;
            close(file);
            return err;
        }
    }
#else
    (void)path;
#endif
    sync();
    return 0;
}

} // namespace

int syncDirectoryOf(const char* name) noexcept {
    const char* path = directoryOf(name);
    if (path == nullptr) {
        return syncFileSystemOf(name);
    }
    const int directory = retryingOpen(path, O_RDONLY | O_DIRECTORY);
    if (directory == -1) {
        return errno == EACCES || errno == EPERM ? syncFileSystemOf(name) : errno;
    }
    const int err = fsync(directory) == 0 || cannotSync(errno) ? 0 : errno;
    close(directory);
    return err;
}

int checkStillNamed(int file, const char* name) noexcept {
    struct stat named {};
    struct stat opened {};
    if (stat(name, &named) != 0 || fstat(file, &opened) != 0) {
        return errno;
    }
    if (named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
        return 0;
    }
    return (named.st_mode & S_IFMT) == S_IFDIR ? EISDIR : ESTALE;
}

Transfer readBlock(int file, char* buffer, std::size_t size) noexcept {
    return retried([&] { return read(file, buffer, size); });
}

OutputMatch matchOutput(int file, int output) noexcept {
    struct stat one {};
    if (!sameFile(file, output) || fstat(file, &one) != 0) {
        return {false, 0};
    }
    switch (one.st_mode & S_IFMT) {
    case S_IFREG:
        return {true, one.st_size};
    case S_IFIFO:
        return {true, 0}; // the program's own pipe: reading it would wait on its own writing
    default:
        return {false, 0}; // a terminal is read from its keyboard, not from what is written to it
    }
}

Sink sinkOf(int file) noexcept {
    switch (typeOf(file)) {
    case S_IFIFO:
        return Sink::pipe;
    case S_IFREG:
        return Sink::regularFile;
    default:
        return Sink::other;
    }
}

Transfer zeroCopy(int to, int from, std::size_t size) noexcept {
#if TEXTFILE_HAS_SENDFILE
    return retried([&] { return sendfile(to, from, nullptr, size); });
#else
    (void)to;
    (void)from;
    (void)size;
    return {0, ENOSYS};
#endif
}

int sizeOf(int file, long long& size) noexcept {
    struct stat info {};
    if (fstat(file, &info) != 0) {
        return errno;
    }
    size = (info.st_mode & S_IFMT) == S_IFREG ? info.st_size : 0;
    return 0;
}

int seekTo(int file, long long offset) noexcept {
    return lseek(file, static_cast<off_t>(offset), SEEK_SET) == -1 ? errno : 0;
}

Transfer writeSome(int file, const char* data, std::size_t size) noexcept {
    return retried([&] { return write(file, data, size); });
}

#if TEXTFILE_HAS_MAP_POPULATE
int mapView(int file, long long offset, std::size_t size, const char*& view) noexcept {
    // Over an earlier view, the new one takes its place in one call.
    void* at = const_cast<char*>(view);
    const int fixed = view != nullptr ? MAP_FIXED : 0;
    void* mapped = mmap(at, size, PROT_READ, MAP_SHARED | MAP_POPULATE | fixed, file,
                        static_cast<off_t>(offset));
    if (mapped == MAP_FAILED) {
        const int err = errno;
        unmapView(view, size); // a failed MAP_FIXED may have taken the earlier view away or not
        view = nullptr;
        return err;
    }
    view = static_cast<const char*>(mapped);
    return 0;
}

void unmapView(const char* view, std::size_t size) noexcept {
    if (view != nullptr) {
        munmap(const_cast<char*>(view), size);
    }
}
#else
// Without reading the pages in at once, each is read in as the write meets it, which
// measured slower than copying through the program.
int mapView(int /*file*/, long long /*offset*/, std::size_t /*size*/, const char*& view) noexcept {
    view = nullptr;
    return ENOSYS;
}

void unmapView(const char* /*view*/, std::size_t /*size*/) noexcept {}
#endif

} // namespace textfile::platform
