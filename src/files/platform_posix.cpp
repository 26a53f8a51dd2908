// The platform layer on POSIX systems.
#include "files/platform.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/sendfile.h>
#endif

namespace textfile::platform {

namespace {

// The type bits of the file's mode, or 0 if it cannot be found out.
mode_t typeOf(int file) noexcept {
    struct stat info {};
    return fstat(file, &info) == 0 ? info.st_mode & S_IFMT : 0;
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

// A FIFO at `name` opened for writing without waiting: -1 with errno ENXIO when nobody
// reads it, or only this program through its standard input; -1 with errno 0 when `name`
// is no FIFO.
int openFifo(const char* name) noexcept {
    struct stat info {};
    if (stat(name, &info) != 0 || (info.st_mode & S_IFMT) != S_IFIFO) {
        errno = 0;
        return -1;
    }
    const int file = open(name, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (file != -1 && sameFile(file, kStandardInput)) {
        close(file);
        errno = ENXIO;
        return -1;
    }
    if (file != -1) {
        fcntl(file, F_SETFL, fcntl(file, F_GETFL) & ~O_NONBLOCK);
    }
    return file;
}

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

// Whether a descriptor this program was started with holds the lock on `file` (as under
// `flock FILE textfile`): sets `own`. The descriptors are listed from /proc, whatever
// their numbers; without /proc none is taken for the holder, and the run waits. Fails
// only where no descriptor is left to read the list with.
int heldThroughInherited(int file, bool& own) noexcept {
    own = false;
    const int fdinfo = retryingOpen("/proc/self/fdinfo", O_RDONLY | O_DIRECTORY);
    if (fdinfo == -1) {
        return errno == EMFILE || errno == ENFILE ? errno : 0;
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
            bool own = false;
            if (const int err = heldThroughInherited(file, own)) {
                return err;
            }
            if (own) {
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

bool holdsData(int file) noexcept {
    struct stat info {};
    return fstat(file, &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG && info.st_size > 0;
}

int openTemporary(const char* beside, int& file) noexcept {
#if defined(O_TMPFILE)
    const char* tmpdir = std::getenv("TMPDIR");
    for (const char* directory : {directoryOf(beside), tmpdir, "/tmp"}) {
        if (directory != nullptr && *directory != '\0') {
            file = retryingOpen(directory, O_TMPFILE | O_RDWR, 0600);
            if (file != -1) {
                return 0;
            }
        }
    }
    return errno;
#else
    (void)beside;
    file = -1;
    return ENOSYS;
#endif
}

int rewindFile(int file) noexcept { return lseek(file, 0, SEEK_SET) == 0 ? 0 : errno; }

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
#if defined(__linux__)
    // The size is kept: until the text is written over it, the file holds its old text.
    for (;;) {
        if (fallocate(file, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return errno == EOPNOTSUPP || errno == ENOSYS ? 0 : errno;
        }
    }
#else
    return 0;
#endif
}

namespace {

// The signals that end a run from outside.
sigset_t endingSignals() noexcept {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaddset(&set, signal);
    }
    return set;
}
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
#if defined(__linux__)
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
// to sync on its own: through any descriptor on it, else everything.
int syncFileSystemOf(const char* path) noexcept {
    for (const int flags : {O_RDONLY, O_WRONLY}) {
        const int file = retryingOpen(path, flags | O_NOCTTY | O_NONBLOCK);
        if (file != -1) {
            const int err = syncfs(file) == 0 || cannotSync(errno) ? 0 : errno;
            close(file);
            return err;
        }
    }
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
    for (;;) {
        const ssize_t count = read(file, buffer, size);
        if (count >= 0) {
            return {static_cast<std::size_t>(count), 0};
        }
        if (errno != EINTR) {
            return {0, errno};
        }
    }
}

long long sizeIfSame(int file, int other) noexcept {
    struct stat one {};
    if (!sameFile(file, other) || fstat(file, &one) != 0) {
        return -1;
    }
    switch (one.st_mode & S_IFMT) {
    case S_IFREG:
        return one.st_size;
    case S_IFIFO:
        return 0; // the program's own pipe: reading it would wait on its own writing
    default:
        return -1; // a terminal is read from its keyboard, not from what is written to it
    }
}

int writeAll(int file, const char* data, std::size_t size) noexcept {
    while (size > 0) {
        const ssize_t count = write(file, data, size);
        if (count > 0) {
            data += count;
            size -= static_cast<std::size_t>(count);
        } else if (count == 0) {
            return ENOSPC; // a write that takes nothing would be tried for ever
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
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

Transfer moveWithinSystem(int to, int from, std::size_t size) noexcept {
#if defined(__linux__)
    for (;;) {
        const ssize_t count = sendfile(to, from, nullptr, size);
        if (count >= 0) {
            return {static_cast<std::size_t>(count), 0};
        }
        if (errno != EINTR) {
            return {0, errno};
        }
    }
#else
    (void)to;
    (void)from;
    (void)size;
    return {0, ENOSYS};
#endif
}

} // namespace textfile::platform
