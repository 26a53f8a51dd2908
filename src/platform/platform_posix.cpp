// The platform layer on POSIX systems. Beyond POSIX.1-2008 (and flock, which the BSDs,
// macOS and Linux all have), it uses a system's own calls where the build found them: each
// TEXTFILE_HAS_ macro names one (see cmake/system-calls.cmake). Without one, or where a
// file system refuses it, the layer takes a way POSIX offers, described at each call; a
// build with TEXTFILE_PORTABLE takes those ways everywhere, so that they are tested.
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// What a call gave, tried again while a signal interrupts it (-1 with EINTR): the one way every
// call of this layer is retried.
template <typename Call> auto uninterrupted(const Call& call) noexcept {
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR) {
            return result;
        }
    }
}

// What a call that moves bytes gave (read, write, sendfile, pread, pwrite).
template <typename Call> Transfer retried(const Call& call) noexcept {
    const ssize_t count = uninterrupted(call);
    return count >= 0 ? Transfer{static_cast<std::size_t>(count), 0} : Transfer{0, errno};
}

// 0, or the error number of a call that failed (-1).
template <typename Call> int untilDone(const Call& call) noexcept {
    return uninterrupted(call) == -1 ? errno : 0;
}

// Whether an error from fsync means the file cannot be synced at all, rather than that
// its data may be lost: a kernel setting, a file system without the call. (EROFS is no
// such error: a file system that turned read-only after an error gives it, and the data
// is lost.)
bool cannotSync(int err) noexcept { return err == EINVAL || err == ENOTSUP; }

// Makes a file or directory durable on its storage device. Where fsync leaves it in the
// drive's cache (macOS), F_FULLFSYNC asks the drive to write a regular file or a directory
// to its media; a file system that refuses that, and any other file (a device, a pipe, which
// answer it with errors of their own), gets fsync.
int syncToMedia(int file) noexcept {
#if TEXTFILE_HAS_FULLFSYNC
    const mode_t type = typeOf(file);
    if (type == S_IFREG || type == S_IFDIR) {
        const int err = untilDone([&] { return fcntl(file, F_FULLFSYNC); });
        if (err != ENOTSUP && err != EOPNOTSUPP && err != ENOTTY && err != EINVAL) {
            return err;
        }
    }
#endif
    return untilDone([&] { return fsync(file); });
}

int retryingOpen(const char* name, int flags, mode_t mode = 0666) noexcept {
    return uninterrupted([&] { return open(name, flags | O_CLOEXEC, mode); });
}

#if TEXTFILE_HAS_GETDENTS64
// The descriptor an entry of /proc/self/fd is named for; -1 for "." and "..".
int descriptorNamed(const char* name) noexcept {
    char* end = nullptr;
    const long number = std::strtol(name, &end, 10);
    return end != name && *end == '\0' && number >= 0 && number <= INT_MAX
               ? static_cast<int>(number)
               : -1;
}
#endif

// The numbers tried where descriptors cannot be listed: so many, or up to the limit on
// descriptors where that is higher, as one opened before the limit was lowered lies above it.
constexpr long kMostTried = 65536;

// Whether `found` holds for a descriptor this program has open, other than `except`: each
// one listed in /proc/self/fd, whatever its number, where the listing can be read whole; else
// each number tried.
template <typename Found> bool anyDescriptor(int except, const Found& found) noexcept {
#if TEXTFILE_HAS_GETDENTS64
    const int listing = retryingOpen("/proc/self/fd", O_RDONLY | O_DIRECTORY);
    if (listing != -1) {
        alignas(8) std::array<char, 8192> entries;
        bool any = false;
        ssize_t size = -1;
        // (glibc takes a void *, musl a struct dirent *, which dirent64 names there.)
        auto* const first = reinterpret_cast<dirent64*>(entries.data());
        while (!any && (size = getdents64(listing, first, entries.size())) > 0) {
            for (ssize_t at = 0; !any && at < size;) {
                const auto* entry = reinterpret_cast<const dirent64*>(entries.data() + at);
                at += entry->d_reclen;
                const int other = descriptorNamed(entry->d_name);
                any = other != -1 && other != except && other != listing && found(other);
            }
        }
        close(listing);
        if (any || size == 0) {
            return any;
        }
    }
#endif
    long count = sysconf(_SC_OPEN_MAX);
    count = count < kMostTried ? kMostTried : count > INT_MAX ? INT_MAX : count;
    for (int other = 0; other < count; ++other) {
        if (other != except && fcntl(other, F_GETFD) != -1 && found(other)) {
            return true;
        }
    }
    return false;
}

// Whether the descriptor leads to the file `info` tells of.
bool leadsTo(int file, const struct stat& info) noexcept {
    struct stat other {};
    return fstat(file, &other) == 0 && other.st_dev == info.st_dev && other.st_ino == info.st_ino;
}

// Whether this run reads the FIFO `fifo` through one of its standard streams, which are its
// own. Any other descriptor it was started with that could read it is closed, as the program
// never reads one: so that only a reader elsewhere keeps the FIFO open for reading.
bool readsItself(int fifo) noexcept {
    return anyDescriptor(fifo, [&](int other) noexcept {
        const int flags = fcntl(other, F_GETFL);
        if (flags == -1 || (flags & O_ACCMODE) == O_WRONLY || !sameFile(other, fifo)) {
            return false;
        }
        if (other <= kStandardError) {
            return true;
        }
        close(other);
        return false;
    });
}

// Whether a FIFO opened for writing has a reader: with none, it is ready with an error.
bool hasReader(int fifo) noexcept {
    struct pollfd ready {
        fifo, POLLOUT, 0
    };
    return poll(&ready, 1, 0) != -1 && (ready.revents & (POLLERR | POLLHUP)) == 0;
}

// Opens `name` for writing if it is a FIFO, without waiting for a reader, and then makes
// writing wait for the reader as any write does: ENXIO where nobody but this run reads it,
// as nobody would ever take what is written. `file` stays -1 where `name` is no FIFO, or no longer
// one once opened: it is then opened as any other file is.
int openFifo(const char* name, int& file) noexcept {
    file = -1;
    struct stat info {};
    if (stat(name, &info) != 0 || (info.st_mode & S_IFMT) != S_IFIFO) {
        return 0;
    }
    const int fifo = retryingOpen(name, O_WRONLY | O_NONBLOCK);
    if (fifo == -1) {
        return errno;
    }
    int err = 0;
    if (typeOf(fifo) == S_IFIFO) {
        if (readsItself(fifo) || !hasReader(fifo)) {
            err = ENXIO;
        } else {
            const int flags = fcntl(fifo, F_GETFL);
            if (flags != -1 && fcntl(fifo, F_SETFL, flags & ~O_NONBLOCK) != -1) {
                file = fifo;
                return 0;
            }
            err = errno;
        }
    }
    close(fifo);
    return err;
}

// The signals held while a file changes: every one that can be held, so that none that
// would end the run (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1...) strikes inside.
sigset_t heldSignals() noexcept {
    sigset_t set;
    sigfillset(&set);
    return set;
}

// Whether this run holds the lock on `file` already, through a descriptor it was started
// with that leads to the same file. A flock lock belongs to one open file, so while it is
// held, taking it without waiting succeeds only through the holder's own (and taking an
// exclusive lock held already changes nothing). flock cannot ask without taking, which has
// costs: a shared lock held through such a descriptor becomes an exclusive one, or is lost
// where other programs hold it shared too; and if the holder lets go at that very moment, a
// descriptor that held no lock takes it, and its open file keeps it after the run until it is
// closed.
bool heldThroughInherited(int file) noexcept {
    return anyDescriptor(file, [&](int other) noexcept {
        return sameFile(other, file) && flock(other, LOCK_EX | LOCK_NB) == 0;
    });
}

// Room for a path being worked out: the longest the system takes, and its zero byte.
using PathBuffer = std::array<char, PATH_MAX>;

// Puts `text` in `path` from `at` on; false where it does not fit.
bool putPath(PathBuffer& path, std::size_t at, const char* text) noexcept {
    const std::size_t length = std::strlen(text);
    if (at + length >= path.size()) {
        return false;
    }
    std::memcpy(path.data() + at, text, length + 1);
    return true;
}

// How much of `path` names the directory that holds its last part, with the slash after it
// ("a/b/" of "a/b/c", "/" of "/c"): 0 for a bare name.
std::size_t directoryLength(const char* path) noexcept {
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
}

// The most symbolic links followed in a row, as Linux follows them.
constexpr int kMostLinks = 40;

// The directory that holds the entry `name` leads to, through the symbolic links its last
// part leads through (its other parts are followed as the directory is opened), without
// allocating anything: in `directory`, which lasts as long as the run. ENAMETOOLONG where a
// path would not fit, ELOOP where the links go round.
int directoryOf(const char* name, const char*& directory) noexcept {
    static PathBuffer path;
    static PathBuffer link;
    if (!putPath(path, 0, name)) {
        return ENAMETOOLONG;
    }
    for (int links = 0;; ++links) {
        const ssize_t size = readlink(path.data(), link.data(), link.size() - 1);
        if (size < 0) {
            break; // no link: `path` names the entry itself
        }
        if (links == kMostLinks) {
            return ELOOP;
        }
        link[static_cast<std::size_t>(size)] = '\0';
        // A relative link leads on from the directory that holds it.
        const std::size_t kept = link[0] == '/' ? 0 : directoryLength(path.data());
        if (!putPath(path, kept, link.data())) {
            return ENAMETOOLONG;
        }
    }
    const std::size_t length = directoryLength(path.data());
    if (length == 0) {
        directory = ".";
    } else {
        path[length == 1 ? 1 : length - 1] = '\0'; // "/" stays; "a/b/" becomes "a/b"
        directory = path.data();
    }
    return 0;
}

// A file in `directory` for reading and writing that no name leads to, made without a name
// where the system and its file system can: EOPNOTSUPP where they cannot.
int openNameless(const char* directory, int& file) noexcept {
#if TEXTFILE_HAS_O_TMPFILE
    file = retryingOpen(directory, O_TMPFILE | O_RDWR, 0600);
    if (file != -1) {
        return 0;
    }
    return errno == EISDIR || errno == EINVAL ? EOPNOTSUPP : errno;
#else
    (void)directory;
    (void)file;
    return EOPNOTSUPP;
#endif
}

// A file in `directory` for reading and writing that no name leads to, made the POSIX way:
// with a name, unlinked at once. The signals wait in between, so that no run
// leaves the name behind (only SIGKILL can end it there). One whose name cannot be unlinked
// (a directory that refuses removals) is closed and not used.
int openUnlinked(const char* directory, int& file) noexcept {
    std::array<char, PATH_MAX> path{};
    const int length = std::snprintf(path.data(), path.size(), "%s/.textfile-XXXXXX", directory);
    if (length < 0 || static_cast<std::size_t>(length) >= path.size()) {
        return ENAMETOOLONG;
    }
    const sigset_t held = heldSignals();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &held, &before);
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

// Zeros, to fill holes with: of the program's own, not on the stack, which the answers use
// already.
const std::array<char, 65536> zeros{};

// Calls `visit(at, size)` for each hole in the regular file's first `length` bytes, where the
// system tells holes (a reservation not yet written reads as one); else for each run of its
// blocks that hold only zeros, read in blocks of its file system. Stops at the first error,
// and returns it.
template <typename Visit> int forEachHole(int file, long long length, const Visit& visit) {
#if TEXTFILE_HAS_SEEK_HOLE
    for (off_t at = 0; at < length;) {
        const off_t hole = lseek(file, at, SEEK_HOLE);
        if (hole == -1 || hole >= length) {
            return hole == -1 && errno != ENXIO ? errno : 0; // ENXIO: past the end
        }
        off_t data = lseek(file, hole, SEEK_DATA);
        if (data == -1 && errno != ENXIO) {
            return errno;
        }
        data = data == -1 || data > length ? static_cast<off_t>(length) : data;
        if (const int err =
                visit(static_cast<long long>(hole), static_cast<long long>(data - hole))) {
            return err;
        }
        at = data;
    }
    return 0;
#else
    static std::array<char, zeros.size()> blockRead;
    struct stat info {};
    if (fstat(file, &info) != 0) {
        return errno;
    }
    const auto unit = static_cast<long long>(
        std::clamp<blksize_t>(info.st_blksize, 512, static_cast<blksize_t>(blockRead.size())));
    const long long end = std::min<long long>(length, info.st_size);
    for (long long at = 0; at < end;) {
        const auto size = static_cast<std::size_t>(std::min(unit, end - at));
        const Transfer read =
            retried([&] { return pread(file, blockRead.data(), size, static_cast<off_t>(at)); });
        if (read.error != 0 || read.count == 0) {
            return read.error;
        }
        if (std::memcmp(blockRead.data(), zeros.data(), read.count) == 0) {
            if (const int err = visit(at, static_cast<long long>(read.count))) {
                return err;
            }
        }
        at += static_cast<long long>(read.count);
    }
    return 0;
#endif
}

// Gives each hole in the file's first `length` bytes blocks of the zeros it reads as: the way
// for a file system that offers no reservation.
int fillHoles(int file, long long length) noexcept {
    return forEachHole(file, length, [&](long long at, long long size) {
        while (size > 0) {
            const auto part =
                static_cast<std::size_t>(std::min(size, static_cast<long long>(zeros.size())));
            const Transfer wrote =
                retried([&] { return pwrite(file, zeros.data(), part, static_cast<off_t>(at)); });
            if (wrote.error != 0 || wrote.count == 0) {
                return wrote.error != 0 ? wrote.error : ENOSPC;
            }
            size -= static_cast<long long>(wrote.count);
            at += static_cast<long long>(wrote.count);
        }
        return 0;
    });
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
    if (const int err = openFifo(name, file); err != 0 || file != -1) {
        return err;
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

// The places are tried in turn: $TMPDIR and /tmp first, so that the text does not take up
// twice its room on the file's own file system, and the directory of `beside` last. There a
// temporary file is only made without a name: one with a name, left behind by SIGKILL between
// making and unlinking it or by a directory that refuses removals, would be in the user's way.
int openTemporary(const char* beside, int& file) noexcept {
    const char* besideDirectory = nullptr;
    (void)directoryOf(beside, besideDirectory);
    const char* tmpdir = std::getenv("TMPDIR");
    int err = ENOENT;
    for (const char* directory : {tmpdir, "/tmp", besideDirectory}) {
        if (directory == nullptr || *directory == '\0') {
            continue;
        }
        err = openNameless(directory, file);
        if (err == EOPNOTSUPP && directory != besideDirectory) {
            err = openUnlinked(directory, file);
        }
        if (err == 0) {
            return 0;
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

int seekTo(int file, long long offset) noexcept {
    return lseek(file, static_cast<off_t>(offset), SEEK_SET) == -1 ? errno : 0;
}

int sizeOf(int file, long long& size) noexcept {
    struct stat info {};
    if (fstat(file, &info) != 0) {
        return errno;
    }
    size = (info.st_mode & S_IFMT) == S_IFREG ? info.st_size : -1;
    return 0;
}

int cutFile(int file, long long length) noexcept {
    return untilDone([&] { return ftruncate(file, static_cast<off_t>(length)); });
}

int checkSizeLimit(long long length) noexcept {
    struct rlimit limit {};
    return getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
                   static_cast<unsigned long long>(length) > limit.rlim_cur
               ? EFBIG
               : 0;
}

namespace {

// Reserves blocks for the file's first `length` bytes, its size kept (what lies past it is
// written, not reserved): EOPNOTSUPP where the system or its file system cannot. Where the
// system reserves only at a file's end (F_PREALLOCATE), nothing says a write into a hole
// draws on that: the space the holes need is held there for the file, all or none, which
// tells whether they fit before anything is written; then the holes' zeros are written, and
// the space held at the end is given back.
int reserveBlocks(int file, long long length) noexcept {
#if TEXTFILE_HAS_FALLOCATE
    const int err = untilDone(
        [&] { return fallocate(file, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)); });
    return err == ENOSYS ? EOPNOTSUPP : err;
#elif TEXTFILE_HAS_PREALLOCATE
    long long needed = 0;
    if (const int err = forEachHole(file, length, [&](long long, long long size) {
            needed += size;
            return 0;
        })) {
        return err;
    }
    if (needed == 0) {
        return 0;
    }
    fstore_t store{F_ALLOCATEALL, F_PEOFPOSMODE, 0, static_cast<off_t>(needed), 0};
    if (const int err = untilDone([&] { return fcntl(file, F_PREALLOCATE, &store); })) {
        return err == ENOSPC || err == EDQUOT || err == EFBIG ? err : EOPNOTSUPP;
    }
    const int err = fillHoles(file, length);
    releaseSpace(file, length);
    return err;
#else
    (void)file;
    (void)length;
    return EOPNOTSUPP;
#endif
}

} // namespace

int reserveSpace(int file, long long length) noexcept {
    if (length == 0) {
        return 0;
    }
    int err = reserveBlocks(file, length);
    if (err == EOPNOTSUPP) {
        err = fillHoles(file, length);
    }
    if (err != 0) {
        releaseSpace(file, length); // what a failure got is given back
    }
    return err;
}

// A reservation not yet written reads as a hole: each hole is punched again, which leaves the
// holes the file had, and every byte it holds, as they were. One held at the file's end
// (F_PREALLOCATE) goes with a cut to the file's own size, and at the latest when it is closed.
// Where the system cannot tell holes or punch them, nothing.
void releaseSpace(int file, long long length) noexcept {
#if TEXTFILE_HAS_PREALLOCATE
    (void)length;
    long long size = 0;
    if (sizeOf(file, size) == 0 && size >= 0) {
        (void)cutFile(file, size);
    }
#elif TEXTFILE_HAS_PUNCH_HOLE && TEXTFILE_HAS_SEEK_HOLE
    // A reservation under pages of the page cache (zeros a read of the hole left there) reads
    // as data to SEEK_HOLE on ext4: those pages, clean, are dropped first.
    (void)posix_fadvise(file, 0, static_cast<off_t>(length), POSIX_FADV_DONTNEED);
    (void)forEachHole(file, length, [&](long long at, long long size) {
        (void)untilDone([&] {
            return fallocate(file, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                             static_cast<off_t>(at), static_cast<off_t>(size));
        });
        return 0;
    });
#else
    (void)file;
    (void)length;
#endif
}

namespace {

// The signal mask before holdSignals, for releaseSignals.
sigset_t heldFrom;

} // namespace

void holdSignals() noexcept {
    const sigset_t held = heldSignals();
    sigprocmask(SIG_BLOCK, &held, &heldFrom);
}

void releaseSignals() noexcept { sigprocmask(SIG_SETMASK, &heldFrom, nullptr); }

// A file that is no regular file refuses fsync (EINVAL).
int syncFile(int file) noexcept {
    const int err = syncToMedia(file);
    return cannotSync(err) ? 0 : err;
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
    const int file = retryingOpen(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (file != -1) {
        const int err = untilDone([&] { return syncfs(file); });
        close(file);
        return cannotSync(err) ? 0 : err;
    }
#else
    (void)path;
#endif
    sync();
    return 0;
}

} // namespace

int syncDirectoryOf(const char* name) noexcept {
    const char* path = nullptr;
    if (directoryOf(name, path) != 0) {
        return syncFileSystemOf(name);
    }
    const int directory = retryingOpen(path, O_RDONLY | O_DIRECTORY);
    if (directory == -1) {
        return errno == EACCES || errno == EPERM ? syncFileSystemOf(name) : errno;
    }
    const int err = syncToMedia(directory);
    close(directory);
    return cannotSync(err) ? 0 : err;
}

int changedMeanwhile() noexcept { return ESTALE; }

int checkStillNamed(int file, const char* name) noexcept {
    struct stat named {};
    if (stat(name, &named) != 0) {
        return errno;
    }
    if (leadsTo(file, named)) {
        return 0;
    }
    return (named.st_mode & S_IFMT) == S_IFDIR ? EISDIR : ESTALE;
}

Transfer readBlock(int file, char* buffer, std::size_t size) noexcept {
    return retried([&] { return read(file, buffer, size); });
}

bool sameFile(int one, int two) noexcept {
    struct stat info {};
    return fstat(one, &info) == 0 && leadsTo(two, info);
}

Transfer writeSome(int file, const char* data, std::size_t size) noexcept {
    return retried([&] { return write(file, data, size); });
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

} // namespace textfile::platform
